/*
 * The shared body of the calls that list a whole table: one statement, one
 * node a row, all in one block. Internal to the library.
 */
#ifndef HXM_PLATFORM_AFPSTAT_ROW_LIST_H
#define HXM_PLATFORM_AFPSTAT_ROW_LIST_H

#include "platform/afpstat/record_alloc.h"
#include "platform/afpstat/session.h"

#include <limits.h>
#include <string.h>

#include <zentra/afpstat.h>

namespace afpstat {

/* Reads every row of sql into `list` through fill, and has the session
 * remember them for the next call at this store version. */
template <typename Node, typename Fill>
int read_rows(Session &session, const char *sql, NodeBlock<Node> &list, Fill fill) {
    Statement rows;
    const int status = session.prepare(sql, rows);
    if (status != AFPSTAT_OK) {
        return status;
    }
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW && list.count < INT_MAX) {
        Node *node = list.append();
        if (node == nullptr) {
            return AFPSTAT_ERR_NO_MEMORY;
        }
        fill(node, rows.get());
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        return session.failed(rc);
    }
    unsigned char *kept = session.rows_to_remember(sql, sizeof(Node), list.count);
    if (kept != nullptr && list.count > 0) {
        memcpy(kept, static_cast<const void *>(list.nodes), list.count * sizeof(Node));
    }
    return AFPSTAT_OK;
}

/* Copies `remembered` rows the session kept into `list`. */
template <typename Node>
int copy_remembered(const unsigned char *nodes, int remembered, NodeBlock<Node> &list) {
    if (remembered <= 0) {
        return AFPSTAT_OK;
    }
    if (!list.reserve(static_cast<size_t>(remembered))) {
        return AFPSTAT_ERR_NO_MEMORY;
    }
    // The copies bring stale links; release() sets them.
    memcpy(static_cast<void *>(list.nodes), nodes, remembered * sizeof(Node));
    list.count = remembered;
    return AFPSTAT_OK;
}

/* Runs sql (one snapshot) and builds one Node a row in row order, with
 * fill(node, statement) setting the node's fields from the row; at most
 * INT_MAX rows are listed. The nodes are one block (see NodeBlock), freed
 * with one free() of the head, so they must own nothing but themselves: a
 * list read before at a store version still current is copied from the
 * connection's memory of it instead of being read again. On success *head
 * gets the list and *count its length. On any failure *head is null and
 * *count 0: a partial list is freed here, never handed out. A null count or
 * head is AFPSTAT_ERR_ARGUMENT. */
template <typename Node, typename Fill>
int list_rows(const char *sql, int *count, Node **head, Fill fill) {
    if (head != nullptr) {
        *head = nullptr;
    }
    if (count != nullptr) {
        *count = 0;
    }
    if (count == nullptr || head == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    Session session;
    int status = session.open();
    if (status == AFPSTAT_OK) {
        status = session.begin_read();
    }
    if (status != AFPSTAT_OK) {
        return status;
    }
    NodeBlock<Node> list;
    int remembered = 0;
    const unsigned char *nodes = session.remembered_rows(sql, sizeof(Node), &remembered);
    status = nodes != nullptr ? copy_remembered(nodes, remembered, list)
                              : read_rows(session, sql, list, fill);
    if (status != AFPSTAT_OK) {
        return status;
    }
    *count = list.count;
    *head = list.release();
    return AFPSTAT_OK;
}

} // namespace afpstat

#endif

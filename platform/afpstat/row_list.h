/*
 * The shared body of the calls that list a whole table: one statement, one
 * node a row, built at a kept tail. Internal to the library.
 */
#ifndef HXM_PLATFORM_AFPSTAT_ROW_LIST_H
#define HXM_PLATFORM_AFPSTAT_ROW_LIST_H

#include "platform/afpstat/record_alloc.h"
#include "platform/afpstat/session.h"

#include "monitor/afpstat.h"

#include <limits.h>

namespace afpstat {

/* Runs sql (one snapshot) and builds one Node a row in row order, with
 * fill(node, statement) setting the node's fields from the row; at most
 * INT_MAX rows are listed. On success *head gets the list and *count its
 * length. On any failure *head is null and *count 0: a partial list is
 * freed here, never handed out. A null count or head is
 * AFPSTAT_ERR_ARGUMENT. */
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
    Statement rows;
    if (status == AFPSTAT_OK) {
        status = session.prepare(sql, rows);
    }
    if (status != AFPSTAT_OK) {
        return status;
    }
    NodeList<Node> list;
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW && list.count < INT_MAX) {
        Node *node = list.append();
        if (node == nullptr) {
            free_nodes(&list.first);
            return AFPSTAT_ERR_NO_MEMORY;
        }
        fill(node, rows.get());
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        free_nodes(&list.first);
        return session.failed(rc);
    }
    *head = list.first;
    *count = list.count;
    return AFPSTAT_OK;
}

} // namespace afpstat

#endif

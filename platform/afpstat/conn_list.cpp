/*
 * Ext_ListConnDetails and FreeConnListNodes: every current connection.
 */
#include "export.h"
#include "record_alloc.h"
#include "session.h"

#include "monitor/afpstat.h"

#include <limits.h>

using afpstat::Session;
using afpstat::Statement;

/* Lists every connection in connection-number order, read in one statement
 * (one snapshot). On success *count nodes from *head. On any failure *head
 * is null and *count 0: a partial list is freed here, never handed out. */
extern "C" AFPSTAT_EXPORT int Ext_ListConnDetails(int *count, ConnListNode **head) {
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
    Statement rows;
    if (status == AFPSTAT_OK) {
        status = session.prepare("SELECT number, user, requests, bytes_read, bytes_written,"
                                 " login_time, address FROM connections ORDER BY number",
                                 rows);
    }
    if (status != AFPSTAT_OK) {
        return status;
    }
    afpstat::NodeList<ConnListNode> list;
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW && list.count < INT_MAX) {
        ConnListNode *node = list.append();
        if (node == nullptr) {
            afpstat::free_nodes(&list.first);
            return AFPSTAT_ERR_NO_MEMORY;
        }
        sqlite3_stmt *stmt = rows.get();
        node->connectionNumber = static_cast<uint32_t>(sqlite3_column_int64(stmt, 0));
        afpstat::copy_terminated(node->userName, sizeof node->userName,
                                 sqlite3_column_text(stmt, 1));
        node->requestCount = static_cast<uint32_t>(sqlite3_column_int64(stmt, 2));
        node->bytesRead = static_cast<uint64_t>(sqlite3_column_int64(stmt, 3));
        node->bytesWritten = static_cast<uint64_t>(sqlite3_column_int64(stmt, 4));
        node->loginTime = static_cast<uint64_t>(sqlite3_column_int64(stmt, 5));
        afpstat::copy_padded(node->networkAddress, sizeof node->networkAddress,
                             sqlite3_column_text(stmt, 6));
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        afpstat::free_nodes(&list.first);
        return afpstat::status_from_sqlite(rc);
    }
    *head = list.first;
    *count = list.count;
    return AFPSTAT_OK;
}

/* Frees every node from *head on and sets *head to null. A null head is
 * an argument error; an empty list is fine. */
extern "C" AFPSTAT_EXPORT int FreeConnListNodes(ConnListNode **head) {
    if (head == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    afpstat::free_nodes(head);
    return AFPSTAT_OK;
}

/*
 * Ext_ListConnDetails and FreeConnListNodes: every current connection.
 */

#include <stdlib.h>

#include <zentra/afpstat.h>

#include "platform/afpstat/export.h"
#include "platform/afpstat/record_alloc.h"
#include "platform/afpstat/row_list.h"

/* Lists every connection in connection-number order, read in one statement
 * (one snapshot). On success *count nodes from *head. On any failure *head
 * is null and *count 0: a partial list is freed here, never handed out. */
extern "C" AFPSTAT_EXPORT int Ext_ListConnDetails(int *count, ConnListNode **head) {
    return afpstat::list_rows(
        "SELECT number, user, requests, bytes_read, bytes_written, login_time, address"
        " FROM connections ORDER BY number",
        count, head, [](ConnListNode *node, sqlite3_stmt *stmt) {
            node->connectionNumber = static_cast<uint32_t>(sqlite3_column_int64(stmt, 0));
            afpstat::copy_terminated(node->userName, sizeof node->userName,
                                     sqlite3_column_text(stmt, 1));
            node->requestCount = static_cast<uint32_t>(sqlite3_column_int64(stmt, 2));
            node->bytesRead = static_cast<uint64_t>(sqlite3_column_int64(stmt, 3));
            node->bytesWritten = static_cast<uint64_t>(sqlite3_column_int64(stmt, 4));
            node->loginTime = static_cast<uint64_t>(sqlite3_column_int64(stmt, 5));
            afpstat::copy_padded(node->networkAddress, sizeof node->networkAddress,
                                 sqlite3_column_text(stmt, 6));
        });
}

/* Frees the list *head heads (all its nodes at once) and sets *head to
 * null. A null head is an argument error; an empty list is fine. */
extern "C" AFPSTAT_EXPORT int FreeConnListNodes(ConnListNode **head) {
    if (head == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    // The nodes are one block that starts at the head.
    free(*head);
    *head = nullptr;
    return AFPSTAT_OK;
}

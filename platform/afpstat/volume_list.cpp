/*
 * Ext_ListVolumeDetails and FreeVolsDetailsNode: every volume, by name.
 */

#include <stdlib.h>

#include <zentra/afpstat.h>

#include "platform/afpstat/export.h"
#include "platform/afpstat/record_alloc.h"
#include "platform/afpstat/row_list.h"

/* Lists every volume in name (byte) order. On failure *head is null and
 * *count 0. */
extern "C" AFPSTAT_EXPORT int Ext_ListVolumeDetails(int *count, VolsDetailsNode **head) {
    return afpstat::list_rows("SELECT name FROM volumes ORDER BY name", count, head,
                              [](VolsDetailsNode *node, sqlite3_stmt *stmt) {
                                  afpstat::copy_terminated(node->volumeName,
                                                           sizeof node->volumeName,
                                                           sqlite3_column_text(stmt, 0));
                              });
}

/* Frees the list *head heads (all its nodes at once) and sets *head to
 * null. A null head is an argument error; an empty list is fine. */
extern "C" AFPSTAT_EXPORT int FreeVolsDetailsNode(VolsDetailsNode **head) {
    if (head == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    // The nodes are one block that starts at the head.
    free(*head);
    *head = nullptr;
    return AFPSTAT_OK;
}

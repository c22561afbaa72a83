/*
 * Ext_ListVolumeDetails and FreeVolsDetailsNode: every volume, by name.
 */

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

/* Frees every node from *head on and sets *head to null. */
extern "C" AFPSTAT_EXPORT int FreeVolsDetailsNode(VolsDetailsNode **head) {
    if (head == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    afpstat::free_nodes(head);
    return AFPSTAT_OK;
}

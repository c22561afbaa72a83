/*
 * Ext_ListVolumeDetails and FreeVolsDetailsNode: every volume, by name.
 */
#include "export.h"
#include "record_alloc.h"
#include "session.h"

#include "monitor/afpstat.h"

#include <limits.h>

using afpstat::Session;
using afpstat::Statement;

/* Lists every volume in name (byte) order. On failure *head is null and
 * *count 0. */
extern "C" AFPSTAT_EXPORT int Ext_ListVolumeDetails(int *count, VolsDetailsNode **head) {
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
        status = session.prepare("SELECT name FROM volumes ORDER BY name", rows);
    }
    if (status != AFPSTAT_OK) {
        return status;
    }
    afpstat::NodeList<VolsDetailsNode> list;
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW && list.count < INT_MAX) {
        VolsDetailsNode *node = list.append();
        if (node == nullptr) {
            afpstat::free_nodes(&list.first);
            return AFPSTAT_ERR_NO_MEMORY;
        }
        afpstat::copy_terminated(node->volumeName, sizeof node->volumeName,
                                 sqlite3_column_text(rows.get(), 0));
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        afpstat::free_nodes(&list.first);
        return afpstat::status_from_sqlite(rc);
    }
    *head = list.first;
    *count = list.count;
    return AFPSTAT_OK;
}

/* Frees every node from *head on and sets *head to null. */
extern "C" AFPSTAT_EXPORT int FreeVolsDetailsNode(VolsDetailsNode **head) {
    if (head == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    afpstat::free_nodes(head);
    return AFPSTAT_OK;
}

/*
 * Ext_ListVolumeDetails and FreeVolsDetailsNode: every volume, by name.
 */
#include "export.h"
#include "record_alloc.h"
#include "session.h"

#include "monitor/afpstat.h"

#include <limits.h>
#include <stdlib.h>

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
    VolsDetailsNode *first = nullptr;
    VolsDetailsNode *tail = nullptr;
    int listed = 0;
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW && listed < INT_MAX) {
        auto *node = static_cast<VolsDetailsNode *>(calloc(1, sizeof(VolsDetailsNode)));
        if (node == nullptr) {
            FreeVolsDetailsNode(&first);
            return AFPSTAT_ERR_NO_MEMORY;
        }
        afpstat::copy_terminated(node->volumeName, sizeof node->volumeName,
                                 sqlite3_column_text(rows.get(), 0));
        if (tail != nullptr) {
            tail->next = node;
        } else {
            first = node;
        }
        tail = node;
        ++listed;
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        FreeVolsDetailsNode(&first);
        return afpstat::status_from_sqlite(rc);
    }
    *head = first;
    *count = listed;
    return AFPSTAT_OK;
}

/* Frees every node from *head on and sets *head to null. */
extern "C" AFPSTAT_EXPORT int FreeVolsDetailsNode(VolsDetailsNode **head) {
    if (head == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    VolsDetailsNode *node = *head;
    while (node != nullptr) {
        VolsDetailsNode *next = node->next;
        free(node);
        node = next;
    }
    *head = nullptr;
    return AFPSTAT_OK;
}

/*
 * Ext_ListVolFileDetails and FreeVolFileListNodes: who holds which files
 * open on one volume.
 *
 * Notes: one query ordered by connection and open order returns every file
 * of the volume; rows of one connection arrive together, so the nodes are
 * built in one pass with a kept tail, O(n) in the number of files. The
 * thread's connection keeps a copy of the last volume's list and copies it
 * again while the store is unchanged.
 */

#include <zentra/afpstat.h>

#include "platform/afpstat/export.h"
#include "platform/afpstat/record_alloc.h"
#include "platform/afpstat/session.h"

using afpstat::Session;
using afpstat::Statement;
using afpstat::TextArray;

namespace {

/* Frees what one node owns: its file names and their array. */
void free_node_files(VolFileListNode *node) {
    afpstat::free_text_array(node->fileNames, node->fileCount);
}

/* The list being built; frees whatever it holds unless released. */
struct VolFileListBuilder {
    afpstat::NodeList<VolFileListNode> nodes;
    TextArray files; /* the files of the tail node, not yet handed to it */

    ~VolFileListBuilder() {
        files.clear();
        afpstat::free_nodes(&nodes.first, free_node_files);
    }

    /* Hands the collected files to the tail node. */
    void finish_tail() {
        if (nodes.tail != nullptr && nodes.tail->fileNames == nullptr) {
            nodes.tail->fileCount = files.count;
            nodes.tail->fileNames = files.release();
        }
    }

    /* Starts a node for a connection; false when memory runs out. */
    bool start_node(uint32_t number, const unsigned char *user) {
        finish_tail();
        VolFileListNode *node = nodes.append();
        if (node == nullptr) {
            return false;
        }
        node->connectionNumber = number;
        afpstat::copy_terminated(node->userName, sizeof node->userName, user);
        return true;
    }
};

/* Appends a copy of every node of `from` (its files too) to `list`; false
 * when memory runs out. */
bool copy_nodes(const VolFileListNode *from, VolFileListBuilder &list) {
    for (; from != nullptr; from = from->next) {
        if (!list.start_node(from->connectionNumber,
                             reinterpret_cast<const unsigned char *>(from->userName))) {
            return false;
        }
        for (int32_t i = 0; i < from->fileCount; ++i) {
            if (!list.files.append_copy(
                    reinterpret_cast<const unsigned char *>(from->fileNames[i]))) {
                return false;
            }
        }
    }
    list.finish_tail();
    return true;
}

/* The volume's id, or AFPSTAT_ERR_NOT_FOUND / a status. */
int find_volume(Session &session, const char *name, sqlite3_int64 *id) {
    Statement row;
    int status = session.prepare("SELECT id FROM volumes WHERE name = ?", row);
    if (status != AFPSTAT_OK) {
        return status;
    }
    sqlite3_bind_text(row.get(), 1, name, -1, SQLITE_STATIC);
    int rc = sqlite3_step(row.get());
    if (rc == SQLITE_DONE) {
        return AFPSTAT_ERR_NOT_FOUND;
    }
    if (rc != SQLITE_ROW) {
        return session.failed(rc);
    }
    *id = sqlite3_column_int64(row.get(), 0);
    return AFPSTAT_OK;
}

} // namespace

/* One node per connection holding files open on the volume, in
 * connection-number order, each with the full paths in the order opened.
 * A volume without open files gives AFPSTAT_OK, *count 0 and a null list;
 * an unknown volume AFPSTAT_ERR_NOT_FOUND. On any failure *head is null and
 * *count 0. */
extern "C" AFPSTAT_EXPORT int Ext_ListVolFileDetails(const char *volumeName, VolFileListNode **head,
                                                     int *count) {
    if (head != nullptr) {
        *head = nullptr;
    }
    if (count != nullptr) {
        *count = 0;
    }
    if (volumeName == nullptr || head == nullptr || count == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    Session session;
    int status = session.open();
    if (status == AFPSTAT_OK) {
        status = session.begin_read();
    }
    int remembered = 0;
    const VolFileListNode *kept =
        status == AFPSTAT_OK ? session.remembered_files(volumeName, &remembered) : nullptr;
    if (kept != nullptr) {
        VolFileListBuilder list;
        if (!copy_nodes(kept, list)) {
            return AFPSTAT_ERR_NO_MEMORY;
        }
        *head = list.nodes.first;
        *count = list.nodes.count;
        list.nodes = {};
        return AFPSTAT_OK;
    }
    sqlite3_int64 volume_id = 0;
    if (status == AFPSTAT_OK) {
        status = find_volume(session, volumeName, &volume_id);
    }
    Statement rows;
    if (status == AFPSTAT_OK) {
        status = session.prepare("SELECT f.connection, c.user, f.path FROM open_files f"
                                 " JOIN connections c ON c.number = f.connection"
                                 " WHERE f.volume = ? ORDER BY f.connection, f.id",
                                 rows);
    }
    if (status != AFPSTAT_OK) {
        return status;
    }
    sqlite3_bind_int64(rows.get(), 1, volume_id);
    VolFileListBuilder list;
    int names = 0;
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        ++names;
        sqlite3_stmt *stmt = rows.get();
        auto number = static_cast<uint32_t>(sqlite3_column_int64(stmt, 0));
        if (list.nodes.tail == nullptr || list.nodes.tail->connectionNumber != number) {
            if (!list.start_node(number, sqlite3_column_text(stmt, 1))) {
                return AFPSTAT_ERR_NO_MEMORY;
            }
        }
        if (!list.files.append_copy(sqlite3_column_text(stmt, 2))) {
            return AFPSTAT_ERR_NO_MEMORY;
        }
    }
    if (rc != SQLITE_DONE) {
        return session.failed(rc);
    }
    list.finish_tail();
    // The connection keeps a copy for the calls that find the store as it
    // is now; without memory for one the list is simply read next time.
    VolFileListBuilder copy;
    if (names <= afpstat::kMaxRememberedRows && copy_nodes(list.nodes.first, copy)) {
        session.remember_files(volumeName, copy.nodes.first, copy.nodes.count);
        copy.nodes = {};
    }
    *head = list.nodes.first;
    *count = list.nodes.count;
    list.nodes = {};
    return AFPSTAT_OK;
}

void afpstat::free_volume_files(VolFileListNode *list) {
    afpstat::free_nodes(&list, free_node_files);
}

/* Frees every node, its file names and their arrays; sets *head to null. */
extern "C" AFPSTAT_EXPORT int FreeVolFileListNodes(VolFileListNode **head) {
    if (head == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    afpstat::free_nodes(head, free_node_files);
    return AFPSTAT_OK;
}

/*
 * Ext_ListVolFileDetails and FreeVolFileListNodes: who holds which files
 * open on one volume.
 *
 * Notes: one query ordered by connection and open order returns every file
 * of the volume; rows of one connection arrive together, so the nodes are
 * built in one pass, O(n) in the number of files. The list is handed out as
 * one block (nodes, name arrays and names), so a page of a thousand files
 * costs one allocation and one free() rather than a thousand of each. The
 * thread's connection keeps a copy of the last volume's list and copies it
 * again, block and all, while the store is unchanged.
 */

#include <zentra/afpstat.h>

#include "platform/afpstat/export.h"
#include "platform/afpstat/record_alloc.h"
#include "platform/afpstat/session.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

using afpstat::Session;
using afpstat::Statement;

namespace {

/* The rows of one volume's files as read, before the list is laid out: one
 * node per connection (fileCount counted, fileNames not yet set) and every
 * path, terminated, one after another in the order read. */
struct FileRows {
    afpstat::NodeBlock<VolFileListNode> nodes;
    char *paths = nullptr;
    size_t used = 0;     /* bytes of paths in use */
    size_t capacity = 0; /* bytes of paths */
    size_t files = 0;

    FileRows() = default;
    FileRows(const FileRows &) = delete;
    FileRows &operator=(const FileRows &) = delete;
    ~FileRows() { free(paths); }

    /* Adds one row; false when memory runs out or a count would overflow. */
    bool add(uint32_t number, const unsigned char *user, const unsigned char *path) {
        VolFileListNode *node = nodes.count > 0 ? &nodes.nodes[nodes.count - 1] : nullptr;
        if (node == nullptr || node->connectionNumber != number) {
            node = nodes.append();
            if (node == nullptr) {
                return false;
            }
            node->connectionNumber = number;
            afpstat::copy_terminated(node->userName, sizeof node->userName, user);
        }
        const char *text = path != nullptr ? reinterpret_cast<const char *>(path) : "";
        const size_t size = strlen(text) + 1;
        void *block = paths;
        if (node->fileCount == INT32_MAX || size > SIZE_MAX - used ||
            !afpstat::grow_block(&block, &capacity, used + size)) {
            return false;
        }
        paths = static_cast<char *>(block);
        memcpy(paths + used, text, size);
        used += size;
        ++node->fileCount;
        ++files;
        return true;
    }
};

/* Where a list's parts lie in its one block: the nodes, then every node's
 * name pointers, then the names. */
struct FileListLayout {
    size_t names_at = 0;
    size_t texts_at = 0;
    size_t bytes = 0;

    /* False when the block would not fit in a size_t. */
    bool plan(int nodes, size_t files, size_t text_bytes) {
        const size_t align = alignof(char *);
        names_at =
            (static_cast<size_t>(nodes) * sizeof(VolFileListNode) + align - 1) / align * align;
        if (files > (SIZE_MAX - names_at) / sizeof(char *)) {
            return false;
        }
        texts_at = names_at + files * sizeof(char *);
        bytes = texts_at + text_bytes;
        return text_bytes <= SIZE_MAX - texts_at;
    }
};

/* The rows as one block: the nodes linked through next, each pointing at
 * its run of name pointers, which point at the names. Null when memory runs
 * out; *bytes gets the block's size. */
VolFileListNode *lay_out(FileRows &rows, size_t *bytes) {
    FileListLayout layout;
    if (!layout.plan(rows.nodes.count, rows.files, rows.used)) {
        return nullptr;
    }
    auto *block = static_cast<unsigned char *>(malloc(layout.bytes));
    if (block == nullptr) {
        return nullptr;
    }
    const size_t node_bytes = static_cast<size_t>(rows.nodes.count) * sizeof(VolFileListNode);
    memcpy(block, static_cast<const void *>(rows.nodes.nodes), node_bytes);
    memcpy(block + layout.texts_at, rows.paths, rows.used);
    auto *nodes = reinterpret_cast<VolFileListNode *>(block);
    auto *names = reinterpret_cast<char **>(block + layout.names_at);
    char *text = reinterpret_cast<char *>(block + layout.texts_at);
    for (int i = 0; i < rows.nodes.count; ++i) {
        nodes[i].next = i + 1 < rows.nodes.count ? &nodes[i + 1] : nullptr;
        nodes[i].fileNames = names;
        for (int32_t file = 0; file < nodes[i].fileCount; ++file) {
            *names++ = text;
            text += strlen(text) + 1;
        }
    }
    *bytes = layout.bytes;
    return nodes;
}

/* A copy of a block lay_out made (count nodes, `bytes` long) with every
 * pointer moved to the copy; null when memory runs out. */
VolFileListNode *copy_list(const VolFileListNode *list, int count, size_t bytes) {
    auto *block = static_cast<unsigned char *>(malloc(bytes));
    if (block == nullptr) {
        return nullptr;
    }
    memcpy(block, static_cast<const void *>(list), bytes);
    const auto *from = reinterpret_cast<const unsigned char *>(list);
    auto moved = [block, from](auto *pointer) {
        const auto *at = reinterpret_cast<const unsigned char *>(pointer);
        return pointer == nullptr ? pointer
                                  : reinterpret_cast<decltype(pointer)>(block + (at - from));
    };
    auto *nodes = reinterpret_cast<VolFileListNode *>(block);
    for (int i = 0; i < count; ++i) {
        nodes[i].next = moved(nodes[i].next);
        nodes[i].fileNames = moved(nodes[i].fileNames);
        for (int32_t file = 0; file < nodes[i].fileCount; ++file) {
            nodes[i].fileNames[file] = moved(nodes[i].fileNames[file]);
        }
    }
    return nodes;
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
    size_t remembered_bytes = 0;
    const VolFileListNode *kept =
        status == AFPSTAT_OK ? session.remembered_files(volumeName, &remembered, &remembered_bytes)
                             : nullptr;
    if (kept != nullptr) {
        *head = copy_list(kept, remembered, remembered_bytes);
        if (*head == nullptr) {
            return AFPSTAT_ERR_NO_MEMORY;
        }
        *count = remembered;
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
    FileRows list;
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        sqlite3_stmt *stmt = rows.get();
        if (!list.add(static_cast<uint32_t>(sqlite3_column_int64(stmt, 0)),
                      sqlite3_column_text(stmt, 1), sqlite3_column_text(stmt, 2))) {
            return AFPSTAT_ERR_NO_MEMORY;
        }
    }
    if (rc != SQLITE_DONE) {
        return session.failed(rc);
    }
    if (list.nodes.count == 0) {
        return AFPSTAT_OK;
    }
    size_t bytes = 0;
    VolFileListNode *nodes = lay_out(list, &bytes);
    if (nodes == nullptr) {
        return AFPSTAT_ERR_NO_MEMORY;
    }
    // The connection keeps a copy for the calls that find the store as it
    // is now; without memory for one the list is simply read next time.
    if (list.files <= static_cast<size_t>(afpstat::kMaxRememberedRows)) {
        if (VolFileListNode *copy = copy_list(nodes, list.nodes.count, bytes)) {
            session.remember_files(volumeName, copy, list.nodes.count, bytes);
        }
    }
    *head = nodes;
    *count = list.nodes.count;
    return AFPSTAT_OK;
}

void afpstat::free_volume_files(VolFileListNode *list) {
    free(list);
}

/* Frees the list *head heads (its nodes, their name arrays and the names,
 * all one block) and sets *head to null. */
extern "C" AFPSTAT_EXPORT int FreeVolFileListNodes(VolFileListNode **head) {
    if (head == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    free(*head);
    *head = nullptr;
    return AFPSTAT_OK;
}

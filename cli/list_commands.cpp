/*
 * The command's lists: connections, one connection's details, volumes and
 * open files, each read through the monitor layer as the pages read them
 * and written in the chosen format.
 */
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include <iterator>

#include <zentra/afpstat.h>

#include "base/bounded_copy.h"
#include "base/root_paths.h"
#include "base/visible_text.h"
#include "cli/cli.h"
#include "cli/table_output.h"
#include "monitor/actions.h"
#include "monitor/connection_details.h"
#include "monitor/connections.h"
#include "monitor/find_files.h"
#include "monitor/list_sort.h"
#include "monitor/node_list.h"
#include "monitor/open_files.h"
#include "monitor/volumes.h"

namespace hxm2afp::cli {
namespace {

/* A --sort word and what it asks of a list. */
template <typename Order> struct SortWord {
    const char *word;
    Order order;
};

/* The order `word` names in `table` (the first row when the word is
 * empty); false when it names none, after saying so. */
template <typename Order, size_t N>
bool read_sort(const std::string &word, const SortWord<Order> (&table)[N], Order *order) {
    if (word.empty()) {
        *order = table[0].order;
        return true;
    }
    std::string known;
    for (const SortWord<Order> &row : table) {
        if (word == row.word) {
            *order = row.order;
            return true;
        }
        known.append(known.empty() ? "" : ", ").append(row.word);
    }
    fail(kExitUsage, "unknown sort column \"%s\" (one of: %s)", visible_text(word.c_str()).c_str(),
         known.c_str());
    return false;
}

using ConnectionSort = ConnectionRow *(*)(ConnectionRow *);

// The pages' orders (equal keys in the reverse of the library's order) over
// the whole names and the unwrapped sums.
constexpr SortWord<ConnectionSort> kConnectionSorts[] = {
    {"connection",
     [](ConnectionRow *head) {
         return sort_list_by_key(head,
                                 [](const ConnectionRow *row) { return uint64_t{row->number}; });
     }},
    {"user",
     [](ConnectionRow *head) {
         return sort_list_by_key(
             head, [](const ConnectionRow *row) { return static_cast<const char *>(row->user); });
     }},
    {"login",
     [](ConnectionRow *head) {
         return sort_list_by_key(head, [](const ConnectionRow *row) { return row->loginTime; });
     }},
    {"bytes",
     [](ConnectionRow *head) {
         return sort_list(head, [](const ConnectionRow *front, const ConnectionRow *back) {
             return front->bytes < back->bytes;
         });
     }},
    {"requests",
     [](ConnectionRow *head) {
         return sort_list_by_key(head,
                                 [](const ConnectionRow *row) { return uint64_t{row->requests}; });
     }},
};

constexpr Column kConnectionColumns[] = {
    {"connection", "CONNECTION", CellKind::kNumber}, {"user", "USER", CellKind::kText},
    {"address", "ADDRESS", CellKind::kText},         {"login_time", "LOGIN TIME", CellKind::kTime},
    {"bytes", "BYTES", CellKind::kNumber},           {"requests", "REQUESTS", CellKind::kNumber},
};

constexpr Column kDetailColumns[] = {
    {"connection", "Connection", CellKind::kNumber},
    {"user", "User", CellKind::kText},
    {"address", "Address", CellKind::kText},
    {"login_status", "Login status", CellKind::kText},
    {"login_time", "Login time", CellKind::kTime},
    {"privileges", "Privileges", CellKind::kText},
    {"security_equivalence", "Equivalent to", CellKind::kTexts},
    {"open_files", "Open file", CellKind::kTexts},
};

constexpr SortWord<FoundColumn> kFileSorts[] = {
    {"volume", FoundColumn::kVolume},
    {"connection", FoundColumn::kConnection},
    {"user", FoundColumn::kUser},
    {"path", FoundColumn::kPath},
};

constexpr Column kFileColumns[] = {
    {"volume", "VOLUME", CellKind::kText},
    {"connection", "CONNECTION", CellKind::kNumber},
    {"user", "USER", CellKind::kText},
    {"path", "PATH", CellKind::kText},
};

enum class VolumeOrder { kLibrary, kName, kFiles };

// Without --sort the volumes keep the library's order, as the pages show them.
constexpr SortWord<VolumeOrder> kVolumeSorts[] = {
    {"volume", VolumeOrder::kName},
    {"files", VolumeOrder::kFiles},
};

constexpr Column kVolumeColumns[] = {
    {"volume", "VOLUME", CellKind::kText},
    {"open_files", "OPEN FILES", CellKind::kNumber},
};

int finish(TableWriter &writer, int code) {
    if (!writer.finish())
        return fail(kExitNotDone, "cannot write the output");
    return code;
}

struct Counting {
    VolumeRow *head;
    VolumeRow *at; // the volume counted last: files come volume by volume
};

bool count_file(void *context, const char *volumeName, const VolFileListNode &, const char *) {
    auto *counting = static_cast<Counting *>(context);
    if (counting->at == nullptr || strcmp(counting->at->name, volumeName) != 0) {
        // A volume that came after the list was read is not counted.
        counting->at = counting->head;
        while (counting->at != nullptr && strcmp(counting->at->name, volumeName) != 0)
            counting->at = counting->at->next;
    }
    if (counting->at != nullptr)
        ++counting->at->openFiles;
    return true;
}

std::string bounded(const char *field, size_t size) {
    return std::string(field, strnlen(field, size));
}

// The length of a list the library gave with a count: none without one.
size_t list_length(char **names, int32_t count) {
    return names != nullptr && count > 0 ? static_cast<size_t>(count) : 0;
}

} // namespace

int fail(int code, const char *format, ...) {
    va_list args;
    va_start(args, format);
    fputs("hxm2afp: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    return code;
}

int fail_reading(int status, const char *what) {
    fail(kExitUnreadable, "cannot read %s: %s (status %d)", what, action_words(status), status);
    if (status == AFPSTAT_ERR_STORE)
        explain_store();
    return kExitUnreadable;
}

void explain_store() {
    // Where the monitoring library looks, as its manual says: AFPSTAT_DB,
    // else the server's fixed place under ZENTRA_ROOT.
    const char *store = getenv("AFPSTAT_DB");
    char rooted[4096];
    if (store == nullptr || store[0] == '\0')
        store = root_path("/var/opt/zentra/afpstat/afpstat.db", rooted, sizeof rooted);
    fail(kExitUnreadable, "the store it tried: %s",
         store != nullptr ? visible_text(store).c_str() : "(ZENTRA_ROOT is too long)");
    fail(kExitUnreadable,
         "set ZENTRA_ROOT to the server's root, or AFPSTAT_DB to the store, to read another");
}

int read_connection_rows(NodePool<ConnectionRow> *pool, ConnectionRow **head) {
    struct Reading {
        NodePool<ConnectionRow> *pool;
        ConnectionRow **tail;
        bool full;
    } reading{pool, head, false};
    *head = nullptr;
    const int status = for_each_connection(&reading, [](void *context, const ConnListNode &record) {
        auto *reading = static_cast<Reading *>(context);
        ConnectionRow *row = reading->pool->take();
        if (row == nullptr) {
            reading->full = true;
            return false;
        }
        row->next = nullptr;
        row->number = record.connectionNumber;
        row->requests = record.requestCount;
        row->bytes = WideNumber{record.bytesRead} + record.bytesWritten;
        row->loginTime = record.loginTime;
        copy_bounded(row->address, record.networkAddress, AFPSTAT_ADDRESS_SIZE);
        copy_bounded(row->user, record.userName, AFPSTAT_CONN_USER_NAME_SIZE);
        *reading->tail = row;
        reading->tail = &row->next;
        return true;
    });
    return reading.full ? AFPSTAT_ERR_NO_MEMORY : status;
}

int command_connections(const Invocation &invocation) {
    ConnectionSort sort;
    if (!read_sort(invocation.sort, kConnectionSorts, &sort))
        return kExitUsage;
    NodePool<ConnectionRow> pool;
    ConnectionRow *head = nullptr;
    const int status = read_connection_rows(&pool, &head);
    if (status != AFPSTAT_OK && head == nullptr)
        return fail_reading(status, "the connections");
    head = sort(head);
    auto writer = make_table_writer(invocation.format, stdout, "connections", kConnectionColumns,
                                    std::size(kConnectionColumns));
    for (const ConnectionRow *row = head; row != nullptr; row = row->next) {
        Cell cells[std::size(kConnectionColumns)];
        cells[0].number = row->number;
        cells[1].text = row->user;
        cells[2].text = row->address;
        cells[3].number = row->loginTime;
        cells[4].number = row->bytes;
        cells[5].number = row->requests;
        writer->row(cells);
    }
    // A list that came with a failure is shown, and the failure said.
    const int code = status == AFPSTAT_OK ? kExitDone : fail_reading(status, "every connection");
    return finish(*writer, code);
}

int command_show(const Invocation &invocation) {
    unsigned number = 0;
    if (!read_connection_number(invocation.arguments[0], &number))
        return fail(kExitUsage, "not a connection number: \"%s\"",
                    visible_text(invocation.arguments[0].c_str()).c_str());
    UserInfo_s *info = nullptr;
    const int status = get_user_details(number, &info);
    if (info == nullptr) {
        if (status == AFPSTAT_ERR_NOT_FOUND || status == AFPSTAT_OK)
            return fail(kExitUnknown, "no connection %u", number);
        return fail_reading(status, "the connection");
    }
    Cell cells[std::size(kDetailColumns)];
    cells[0].number = info->connectionNumber;
    const std::string user = bounded(info->userName, sizeof info->userName);
    const std::string address = bounded(info->networkAddress, sizeof info->networkAddress);
    const std::string loginStatus = bounded(info->loginStatus, sizeof info->loginStatus);
    const std::string privileges = bounded(info->privileges, sizeof info->privileges);
    cells[1].text = user.c_str();
    cells[2].text = address.c_str();
    cells[3].text = loginStatus.c_str();
    cells[4].number = info->loginTime;
    cells[5].text = privileges.c_str();
    cells[6].texts = info->securityEquivalences;
    cells[6].count = list_length(info->securityEquivalences, info->securityEquivalenceCount);
    cells[7].texts = info->openFiles;
    cells[7].count = list_length(info->openFiles, info->openFileCount);
    auto writer =
        make_record_writer(invocation.format, stdout, kDetailColumns, std::size(kDetailColumns));
    writer->row(cells);
    free_user_details(&info);
    return finish(*writer, kExitDone);
}

int read_volume_rows(NodePool<VolumeRow> *pool, VolumeRow **head, const char **what) {
    *what = "the volumes";
    int count = 0;
    VolsDetailsNode *volumes = nullptr;
    int status = list_volumes(&count, &volumes);
    VolumeRow **tail = head;
    for (const VolsDetailsNode *volume = volumes;
         status == AFPSTAT_OK && volume != nullptr && count-- > 0; volume = volume->next) {
        VolumeRow *row = pool->take();
        if (row == nullptr) {
            status = AFPSTAT_ERR_NO_MEMORY;
            break;
        }
        copy_bounded(row->name, volume->volumeName, AFPSTAT_VOLUME_NAME_SIZE);
        row->openFiles = 0;
        row->next = nullptr;
        *tail = row;
        tail = &row->next;
    }
    free_volumes(&volumes);
    if (status != AFPSTAT_OK)
        return status;
    *what = "the open files";
    Counting counting{*head, nullptr};
    return for_each_open_file(&counting, count_file);
}

int command_volumes(const Invocation &invocation) {
    VolumeOrder order = VolumeOrder::kLibrary;
    if (!invocation.sort.empty() && !read_sort(invocation.sort, kVolumeSorts, &order))
        return kExitUsage;
    NodePool<VolumeRow> pool;
    VolumeRow *head = nullptr;
    const char *what = nullptr;
    const int status = read_volume_rows(&pool, &head, &what);
    if (status != AFPSTAT_OK)
        return fail_reading(status, what);
    if (order == VolumeOrder::kName)
        head = sort_list_by_key(
            head, [](const VolumeRow *row) { return static_cast<const char *>(row->name); });
    else if (order == VolumeOrder::kFiles)
        head = sort_list_by_key(head, [](const VolumeRow *row) { return row->openFiles; });
    auto writer = make_table_writer(invocation.format, stdout, "volumes", kVolumeColumns,
                                    std::size(kVolumeColumns));
    for (const VolumeRow *row = head; row != nullptr; row = row->next) {
        Cell cells[std::size(kVolumeColumns)];
        cells[0].text = row->name;
        cells[1].number = row->openFiles;
        writer->row(cells);
    }
    return finish(*writer, kExitDone);
}

int command_files(const Invocation &invocation) {
    FoundColumn column;
    if (!read_sort(invocation.sort, kFileSorts, &column))
        return kExitUsage;
    FindQuery query;
    query.name = invocation.name.c_str();
    query.user = invocation.user.c_str();
    query.volume = invocation.volume.c_str();
    FoundFiles found;
    const int status = find_open_files(query, &found);
    if (status == AFPSTAT_ERR_NOT_FOUND && !invocation.volume.empty())
        return fail(kExitUnknown, "no volume \"%s\"",
                    visible_text(invocation.volume.c_str()).c_str());
    if (status != AFPSTAT_OK)
        return fail_reading(status, "the open files");
    sort_found_files(&found, column);
    auto writer = make_table_writer(invocation.format, stdout, "files", kFileColumns,
                                    std::size(kFileColumns));
    for (const FoundFile *file = found.head; file != nullptr; file = file->next) {
        Cell cells[std::size(kFileColumns)];
        cells[0].text = file->volumeName;
        cells[1].number = file->connectionNumber;
        cells[2].text = file->userName;
        cells[3].text = file->filePath;
        writer->row(cells);
    }
    return finish(*writer, kExitDone);
}

} // namespace hxm2afp::cli

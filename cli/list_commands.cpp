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

constexpr Field<ConnectionRow> kConnectionFields[] = {
    {{"connection", "CONNECTION", CellKind::kNumber},
     [](const ConnectionRow &row, Cell *cell) { cell->number = row.number; }},
    {{"user", "USER", CellKind::kText},
     [](const ConnectionRow &row, Cell *cell) { cell->text = row.user; }},
    {{"address", "ADDRESS", CellKind::kText},
     [](const ConnectionRow &row, Cell *cell) { cell->text = row.address; }},
    {{"login_time", "LOGIN TIME", CellKind::kTime},
     [](const ConnectionRow &row, Cell *cell) { cell->number = row.loginTime; }},
    {{"bytes", "BYTES", CellKind::kNumber},
     [](const ConnectionRow &row, Cell *cell) { cell->number = row.bytes; }},
    {{"requests", "REQUESTS", CellKind::kNumber},
     [](const ConnectionRow &row, Cell *cell) { cell->number = row.requests; }},
};

/* One connection's details, its fixed-size texts terminated. */
struct Details {
    const UserInfo_s *info;
    std::string user, address, loginStatus, privileges;
};

// The length of a list the library gave with a count: none without one.
size_t list_length(char **names, int32_t count) {
    return names != nullptr && count > 0 ? static_cast<size_t>(count) : 0;
}

constexpr Field<Details> kDetailFields[] = {
    {{"connection", "Connection", CellKind::kNumber},
     [](const Details &row, Cell *cell) { cell->number = row.info->connectionNumber; }},
    {{"user", "User", CellKind::kText},
     [](const Details &row, Cell *cell) { cell->text = row.user.c_str(); }},
    {{"address", "Address", CellKind::kText},
     [](const Details &row, Cell *cell) { cell->text = row.address.c_str(); }},
    {{"login_status", "Login status", CellKind::kText},
     [](const Details &row, Cell *cell) { cell->text = row.loginStatus.c_str(); }},
    {{"login_time", "Login time", CellKind::kTime},
     [](const Details &row, Cell *cell) { cell->number = row.info->loginTime; }},
    {{"privileges", "Privileges", CellKind::kText},
     [](const Details &row, Cell *cell) { cell->text = row.privileges.c_str(); }},
    {{"security_equivalence", "Equivalent to", CellKind::kTexts},
     [](const Details &row, Cell *cell) {
         cell->texts = row.info->securityEquivalences;
         cell->count =
             list_length(row.info->securityEquivalences, row.info->securityEquivalenceCount);
     }},
    {{"open_files", "Open file", CellKind::kTexts},
     [](const Details &row, Cell *cell) {
         cell->texts = row.info->openFiles;
         cell->count = list_length(row.info->openFiles, row.info->openFileCount);
     }},
};

constexpr SortWord<FoundColumn> kFileSorts[] = {
    {"volume", FoundColumn::kVolume},
    {"connection", FoundColumn::kConnection},
    {"user", FoundColumn::kUser},
    {"path", FoundColumn::kPath},
};

constexpr Field<FoundFile> kFileFields[] = {
    {{"volume", "VOLUME", CellKind::kText},
     [](const FoundFile &row, Cell *cell) { cell->text = row.volumeName; }},
    {{"connection", "CONNECTION", CellKind::kNumber},
     [](const FoundFile &row, Cell *cell) { cell->number = row.connectionNumber; }},
    {{"user", "USER", CellKind::kText},
     [](const FoundFile &row, Cell *cell) { cell->text = row.userName; }},
    {{"path", "PATH", CellKind::kText},
     [](const FoundFile &row, Cell *cell) { cell->text = row.filePath; }},
};

enum class VolumeOrder { kLibrary, kName, kFiles };

// Without --sort the volumes keep the library's order, as the pages show them.
constexpr SortWord<VolumeOrder> kVolumeSorts[] = {
    {"volume", VolumeOrder::kName},
    {"files", VolumeOrder::kFiles},
};

constexpr Field<VolumeRow> kVolumeFields[] = {
    {{"volume", "VOLUME", CellKind::kText},
     [](const VolumeRow &row, Cell *cell) { cell->text = row.name; }},
    {{"open_files", "OPEN FILES", CellKind::kNumber},
     [](const VolumeRow &row, Cell *cell) { cell->number = row.openFiles; }},
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
    auto writer = make_writer(invocation.format, stdout, "connections", kConnectionFields);
    for (const ConnectionRow *row = head; row != nullptr; row = row->next)
        write_row(*writer, kConnectionFields, *row);
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
    const Details details{info, bounded(info->userName, sizeof info->userName),
                          bounded(info->networkAddress, sizeof info->networkAddress),
                          bounded(info->loginStatus, sizeof info->loginStatus),
                          bounded(info->privileges, sizeof info->privileges)};
    auto writer = make_writer(invocation.format, stdout, nullptr, kDetailFields);
    write_row(*writer, kDetailFields, details);
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
    auto writer = make_writer(invocation.format, stdout, "volumes", kVolumeFields);
    for (const VolumeRow *row = head; row != nullptr; row = row->next)
        write_row(*writer, kVolumeFields, *row);
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
    auto writer = make_writer(invocation.format, stdout, "files", kFileFields);
    for (const FoundFile *file = found.head; file != nullptr; file = file->next)
        write_row(*writer, kFileFields, *file);
    return finish(*writer, kExitDone);
}

} // namespace hxm2afp::cli

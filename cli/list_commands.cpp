/*
 * The command's lists: connections, one connection's details, volumes and
 * open files, each read through the monitor layer as the pages read them
 * and written in the chosen format.
 */
#include <stdarg.h>
#include <string.h>

#include <iterator>

#include <nlohmann/json.hpp>

#include <zentra/afpstat.h>

#include "base/bounded_copy.h"
#include "cli/cli.h"
#include "cli/history_commands.h"
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
    fail(kExitUsage, "unknown sort column \"%s\" (one of: %s)", word.c_str(), known.c_str());
    return false;
}

constexpr SortWord<AfpSortType> kConnectionSorts[] = {
    {"connection", AFP_SORT_CONNECTION_NUMBER},
    {"user", AFP_SORT_USER_NAME},
    {"login", AFP_SORT_LOGIN_TIME},
    {"bytes", AFP_SORT_BYTES_READ_WRITTEN},
    {"requests", AFP_SORT_REQUEST_COUNT},
};

constexpr Column kConnectionColumns[] = {
    {"connection", "CONNECTION", CellKind::kNumber}, {"user", "USER", CellKind::kText},
    {"address", "ADDRESS", CellKind::kText},         {"login_time", "LOGIN TIME", CellKind::kTime},
    {"bytes", "BYTES", CellKind::kNumber},           {"requests", "REQUESTS", CellKind::kNumber},
};

constexpr Column kIdleColumn = {"idle_seconds", "IDLE SECONDS", CellKind::kNumber};
constexpr Column kOpenSinceColumn = {"open_since", "OPEN SINCE", CellKind::kTime};

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
    return fail(kExitUnreadable, "cannot read %s: %s (status %d)", what, action_words(status),
                status);
}

int command_connections(const Invocation &invocation) {
    AfpSortType sortType;
    if (!read_sort(invocation.sort, kConnectionSorts, &sortType))
        return kExitUsage;
    NodePool<ConnectionSortStruct> pool;
    ConnectionSortStruct *head = nullptr;
    int status = AFPSTAT_OK;
    if (sorted_connection_list(&head, sortType, &status, &pool) != 0)
        return fail_reading(status, "the connections");
    const HistoryColumn history(kConnectionColumns, std::size(kConnectionColumns), kIdleColumn);
    auto writer = make_table_writer(invocation.format, stdout, "connections", history.columns(),
                                    history.count());
    for (const ConnectionSortStruct *node = head; node != nullptr; node = node->next) {
        Cell cells[std::size(kConnectionColumns) + 1];
        cells[6].number = history.idle_seconds(node->connectionNumber);
        cells[0].number = node->connectionNumber;
        cells[1].text = node->userName;
        cells[2].text = node->networkAddress;
        cells[3].number = node->loginTime;
        cells[4].number = node->bytesReadWritten;
        cells[5].number = node->requestCount;
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
                    terminal_text(invocation.arguments[0].c_str()).c_str());
    UserInfo_s *info = nullptr;
    const int status = get_user_details(number, &info);
    if (info == nullptr) {
        if (status == AFPSTAT_ERR_NOT_FOUND || status == AFPSTAT_OK)
            return fail(kExitUnknown, "no connection %u", number);
        return fail_reading(status, "the connection");
    }
    struct Field {
        const char *key;
        std::string value;
    };
    const Field fields[] = {
        {"connection", std::to_string(info->connectionNumber)},
        {"user", bounded(info->userName, sizeof info->userName)},
        {"address", bounded(info->networkAddress, sizeof info->networkAddress)},
        {"login_status", bounded(info->loginStatus, sizeof info->loginStatus)},
        {"login_time", iso_time(info->loginTime)},
        {"privileges", bounded(info->privileges, sizeof info->privileges)},
    };
    struct List {
        const char *key;
        char **names;
        int32_t count;
    };
    const List lists[] = {
        {"security_equivalence", info->securityEquivalences, info->securityEquivalenceCount},
        {"open_files", info->openFiles, info->openFileCount},
    };
    std::string out;
    if (invocation.format == Format::kJson) {
        nlohmann::json document;
        for (const Field &field : fields)
            document[field.key] = field.value;
        document["connection"] = info->connectionNumber;
        if (info->loginTime == 0)
            document["login_time"] = nullptr;
        for (const List &list : lists) {
            nlohmann::json names = nlohmann::json::array();
            for (int32_t i = 0; list.names != nullptr && i < list.count; ++i) {
                if (list.names[i] != nullptr)
                    names.push_back(list.names[i]);
            }
            document[list.key] = names;
        }
        out = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    } else {
        // CSV: one "field,value" row per value; text: one aligned line each.
        const bool csv = invocation.format == Format::kCsv;
        auto line = [&out, csv](const char *key, const std::string &value) {
            if (csv)
                out.append(key).append(",").append(csv_field(value.c_str())).append("\r\n");
            else
                out.append(key)
                    .append(":")
                    .append(22 - strlen(key), ' ')
                    .append(terminal_text(value.c_str()))
                    .append("\n");
        };
        if (csv)
            out.append("field,value\r\n");
        for (const Field &field : fields)
            line(field.key, field.value);
        for (const List &list : lists) {
            for (int32_t i = 0; list.names != nullptr && i < list.count; ++i) {
                if (list.names[i] != nullptr)
                    line(list.key, list.names[i]);
            }
        }
    }
    free_user_details(&info);
    fwrite(out.data(), 1, out.size(), stdout);
    if (fflush(stdout) != 0 || ferror(stdout))
        return fail(kExitNotDone, "cannot write the output");
    return kExitDone;
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
                    terminal_text(invocation.volume.c_str()).c_str());
    if (status != AFPSTAT_OK)
        return fail_reading(status, "the open files");
    sort_found_files(&found, column);
    const HistoryColumn history(kFileColumns, std::size(kFileColumns), kOpenSinceColumn);
    auto writer =
        make_table_writer(invocation.format, stdout, "files", history.columns(), history.count());
    for (const FoundFile *file = found.head; file != nullptr; file = file->next) {
        Cell cells[std::size(kFileColumns) + 1];
        cells[4].number =
            history.open_since(file->volumeName, file->filePath, file->connectionNumber);
        cells[0].text = file->volumeName;
        cells[1].number = file->connectionNumber;
        cells[2].text = file->userName;
        cells[3].text = file->filePath;
        writer->row(cells);
    }
    return finish(*writer, kExitDone);
}

} // namespace hxm2afp::cli

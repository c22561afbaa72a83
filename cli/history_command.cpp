/*
 * `hxm2afp history`: who had which files open at a time or within a span,
 * from the history store, in the command's formats; and the history's
 * columns beside the live lists (idle_seconds, open_since).
 */
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <iterator>

#include "base/visible_text.h"
#include "cli/history_commands.h"
#include "history/store.h"

namespace hxm2afp::cli {
namespace {

constexpr Column kHistoryColumns[] = {
    {"volume", "VOLUME", CellKind::kText},       {"connection", "CONNECTION", CellKind::kNumber},
    {"user", "USER", CellKind::kText},           {"address", "ADDRESS", CellKind::kText},
    {"path", "PATH", CellKind::kText},           {"open_since", "OPEN SINCE", CellKind::kTime},
    {"last_seen", "LAST SEEN", CellKind::kTime}, {"closed", "CLOSED", CellKind::kTime},
    {"closed_by", "CLOSED BY", CellKind::kText},
};

struct TimeForm {
    const char *format;
    bool utc;
};

// The forms read_time takes after "now" and "@SECONDS", in order.
constexpr TimeForm kTimeForms[] = {
    {"%Y-%m-%dT%H:%M:%SZ", true}, {"%Y-%m-%dT%H:%MZ", true},    {"%Y-%m-%dT%H:%M:%S", false},
    {"%Y-%m-%dT%H:%M", false},    {"%Y-%m-%d %H:%M:%S", false}, {"%Y-%m-%d", false},
};

} // namespace

bool read_time(const std::string &text, int64_t *seconds) {
    if (text == "now") {
        *seconds = time(nullptr);
        return true;
    }
    if (text.size() > 1 && text[0] == '@') {
        if (text.size() > 12 || text.find_first_not_of("0123456789", 1) != std::string::npos)
            return false;
        *seconds = strtoll(text.c_str() + 1, nullptr, 10);
        return true;
    }
    for (const TimeForm &form : kTimeForms) {
        struct tm parts;
        memset(&parts, 0, sizeof parts);
        const char *end = strptime(text.c_str(), form.format, &parts);
        if (end == nullptr || *end != '\0')
            continue;
        parts.tm_isdst = -1;
        const time_t when = form.utc ? timegm(&parts) : mktime(&parts);
        if (when == static_cast<time_t>(-1))
            return false;
        *seconds = when;
        return true;
    }
    return false;
}

bool read_history_state(history::CurrentState *state) {
    std::string error;
    const std::string path = history::store_file_path();
    auto store = history::Store::open(path, history::Store::Access::kRead, &error);
    return store != nullptr && history::read_current_state(store.get(), state, &error);
}

HistoryColumn::HistoryColumn(const Column &column) : column_(column) {
    present_ = read_history_state(&state_);
    now_ = time(nullptr);
}

uint64_t HistoryColumn::idle_seconds(uint32_t connection) const {
    const auto found = state_.activeAt.find(connection);
    return found == state_.activeAt.end() || found->second > now_
               ? 0
               : static_cast<uint64_t>(now_ - found->second);
}

uint64_t HistoryColumn::open_since(const char *volume, const char *path,
                                   uint32_t connection) const {
    const auto found = state_.openSince.find({volume, path, connection});
    return found == state_.openSince.end() ? 0 : static_cast<uint64_t>(found->second);
}

int command_history(const Invocation &invocation) {
    history::HistoryQuery query;
    query.name = invocation.name;
    query.user = invocation.user;
    query.volume = invocation.volume;
    if (!invocation.connection.empty()) {
        unsigned number = 0;
        if (!read_connection_number(invocation.connection, &number))
            return fail(kExitUsage, "--connection: not a connection number: \"%s\"",
                        visible_text(invocation.connection.c_str()).c_str());
        query.connection = number;
    }
    struct TimeOption {
        const std::string *text;
        const char *name;
        int64_t *into;
    };
    int64_t at = -1;
    const TimeOption times[] = {{&invocation.at, "--at", &at},
                                {&invocation.since, "--since", &query.since},
                                {&invocation.until, "--until", &query.until}};
    for (const TimeOption &option : times) {
        if (!option.text->empty() && !read_time(*option.text, option.into))
            return fail(kExitUsage,
                        "%s: \"%s\" is not a time (now, @SECONDS, YYYY-MM-DD, "
                        "YYYY-MM-DDTHH:MM[:SS][Z])",
                        option.name, visible_text(option.text->c_str()).c_str());
    }
    if (at >= 0 && (query.since >= 0 || query.until >= 0))
        return fail(kExitUsage, "--at or --since and --until, not both");
    if (at >= 0)
        query.since = query.until = at;
    if (at < 0 && (query.since >= 0) != (query.until >= 0))
        return fail(kExitUsage, "--since and --until go together");
    if (query.since > query.until)
        return fail(kExitUsage, "--since is after --until");

    std::string error;
    const std::string path = history::store_file_path();
    auto store = history::Store::open(path, history::Store::Access::kRead, &error);
    std::vector<history::HistoryRow> rows;
    if (store == nullptr || !history::query_history(store.get(), query, &rows, &error))
        return fail(kExitUnreadable, "cannot read the history: %s", error.c_str());
    auto writer = make_table_writer(invocation.format, stdout, "history", kHistoryColumns,
                                    std::size(kHistoryColumns));
    for (const history::HistoryRow &row : rows) {
        Cell cells[std::size(kHistoryColumns)];
        cells[0].text = row.volume.c_str();
        cells[1].number = static_cast<uint64_t>(row.connection);
        cells[2].text = row.user.c_str();
        cells[3].text = row.address.c_str();
        cells[4].text = row.path.c_str();
        cells[5].number = static_cast<uint64_t>(row.openSince);
        cells[6].number = static_cast<uint64_t>(row.lastSeen);
        cells[7].number = static_cast<uint64_t>(row.closed);
        cells[8].text = row.closedBy.c_str();
        writer->row(cells);
    }
    if (!writer->finish())
        return fail(kExitNotDone, "cannot write the output");
    return kExitDone;
}

} // namespace hxm2afp::cli

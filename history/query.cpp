/*
 * Questions to the history store (see query.h).
 *
 * Notes: a name part is looked up through the trigram index on its longest
 * run of plain ASCII without wildcards (three characters or more), which
 * every path that holds the part must hold too, in one case or the other:
 * the find compares other characters decomposed and case folded, so bytes
 * outside ASCII say nothing about a path's own bytes. The find's own test
 * then settles each candidate. A part without such a run reads every
 * distinct path once.
 */
#include "history/query.h"

namespace hxm2afp::history {
namespace {

// The longest run of `part` of ASCII bytes other than "*" and "?", as one
// FTS5 phrase; "" when shorter than a trigram.
std::string index_phrase(const std::string &part) {
    std::string longest, run;
    for (char byte : part + '*') {
        if (byte == '*' || byte == '?' || static_cast<unsigned char>(byte) >= 0x80) {
            if (run.size() > longest.size())
                longest = run;
            run.clear();
        } else {
            run.push_back(byte);
        }
    }
    if (longest.size() < 3)
        return "";
    std::string phrase = "\"";
    for (char byte : longest)
        phrase += byte == '"' ? std::string("\"\"") : std::string(1, byte);
    return phrase + "\"";
}

constexpr char kColumns[] =
    "SELECT p.volume, p.path, s.number, s.user, s.address, s.login_time, o.first_seen,"
    " coalesce(o.last_seen, (SELECT value FROM meta WHERE key = 'last_cycle')), o.gone,"
    " (SELECT a.actor FROM actions a WHERE a.status = 0 AND o.gone IS NOT NULL"
    "  AND a.time >= coalesce(o.last_seen, o.first_seen) AND a.time <= o.gone"
    "  AND ((a.kind = 'close' AND a.path = p.path)"
    "   OR (a.kind IN ('close-all', 'clear') AND a.connection = s.number))"
    "  ORDER BY a.time DESC LIMIT 1)";

} // namespace

bool query_history(Store *store, const HistoryQuery &query, std::vector<HistoryRow> *rows,
                   std::string *error) {
    const std::string phrase = index_phrase(query.name);
    std::string sql = kColumns;
    sql += phrase.empty() ? " FROM opens o"
                          : " FROM path_search JOIN opens o ON o.path_id = path_search.rowid";
    sql += " JOIN paths p ON p.id = o.path_id JOIN sessions s ON s.id = o.session_id WHERE 1";
    if (!phrase.empty())
        sql += " AND path_search MATCH ?1";
    if (!query.name.empty())
        sql += " AND name_holds(p.path, ?2)";
    if (!query.user.empty())
        sql += " AND holds(s.user, ?3)";
    if (!query.volume.empty())
        sql += " AND p.volume = ?4";
    if (query.connection >= 0)
        sql += " AND s.number = ?5";
    if (query.since >= 0)
        sql += " AND o.first_seen <= ?7 AND (o.gone IS NULL OR o.gone > ?6)";
    sql += " ORDER BY o.first_seen, p.path, s.number";
    Statement select(store->db(), sql.c_str());
    if (!select.ok()) {
        *error = store->last_error();
        return false;
    }
    select.bind(1, phrase).bind(2, query.name).bind(3, query.user).bind(4, query.volume);
    select.bind(5, query.connection).bind(6, query.since).bind(7, query.until);
    while (select.step()) {
        HistoryRow row;
        row.volume = select.text(0);
        row.path = select.text(1);
        row.connection = select.integer(2);
        row.user = select.text(3);
        row.address = select.text(4);
        row.loginTime = select.integer(5);
        row.openSince = select.integer(6);
        row.lastSeen = select.integer(7);
        row.closed = select.is_null(8) ? 0 : select.integer(8);
        row.closedBy = select.text(9);
        rows->push_back(std::move(row));
    }
    if (select.error() != 0) {
        *error = store->last_error();
        return false;
    }
    return true;
}

bool query_events(Store *store, const HistoryQuery &query, const std::string &exactPath,
                  std::vector<HistoryEvent> *events, std::string *error) {
    // The sessions asked for: ?1 a user part, ?2 a number (negative: any).
    constexpr char kSessions[] = "(?1 = '' OR holds(s.user, ?1)) AND (?2 < 0 OR s.number = ?2)";
    const std::string sql =
        std::string("SELECT s.login_time, 0, 'login', s.number, s.user, s.address FROM sessions s"
                    " WHERE ?3 = '' AND ") +
        kSessions +
        " UNION ALL SELECT s.gone, 0, 'logout', s.number, s.user, '' FROM sessions s"
        " WHERE ?3 = '' AND s.gone IS NOT NULL AND " +
        kSessions +
        " UNION ALL SELECT i.start, i.until, 'idle', s.number, s.user, '' FROM idle_spans i"
        " JOIN sessions s ON s.id = i.session_id WHERE ?3 = '' AND " +
        kSessions +
        " UNION ALL SELECT a.time, 0, 'action', coalesce(a.connection, 0), a.actor,"
        " a.kind || ' ' || coalesce(a.path, '') || ': ' || a.outcome FROM actions a"
        " WHERE (?3 <> '' AND a.path = ?3) OR (?3 = '' AND a.connection IN"
        " (SELECT s.number FROM sessions s WHERE " +
        kSessions + "))  ORDER BY 1, 3";
    Statement select(store->db(), sql.c_str());
    if (!select.ok()) {
        *error = store->last_error();
        return false;
    }
    select.bind(1, query.user).bind(2, query.connection).bind(3, exactPath);
    while (select.step()) {
        HistoryEvent event;
        event.time = select.integer(0);
        event.until = select.integer(1);
        event.event = select.text(2);
        event.connection = select.integer(3);
        event.user = select.text(4);
        event.detail = select.text(5);
        events->push_back(std::move(event));
    }
    if (select.error() != 0) {
        *error = store->last_error();
        return false;
    }
    return true;
}

bool read_current_state(Store *store, CurrentState *state, std::string *error) {
    Statement cycle(store->db(), "SELECT value FROM meta WHERE key = 'last_cycle'");
    if (cycle.step())
        state->lastCycle = cycle.integer(0);
    cycle.run();
    Statement sessions(store->db(), "SELECT number, active_at FROM sessions WHERE gone IS NULL");
    while (sessions.step())
        state->activeAt[sessions.integer(0)] = sessions.integer(1);
    Statement opens(store->db(), "SELECT p.volume, p.path, s.number, o.first_seen FROM opens o"
                                 " JOIN paths p ON p.id = o.path_id"
                                 " JOIN sessions s ON s.id = o.session_id WHERE o.gone IS NULL");
    while (opens.step())
        state->openSince[{opens.text(0), opens.text(1), opens.integer(2)}] = opens.integer(3);
    if (cycle.error() || sessions.error() || opens.error()) {
        *error = store->last_error();
        return false;
    }
    return true;
}

HistorySummary summarise(const CurrentState &state, int64_t now) {
    constexpr int64_t kIdleLimit = 3600;
    HistorySummary summary;
    for (const auto &[file, since] : state.openSince) {
        if (now > since && static_cast<uint64_t>(now - since) > summary.oldestOpenSeconds)
            summary.oldestOpenSeconds = static_cast<uint64_t>(now - since);
    }
    for (const auto &[number, activeAt] : state.activeAt)
        summary.idleConnections += now - activeAt > kIdleLimit ? 1 : 0;
    return summary;
}

} // namespace hxm2afp::history

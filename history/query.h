/*
 * Questions to the history store: who had which files open at a time or
 * within a span, and what the recorder knows of what is current (since when
 * a file is open, since when a connection is idle).
 */
#ifndef HXM_HISTORY_QUERY_H
#define HXM_HISTORY_QUERY_H

#include <stdint.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "history/store.h"

namespace hxm2afp::history {

/* What to find; empty texts and negative numbers ask for anything. A time
 * span [since, until] finds every file open at some moment of it; since ==
 * until asks for one moment. Without a span the whole history is asked. */
struct HistoryQuery {
    std::string name;   // part of the file's name, as the find reads it
    std::string user;   // part of the user's name
    std::string volume; // the whole volume name
    int64_t connection = -1;
    int64_t since = -1, until = -1;
};

/* One file one connection held open, for as long as the recorder saw it. */
struct HistoryRow {
    std::string volume, path, user, address;
    int64_t connection = 0;
    int64_t loginTime = 0;
    int64_t openSince = 0; // the first cycle that saw it open
    int64_t lastSeen = 0;  // the last cycle that saw it open
    int64_t closed = 0;    // the first cycle that missed it; 0 while open
    std::string closedBy;  // who closed it from the pages or the command, if anyone did
};

/* Runs the query, rows ordered by when they were first seen, then path.
 * False with *error when the store cannot be read. */
bool query_history(Store *store, const HistoryQuery &query, std::vector<HistoryRow> *rows,
                   std::string *error);

/* One event of a timeline besides the opens: a login ("login"), a logout
 * ("logout"), a span the connection stood idle ("idle", until `until`), or
 * an action asked of it ("action": `kind`, who asked and what came of it). */
struct HistoryEvent {
    int64_t time = 0, until = 0;
    std::string event;
    int64_t connection = 0;
    std::string user;   // the connection's user; for an action, who asked
    std::string detail; // an action's kind, path and outcome; an address
};

/* The logins, logouts, idle spans and actions of the sessions whose user
 * holds query.user and whose number is query.connection (empty, negative:
 * any), ordered by time; with `exactPath`, only the actions on that file.
 * The query's other fields are not asked. */
bool query_events(Store *store, const HistoryQuery &query, const std::string &exactPath,
                  std::vector<HistoryEvent> *events, std::string *error);

/* What the recorder holds as current: when each connection's request count
 * last moved (by number) and since when each file is open (by volume, path
 * and connection number). */
struct CurrentState {
    int64_t lastCycle = 0;
    std::map<int64_t, int64_t> activeAt;
    std::map<std::tuple<std::string, std::string, int64_t>, int64_t> openSince;
};

bool read_current_state(Store *store, CurrentState *state, std::string *error);

/* What the metrics tell of the current state at `now`. */
struct HistorySummary {
    uint64_t oldestOpenSeconds = 0; // 0 with nothing open
    uint64_t idleConnections = 0;   // still for more than an hour
};
HistorySummary summarise(const CurrentState &state, int64_t now);

} // namespace hxm2afp::history

#endif

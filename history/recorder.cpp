/*
 * The recorder's cycle (see recorder.h).
 *
 * Notes:
 * - A connection is one session per (number, login time): a number the
 *   service hands out again is another session. A file is one open per
 *   (session, volume, path).
 * - A file whose connection the connection list did not show (it came
 *   between the two reads) gets a session of its own with the file
 *   record's user and login time 0.
 * - A connection still for kIdleSpanSeconds or more gets an idle span once
 *   its request count moves again: from when it last moved to the last
 *   cycle that saw it still.
 * - Retention runs each cycle through the gone and time indexes, so it
 *   costs nothing when nothing is old; the size cap drops the oldest
 *   closed files a tenth at a time and gives the pages back to the disk.
 */
#include "history/recorder.h"

#include <stdio.h>
#include <string.h>

#include <sqlite3.h>

#include <zentra/afpstat.h>

#include "history/action_spool.h"
#include "history/journal.h"
#include "monitor/actions.h"
#include "monitor/connections.h"
#include "monitor/node_list.h"
#include "monitor/open_files.h"

namespace hxm2afp::history {

namespace {

constexpr int64_t kIdleSpanSeconds = 60;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kLeastCapDrop = 1000;
// The most closed files one cycle's retention removes (with any that closed
// at the same second as the last): a retention shortened on a large store
// is worked off over cycles, none of them long, and no transaction grows
// the log by gigabytes.
constexpr int64_t kRetentionBatch = 50000;

std::string session_key(uint32_t number, uint64_t loginTime) {
    return std::to_string(number) + ":" + std::to_string(loginTime);
}

std::string open_key(int64_t sessionId, const char *volume, const char *path) {
    std::string key = std::to_string(sessionId);
    key.push_back('\0');
    key.append(volume).push_back('\0');
    key.append(path);
    return key;
}

std::string bounded(const char *field, size_t size) {
    return std::string(field, strnlen(field, size));
}

} // namespace

struct Recorder::Session {
    int64_t id = 0;
    uint32_t number = 0;
    uint32_t requests = 0;
    int64_t activeAt = 0;
    uint64_t seenCycle = 0;
    std::string user;
};

// Kept small: a server holds 100,000 of them, all looked up every cycle.
struct Recorder::Open {
    int64_t id = 0;
    uint64_t seenCycle = 0;
    int64_t sessionId = 0;
    uint32_t number = 0;
    size_t place = 0; // its index in walkOrder_
};

// An open file where the last walk met it: the library lists files in the
// same order cycle after cycle, so the walk checks the next of these first
// and reads the map's scattered nodes only for what moved or is new.
struct Recorder::Placed {
    size_t hash = 0;
    std::pair<const std::string, Open> *entry = nullptr;
};

struct Recorder::Statements {
    explicit Statements(sqlite3 *db)
        : addSession(db, "INSERT INTO sessions(number, user, address, login_time, first_seen,"
                         " requests, active_at) VALUES (?, ?, ?, ?, ?, ?, ?)"),
          moveSession(db, "UPDATE sessions SET requests = ?, active_at = ? WHERE id = ?"),
          endSession(db, "UPDATE sessions SET gone = ?, last_seen = ? WHERE id = ?"),
          addIdleSpan(db, "INSERT INTO idle_spans(session_id, start, until) VALUES (?, ?, ?)"),
          findPath(db, "SELECT id FROM paths WHERE volume = ? AND path = ?"),
          addPath(db, "INSERT INTO paths(volume, path) VALUES (?, ?)"),
          lastPath(db, "SELECT coalesce(max(id), 0) FROM paths"),
          indexPaths(db, "INSERT INTO path_search(rowid, path) SELECT id, path FROM paths"
                         " WHERE id >= ?"),
          addOpen(db, "INSERT INTO opens(path_id, session_id, first_seen) VALUES (?, ?, ?)"),
          endOpen(db, "UPDATE opens SET gone = ?, last_seen = ? WHERE id = ?"),
          setCycle(db, "INSERT OR REPLACE INTO meta(key, value) VALUES ('last_cycle', ?)"),
          addAction(db, "INSERT INTO actions(time, source, actor, kind, connection, path, status,"
                        " outcome) VALUES (?, ?, ?, ?, ?, ?, ?, ?)") {}

    Statement addSession, moveSession, endSession, addIdleSpan, findPath, addPath, lastPath,
        indexPaths, addOpen, endOpen, setCycle, addAction;
};

struct Recorder::Pending {
    struct NewSession {
        std::string key;
        Session session;
        std::string address;
        uint64_t loginTime;
    };
    struct NewOpen {
        std::string sessionKey;
        Open open;
        std::string user, volume, path;
    };
    std::vector<NewSession> newSessions;
    std::vector<std::pair<Session *, uint32_t>> moved; // session, its new request count
    std::vector<std::string> goneSessions;
    std::vector<NewOpen> newOpens;
    std::vector<std::string> goneOpens;
    std::vector<Placed> walkOrder; // the known files as this walk met them
    bool walked = false;           // the walk read every list
    std::vector<SpooledAction> actions;
    // Filled while writing: the new rows' ids, in the order above.
    std::vector<int64_t> newSessionIds, newOpenIds;
};

Recorder::Recorder(Store *store, const Settings &settings, std::string spool)
    : store_(store), settings_(settings), spool_(std::move(spool)),
      statements_(std::make_unique<Statements>(store->db())) {}

Recorder::~Recorder() = default;

bool Recorder::load(std::string *error) {
    Statement cycle(store_->db(), "SELECT value FROM meta WHERE key = 'last_cycle'");
    if (cycle.step())
        lastCycle_ = cycle.integer(0);
    cycle.run();
    Statement sessions(store_->db(), "SELECT id, number, login_time, requests, active_at, user"
                                     " FROM sessions WHERE gone IS NULL");
    while (sessions.step()) {
        Session session;
        session.id = sessions.integer(0);
        session.number = static_cast<uint32_t>(sessions.integer(1));
        session.requests = static_cast<uint32_t>(sessions.integer(3));
        session.activeAt = sessions.integer(4);
        session.user = sessions.text(5);
        sessions_[session_key(session.number, static_cast<uint64_t>(sessions.integer(2)))] =
            session;
    }
    Statement opens(store_->db(),
                    "SELECT o.id, o.session_id, p.volume, p.path, s.number, s.user FROM opens o"
                    " JOIN paths p ON p.id = o.path_id JOIN sessions s ON s.id = o.session_id"
                    " WHERE o.gone IS NULL");
    while (opens.step()) {
        Open open;
        open.id = opens.integer(0);
        open.sessionId = opens.integer(1);
        open.number = static_cast<uint32_t>(opens.integer(4));
        opens_[open_key(open.sessionId, opens.text(2).c_str(), opens.text(3).c_str())] = open;
    }
    walkOrder_.clear();
    for (auto &entry : opens_) {
        entry.second.place = walkOrder_.size();
        walkOrder_.push_back({std::hash<std::string>()(entry.first), &entry});
    }
    if (cycle.error() || sessions.error() || opens.error() || !statements_->addAction.ok()) {
        *error = store_->last_error();
        return false;
    }
    return true;
}

int Recorder::read_connections(int64_t now, SessionsByNumber *sessionOf) {
    Pending &pending = *pending_;
    NodePool<ConnectionSortStruct> pool;
    ConnectionSortStruct *connections = nullptr;
    int status = AFPSTAT_OK;
    // No list with a healthy status is an empty one: every session is gone.
    sorted_connection_list(&connections, AFP_SORT_CONNECTION_NUMBER, &status, &pool);
    if (status != AFPSTAT_OK)
        return status;
    for (const ConnectionSortStruct *node = connections; node != nullptr; node = node->next) {
        const std::string key = session_key(node->connectionNumber, node->loginTime);
        (*sessionOf)[node->connectionNumber] = key;
        auto found = sessions_.find(key);
        if (found == sessions_.end()) {
            Pending::NewSession added{key, Session{}, node->networkAddress, node->loginTime};
            added.session.number = node->connectionNumber;
            added.session.requests = node->requestCount;
            added.session.activeAt = now;
            added.session.user = node->userName;
            pending.newSessions.push_back(std::move(added));
            continue;
        }
        found->second.seenCycle = cycleNumber_;
        if (found->second.requests != node->requestCount)
            pending.moved.emplace_back(&found->second, node->requestCount);
    }
    return AFPSTAT_OK;
}

// Files come record by record (one connection's files on one volume): the
// session and the key's prefix are worked out once per connection and
// volume, and each file's key is built in one kept buffer, so a file that
// is still open costs one lookup and no allocation. A record is told by its
// connection and volume name, never by its address: the library frees each
// volume's records before the next volume's, which may reuse the memory.
struct Recorder::Walk {
    Recorder *self = nullptr;
    SessionsByNumber *sessionOf = nullptr;
    bool started = false;
    uint32_t connection = 0;
    std::string volume;
    std::string sessionKey;
    bool sessionKnown = false;
    std::string key;
    size_t prefix = 0;
    size_t next = 0; // where in the last walk's order this file should be

    void start_record(const VolFileListNode &next, const char *nextVolume) {
        started = true;
        connection = next.connectionNumber;
        volume = nextVolume;
        sessionKey = self->session_for(next, sessionOf, self->pending_.get());
        const auto session = self->sessions_.find(sessionKey);
        sessionKnown = session != self->sessions_.end();
        key = open_key(sessionKnown ? session->second.id : 0, nextVolume, "");
        prefix = key.size();
    }

    void visit(const VolFileListNode &file, const char *fileVolume, const char *path) {
        if (!started || connection != file.connectionNumber || volume != fileVolume)
            start_record(file, fileVolume);
        if (sessionKnown) {
            key.resize(prefix);
            key.append(path);
            if (known(std::hash<std::string>()(key)))
                return;
        }
        Pending::NewOpen added;
        added.sessionKey = sessionKey;
        added.open.number = file.connectionNumber;
        added.user = bounded(file.userName, AFPSTAT_USER_NAME_SIZE);
        added.volume = fileVolume;
        added.path = path;
        self->pending_->newOpens.push_back(std::move(added));
    }

    // Marks the open file under `key` seen, the last walk's next first.
    bool known(size_t hash) {
        const std::vector<Placed> &order = self->walkOrder_;
        std::pair<const std::string, Open> *entry = nullptr;
        if (next < order.size() && order[next].hash == hash && order[next].entry->first == key) {
            entry = order[next].entry;
        } else {
            const auto found = self->opens_.find(key);
            if (found == self->opens_.end())
                return false;
            entry = &*found;
        }
        next = entry->second.place + 1;
        if (entry->second.seenCycle != self->cycleNumber_) {
            entry->second.seenCycle = self->cycleNumber_;
            self->pending_->walkOrder.push_back({hash, entry});
        }
        return true;
    }
};

int Recorder::read_open_files(SessionsByNumber *sessionOf) {
    Walk walk;
    walk.self = this;
    walk.sessionOf = sessionOf;
    return for_each_open_file(&walk, [](void *context, const char *volume,
                                        const VolFileListNode &record, const char *path) {
        static_cast<Walk *>(context)->visit(record, volume, path);
        return true;
    });
}

void Recorder::settle_walk() {
    Pending &pending = *pending_;
    for (auto &[key, session] : sessions_) {
        if (session.seenCycle != cycleNumber_)
            pending.goneSessions.push_back(key);
    }
    for (const Placed &placed : walkOrder_) {
        if (placed.entry->second.seenCycle != cycleNumber_)
            pending.goneOpens.push_back(placed.entry->first);
    }
    // A file seen twice in one walk (listed under two records) is one open.
    std::unordered_map<std::string, bool> once;
    std::vector<Pending::NewOpen> unique;
    for (Pending::NewOpen &added : pending.newOpens) {
        if (once.emplace(added.sessionKey + '\0' + added.volume + '\0' + added.path, true).second)
            unique.push_back(std::move(added));
    }
    pending.newOpens.swap(unique);
}

void Recorder::keep_committed(int64_t now) {
    Pending &pending = *pending_;
    for (size_t i = 0; i < pending.newSessions.size(); ++i) {
        Pending::NewSession &added = pending.newSessions[i];
        added.session.id = pending.newSessionIds[i];
        added.session.seenCycle = cycleNumber_;
        sessions_[added.key] = added.session;
    }
    for (auto &[session, requests] : pending.moved) {
        session->requests = requests;
        session->activeAt = now;
    }
    for (size_t i = 0; i < pending.newOpens.size(); ++i) {
        Pending::NewOpen &added = pending.newOpens[i];
        added.open.id = pending.newOpenIds[i];
        added.open.seenCycle = cycleNumber_;
        added.open.sessionId = sessions_[added.sessionKey].id;
        std::string key = open_key(added.open.sessionId, added.volume.c_str(), added.path.c_str());
        const size_t hash = std::hash<std::string>()(key);
        auto &entry = *opens_.insert_or_assign(std::move(key), added.open).first;
        pending.walkOrder.push_back({hash, &entry});
    }
    // Next walk's order is this one's, the new files at its end (the walk
    // after puts them in place). A walk cut short keeps the old order: the
    // files it missed are still open and must stay in it.
    if (!pending.walked)
        return;
    walkOrder_.swap(pending.walkOrder);
    for (size_t i = 0; i < walkOrder_.size(); ++i)
        walkOrder_[i].entry->second.place = i;
}

CycleReport Recorder::cycle(int64_t now) {
    CycleReport report;
    ++cycleNumber_;
    pending_ = std::make_unique<Pending>();
    Pending &pending = *pending_;

    // The sessions by connection number, for the files; ids of new sessions
    // are known only once written, so new ones are found by their key.
    SessionsByNumber sessionOf;
    report.libraryStatus = read_connections(now, &sessionOf);
    if (report.libraryStatus == AFPSTAT_OK)
        report.libraryStatus = read_open_files(&sessionOf);
    if (report.libraryStatus == AFPSTAT_OK) {
        settle_walk();
        pending.walked = true;
    } else {
        // Nothing is known of what is open: only the actions are written.
        pending.newSessions.clear();
        pending.moved.clear();
        pending.newOpens.clear();
    }
    if (!spool_.empty() && take_spooled_actions(spool_.c_str(), &pending.actions) != 0)
        pending.actions.clear();

    report.stored = write_cycle(now, &report);
    if (!report.stored) {
        report.storeError = store_->last_error();
        store_->exec("ROLLBACK");
        // The actions wait in the spool for a cycle that can write them.
        for (const SpooledAction &action : pending.actions)
            spool_action(action);
        pending_.reset();
        return report;
    }
    // Committed: the memory follows the store.
    keep_committed(now);
    send_to_journal(report);
    for (const std::string &key : pending.goneOpens)
        opens_.erase(key);
    for (const std::string &key : pending.goneSessions)
        sessions_.erase(key);
    lastCycle_ = now;
    pending_.reset();
    return report;
}

std::string Recorder::session_for(const VolFileListNode &record, SessionsByNumber *sessionOf,
                                  Pending *pending) {
    const auto listed = sessionOf->find(record.connectionNumber);
    if (listed != sessionOf->end())
        return listed->second;
    std::string key = session_key(record.connectionNumber, 0);
    sessionOf->emplace(record.connectionNumber, key);
    const auto known = sessions_.find(key);
    if (known != sessions_.end()) {
        known->second.seenCycle = cycleNumber_;
        return key;
    }
    Pending::NewSession added{key, Session{}, "", 0};
    added.session.number = record.connectionNumber;
    added.session.activeAt = lastCycle_;
    added.session.user = bounded(record.userName, AFPSTAT_USER_NAME_SIZE);
    pending->newSessions.push_back(std::move(added));
    return key;
}

bool Recorder::write_sessions(int64_t now, std::unordered_map<std::string, int64_t> *newIds,
                              CycleReport *report) {
    Pending &pending = *pending_;
    Statements &s = *statements_;
    for (const Pending::NewSession &added : pending.newSessions) {
        const Session &session = added.session;
        if (s.addSession.bind(1, session.number)
                .bind(2, session.user)
                .bind(3, added.address)
                .bind(4, static_cast<int64_t>(added.loginTime))
                .bind(5, now)
                .bind(6, session.requests)
                .bind(7, session.activeAt)
                .run() != SQLITE_DONE)
            return false;
        pending.newSessionIds.push_back(sqlite3_last_insert_rowid(store_->db()));
        (*newIds)[added.key] = pending.newSessionIds.back();
    }
    report->logins = pending.newSessions.size();
    for (auto &[session, requests] : pending.moved) {
        if (lastCycle_ - session->activeAt >= kIdleSpanSeconds &&
            s.addIdleSpan.bind(1, session->id)
                    .bind(2, session->activeAt)
                    .bind(3, lastCycle_)
                    .run() != SQLITE_DONE)
            return false;
        if (s.moveSession.bind(1, requests).bind(2, now).bind(3, session->id).run() != SQLITE_DONE)
            return false;
    }
    for (const std::string &key : pending.goneSessions) {
        if (s.endSession.bind(1, now).bind(2, lastCycle_).bind(3, sessions_[key].id).run() !=
            SQLITE_DONE)
            return false;
    }
    report->logouts = pending.goneSessions.size();
    return true;
}

bool Recorder::write_opens(int64_t now, const std::unordered_map<std::string, int64_t> &newIds,
                           CycleReport *report) {
    Pending &pending = *pending_;
    Statements &s = *statements_;
    // New paths get ids past the last one; their search entries are made
    // in one statement once all are in, which costs a tenth of a trigger
    // firing per row.
    if (!s.lastPath.step())
        return false;
    const int64_t firstNewPath = s.lastPath.integer(0) + 1;
    s.lastPath.run();
    for (const Pending::NewOpen &added : pending.newOpens) {
        int64_t pathId = 0;
        s.findPath.bind(1, added.volume).bind(2, added.path);
        if (s.findPath.step()) {
            pathId = s.findPath.integer(0);
            s.findPath.run();
        } else if (s.findPath.error() == 0 &&
                   s.addPath.bind(1, added.volume).bind(2, added.path).run() == SQLITE_DONE) {
            pathId = sqlite3_last_insert_rowid(store_->db());
        } else {
            return false;
        }
        auto known = sessions_.find(added.sessionKey);
        const auto created = newIds.find(added.sessionKey);
        const int64_t sessionId = known != sessions_.end()  ? known->second.id
                                  : created != newIds.end() ? created->second
                                                            : 0;
        if (s.addOpen.bind(1, pathId).bind(2, sessionId).bind(3, now).run() != SQLITE_DONE)
            return false;
        pending.newOpenIds.push_back(sqlite3_last_insert_rowid(store_->db()));
    }
    if (s.indexPaths.bind(1, firstNewPath).run() != SQLITE_DONE)
        return false;
    report->opened = pending.newOpens.size();
    for (const std::string &key : pending.goneOpens) {
        if (s.endOpen.bind(1, now).bind(2, lastCycle_).bind(3, opens_[key].id).run() != SQLITE_DONE)
            return false;
    }
    report->closed = pending.goneOpens.size();
    return true;
}

bool Recorder::write_actions(CycleReport *report) {
    Statements &s = *statements_;
    for (const SpooledAction &action : pending_->actions) {
        s.addAction.bind(1, action.time)
            .bind(2, action.source)
            .bind(3, action.actor)
            .bind(4, action.kind)
            .bind(6, action.path)
            .bind(7, action.status)
            .bind(8, action.outcome);
        if (action.connection >= 0)
            s.addAction.bind(5, action.connection);
        else
            s.addAction.bind_null(5);
        if (s.addAction.run() != SQLITE_DONE)
            return false;
    }
    report->actions = pending_->actions.size();
    return true;
}

bool Recorder::write_cycle(int64_t now, CycleReport *report) {
    if (store_->exec("BEGIN IMMEDIATE") != SQLITE_OK)
        return false;
    std::unordered_map<std::string, int64_t> newIds;
    if (!write_sessions(now, &newIds, report) || !write_opens(now, newIds, report) ||
        !write_actions(report))
        return false;
    if (statements_->setCycle.bind(1, now).run() != SQLITE_DONE)
        return false;
    enforce_limits(now, report);
    return store_->exec("COMMIT") == SQLITE_OK;
}

void Recorder::enforce_limits(int64_t now, CycleReport *report) {
    sqlite3 *db = store_->db();
    const int64_t cutoff = now - settings_.retentionDays * kSecondsPerDay;
    // What closed before `until` goes: the cutoff, or this cycle's batch of
    // the oldest. A session ends no earlier than its files, so its files go
    // with it or before it.
    Statement batch(db, "SELECT gone FROM opens WHERE gone < ? ORDER BY gone LIMIT 1 OFFSET ?");
    int64_t until =
        batch.bind(1, cutoff).bind(2, kRetentionBatch).step() ? batch.integer(0) + 1 : cutoff;
    batch.run();
    until = until < cutoff ? until : cutoff;
    // Paths go with the last open that names them.
    Statement paths(db, "DELETE FROM paths WHERE id IN (SELECT path_id FROM opens WHERE gone < ?1)"
                        " AND NOT EXISTS (SELECT 1 FROM opens o WHERE o.path_id = paths.id"
                        " AND (o.gone IS NULL OR o.gone >= ?1))");
    paths.bind(1, until).run();
    const struct {
        const char *sql;
        int64_t before;
    } expiries[] = {{"DELETE FROM opens WHERE gone < ?", until},
                    {"DELETE FROM sessions WHERE gone < ?", until},
                    {"DELETE FROM idle_spans WHERE until < ?", until},
                    {"DELETE FROM actions WHERE time < ?", cutoff}};
    for (const auto &expiry : expiries) {
        Statement expire(db, expiry.sql);
        expire.bind(1, expiry.before).run();
        report->removed += static_cast<size_t>(sqlite3_changes(db));
    }
    // Over the cap: the oldest closed files go first, a tenth at a time.
    while (store_->used_bytes() > settings_.maximumBytes) {
        report->overSizeCap = true;
        Statement count(db, "SELECT count(*) FROM opens WHERE gone IS NOT NULL");
        const int64_t closed = count.step() ? count.integer(0) : 0;
        count.run();
        if (closed == 0)
            break;
        const int64_t drop = closed / 10 > kLeastCapDrop ? closed / 10 : kLeastCapDrop;
        Statement edge(db, "SELECT gone FROM opens WHERE gone IS NOT NULL ORDER BY gone"
                           " LIMIT 1 OFFSET ?");
        const int64_t until =
            edge.bind(1, drop < closed ? drop : closed - 1).step() ? edge.integer(0) + 1 : now;
        edge.run();
        Statement pathsToo(db, "DELETE FROM paths WHERE id IN (SELECT path_id FROM opens"
                               " WHERE gone < ?1) AND NOT EXISTS (SELECT 1 FROM opens o WHERE"
                               " o.path_id = paths.id AND (o.gone IS NULL OR o.gone >= ?1))");
        pathsToo.bind(1, until).run();
        Statement dropOpens(db, "DELETE FROM opens WHERE gone < ?");
        dropOpens.bind(1, until).run();
        report->removed += static_cast<size_t>(sqlite3_changes(db));
        store_->exec("PRAGMA incremental_vacuum");
    }
    if (report->removed > 0)
        store_->exec("PRAGMA incremental_vacuum");
}

void Recorder::send_to_journal(const CycleReport &) {
    Pending &pending = *pending_;
    bool sent = true;
    for (const SpooledAction &action : pending.actions) {
        JournalEvent event;
        event.event = action.kind.c_str();
        event.path = action.path;
        event.connection = action.connection;
        event.actor = action.actor;
        event.source = action.source;
        event.status = action.status;
        event.outcome = action.outcome;
        sent = journal_event(event) && sent;
    }
    if (settings_.journalFiles) {
        auto file_event = [&sent](const char *what, uint32_t number, const std::string &user,
                                  const std::string &volume, const std::string &path) {
            JournalEvent event;
            event.event = what;
            event.path = path;
            event.volume = volume;
            event.user = user;
            event.connection = number;
            sent = journal_event(event) && sent;
        };
        for (const Pending::NewOpen &added : pending.newOpens)
            file_event("opened", added.open.number, added.user, added.volume, added.path);
        // A closed file's volume and path are its key's; its user its session's.
        std::unordered_map<int64_t, const std::string *> users;
        for (const auto &[key, session] : sessions_)
            users[session.id] = &session.user;
        for (const std::string &key : pending.goneOpens) {
            const Open &open = opens_[key];
            const size_t volume = key.find('\0') + 1;
            const size_t path = key.find('\0', volume) + 1;
            const auto user = users.find(open.sessionId);
            file_event("closed", open.number, user != users.end() ? *user->second : "",
                       key.substr(volume, path - volume - 1), key.substr(path));
        }
        auto session_event = [&sent](const char *what, const Session &session) {
            JournalEvent event;
            event.event = what;
            event.user = session.user;
            event.connection = session.number;
            sent = journal_event(event) && sent;
        };
        for (const Pending::NewSession &added : pending.newSessions)
            session_event("login", added.session);
        for (const std::string &key : pending.goneSessions)
            session_event("logout", sessions_[key]);
    }
    if (!sent && !journalRefused_)
        fprintf(stderr, "hxm2afp record: the systemd journal refused an entry; the history "
                        "store still has it\n");
    journalRefused_ = journalRefused_ || !sent;
}

} // namespace hxm2afp::history

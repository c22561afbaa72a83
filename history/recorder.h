/*
 * The recorder's cycle: reads the connections and every volume's open files
 * through the monitor layer and writes what changed since the last cycle
 * into the history store, in one transaction per cycle, so a stop, a crash
 * or kill -9 loses at most the cycle under way.
 *
 * It keeps what is current (connections and open files) in memory, loaded
 * from the store at start, so a cycle that changes nothing writes one row.
 * When the store cannot be written (a full disk) the cycle is rolled back
 * and the memory left as it was: the next cycle writes the difference again.
 */
#ifndef HXM_HISTORY_RECORDER_H
#define HXM_HISTORY_RECORDER_H

#include <stdint.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "history/settings.h"
#include "history/store.h"

struct VolFileListNode;

namespace hxm2afp::history {

/* What one cycle did. */
struct CycleReport {
    int libraryStatus = 0; // AFPSTAT_OK, or why the lists could not be read
    bool stored = false;   // the cycle's changes are committed
    std::string storeError;
    size_t logins = 0, logouts = 0, opened = 0, closed = 0, actions = 0;
    size_t removed = 0; // rows the retention or the size cap removed
    bool overSizeCap = false;
};

class Recorder {
  public:
    /* A recorder writing `store` (open for writing) by `settings`; `spool`
     * is the action spool it empties each cycle ("" for none). */
    Recorder(Store *store, const Settings &settings, std::string spool);
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    /* Reads what the store holds as current, so a restart continues it.
     * False with *error when the store cannot be read. */
    bool load(std::string *error);

    /* One cycle at `now` (seconds since 1970). */
    CycleReport cycle(int64_t now);

    /* Connections and files held current. */
    size_t current_connections() const { return sessions_.size(); }
    size_t current_files() const { return opens_.size(); }

  private:
    struct Session;
    struct Open;
    struct Placed;
    struct Statements;

    struct Pending;
    /* The key of the session a file record belongs to: the listed
     * connection's, or one of its own for a connection the list lacked. */
    struct Walk;
    using SessionsByNumber = std::unordered_map<uint32_t, std::string>;
    // A cycle's steps: read what the library shows (its status back), see
    // what went, write it, and let the memory follow once committed.
    int read_connections(int64_t now, SessionsByNumber *sessionOf);
    int read_open_files(SessionsByNumber *sessionOf);
    void settle_walk();
    void keep_committed(int64_t now);
    std::string session_for(const VolFileListNode &record, SessionsByNumber *sessionOf,
                            Pending *pending);
    bool write_cycle(int64_t now, CycleReport *report);
    bool write_sessions(int64_t now, std::unordered_map<std::string, int64_t> *newIds,
                        CycleReport *report);
    bool write_opens(int64_t now, const std::unordered_map<std::string, int64_t> &newIds,
                     CycleReport *report);
    bool write_actions(CycleReport *report);
    void enforce_limits(int64_t now, CycleReport *report);
    void send_to_journal(const CycleReport &report);

    Store *store_;
    Settings settings_;
    std::string spool_;
    std::unique_ptr<Statements> statements_;
    std::unordered_map<std::string, Session> sessions_;
    std::unordered_map<std::string, Open> opens_;
    std::vector<Placed> walkOrder_; // opens_ in the order the last walk met them
    int64_t lastCycle_ = 0;
    uint64_t cycleNumber_ = 0;
    int64_t lastPathSweep_ = 0;
    bool journalRefused_ = false;
    // What this cycle saw and would change, applied once committed.
    std::unique_ptr<Pending> pending_;
};

} // namespace hxm2afp::history

#endif

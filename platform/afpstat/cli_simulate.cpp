/*
 * `afpstat simulate`: a stand-in AFP service that keeps the office it finds.
 * Users log in and out, files open and close and counters grow, a few
 * events a second, each one a transaction of its own and a line in the
 * service's log; the numbers of connections and open files stay near
 * those the store held at the start.
 *
 * Notes: the loop stops at the deadline or at SIGINT/SIGTERM, between
 * events, so the store is never left half-written. Time is the simulated
 * service's: --speed N sleeps each pause for 1/N of it, so an hour passes
 * in minutes, and --seconds and --report count simulated seconds.
 */
#include "platform/afpstat/cli.h"
#include "platform/afpstat/store_path.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <tuple>
#include <unistd.h>
#include <unordered_set>

namespace afpstat::cli {

namespace {

volatile sig_atomic_t g_stop_requested = 0;

void request_stop(int) {
    g_stop_requested = 1;
}

/* The service log, appended line by line. */
class ServiceLog {
  public:
    ServiceLog() {
        char path[PATH_MAX];
        if (rooted_path(kServiceLogRelativePath, path, sizeof path) != 0) {
            throw StoreError("the service log's path is too long");
        }
        int folder_error = make_parent_directories(path);
        if (folder_error != 0) {
            throw StoreError(std::string("cannot create the folder of ") + path + ": " +
                             strerror(folder_error));
        }
        stream_ = fopen(path, "a");
        if (stream_ == nullptr) {
            throw StoreError(std::string("cannot open ") + path + ": " + strerror(errno));
        }
        path_ = path;
    }
    ~ServiceLog() { fclose(stream_); }
    ServiceLog(const ServiceLog &) = delete;
    ServiceLog &operator=(const ServiceLog &) = delete;

    const std::string &path() const { return path_; }

    /* Writes one time-stamped line and flushes it. */
    __attribute__((format(printf, 2, 3))) void line(const char *format, ...) {
        time_t now = time(nullptr);
        struct tm parts;
        char stamp[32] = "";
        if (localtime_r(&now, &parts) != nullptr) {
            strftime(stamp, sizeof stamp, "%F %T", &parts);
        }
        fprintf(stream_, "%s afpsvcd[%ld]: ", stamp, static_cast<long>(getpid()));
        va_list arguments;
        va_start(arguments, format);
        vfprintf(stream_, format, arguments);
        va_end(arguments);
        fputc('\n', stream_);
        fflush(stream_);
    }

  private:
    FILE *stream_ = nullptr;
    std::string path_;
};

uint64_t count_of(Store &store, const char *sql) {
    StatementUse query(store, sql);
    store.check(sqlite3_step(query.get()), "cannot count");
    return static_cast<uint64_t>(sqlite3_column_int64(query.get(), 0));
}

struct ChosenConnection {
    uint32_t number;
    std::string user;
};

/* Every fourth session sits idle: it stays logged in and holds its files,
 * but asks for nothing more. */
bool is_idle(uint32_t number) {
    return number % 4 == 0;
}

/* Whether an event of a kind should add (rather than remove) one thing, so
 * that `current` stays near `target`: even odds at the target, certainty
 * at a tenth of it (at least 3) away. */
bool should_add(Random &random, uint64_t current, uint64_t target) {
    const double wanted = static_cast<double>(target);
    const double scale = wanted / 10.0 > 3.0 ? wanted / 10.0 : 3.0;
    double odds = 0.5 - 0.5 * (static_cast<double>(current) - wanted) / scale;
    odds = odds < 0.0 ? 0.0 : odds > 1.0 ? 1.0 : odds;
    return static_cast<double>(random.below(1000)) < odds * 1000.0;
}

/* The office the simulator keeps: the population it found (or a demo's
 * when the store was empty), held steady. Sessions come and go, some sit
 * idle, files open and close at the rate that keeps their number, a few
 * files stay open for hours and a few are held by two people. */
class Office {
  public:
    Office(Store &store, ServiceLog &log, Random &random)
        : store_(store), log_(log), random_(random) {
        targetConnections_ = count_of(store, "SELECT count(*) FROM connections");
        targetFiles_ = count_of(store, "SELECT count(*) FROM open_files");
        if (targetConnections_ == 0) {
            targetConnections_ = kEmptyStoreConnections;
            targetFiles_ = kEmptyStoreConnections * kEmptyStoreFilesEach;
        }
        // A few of the files already open are the ones held for hours.
        StatementUse files(store, "SELECT id FROM open_files");
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(files.get())) == SQLITE_ROW) {
            if (random_.chance(kHeldPercent)) {
                held_.insert(sqlite3_column_int64(files.get(), 0));
            }
        }
        store.check(rc, "cannot read the open files");
    }

    /* One event of the service. */
    void step() {
        const uint64_t roll = random_.below(100);
        if (roll < 3) {
            const uint64_t connections = count_of(store_, "SELECT count(*) FROM connections");
            if (should_add(random_, connections, targetConnections_)) {
                log_in();
            } else {
                log_out();
            }
        } else if (roll < 70) {
            const uint64_t files = count_of(store_, "SELECT count(*) FROM open_files");
            if (should_add(random_, files, targetFiles_)) {
                open_file();
            } else {
                close_file();
            }
        } else {
            add_activity();
        }
    }

  private:
    static constexpr uint64_t kEmptyStoreConnections = 40;
    static constexpr uint64_t kEmptyStoreFilesEach = 10;
    static constexpr unsigned kHeldPercent = 3;   // files kept open for hours
    static constexpr unsigned kSharedPercent = 4; // opens of a file someone else holds
    // A file held for hours closes at one close event in this many.
    static constexpr uint64_t kHeldCloseOneIn = 400;

    /* A connection chosen at random, only an active one when asked; none
     * when there is none. */
    std::optional<ChosenConnection> any_connection(bool active) {
        const uint64_t total = count_of(store_, "SELECT count(*) FROM connections");
        for (int attempt = 0; total > 0 && attempt < 8; ++attempt) {
            StatementUse pick(store_, "SELECT number, user FROM connections ORDER BY number"
                                      " LIMIT 1 OFFSET ?");
            sqlite3_bind_int64(pick.get(), 1, static_cast<sqlite3_int64>(random_.below(total)));
            store_.check(sqlite3_step(pick.get()), "cannot choose a connection");
            auto number = static_cast<uint32_t>(sqlite3_column_int64(pick.get(), 0));
            if (!active || !is_idle(number)) {
                return ChosenConnection{
                    number, reinterpret_cast<const char *>(sqlite3_column_text(pick.get(), 1))};
            }
        }
        return std::nullopt;
    }

    bool holds_a_held_file(uint32_t number) {
        StatementUse files(store_, "SELECT id FROM open_files WHERE connection = ?");
        sqlite3_bind_int64(files.get(), 1, number);
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(files.get())) == SQLITE_ROW) {
            if (held_.count(sqlite3_column_int64(files.get(), 0)) != 0) {
                return true;
            }
        }
        store_.check(rc, "cannot read the open files");
        return false;
    }

    void log_in() {
        ConnectionRecord record = make_connection(random_, static_cast<uint64_t>(time(nullptr)));
        // A new session has done little yet: its login, a directory or two.
        record.loginTime = static_cast<uint64_t>(time(nullptr));
        record.requests = static_cast<uint32_t>(3 + random_.below(40));
        record.bytesRead = random_.below(uint64_t(256) << 10);
        record.bytesWritten = random_.below(uint64_t(16) << 10);
        record.loginStatus = "Logged-In";
        uint32_t number = store_.add_connection(record);
        log_.line("INFO: connection %u: %s logged in from %s", number, record.user.c_str(),
                  record.address.c_str());
    }

    void log_out() {
        Transaction transaction(store_);
        std::optional<ChosenConnection> chosen = any_connection(false);
        // Whoever holds a file for hours stays logged in.
        if (!chosen || holds_a_held_file(chosen->number)) {
            return;
        }
        uint64_t files = 0;
        {
            StatementUse count(store_, "SELECT count(*) FROM open_files WHERE connection = ?");
            sqlite3_bind_int64(count.get(), 1, chosen->number);
            store_.check(sqlite3_step(count.get()), "cannot count open files");
            files = static_cast<uint64_t>(sqlite3_column_int64(count.get(), 0));
        }
        StatementUse remove(store_, "DELETE FROM connections WHERE number = ?");
        sqlite3_bind_int64(remove.get(), 1, chosen->number);
        store_.check(sqlite3_step(remove.get()), "cannot end the connection");
        transaction.commit();
        log_.line("INFO: connection %u: %s logged out, %llu open files closed", chosen->number,
                  chosen->user.c_str(), static_cast<unsigned long long>(files));
    }

    /* The volume and path of a file another connection holds, to share. */
    std::optional<std::pair<std::string, std::string>> someone_elses_file(uint32_t number) {
        const uint64_t total = count_of(store_, "SELECT count(*) FROM open_files");
        if (total == 0) {
            return std::nullopt;
        }
        StatementUse pick(store_, "SELECT v.name, f.path, f.connection FROM open_files f"
                                  " JOIN volumes v ON v.id = f.volume ORDER BY f.id"
                                  " LIMIT 1 OFFSET ?");
        sqlite3_bind_int64(pick.get(), 1, static_cast<sqlite3_int64>(random_.below(total)));
        store_.check(sqlite3_step(pick.get()), "cannot choose an open file");
        if (static_cast<uint32_t>(sqlite3_column_int64(pick.get(), 2)) == number) {
            return std::nullopt;
        }
        return std::make_pair(
            std::string(reinterpret_cast<const char *>(sqlite3_column_text(pick.get(), 0))),
            std::string(reinterpret_cast<const char *>(sqlite3_column_text(pick.get(), 1))));
    }

    void open_file() {
        Transaction transaction(store_);
        std::optional<ChosenConnection> chosen = any_connection(true);
        uint64_t volumes = count_of(store_, "SELECT count(*) FROM volumes");
        if (!chosen || volumes == 0) {
            return;
        }
        std::optional<std::pair<std::string, std::string>> shared;
        if (random_.chance(kSharedPercent)) {
            shared = someone_elses_file(chosen->number);
        }
        std::string volume;
        std::string path;
        if (shared) {
            std::tie(volume, path) = *shared;
        } else {
            StatementUse pick(store_, "SELECT name FROM volumes ORDER BY name LIMIT 1 OFFSET ?");
            sqlite3_bind_int64(pick.get(), 1, static_cast<sqlite3_int64>(random_.below(volumes)));
            store_.check(sqlite3_step(pick.get()), "cannot choose a volume");
            volume = reinterpret_cast<const char *>(sqlite3_column_text(pick.get(), 0));
            path = make_path(random_, volume, chosen->user);
        }
        store_.open_file(chosen->number, volume, path);
        if (random_.chance(kHeldPercent)) {
            held_.insert(sqlite3_last_insert_rowid(store_.handle()));
        }
        transaction.commit();
        log_.line("INFO: connection %u: %s opened %s", chosen->number, chosen->user.c_str(),
                  path.c_str());
    }

    void close_file() {
        Transaction transaction(store_);
        uint64_t total = count_of(store_, "SELECT count(*) FROM open_files");
        if (total == 0) {
            return;
        }
        StatementUse pick(store_, "SELECT f.id, f.connection, c.user, f.path FROM open_files f"
                                  " JOIN connections c ON c.number = f.connection"
                                  " ORDER BY f.id LIMIT 1 OFFSET ?");
        sqlite3_bind_int64(pick.get(), 1, static_cast<sqlite3_int64>(random_.below(total)));
        store_.check(sqlite3_step(pick.get()), "cannot choose an open file");
        sqlite3_int64 id = sqlite3_column_int64(pick.get(), 0);
        if (held_.count(id) != 0 && random_.below(kHeldCloseOneIn) != 0) {
            return;
        }
        held_.erase(id);
        auto number = static_cast<uint32_t>(sqlite3_column_int64(pick.get(), 1));
        std::string user = reinterpret_cast<const char *>(sqlite3_column_text(pick.get(), 2));
        std::string path = reinterpret_cast<const char *>(sqlite3_column_text(pick.get(), 3));
        StatementUse remove(store_, "DELETE FROM open_files WHERE id = ?");
        sqlite3_bind_int64(remove.get(), 1, id);
        store_.check(sqlite3_step(remove.get()), "cannot close the file");
        transaction.commit();
        log_.line("INFO: connection %u: %s closed %s", number, user.c_str(), path.c_str());
    }

    void add_activity() {
        Transaction transaction(store_);
        std::optional<ChosenConnection> chosen = any_connection(true);
        if (!chosen) {
            return;
        }
        uint64_t requests = 1 + random_.below(200);
        uint64_t read = random_.below(uint64_t(64) << 20);
        uint64_t written = random_.below(uint64_t(8) << 20);
        // Counters saturate rather than wrap: requests at 2^32-1, bytes at 2^63-1.
        StatementUse update(store_,
                            "UPDATE connections SET requests = min(requests + ?1, 4294967295),"
                            " bytes_read = CASE WHEN bytes_read > 9223372036854775807 - ?2"
                            " THEN bytes_read ELSE bytes_read + ?2 END,"
                            " bytes_written = CASE WHEN bytes_written > 9223372036854775807 - ?3"
                            " THEN bytes_written ELSE bytes_written + ?3 END WHERE number = ?4");
        sqlite3_bind_int64(update.get(), 1, static_cast<sqlite3_int64>(requests));
        sqlite3_bind_int64(update.get(), 2, static_cast<sqlite3_int64>(read));
        sqlite3_bind_int64(update.get(), 3, static_cast<sqlite3_int64>(written));
        sqlite3_bind_int64(update.get(), 4, chosen->number);
        store_.check(sqlite3_step(update.get()), "cannot count the activity");
        transaction.commit();
        log_.line("DEBUG: connection %u: %s made %llu requests, read %llu bytes, wrote %llu bytes",
                  chosen->number, chosen->user.c_str(), static_cast<unsigned long long>(requests),
                  static_cast<unsigned long long>(read), static_cast<unsigned long long>(written));
    }

    Store &store_;
    ServiceLog &log_;
    Random &random_;
    uint64_t targetConnections_ = 0;
    uint64_t targetFiles_ = 0;
    std::unordered_set<sqlite3_int64> held_;
};

/* Sleeps for about milliseconds, waking early on a stop request. */
void pause_for(uint64_t milliseconds) {
    while (milliseconds > 0 && !g_stop_requested) {
        uint64_t slice = milliseconds < 50 ? milliseconds : 50;
        struct timespec delay = {0, static_cast<long>(slice) * 1000000L};
        nanosleep(&delay, nullptr);
        milliseconds -= slice;
    }
}

/* One line on standard output: the simulated second and the counts. */
void report_counts(Store &store, uint64_t second) {
    printf("%llu connections=%llu files=%llu\n", static_cast<unsigned long long>(second),
           static_cast<unsigned long long>(count_of(store, "SELECT count(*) FROM connections")),
           static_cast<unsigned long long>(count_of(store, "SELECT count(*) FROM open_files")));
    fflush(stdout);
}

} // namespace

int command_simulate(const Context &context, Args &args) {
    uint64_t seconds = 0;
    uint64_t speed = 1;
    uint64_t report = 0;
    uint64_t seed = static_cast<uint64_t>(time(nullptr));
    while (args.more()) {
        std::string arg = args.next();
        if (arg == "--seconds") {
            seconds = parse_unsigned(args.value(arg), uint64_t{100} * 365 * 24 * 3600, "--seconds");
        } else if (arg == "--speed") {
            speed = parse_unsigned(args.value(arg), 1000000, "--speed");
            if (speed == 0) {
                throw UsageError("--speed must be at least 1");
            }
        } else if (arg == "--report") {
            report = parse_unsigned(args.value(arg), uint64_t{100} * 365 * 24 * 3600, "--report");
        } else if (arg == "--seed") {
            seed = parse_unsigned(args.value(arg), UINT64_MAX, "--seed");
        } else {
            throw UsageError("unknown argument " + arg);
        }
    }
    Store store = Store::open(context.storePath);
    // A simulated service's last events need not outlive a power cut, and
    // the write-ahead log keeps the store whole without a sync per event.
    store.check(
        sqlite3_exec(store.handle(), "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr),
        "cannot set the store's syncing");
    ServiceLog log;
    Random random(seed);

    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    if (count_of(store, "SELECT count(*) FROM volumes") == 0) {
        Transaction transaction(store);
        for (size_t i = 0; i < 3; ++i) {
            store.add_volume(make_volume_name(i));
        }
        transaction.commit();
    }
    log.line("INFO: AFP service started (simulated), store %s", context.storePath.c_str());
    fprintf(stderr, "afpstat simulate: writing %s; stop with Ctrl-C\n", log.path().c_str());

    Office office(store, log, random);
    // The clock of the simulated service: each pause is slept 1/speed of.
    uint64_t simulatedMs = 0;
    uint64_t nextReportMs = 0;
    unsigned long long events = 0;
    while (!g_stop_requested && (seconds == 0 || simulatedMs < seconds * 1000)) {
        if (report != 0 && simulatedMs >= nextReportMs) {
            report_counts(store, simulatedMs / 1000);
            nextReportMs += report * 1000;
        }
        office.step();
        ++events;
        const uint64_t pause = 150 + random.below(350);
        simulatedMs += pause;
        pause_for(pause / speed);
    }
    if (report != 0) {
        report_counts(store, simulatedMs / 1000);
    }
    log.line("INFO: AFP service stopped (simulated) after %llu events", events);
    return 0;
}

} // namespace afpstat::cli

/*
 * `afpstat simulate`: a stand-in AFP service. Users log in and out, files
 * open and close and counters grow, a few events a second, each one a
 * transaction of its own and a line in the service's log.
 *
 * Notes: the loop stops at the deadline or at SIGINT/SIGTERM, between
 * events, so the store is never left half-written.
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
#include <unistd.h>

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

/* A connection chosen at random, or none when there are none. */
std::optional<ChosenConnection> any_connection(Store &store, Random &random) {
    uint64_t total = count_of(store, "SELECT count(*) FROM connections");
    if (total == 0) {
        return std::nullopt;
    }
    StatementUse pick(store,
                      "SELECT number, user FROM connections ORDER BY number LIMIT 1 OFFSET ?");
    sqlite3_bind_int64(pick.get(), 1, static_cast<sqlite3_int64>(random.below(total)));
    store.check(sqlite3_step(pick.get()), "cannot choose a connection");
    return ChosenConnection{static_cast<uint32_t>(sqlite3_column_int64(pick.get(), 0)),
                            reinterpret_cast<const char *>(sqlite3_column_text(pick.get(), 1))};
}

void log_in(Store &store, ServiceLog &log, Random &random) {
    ConnectionRecord record = make_connection(random, static_cast<uint64_t>(time(nullptr)));
    record.loginTime = static_cast<uint64_t>(time(nullptr));
    record.requests = 1;
    record.bytesRead = 0;
    record.bytesWritten = 0;
    record.loginStatus = "Logged-In";
    uint32_t number = store.add_connection(record);
    log.line("INFO: connection %u: %s logged in from %s", number, record.user.c_str(),
             record.address.c_str());
}

void log_out(Store &store, ServiceLog &log, Random &random) {
    Transaction transaction(store);
    std::optional<ChosenConnection> chosen = any_connection(store, random);
    if (!chosen) {
        return;
    }
    uint64_t files = 0;
    {
        StatementUse count(store, "SELECT count(*) FROM open_files WHERE connection = ?");
        sqlite3_bind_int64(count.get(), 1, chosen->number);
        store.check(sqlite3_step(count.get()), "cannot count open files");
        files = static_cast<uint64_t>(sqlite3_column_int64(count.get(), 0));
    }
    StatementUse remove(store, "DELETE FROM connections WHERE number = ?");
    sqlite3_bind_int64(remove.get(), 1, chosen->number);
    store.check(sqlite3_step(remove.get()), "cannot end the connection");
    transaction.commit();
    log.line("INFO: connection %u: %s logged out, %llu open files closed", chosen->number,
             chosen->user.c_str(), static_cast<unsigned long long>(files));
}

void open_some_file(Store &store, ServiceLog &log, Random &random) {
    Transaction transaction(store);
    std::optional<ChosenConnection> chosen = any_connection(store, random);
    uint64_t volumes = count_of(store, "SELECT count(*) FROM volumes");
    if (!chosen || volumes == 0) {
        return;
    }
    std::string volume;
    {
        StatementUse pick(store, "SELECT name FROM volumes ORDER BY name LIMIT 1 OFFSET ?");
        sqlite3_bind_int64(pick.get(), 1, static_cast<sqlite3_int64>(random.below(volumes)));
        store.check(sqlite3_step(pick.get()), "cannot choose a volume");
        volume = reinterpret_cast<const char *>(sqlite3_column_text(pick.get(), 0));
    }
    std::string path = make_path(random, volume, chosen->user);
    store.open_file(chosen->number, volume, path);
    transaction.commit();
    log.line("INFO: connection %u: %s opened %s", chosen->number, chosen->user.c_str(),
             path.c_str());
}

void close_some_file(Store &store, ServiceLog &log, Random &random) {
    Transaction transaction(store);
    uint64_t total = count_of(store, "SELECT count(*) FROM open_files");
    if (total == 0) {
        return;
    }
    StatementUse pick(store, "SELECT f.id, f.connection, c.user, f.path FROM open_files f"
                             " JOIN connections c ON c.number = f.connection"
                             " ORDER BY f.id LIMIT 1 OFFSET ?");
    sqlite3_bind_int64(pick.get(), 1, static_cast<sqlite3_int64>(random.below(total)));
    store.check(sqlite3_step(pick.get()), "cannot choose an open file");
    sqlite3_int64 id = sqlite3_column_int64(pick.get(), 0);
    auto number = static_cast<uint32_t>(sqlite3_column_int64(pick.get(), 1));
    std::string user = reinterpret_cast<const char *>(sqlite3_column_text(pick.get(), 2));
    std::string path = reinterpret_cast<const char *>(sqlite3_column_text(pick.get(), 3));
    StatementUse remove(store, "DELETE FROM open_files WHERE id = ?");
    sqlite3_bind_int64(remove.get(), 1, id);
    store.check(sqlite3_step(remove.get()), "cannot close the file");
    transaction.commit();
    log.line("INFO: connection %u: %s closed %s", number, user.c_str(), path.c_str());
}

void add_activity(Store &store, ServiceLog &log, Random &random) {
    Transaction transaction(store);
    std::optional<ChosenConnection> chosen = any_connection(store, random);
    if (!chosen) {
        return;
    }
    uint64_t requests = 1 + random.below(200);
    uint64_t read = random.below(uint64_t(64) << 20);
    uint64_t written = random.below(uint64_t(8) << 20);
    // Counters saturate rather than wrap: requests at 2^32-1, bytes at 2^63-1.
    StatementUse update(store, "UPDATE connections SET requests = min(requests + ?1, 4294967295),"
                               " bytes_read = CASE WHEN bytes_read > 9223372036854775807 - ?2"
                               " THEN bytes_read ELSE bytes_read + ?2 END,"
                               " bytes_written = CASE WHEN bytes_written > 9223372036854775807 - ?3"
                               " THEN bytes_written ELSE bytes_written + ?3 END WHERE number = ?4");
    sqlite3_bind_int64(update.get(), 1, static_cast<sqlite3_int64>(requests));
    sqlite3_bind_int64(update.get(), 2, static_cast<sqlite3_int64>(read));
    sqlite3_bind_int64(update.get(), 3, static_cast<sqlite3_int64>(written));
    sqlite3_bind_int64(update.get(), 4, chosen->number);
    store.check(sqlite3_step(update.get()), "cannot count the activity");
    transaction.commit();
    log.line("DEBUG: connection %u: %s made %llu requests, read %llu bytes, wrote %llu bytes",
             chosen->number, chosen->user.c_str(), static_cast<unsigned long long>(requests),
             static_cast<unsigned long long>(read), static_cast<unsigned long long>(written));
}

/* Sleeps for about milliseconds, waking early on a stop request. */
void pause_for(uint64_t milliseconds) {
    while (milliseconds > 0 && !g_stop_requested) {
        uint64_t slice = milliseconds < 50 ? milliseconds : 50;
        struct timespec delay = {0, static_cast<long>(slice) * 1000000L};
        nanosleep(&delay, nullptr);
        milliseconds -= slice;
    }
}

double seconds_since(const struct timespec &start) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) +
           static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
}

} // namespace

int command_simulate(const Context &context, Args &args) {
    uint64_t seconds = 0;
    uint64_t seed = static_cast<uint64_t>(time(nullptr));
    while (args.more()) {
        std::string arg = args.next();
        if (arg == "--seconds") {
            seconds = parse_unsigned(args.value(arg), uint64_t{100} * 365 * 24 * 3600, "--seconds");
        } else if (arg == "--seed") {
            seed = parse_unsigned(args.value(arg), UINT64_MAX, "--seed");
        } else {
            throw UsageError("unknown argument " + arg);
        }
    }
    Store store = Store::open(context.storePath);
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

    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    unsigned long long events = 0;
    while (!g_stop_requested && (seconds == 0 || seconds_since(start) < double(seconds))) {
        uint64_t connections = count_of(store, "SELECT count(*) FROM connections");
        uint64_t roll = random.below(100);
        if (connections == 0 || (roll < 15 && connections < 500)) {
            log_in(store, log, random);
        } else if (roll < 25 || connections >= 500) {
            log_out(store, log, random);
        } else if (roll < 55) {
            open_some_file(store, log, random);
        } else if (roll < 80) {
            close_some_file(store, log, random);
        } else {
            add_activity(store, log, random);
        }
        ++events;
        pause_for(150 + random.below(350));
    }
    log.line("INFO: AFP service stopped (simulated) after %llu events", events);
    return 0;
}

} // namespace afpstat::cli

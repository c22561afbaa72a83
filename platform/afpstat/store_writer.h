/*
 * Writing and reading the store from the `afpstat` command and the tests.
 *
 * C++ with exceptions (StoreError); the library itself never uses this file.
 * Every write runs inside a Transaction: a method called outside one makes
 * its own, so nothing is ever half-written.
 */
#ifndef HXM_PLATFORM_AFPSTAT_STORE_WRITER_H
#define HXM_PLATFORM_AFPSTAT_STORE_WRITER_H

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace afpstat {

/* Longest texts the records can carry whole. */
inline constexpr size_t kMaxUserName = 513;
inline constexpr size_t kMaxAddress = 16;
inline constexpr size_t kMaxStatusText = 32;
inline constexpr size_t kMaxVolumeName = 319;
inline constexpr size_t kMaxPath = 4095;

/* A store that cannot be opened or written, or a write it refuses
 * (a number in use, an unknown connection or volume). */
class StoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/* A value that no record can hold (a text too long, empty or malformed). */
class InvalidValue : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

struct ConnectionRecord {
    std::optional<uint32_t> number; /* unset: the next free number */
    std::string user;
    std::string address;
    uint64_t loginTime = 0;
    uint32_t requests = 0;
    uint64_t bytesRead = 0;
    uint64_t bytesWritten = 0;
    std::string loginStatus = "Logged-In";
    std::string privileges = "Non-Supervisor";
    std::vector<std::string> equivalences;
};

struct OpenFileRecord {
    uint32_t connection = 0;
    std::string volume;
    std::string path;
};

/* Everything in a store, in listing order: connections by number, volumes
 * by name, open files by connection and then in the order opened. */
struct Population {
    std::vector<ConnectionRecord> connections;
    std::vector<std::string> volumes;
    std::vector<OpenFileRecord> openFiles;
};

/* Throws InvalidValue when the record cannot be stored whole. */
void validate_connection(const ConnectionRecord &record);
void validate_volume_name(const std::string &name);
void validate_path(const std::string &path);

class Store {
  public:
    /* Creates the store (and its folder) when missing; idempotent. */
    static Store create(const std::string &path);
    /* Opens an existing store; a missing or foreign file is a StoreError. */
    static Store open(const std::string &path);

    Store(Store &&other) noexcept;
    Store &operator=(Store &&) = delete;
    Store(const Store &) = delete;
    ~Store();

    sqlite3 *handle() const { return db_; }

    /* Adds a connection and its equivalences; returns its number. */
    uint32_t add_connection(const ConnectionRecord &record);
    /* Adds a volume; false when it existed already. */
    bool add_volume(const std::string &name);
    /* Opens path on volume for connection; both must exist. */
    void open_file(uint32_t connection, const std::string &volume, const std::string &path);
    /* Removes every connection, open file and volume. */
    void clear_population();
    bool connection_exists(uint32_t number);

    /* Reads everything in one read transaction. */
    Population read_population();

    /* The cached prepared statement for sql (a string literal), reset and
     * unbound; reset it again when done (StatementUse does). One use of a
     * given sql at a time: asking again resets the earlier use. */
    sqlite3_stmt *prepared(const char *sql);

    /* Throws StoreError with context and SQLite's message when rc is not ok. */
    void check(int rc, const char *context) const;

  private:
    explicit Store(sqlite3 *db) : db_(db) {}
    sqlite3 *db_ = nullptr;
    std::unordered_map<const char *, sqlite3_stmt *> statements_;
};

/* Resets a cached statement when the scope ends, ending its read. */
class StatementUse {
  public:
    StatementUse(Store &store, const char *sql) : stmt_(store.prepared(sql)) {}
    StatementUse(const StatementUse &) = delete;
    StatementUse &operator=(const StatementUse &) = delete;
    ~StatementUse() { sqlite3_reset(stmt_); }
    sqlite3_stmt *get() const { return stmt_; }

  private:
    sqlite3_stmt *stmt_;
};

/* BEGIN IMMEDIATE on construction when no transaction is open (otherwise it
 * joins the open one); ROLLBACK on destruction unless committed. */
class Transaction {
  public:
    explicit Transaction(Store &store);
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    ~Transaction();
    void commit();

  private:
    Store &store_;
    bool owner_ = false;
    bool done_ = false;
};

} // namespace afpstat

#endif

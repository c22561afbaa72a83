/*
 * The history store: what the recorder saw of the AFP service over time,
 * in one SQLite database under /var/opt/zentra/history (WAL mode, so the
 * readers never hold up the one writer, the recorder).
 *
 * Tables (times are seconds since 1970):
 *   sessions    one per connection seen (number and login time): user,
 *               address, first_seen, last_seen and gone (the first cycle
 *               it was missing; null while it is there), its request count
 *               and active_at, when that count last moved
 *   idle_spans  the spans a connection's request count stood still, once
 *               it moves again (start, until)
 *   paths       every (volume, path) once, searched through path_search,
 *               an FTS5 trigram index (any part of three characters or more)
 *   opens       one per file seen open by one session: first_seen,
 *               last_seen and gone as for sessions
 *   actions     each clear and close asked from the pages or the command:
 *               who asked (console or Unix user), what, and what came of it
 *   meta        last_cycle: the time of the recorder's last committed cycle
 * A row still there has last_seen null: meta's last_cycle stands for it,
 * so a cycle writes only what changed.
 */
#ifndef HXM_HISTORY_STORE_H
#define HXM_HISTORY_STORE_H

#include <stdint.h>

#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace hxm2afp::history {

/* The store's fixed place; under ZENTRA_ROOT like every server path. */
inline constexpr char kFixedStoreFile[] = "/var/opt/zentra/history/history.db";

/* The store file's path under the root, or "" when it does not fit. */
std::string store_file_path();

/* Whether the store file is there to be read: the pages link to the history
 * only then, so without a recorder they stay as they were. */
bool store_present();

/* One prepared statement, finalised with its holder. */
class Statement {
  public:
    Statement(sqlite3 *db, const char *sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool ok() const { return statement_ != nullptr; }
    Statement &bind(int index, int64_t value);
    Statement &bind(int index, const std::string &text);
    Statement &bind_null(int index);
    /* Steps once: true while a row is there (SQLITE_ROW). A failure is
     * kept: error() then holds SQLite's code. Resets after the last row. */
    bool step();
    /* Runs to the end and resets; SQLite's result code (SQLITE_DONE). */
    int run();
    int64_t integer(int column) const;
    bool is_null(int column) const;
    std::string text(int column) const;
    int error() const { return error_; }

  private:
    sqlite3_stmt *statement_ = nullptr;
    int error_ = 0;
};

class Store {
  public:
    enum class Access { kRead, kWrite };

    /* Opens the store at `path`: for writing it is made (with its folder)
     * when missing and its tables created; for reading it must exist.
     * Returns null with *error saying why. */
    static std::unique_ptr<Store> open(const std::string &path, Access access, std::string *error);
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    sqlite3 *db() const { return db_; }
    /* Runs statements without results; SQLite's code (SQLITE_OK). */
    int exec(const char *sql);
    /* The last SQLite failure in words. */
    std::string last_error() const;
    /* Bytes the tables and indexes hold (pages in use, free pages not). */
    int64_t used_bytes();

  private:
    explicit Store(sqlite3 *db) : db_(db) {}
    sqlite3 *db_;
};

} // namespace hxm2afp::history

#endif

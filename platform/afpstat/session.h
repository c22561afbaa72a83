/*
 * One library call's use of the store: its own connection (never shared
 * between threads), prepared statements and transactions, all released when
 * the call returns.
 */
#ifndef HXM_PLATFORM_AFPSTAT_SESSION_H
#define HXM_PLATFORM_AFPSTAT_SESSION_H

#include <sqlite3.h>

namespace afpstat {

/* The contract status for a SQLite result code: out of memory is
 * AFPSTAT_ERR_NO_MEMORY, every other failure AFPSTAT_ERR_STORE. */
int status_from_sqlite(int rc);

/* A finalize-on-scope-exit prepared statement. */
class Statement {
  public:
    Statement() = default;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    ~Statement() { sqlite3_finalize(stmt_); }
    sqlite3_stmt *get() const { return stmt_; }
    sqlite3_stmt **out() { return &stmt_; }

  private:
    sqlite3_stmt *stmt_ = nullptr;
};

class Session {
  public:
    Session() = default;
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    /* Ends an open transaction (rolling back a write that was not
     * committed) and closes the connection. */
    ~Session();

    /* Opens the store named by the environment, never creating it.
     * Returns AFPSTAT_OK or a status. */
    int open();
    /* Prepares sql into statement; returns AFPSTAT_OK or a status. */
    int prepare(const char *sql, Statement &statement);
    /* Starts a read transaction: every statement until the end of the
     * session sees one snapshot. Returns AFPSTAT_OK or a status. */
    int begin_read();
    /* Starts a write transaction, waiting up to the busy timeout for other
     * writers. Returns AFPSTAT_OK or a status. */
    int begin_write();
    /* Commits the open transaction; returns AFPSTAT_OK or a status. */
    int commit();

    sqlite3 *db() const { return db_; }

  private:
    int begin(const char *sql);
    sqlite3 *db_ = nullptr;
    bool in_transaction_ = false;
};

} // namespace afpstat

#endif

/*
 * One library call's use of the store: its own transaction on the calling
 * thread's kept connection, with statements kept on that connection.
 *
 * Each thread keeps one connection (never shared between threads) and its
 * prepared statements while the store's path names the same, unchanged file;
 * a connection that saw a store error is closed when the call ends, so the
 * next call opens the store afresh. The connection closes when its thread
 * ends.
 */
#ifndef HXM_PLATFORM_AFPSTAT_SESSION_H
#define HXM_PLATFORM_AFPSTAT_SESSION_H

#include <sqlite3.h>

#include <stddef.h>

struct VolFileListNode;

namespace afpstat {

/* Longer lists are read from the store each time: their copies would hold
 * megabytes per thread for a page that is rarely asked for. */
constexpr int kMaxRememberedRows = 4096;

/* Frees a file list: its nodes, name arrays and names are one block. */
void free_volume_files(VolFileListNode *list);

/* The contract status for a SQLite result code: out of memory is
 * AFPSTAT_ERR_NO_MEMORY, every other failure AFPSTAT_ERR_STORE. */
int status_from_sqlite(int rc);

/* A statement lent by the session for one use: reset and its bindings
 * cleared when it goes out of scope (so it holds no snapshot and no
 * caller's text), finalized only when the connection closes. Must go out of
 * scope before the Session that lent it. */
class Statement {
  public:
    Statement() = default;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    ~Statement();
    sqlite3_stmt *get() const { return stmt_; }

  private:
    friend class Session;
    sqlite3_stmt *stmt_ = nullptr;
    bool owned_ = false; /* prepared for this use only: finalized here */
};

struct KeptConnection;

class Session {
  public:
    Session() = default;
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    /* Ends an open transaction (rolling back a write that was not
     * committed); closes the connection when a store error was seen or the
     * transaction could not be ended. */
    ~Session();

    /* Makes the thread's connection ready for the store named by the
     * environment: the kept one while it is the same file, else a fresh
     * one, never creating the store. Returns AFPSTAT_OK or a status. */
    int open();
    /* Lends the connection's statement for sql (found by its text),
     * preparing and keeping it on first use. Returns AFPSTAT_OK or a
     * status. */
    int prepare(const char *sql, Statement &statement);
    /* Starts a read transaction and checks the schema version in it: every
     * statement until the end of the session sees one snapshot. Returns
     * AFPSTAT_OK or a status. */
    int begin_read();
    /* Starts a write transaction, waiting up to the busy timeout for other
     * writers, and checks the schema version. Returns AFPSTAT_OK or a
     * status. */
    int begin_write();
    /* Commits the open transaction; returns AFPSTAT_OK or a status. */
    int commit();

    /* The node bytes (count nodes of node_size bytes, links not set) that
     * sql listed on this connection at a store version still current in this
     * read transaction, or null: another connection's commit, a write of
     * this one or a new connection forgets them. */
    const unsigned char *remembered_rows(const char *sql, size_t node_size, int *count);
    /* The file list of `volume` this connection read at a store version
     * still current in this read transaction (count nodes in one block of
     * *bytes bytes), or null. It stays the connection's: the caller copies
     * it. */
    const VolFileListNode *remembered_files(const char *volume, int *count, size_t *bytes);
    /* Takes `list` (count nodes in one malloc'd block of `bytes` bytes, at
     * most kMaxRememberedRows file names) as what `volume` lists in this
     * read transaction; frees it instead when it cannot be kept. */
    void remember_files(const char *volume, VolFileListNode *list, int count, size_t bytes);

    /* Room for the count nodes of node_size bytes that sql listed in this
     * read transaction, which the caller fills at once, or null: long lists,
     * and any list when memory runs short, are not remembered. */
    unsigned char *rows_to_remember(const char *sql, size_t node_size, int count);
    /* The status for a SQLite failure rc met by the caller (a failed step);
     * the connection is then not kept past this session. */
    int failed(int rc);

    sqlite3 *db() const;

  private:
    int begin(const char *sql);
    int run(const char *sql);
    /* This read transaction's store version (PRAGMA data_version), or -1;
     * read once a call. */
    long long data_version();
    KeptConnection *connection_ = nullptr;
    bool in_transaction_ = false;
    bool failed_ = false;
    long long data_version_ = -2; /* -2: not read yet */
};

} // namespace afpstat

#endif

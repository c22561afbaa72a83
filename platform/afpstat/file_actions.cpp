/*
 * The library's three actions: close a file everywhere, close every file of
 * a connection, end a connection. Each is one write transaction.
 */
#include "export.h"
#include "session.h"

#include "monitor/afpstat.h"

using afpstat::Session;
using afpstat::Statement;

namespace {

/* Runs sql once with its first parameter bound by bind; *changed gets the
 * number of rows it changed. Returns AFPSTAT_OK or a status. */
template <typename Bind>
int run_change(Session &session, const char *sql, Bind bind, int *changed) {
    Statement stmt;
    int status = session.prepare(sql, stmt);
    if (status != AFPSTAT_OK) {
        return status;
    }
    bind(stmt.get());
    int rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_DONE) {
        return afpstat::status_from_sqlite(rc);
    }
    *changed = sqlite3_changes(session.db());
    return AFPSTAT_OK;
}

/* Opens the store and starts a write transaction. */
int begin_action(Session &session) {
    int status = session.open();
    return status == AFPSTAT_OK ? session.begin_write() : status;
}

} // namespace

/* Closes every open file with exactly this full path, for every connection
 * and volume. AFPSTAT_ERR_NOT_FOUND when no file had that path. */
extern "C" AFPSTAT_EXPORT int Ext_CloseFileByFileName(const char *path) {
    if (path == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    Session session;
    int status = begin_action(session);
    int closed = 0;
    if (status == AFPSTAT_OK) {
        status = run_change(
            session, "DELETE FROM open_files WHERE path = ?",
            [path](sqlite3_stmt *stmt) { sqlite3_bind_text(stmt, 1, path, -1, SQLITE_STATIC); },
            &closed);
    }
    if (status == AFPSTAT_OK && closed == 0) {
        status = AFPSTAT_ERR_NOT_FOUND;
    }
    return status == AFPSTAT_OK ? session.commit() : status;
}

/* Closes every file of the connection, which stays. AFPSTAT_ERR_NOT_FOUND
 * when there is no such connection or it had no open files. */
extern "C" AFPSTAT_EXPORT int Ext_CloseFileByID(uint32_t connectionNumber) {
    Session session;
    int status = begin_action(session);
    int closed = 0;
    if (status == AFPSTAT_OK) {
        status = run_change(
            session, "DELETE FROM open_files WHERE connection = ?",
            [connectionNumber](sqlite3_stmt *stmt) {
                sqlite3_bind_int64(stmt, 1, connectionNumber);
            },
            &closed);
    }
    if (status == AFPSTAT_OK && closed == 0) {
        status = AFPSTAT_ERR_NOT_FOUND;
    }
    return status == AFPSTAT_OK ? session.commit() : status;
}

/* Ends the connection; its open files and security equivalences go with it
 * (cascade). AFPSTAT_ERR_NOT_FOUND when there is no such connection. */
extern "C" AFPSTAT_EXPORT int Ext_ClearOneConnection(uint32_t connectionNumber) {
    Session session;
    int status = begin_action(session);
    int cleared = 0;
    if (status == AFPSTAT_OK) {
        status = run_change(
            session, "DELETE FROM connections WHERE number = ?",
            [connectionNumber](sqlite3_stmt *stmt) {
                sqlite3_bind_int64(stmt, 1, connectionNumber);
            },
            &cleared);
    }
    if (status == AFPSTAT_OK && cleared == 0) {
        status = AFPSTAT_ERR_NOT_FOUND;
    }
    return status == AFPSTAT_OK ? session.commit() : status;
}

/*
 * The library's three actions: close a file everywhere, close every file of
 * a connection, end a connection. Each is one write transaction.
 */

#include <zentra/afpstat.h>

#include "platform/afpstat/export.h"
#include "platform/afpstat/session.h"

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
        return session.failed(rc);
    }
    *changed = sqlite3_changes(session.db());
    return AFPSTAT_OK;
}

/* Runs sql, its first parameter bound by bind, as one write transaction of
 * its own. AFPSTAT_ERR_NOT_FOUND, with nothing committed, when it changed no
 * row; otherwise AFPSTAT_OK or a status. */
template <typename Bind> int change_in_transaction(const char *sql, Bind bind) {
    Session session;
    int status = session.open();
    if (status == AFPSTAT_OK) {
        status = session.begin_write();
    }
    int changed = 0;
    if (status == AFPSTAT_OK) {
        status = run_change(session, sql, bind, &changed);
    }
    if (status == AFPSTAT_OK && changed == 0) {
        status = AFPSTAT_ERR_NOT_FOUND;
    }
    return status == AFPSTAT_OK ? session.commit() : status;
}

/* change_in_transaction with a connection number as the parameter. */
int change_connection(const char *sql, uint32_t connectionNumber) {
    return change_in_transaction(sql, [connectionNumber](sqlite3_stmt *stmt) {
        sqlite3_bind_int64(stmt, 1, connectionNumber);
    });
}

} // namespace

/* Closes every open file with exactly this full path, for every connection
 * and volume. AFPSTAT_ERR_NOT_FOUND when no file had that path. */
extern "C" AFPSTAT_EXPORT int Ext_CloseFileByFileName(const char *path) {
    if (path == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    return change_in_transaction(
        "DELETE FROM open_files WHERE path = ?",
        [path](sqlite3_stmt *stmt) { sqlite3_bind_text(stmt, 1, path, -1, SQLITE_STATIC); });
}

/* Closes every file of the connection, which stays. AFPSTAT_ERR_NOT_FOUND
 * when there is no such connection or it had no open files. */
extern "C" AFPSTAT_EXPORT int Ext_CloseFileByID(uint32_t connectionNumber) {
    return change_connection("DELETE FROM open_files WHERE connection = ?", connectionNumber);
}

/* Ends the connection; its open files and security equivalences go with it
 * (cascade). AFPSTAT_ERR_NOT_FOUND when there is no such connection. */
extern "C" AFPSTAT_EXPORT int Ext_ClearOneConnection(uint32_t connectionNumber) {
    return change_connection("DELETE FROM connections WHERE number = ?", connectionNumber);
}

/*
 * A connection to the store per library call.
 *
 * Notes: a connection per call costs an open and a schema read, a small
 * price next to a page; it keeps calls from many threads independent
 * without a shared handle or a lock of our own.
 */
#include "platform/afpstat/session.h"

#include "platform/afpstat/store_path.h"
#include "platform/afpstat/store_schema.h"

#include "monitor/afpstat.h"

#include <limits.h>

namespace afpstat {

int status_from_sqlite(int rc) {
    return (rc & 0xff) == SQLITE_NOMEM ? AFPSTAT_ERR_NO_MEMORY : AFPSTAT_ERR_STORE;
}

Session::~Session() {
    if (in_transaction_) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_close_v2(db_);
}

int Session::open() {
    char path[PATH_MAX];
    if (resolve_store_path(path, sizeof path) != 0) {
        return AFPSTAT_ERR_STORE;
    }
    int rc = open_existing_store(path, &db_);
    return rc == SQLITE_OK ? AFPSTAT_OK : status_from_sqlite(rc);
}

int Session::prepare(const char *sql, Statement &statement) {
    int rc = sqlite3_prepare_v2(db_, sql, -1, statement.out(), nullptr);
    return rc == SQLITE_OK ? AFPSTAT_OK : status_from_sqlite(rc);
}

int Session::begin(const char *sql) {
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return status_from_sqlite(rc);
    }
    in_transaction_ = true;
    return AFPSTAT_OK;
}

int Session::begin_read() {
    return begin("BEGIN");
}

int Session::begin_write() {
    return begin("BEGIN IMMEDIATE");
}

int Session::commit() {
    int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return status_from_sqlite(rc);
    }
    in_transaction_ = false;
    return AFPSTAT_OK;
}

} // namespace afpstat

/*
 * The store's schema, in one place, and opening a store.
 *
 * Notes: unsigned 64-bit counters and times are kept in SQLite's signed
 * INTEGER by their bit pattern; readers cast back to unsigned. Open files
 * carry an id that grows with every open, so "in the order opened" is
 * "ORDER BY id".
 */
#include "platform/afpstat/store_schema.h"

#include "platform/afpstat/store_path.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

namespace afpstat {

namespace {

constexpr const char kCreateSchema[] =
    "CREATE TABLE connections ("
    "  number INTEGER PRIMARY KEY CHECK (number BETWEEN 0 AND 4294967295),"
    "  user TEXT NOT NULL,"
    "  address TEXT NOT NULL,"
    "  login_time INTEGER NOT NULL DEFAULT 0,"
    "  requests INTEGER NOT NULL DEFAULT 0 CHECK (requests BETWEEN 0 AND 4294967295),"
    "  bytes_read INTEGER NOT NULL DEFAULT 0,"
    "  bytes_written INTEGER NOT NULL DEFAULT 0,"
    "  login_status TEXT NOT NULL DEFAULT 'Logged-In',"
    "  privileges TEXT NOT NULL DEFAULT 'Non-Supervisor');"
    "CREATE TABLE equivalences ("
    "  connection INTEGER NOT NULL REFERENCES connections(number) ON DELETE CASCADE,"
    "  position INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  PRIMARY KEY (connection, position));"
    "CREATE TABLE volumes ("
    "  id INTEGER PRIMARY KEY,"
    "  name TEXT NOT NULL UNIQUE);"
    "CREATE TABLE open_files ("
    "  id INTEGER PRIMARY KEY,"
    "  connection INTEGER NOT NULL REFERENCES connections(number) ON DELETE CASCADE,"
    "  volume INTEGER NOT NULL REFERENCES volumes(id),"
    "  path TEXT NOT NULL);"
    "CREATE INDEX open_files_by_volume ON open_files(volume, connection, id);"
    "CREATE INDEX open_files_by_connection ON open_files(connection, id);"
    "CREATE INDEX open_files_by_path ON open_files(path);";

/* Applies the options every connection to the store uses. */
int configure(sqlite3 *db) {
    sqlite3_extended_result_codes(db, 1);
    int rc = sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
    }
    return rc;
}

/* Reads a one-integer pragma or query into *value. */
int query_integer(sqlite3 *db, const char *sql, int *value) {
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            *value = sqlite3_column_int(stmt, 0);
            rc = SQLITE_OK;
        } else if (rc == SQLITE_DONE) {
            rc = SQLITE_ERROR;
        }
    }
    sqlite3_finalize(stmt);
    return rc;
}

/* Creates the schema in an empty store, accepts a current one, refuses
 * anything else. */
int ensure_schema(sqlite3 *db, char *error, size_t error_size) {
    int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    int version = 0;
    int objects = 0;
    if (rc == SQLITE_OK) {
        rc = query_integer(db, "PRAGMA user_version", &version);
    }
    if (rc == SQLITE_OK) {
        rc = query_integer(db, "SELECT count(*) FROM sqlite_master", &objects);
    }
    if (rc != SQLITE_OK) {
        snprintf(error, error_size, "cannot read the store: %s", sqlite3_errmsg(db));
    } else if (version == kSchemaVersion) {
        // Already made: init is idempotent.
    } else if (version != 0 || objects != 0) {
        snprintf(error, error_size, "not a store of this version (schema version %d)", version);
        rc = SQLITE_NOTADB;
    } else {
        char set_version[64];
        snprintf(set_version, sizeof set_version, "PRAGMA user_version = %d", kSchemaVersion);
        rc = sqlite3_exec(db, kCreateSchema, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_exec(db, set_version, nullptr, nullptr, nullptr);
        }
        if (rc != SQLITE_OK) {
            snprintf(error, error_size, "cannot create the schema: %s", sqlite3_errmsg(db));
        }
    }
    sqlite3_exec(db, rc == SQLITE_OK ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
}

} // namespace

int open_existing_store(const char *path, sqlite3 **db) {
    *db = nullptr;
    sqlite3 *handle = nullptr;
    int rc = sqlite3_open_v2(path, &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    int version = 0;
    if (rc == SQLITE_OK) {
        rc = configure(handle);
    }
    if (rc == SQLITE_OK) {
        // Connections close with their threads and whenever the store
        // changes under them; without this the last close deletes the log
        // and shared-memory files and the next open creates them again.
        int persist = 1;
        sqlite3_file_control(handle, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    }
    if (rc == SQLITE_OK) {
        rc = query_integer(handle, "PRAGMA user_version", &version);
    }
    if (rc == SQLITE_OK && version != kSchemaVersion) {
        rc = SQLITE_NOTADB;
    }
    if (rc != SQLITE_OK) {
        sqlite3_close(handle);
        return rc;
    }
    *db = handle;
    return SQLITE_OK;
}

int create_store(const char *path, sqlite3 **db, char *error, size_t error_size) {
    *db = nullptr;
    int folder_error = make_parent_directories(path);
    if (folder_error != 0) {
        snprintf(error, error_size, "cannot create the folder of %s: %s", path,
                 strerror(folder_error));
        return SQLITE_CANTOPEN;
    }
    sqlite3 *handle = nullptr;
    int rc = sqlite3_open_v2(
        path, &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
        rc = configure(handle);
    }
    if (rc == SQLITE_OK) {
        // WAL lets the plug-in's readers run while the simulator writes.
        rc = sqlite3_exec(handle, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        snprintf(error, error_size, "cannot open %s: %s", path,
                 handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
        sqlite3_close(handle);
        return rc;
    }
    rc = ensure_schema(handle, error, error_size);
    if (rc != SQLITE_OK) {
        sqlite3_close(handle);
        return rc;
    }
    *db = handle;
    return SQLITE_OK;
}

} // namespace afpstat

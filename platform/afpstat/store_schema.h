/*
 * The store's schema and the two ways of opening it.
 *
 * The library opens an existing store only and never makes one; the
 * `afpstat` command creates it. Both set the same connection options (busy
 * timeout, foreign keys) and recognise a store by its schema version.
 */
#ifndef HXM_PLATFORM_AFPSTAT_STORE_SCHEMA_H
#define HXM_PLATFORM_AFPSTAT_STORE_SCHEMA_H

#include <sqlite3.h>
#include <stddef.h>

namespace afpstat {

/* PRAGMA user_version of a store with the current schema. */
inline constexpr int kSchemaVersion = 1;
/* How long a call waits for another writer before giving up. */
inline constexpr int kBusyTimeoutMs = 5000;

/* Opens the existing store at path for reading and writing, for use by one
 * thread at a time, with the busy timeout and foreign keys on, and checks
 * that it carries the current schema. Never creates a file. Returns
 * SQLITE_OK with *db set, or a SQLite error code with *db null
 * (SQLITE_NOTADB when the file is a database of another kind). */
int open_existing_store(const char *path, sqlite3 **db);

/* Creates the store's folder and the store at path when they are missing,
 * switches it to WAL and creates the schema unless it is there already.
 * Returns SQLITE_OK with *db set, or an error code with *db null and a
 * message in error (bounded by error_size). */
int create_store(const char *path, sqlite3 **db, char *error, size_t error_size);

} // namespace afpstat

#endif

/*
 * The calling thread's kept connection to the store, and one call's
 * transaction on it.
 *
 * Notes: opening the store, reading its schema and preparing statements
 * cost more than a page's whole query, so each thread keeps its connection
 * and statements. It is reused only while one stat of the store's path shows
 * the same file with the same size and times: a store deleted and made
 * again, moved aside and replaced, or written in place (by another program,
 * or by a checkpoint) is opened afresh, since in WAL mode a kept connection
 * trusts its cached pages for as long as the shared log index shows no new
 * commit. Each call runs its own transaction and checks the schema version
 * in it, so it reads one snapshot that holds every change committed before
 * it.
 */
#include "platform/afpstat/session.h"

#include "platform/afpstat/store_path.h"
#include "platform/afpstat/store_schema.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <zentra/afpstat.h>

namespace afpstat {

namespace {

/* More statements than the library has; one beyond is prepared per use. */
constexpr int kMaxKeptStatements = 24;
/* The page cache a connection keeps between calls: a whole store of a
 * thousand connections and files fits; what a larger list read beyond it is
 * given back when the call ends, so that idle threads hold little memory. */
constexpr int kKeptCacheBytes = 512 * 1024;

} // namespace

/* Rows one listing gave at one store version. */
struct RememberedRows {
    const char *sql = nullptr; /* the caller's statement text, compared by content */
    long long version = -1;
    size_t node_size = 0;
    int count = 0;
    unsigned char *nodes = nullptr; /* malloc'd */
    size_t capacity = 0;
};

/* The file list of one volume at one store version. */
struct RememberedFiles {
    char volume[AFPSTAT_VOLUME_NAME_SIZE + 1] = {};
    long long version = -1;
    VolFileListNode *list = nullptr; /* one malloc'd block */
    int count = 0;
    size_t bytes = 0;
};

/* One thread's connection, the file it was opened on, its statements and
 * the lists it read. */
struct KeptConnection {
    /* What one stat of the store's path says about the file behind it. */
    struct File {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
    };

    sqlite3 *db = nullptr;
    File file;
    bool file_known = false; /* false: never reused */
    sqlite3_stmt *statements[kMaxKeptStatements] = {};
    int statement_count = 0;
    RememberedRows lists[2]; /* the connection and volume lists */
    RememberedFiles files;   /* the last volume's open files */

    KeptConnection() = default;
    KeptConnection(const KeptConnection &) = delete;
    KeptConnection &operator=(const KeptConnection &) = delete;
    ~KeptConnection() { close(); }

    void forget_lists() {
        for (RememberedRows &rows : lists) {
            rows.sql = nullptr;
            rows.version = -1;
            free(rows.nodes);
            rows.nodes = nullptr;
            rows.capacity = 0;
        }
        free_volume_files(files.list);
        files.list = nullptr;
        files.version = -1;
    }

    /* Finalizes the statements and closes the connection; null-safe. */
    void close() {
        for (int i = 0; i < statement_count; ++i) {
            sqlite3_finalize(statements[i]);
            statements[i] = nullptr;
        }
        statement_count = 0;
        forget_lists();
        sqlite3_close_v2(db);
        db = nullptr;
        file_known = false;
    }
};

namespace {

using StoreFile = KeptConnection::File;

bool same_time(const timespec &a, const timespec &b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool same_file(const StoreFile &a, const StoreFile &b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           same_time(a.modified, b.modified) && same_time(a.changed, b.changed);
}

/* Fills *file from stat(path); false when stat fails. */
bool read_store_file(const char *path, StoreFile *file) {
    struct stat status;
    if (stat(path, &status) != 0) {
        return false;
    }
    file->device = status.st_dev;
    file->inode = status.st_ino;
    file->size = status.st_size;
    file->modified = status.st_mtim;
    file->changed = status.st_ctim;
    return true;
}

/* The calling thread's connection, closed when the thread ends. */
KeptConnection &kept_connection() {
    thread_local KeptConnection connection;
    return connection;
}

} // namespace

int status_from_sqlite(int rc) {
    return (rc & 0xff) == SQLITE_NOMEM ? AFPSTAT_ERR_NO_MEMORY : AFPSTAT_ERR_STORE;
}

Statement::~Statement() {
    if (stmt_ == nullptr) {
        return;
    }
    if (owned_) {
        sqlite3_finalize(stmt_);
        return;
    }
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

Session::~Session() {
    if (connection_ == nullptr || connection_->db == nullptr) {
        return;
    }
    if (in_transaction_) {
        run("ROLLBACK");
    }
    // A connection left inside a transaction would pin an old snapshot.
    if (failed_ || sqlite3_get_autocommit(connection_->db) == 0) {
        connection_->close();
        return;
    }
    int cache_bytes = 0;
    int most_bytes = 0;
    if (sqlite3_db_status(connection_->db, SQLITE_DBSTATUS_CACHE_USED, &cache_bytes, &most_bytes,
                          0) == SQLITE_OK &&
        cache_bytes > kKeptCacheBytes) {
        sqlite3_db_release_memory(connection_->db);
    }
}

sqlite3 *Session::db() const {
    return connection_ != nullptr ? connection_->db : nullptr;
}

int Session::failed(int rc) {
    failed_ = true;
    return status_from_sqlite(rc);
}

int Session::open() {
    KeptConnection &kept = kept_connection();
    connection_ = &kept;
    char path[PATH_MAX];
    if (resolve_store_path(path, sizeof path) != 0) {
        kept.close();
        return AFPSTAT_ERR_STORE;
    }
    StoreFile file;
    bool known = read_store_file(path, &file);
    if (kept.db != nullptr && known && kept.file_known && same_file(kept.file, file)) {
        return AFPSTAT_OK;
    }
    kept.close();
    int rc = open_existing_store(path, &kept.db);
    if (rc != SQLITE_OK) {
        return status_from_sqlite(rc);
    }
    // Taken before the open: a file replaced in between differs next time.
    kept.file = file;
    kept.file_known = known;
    return AFPSTAT_OK;
}

int Session::prepare(const char *sql, Statement &statement) {
    KeptConnection &kept = *connection_;
    for (int i = 0; i < kept.statement_count; ++i) {
        if (strcmp(sqlite3_sql(kept.statements[i]), sql) == 0) {
            statement.stmt_ = kept.statements[i];
            statement.owned_ = false;
            return AFPSTAT_OK;
        }
    }
    bool keep = kept.statement_count < kMaxKeptStatements;
    sqlite3_stmt *stmt = nullptr;
    int rc =
        sqlite3_prepare_v3(kept.db, sql, -1, keep ? SQLITE_PREPARE_PERSISTENT : 0, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        return failed(rc);
    }
    if (keep) {
        kept.statements[kept.statement_count++] = stmt;
    }
    statement.stmt_ = stmt;
    statement.owned_ = !keep;
    return AFPSTAT_OK;
}

int Session::run(const char *sql) {
    Statement statement;
    int status = prepare(sql, statement);
    if (status != AFPSTAT_OK) {
        return status;
    }
    int rc = sqlite3_step(statement.get());
    return rc == SQLITE_DONE ? AFPSTAT_OK : failed(rc);
}

int Session::begin(const char *sql) {
    int status = run(sql);
    if (status != AFPSTAT_OK) {
        return status;
    }
    in_transaction_ = true;
    // Read in the transaction: another process may have changed the store
    // since this connection was opened.
    Statement version;
    status = prepare("PRAGMA user_version", version);
    if (status != AFPSTAT_OK) {
        return status;
    }
    int rc = sqlite3_step(version.get());
    if (rc != SQLITE_ROW) {
        return failed(rc == SQLITE_DONE ? SQLITE_ERROR : rc);
    }
    if (sqlite3_column_int(version.get(), 0) != kSchemaVersion) {
        return failed(SQLITE_NOTADB);
    }
    return AFPSTAT_OK;
}

int Session::begin_read() {
    return begin("BEGIN");
}

int Session::begin_write() {
    // This connection's own commits leave its data version as it was.
    connection_->forget_lists();
    return begin("BEGIN IMMEDIATE");
}

long long Session::data_version() {
    if (data_version_ != -2) {
        return data_version_;
    }
    Statement version;
    data_version_ = prepare("PRAGMA data_version", version) == AFPSTAT_OK &&
                            sqlite3_step(version.get()) == SQLITE_ROW
                        ? sqlite3_column_int64(version.get(), 0)
                        : -1;
    return data_version_;
}

const unsigned char *Session::remembered_rows(const char *sql, size_t node_size, int *count) {
    const long long version = data_version();
    if (version < 0) {
        return nullptr;
    }
    for (const RememberedRows &rows : connection_->lists) {
        if (rows.sql != nullptr && rows.version == version && rows.node_size == node_size &&
            strcmp(rows.sql, sql) == 0) {
            *count = rows.count;
            return rows.nodes;
        }
    }
    return nullptr;
}

const VolFileListNode *Session::remembered_files(const char *volume, int *count, size_t *bytes) {
    const RememberedFiles &files = connection_->files;
    if (files.version < 0 || strcmp(files.volume, volume) != 0) {
        return nullptr;
    }
    if (data_version() != files.version) {
        return nullptr;
    }
    *count = files.count;
    *bytes = files.bytes;
    return files.list;
}

void Session::remember_files(const char *volume, VolFileListNode *list, int count, size_t bytes) {
    RememberedFiles &files = connection_->files;
    free_volume_files(files.list);
    files.list = nullptr;
    files.version = -1;
    const long long version = data_version();
    if (version < 0 || strlen(volume) >= sizeof files.volume) {
        free_volume_files(list);
        return;
    }
    strcpy(files.volume, volume);
    files.version = version;
    files.list = list;
    files.count = count;
    files.bytes = bytes;
}

unsigned char *Session::rows_to_remember(const char *sql, size_t node_size, int count) {
    const long long version = data_version();
    if (version < 0 || count < 0 || count > kMaxRememberedRows) {
        return nullptr;
    }
    // The slot of this listing, else an empty one, else the first.
    RememberedRows *slot = &connection_->lists[0];
    for (RememberedRows &rows : connection_->lists) {
        if (rows.sql != nullptr && strcmp(rows.sql, sql) == 0) {
            slot = &rows;
            break;
        }
        if (rows.sql == nullptr) {
            slot = &rows;
        }
    }
    slot->sql = nullptr;
    const size_t bytes = node_size * static_cast<size_t>(count);
    if (bytes > slot->capacity) {
        auto *grown = static_cast<unsigned char *>(realloc(slot->nodes, bytes));
        if (grown == nullptr) {
            return nullptr;
        }
        slot->nodes = grown;
        slot->capacity = bytes;
    }
    slot->sql = sql;
    slot->version = version;
    slot->node_size = node_size;
    slot->count = count;
    return slot->nodes;
}

int Session::commit() {
    int status = run("COMMIT");
    if (status == AFPSTAT_OK) {
        in_transaction_ = false;
    }
    return status;
}

} // namespace afpstat

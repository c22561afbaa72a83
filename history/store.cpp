/*
 * The history store (see store.h): opening, the schema, statements.
 *
 * Notes:
 * - auto_vacuum is INCREMENTAL so that what retention frees can be given
 *   back to the file system as the recorder runs; it must be set before the
 *   first table exists.
 * - synchronous=NORMAL in WAL mode keeps every committed cycle through a
 *   crash of the recorder (kill -9); a power cut may lose the last few,
 *   never corrupt the store.
 * - Readers wait up to a second for the rare moment a checkpoint needs the
 *   file; the writer waits as long for a reader taking a snapshot.
 */
#include "history/store.h"

#include <errno.h>
#include <limits.h>
#include <string.h>
#include <unistd.h>

#include <new>

#include <sqlite3.h>

#include "base/dir_chain.h"
#include "base/root_paths.h"
#include "monitor/find_files.h"
#include "monitor/name_match.h"

namespace hxm2afp::history {
namespace {

constexpr int kSchemaVersion = 2;
constexpr int kBusyMilliseconds = 1000;

constexpr char kSchema[] = R"sql(
CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE sessions(
  id INTEGER PRIMARY KEY, number INTEGER NOT NULL, user TEXT NOT NULL,
  address TEXT NOT NULL, login_time INTEGER NOT NULL, first_seen INTEGER NOT NULL,
  last_seen INTEGER, gone INTEGER, requests INTEGER NOT NULL, active_at INTEGER NOT NULL);
CREATE INDEX sessions_by_gone ON sessions(gone);
CREATE INDEX sessions_by_number ON sessions(number, first_seen);
CREATE TABLE idle_spans(session_id INTEGER NOT NULL, start INTEGER NOT NULL,
  until INTEGER NOT NULL);
CREATE INDEX idle_spans_by_session ON idle_spans(session_id, start);
CREATE TABLE paths(id INTEGER PRIMARY KEY, volume TEXT NOT NULL, path TEXT NOT NULL,
  UNIQUE(volume, path));
CREATE VIRTUAL TABLE path_search USING fts5(path, content='paths', content_rowid='id',
  tokenize='trigram');
CREATE TRIGGER paths_removed AFTER DELETE ON paths BEGIN
  INSERT INTO path_search(path_search, rowid, path) VALUES ('delete', old.id, old.path); END;
CREATE TABLE opens(id INTEGER PRIMARY KEY, path_id INTEGER NOT NULL,
  session_id INTEGER NOT NULL, first_seen INTEGER NOT NULL, last_seen INTEGER, gone INTEGER);
CREATE INDEX opens_by_path ON opens(path_id, first_seen, gone);
CREATE INDEX opens_by_session ON opens(session_id);
CREATE INDEX opens_by_gone ON opens(gone);
CREATE TABLE actions(id INTEGER PRIMARY KEY, time INTEGER NOT NULL, source TEXT NOT NULL,
  actor TEXT NOT NULL, kind TEXT NOT NULL, connection INTEGER, path TEXT,
  status INTEGER NOT NULL, outcome TEXT NOT NULL);
CREATE INDEX actions_by_time ON actions(time);
)sql";

// A part read once for a whole query: SQLite keeps it beside the statement's
// constant argument, so each row costs the match alone.
struct HeldPart {
    explicit HeldPart(const char *text) : part(text), pattern(part.c_str()) {}
    std::string part;
    NamePattern pattern;
};

// Whether `test` holds for the part in `value` (false for a null part). SQLite
// may drop a kept part at any time, even at once: then this row reads its own.
template <typename Test>
bool part_holds(sqlite3_context *context, sqlite3_value *value, Test test) {
    if (const auto *held = static_cast<HeldPart *>(sqlite3_get_auxdata(context, 1)))
        return test(held->pattern);
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
    if (text == nullptr)
        return false;
    auto *held = new (std::nothrow) HeldPart(text);
    if (held == nullptr) {
        const NamePattern once(text);
        return test(once);
    }
    const bool holds = test(held->pattern);
    sqlite3_set_auxdata(context, 1, held, [](void *kept) { delete static_cast<HeldPart *>(kept); });
    return holds;
}

// Version 1 indexed each new path by a trigger, row by row; the recorder
// now indexes a cycle's new paths in one statement.
constexpr char kFromVersion1[] = "DROP TRIGGER IF EXISTS paths_added;";

// name_holds(path, part): the find's own test of a name against a part,
// so the history and the live lists agree on what matches.
void name_holds(sqlite3_context *context, int, sqlite3_value **values) {
    const auto *path = reinterpret_cast<const char *>(sqlite3_value_text(values[0]));
    sqlite3_result_int(context, path != nullptr &&
                                    part_holds(context, values[1], [path](const NamePattern &part) {
                                        return name_holds_part(path, part);
                                    }));
}

// holds(text, part): the find's test of a user name against a part.
void text_holds(sqlite3_context *context, int, sqlite3_value **values) {
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(values[0]));
    sqlite3_result_int(context, text != nullptr &&
                                    part_holds(context, values[1], [text](const NamePattern &part) {
                                        return part.found_in(text);
                                    }));
}

std::string parent_of(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

} // namespace

std::string store_file_path() {
    char path[PATH_MAX];
    return root_path(kFixedStoreFile, path, sizeof path) != nullptr ? path : "";
}

bool store_present() {
    const std::string file = store_file_path();
    return !file.empty() && access(file.c_str(), R_OK) == 0;
}

Statement::Statement(sqlite3 *db, const char *sql) {
    error_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

Statement &Statement::bind(int index, int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
}

Statement &Statement::bind(int index, const std::string &text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

Statement &Statement::bind_null(int index) {
    sqlite3_bind_null(statement_, index);
    return *this;
}

bool Statement::step() {
    if (statement_ == nullptr)
        return false;
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW)
        return true;
    if (result != SQLITE_DONE)
        error_ = result;
    sqlite3_reset(statement_);
    return false;
}

int Statement::run() {
    while (step()) {
    }
    return error_ == 0 ? SQLITE_DONE : error_;
}

int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

bool Statement::is_null(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::string Statement::text(int column) const {
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement_, column));
    return text != nullptr
               ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
               : std::string();
}

std::unique_ptr<Store> Store::open(const std::string &path, Access access, std::string *error) {
    if (path.empty()) {
        *error = "the history store's path does not fit";
        return nullptr;
    }
    const bool writing = access == Access::kWrite;
    if (writing && !parent_of(path).empty() && make_dir_chain(parent_of(path).c_str(), 0750) != 0) {
        *error = "cannot make the folder of " + path + ": " + strerror(errno);
        return nullptr;
    }
    sqlite3 *db = nullptr;
    const int flags = writing ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        *error = "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : "no memory");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<Store> store(new Store(db));
    sqlite3_busy_timeout(db, kBusyMilliseconds);
    sqlite3_create_function(db, "name_holds", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            name_holds, nullptr, nullptr);
    sqlite3_create_function(db, "holds", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, text_holds,
                            nullptr, nullptr);
    int version = -1;
    {
        Statement read(db, "PRAGMA user_version");
        if (read.step())
            version = static_cast<int>(read.integer(0));
        read.run();
    }
    if (version < 0) {
        *error = path + ": " + store->last_error();
        return nullptr;
    }
    if (!writing) {
        // An older store reads the same until the recorder brings it up to date.
        if (version < 1 || version > kSchemaVersion) {
            *error = path + ": not a history store the recorder has written";
            return nullptr;
        }
        return store;
    }
    // auto_vacuum takes only on a database not yet written, before WAL mode.
    if ((version == 0 && store->exec("PRAGMA auto_vacuum=INCREMENTAL") != SQLITE_OK) ||
        store->exec(
            "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-32768") !=
            SQLITE_OK) {
        *error = path + ": " + store->last_error();
        return nullptr;
    }
    if (version == 0) {
        const std::string create = std::string("BEGIN;") + kSchema +
                                   "PRAGMA user_version=" + std::to_string(kSchemaVersion) +
                                   "; COMMIT;";
        if (store->exec(create.c_str()) != SQLITE_OK) {
            *error = path + ": cannot create the tables: " + store->last_error();
            store->exec("ROLLBACK");
            return nullptr;
        }
    } else if (version == 1) {
        const std::string migrate = std::string("BEGIN IMMEDIATE;") + kFromVersion1 +
                                    "PRAGMA user_version=" + std::to_string(kSchemaVersion) +
                                    "; COMMIT;";
        if (store->exec(migrate.c_str()) != SQLITE_OK) {
            *error = path + ": cannot bring the store up to date: " + store->last_error();
            store->exec("ROLLBACK");
            return nullptr;
        }
    } else if (version != kSchemaVersion) {
        *error = path + ": a history store of another version (" + std::to_string(version) + ")";
        return nullptr;
    }
    return store;
}

Store::~Store() {
    sqlite3_close(db_);
}

int Store::exec(const char *sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

std::string Store::last_error() const {
    return sqlite3_errmsg(db_);
}

int64_t Store::used_bytes() {
    int64_t values[3] = {0, 0, 0};
    const char *pragmas[] = {"PRAGMA page_count", "PRAGMA freelist_count", "PRAGMA page_size"};
    for (int i = 0; i < 3; ++i) {
        Statement read(db_, pragmas[i]);
        if (read.step())
            values[i] = read.integer(0);
        read.run();
    }
    return (values[0] - values[1]) * values[2];
}

} // namespace hxm2afp::history

/*
 * The store's write helpers and the full read-back used by `afpstat list`.
 */
#include "platform/afpstat/store_writer.h"

#include "platform/afpstat/store_schema.h"

#include <cstring>

namespace afpstat {

namespace {

void check_length(const std::string &value, size_t limit, const char *what) {
    if (value.size() > limit) {
        throw InvalidValue(std::string(what) + " is longer than " + std::to_string(limit) +
                           " bytes");
    }
    if (value.find('\0') != std::string::npos) {
        throw InvalidValue(std::string(what) + " contains a NUL byte");
    }
}

void check_not_empty(const std::string &value, const char *what) {
    if (value.empty()) {
        throw InvalidValue(std::string(what) + " is empty");
    }
}

void bind_text(sqlite3_stmt *stmt, int index, const std::string &text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

/* Unsigned 64-bit values are kept by their bit pattern. */
void bind_u64(sqlite3_stmt *stmt, int index, uint64_t value) {
    sqlite3_bind_int64(stmt, index, static_cast<sqlite3_int64>(value));
}

std::string column_text(sqlite3_stmt *stmt, int column) {
    const unsigned char *text = sqlite3_column_text(stmt, column);
    if (text == nullptr) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char *>(text),
                       static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
}

uint64_t column_u64(sqlite3_stmt *stmt, int column) {
    return static_cast<uint64_t>(sqlite3_column_int64(stmt, column));
}

} // namespace

void validate_connection(const ConnectionRecord &record) {
    check_not_empty(record.user, "the user name");
    check_length(record.user, kMaxUserName, "the user name");
    check_not_empty(record.address, "the network address");
    check_length(record.address, kMaxAddress, "the network address");
    check_length(record.loginStatus, kMaxStatusText, "the login status");
    check_length(record.privileges, kMaxStatusText, "the privileges");
    for (const std::string &name : record.equivalences) {
        check_not_empty(name, "a security equivalence");
        check_length(name, kMaxPath, "a security equivalence");
    }
}

void validate_volume_name(const std::string &name) {
    check_not_empty(name, "the volume name");
    check_length(name, kMaxVolumeName, "the volume name");
}

void validate_path(const std::string &path) {
    check_not_empty(path, "the path");
    check_length(path, kMaxPath, "the path");
}

Store Store::create(const std::string &path) {
    sqlite3 *db = nullptr;
    char error[512] = "";
    if (create_store(path.c_str(), &db, error, sizeof error) != SQLITE_OK) {
        throw StoreError(error);
    }
    return Store(db);
}

Store Store::open(const std::string &path) {
    sqlite3 *db = nullptr;
    int rc = open_existing_store(path.c_str(), &db);
    if (rc == SQLITE_CANTOPEN) {
        throw StoreError("cannot open the store " + path +
                         " (missing? create it with `afpstat init`)");
    }
    if (rc != SQLITE_OK) {
        throw StoreError("cannot use the store " + path + ": " + sqlite3_errstr(rc));
    }
    return Store(db);
}

Store::Store(Store &&other) noexcept : db_(other.db_), statements_(std::move(other.statements_)) {
    other.db_ = nullptr;
}

Store::~Store() {
    for (auto &entry : statements_) {
        sqlite3_finalize(entry.second);
    }
    sqlite3_close(db_);
}

void Store::check(int rc, const char *context) const {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        throw StoreError(std::string(context) + ": " + sqlite3_errmsg(db_));
    }
}

sqlite3_stmt *Store::prepared(const char *sql) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) {
        sqlite3_reset(found->second);
        sqlite3_clear_bindings(found->second);
        return found->second;
    }
    sqlite3_stmt *stmt = nullptr;
    check(sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr), "cannot prepare a statement");
    statements_.emplace(sql, stmt);
    return stmt;
}

bool Store::connection_exists(uint32_t number) {
    StatementUse use(*this, "SELECT 1 FROM connections WHERE number = ?");
    sqlite3_bind_int64(use.get(), 1, number);
    int rc = sqlite3_step(use.get());
    check(rc, "cannot look up a connection");
    return rc == SQLITE_ROW;
}

uint32_t Store::add_connection(const ConnectionRecord &record) {
    validate_connection(record);
    Transaction transaction(*this);
    uint32_t number = 0;
    if (record.number.has_value()) {
        number = *record.number;
        if (connection_exists(number)) {
            throw StoreError("connection " + std::to_string(number) + " is in use");
        }
    } else {
        // The next number after the highest; the lowest gap once the top is taken.
        StatementUse next(*this, "SELECT CASE WHEN max(number) IS NULL THEN 1"
                                 " WHEN max(number) < 4294967295 THEN max(number) + 1"
                                 " ELSE (SELECT c.number + 1 FROM connections c"
                                 "  WHERE c.number < 4294967295 AND NOT EXISTS"
                                 "  (SELECT 1 FROM connections d WHERE d.number = c.number + 1)"
                                 "  ORDER BY c.number LIMIT 1) END FROM connections");
        check(sqlite3_step(next.get()), "cannot choose a connection number");
        if (sqlite3_column_type(next.get(), 0) == SQLITE_NULL) {
            throw StoreError("every connection number is in use");
        }
        number = static_cast<uint32_t>(sqlite3_column_int64(next.get(), 0));
    }
    {
        StatementUse insert(*this, "INSERT INTO connections (number, user, address, login_time,"
                                   " requests, bytes_read, bytes_written, login_status,"
                                   " privileges) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
        sqlite3_stmt *stmt = insert.get();
        sqlite3_bind_int64(stmt, 1, number);
        bind_text(stmt, 2, record.user);
        bind_text(stmt, 3, record.address);
        bind_u64(stmt, 4, record.loginTime);
        sqlite3_bind_int64(stmt, 5, record.requests);
        bind_u64(stmt, 6, record.bytesRead);
        bind_u64(stmt, 7, record.bytesWritten);
        bind_text(stmt, 8, record.loginStatus);
        bind_text(stmt, 9, record.privileges);
        check(sqlite3_step(stmt), "cannot add the connection");
    }
    int position = 0;
    for (const std::string &name : record.equivalences) {
        StatementUse insert(
            *this, "INSERT INTO equivalences (connection, position, name) VALUES (?, ?, ?)");
        sqlite3_bind_int64(insert.get(), 1, number);
        sqlite3_bind_int(insert.get(), 2, position++);
        bind_text(insert.get(), 3, name);
        check(sqlite3_step(insert.get()), "cannot add a security equivalence");
    }
    transaction.commit();
    return number;
}

bool Store::add_volume(const std::string &name) {
    validate_volume_name(name);
    Transaction transaction(*this);
    StatementUse insert(*this, "INSERT OR IGNORE INTO volumes (name) VALUES (?)");
    bind_text(insert.get(), 1, name);
    check(sqlite3_step(insert.get()), "cannot add the volume");
    bool added = sqlite3_changes(db_) > 0;
    transaction.commit();
    return added;
}

void Store::open_file(uint32_t connection, const std::string &volume, const std::string &path) {
    validate_path(path);
    Transaction transaction(*this);
    if (!connection_exists(connection)) {
        throw StoreError("no connection " + std::to_string(connection));
    }
    sqlite3_int64 volume_id = 0;
    {
        StatementUse lookup(*this, "SELECT id FROM volumes WHERE name = ?");
        bind_text(lookup.get(), 1, volume);
        int rc = sqlite3_step(lookup.get());
        check(rc, "cannot look up the volume");
        if (rc != SQLITE_ROW) {
            throw StoreError("no volume " + volume + " (add it with `afpstat volume " + volume +
                             "`)");
        }
        volume_id = sqlite3_column_int64(lookup.get(), 0);
    }
    StatementUse insert(*this,
                        "INSERT INTO open_files (connection, volume, path) VALUES (?, ?, ?)");
    sqlite3_bind_int64(insert.get(), 1, connection);
    sqlite3_bind_int64(insert.get(), 2, volume_id);
    bind_text(insert.get(), 3, path);
    check(sqlite3_step(insert.get()), "cannot open the file");
    transaction.commit();
}

void Store::clear_population() {
    Transaction transaction(*this);
    // Children first: volumes are referenced without a cascade.
    check(sqlite3_exec(db_,
                       "DELETE FROM open_files; DELETE FROM equivalences;"
                       " DELETE FROM connections; DELETE FROM volumes;",
                       nullptr, nullptr, nullptr),
          "cannot clear the store");
    transaction.commit();
}

Population Store::read_population() {
    Population population;
    check(sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr), "cannot start a read");
    struct EndRead {
        sqlite3 *db;
        ~EndRead() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
    } end_read{db_};
    {
        StatementUse rows(*this, "SELECT number, user, address, login_time, requests, bytes_read,"
                                 " bytes_written, login_status, privileges"
                                 " FROM connections ORDER BY number");
        int rc;
        while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
            sqlite3_stmt *stmt = rows.get();
            ConnectionRecord record;
            record.number = static_cast<uint32_t>(sqlite3_column_int64(stmt, 0));
            record.user = column_text(stmt, 1);
            record.address = column_text(stmt, 2);
            record.loginTime = column_u64(stmt, 3);
            record.requests = static_cast<uint32_t>(sqlite3_column_int64(stmt, 4));
            record.bytesRead = column_u64(stmt, 5);
            record.bytesWritten = column_u64(stmt, 6);
            record.loginStatus = column_text(stmt, 7);
            record.privileges = column_text(stmt, 8);
            population.connections.push_back(std::move(record));
        }
        check(rc, "cannot read the connections");
    }
    {
        // One pass over all equivalences, matched to the connections in order.
        StatementUse rows(*this, "SELECT connection, name FROM equivalences"
                                 " ORDER BY connection, position");
        size_t index = 0;
        int rc;
        while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
            auto owner = static_cast<uint32_t>(sqlite3_column_int64(rows.get(), 0));
            while (index < population.connections.size() &&
                   *population.connections[index].number < owner) {
                ++index;
            }
            if (index < population.connections.size() &&
                *population.connections[index].number == owner) {
                population.connections[index].equivalences.push_back(column_text(rows.get(), 1));
            }
        }
        check(rc, "cannot read the security equivalences");
    }
    {
        StatementUse rows(*this, "SELECT name FROM volumes ORDER BY name");
        int rc;
        while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
            population.volumes.push_back(column_text(rows.get(), 0));
        }
        check(rc, "cannot read the volumes");
    }
    {
        StatementUse rows(*this, "SELECT f.connection, v.name, f.path FROM open_files f"
                                 " JOIN volumes v ON v.id = f.volume ORDER BY f.connection, f.id");
        int rc;
        while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
            OpenFileRecord file;
            file.connection = static_cast<uint32_t>(sqlite3_column_int64(rows.get(), 0));
            file.volume = column_text(rows.get(), 1);
            file.path = column_text(rows.get(), 2);
            population.openFiles.push_back(std::move(file));
        }
        check(rc, "cannot read the open files");
    }
    return population;
}

Transaction::Transaction(Store &store) : store_(store) {
    if (sqlite3_get_autocommit(store.handle()) != 0) {
        store.check(sqlite3_exec(store.handle(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr),
                    "cannot start a transaction");
        owner_ = true;
    }
}

Transaction::~Transaction() {
    if (owner_ && !done_) {
        sqlite3_exec(store_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void Transaction::commit() {
    if (owner_ && !done_) {
        store_.check(sqlite3_exec(store_.handle(), "COMMIT", nullptr, nullptr, nullptr),
                     "cannot commit");
    }
    done_ = true;
}

} // namespace afpstat

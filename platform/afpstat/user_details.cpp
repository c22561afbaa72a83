/*
 * Ext_GetUserDetails and FreeUserDetailsNode: one connection in full.
 */
#include "platform/afpstat/export.h"
#include "platform/afpstat/record_alloc.h"
#include "platform/afpstat/session.h"

#include <stdlib.h>

#include <zentra/afpstat.h>

using afpstat::Session;
using afpstat::Statement;
using afpstat::TextArray;

namespace {

/* Appends column 0 of every row of sql (bound to the connection number) to
 * texts. Returns AFPSTAT_OK or a status. */
int collect_texts(Session &session, const char *sql, uint32_t number, TextArray &texts) {
    Statement rows;
    int status = session.prepare(sql, rows);
    if (status != AFPSTAT_OK) {
        return status;
    }
    sqlite3_bind_int64(rows.get(), 1, number);
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        if (!texts.append_copy(sqlite3_column_text(rows.get(), 0))) {
            return AFPSTAT_ERR_NO_MEMORY;
        }
    }
    return rc == SQLITE_DONE ? AFPSTAT_OK : session.failed(rc);
}

/* Fills info's fixed fields from the connection's row. Returns AFPSTAT_OK,
 * AFPSTAT_ERR_NOT_FOUND or a status. */
int read_connection(Session &session, uint32_t number, UserInfo_s *info) {
    Statement row;
    int status = session.prepare("SELECT user, login_time, address, login_status, privileges"
                                 " FROM connections WHERE number = ?",
                                 row);
    if (status != AFPSTAT_OK) {
        return status;
    }
    sqlite3_bind_int64(row.get(), 1, number);
    int rc = sqlite3_step(row.get());
    if (rc == SQLITE_DONE) {
        return AFPSTAT_ERR_NOT_FOUND;
    }
    if (rc != SQLITE_ROW) {
        return session.failed(rc);
    }
    sqlite3_stmt *stmt = row.get();
    afpstat::copy_terminated(info->userName, sizeof info->userName, sqlite3_column_text(stmt, 0));
    info->connectionNumber = number;
    info->loginTime = static_cast<uint64_t>(sqlite3_column_int64(stmt, 1));
    afpstat::copy_padded(info->networkAddress, sizeof info->networkAddress,
                         sqlite3_column_text(stmt, 2));
    afpstat::copy_padded(info->loginStatus, sizeof info->loginStatus, sqlite3_column_text(stmt, 3));
    afpstat::copy_padded(info->privileges, sizeof info->privileges, sqlite3_column_text(stmt, 4));
    return AFPSTAT_OK;
}

} // namespace

/* The details of one connection, read in one transaction: its fixed fields,
 * its security equivalences in their order (null array when there are
 * none) and the full paths of its open files in the order opened (null
 * array when there are none). *info is null unless the result is
 * AFPSTAT_OK; AFPSTAT_ERR_NOT_FOUND when there is no such connection. */
extern "C" AFPSTAT_EXPORT int Ext_GetUserDetails(uint32_t connectionNumber, UserInfo_s **info) {
    if (info == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    *info = nullptr;
    Session session;
    int status = session.open();
    if (status == AFPSTAT_OK) {
        status = session.begin_read();
    }
    if (status != AFPSTAT_OK) {
        return status;
    }
    auto *record = static_cast<UserInfo_s *>(calloc(1, sizeof(UserInfo_s)));
    if (record == nullptr) {
        return AFPSTAT_ERR_NO_MEMORY;
    }
    TextArray equivalences;
    TextArray files;
    status = read_connection(session, connectionNumber, record);
    if (status == AFPSTAT_OK) {
        status = collect_texts(session,
                               "SELECT name FROM equivalences WHERE connection = ?"
                               " ORDER BY position",
                               connectionNumber, equivalences);
    }
    if (status == AFPSTAT_OK) {
        status =
            collect_texts(session, "SELECT path FROM open_files WHERE connection = ? ORDER BY id",
                          connectionNumber, files);
    }
    if (status != AFPSTAT_OK) {
        equivalences.clear();
        files.clear();
        free(record);
        return status;
    }
    record->securityEquivalenceCount = equivalences.count;
    record->securityEquivalences = equivalences.release();
    record->openFileCount = files.count;
    record->openFiles = files.release();
    *info = record;
    return AFPSTAT_OK;
}

/* Frees the record, its texts and arrays, and sets *info to null. */
extern "C" AFPSTAT_EXPORT int FreeUserDetailsNode(UserInfo_s **info) {
    if (info == nullptr) {
        return AFPSTAT_ERR_ARGUMENT;
    }
    UserInfo_s *record = *info;
    if (record != nullptr) {
        afpstat::free_text_array(record->securityEquivalences, record->securityEquivalenceCount);
        afpstat::free_text_array(record->openFiles, record->openFileCount);
        free(record);
    }
    *info = nullptr;
    return AFPSTAT_OK;
}

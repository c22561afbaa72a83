/*
 * Control of the scriptable monitoring library, for unit tests.
 *
 * The library behind this header is a second libafpstat.so.1: it implements
 * every call of zentra/afpstat.h, but each answer is staged by the test
 * through the functions below instead of coming from a store. It also records
 * every Ext_ call in order, tracks every list and record it hands out until
 * the matching free function releases it, and notes misuse (a free of
 * something never handed out or already freed, a null argument) where the
 * test can see it. Everything here and every Ext_ call share one mutex, so
 * the plug-in may call from many threads while a test reads back.
 *
 * Without anything staged each list call answers AFPSTAT_OK with an empty
 * list (count 0, head null), Ext_GetUserDetails answers
 * AFPSTAT_ERR_NOT_FOUND with a null record, and the three actions answer
 * AFPSTAT_OK. Actions change nothing staged: a test stages what follows.
 *
 * Text values are copied byte for byte into the fixed record fields, at most
 * the field's size; a shorter value is padded with NULs, a value that fills
 * the field is left unterminated (as the network address of 16 characters).
 */
#ifndef HXM_TESTS_SUPPORT_SCRIPTED_AFPSTAT_H
#define HXM_TESTS_SUPPORT_SCRIPTED_AFPSTAT_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <zentra/afpstat.h>

namespace hxm_test::scripted {

/* An array of names as handed out: std::nullopt stands for a null pointer at
 * that position. Every array the library builds holds at least as many
 * entries as its record's count says, padding with null pointers, and ends
 * with one more null pointer, so no reader that trusts the count reads past
 * it. */
using Names = std::vector<std::optional<std::string>>;

/* One node of the connection list. */
struct Connection {
    std::string userName{}; /* up to 514 bytes land in the record */
    uint32_t connectionNumber = 0;
    uint32_t requestCount = 0;
    uint64_t bytesRead = 0;
    uint64_t bytesWritten = 0;
    uint64_t loginTime = 0;
    std::string networkAddress{}; /* up to 16 bytes */
};

/* A connection with these values, at address 10.0.0.1. */
inline Connection MakeConnection(uint32_t number, const std::string &name = "user",
                                 uint32_t requests = 0, uint64_t loginTime = 0,
                                 uint64_t bytesRead = 0, uint64_t bytesWritten = 0) {
    Connection entry;
    entry.connectionNumber = number;
    entry.userName = name;
    entry.requestCount = requests;
    entry.loginTime = loginTime;
    entry.bytesRead = bytesRead;
    entry.bytesWritten = bytesWritten;
    entry.networkAddress = "10.0.0.1";
    return entry;
}

/* What Ext_ListConnDetails answers. */
struct ConnectionList {
    std::vector<Connection> connections{};
    std::optional<int> count = std::nullopt; /* the count reported; default: the list's length */
    int status = AFPSTAT_OK;
    bool nullList = false; /* hand out a null head, whatever the status */
};

/* What Ext_GetUserDetails answers for one connection number. */
struct UserDetails {
    std::string userName{}; /* up to 512 bytes */
    /* Default: the number the details are staged for. */
    std::optional<uint32_t> connectionNumber = std::nullopt;
    uint64_t loginTime = 0;
    std::string networkAddress{}; /* up to 16 bytes */
    std::string loginStatus{};    /* up to 32 bytes */
    std::string privileges{};     /* up to 32 bytes */
    /* std::nullopt: a null array. A count defaults to its array's length; a
     * null open-file array may not come with a positive count. */
    std::optional<Names> securityEquivalences = std::nullopt;
    std::optional<int32_t> securityEquivalenceCount = std::nullopt;
    std::optional<Names> openFiles = std::nullopt;
    std::optional<int32_t> openFileCount = std::nullopt;
    int status = AFPSTAT_OK;
    bool nullRecord = false; /* hand out a null record, whatever the status */
};

/* What Ext_ListVolumeDetails answers. */
struct VolumeList {
    std::vector<std::string> volumeNames{};  /* up to 320 bytes each */
    std::optional<int> count = std::nullopt; /* default: the list's length */
    int status = AFPSTAT_OK;
    bool nullList = false;
};

/* One node of an open-file list: the files one connection holds open. */
struct OpenFileRecord {
    std::string userName{}; /* up to 512 bytes */
    uint32_t connectionNumber = 0;
    Names fileNames{};                               /* never a null array */
    std::optional<int32_t> fileCount = std::nullopt; /* default: the number of names */
};

/* What Ext_ListVolFileDetails answers for one volume. */
struct OpenFileList {
    std::vector<OpenFileRecord> records{};
    std::optional<int> count = std::nullopt; /* default: the list's length */
    int status = AFPSTAT_OK;
    bool nullList = false;
};

/* One Ext_ call as the library received it. */
struct Call {
    std::string function{}; /* e.g. "Ext_ClearOneConnection" */
    std::string text{};     /* the text argument; empty when the call has none */
    uint32_t number = 0;    /* the number argument; 0 when the call has none */
    bool nullText = false;  /* the text argument was a null pointer */
};

inline bool operator==(const Call &a, const Call &b) {
    return a.function == b.function && a.text == b.text && a.number == b.number &&
           a.nullText == b.nullText;
}
inline bool operator!=(const Call &a, const Call &b) {
    return !(a == b);
}
inline std::ostream &operator<<(std::ostream &out, const Call &call) {
    out << call.function << "(";
    if (call.nullText)
        out << "null";
    else if (!call.text.empty())
        out << '"' << call.text << '"';
    return out << ", " << call.number << ")";
}

/* Forgets everything staged, recorded and counted, and releases every list
 * and record still handed out. Call it before each test. */
void Reset();

/* Stages the answer of every following Ext_ListConnDetails. */
void StageConnections(ConnectionList list);
/* Stages the answer of Ext_GetUserDetails for this connection number.
 * Throws std::invalid_argument for a null open-file array with a positive
 * count (the record promises that many names). */
void StageUserDetails(uint32_t connectionNumber, UserDetails details);
/* Stages the answer of every following Ext_ListVolumeDetails. */
void StageVolumes(VolumeList list);
/* Stages the answer of Ext_ListVolFileDetails for this volume name; other
 * names keep answering an empty list. */
void StageOpenFiles(const std::string &volumeName, OpenFileList list);

/* Statuses of the actions: the first form sets the answer for every argument
 * not named by the second form. */
void SetCloseFileByFileNameStatus(int status);
void SetCloseFileByFileNameStatus(const std::string &path, int status);
void SetCloseFileByIDStatus(int status);
void SetCloseFileByIDStatus(uint32_t connectionNumber, int status);
void SetClearOneConnectionStatus(int status);
void SetClearOneConnectionStatus(uint32_t connectionNumber, int status);

/* Makes Ext_ call number callNumber (1 for the first since Reset, counting
 * every Ext_ function) answer this status with a null list or record and a
 * count of 0. Several calls may be made to fail. */
void FailCall(unsigned callNumber, int status);

/* Every Ext_ call since Reset, in order. */
std::vector<Call> Calls();

/* How many lists and records are handed out and not yet freed. */
std::size_t LiveCount();
/* One line per list or record still handed out, naming the call that made
 * it, for failure messages. */
std::vector<std::string> LiveHandouts();

/* Misuse seen since Reset, one line each: a free of something never handed
 * out, freed twice or freed by the wrong function, or a null argument. The
 * library answers AFPSTAT_ERR_ARGUMENT to such a call and changes nothing. */
std::vector<std::string> Errors();

} // namespace hxm_test::scripted

#endif

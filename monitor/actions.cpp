/*
 * The monitoring library's actions, and the questions that make their
 * statuses exact and their effect the one asked for: whether a connection
 * that had nothing to close is still there, whether a name may be a cut
 * record path; and one request's record of what it already did.
 */
#include "monitor/actions.h"

#include <string.h>

#include <zentra/afpstat.h>

#include "core/localisation.h"
#include "monitor/connection_details.h"
#include "monitor/open_files.h"

namespace hxm2afp {
namespace {

struct LongerPath {
    const char *prefix;
    size_t length;
    bool found;
};

// Whether an open file's path begins with `prefix` and goes on after it.
bool holds_longer_path(const char *prefix) {
    LongerPath search{prefix, strlen(prefix), false};
    for_each_open_file(&search,
                       [](void *context, const char *, const VolFileListNode &, const char *path) {
                           auto *wanted = static_cast<LongerPath *>(context);
                           wanted->found = strncmp(path, wanted->prefix, wanted->length) == 0 &&
                                           path[wanted->length] != '\0';
                           return !wanted->found;
                       });
    return search.found;
}

} // namespace

int clear_connection(uint32_t connectionNumber) {
    return Ext_ClearOneConnection(connectionNumber);
}

int close_connection_files(uint32_t connectionNumber) {
    const int status = Ext_CloseFileByID(connectionNumber);
    if (status != AFPSTAT_ERR_NOT_FOUND)
        return status;
    // The library says the same for a connection that has gone and for one
    // that holds no file; only its details tell them apart.
    UserInfo_s *info = nullptr;
    get_user_details(connectionNumber, &info);
    const bool present = info != nullptr;
    free_user_details(&info);
    return present ? kActionNoOpenFiles : status;
}

int close_file(const char *path, bool whole) {
    if (!whole && path != nullptr && strlen(path) == HXM_OPEN_FILE_PATH_SIZE - 1 &&
        holds_longer_path(path))
        return kActionPathTooLong;
    return Ext_CloseFileByFileName(path);
}

namespace {

// Runs `act` unless `done` already holds the key's outcome.
template <typename Map, typename Key, typename Act>
int once(Map *done, const Key &key, bool *repeated, Act act) {
    const auto earlier = done->find(key);
    *repeated = earlier != done->end();
    if (*repeated)
        return earlier->second;
    const int status = act();
    done->emplace(key, status);
    return status;
}

} // namespace

int ActionRound::clear(uint32_t connectionNumber, bool *repeated) {
    return once(&cleared_, connectionNumber, repeated,
                [connectionNumber] { return clear_connection(connectionNumber); });
}

int ActionRound::close_files_of(uint32_t connectionNumber, bool *repeated) {
    return once(&emptied_, connectionNumber, repeated,
                [connectionNumber] { return close_connection_files(connectionNumber); });
}

int ActionRound::close(const char *path, bool whole, bool *repeated) {
    const std::string key = path != nullptr ? path : "";
    return once(&closed_, key, repeated, [path, whole] { return close_file(path, whole); });
}

const char *action_words(int status) {
    switch (status) {
    case AFPSTAT_OK:
        return HXM_TRANSLATABLE("done");
    case kActionNoOpenFiles:
        return HXM_TRANSLATABLE("no open files");
    case kActionPathTooLong:
        return HXM_TRANSLATABLE("path too long to close by name");
    case AFPSTAT_ERR_STORE:
        return HXM_TRANSLATABLE("the monitoring store is missing, unreadable or busy");
    case AFPSTAT_ERR_NOT_FOUND:
        return HXM_TRANSLATABLE("no longer there");
    case AFPSTAT_ERR_NO_MEMORY:
        return HXM_TRANSLATABLE("out of memory");
    case AFPSTAT_ERR_ARGUMENT:
        return HXM_TRANSLATABLE("a malformed request");
    default:
        return HXM_TRANSLATABLE("an unknown error");
    }
}

} // namespace hxm2afp

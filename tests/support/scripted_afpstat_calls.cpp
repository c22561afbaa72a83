/*
 * The monitoring library's C calls, answered from what the test staged.
 *
 * Each Ext_ call is recorded first (so a failing or misused call still
 * counts), then checked for null arguments, then for an injected failure,
 * and only then answered. No exception leaves these functions: running out
 * of memory answers AFPSTAT_ERR_NO_MEMORY with nothing handed out.
 */
#include "tests/support/scripted_afpstat_state.h"

#include <new>

using namespace hxm_test::scripted;
using namespace hxm_test::scripted::detail;

namespace {

using Lock = std::lock_guard<std::mutex>;

int NullArgument(State &state, const char *function) {
    AddError(state, "%s: called with a null argument", function);
    return AFPSTAT_ERR_ARGUMENT;
}

/* The count a list call reports: the staged override, else the number of
 * nodes actually handed out. */
int ReportedCount(const std::optional<int> &count, bool nullList, std::size_t length) {
    if (count)
        return *count;
    return nullList ? 0 : static_cast<int>(length);
}

/* Runs answer(state) under the state's lock. This is where every call's
 * "no exception leaves" is kept: running out of memory answers
 * AFPSTAT_ERR_NO_MEMORY. */
template <class Answer> int UnderLock(Answer answer) noexcept {
    try {
        State &state = TheState();
        Lock lock(state.mutex);
        return answer(state);
    } catch (...) { // only allocation can throw here
        return AFPSTAT_ERR_NO_MEMORY;
    }
}

/* Frees a list or record through its free function's rules. */
template <class Record> int Free(Record **head, const char *function) {
    return UnderLock([&](State &state) -> int {
        if (head == nullptr)
            return NullArgument(state, function);
        if (*head == nullptr)
            return AFPSTAT_OK;
        int status = ReleaseHandout(state, *head, function);
        if (status == AFPSTAT_OK)
            *head = nullptr;
        return status;
    });
}

/* Answers a list call: null arguments, then an injected failure, then the
 * staged list (null staged: an empty list with AFPSTAT_OK). */
template <class Node, class Staged, class Items>
int AnswerList(State &state, unsigned callNumber, const char *function, const char *freeFunction,
               const Staged *staged, const Items Staged::*items,
               Node *(*build)(Blocks &, const Items &), int *count, Node **head) {
    if (head != nullptr)
        *head = nullptr;
    if (count != nullptr)
        *count = 0;
    if (count == nullptr || head == nullptr)
        return NullArgument(state, function);
    if (auto failure = InjectedFailure(state, callNumber))
        return *failure;
    if (staged == nullptr)
        return AFPSTAT_OK;
    const Items &list = staged->*items;
    if (!staged->nullList) {
        Blocks blocks;
        build(blocks, list);
        *head = static_cast<Node *>(
            HandOut(state, blocks, sizeof(Node), freeFunction, function, callNumber));
    }
    *count = ReportedCount(staged->count, staged->nullList, list.size());
    return staged->status;
}

/* Answers an action: an injected failure, else its staged status. */
template <class Key, class Map>
int AnswerAction(const State &state, unsigned callNumber, const Map &statuses, const Key &key,
                 int fallback) {
    if (auto failure = InjectedFailure(state, callNumber))
        return *failure;
    auto found = statuses.find(key);
    return found == statuses.end() ? fallback : found->second;
}

} // namespace

extern "C" {

int Ext_ListConnDetails(int *count, ConnListNode **head) {
    static const char function[] = "Ext_ListConnDetails";
    return UnderLock([&](State &state) -> int {
        unsigned call = RecordCall(state, function, 0);
        return AnswerList(state, call, function, "FreeConnListNodes", &state.connections,
                          &ConnectionList::connections, BuildConnectionList, count, head);
    });
}

int FreeConnListNodes(ConnListNode **head) {
    return Free(head, "FreeConnListNodes");
}

int Ext_GetUserDetails(uint32_t connectionNumber, UserInfo_s **info) {
    static const char function[] = "Ext_GetUserDetails";
    return UnderLock([&](State &state) -> int {
        unsigned call = RecordCall(state, function, connectionNumber);
        if (info == nullptr)
            return NullArgument(state, function);
        *info = nullptr;
        if (auto failure = InjectedFailure(state, call))
            return *failure;
        auto staged = state.users.find(connectionNumber);
        if (staged == state.users.end())
            return AFPSTAT_ERR_NOT_FOUND;
        const UserDetails &details = staged->second;
        if (!details.nullRecord) {
            Blocks blocks;
            BuildUserInfo(blocks, details, connectionNumber);
            *info = static_cast<UserInfo_s *>(
                HandOut(state, blocks, sizeof(UserInfo_s), "FreeUserDetailsNode", function, call));
        }
        return details.status;
    });
}

int FreeUserDetailsNode(UserInfo_s **info) {
    return Free(info, "FreeUserDetailsNode");
}

int Ext_ListVolumeDetails(int *count, VolsDetailsNode **head) {
    static const char function[] = "Ext_ListVolumeDetails";
    return UnderLock([&](State &state) -> int {
        unsigned call = RecordCall(state, function, 0);
        return AnswerList(state, call, function, "FreeVolsDetailsNode", &state.volumes,
                          &VolumeList::volumeNames, BuildVolumeList, count, head);
    });
}

int FreeVolsDetailsNode(VolsDetailsNode **head) {
    return Free(head, "FreeVolsDetailsNode");
}

int Ext_ListVolFileDetails(const char *volumeName, VolFileListNode **head, int *count) {
    static const char function[] = "Ext_ListVolFileDetails";
    return UnderLock([&](State &state) -> int {
        unsigned call = RecordTextCall(state, function, volumeName);
        if (volumeName == nullptr) {
            if (head != nullptr)
                *head = nullptr;
            if (count != nullptr)
                *count = 0;
            return NullArgument(state, function);
        }
        auto found = state.openFiles.find(volumeName);
        const OpenFileList *staged = found == state.openFiles.end() ? nullptr : &found->second;
        return AnswerList(state, call, function, "FreeVolFileListNodes", staged,
                          &OpenFileList::records, BuildOpenFileList, count, head);
    });
}

int FreeVolFileListNodes(VolFileListNode **head) {
    return Free(head, "FreeVolFileListNodes");
}

int Ext_CloseFileByFileName(const char *path) {
    static const char function[] = "Ext_CloseFileByFileName";
    return UnderLock([&](State &state) -> int {
        unsigned call = RecordTextCall(state, function, path);
        if (path == nullptr)
            return NullArgument(state, function);
        return AnswerAction(state, call, state.closeByNameStatuses, std::string(path),
                            state.closeByNameStatus);
    });
}

int Ext_CloseFileByID(uint32_t connectionNumber) {
    static const char function[] = "Ext_CloseFileByID";
    return UnderLock([&](State &state) -> int {
        unsigned call = RecordCall(state, function, connectionNumber);
        return AnswerAction(state, call, state.closeByIdStatuses, connectionNumber,
                            state.closeByIdStatus);
    });
}

int Ext_ClearOneConnection(uint32_t connectionNumber) {
    static const char function[] = "Ext_ClearOneConnection";
    return UnderLock([&](State &state) -> int {
        unsigned call = RecordCall(state, function, connectionNumber);
        return AnswerAction(state, call, state.clearStatuses, connectionNumber, state.clearStatus);
    });
}

} // extern "C"

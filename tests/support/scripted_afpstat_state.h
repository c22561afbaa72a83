/*
 * The scriptable monitoring library's shared state, and the pieces its calls
 * are built from. Internal to the library: tests use scripted_afpstat.h.
 *
 * One mutex guards all of it; every function here expects the caller to hold
 * it unless it says otherwise.
 */
#ifndef HXM_TESTS_SUPPORT_SCRIPTED_AFPSTAT_STATE_H
#define HXM_TESTS_SUPPORT_SCRIPTED_AFPSTAT_STATE_H

#include "tests/support/scripted_afpstat.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace hxm_test::scripted::detail {

/* The heap blocks of one list or record under construction. Blocks are
 * zero-filled; whatever is still held when the object dies is freed, so a
 * build that fails half-way leaks nothing. */
class Blocks {
  public:
    Blocks() = default;
    Blocks(const Blocks &) = delete;
    Blocks &operator=(const Blocks &) = delete;
    ~Blocks();

    /* A zero-filled block of size bytes; throws std::bad_alloc. */
    void *Allocate(std::size_t size);
    /* A zero-filled T (a packed C record). */
    template <class T> T *New() { return static_cast<T *>(Allocate(sizeof(T))); }
    /* A heap copy of every byte of value plus a terminating NUL. */
    char *CopyString(const std::string &value);
    /* An array of max(count, names) entries plus a final null pointer. */
    char **Array(const Names &names, int32_t count);
    bool Empty() const { return blocks_.empty(); }
    /* The first block: the head record. Only when not Empty. */
    void *Head() const { return blocks_.front(); }
    /* Hands every block over to the caller, first block first. */
    std::vector<void *> Release();

  private:
    std::vector<void *> blocks_;
};

/* Copies at most size bytes of value into a fixed field that is already
 * zero-filled. */
void CopyField(char *field, std::size_t size, const std::string &value);

/* One list or record handed out and not yet freed. */
struct Handout {
    const char *freeFunction = ""; /* the only function that may free it */
    std::string origin;            /* e.g. "Ext_ListConnDetails (call 3)" */
    unsigned callNumber = 0;       /* the Ext_ call that made it */
    std::size_t headSize = 0;      /* bytes of the head record */
    std::vector<void *> blocks;    /* head first; emptied when retired */
};

struct State {
    std::mutex mutex;

    ConnectionList connections;
    std::unordered_map<uint32_t, UserDetails> users;
    VolumeList volumes;
    std::unordered_map<std::string, OpenFileList> openFiles;

    int closeByNameStatus = AFPSTAT_OK;
    std::unordered_map<std::string, int> closeByNameStatuses;
    int closeByIdStatus = AFPSTAT_OK;
    std::unordered_map<uint32_t, int> closeByIdStatuses;
    int clearStatus = AFPSTAT_OK;
    std::unordered_map<uint32_t, int> clearStatuses;

    std::unordered_map<unsigned, int> failures; /* call number -> status */
    std::vector<Call> calls;

    std::unordered_map<void *, Handout> live;
    /* Heads already freed, kept allocated (and poisoned under ASan) until
     * Reset so that their address is never reused: a second free of the same
     * pointer is then always recognised, and a read after free is caught. */
    std::unordered_map<void *, Handout> retired;
    std::vector<std::string> errors;
};

/* The one state of the process; never destroyed, so threads still calling at
 * exit find it intact. Thread-safe to call without the mutex. */
State &TheState();

/* Record an Ext_ call taking a number, or a text; return its number, 1 for
 * the first since Reset. */
unsigned RecordCall(State &state, const char *function, uint32_t number);
unsigned RecordTextCall(State &state, const char *function, const char *text);
/* The status staged with FailCall for this call, if any. */
std::optional<int> InjectedFailure(const State &state, unsigned callNumber);
/* Appends a line to the misuse record. */
void AddError(State &state, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* Registers built blocks as handed out and returns the head (null, with
 * nothing registered, when there are no blocks). */
void *HandOut(State &state, Blocks &blocks, std::size_t headSize, const char *freeFunction,
              const char *callName, unsigned callNumber);
/* Releases the handout whose head is head on behalf of freeFunction.
 * Returns AFPSTAT_OK when it was freed, else records why not and returns
 * AFPSTAT_ERR_ARGUMENT. */
int ReleaseHandout(State &state, void *head, const char *freeFunction);
/* Frees every live and retired handout. */
void ReleaseAll(State &state);

/* Builders: each returns the head it built in blocks (null for an empty
 * list). They throw std::bad_alloc when memory runs out. */
ConnListNode *BuildConnectionList(Blocks &blocks, const std::vector<Connection> &connections);
UserInfo_s *BuildUserInfo(Blocks &blocks, const UserDetails &details, uint32_t stagedNumber);
VolsDetailsNode *BuildVolumeList(Blocks &blocks, const std::vector<std::string> &names);
VolFileListNode *BuildOpenFileList(Blocks &blocks, const std::vector<OpenFileRecord> &records);

} // namespace hxm_test::scripted::detail

#endif

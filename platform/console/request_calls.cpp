/*
 * The host calls through which a service method reads its request: the
 * method code, the decoded path and the post body. Each checks the handle
 * and its out pointers before touching anything.
 */
#include <cstring>

#include <zentra/hxm_host.h>

#include "platform/console/hxm_console.h"
#include "platform/console/request_state.h"

using hxm_console::FromHandle;
using hxm_console::RequestState;

namespace {

// Non-zero results of the buffer calls.
enum BufferResult {
    kBufferOk = 0,
    kBufferBadArgument = 1, // null handle or out pointer
    kBufferNone = 2,        // the request carries no such buffer
    kBufferFailSwitch = 3   // failure injected by the request's failure switches
};

} // namespace

// 1 with the method code stored, 0 for a bad handle, a null out pointer or
// the kFailRequestMethod switch.
extern "C" int HttpReturnRequestMethod(void *request, int *methodCode) {
    RequestState *state = FromHandle(request);
    if (state == nullptr || methodCode == nullptr || (state->failures & hxm::kFailRequestMethod))
        return 0;
    *methodCode = state->methodCode;
    return 1;
}

// The request's writable post buffer, terminated at *length (one spare byte
// is there for callers that terminate it themselves). Only POST requests
// (method codes 2 and 3) have one; an empty POST gives a valid buffer of
// length 0. See BufferResult for the failures.
extern "C" int HttpReturnPostDataBuffer(void *request, char **buffer, unsigned long *length) {
    RequestState *state = FromHandle(request);
    if (state == nullptr || buffer == nullptr || length == nullptr)
        return kBufferBadArgument;
    if (state->failures & hxm::kFailPostDataBuffer)
        return kBufferFailSwitch;
    if (state->methodCode != HXM_METHOD_FORM_POST && state->methodCode != HXM_METHOD_OTHER_POST)
        return kBufferNone;
    *buffer = state->post.data();
    *length = static_cast<unsigned long>(state->post.size() - 1);
    return kBufferOk;
}

extern "C" int HttpReturnRequestUser(void *request, char *name, unsigned long *length) {
    RequestState *state = FromHandle(request);
    if (state == nullptr || name == nullptr || length == nullptr || state->user.empty())
        return 1;
    if (state->user.size() >= *length) {
        *length = static_cast<unsigned long>(state->user.size() + 1);
        return 2;
    }
    memcpy(name, state->user.c_str(), state->user.size() + 1);
    return 0;
}

// The request's writable, decoded path without the query, starting "/".
// Every call gives the same buffer, with whatever the caller wrote into it.
extern "C" int HttpReturnPathBuffers(void *request, void * /*reserved*/, char **path,
                                     void * /*reserved2*/) {
    RequestState *state = FromHandle(request);
    if (state == nullptr || path == nullptr)
        return kBufferBadArgument;
    if (state->failures & hxm::kFailPathBuffers)
        return kBufferFailSwitch;
    *path = state->path.data();
    return kBufferOk;
}

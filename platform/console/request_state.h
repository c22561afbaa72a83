/*
 * The request object behind the opaque handle a service method receives:
 * what the request brought (method code, writable path and post buffers,
 * access flags, failure switches) and what the method has answered so far
 * (status, content type, header lines, body). One lives for exactly one
 * call of a service method and is touched only by the thread running it.
 */
#ifndef HXM_PLATFORM_CONSOLE_REQUEST_STATE_H
#define HXM_PLATFORM_CONSOLE_REQUEST_STATE_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/console/body_buffer.h"

namespace hxm_console {

// How far the answer has got.
enum class ResponsePhase {
    kNone,       // nothing started yet
    kHeaderOpen, // status chosen by HttpOpenResponseHeaderTag, header lines being added
    kOpen,       // status and head fixed, body may be written
    kClosed      // complete: body ended, or an error response sent
};

struct RequestState {
    explicit RequestState(std::size_t bodyLimit) : body(bodyLimit) {}
    ~RequestState() { magic = 0; }
    RequestState(const RequestState &) = delete;
    RequestState &operator=(const RequestState &) = delete;

    static constexpr std::uint32_t kMagic = 0x48584d52; // marks a live request object
    std::uint32_t magic = kMagic;

    // What the request brought.
    int methodCode = 0;
    std::vector<char> path; // decoded path and its terminator
    std::vector<char> post; // body plus one byte for the caller's terminator
    unsigned int accessFlags = 0;
    std::string user; // the authenticated user, empty without one
    unsigned failures = 0;

    // The answer.
    ResponsePhase phase = ResponsePhase::kNone;
    int status = 0;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;
    BodyBuffer body;
};

// The live request object behind a handle, or null for a null or dead one.
inline RequestState *FromHandle(void *request) {
    RequestState *state = static_cast<RequestState *>(request);
    if (state == nullptr || state->magic != RequestState::kMagic)
        return nullptr;
    return state;
}

} // namespace hxm_console

#endif

/*
 * Redirects after actions and the outcomes carried across them (see
 * redirect.h).
 *
 * Notes:
 * - Outcomes wait in a small ring of fixed slots: the plug-in holds no
 *   global that needs a constructor, and nothing on the heap outlives a
 *   request. A browser follows a redirect at once, so a few slots serve any
 *   number of administrators; a token is random, so no page shows another
 *   request's outcome by a guessed path.
 * - The redirect of a request is kept per thread: the service method runs
 *   a request on one thread from the action to its page.
 */
#include "core/redirect.h"

#include <stdio.h>
#include <string.h>
#include <sys/random.h>

#include <mutex>

#include <zentra/hxm_host.h>

#include "core/page_frame.h"

namespace hxm2afp {
namespace {

constexpr size_t kSlots = 16;
constexpr size_t kTokenDigits = 16;
constexpr size_t kLocationBytes = 2048;

struct Slot {
    uint64_t token;
    uint64_t age; // when it was filled: the lowest gives way
    bool shown;
    size_t size;
    unsigned char data[kCarriedDataBytes];
    char fields[kCarriedFieldsBytes];
};

std::mutex slotsLock;
Slot slots[kSlots];
uint64_t filled = 0;

struct PendingRedirect {
    void *request;
    char location[kLocationBytes];
};
thread_local PendingRedirect pending = {nullptr, {}};

uint64_t new_token() {
    uint64_t token = 0;
    while (token == 0) {
        if (getrandom(&token, sizeof token, 0) != static_cast<ssize_t>(sizeof token))
            return 0;
    }
    return token;
}

bool read_token(const char *text, size_t length, uint64_t *token) {
    if (length != kTokenDigits)
        return false;
    uint64_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    *token = value;
    return value != 0;
}

} // namespace

uint64_t carry_outcome(const void *data, size_t size, const char *fields) {
    const size_t fieldsLength = fields != nullptr ? strlen(fields) : 0;
    if (size > kCarriedDataBytes || fieldsLength >= kCarriedFieldsBytes)
        return 0;
    const uint64_t token = new_token();
    if (token == 0)
        return 0;
    std::lock_guard<std::mutex> hold(slotsLock);
    Slot *oldest = &slots[0];
    for (Slot &slot : slots) {
        if (slot.age < oldest->age)
            oldest = &slot;
    }
    oldest->token = token;
    oldest->age = ++filled;
    oldest->shown = false;
    oldest->size = size;
    memcpy(oldest->data, data, size);
    memcpy(oldest->fields, fields != nullptr ? fields : "", fieldsLength + 1);
    return token;
}

bool collect_outcome(uint64_t token, void *data, size_t size, char *fields, size_t fieldsSize,
                     bool *first) {
    *first = false;
    if (token == 0)
        return false;
    std::lock_guard<std::mutex> hold(slotsLock);
    for (Slot &slot : slots) {
        if (slot.token != token)
            continue;
        snprintf(fields, fieldsSize, "%s", slot.fields);
        if (!slot.shown && slot.size == size) {
            memcpy(data, slot.data, size);
            slot.shown = true;
            *first = true;
        }
        return true;
    }
    return false;
}

void cut_carried_token(char *path, uint64_t *token) {
    *token = 0;
    if (path == nullptr)
        return;
    const size_t length = strlen(path);
    const size_t command = strlen(kCarriedCommand);
    const size_t tail = 1 + command + 1 + kTokenDigits;
    if (length < tail)
        return;
    char *start = path + length - tail;
    if (start[0] != '/' || strncmp(start + 1, kCarriedCommand, command) != 0 ||
        start[1 + command] != '/' || !read_token(start + 2 + command, kTokenDigits, token))
        return;
    *start = '\0';
}

bool redirect_next_page(void *request, const char *location) {
    pending.request = nullptr;
    for (const char *at = location; *at != '\0'; ++at) {
        if (static_cast<unsigned char>(*at) < 0x20 || *at == 0x7f)
            return false;
    }
    const int written = snprintf(pending.location, sizeof pending.location, "%s", location);
    if (written < 0 || static_cast<size_t>(written) >= sizeof pending.location)
        return false;
    pending.request = request;
    return true;
}

void cancel_redirect() {
    pending.request = nullptr;
}

bool open_page_status(void *request) {
    const char *descriptor = HttpReturnString(kHtmlDescriptorIndex);
    if (pending.request != request || request == nullptr)
        return HttpSendSuccessfulResponse(request, descriptor) == 0;
    pending.request = nullptr;
    char header[kLocationBytes + 256];
    const int length = snprintf(header, sizeof header, "Location: %s\r\nContent-Type: %s",
                                pending.location, descriptor);
    if (length < 0 || static_cast<size_t>(length) >= sizeof header ||
        HttpOpenResponseHeaderTag(request, 303) != 0)
        return HttpSendSuccessfulResponse(request, descriptor) == 0;
    if (HttpAddResponseHeaderTags(request, header, length) != 0)
        return false;
    return HttpSendResponseHeader(request) == 0;
}

} // namespace hxm2afp

/*
 * The host calls through which a service method answers: a 200 page of a
 * given content type written piecewise, an error response, or a response of
 * its own status and header lines (a redirect). The console buffers the whole
 * answer and hands it over when the method returns.
 *
 * Every call answers 0 on success and 1 when the handle is bad, an argument
 * is malformed, the answer is not in a state that allows the call, a failure
 * switch of the request says so, or the body has failed.
 */
#include <strings.h>

#include <cstdarg>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <zentra/hxm_host.h>

#include "platform/console/hxm_console.h"
#include "platform/console/page_frame.h"
#include "platform/console/request_state.h"

using hxm_console::FromHandle;
using hxm_console::RequestState;
using hxm_console::ResponsePhase;

const char *pzSTRIPE_LIGHT = "class=\"stripelight\"";
const char *pzSTRIPE_DARK = "class=\"stripedark\"";

namespace {

constexpr int kOk = 0;
constexpr int kRefused = 1;

// Texts handed out by HttpReturnString, by index.
constexpr const char *kHostStrings[] = {
    "text/plain; charset=utf-8",             // 0
    "application/octet-stream",              // 1
    "image/png",                             // 2
    "text/css; charset=utf-8",               // 3
    "application/javascript; charset=utf-8", // 4
    hxm_console::kHtmlDescriptor,            // 5: every page of the plug-ins
};

// ASCII only: the process locale (set from the environment) must not widen it.
bool IsTokenCharacter(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

// Header field values may hold any byte but the control characters (tab aside).
bool IsValueCharacter(unsigned char c) {
    return c == '\t' || (c >= 0x20 && c != 0x7f);
}

bool IsValidFieldValue(const char *text) {
    for (; *text != '\0'; ++text) {
        if (!IsValueCharacter(static_cast<unsigned char>(*text)))
            return false;
    }
    return true;
}

bool SameName(const std::string &name, const char *other) {
    return strcasecmp(name.c_str(), other) == 0;
}

// Parses one "Name: value" line (no line break in it) into `headers`, or
// false when the name is no token, the value holds a control character or
// the field is one the console sets itself.
bool ParseHeaderLine(const char *line, std::size_t length,
                     std::vector<std::pair<std::string, std::string>> *headers) {
    std::size_t colon = 0;
    while (colon < length && line[colon] != ':') {
        if (!IsTokenCharacter(static_cast<unsigned char>(line[colon])))
            return false;
        ++colon;
    }
    if (colon == 0 || colon == length)
        return false;
    std::size_t start = colon + 1;
    std::size_t end = length;
    while (start < end && (line[start] == ' ' || line[start] == '\t'))
        ++start;
    while (end > start && (line[end - 1] == ' ' || line[end - 1] == '\t'))
        --end;
    for (std::size_t i = start; i < end; ++i) {
        if (!IsValueCharacter(static_cast<unsigned char>(line[i])))
            return false;
    }
    std::string name(line, colon);
    // Message framing belongs to the server, not to a page.
    if (SameName(name, "Content-Length") || SameName(name, "Transfer-Encoding") ||
        SameName(name, "Connection"))
        return false;
    headers->emplace_back(std::move(name), std::string(line + start, end - start));
    return true;
}

// Parses `length` bytes of CRLF-separated header lines (a final CRLF is
// allowed). All or nothing: false on any malformed line, bare CR or LF, NUL
// or blank line, which would otherwise let text end the header block.
bool ParseHeaderLines(const char *text, std::size_t length,
                      std::vector<std::pair<std::string, std::string>> *headers) {
    std::size_t position = 0;
    while (position < length) {
        std::size_t end = position;
        while (end < length && text[end] != '\r' && text[end] != '\n') {
            if (text[end] == '\0')
                return false;
            ++end;
        }
        if (end < length && (text[end] != '\r' || end + 1 >= length || text[end + 1] != '\n'))
            return false;
        if (end == position || !ParseHeaderLine(text + position, end - position, headers))
            return false;
        position = end < length ? end + 2 : length;
    }
    return true;
}

// Replaces whatever the answer holds by an error response.
void AnswerWithError(RequestState *state, int status, const char *body, std::size_t length) {
    state->headers.clear();
    state->body.Clear();
    state->body.Append(body, length);
    state->status = status;
    state->contentType = hxm_console::kHtmlDescriptor;
    state->phase = ResponsePhase::kClosed;
}

bool IsErrorStatus(int status) {
    return status >= 400 && status <= 599;
}

} // namespace

extern "C" const char *HttpReturnString(int index) {
    constexpr int count = static_cast<int>(sizeof kHostStrings / sizeof kHostStrings[0]);
    return index >= 0 && index < count ? kHostStrings[index] : "";
}

// Starts a 200 answer of the given content type. Refused when an answer has
// already started or the descriptor is null or holds a control character.
extern "C" int HttpSendSuccessfulResponse(void *request, const char *descriptor) {
    RequestState *state = FromHandle(request);
    if (state == nullptr || descriptor == nullptr || !IsValidFieldValue(descriptor))
        return kRefused;
    if ((state->failures & hxm::kFailSuccessfulResponse) || state->phase != ResponsePhase::kNone)
        return kRefused;
    try {
        state->contentType = descriptor;
    } catch (const std::bad_alloc &) {
        return kRefused;
    }
    state->status = 200;
    state->phase = ResponsePhase::kOpen;
    return kOk;
}

// Answers with the console's error page for a status of 400 to 599. An
// answer begun but not complete is replaced; a complete one is kept.
extern "C" int HttpSendErrorResponse(void *request, int status) {
    RequestState *state = FromHandle(request);
    if (state == nullptr || !IsErrorStatus(status) || state->phase == ResponsePhase::kClosed)
        return kRefused;
    try {
        std::string page = hxm_console::ErrorPage(status);
        AnswerWithError(state, status, page.data(), page.size());
    } catch (const std::bad_alloc &) {
        return kRefused;
    }
    return state->body.failed() ? kRefused : kOk;
}

// As HttpSendErrorResponse, with the caller's text (up to `length` bytes,
// ending early at a NUL) as the HTML body.
extern "C" int HttpSendErrorPackageResponse(void *request, int status, const char *text,
                                            int length) {
    RequestState *state = FromHandle(request);
    if (state == nullptr || !IsErrorStatus(status) || length < 0 ||
        (text == nullptr && length > 0) || state->phase == ResponsePhase::kClosed)
        return kRefused;
    std::size_t size = text != nullptr ? strnlen(text, static_cast<std::size_t>(length)) : 0;
    AnswerWithError(state, status, text != nullptr ? text : "", size);
    return state->body.failed() ? kRefused : kOk;
}

extern "C" int HttpSendDataSprintf(void *request, const char *format, ...) {
    RequestState *state = FromHandle(request);
    if (state == nullptr || format == nullptr || state->phase != ResponsePhase::kOpen)
        return kRefused;
    va_list args;
    va_start(args, format);
    bool appended = state->body.AppendFormatted(format, args);
    va_end(args);
    return appended ? kOk : kRefused;
}

// Completes the body; later writes are refused.
extern "C" int HttpEndDataResponse(void *request) {
    RequestState *state = FromHandle(request);
    if (state == nullptr || state->phase != ResponsePhase::kOpen)
        return kRefused;
    state->phase = ResponsePhase::kClosed;
    return kOk;
}

// Starts an answer of its own status (200 to 599) and header lines.
extern "C" int HttpOpenResponseHeaderTag(void *request, int status) {
    RequestState *state = FromHandle(request);
    if (state == nullptr || status < 200 || status > 599 || state->phase != ResponsePhase::kNone)
        return kRefused;
    state->status = status;
    state->phase = ResponsePhase::kHeaderOpen;
    return kOk;
}

// Adds "Name: value" lines, CRLF-separated, after HttpOpenResponseHeaderTag.
// A Content-Type line sets the answer's content type. Nothing is added when
// any line is refused (see ParseHeaderLines).
extern "C" int HttpAddResponseHeaderTags(void *request, const char *text, int length) {
    RequestState *state = FromHandle(request);
    if (state == nullptr || text == nullptr || length < 0 ||
        state->phase != ResponsePhase::kHeaderOpen)
        return kRefused;
    try {
        std::vector<std::pair<std::string, std::string>> parsed;
        if (!ParseHeaderLines(text, static_cast<std::size_t>(length), &parsed))
            return kRefused;
        for (auto &header : parsed) {
            if (SameName(header.first, "Content-Type"))
                state->contentType = std::move(header.second);
            else
                state->headers.push_back(std::move(header));
        }
    } catch (const std::bad_alloc &) {
        return kRefused;
    }
    return kOk;
}

// Fixes the status and header lines; a body may follow until
// HttpEndDataResponse.
extern "C" int HttpSendResponseHeader(void *request) {
    RequestState *state = FromHandle(request);
    if (state == nullptr || state->phase != ResponsePhase::kHeaderOpen)
        return kRefused;
    state->phase = ResponsePhase::kOpen;
    return kOk;
}

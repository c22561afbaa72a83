/*
 * afpLogsMethod: the log area's entry. Checks the caller's access flags and
 * the request, then answers with the log list page, the log help page or
 * the error page.
 *
 * Paths: "/afplogs" followed by nothing or by anything but "/" is the list;
 * "/afplogs/" followed by any leading part of "help" (any case, even an
 * empty one) and anything after it is the help; every other path is
 * "Bad Http request".
 */
#include "pages/logs/dispatch.h"

#include <string.h>
#include <strings.h>

#include <type_traits>

#include "core/error_page.h"
#include "core/host/hxm_host.h"
#include "core/page_globals.h"
#include "logger/logger.h"
#include "pages/help/help.h"
#include "pages/logs/log_list_page.h"

namespace {

/* Callers with any of these bits do not see the log pages at all. */
constexpr unsigned int kDeclineFlags = 0x80000000u | 0x40000000u;
/* Both must be set. */
constexpr unsigned int kRequiredFlags = 0x1u | 0x8u;

/* Answers a path that continues the keyword with "/": `rest` points at
 * that "/" inside the host's writable path buffer. */
int AnswerComponents(void *request, char *rest) {
    int count = ConvertToComponentPath(rest);
    const unsigned char firstLength = static_cast<unsigned char>(rest[0]);
    const char *first = rest + 1;
    // The first component names the help page when it is a leading part of
    // the help token; a longer one ("helpme") is not.
    if (count < 1 || strncasecmp(keyword_help, first, firstLength) != 0)
        return generate_error_page(request, HXM_ERROR_BAD_REQUEST);

    // The second component, when there is one; past the last component
    // there is only the path's terminator, never to be read beyond.
    char *second = nullptr;
    int secondLength = 0;
    if (count > 1) {
        char *next = rest + 1 + firstLength;
        secondLength = static_cast<unsigned char>(next[0]);
        second = next + 1;
    }
    return generate_showlogs_help(request, count > 1 ? count - 1 : 0, second, secondLength);
}

} // namespace

// The host stores it as an HxmServiceMethod.
static_assert(std::is_same_v<decltype(&afpLogsMethod), HxmServiceMethod>);

int afpLogsMethod(void *request, unsigned int, unsigned int, unsigned int accessFlags) {
    if ((accessFlags & kDeclineFlags) != 0)
        return 0;
    if ((accessFlags & kRequiredFlags) != kRequiredFlags)
        return generate_error_page(request, HXM_ERROR_ACCESS_DENIED);

    int method = -1;
    if (HttpReturnRequestMethod(request, &method) != 1)
        return generate_error_page(request, HXM_ERROR_MISSING_DATA);
    if (method != HXM_METHOD_GET && method != HXM_METHOD_FORM_POST)
        return generate_error_page(request, HXM_ERROR_BAD_REQUEST);

    char *path = nullptr;
    if (HttpReturnPathBuffers(request, nullptr, &path, nullptr) != 0 || path == nullptr ||
        path[0] == '\0')
        return generate_error_page(request, HXM_ERROR_BAD_REQUEST);

    char *postData = nullptr;
    unsigned long postLength = 0;
    if (method == HXM_METHOD_FORM_POST) {
        if (HttpReturnPostDataBuffer(request, &postData, &postLength) == 0 && postData != nullptr) {
            postData[postLength] = '\0';
        } else {
            postData = nullptr;
            postLength = 0;
        }
    }

    if (hxm_log != nullptr) {
        hxm_log->debug("URL = %s", path);
        if (method == HXM_METHOD_FORM_POST)
            hxm_log->dump("%s", postData != nullptr ? postData : "");
    }

    // Skip "/" and the keyword; the host routes by prefix, but a path
    // shorter than that is refused rather than read past its end.
    const size_t skip = strlen(keyword_afpdlogs) + 1;
    if (strlen(path) < skip)
        return generate_error_page(request, HXM_ERROR_BAD_REQUEST);
    char *rest = path + skip;
    if (rest[0] != '/')
        return generate_main_showlogs_page(request);
    return AnswerComponents(request, rest);
}

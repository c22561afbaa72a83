/*
 * afpofmMethod: the open-file area's entry. Access check, path analysis
 * (which may answer with the help page), request method, post body, the
 * action the first component names (close files, file details, or a volume
 * with an optional filter), then the page.
 *
 * Paths, after "/afpofm":
 *   (nothing)                         volume selection page
 *   /help[/help]                      open-file help (any leading part, any case)
 *   [/SORT]/VOLUME                    open files of VOLUME; a posted FILTER filters them
 *   [/SORT]/AFPCloseFiles/VOLUME      close the posted <filename> files, then the list
 *   [/SORT]/AFPBrowseFile/VOLUME/PATH file-details page for /PATH
 * SORT is ConnectionNumber, UserName or FileName in any case; a component that
 * only begins with one (UserNames) is a volume name.
 */
#include "pages/openfiles/dispatch.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <type_traits>

#include "core/error_page.h"
#include "core/host/hxm_host.h"
#include "core/page_globals.h"
#include "core/post_body.h"
#include "logger/logger.h"
#include "monitor/close_files.h"
#include "pages/help/help.h"
#include "pages/openfiles/file_info_page.h"
#include "pages/openfiles/list_page.h"

namespace {

/* At least one of these must be set, and kRequiredFlag too. */
constexpr unsigned int kAnyOfFlags = 0x1u | 0x2u | 0x10000000u;
constexpr unsigned int kRequiredFlag = 0x8u;
constexpr unsigned int kRestrictedClearingFlag = 0x400u;

constexpr int kBadPath = 400;
constexpr size_t kFilterSize = 256;

struct SortKeyword {
    const char *spelling;
    AfpSortType sortType;
};

constexpr SortKeyword kSortKeywords[] = {
    {"ConnectionNumber", AFP_SORT_CONNECTION_NUMBER},
    {"UserName", AFP_SORT_USER_NAME},
    {"FileName", AFP_SORT_FILE_PATH},
};

constexpr const char kBrowseFile[] = "AFPBrowseFile";
constexpr const char kCloseFiles[] = "AFPCloseFiles";
constexpr const char kFilterField[] = "FILTER";

/* A component: its length byte, then its text (not terminated). */
size_t ComponentLength(const char *component) {
    return static_cast<unsigned char>(component[0]);
}
char *ComponentText(char *component) {
    return component + 1;
}
char *NextComponent(char *component) {
    return component[0] == '\0' ? component : component + 1 + ComponentLength(component);
}

/* Whether the component's text equals `word` without regard to case. */
bool ComponentIs(const char *component, const char *word) {
    const size_t length = ComponentLength(component);
    return length == strlen(word) && strncasecmp(component + 1, word, length) == 0;
}

/* Whether the component's text begins with `word` without regard to case. */
bool ComponentBeginsWith(const char *component, const char *word) {
    const size_t length = strlen(word);
    return ComponentLength(component) >= length && strncasecmp(component + 1, word, length) == 0;
}

/* Whether the component is a leading part of "help" (an empty one is). */
bool IsHelpToken(const char *component) {
    const size_t length = ComponentLength(component);
    return length <= strlen(keyword_help) && strncasecmp(keyword_help, component + 1, length) == 0;
}

/* The path after the keyword, or null when the path has no "/" there. */
char *PathAfterKeyword(char *path) {
    const size_t skip = 1 + strlen(keyword_afpofm);
    if (strnlen(path, skip) < skip || path[skip] != '/')
        return nullptr;
    return path + skip;
}

/* Reads the path and checks it begins with "/": the path, or null. */
char *RequestPath(void *request) {
    char *path = nullptr;
    if (HttpReturnPathBuffers(request, nullptr, &path, nullptr) != 0 || path == nullptr ||
        path[0] != '/')
        return nullptr;
    if (hxm_log)
        hxm_log->debug("URL = %s", path);
    return path;
}

/* The file name of an AFPBrowseFile path: what follows the command and the
 * volume in the slash-separated copy, from its "/" on ("" when nothing). */
const char *BrowsedFileName(const char *pathCopy, bool sortConsumed) {
    int skip = sortConsumed ? 3 : 2;
    const char *at = pathCopy;
    while (at != nullptr && skip-- > 0)
        at = strchr(at + 1, '/');
    return at != nullptr ? at : "";
}

/* Copies the value of the first FILTER in a decoded body into filter
 * (kFilterSize bytes), when it holds 1 to 255 characters. */
void ReadFilter(const char *decoded, char *filter) {
    const char *found = strstr(decoded, kFilterField);
    if (found == nullptr)
        return;
    const char *value = found + strlen(kFilterField);
    if (*value != '\0')
        ++value; // the "="
    const size_t length = strlen(value);
    if (hxm_log)
        hxm_log->debug("filter string len[%d] string [%s]", static_cast<int>(length), value);
    if (length == 0 || length > kFilterSize - 1) {
        if (hxm_log)
            hxm_log->debug("filter value len is greater than 255 or equal to zero");
        return;
    }
    memcpy(filter, value, length + 1);
}

/* Logs what is left of the component path, length bytes shown as "/". */
void LogRemainingComponents(int count, const char *component) {
    if (hxm_log == nullptr)
        return;
    if (count == 0 || component == nullptr) {
        hxm_log->error("Component count = %d path=null", count);
        return;
    }
    char path[1024];
    char text[256];
    size_t written = 0;
    for (const char *at = component; *at != '\0' && written + 1 < sizeof path;) {
        const size_t length = ComponentLength(at);
        path[written++] = '/';
        for (size_t i = 0; i < length && written + 1 < sizeof path; ++i)
            path[written++] = at[1 + i];
        at += 1 + length;
    }
    path[written] = '\0';
    const size_t length = ComponentLength(component);
    memcpy(text, component + 1, length);
    text[length] = '\0';
    hxm_log->error("Component count = %d path=%s %s", count, path, text);
}

/* Everything a request owns, freed on every way out. */
struct RequestState {
    char *pathCopy = nullptr;
    char *decodedBody = nullptr;
    RequestState() = default;
    RequestState(const RequestState &) = delete;
    RequestState &operator=(const RequestState &) = delete;
    ~RequestState() {
        free(pathCopy);
        free(decodedBody);
    }
};

} // namespace

// The host stores it as an HxmServiceMethod.
static_assert(std::is_same_v<decltype(&afpofmMethod), HxmServiceMethod>);

int GetComponentCount(void *request, int *count) {
    char *path = RequestPath(request);
    if (path == nullptr)
        return kBadPath;
    char *rest = PathAfterKeyword(path);
    *count = rest == nullptr ? 0 : ConvertToComponentPath(rest);
    if (hxm_log)
        hxm_log->debug("count = %d check for help token toke= %s", *count,
                       rest == nullptr ? "" : rest + 1);
    return 0;
}

int GetComponentCountAndSortTypeForOFM(void *request, int *count, AfpSortType *sortType,
                                       char *sortText, char **component, char **pathCopy) {
    *sortType = AFP_SORT_CONNECTION_NUMBER;
    char *path = RequestPath(request);
    if (path == nullptr)
        return kBadPath;
    char *rest = PathAfterKeyword(path);
    if (rest == nullptr) {
        *count = 0;
        return 0;
    }
    const size_t length = strlen(rest);
    *pathCopy = static_cast<char *>(malloc(length + 1));
    if (*pathCopy == nullptr) {
        if (hxm_log)
            hxm_log->debug("memory alloc failed in fun GetComponentCountAndSortTypeForOFM");
        return kBadPath;
    }
    memcpy(*pathCopy, rest, length + 1);

    int components = ConvertToComponentPath(rest);
    if (hxm_log)
        hxm_log->debug("count = %d check for help token", components);
    char *current = rest;
    if (IsHelpToken(current)) {
        if (hxm_log)
            hxm_log->debug("count = %d FOUND help token", components);
        char *second = NextComponent(current);
        if (components < 2)
            return generate_afp_ofm_help(request, 0, second, 0);
        return generate_afp_ofm_help(request, components - 1, ComponentText(second),
                                     static_cast<int>(ComponentLength(second)));
    }
    if (hxm_log)
        hxm_log->debug("count = %d look for sort method", components);
    if (components != 0) {
        for (const SortKeyword &keyword : kSortKeywords) {
            if (ComponentIs(current, keyword.spelling)) {
                *sortType = keyword.sortType;
                snprintf(sortText, HXM_OFM_SORT_TEXT_SIZE, "%s", keyword.spelling);
                --components;
                current = NextComponent(current);
                break;
            }
        }
    }
    *count = components;
    *component = current;
    return 0;
}

int afpofmMethod(void *request, unsigned int, unsigned int, unsigned int accessFlags) {
    if ((accessFlags & kAnyOfFlags) == 0 || (accessFlags & kRequiredFlag) == 0)
        return generate_error_page(request, HXM_ERROR_ACCESS_DENIED);

    RequestState state;
    int count = 0;
    AfpSortType sortType = AFP_SORT_CONNECTION_NUMBER;
    char sortText[HXM_OFM_SORT_TEXT_SIZE] = "";
    char *component = nullptr;
    const int pathStatus = GetComponentCountAndSortTypeForOFM(request, &count, &sortType, sortText,
                                                              &component, &state.pathCopy);
    if (pathStatus == 200)
        return pathStatus; // the help page
    if (pathStatus != 0)
        return generate_error_page(request, pathStatus);

    int method = 0;
    if (HttpReturnRequestMethod(request, &method) == 0)
        return generate_error_page(request, HXM_ERROR_MISSING_DATA);
    if (method != HXM_METHOD_GET && method != HXM_METHOD_FORM_POST)
        return generate_error_page(request, HXM_ERROR_BAD_REQUEST);

    char *body = nullptr;
    unsigned long bodyLength = 0;
    if (method == HXM_METHOD_FORM_POST) {
        if (HttpReturnPostDataBuffer(request, &body, &bodyLength) != 0 || body == nullptr) {
            body = nullptr;
            bodyLength = 0;
        } else {
            body[bodyLength] = '\0';
            decodePostDataString(body, bodyLength, &state.decodedBody);
        }
    }

    char filter[kFilterSize] = {};
    const char *volume = "";
    if (count != 0) {
        if (ComponentBeginsWith(component, kBrowseFile)) {
            const char *fileName = BrowsedFileName(state.pathCopy, sortText[0] != '\0');
            if (hxm_log)
                hxm_log->debug("file name = %s", fileName);
            return displayAFPFileDetails(request, fileName);
        }
        if (ComponentBeginsWith(component, kCloseFiles)) {
            char *named = NextComponent(component);
            if (named[0] != '\0') {
                named[1 + ComponentLength(named)] = '\0';
                component = named;
                volume = ComponentText(named);
            } else {
                component = named; // no volume: the empty text
                volume = named;
            }
            count = 1;
            if (hxm_log)
                hxm_log->debug("Set of file names to close = %s",
                               state.decodedBody != nullptr ? state.decodedBody : "");
            parseDataToCloseAFPFiles(state.decodedBody);
        } else {
            volume = ComponentText(component);
            if (state.decodedBody != nullptr)
                ReadFilter(state.decodedBody, filter);
        }
    }

    if (hxm_log) {
        if (bodyLength != 0)
            hxm_log->error("post count = %d content=%s", static_cast<int>(bodyLength), body);
        const bool mayClear = (accessFlags & kRestrictedClearingFlag) == 0 || AllowClearConn == 1;
        hxm_log->debug("Connection clearing power is = %d", mayClear ? 1 : 0);
    }
    LogRemainingComponents(count, component);

    if (count == 0)
        return generate_main_ofm_page(request);
    if (count == 1)
        return generate_main_ofm_page(request, volume, sortType, filter);
    if (method == HXM_METHOD_GET)
        return generate_main_ofm_page(request);
    return generate_error_page(request, HXM_ERROR_BAD_REQUEST);
}

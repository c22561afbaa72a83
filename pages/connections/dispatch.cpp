/*
 * afpconsMethod: access check, path grammar, the clear and close actions,
 * then one page.
 *
 * Notes:
 * - A marker number longer than 6 characters or not all digits clears or
 *   closes nothing: reading a prefix of it would act on another connection.
 * - The form fields FILTER, volume and sorttype are read from the body as
 *   posted and each value decoded on its own, so a volume or filter holding
 *   "&" or "=" arrives whole; a value is at most 63 bytes once decoded.
 * - Keywords and commands match a component only when the component is at
 *   least as long as they are, so a comparison never runs into the next
 *   component.
 */
#include "pages/connections/dispatch.h"

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
#include "pages/connections/detail_page.h"
#include "pages/connections/list_page.h"
#include "pages/help/help.h"

namespace {

/* At least one of these must be set, and kRequiredFlag too. */
constexpr unsigned int kAnyOfFlags = 0x10000003u;
constexpr unsigned int kRequiredFlag = 0x8u;
constexpr unsigned int kNoClearingBit = 0x400u;

constexpr size_t kFieldSize = 64;
// An encoded field value may spell each of its 63 bytes as "%XY".
constexpr int kLongestEncodedField = 3 * (kFieldSize - 1);
constexpr size_t kLongestMarkerNumber = 6;

struct SortKeyword {
    const char *keyword;
    AfpSortType sortType;
};

// In the order they are tried.
constexpr SortKeyword kSortKeywords[] = {
    {"ConnectionNumber", AFP_SORT_CONNECTION_NUMBER}, {"ConnectionName", AFP_SORT_USER_NAME},
    {"FSActivity", AFP_SORT_BYTES_READ_WRITTEN},      {"LoginTime", AFP_SORT_LOGIN_TIME},
    {"KdpRequest", AFP_SORT_REQUEST_COUNT},
};
constexpr char kDefaultSortKeyword[] = "ConnectionNumber";
constexpr char kCloseConnectionsCommand[] = "AFPCloseConnections";
constexpr char kCloseFilesCommand[] = "AFPCloseFiles";

// A component as ConvertToComponentPath leaves it: length byte, characters.
int component_length(const char *component) {
    return static_cast<unsigned char>(component[0]);
}
const char *component_text(const char *component) {
    return component + 1;
}
char *next_component(char *component) {
    return component + 1 + component_length(component);
}

// Whether the component starts with `word`, ignoring case.
bool starts_with(const char *component, const char *word) {
    const size_t length = strlen(word);
    return static_cast<size_t>(component_length(component)) >= length &&
           strncasecmp(component_text(component), word, length) == 0;
}

void debug_line(const char *text) {
    if (Logger *logger = hxm_log)
        logger->debug("%s", text);
}

// The decimal number between `start` and `end` markers found from `from`.
// Returns the text after the end marker (null when a marker is missing);
// *valid tells whether a number of 1 to 6 digits stood there.
const char *find_marked_number(const char *from, const char *start, const char *end,
                               uint32_t *number, bool *valid) {
    const char *open = strstr(from, start);
    if (open == nullptr)
        return nullptr;
    open += strlen(start);
    const char *close = strstr(open, end);
    if (close == nullptr)
        return nullptr;
    const size_t length = static_cast<size_t>(close - open);
    *valid = length >= 1 && length <= kLongestMarkerNumber;
    uint32_t value = 0;
    for (size_t i = 0; *valid && i < length; ++i) {
        if (open[i] < '0' || open[i] > '9')
            *valid = false;
        else
            value = value * 10 + static_cast<uint32_t>(open[i] - '0');
    }
    *number = value;
    if (!*valid) {
        if (Logger *logger = hxm_log)
            logger->debug("not a connection number between %s and %s: [%.*s]", start, end,
                          static_cast<int>(length > 64 ? 64 : length), open);
    }
    return close + strlen(end);
}

// Reads one form field of the posted body into a 64-byte buffer, decoded.
void read_field(const char *body, const char *name, char (&value)[kFieldSize],
                const char *missingFormat) __attribute__((format(printf, 4, 0)));
void read_field(const char *body, const char *name, char (&value)[kFieldSize],
                const char *missingFormat) {
    value[0] = '\0';
    char encoded[kLongestEncodedField + 1];
    int length = kLongestEncodedField;
    int result = HttpFindNameAndValue(body, name, encoded, &length);
    if (result == 0 && (length < 0 || length > kLongestEncodedField))
        result = -1;
    if (result == 0) {
        char decoded[kLongestEncodedField + 1];
        const int decodedLength = HttpUnConvertName(encoded, decoded, length);
        if (decodedLength >= 0 && static_cast<size_t>(decodedLength) < kFieldSize) {
            memcpy(value, decoded, static_cast<size_t>(decodedLength));
            value[decodedLength] = '\0';
            return;
        }
        result = -1;
    }
    if (Logger *logger = hxm_log)
        logger->debug(missingFormat, result);
}

struct FormFields {
    char filter[kFieldSize] = {};
    char volume[kFieldSize] = {};
    char sortType[kFieldSize] = {};
};

void read_fields(const char *body, FormFields *fields) {
    read_field(body, "FILTER", fields->filter, "error: failed to get filter  errcode[%d] ");
    read_field(body, "volume", fields->volume, "error: failed to get volume name  errcode[%d] ");
    read_field(body, "sorttype", fields->sortType, "error: failed to get sorttype  errcode[%d] ");
}

// What a request owns until its page is written.
struct RequestState {
    char *pathCopy = nullptr;
    char *decoded = nullptr; // null: no body, or no memory to decode it
    ~RequestState() {
        free(pathCopy);
        free(decoded);
    }
};

} // namespace

// The host stores it as an HxmServiceMethod.
static_assert(std::is_same_v<decltype(&afpconsMethod), HxmServiceMethod>);

int AFPCloseSelectedConnections(const char *text) {
    if (text == nullptr)
        return 0;
    const char *cursor = text;
    while (cursor != nullptr && *cursor != '\0') {
        uint32_t number = 0;
        bool valid = false;
        cursor = find_marked_number(cursor, "<closeconn>", "</closeconn>", &number, &valid);
        if (cursor == nullptr || !valid)
            continue;
        const int result = Ext_ClearOneConnection(number);
        if (Logger *logger = hxm_log) {
            logger->debug("\nClearing Connection :%d", static_cast<int>(number));
            if (result != 0)
                logger->debug("\nClear Connection Failed:%d", static_cast<int>(number));
        }
    }
    return 0;
}

int closeAFPFilesForThisConnection(const char *text) {
    if (text == nullptr)
        return 0;
    uint32_t number = 0;
    bool valid = false;
    if (find_marked_number(text, "<closeallfiles>", "</closeallfiles>", &number, &valid) ==
        nullptr) {
        debug_line("Clear all files: no connection number between the markers; nothing closed");
        return 0;
    }
    if (!valid)
        return 0;
    if (Logger *logger = hxm_log)
        logger->debug("Clear all files called for connection#:%d", static_cast<int>(number));
    const int result = Ext_CloseFileByID(number);
    if (result != 0) {
        if (Logger *logger = hxm_log)
            logger->debug("Clear all files called for Connection Failed:%d", result);
    }
    return 0;
}

namespace {

// GetComponentCountAndSortType, also giving the converted path after
// "/afpcons" (*rest), whose offsets are those of the copy.
int read_path(void *request, int *count, AfpSortType *sortType, char *sortKeyword, char **position,
              char **pathCopy, char **converted) {
    *converted = nullptr;
    *sortType = AFP_SORT_CONNECTION_NUMBER;
    *count = 0;
    *position = nullptr;
    *pathCopy = nullptr;
    char *path = nullptr;
    if (HttpReturnPathBuffers(request, nullptr, &path, nullptr) != 0 || path == nullptr ||
        path[0] != '/')
        return 400;
    if (Logger *logger = hxm_log)
        logger->debug("URL = %s", path);
    const size_t skipped = strlen(keyword_afpdcons) + 1;
    if (strlen(path) < skipped || path[skipped] != '/')
        return 0; // "/afpcons" alone: the list page
    char *rest = path + skipped;
    *converted = rest;
    const size_t length = strlen(rest);
    *pathCopy = static_cast<char *>(malloc(length + 1));
    if (*pathCopy == nullptr) {
        debug_line("memory alloc failed in fun GetComponentCountAndSortType");
        return 400;
    }
    memcpy(*pathCopy, rest, length + 1);
    if (Logger *logger = hxm_log) {
        logger->debug("In fun GetComponentCountAndSortType len of componentPath =  %d",
                      static_cast<int>(length));
        logger->debug("In fun GetComponentCountAndSortType len of pPath =  %s", rest);
        logger->debug("In fun GetComponentCountAndSortType val of componentPath =  %s", *pathCopy);
    }
    const int components = ConvertToComponentPath(rest);
    if (components < 1)
        return 400; // a component the host cannot hold
    *count = components;
    if (Logger *logger = hxm_log)
        logger->debug("count = %d check for help token", *count);

    char *first = rest;
    if (strncasecmp(keyword_help, component_text(first),
                    static_cast<size_t>(component_length(first))) == 0) {
        if (Logger *logger = hxm_log)
            logger->debug("count = %d FOUND help token", *count);
        static char noComponent[] = "";
        char *second = *count > 1 ? next_component(first) : nullptr;
        return generate_connections_help(request, *count - 1,
                                         second != nullptr ? second + 1 : noComponent,
                                         second != nullptr ? component_length(second) : 0);
    }
    if (Logger *logger = hxm_log)
        logger->debug("count = %d look for sort method", *count);
    *position = first;
    for (const SortKeyword &keyword : kSortKeywords) {
        if (starts_with(first, keyword.keyword)) {
            *sortType = keyword.sortType;
            snprintf(sortKeyword, HXM_SORT_KEYWORD_SIZE, "%s", keyword.keyword);
            *count -= 1;
            *position = next_component(first);
            break;
        }
    }
    return 0;
}

} // namespace

int GetComponentCountAndSortType(void *request, int *count, AfpSortType *sortType,
                                 char *sortKeyword, char **position, char **pathCopy) {
    char *converted = nullptr;
    return read_path(request, count, sortType, sortKeyword, position, pathCopy, &converted);
}

int afpconsMethod(void *request, unsigned int, unsigned int, unsigned int accessFlags) {
    if ((accessFlags & kAnyOfFlags) == 0 || (accessFlags & kRequiredFlag) == 0)
        return generate_error_page(request, HXM_ERROR_ACCESS_DENIED);
    const bool clearingPower = (accessFlags & kNoClearingBit) == 0 || AllowClearConn == 1;

    RequestState state;
    int count = 0;
    AfpSortType sortType = AFP_SORT_CONNECTION_NUMBER;
    char sortKeyword[HXM_SORT_KEYWORD_SIZE];
    snprintf(sortKeyword, sizeof sortKeyword, "%s", kDefaultSortKeyword);
    char *position = nullptr;
    char *converted = nullptr;
    const int pathStatus =
        read_path(request, &count, &sortType, sortKeyword, &position, &state.pathCopy, &converted);
    if (pathStatus == 200)
        return 200;
    if (pathStatus != 0)
        return generate_error_page(request, pathStatus);

    int method = -1;
    if (HttpReturnRequestMethod(request, &method) == 0)
        return generate_error_page(request, HXM_ERROR_MISSING_DATA);
    if (method != HXM_METHOD_GET && method != HXM_METHOD_FORM_POST)
        return generate_error_page(request, HXM_ERROR_BAD_REQUEST);

    const char *body = nullptr;
    if (method == HXM_METHOD_FORM_POST) {
        char *buffer = nullptr;
        unsigned long length = 0;
        if (HttpReturnPostDataBuffer(request, &buffer, &length) == 0 && buffer != nullptr) {
            buffer[length] = '\0';
            body = buffer;
            decodePostDataString(buffer, length, &state.decoded);
        }
    }

    FormFields fields;
    static char emptyComponent[] = "";
    char *connection = position;
    if (count != 0) {
        if (starts_with(position, kCloseConnectionsCommand)) {
            if (Logger *logger = hxm_log)
                logger->debug("connections to be closed url[%s] postdata[%s]", state.pathCopy,
                              state.decoded != nullptr ? state.decoded : "");
            if (strstr(state.pathCopy, "<closeconn>") != nullptr &&
                strstr(state.pathCopy, "</closeconn>") != nullptr)
                AFPCloseSelectedConnections(state.pathCopy);
            else
                AFPCloseSelectedConnections(state.decoded);
            count = 0;
        } else if (starts_with(position, kCloseFilesCommand)) {
            const char *remainder = "";
            if (count >= 2) {
                connection = next_component(position);
                char *after = next_component(connection);
                // The copy keeps the slash the conversion turned into `after`.
                remainder = state.pathCopy + (after - converted);
                *after = '\0';
            } else {
                connection = emptyComponent;
            }
            count = 1;
            if (Logger *logger = hxm_log)
                logger->debug("Set of file names to close url[%s] postdata[%s]", remainder,
                              state.decoded != nullptr ? state.decoded : "");
            if (state.decoded != nullptr)
                read_fields(body, &fields);
            if (strstr(remainder, "<closeallfiles>") != nullptr ||
                strstr(remainder, "</closeallfiles>") != nullptr)
                closeAFPFilesForThisConnection(remainder);
            else
                parseDataToCloseAFPFiles(state.decoded);
        } else if (state.decoded != nullptr) {
            read_fields(body, &fields);
            if (Logger *logger = hxm_log)
                logger->debug("Post parameters: filter  [%s] volName [%s] sortType [%s]",
                              fields.filter, fields.volume, fields.sortType);
        }
    }
    free(state.pathCopy);
    state.pathCopy = nullptr;
    free(state.decoded);
    state.decoded = nullptr;

    if (count == 0)
        return generate_main_connections_page(request, 1, 1, accessFlags, sortType, sortKeyword);
    if (count == 1)
        return DisplaySpecifiedConnection(request, clearingPower ? 1 : 0, 1, 1, connection,
                                          sortKeyword, fields.volume, fields.sortType,
                                          fields.filter);
    return generate_error_page(request, HXM_ERROR_BAD_REQUEST);
}

/*
 * Form field readers over the host console's lookup, and two string
 * utilities. Exported for the console's other page modules; the plug-in's own
 * dispatchers read their fields themselves.
 *
 * Notes: a maximum length above 4095 is taken as 4095 (the value buffer holds
 * 4096 bytes), a negative one as 0; a length the host reports outside the
 * accepted range counts as an absent field. Null arguments read as absent.
 */
#include "core/form.h"

#include <ctype.h>
#include <limits.h>
#include <stdlib.h>
#include <strings.h>

#include <zentra/hxm_host.h>

#include "logger/logger.h"

namespace {

constexpr int kValueBufferSize = 4096;
constexpr int kLongestString = kValueBufferSize - 1;
constexpr int kLongestShortValue = 63;

// Looks `name` up with at most `longest` characters; the raw value's length,
// or 0 when absent, refused or empty.
int find_value(const char *postData, const char *name, char (&value)[kValueBufferSize],
               int longest) {
    value[0] = '\0';
    if (postData == nullptr || name == nullptr)
        return 0;
    int length = longest;
    if (HttpFindNameAndValue(postData, name, value, &length) != 0 || length <= 0 ||
        length > longest) {
        value[0] = '\0';
        return 0;
    }
    value[length] = '\0';
    return length;
}

int clamp_length(int maxLength) {
    if (maxLength < 0)
        return 0;
    return maxLength > kLongestString ? kLongestString : maxLength;
}

} // namespace

int POST_GET_STRING(const char *postData, const char *name, char *out, int maxLength) {
    if (out == nullptr)
        return 0;
    out[0] = '\0';
    char value[kValueBufferSize];
    int length = find_value(postData, name, value, clamp_length(maxLength));
    if (length > 0)
        HttpUnConvertName(value, out, length);
    // Decoded text is never longer than the raw value.
    out[length] = '\0';
    return length;
}

int POST_GET_URL(const char *postData, const char *name, char *out) {
    return POST_GET_STRING(postData, name, out, kLongestString);
}

int POST_GET_INT(const char *postData, const char *name, int *result, int defaultValue) {
    if (result == nullptr)
        return 0;
    *result = defaultValue;
    char value[kValueBufferSize];
    if (find_value(postData, name, value, kLongestShortValue) == 0)
        return 0;
    long number = strtol(value, nullptr, 10);
    if (number > INT_MAX)
        number = INT_MAX;
    else if (number < INT_MIN)
        number = INT_MIN;
    *result = static_cast<int>(number);
    return 0;
}

int POST_CHECKBOX(const char *postData, const char *name, const char *checkText, int *result,
                  int defaultValue) {
    if (result == nullptr)
        return 0;
    *result = defaultValue;
    HXM_DEBUG("[%s] enter kw=%s chkstr=%s", "POST_CHECKBOX", name ? name : "",
              checkText ? checkText : "");
    char value[kValueBufferSize];
    if (find_value(postData, name, value, kLongestShortValue) == 0)
        return 0;
    *result = checkText != nullptr && strcasecmp(value, checkText) == 0 ? 1 : 0;
    return 0;
}

int POST_RADIOBUTTON(const char *postData, const char *name, int *result) {
    constexpr int kNotOnOrOff = 2;
    int ignored;
    if (result == nullptr)
        result = &ignored;
    *result = 1;
    HXM_DEBUG("[%s] enter button=%s", "POST_RADIOBUTTON", name ? name : "");
    char value[kValueBufferSize];
    if (find_value(postData, name, value, kLongestShortValue) == 0)
        return kNotOnOrOff;
    if (strcasecmp(value, "on") == 0)
        return 0;
    if (strcasecmp(value, "off") == 0) {
        *result = 0;
        return 0;
    }
    return kNotOnOrOff;
}

int compressURI(char *destination, const char *source) {
    if (destination == nullptr || source == nullptr)
        return 0;
    // Within a run of slashes every second one is dropped; the destination
    // never runs ahead of the source, so both may be the same buffer.
    bool dropNext = false;
    char *out = destination;
    for (; *source != '\0'; ++source) {
        if (*source != '/') {
            dropNext = false;
            *out++ = *source;
        } else if (dropNext) {
            dropNext = false;
        } else {
            dropNext = true;
            *out++ = '/';
        }
    }
    *out = '\0';
    return 0;
}

int _strupr(char *text) {
    if (text == nullptr)
        return 0;
    for (unsigned char *c = reinterpret_cast<unsigned char *>(text); *c != '\0'; ++c) {
        if (isalpha(*c))
            *c = static_cast<unsigned char>(toupper(*c));
    }
    return 0;
}

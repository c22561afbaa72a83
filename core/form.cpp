/*
 * Form field readers over the host console's lookup, and two string
 * utilities. The POST_* readers are exported for the console's other page
 * modules; the plug-in's own pages read their fields through
 * read_form_field.
 *
 * Notes: a maximum length above 4095 is taken as 4095 (the value buffer holds
 * 4096 bytes), a negative one as 0; a length the host reports outside the
 * accepted range counts as an absent field. Null arguments read as absent.
 */
#include "core/form.h"

#include <ctype.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <zentra/hxm_host.h>

#include "logger/logger.h"

namespace {

constexpr int kValueBufferSize = 4096;
constexpr int kLongestString = kValueBufferSize - 1;
constexpr int kLongestShortValue = 63;

// Looks `name` up with at most `longest` encoded characters into `value`:
// kValue with *length set, or kAbsent (a refused lookup too) or kTooLong
// with `value` empty.
hxm2afp::FormField find_field(const char *postData, const char *name,
                              char (&value)[kValueBufferSize], int longest, int *length) {
    value[0] = '\0';
    *length = 0;
    if (postData == nullptr || name == nullptr)
        return hxm2afp::FormField::kAbsent;
    int found = longest;
    const int result = HttpFindNameAndValue(postData, name, value, &found);
    if (result != 0 || found < 0 || found > longest) {
        value[0] = '\0';
        return result == 0 || found > longest ? hxm2afp::FormField::kTooLong
                                              : hxm2afp::FormField::kAbsent;
    }
    value[found] = '\0';
    *length = found;
    return hxm2afp::FormField::kValue;
}

// Looks `name` up with at most `longest` characters; the raw value's length,
// or 0 when absent, refused or empty.
int find_value(const char *postData, const char *name, char (&value)[kValueBufferSize],
               int longest) {
    int length = 0;
    find_field(postData, name, value, longest, &length);
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

hxm2afp::FormField hxm2afp::read_form_field(const char *body, const char *name, char *out,
                                            size_t size) {
    if (size == 0)
        return FormField::kAbsent;
    out[0] = '\0';
    // Each byte is encoded in at most three: the encoded value must fit too.
    const size_t longest = size - 1 < kLongestString / 3 ? size - 1 : kLongestString / 3;
    char value[kValueBufferSize];
    int length = 0;
    const FormField found = find_field(body, name, value, static_cast<int>(3 * longest), &length);
    if (found != FormField::kValue)
        return found;
    char decoded[kValueBufferSize];
    const int decodedLength = HttpUnConvertName(value, decoded, length);
    if (decodedLength < 0 || static_cast<size_t>(decodedLength) > longest)
        return FormField::kTooLong;
    memcpy(out, decoded, static_cast<size_t>(decodedLength));
    out[decodedLength] = '\0';
    return FormField::kValue;
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

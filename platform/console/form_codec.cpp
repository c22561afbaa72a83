/*
 * Form data as plug-ins read it: finding one field of "name=value&..." and
 * decoding the form encoding of a value. Both work on caller-owned buffers
 * with explicit bounds and never touch a byte beyond them.
 */
#include <cstring>

#include <zentra/hxm_host.h>

#include "platform/console/hex_digit.h"

namespace {

// Result codes of HttpFindNameAndValue.
enum FindResult {
    kFound = 0,
    kBadArgument = 1, // a null pointer, an empty name or a negative length bound
    kAbsent = 2,      // no field of that name
    kTooLong = 3      // the value is longer than the bound; *length holds its length
};

} // namespace

// Finds the first field whose (still encoded) name equals `name` exactly. A
// field written without "=" counts as present with an empty value. Returns
// one of FindResult; on any result but kFound the value buffer holds the empty
// text (when it may be written at all), and only kTooLong changes *length.
extern "C" int HttpFindNameAndValue(const char *postData, const char *name, char *value,
                                    int *length) {
    if (postData == nullptr || name == nullptr || name[0] == '\0' || value == nullptr ||
        length == nullptr || *length < 0)
        return kBadArgument;
    value[0] = '\0';
    std::size_t nameLength = std::strlen(name);
    const char *field = postData;
    while (*field != '\0') {
        std::size_t fieldLength = std::strcspn(field, "&");
        std::size_t keyLength = std::strcspn(field, "=&");
        if (keyLength == nameLength && std::memcmp(field, name, nameLength) == 0) {
            const char *start = field + keyLength;
            if (*start == '=')
                ++start;
            std::size_t valueLength = static_cast<std::size_t>(field + fieldLength - start);
            if (valueLength > static_cast<std::size_t>(*length)) {
                *length = valueLength > 0x7fffffff ? 0x7fffffff : static_cast<int>(valueLength);
                return kTooLong;
            }
            std::memcpy(value, start, valueLength);
            value[valueLength] = '\0';
            *length = static_cast<int>(valueLength);
            return kFound;
        }
        field += fieldLength;
        if (*field == '&')
            ++field;
    }
    return kAbsent;
}

// Decodes "+" to a blank and %XX to its byte; a "%" without two hex digits
// after it (within the bound) is kept as it stands. Stops at `length` bytes
// or at a NUL in the source, whichever comes first, and terminates the
// result. The destination may be the source itself. Returns the decoded
// length, or -1 (nothing written) for a null pointer or a negative length.
extern "C" int HttpUnConvertName(const char *source, char *destination, int length) {
    if (source == nullptr || destination == nullptr || length < 0)
        return -1;
    std::size_t end = strnlen(source, static_cast<std::size_t>(length));
    std::size_t out = 0;
    for (std::size_t i = 0; i < end; ++i) {
        char c = source[i];
        if (c == '+') {
            c = ' ';
        } else if (c == '%' && i + 2 < end) {
            int high = hxm_console::HexValue(source[i + 1]);
            int low = high >= 0 ? hxm_console::HexValue(source[i + 2]) : -1;
            if (low >= 0) {
                c = static_cast<char>(high * 16 + low);
                i += 2;
            }
        }
        destination[out++] = c;
    }
    destination[out] = '\0';
    return static_cast<int>(out);
}

/*
 * Post body decoding.
 *
 * Notes: the decoder reads a "%XY" escape the way strtol(..., 16) reads the
 * two characters (leading blanks and a sign allowed, no digit reads 0), so
 * "%4G" gives 0x04 and "%zz" a NUL that ends the decoded text; it never reads
 * past the text's NUL nor past the given length, which bounds the output to
 * the length + 1 bytes allocated.
 */
#include "core/post_body.h"

#include <limits.h>
#include <stdlib.h>

#include "logger/log_text.h"
#include "logger/logger.h"

namespace {

// The byte "%XY" stands for: the low 8 bits of strtol over the two characters.
char escaped_byte(char first, char second) {
    const char digits[3] = {first, second, '\0'};
    return static_cast<char>(strtol(digits, nullptr, 16) & 0xff);
}

} // namespace

int decodePostDataString(const char *encoded, unsigned long length, char **decoded) {
    if (decoded == nullptr)
        return 0;
    char *out = length < ULONG_MAX ? static_cast<char *>(calloc(length + 1, 1)) : nullptr;
    *decoded = out;
    if (out == nullptr) {
        HXM_DEBUG("decodePostDataString: no memory for %lu bytes", length);
        return 0;
    }
    if (encoded == nullptr)
        encoded = "";
    size_t in = 0;
    size_t written = 0;
    while (in < length && encoded[in] != '\0') {
        const char c = encoded[in];
        const bool wholeEscape =
            c == '%' && in + 2 < length && encoded[in + 1] != '\0' && encoded[in + 2] != '\0';
        if (wholeEscape) {
            out[written++] = escaped_byte(encoded[in + 1], encoded[in + 2]);
            in += 3;
        } else {
            // A "%" cut off by the end stays as it is.
            out[written++] = c == '+' ? ' ' : c;
            ++in;
        }
    }
    out[written] = '\0';
    HXM_DEBUG("postdata before decode: [%s] \n", hxm2afp::LogText(encoded, in).c_str());
    HXM_DEBUG("postdata after decode: [%s] \n", hxm2afp::LogText(out, written).c_str());
    return 0;
}

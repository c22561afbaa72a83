/*
 * Escaped, bounded request text for log lines (see log_text.h).
 */
#include "logger/log_text.h"

#include <stdio.h>
#include <string.h>

namespace hxm2afp {

LogText::LogText(const char *text) : LogText(text, text != nullptr ? strlen(text) : 0) {}

LogText::LogText(const char *text, size_t length) {
    static const char kHex[] = "0123456789abcdef";
    if (text == nullptr)
        length = 0;
    const size_t shown = length < kLogTextLimit ? length : kLogTextLimit;
    size_t written = 0;
    for (size_t i = 0; i < shown; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char named = '\0';
        switch (c) {
        case '\n':
            named = 'n';
            break;
        case '\r':
            named = 'r';
            break;
        case '\t':
            named = 't';
            break;
        case '\\':
            named = '\\';
            break;
        default:
            break;
        }
        if (named != '\0') {
            out_[written++] = '\\';
            out_[written++] = named;
        } else if (c < 0x20 || c == 0x7f) {
            out_[written++] = '\\';
            out_[written++] = 'x';
            out_[written++] = kHex[c >> 4];
            out_[written++] = kHex[c & 15];
        } else {
            out_[written++] = static_cast<char>(c);
        }
    }
    out_[written] = '\0';
    if (length > shown)
        snprintf(out_ + written, sizeof out_ - written, "...(%lu more bytes)",
                 static_cast<unsigned long>(length - shown));
}

} // namespace hxm2afp

/*
 * The terminal escaper: one pass that decodes UTF-8 and escapes what a
 * terminal would act on.
 */
#include "platform/console/server/terminal_text.h"

#include <stdio.h>

namespace hxm_server {
namespace {

// The length of the UTF-8 sequence that `lead` starts, 0 for a byte that
// cannot start one.
size_t SequenceLength(unsigned char lead) {
    return lead < 0x80   ? 1
           : lead < 0xc2 ? 0
           : lead < 0xe0 ? 2
           : lead < 0xf0 ? 3
           : lead < 0xf5 ? 4
                         : 0;
}

// The character of the valid sequence of `length` bytes at `at`, or -1.
long Decode(const std::string &text, size_t at, size_t length) {
    if (length == 0 || at + length > text.size())
        return -1;
    static const unsigned char kLeadMask[] = {0, 0x7f, 0x1f, 0x0f, 0x07};
    long code = static_cast<unsigned char>(text[at]) & kLeadMask[length];
    for (size_t i = 1; i < length; ++i) {
        auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xc0) != 0x80)
            return -1;
        code = code << 6 | (next & 0x3f);
    }
    static const long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
        return -1;
    return code;
}

bool TerminalActsOn(long code) {
    return (code >= 0x80 && code <= 0x9f) || code == 0x061c || code == 0x200e || code == 0x200f ||
           (code >= 0x202a && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069);
}

void AppendEscape(std::string *out, const char *format, long value) {
    char escape[12];
    snprintf(escape, sizeof escape, format, static_cast<unsigned>(value));
    out->append(escape);
}

} // namespace

std::string TerminalSafe(const std::string &text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x20 || byte == 0x7f) {
            if (keepLineBreaks && (byte == '\n' || byte == '\t'))
                out.push_back(static_cast<char>(byte));
            else
                AppendEscape(&out, "\\x%02x", byte);
            ++at;
            continue;
        }
        size_t length = SequenceLength(byte);
        long code = Decode(text, at, length);
        if (code < 0) {
            AppendEscape(&out, "\\x%02x", byte);
            ++at;
        } else if (TerminalActsOn(code)) {
            AppendEscape(&out, "\\u%04x", code);
            at += length;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

size_t CompleteCharacters(const std::string &text) {
    // A sequence is at most four bytes: look back at most three for a lead.
    for (size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xc0) == 0x80)
            continue; // a continuation byte: its lead is further back
        size_t length = SequenceLength(byte);
        return length > back ? text.size() - back : text.size();
    }
    return text.size();
}

} // namespace hxm_server

/*
 * Text made visible (see visible_text.h).
 *
 * Notes: one 256-entry table classes each byte; runs of bytes that need
 * nothing are appended at once, so an ordinary name costs one scan and one
 * copy. Bytes past ASCII are decoded by utf8proc, whose utf8proc_iterate
 * refuses overlong forms, surrogates, code points past U+10FFFF and cut
 * sequences, so every byte it refuses is shown as \xNN and nothing needs a
 * check of our own.
 */
#include "base/visible_text.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>

#include <utf8proc.h>

namespace hxm2afp {
namespace {

enum ByteClass : uint8_t {
    kPlain,     // printable ASCII: copied
    kControl,   // C0 controls and DEL: \xNN
    kLineBreak, // line feed and tab: copied or \xNN, as the caller says
    kBackslash, // doubled
    kMultibyte  // past ASCII: decoded
};

constexpr struct ByteClasses {
    ByteClass of[256];
    constexpr ByteClasses() : of() {
        for (int byte = 0; byte < 256; ++byte) {
            of[byte] = byte >= 0x80 ? kMultibyte : byte >= 0x20 && byte < 0x7F ? kPlain : kControl;
        }
        of['\n'] = kLineBreak;
        of['\t'] = kLineBreak;
        of['\\'] = kBackslash;
    }
} kClasses;

ByteClass class_of(unsigned char byte, LineBreaks breaks) {
    const ByteClass kind = kClasses.of[byte];
    if (kind != kLineBreak)
        return kind;
    return breaks == LineBreaks::kKept ? kPlain : kControl;
}

// Code points a terminal or a line reader acts on, as closed ranges.
constexpr struct {
    utf8proc_int32_t first, last;
} kActingPoints[] = {
    {0x0080, 0x009F}, // C1 controls
    {0x061C, 0x061C}, // Arabic letter mark
    {0x200E, 0x200F}, // left-to-right and right-to-left marks
    {0x2028, 0x202E}, // line and paragraph separators; embeddings and overrides
    {0x2066, 0x2069}, // isolates
};

bool acts(utf8proc_int32_t point) {
    for (const auto &range : kActingPoints) {
        if (point >= range.first && point <= range.last)
            return true;
    }
    return false;
}

// `form` is "\\x" (two digits) or "\\u" (four).
void append_escape(std::string *out, const char *form, uint32_t value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    const size_t digits = form[1] == 'x' ? 2 : 4;
    out->append(form, 2);
    for (size_t i = digits; i-- > 0;)
        out->push_back(kDigits[(value >> (4 * i)) & 0xF]);
}

// Decodes the character at `at` (room: the bytes there, at least one) and
// appends it made visible; returns the bytes it took.
size_t append_character(std::string *out, const unsigned char *at, size_t room) {
    utf8proc_int32_t point = 0;
    const utf8proc_ssize_t length =
        utf8proc_iterate(at, static_cast<utf8proc_ssize_t>(std::min<size_t>(room, 4)), &point);
    if (length <= 0) {
        append_escape(out, "\\x", *at);
        return 1;
    }
    if (acts(point))
        append_escape(out, "\\u", static_cast<uint32_t>(point));
    else
        out->append(reinterpret_cast<const char *>(at), static_cast<size_t>(length));
    return static_cast<size_t>(length);
}

} // namespace

void append_visible_text(std::string *out, const char *text, size_t length, LineBreaks breaks) {
    const auto *at = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *end = at + length;
    while (at < end) {
        const unsigned char *run = at;
        while (at < end && class_of(*at, breaks) == kPlain)
            ++at;
        out->append(reinterpret_cast<const char *>(run), static_cast<size_t>(at - run));
        if (at == end)
            break;
        switch (class_of(*at, breaks)) {
        case kBackslash:
            out->append("\\\\");
            ++at;
            break;
        case kMultibyte:
            at += append_character(out, at, static_cast<size_t>(end - at));
            break;
        default:
            append_escape(out, "\\x", *at++);
            break;
        }
    }
}

std::string visible_text(const char *text) {
    std::string visible;
    if (text != nullptr)
        append_visible_text(&visible, text, strlen(text));
    return visible;
}

std::string visible_text(const std::string &text, LineBreaks breaks) {
    std::string visible;
    visible.reserve(text.size());
    append_visible_text(&visible, text.data(), text.size(), breaks);
    return visible;
}

size_t complete_characters(const char *text, size_t length) {
    // A sequence is at most four bytes: its lead is at most three back.
    for (size_t back = 1; back <= 3 && back <= length; ++back) {
        const auto byte = static_cast<unsigned char>(text[length - back]);
        const auto announced =
            static_cast<size_t>(static_cast<unsigned char>(utf8proc_utf8class[byte]));
        if (announced == 0 && byte < 0xC0)
            continue; // a continuation byte: its lead is further back
        return announced > back ? length - back : length;
    }
    return length;
}

size_t utf8_sequence_length(const unsigned char *text) {
    // The terminator is a character of its own; what follows it is not read.
    const size_t room = std::max<size_t>(strnlen(reinterpret_cast<const char *>(text), 4), 1);
    utf8proc_int32_t point = 0;
    const utf8proc_ssize_t length =
        utf8proc_iterate(text, static_cast<utf8proc_ssize_t>(room), &point);
    return length > 0 ? static_cast<size_t>(length) : 0;
}

} // namespace hxm2afp

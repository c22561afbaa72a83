/*
 * Names made visible (see visible_text.h).
 *
 * Notes: one 256-entry table classes each byte; runs of bytes that need
 * nothing are appended at once, so an ordinary name costs one scan and one
 * copy. Only the escaped code points are decoded, and only from valid
 * sequences: the validity rules are those of RFC 3629.
 */
#include "base/visible_text.h"

#include <stdint.h>
#include <string.h>

namespace hxm2afp {
namespace {

enum ByteClass : uint8_t {
    kPlain,     // printable ASCII: copied
    kEscaped,   // C0 controls, DEL, and bytes that never start a sequence
    kBackslash, // doubled
    kLead2,     // C2-DF
    kLead3,     // E0-EF
    kLead4      // F0-F4
};

constexpr struct ByteClasses {
    ByteClass of[256];
    constexpr ByteClasses() : of() {
        for (int byte = 0; byte < 256; ++byte) {
            of[byte] = byte >= 0x20 && byte < 0x7F    ? kPlain
                       : byte >= 0xC2 && byte <= 0xDF ? kLead2
                       : byte >= 0xE0 && byte <= 0xEF ? kLead3
                       : byte >= 0xF0 && byte <= 0xF4 ? kLead4
                                                      : kEscaped;
        }
        of['\\'] = kBackslash;
    }
} kClasses;

// The length of the valid sequence at `at` (at most `room` bytes there), or
// 0. The second byte's range is narrowed where RFC 3629 narrows it.
size_t sequence_length(const unsigned char *at, size_t room) {
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    switch (kClasses.of[at[0]]) {
    case kPlain:
    case kBackslash:
        return 1;
    case kEscaped:
        return at[0] < 0x80 ? 1 : 0; // a control is valid UTF-8
    case kLead2:
        length = 2;
        break;
    case kLead3:
        length = 3;
        low = at[0] == 0xE0 ? 0xA0 : 0x80;  // overlong
        high = at[0] == 0xED ? 0x9F : 0xBF; // surrogates
        break;
    case kLead4:
        length = 4;
        low = at[0] == 0xF0 ? 0x90 : 0x80;  // overlong
        high = at[0] == 0xF4 ? 0x8F : 0xBF; // past U+10FFFF
        break;
    }
    if (length > room || at[1] < low || at[1] > high)
        return 0;
    for (size_t i = 2; i < length; ++i) {
        if ((at[i] & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

uint32_t code_point(const unsigned char *at, size_t length) {
    constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t point = at[0] & kLeadBits[length];
    for (size_t i = 1; i < length; ++i)
        point = point << 6 | (at[i] & 0x3F);
    return point;
}

// Code points a terminal or a line reader acts on, as closed ranges.
constexpr struct {
    uint32_t first, last;
} kActingPoints[] = {
    {0x0080, 0x009F}, // C1 controls
    {0x061C, 0x061C}, // Arabic letter mark
    {0x200E, 0x200F}, // left-to-right and right-to-left marks
    {0x2028, 0x202E}, // line and paragraph separators; embeddings and overrides
    {0x2066, 0x2069}, // isolates
};

bool acts(uint32_t point) {
    for (const auto &range : kActingPoints) {
        if (point >= range.first && point <= range.last)
            return true;
    }
    return false;
}

void append_escape(std::string *out, const char *form, uint32_t value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    const size_t digits = form[1] == 'x' ? 2 : 4;
    out->append(form, 2);
    for (size_t i = digits; i-- > 0;)
        out->push_back(kDigits[(value >> (4 * i)) & 0xF]);
}

} // namespace

void append_visible_text(std::string *out, const char *text, size_t length) {
    const auto *at = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *end = at + length;
    while (at < end) {
        const unsigned char *run = at;
        while (at < end && kClasses.of[*at] == kPlain)
            ++at;
        out->append(reinterpret_cast<const char *>(run), static_cast<size_t>(at - run));
        if (at == end)
            break;
        const ByteClass kind = kClasses.of[*at];
        if (kind == kBackslash) {
            out->append("\\\\");
            ++at;
            continue;
        }
        const size_t sequence =
            kind == kEscaped ? 0 : sequence_length(at, static_cast<size_t>(end - at));
        if (sequence == 0) {
            append_escape(out, "\\x", *at++);
            continue;
        }
        const uint32_t point = code_point(at, sequence);
        if (acts(point))
            append_escape(out, "\\u", point);
        else
            out->append(reinterpret_cast<const char *>(at), sequence);
        at += sequence;
    }
}

std::string visible_text(const char *text) {
    std::string visible;
    if (text != nullptr)
        append_visible_text(&visible, text, strlen(text));
    return visible;
}

size_t utf8_sequence_length(const unsigned char *text) {
    return sequence_length(text, 4);
}

} // namespace hxm2afp

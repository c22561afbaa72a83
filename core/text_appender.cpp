/*
 * The text appender: bounded copies and integer conversions with
 * std::to_chars, which neither parses a format nor takes the locale.
 *
 * Notes: an escaper given the buffer's rest cuts its result, never an
 * entity, when the rest is too small; a result that leaves less than one
 * escaped byte's worst case unused may have been cut, so it counts as not
 * fitting.
 */
#include "core/text_appender.h"

#include <string.h>

#include <charconv>

#include "core/escape.h"
#include "core/format.h"

namespace hxm2afp {

namespace {

// The longest form one byte takes in any escaping context.
constexpr size_t kLongestEscape = HXM_ESCAPED_SIZE(1) - 1;

// Room for any 64-bit number in decimal, its sign included.
constexpr size_t kDigitsSize = 24;

} // namespace

void TextAppender::overflow() {
    overflowed_ = true;
    buffer_[used_] = '\0';
}

TextAppender &TextAppender::bytes(const char *text, size_t length) {
    if (overflowed_)
        return *this;
    if (length > room()) {
        overflow();
        return *this;
    }
    memcpy(buffer_ + used_, text, length);
    used_ += length;
    buffer_[used_] = '\0';
    return *this;
}

TextAppender &TextAppender::text(const char *text) {
    if (text == nullptr)
        text = "(null)";
    return bytes(text, strlen(text));
}

TextAppender &TextAppender::escaped(Escaper escaper, const char *text) {
    if (overflowed_)
        return *this;
    char *at = buffer_ + used_;
    const size_t rest = size_ - used_;
    const char *result = escaper(text, at, rest);
    if (result != at) // nothing to escape: the text itself (or "" for none)
        return this->text(result);
    const size_t length = strlen(at);
    if (length + kLongestEscape >= rest) {
        overflow();
        return *this;
    }
    used_ += length;
    return *this;
}

TextAppender &TextAppender::decimal(long long value) {
    char digits[kDigitsSize];
    const std::to_chars_result printed = std::to_chars(digits, digits + sizeof digits, value);
    return bytes(digits, static_cast<size_t>(printed.ptr - digits));
}

TextAppender &TextAppender::hex8(uint32_t value) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    char digits[8];
    for (size_t i = 0; i < sizeof digits; ++i)
        digits[i] = kHexDigits[(value >> (28 - 4 * i)) & 0xF];
    return bytes(digits, sizeof digits);
}

TextAppender &TextAppender::grouped(int64_t value) {
    char digits[kDigitsSize];
    const std::to_chars_result printed =
        std::to_chars(digits, digits + sizeof digits, static_cast<long long>(value));
    const size_t length = static_cast<size_t>(printed.ptr - digits);
    char out[kDigitsSize + kDigitsSize / 3 + 1];
    group_digits(digits, length, out);
    return text(out);
}

} // namespace hxm2afp

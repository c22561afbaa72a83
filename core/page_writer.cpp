/*
 * The page writer (see page_writer.h).
 *
 * Notes:
 * - The host copies a text given as exactly "%s" without a formatting pass,
 *   so each piece goes out as one such call. Appends write no terminator:
 *   the room always keeps a byte for the one c_str() writes.
 * - An escaped text gets room for its worst case when that is at hand and
 *   is then escaped in one pass; otherwise its escaped length is counted
 *   first, so a long name never makes the buffer grow for nothing.
 * - Integer conversions use std::to_chars, which neither parses a format
 *   nor takes the locale.
 */
#include "core/page_writer.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <charconv>

#include <zentra/hxm_host.h>

#include "core/format.h"

namespace hxm2afp {

namespace {

// The longest form one byte takes in any escaping context.
constexpr size_t kLongestEscape = HXM_ESCAPED_SIZE(1) - 1;

// Room for any 64-bit number in decimal, its sign included.
constexpr size_t kDigitsSize = 24;

} // namespace

PageWriter::PageWriter(void *request, size_t cap)
    : request_(request), cap_(cap < kStackSize ? kStackSize : cap), buffer_(stack_) {
    stack_[0] = '\0';
}

PageWriter::~PageWriter() {
    flush();
    if (buffer_ != stack_)
        free(buffer_);
}

void PageWriter::fail() {
    failed_ = true;
    used_ = 0;
    buffer_[0] = '\0';
}

bool PageWriter::grow(size_t needed) {
    size_t capacity = capacity_;
    while (capacity < needed && capacity <= cap_ / 2)
        capacity *= 2;
    if (capacity < needed && needed <= cap_)
        capacity = cap_; // the last step lands on the cap itself
    if (capacity < needed) {
        fail();
        return false;
    }
    char *grown =
        static_cast<char *>(buffer_ == stack_ ? malloc(capacity) : realloc(buffer_, capacity));
    if (grown == nullptr) {
        fail();
        return false;
    }
    if (buffer_ == stack_)
        memcpy(grown, stack_, used_);
    buffer_ = grown;
    capacity_ = capacity;
    return true;
}

bool PageWriter::make_room(size_t length) {
    if (failed_)
        return false;
    if (length <= room())
        return true;
    if (request_ != nullptr && used_ != 0 && !flush())
        return false;
    if (length <= room())
        return true;
    // Sizes past SIZE_MAX / 2 can only be a fault; the cap refuses them.
    if (length > cap_ || used_ + length + 1 > cap_) {
        fail();
        return false;
    }
    return grow(used_ + length + 1);
}

bool PageWriter::reserve(size_t length) {
    return make_room(length);
}

bool PageWriter::flush() {
    if (failed_)
        return false;
    if (request_ == nullptr || used_ == 0)
        return true;
    const int sent = HttpSendDataSprintf(request_, "%s", c_str());
    used_ = 0;
    ++sends_;
    buffer_[0] = '\0';
    if (sent != 0)
        fail();
    return !failed_;
}

PageWriter &PageWriter::bytes_after_room(const char *text, size_t length) {
    if (!make_room(length))
        return *this;
    memcpy(buffer_ + used_, text, length);
    used_ += length;
    return *this;
}

PageWriter &PageWriter::format(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vformat(format, args);
    va_end(args);
    return *this;
}

PageWriter &PageWriter::vformat(const char *format, va_list args) {
    if (failed_)
        return *this;
    va_list again;
    va_copy(again, args);
    int written = vsnprintf(buffer_ + used_, room() + 1, format, args);
    if (written >= 0 && static_cast<size_t>(written) > room()) {
        if (make_room(static_cast<size_t>(written)))
            written = vsnprintf(buffer_ + used_, room() + 1, format, again);
    }
    va_end(again);
    if (failed_)
        return *this;
    if (written < 0) {
        fail(); // a page with a hole in it must not pass as whole
        return *this;
    }
    used_ += static_cast<size_t>(written);
    return *this;
}

PageWriter &PageWriter::escaped(EscapeContext context, const char *text) {
    if (text == nullptr || failed_)
        return *this;
    const size_t length = strlen(text);
    const size_t needed = length <= room() / kLongestEscape ? length * kLongestEscape
                                                            : escaped_length(context, text, length);
    if (!make_room(needed))
        return *this;
    used_ = static_cast<size_t>(escape_into(context, text, length, buffer_ + used_) - buffer_);
    return *this;
}

PageWriter &PageWriter::decimal(long long value) {
    char digits[kDigitsSize];
    const std::to_chars_result printed = std::to_chars(digits, digits + sizeof digits, value);
    return bytes(digits, static_cast<size_t>(printed.ptr - digits));
}

PageWriter &PageWriter::hex8(uint32_t value) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    char digits[8];
    for (size_t i = 0; i < sizeof digits; ++i)
        digits[i] = kHexDigits[(value >> (28 - 4 * i)) & 0xF];
    return bytes(digits, sizeof digits);
}

PageWriter &PageWriter::grouped(int64_t value) {
    char digits[kDigitsSize];
    const std::to_chars_result printed =
        std::to_chars(digits, digits + sizeof digits, static_cast<long long>(value));
    const size_t length = static_cast<size_t>(printed.ptr - digits);
    char out[kDigitsSize + kDigitsSize / 3 + 1];
    return bytes(out, group_digits(digits, length, out));
}

} // namespace hxm2afp

/*
 * Number and date formatting: comma grouping of printed integers, and the
 * packed 16-bit date and time words (day, month, year since 1980; two-second
 * resolution time) turned into local calendar time.
 *
 * Notes:
 * - The caller's format is checked before it is used: it must hold exactly
 *   one integer conversion (d i o u x X c), and the value is passed with the
 *   width that conversion reads (hh, h and none: int; l: long; ll, L, q, j:
 *   long long; z, t: their types). Any other format prints the empty text,
 *   where passing a mismatched argument would read past it or crash.
 * - The record of the date conversion is cleared before it is filled, so
 *   fields the conversion does not set are never read uninitialised.
 */
#include "core/format.h"

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

enum class Width { Int, Long, LongLong, Size, PtrDiff, Invalid };

// The argument width that the one integer conversion of `format` reads, or
// Invalid when the format does not hold exactly one.
Width conversion_width(const char *format) {
    Width found = Width::Invalid;
    int conversions = 0;
    for (const char *p = format; *p != '\0'; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        while (*p != '\0' && strchr("-+ #0'I", *p) != nullptr)
            ++p;
        while (*p >= '0' && *p <= '9')
            ++p;
        if (*p == '.') {
            ++p;
            while (*p >= '0' && *p <= '9')
                ++p;
        }
        Width width = Width::Int;
        if (p[0] == 'h') {
            p += p[1] == 'h' ? 2 : 1;
        } else if (p[0] == 'l' && p[1] == 'l') {
            width = Width::LongLong;
            p += 2;
        } else if (p[0] == 'l') {
            width = Width::Long;
            ++p;
        } else if (p[0] == 'L' || p[0] == 'q' || p[0] == 'j') {
            width = Width::LongLong;
            ++p;
        } else if (p[0] == 'z') {
            width = Width::Size;
            ++p;
        } else if (p[0] == 't') {
            width = Width::PtrDiff;
            ++p;
        }
        if (*p == '\0' || strchr("diouxXc", *p) == nullptr)
            return Width::Invalid;
        found = width;
        ++conversions;
    }
    return conversions == 1 ? found : Width::Invalid;
}

// Prints `value` as `format` reads it; the length printed (as snprintf), or
// -1 for a format that is not one integer conversion.
int print_value(char *out, size_t size, const char *format, long long value) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    switch (conversion_width(format)) {
    case Width::Int:
        return snprintf(out, size, format, static_cast<int>(value));
    case Width::Long:
        return snprintf(out, size, format, static_cast<long>(value));
    case Width::LongLong:
        return snprintf(out, size, format, value);
    case Width::Size:
        return snprintf(out, size, format, static_cast<size_t>(value));
    case Width::PtrDiff:
        return snprintf(out, size, format, static_cast<ptrdiff_t>(value));
    case Width::Invalid:
        break;
    }
#pragma GCC diagnostic pop
    return -1;
}

void format_with_commas(long long value, char *out, const char *format) {
    if (out == nullptr)
        return;
    out[0] = '\0';
    if (format == nullptr)
        return;
    constexpr size_t kLocalSize = 128;
    char local[kLocalSize];
    int length = print_value(local, sizeof local, format, value);
    if (length < 0)
        return;
    char *text = local;
    if (static_cast<size_t>(length) >= sizeof local) {
        // A long surrounding text: print it again in full.
        text = static_cast<char *>(malloc(static_cast<size_t>(length) + 1));
        if (text == nullptr)
            return;
        print_value(text, static_cast<size_t>(length) + 1, format, value);
    }
    hxm2afp::group_digits(text, static_cast<size_t>(length), out);
    if (text != local)
        free(text);
}

} // namespace

size_t hxm2afp::group_digits(const char *text, size_t length, char *out) {
    // Built back to front, then reversed: one pass, no shifting.
    size_t written = 0;
    int digits = 0;
    for (size_t i = length; i-- > 0;) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            if (++digits == 4) {
                out[written++] = ',';
                digits = 1;
            }
        } else {
            digits = 0;
        }
        out[written++] = c;
    }
    for (size_t i = 0; i < written / 2; ++i) {
        char c = out[i];
        out[i] = out[written - 1 - i];
        out[written - 1 - i] = c;
    }
    out[written] = '\0';
    return written;
}

void CreateStringWithCommas(int32_t value, char *out, const char *format) {
    format_with_commas(value, out, format);
}

void CreateLargeNumberStringWithCommas(int64_t value, char *out, const char *format) {
    format_with_commas(value, out, format);
}

time_t ConvertDalmoraDataAndTimeToLinux(unsigned int date, unsigned int time, struct tm *tm) {
    struct tm own;
    if (tm == nullptr)
        tm = &own;
    *tm = {};
    tm->tm_sec = static_cast<int>(time & 0x1F) * 2;
    tm->tm_min = static_cast<int>((time >> 5) & 0x3F);
    tm->tm_hour = static_cast<int>((time >> 11) & 0x1F);
    tm->tm_mday = static_cast<int>(date & 0x1F);
    tm->tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
    tm->tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
    tm->tm_isdst = -1;
    return mktime(tm);
}

char *DalmoraDataAndTimeToTimeBuffer(uint32_t stamp, char *out) {
    if (out == nullptr)
        return nullptr;
    struct tm record;
    ConvertDalmoraDataAndTimeToLinux(stamp >> 16, stamp & 0xFFFF, &record);
    out[0] = '\0';
    return asctime_r(&record, out);
}

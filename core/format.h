/*
 * Number and date formatting, exported under plain names: digit grouping
 * with commas, and the packed 16-bit date and time words (FAT layout).
 */
#ifndef HXM_CORE_FORMAT_H
#define HXM_CORE_FORMAT_H

#include <stdint.h>
#include <time.h>

#include <stddef.h>

#include "base/export.h"

extern "C" {

/* Prints `value` with `format` (one integer conversion) into `out`, then
 * groups every run of digits in threes with commas. `out` must hold the text
 * plus one comma per complete group. */
HXM_EXPORT void CreateStringWithCommas(int32_t value, char *out, const char *format);
HXM_EXPORT void CreateLargeNumberStringWithCommas(int64_t value, char *out, const char *format);

/* Fills *tm from the packed date and time words (low 16 bits each) and
 * returns mktime of it; *tm holds the normalised local time afterwards. */
HXM_EXPORT time_t ConvertDalmoraDataAndTimeToLinux(unsigned int date, unsigned int time,
                                                   struct tm *tm);

/* Writes the packed stamp (date word high, time word low) as local time in
 * asctime_r form into `out` (26 bytes); returns what asctime_r returns. */
HXM_EXPORT char *DalmoraDataAndTimeToTimeBuffer(uint32_t stamp, char *out);
}

namespace hxm2afp {

/* Groups every run of digits of `text` (length `length`) in threes from its
 * right end into `out`, which holds length + length / 3 + 1 bytes; the
 * grouping of the functions above. Returns the length written before the
 * terminator. */
size_t group_digits(const char *text, size_t length, char *out);

} // namespace hxm2afp

#endif

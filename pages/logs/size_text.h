/*
 * Size texts of the log table: a byte count in KB, MB, GB or TB (powers of
 * 1024), fractions truncated to hundredths.
 */
#ifndef HXM_PAGES_LOGS_SIZE_TEXT_H
#define HXM_PAGES_LOGS_SIZE_TEXT_H

#include <stdint.h>

#include "base/export.h"

/* Room for the longest size text ("16777215.99 TB"), terminator included. */
inline constexpr int kSizeTextSize = 16;

/* Writes the size of `count` blocks of `blockSize` bytes into `out` (at
 * least kSizeTextSize bytes): "N KB" below 1 MiB, then "N.FF MB", "N.FF GB"
 * and "N.FF TB" with truncated hundredths (".FF" left out when they are 0).
 * Returns the number of characters written. */
extern "C" HXM_EXPORT int convert_blocks_to_string(uint32_t count, uint32_t blockSize, char *out);

namespace hxm2afp {

/* The same text for a byte count of any size (a file of 4 GiB or more). */
int format_byte_size(uint64_t bytes, char *out);

} // namespace hxm2afp

#endif

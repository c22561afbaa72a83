/*
 * convert_blocks_to_string and the 64-bit formatter behind it.
 *
 * Notes: every fraction is truncated, never rounded, so a size never reads
 * larger than it is. The exported form takes a 32-bit block count and block
 * size; the log table hands the true 64-bit byte count to format_byte_size, so
 * a file of 4 GiB or more shows its real size rather than a wrapped one.
 */
#include "pages/logs/size_text.h"

#include <stdio.h>

namespace {

/* Writes "<whole> <unit>" or "<whole>.<hundredths> <unit>". */
int write_unit(char *out, uint64_t whole, uint64_t hundredths, const char *unit) {
    int written;
    if (hundredths != 0)
        written =
            snprintf(out, kSizeTextSize, "%llu.%02llu %s", static_cast<unsigned long long>(whole),
                     static_cast<unsigned long long>(hundredths), unit);
    else
        written =
            snprintf(out, kSizeTextSize, "%llu %s", static_cast<unsigned long long>(whole), unit);
    return written < 0 ? 0 : written;
}

} // namespace

namespace hxm2afp {

int format_byte_size(uint64_t bytes, char *out) {
    if ((bytes >> 10) <= 1023) {
        int written =
            snprintf(out, kSizeTextSize, "%llu KB", static_cast<unsigned long long>(bytes >> 10));
        return written < 0 ? 0 : written;
    }
    if ((bytes >> 20) <= 1023) {
        uint64_t whole = bytes >> 20;
        // The remainder is below 2^20, so the product cannot overflow.
        return write_unit(out, whole, ((bytes - (whole << 20)) * 100) >> 20, "MB");
    }
    if ((bytes >> 30) <= 1023) {
        uint64_t whole = bytes >> 30;
        return write_unit(out, whole, ((bytes - (whole << 30)) * 100) >> 30, "GB");
    }
    // Terabytes: hundredths of the whole GiB count; a part GiB is dropped.
    uint64_t gibibytes = bytes >> 30;
    uint64_t whole = gibibytes >> 10;
    return write_unit(out, whole, ((gibibytes - (whole << 10)) * 100) >> 10, "TB");
}

} // namespace hxm2afp

int convert_blocks_to_string(uint32_t count, uint32_t blockSize, char *out) {
    if (out == nullptr)
        return 0;
    return hxm2afp::format_byte_size(static_cast<uint64_t>(count) * blockSize, out);
}

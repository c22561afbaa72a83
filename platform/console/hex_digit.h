/*
 * The value of one hexadecimal digit, for the decoders of percent-encoded
 * paths and form values. Internal to libhxm.
 */
#ifndef HXM_PLATFORM_CONSOLE_HEX_DIGIT_H
#define HXM_PLATFORM_CONSOLE_HEX_DIGIT_H

namespace hxm_console {

// The value (0 to 15) of a hexadecimal digit in either case, or -1 for any
// other character.
inline int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace hxm_console

#endif

/*
 * The access flag bits the areas test, named once. The host maps a user to
 * the flag word; each area's service method checks it before anything else.
 */
#ifndef HXM_PAGES_COMMON_ACCESS_H
#define HXM_PAGES_COMMON_ACCESS_H

#include "core/page_globals.h"

namespace hxm2afp {

/* A caller of the connections and open-file areas needs one of these... */
constexpr unsigned int kAccessAnyOfBits = 0x1u | 0x2u | 0x10000000u;
/* ...and this one. */
constexpr unsigned int kAccessRequiredBit = 0x8u;
/* Set: the caller may not clear connections (unless AllowClearConn is 1). */
constexpr unsigned int kAccessNoClearingBit = 0x400u;
/* The log area answers nothing to a caller with one of these... */
constexpr unsigned int kAccessLogsDeclineBits = 0x80000000u | 0x40000000u;
/* ...and needs both of these. */
constexpr unsigned int kAccessLogsRequiredBits = 0x1u | kAccessRequiredBit;

/* Whether the flag word opens the connections and open-file areas. */
inline bool may_enter_area(unsigned int accessFlags) {
    return (accessFlags & kAccessAnyOfBits) != 0 && (accessFlags & kAccessRequiredBit) != 0;
}

/* Whether the flag word carries the power to clear connections. */
inline bool has_clearing_power(unsigned int accessFlags) {
    return (accessFlags & kAccessNoClearingBit) == 0 || AllowClearConn == 1;
}

} // namespace hxm2afp

#endif

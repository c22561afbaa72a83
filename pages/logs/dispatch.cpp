/*
 * afpLogsMethod: the log area's entry. For now it only guards access; every
 * permitted request gets the "Bad Http request" page until the log list page
 * is in.
 */
#include "pages/logs/dispatch.h"

#include "core/error_page.h"
#include "core/host/hxm_host.h"

#include <type_traits>

namespace {

/* Callers with any of these bits do not see the log pages at all. */
constexpr unsigned int kDeclineFlags = 0x80000000u | 0x40000000u;
/* Both must be set. */
constexpr unsigned int kRequiredFlags = 0x1u | 0x8u;

} // namespace

// The host stores it as an HxmServiceMethod.
static_assert(std::is_same_v<decltype(&afpLogsMethod), HxmServiceMethod>);

int afpLogsMethod(void *request, unsigned int, unsigned int, unsigned int accessFlags) {
    if ((accessFlags & kDeclineFlags) != 0)
        return 0;
    if ((accessFlags & kRequiredFlags) != kRequiredFlags)
        return generate_error_page(request, HXM_ERROR_ACCESS_DENIED);
    return generate_error_page(request, HXM_ERROR_BAD_REQUEST);
}

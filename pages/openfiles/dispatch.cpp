/*
 * afpofmMethod: the open-file area's entry. For now it only guards access;
 * every permitted request gets the "Bad Http request" page until the
 * open-file pages are in.
 */
#include "pages/openfiles/dispatch.h"

#include "core/error_page.h"
#include "core/host/hxm_host.h"

#include <type_traits>

namespace {

/* At least one of these must be set, and kRequiredFlag too. */
constexpr unsigned int kAnyOfFlags = 0x1u | 0x2u | 0x10000000u;
constexpr unsigned int kRequiredFlag = 0x8u;

} // namespace

// The host stores it as an HxmServiceMethod.
static_assert(std::is_same_v<decltype(&afpofmMethod), HxmServiceMethod>);

int afpofmMethod(void *request, unsigned int, unsigned int, unsigned int accessFlags) {
    if ((accessFlags & kAnyOfFlags) == 0 || (accessFlags & kRequiredFlag) == 0)
        return generate_error_page(request, HXM_ERROR_ACCESS_DENIED);
    return generate_error_page(request, HXM_ERROR_BAD_REQUEST);
}

/*
 * The areas' help wrappers: each picks its area's help page from the path
 * component that follows the help token, or answers "Bad Http request".
 */
#include "pages/help/help.h"

#include "core/error_page.h"
#include "core/localisation.h"
#include "core/page_globals.h"
#include "pages/common/component_path.h"

namespace {

/* No component after the help token (or an empty one). */
bool no_component(int count, const char *component) {
    return count == 0 || component == nullptr || component[0] == '\0';
}

/* Whether the component equals `keyword` or a leading part of it, ignoring
 * case. A component longer than the keyword never matches. */
bool names_keyword(const char *keyword, const char *component, int length) {
    return length >= 0 &&
           hxm2afp::is_leading_part_of(keyword, component, static_cast<size_t>(length));
}

} // namespace

int generate_connections_help(void *request, int count, char *component, int length) {
    if (no_component(count, component))
        return generate_afp_help_page(request, HXM_HELP_CONNECTIONS, lnxMSG("AFP Connections"));
    if (names_keyword(keyword_info, component, length))
        return generate_afp_help_page(request, HXM_HELP_CONNECTION_INFORMATION,
                                      lnxMSG("AFP Connection Information"));
    return generate_error_page(request, HXM_ERROR_BAD_REQUEST);
}

int generate_afp_ofm_help(void *request, int count, char *component, int length) {
    if (no_component(count, component))
        return generate_afp_help_page(request, HXM_HELP_OPEN_FILES,
                                      lnxMSG("AFP Open File Management"));
    if (names_keyword(keyword_help, component, length))
        return generate_afp_help_page(request, HXM_HELP_OPEN_FILE_INFORMATION,
                                      lnxMSG("AFP Open File Information"));
    return generate_error_page(request, HXM_ERROR_BAD_REQUEST);
}

int generate_showlogs_help(void *request, int, char *, int) {
    return generate_afp_help_page(request, HXM_HELP_LOGS, lnxMSG("AFP System Logs"));
}

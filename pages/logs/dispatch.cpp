/*
 * afpLogsMethod: the log area's entry. Checks the caller's access flags and
 * the request, then answers with the log list page, the log help page or
 * the error page.
 *
 * Paths: "/afplogs" followed by nothing or by anything but "/" is the list;
 * "/afplogs/" followed by any leading part of "help" (any case, even an
 * empty one) and anything after it is the help; every other path is
 * "Bad Http request".
 */
#include "pages/logs/dispatch.h"

#include <string.h>

#include <type_traits>

#include <zentra/hxm_host.h>

#include "core/error_page.h"
#include "core/page_globals.h"
#include "logger/log_text.h"
#include "logger/logger.h"
#include "pages/common/access.h"
#include "pages/common/request.h"
#include "pages/help/help.h"
#include "pages/logs/log_list_page.h"

// The host stores it as an HxmServiceMethod.
static_assert(std::is_same_v<decltype(&afpLogsMethod), HxmServiceMethod>);

int afpLogsMethod(void *request, unsigned int, unsigned int, unsigned int accessFlags) {
    if ((accessFlags & hxm2afp::kAccessLogsDeclineBits) != 0)
        return 0;
    if ((accessFlags & hxm2afp::kAccessLogsRequiredBits) != hxm2afp::kAccessLogsRequiredBits)
        return generate_error_page(request, HXM_ERROR_ACCESS_DENIED);

    hxm2afp::Request front;
    front.accessFlags = accessFlags;
    const int methodError = hxm2afp::read_method(request, &front);
    if (methodError != 0)
        return generate_error_page(request, methodError);

    char *path = hxm2afp::read_host_path(request);
    if (path == nullptr || path[0] == '\0')
        return generate_error_page(request, HXM_ERROR_BAD_REQUEST);

    hxm2afp::read_body(request, &front, false);
    HXM_DEBUG("URL = %s", hxm2afp::LogText(path).c_str());
    if (front.method == HXM_METHOD_FORM_POST) {
        if (Logger *logger = hxm_log)
            logger->dump("%s", hxm2afp::LogText(front.body, front.bodyLength).c_str());
    }

    // The host routes by prefix, but a path shorter than "/afplogs" is
    // refused rather than read past its end.
    const size_t skip = strlen(keyword_afpdlogs) + 1;
    if (strlen(path) < skip)
        return generate_error_page(request, HXM_ERROR_BAD_REQUEST);
    if (path[skip] != '/')
        return generate_main_showlogs_page(request);

    // The first component names the help page when it is a leading part of
    // the help token; a longer one ("helpme") is not.
    hxm2afp::ComponentPath components;
    components.afterKeyword = path + skip;
    if (hxm2afp::convert_component_path(&components) != 0 || !components.help)
        return generate_error_page(request, HXM_ERROR_BAD_REQUEST);
    const hxm2afp::Component topic = components.helpTopic;
    return generate_showlogs_help(request, components.helpCount, topic.text(),
                                  static_cast<int>(topic.length()));
}

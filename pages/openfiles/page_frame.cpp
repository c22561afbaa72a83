/*
 * The frame of the open-file pages (see page_frame.h).
 */
#include "pages/openfiles/page_frame.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "core/escape.h"
#include "core/host/hxm_host.h"
#include "core/localisation.h"
#include "core/page_globals.h"
#include "pages/openfiles/script.h"

namespace hxm2afp {
namespace {

constexpr int kHtmlDescriptor = 5;
constexpr size_t kTitleSize = 1024;
constexpr size_t kHelpUrlSize = 64;

} // namespace

int BeginOpenFilePage(void *request, const char *title) {
    if (HttpSendSuccessfulResponse(request, HttpReturnString(kHtmlDescriptor)) != 0) {
        HttpSendErrorResponse(request, 500);
        return 500;
    }
    char heading[kTitleSize];
    snprintf(heading, sizeof heading, "%s", title);
    char helpUrl[kHelpUrlSize];
    snprintf(helpUrl, sizeof helpUrl, "/%s/%s", keyword_afpofm, keyword_help);
    BuildAndSendHeader(request, heading, heading, 0, 0, 4, AddJavaScriptOFMCode,
                       lnxMSG("AFP Volume List"), helpUrl);
    return 0;
}

int EndOpenFilePage(void *request) {
    HttpEndDataResponse(request);
    return 200;
}

} // namespace hxm2afp

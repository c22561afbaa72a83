/*
 * The page frame (see page_frame.h).
 */
#include "core/page_frame.h"

#include "core/page_writer.h"
#include "core/redirect.h"

namespace hxm2afp {
namespace {

// BuildAndSendHeader's option word asking for the script writer's block.
constexpr unsigned int kWithScript = 4;

} // namespace

bool open_page_response(void *request) {
    return open_page_status(request);
}

void send_page_frame(void *request, const PageFrame &frame) {
    BuildAndSendHeader(request, frame.title, frame.title, 0, 0,
                       frame.script != nullptr ? kWithScript : 0, frame.script, frame.caption,
                       frame.helpUrl);
}

int begin_page(void *request, const PageFrame &frame) {
    if (!open_page_response(request)) {
        HttpSendErrorResponse(request, 500);
        return 500;
    }
    send_page_frame(request, frame);
    return 0;
}

int end_page(void *request) {
    HttpEndDataResponse(request);
    return 200;
}

int end_page(PageWriter &out) {
    if (!out.finish()) {
        HttpSendErrorResponse(out.request(), 500);
        return 500;
    }
    return end_page(out.request());
}

} // namespace hxm2afp

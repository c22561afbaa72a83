/*
 * The request record's readers (see request.h).
 */
#include "pages/common/request.h"

#include "core/error_page.h"
#include "core/host/hxm_host.h"
#include "core/post_body.h"

namespace hxm2afp {

int read_method(void *request, Request *record) {
    if (HttpReturnRequestMethod(request, &record->method) == 0)
        return HXM_ERROR_MISSING_DATA;
    if (record->method != HXM_METHOD_GET && record->method != HXM_METHOD_FORM_POST)
        return HXM_ERROR_BAD_REQUEST;
    return 0;
}

void read_body(void *request, Request *record, bool decode) {
    if (record->method != HXM_METHOD_FORM_POST)
        return;
    char *buffer = nullptr;
    unsigned long length = 0;
    if (HttpReturnPostDataBuffer(request, &buffer, &length) != 0 || buffer == nullptr)
        return;
    buffer[length] = '\0';
    record->body = buffer;
    record->bodyLength = length;
    if (decode) {
        char *decoded = nullptr;
        decodePostDataString(buffer, length, &decoded);
        record->decoded.reset(decoded);
    }
}

} // namespace hxm2afp

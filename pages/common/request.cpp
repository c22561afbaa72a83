/*
 * The request record's readers (see request.h).
 */
#include "pages/common/request.h"

#include <string.h>

#include <zentra/hxm_host.h>

#include "core/error_page.h"
#include "core/post_body.h"
#include "core/redirect.h"
#include "pages/common/access.h"

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

namespace {

bool takes(const AreaCommand &row, const ComponentPath &path) {
    switch (row.match) {
    case CommandMatch::kBeginsWith:
        return path.count != 0 && path.first.begins_with(row.command);
    case CommandMatch::kEquals:
        return path.count != 0 && path.first.equals(row.command);
    case CommandMatch::kComponent:
        return path.count != 0;
    case CommandMatch::kAnything:
        break;
    }
    return true;
}

} // namespace

const AreaCommand &command_for(const ComponentPath &path, const AreaFront &area) {
    for (size_t i = 0; i + 1 < area.commandCount; ++i) {
        if (takes(area.commands[i], path))
            return area.commands[i];
    }
    return area.commands[area.commandCount - 1];
}

namespace {

// Collects what `token` carries into the record: the report for its one
// showing, and for a request without a body the form fields as its body.
void collect_carried(uint64_t token, Request *record) {
    char fields[kCarriedFieldsBytes];
    ActionReport report;
    bool first = false;
    if (!collect_outcome(token, &report, sizeof report, fields, sizeof fields, &first))
        return;
    if (first) {
        static_cast<ActionReport &>(record->carriedOutcome) = report;
        record->carried = true;
    }
    if (record->body != nullptr || fields[0] == '\0')
        return;
    record->carriedFields = copy_text(fields);
    if (!record->carriedFields)
        return;
    record->body = record->carriedFields.get();
    record->bodyLength = strlen(record->body);
    char *decoded = nullptr;
    decodePostDataString(record->body, record->bodyLength, &decoded);
    record->decoded.reset(decoded);
}

} // namespace

int open_request(void *request, unsigned int accessFlags, const AreaFront &area, Request *record) {
    if (!may_enter_area(accessFlags))
        return generate_error_page(request, HXM_ERROR_ACCESS_DENIED);
    record->accessFlags = accessFlags;
    record->actor.take(request);
    record->clearingPower = has_clearing_power(accessFlags);
    uint64_t token = 0;
    char *path = nullptr;
    if (HttpReturnPathBuffers(request, nullptr, &path, nullptr) == 0)
        cut_carried_token(path, &token);
    const int pathStatus = area.read_path(request, &record->path, nullptr);
    if (pathStatus != 0)
        return generate_error_page(request, pathStatus);
    if (record->path.help) {
        const int helpStatus = area.send_help(request, record->path);
        return helpStatus == 200 ? 200 : generate_error_page(request, helpStatus);
    }
    // Hiding the tick boxes is not enough: an operator can still type the URL.
    if (!record->clearingPower && command_for(record->path, area).clears)
        return generate_error_page(request, HXM_ERROR_ACCESS_DENIED);
    const int methodError = read_method(request, record);
    if (methodError != 0)
        return generate_error_page(request, methodError);
    read_body(request, record, true);
    if (token != 0)
        collect_carried(token, record);
    return 0;
}

int answer_request(void *request, unsigned int accessFlags, const AreaFront &area) {
    Request front;
    const int answered = open_request(request, accessFlags, area, &front);
    if (answered != 0)
        return answered;
    return command_for(front.path, area).answer(request, front);
}

} // namespace hxm2afp

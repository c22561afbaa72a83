/*
 * One request, in-process: decode and route the path, run the registered
 * service method on a fresh request object, and turn what it answered into a
 * Response. The HTTP server and the tests both come through here.
 */
#include <strings.h>

#include <string>

#include "platform/console/hxm_console.h"
#include "platform/console/page_frame.h"
#include "platform/console/registry.h"
#include "platform/console/request_state.h"

namespace {

using hxm_console::RequestState;
using hxm_console::ResponsePhase;

constexpr char kFormContentType[] = "application/x-www-form-urlencoded";

// The method code a service method sees (HXM_METHOD_*). A POST is a form post
// when its media type, parameters such as charset aside, is the form type.
// HEAD is a method the pages do not serve: a page answering GET may act on
// its path, and a HEAD (a link checker, a prefetch) must never act.
int MethodCode(const std::string &method, const std::string &contentType) {
    if (method == "GET")
        return HXM_METHOD_GET;
    if (method != "POST")
        return HXM_METHOD_OTHER;
    std::string::size_type start = contentType.find_first_not_of(" \t");
    if (start == std::string::npos)
        return HXM_METHOD_OTHER_POST;
    std::string::size_type end = contentType.find(';', start);
    if (end == std::string::npos)
        end = contentType.size();
    while (end > start && (contentType[end - 1] == ' ' || contentType[end - 1] == '\t'))
        --end;
    bool isForm = end - start == sizeof kFormContentType - 1 &&
                  strncasecmp(contentType.data() + start, kFormContentType, end - start) == 0;
    return isForm ? HXM_METHOD_FORM_POST : HXM_METHOD_OTHER_POST;
}

hxm::Response ConsoleError(int status, int methodResult) {
    hxm::Response response;
    response.status = status;
    response.contentType = hxm_console::kHtmlDescriptor;
    response.body = hxm_console::ErrorPage(status);
    response.methodResult = methodResult;
    return response;
}

// What the method answered. A method that declined (0) without starting an
// answer gets 404; one that claims an answer (non-zero) but never started or
// finished one, or whose body failed, gets 500. A method that wrote a whole
// page and still returned 0 keeps its page: some pages report success so.
hxm::Response Collect(RequestState &state, int methodResult) {
    bool answered = state.phase == ResponsePhase::kOpen || state.phase == ResponsePhase::kClosed;
    if (!answered)
        return ConsoleError(methodResult == 0 ? 404 : 500, methodResult);
    if (state.body.failed())
        return ConsoleError(500, methodResult);
    hxm::Response response;
    response.status = state.status;
    response.contentType = std::move(state.contentType);
    response.headers = std::move(state.headers);
    response.body = state.body.Release(); // the page's bytes, not a copy of them
    response.methodResult = methodResult;
    return response;
}

} // namespace

namespace hxm {

Response HandleRequest(const Request &request) {
    try {
        std::string decoded;
        if (!DecodePath(request.target.substr(0, request.target.find('?')), &decoded) ||
            decoded.empty() || decoded[0] != '/')
            return ConsoleError(400, 0);
        HxmServiceMethod method = hxm_console::FindServiceMethod(decoded);
        if (method == nullptr)
            return ConsoleError(404, 0);

        RequestState state(request.bodyLimit);
        state.methodCode = MethodCode(request.method, request.contentType);
        state.path.assign(decoded.begin(), decoded.end());
        state.path.push_back('\0');
        state.post.assign(request.body.begin(), request.body.end());
        state.post.push_back('\0');
        state.accessFlags = request.accessFlags;
        state.user = request.user;
        state.failures = request.failures;

        int result = method(&state, 0, 0, request.accessFlags);
        return Collect(state, result);
    } catch (...) {
        // Out of memory, or a plug-in written in C++ let an exception out:
        // the request fails, the console goes on.
        return ConsoleError(500, 0);
    }
}

} // namespace hxm

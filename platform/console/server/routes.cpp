/*
 * The route table: each row says which requests it takes, which methods it
 * allows and what answers them. The last row takes everything else and
 * hands it to the plug-ins through the console library.
 */
#include "platform/console/server/routes.h"

#include <exception>

#include "platform/console/hxm_console.h"

namespace hxm_server {
namespace {

constexpr char kImagePrefix[] = "/opt/zentra/hxm/";
// Where browsers ask for a site's icon on every page.
constexpr char kIconPath[] = "/favicon.ico";

// The log area's access rule, which its "?VIEW" links must keep: a flag
// word with one of the first bits is not answered at all (404, as when the
// area declines), one without both of the second is refused.
constexpr unsigned int kLogAreaDeclineBits = 0x80000000u | 0x40000000u;
constexpr unsigned int kLogAreaRequiredBits = 0x1u | 0x8u;

// The target split at its first '?'; an absolute-form target
// ("http://host/path") loses its scheme and host first.
struct Target {
    std::string origin; // "/path?query", what the console library takes
    std::string path;   // still percent-encoded
    std::string query;
    bool hasQuery = false;
};

Target SplitTarget(const std::string &raw) {
    Target target;
    target.origin = raw;
    size_t scheme = raw.find("://");
    if (raw.compare(0, 1, "/") != 0 && scheme != std::string::npos) {
        size_t slash = raw.find('/', scheme + 3);
        target.origin = slash == std::string::npos ? "/" : raw.substr(slash);
    }
    size_t question = target.origin.find('?');
    target.path = target.origin.substr(0, question);
    if (question != std::string::npos) {
        target.hasQuery = true;
        target.query = target.origin.substr(question + 1);
    }
    return target;
}

bool IsReadMethod(const std::string &method) {
    return method == "GET" || method == "HEAD";
}

bool MatchesHome(const Target &target) {
    return target.path == "/";
}

bool MatchesImage(const Target &target) {
    return target.path.compare(0, sizeof kImagePrefix - 1, kImagePrefix) == 0;
}

bool MatchesIcon(const Target &target) {
    return target.path == kIconPath;
}

bool MatchesLogView(const Target &target) {
    return target.hasQuery && target.query == "VIEW";
}

bool MatchesAny(const Target &) {
    return true;
}

Reply AnswerHome(RouteRequest &, const Target &, const FileLocations &) {
    return Reply(200, "text/html; charset=utf-8", hxm::RenderHome());
}

Reply AnswerImage(RouteRequest &, const Target &target, const FileLocations &locations) {
    std::string name;
    if (!hxm::DecodePath(target.path.substr(sizeof kImagePrefix - 1), &name))
        return StatusReply(400);
    return ServeImage(locations, name);
}

Reply AnswerIcon(RouteRequest &, const Target &, const FileLocations &locations) {
    return ServeImage(locations, kIconPath + 1);
}

Reply AnswerLogView(RouteRequest &request, const Target &target, const FileLocations &locations) {
    if ((request.accessFlags & kLogAreaDeclineBits) != 0)
        return StatusReply(404);
    if ((request.accessFlags & kLogAreaRequiredBits) != kLogAreaRequiredBits)
        return StatusReply(403);
    std::string path;
    if (!hxm::DecodePath(target.path, &path))
        return StatusReply(400);
    return ServeLogFile(locations, path);
}

Reply AnswerPlugin(RouteRequest &request, const Target &target, const FileLocations &) {
    hxm::Request forward;
    forward.method = request.method;
    forward.target = target.origin;
    forward.contentType = request.contentType;
    forward.body = std::move(request.body);
    forward.accessFlags = request.accessFlags;
    forward.user = request.user;
    hxm::Response response = hxm::HandleRequest(forward);
    if (response.status < 100 || response.status > 599)
        return StatusReply(500);
    Reply reply(response.status, std::move(response.contentType), std::move(response.body));
    reply.headers = std::move(response.headers);
    return reply;
}

enum class Methods { kRead, kReadAndPost, kAny };

struct Route {
    bool (*matches)(const Target &);
    Methods methods;
    Reply (*answer)(RouteRequest &, const Target &, const FileLocations &);
};

// The error page's OK button posts to "/", so the home takes POST too.
constexpr Route kRoutes[] = {
    {MatchesHome, Methods::kReadAndPost, AnswerHome},
    {MatchesImage, Methods::kRead, AnswerImage},
    {MatchesIcon, Methods::kRead, AnswerIcon},
    {MatchesLogView, Methods::kRead, AnswerLogView},
    {MatchesAny, Methods::kAny, AnswerPlugin},
};

bool Allows(Methods methods, const std::string &method) {
    switch (methods) {
    case Methods::kRead:
        return IsReadMethod(method);
    case Methods::kReadAndPost:
        return IsReadMethod(method) || method == "POST";
    case Methods::kAny:
        return true;
    }
    return false;
}

Reply MethodNotAllowed(Methods methods) {
    Reply reply = StatusReply(405);
    reply.headers.emplace_back("Allow",
                               methods == Methods::kReadAndPost ? "GET, HEAD, POST" : "GET, HEAD");
    return reply;
}

} // namespace

Reply Route(RouteRequest request, const FileLocations &locations) {
    try {
        Target target = SplitTarget(request.target);
        if (target.path.empty() || target.path[0] != '/')
            return StatusReply(400);
        for (const auto &route : kRoutes) {
            if (!route.matches(target))
                continue;
            if (!Allows(route.methods, request.method))
                return MethodNotAllowed(route.methods);
            return route.answer(request, target, locations);
        }
    } catch (const std::exception &) {
        // Out of memory while building a page: the client gets a clean 500.
    }
    return StatusReply(500);
}

} // namespace hxm_server

/*
 * The console's routes: which part of the console answers a request.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_ROUTES_H
#define HXM_PLATFORM_CONSOLE_SERVER_ROUTES_H

#include <string>

#include "platform/console/server/reply.h"
#include "platform/console/server/static_files.h"

namespace hxm_server {

// One authenticated request, complete with its body.
struct RouteRequest {
    std::string method;      // as sent
    std::string target;      // as sent: "/path?query", or absolute-form
    std::string contentType; // of the body, may be empty
    std::string body;
    unsigned int accessFlags = 0;
    std::string user; // empty without a users file
};

// Answers the request:
//   "/"                     the console home (GET, HEAD, POST)
//   "/opt/zentra/hxm/NAME"  the console's images (GET, HEAD)
//   "PATH?VIEW"             a file of the log directory (GET, HEAD), to a
//                           flag word the log area would answer
//   anything else           the plug-in registered for the path's keyword
// Never throws.
Reply Route(RouteRequest request, const FileLocations &locations);

} // namespace hxm_server

#endif

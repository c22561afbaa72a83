/*
 * The console's own C++ side of libhxm.so: run one request in-process, read
 * the registry, render the console home. The HTTP server (hxm-console) and
 * the unit tests both go through this, so a test sees exactly what a browser
 * would get, minus the socket.
 */
#ifndef HXM_PLATFORM_CONSOLE_HXM_CONSOLE_H
#define HXM_PLATFORM_CONSOLE_HXM_CONSOLE_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <zentra/hxm_host.h>

namespace hxm {

// Host calls a test can make fail, to drive a plug-in's failure paths.
enum HostFailure : unsigned {
    kFailNone = 0,
    kFailRequestMethod = 1u << 0,     // HttpReturnRequestMethod returns 0
    kFailPathBuffers = 1u << 1,       // HttpReturnPathBuffers returns non-zero
    kFailPostDataBuffer = 1u << 2,    // HttpReturnPostDataBuffer returns non-zero
    kFailSuccessfulResponse = 1u << 3 // HttpSendSuccessfulResponse returns non-zero
};

struct Request {
    std::string method = "GET"; // HTTP method as sent
    std::string target;         // request target as sent: percent-encoded path, optional "?query"
    std::string contentType;    // Content-Type header of a POST, may be empty
    std::string body;
    unsigned int accessFlags = 0x9;
    std::string user; // authenticated user, empty without a users file
    unsigned failures = kFailNone;
    std::size_t bodyLimit = 0; // largest response body; 0 (or more than 512 MiB): 512 MiB
};

struct Response {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers; // beside Content-Type
    std::string contentType;
    std::string body;
    int methodResult = 0; // what the service method returned (0: declined)
};

// Runs the request through the registered service method whose keyword the
// path names ("/keyword" followed by end, "/", or any other character, as
// registered keywords are matched by prefix). A path that cannot be decoded
// (bad %-escape, decoded NUL, a component longer than 255 bytes) is answered
// 400 before any plug-in runs; no matching keyword, or a method that
// declines (returns 0 without starting an answer), is 404. A method that
// returns non-zero without a complete answer, or whose body passed the cap,
// gets 500. Thread-safe.
Response HandleRequest(const Request &request);

struct Registration {
    std::string keyword;
    std::string linkText;
    std::string groupTitle;
    unsigned int flags = 0;
    HxmServiceMethod method = nullptr;
};

// The current registrations, in registration order.
std::vector<Registration> Registrations();

// The console home page: the registered groups and their links.
std::string RenderHome();

// Percent-decodes a URL path. False on a bad escape, a decoded NUL or a
// component longer than 255 bytes.
bool DecodePath(const std::string &encoded, std::string *decoded);

} // namespace hxm

#endif

/*
 * Checks made on a request's head before anything acts on it: framing that
 * a proxy and this server could read differently, Basic credentials, and
 * whether a browser sent the request on another site's behalf.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_REQUEST_CHECKS_H
#define HXM_PLATFORM_CONSOLE_SERVER_REQUEST_CHECKS_H

#include <string>
#include <utility>
#include <vector>

namespace hxm_server {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// True when the head gives the body's length ambiguously: Content-Length
// twice, or together with Transfer-Encoding. Names match in any case.
bool HasAmbiguousFraming(const HeaderList &headers);

// Reads an Authorization value "Basic BASE64(user:password)", the scheme in
// any case. False when it is not one, when the base64 is malformed, when
// there is no ':' or when either part holds a NUL byte.
bool ParseBasicCredentials(const std::string &value, std::string *user, std::string *password);

// Why a browser's request must be refused as started by another site, or
// empty when it need not. `scheme` is "http" or "https"; `host` is the Host
// header (the console as the browser addressed it).
//
// Refused: Sec-Fetch-Site "cross-site" or "same-site" (another port or
// subdomain of this host is another origin, and may be another
// application); for a method other than GET and HEAD, an Origin (or,
// without one, a Referer) naming another origin than scheme://host. A
// request with none of these headers (typed URL in an old browser, curl,
// scripts) passes.
std::string CrossSiteReason(const std::string &method, const HeaderList &headers,
                            const std::string &scheme, const std::string &host);

// The first header of that name (any case), or null.
const std::string *FindHeader(const HeaderList &headers, const char *name);

} // namespace hxm_server

#endif

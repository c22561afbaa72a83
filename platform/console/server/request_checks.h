/*
 * Checks made on a request's head before anything acts on it: framing that
 * a proxy and this server could read differently, Basic credentials, the
 * name the client asked for, and whether a browser sent the request on
 * another site's behalf.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_REQUEST_CHECKS_H
#define HXM_PLATFORM_CONSOLE_SERVER_REQUEST_CHECKS_H

#include <string>
#include <utility>
#include <vector>

namespace hxm_server {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// Why a head must be refused before it is read any further: status 0 when
// it need not, else 400, 411 or 501 and a short reason for the access log.
// Refused with 400: a header name that is not a token (whitespace before
// the colon included), a control character other than a tab in a value (a
// bare CR included), an HTTP/1.1 head without exactly one Host (or any head
// with several), a Host that is not host[:port], Content-Length twice, not
// digits, or beside Transfer-Encoding, Transfer-Encoding twice or with
// several codings, and any coding in HTTP/1.0. A coding other than chunked
// gets 501; chunked itself 411 (a body must state its length). Names match
// in any case; blanks around a coding are allowed. The connection must then
// be closed: what follows the head cannot be trusted to be a request.
struct HeadFault {
    int status = 0;
    const char *reason = "";
};
HeadFault FramingFault(const std::string &version, const HeaderList &headers);

// Whether a Host value (name or address, with or without a port) names this
// machine's loopback: "localhost", an address of 127.0.0.0/8 or [::1].
// Without a users file the console answers only these, so a page of another
// site whose name was made to resolve to 127.0.0.1 cannot use it.
bool NamesLoopback(const std::string &host);

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
// application); an Origin (or, without one, a Referer) naming another
// origin than scheme://host, whatever the method: a link on another site
// may point at an action, and an old browser says so only in these. A
// request with none of these headers (typed URL in an old browser, curl,
// scripts) passes.
std::string CrossSiteReason(const HeaderList &headers, const std::string &scheme,
                            const std::string &host);

// The first header of that name (any case), or null.
const std::string *FindHeader(const HeaderList &headers, const char *name);

} // namespace hxm_server

#endif

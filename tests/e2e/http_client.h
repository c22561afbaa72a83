/*
 * A small libcurl client for the HTTP tests: one call per request, or a
 * session that keeps its connection alive across requests.
 */
#ifndef HXM_TESTS_E2E_HTTP_CLIENT_H
#define HXM_TESTS_E2E_HTTP_CLIENT_H

#include <string>
#include <utility>
#include <vector>

typedef void CURL;

namespace hxm_test {

struct HttpRequest {
    std::string method = "GET";
    std::string target = "/"; // sent as is: no dot-segment folding
    std::string body;         // sent when non-empty or when method is POST
    std::string contentType = "application/x-www-form-urlencoded";
    bool chunked = false; // send the body with chunked transfer encoding
    std::string user;     // with password: HTTP Basic credentials
    std::string password;
    std::vector<std::string> headers; // more "Name: value" lines, sent as given
    std::string trustedCertificate;   // https: the PEM file to trust, instead of the system's
    std::string from;                 // the local address to send from (127.0.0.N), or any
};

struct HttpResponse {
    long status = 0; // 0: no response (error holds why)
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // names lower-cased
    long newConnections = 0;                                  // connections opened for this request
    std::string error;

    // The first header of that (lower-case) name, or empty.
    std::string Header(const std::string &name) const;
};

class HttpSession {
  public:
    explicit HttpSession(std::string base); // "http://HOST:PORT"
    HttpSession(const HttpSession &) = delete;
    HttpSession &operator=(const HttpSession &) = delete;
    ~HttpSession();

    HttpResponse Send(const HttpRequest &request);
    HttpResponse Get(const std::string &target) {
        HttpRequest request;
        request.target = target;
        return Send(request);
    }

  private:
    std::string base_;
    CURL *curl_;
};

// One request on a connection of its own.
HttpResponse Fetch(const std::string &base, const HttpRequest &request);
HttpResponse Fetch(const std::string &base, const std::string &target);

// A connected socket to the server at "http://127.0.0.1:PORT", from the
// loopback address `from` (any when null), that waits at most 5 s for an
// answer; -1 on failure.
int ConnectTo(const std::string &base, const char *from = nullptr);

// Sends `request` as raw bytes on a connection of its own and returns the
// status line of the answer, read until the server closes, and the whole
// answer in *whole.
std::string SendRaw(const std::string &base, const std::string &request,
                    std::string *whole = nullptr);

// Percent-encodes every byte of a path but unreserved characters and '/'.
std::string EncodePath(const std::string &path);

} // namespace hxm_test

#endif

/*
 * The tests' HTTP client over libcurl's easy interface.
 */
#include "tests/e2e/http_client.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <mutex>

namespace hxm_test {
namespace {

size_t CollectBody(char *data, size_t size, size_t count, void *context) {
    static_cast<std::string *>(context)->append(data, size * count);
    return size * count;
}

size_t CollectHeader(char *data, size_t size, size_t count, void *context) {
    auto *headers = static_cast<std::vector<std::pair<std::string, std::string>> *>(context);
    std::string line(data, size * count);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        size_t begin = line.find_first_not_of(" \t", colon + 1);
        size_t end = line.find_last_not_of(" \t\r\n");
        std::string value =
            (begin == std::string::npos || end < begin) ? "" : line.substr(begin, end - begin + 1);
        headers->emplace_back(name, value);
    }
    return size * count;
}

// Hands out the body in pieces, for chunked uploads.
struct UploadSource {
    const std::string *body;
    size_t offset = 0;
};

size_t SupplyBody(char *buffer, size_t size, size_t count, void *context) {
    auto *source = static_cast<UploadSource *>(context);
    size_t piece = std::min(size * count, source->body->size() - source->offset);
    std::copy_n(source->body->data() + source->offset, piece, buffer);
    source->offset += piece;
    return piece;
}

void InitialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

std::string HttpResponse::Header(const std::string &name) const {
    for (const auto &header : headers) {
        if (header.first == name)
            return header.second;
    }
    return std::string();
}

HttpSession::HttpSession(std::string base) : base_(std::move(base)) {
    InitialiseOnce();
    curl_ = curl_easy_init();
}

HttpSession::~HttpSession() {
    curl_easy_cleanup(curl_);
}

HttpResponse HttpSession::Send(const HttpRequest &request) {
    HttpResponse response;
    CURL *curl = curl_;
    curl_easy_reset(curl);
    std::string url = base_ + request.target;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    if (!request.trustedCertificate.empty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, request.trustedCertificate.c_str());
    if (!request.from.empty())
        curl_easy_setopt(curl, CURLOPT_INTERFACE, ("host!" + request.from).c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, CollectHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &response.headers);
    struct curl_slist *headers = nullptr;
    UploadSource source{&request.body};
    if (request.method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (request.method == "POST" || !request.body.empty()) {
        headers = curl_slist_append(headers, ("Content-Type: " + request.contentType).c_str());
        // Without this curl waits for "100 Continue" on larger bodies.
        headers = curl_slist_append(headers, "Expect:");
        if (request.chunked) {
            headers = curl_slist_append(headers, "Transfer-Encoding: chunked");
            curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(curl, CURLOPT_READFUNCTION, SupplyBody);
            curl_easy_setopt(curl, CURLOPT_READDATA, &source);
        } else {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(request.body.size()));
        }
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    } else if (request.method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    for (const std::string &header : request.headers)
        headers = curl_slist_append(headers, header.c_str());
    if (headers != nullptr)
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    if (!request.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERNAME, request.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, request.password.c_str());
    }
    CURLcode result = curl_easy_perform(curl);
    if (result == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
        curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &response.newConnections);
    } else {
        response.error = curl_easy_strerror(result);
    }
    curl_slist_free_all(headers);
    return response;
}

HttpResponse Fetch(const std::string &base, const HttpRequest &request) {
    HttpSession session(base);
    return session.Send(request);
}

HttpResponse Fetch(const std::string &base, const std::string &target) {
    HttpRequest request;
    request.target = target;
    return Fetch(base, request);
}

std::string EncodePath(const std::string &path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded.push_back('%');
            encoded.push_back(kHex[c >> 4]);
            encoded.push_back(kHex[c & 0xf]);
        }
    }
    return encoded;
}

int ConnectTo(const std::string &base, const char *from) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::stoi(base.substr(base.rfind(':') + 1))));
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && from != nullptr) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, from, &local.sin_addr);
        if (bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
            close(fd);
            return -1;
        }
    }
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    // Never wait on an answer forever.
    timeval wait{5, 0};
    if (fd >= 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return fd;
}

std::string SendRaw(const std::string &base, const std::string &request, std::string *whole) {
    int fd = ConnectTo(base);
    std::string answer;
    if (fd >= 0 && send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                       static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        ssize_t got;
        while ((got = recv(fd, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, static_cast<size_t>(got));
    }
    if (fd >= 0)
        close(fd);
    if (whole != nullptr)
        *whole = answer;
    return answer.substr(0, answer.find("\r\n"));
}

} // namespace hxm_test

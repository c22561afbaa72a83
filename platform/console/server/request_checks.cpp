/*
 * The request head checks, on nettle's base64 decoder.
 */
#include "platform/console/server/request_checks.h"

#include <nettle/base64.h>
#include <string.h>
#include <strings.h>

#include <vector>

namespace hxm_server {
namespace {

bool SameName(const std::string &name, const char *wanted) {
    return strcasecmp(name.c_str(), wanted) == 0;
}

// "scheme://host[:port]" of a URL, or empty when it has none.
std::string OriginOf(const std::string &url) {
    size_t separator = url.find("://");
    if (separator == std::string::npos)
        return std::string();
    size_t end = url.find_first_of("/?#", separator + 3);
    return url.substr(0, end);
}

bool EqualIgnoringCase(const std::string &a, const std::string &b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

} // namespace

const std::string *FindHeader(const HeaderList &headers, const char *name) {
    for (const auto &header : headers) {
        if (SameName(header.first, name))
            return &header.second;
    }
    return nullptr;
}

bool HasAmbiguousFraming(const HeaderList &headers) {
    unsigned lengths = 0;
    bool encoded = false;
    for (const auto &header : headers) {
        if (SameName(header.first, "Content-Length"))
            ++lengths;
        else if (SameName(header.first, "Transfer-Encoding"))
            encoded = true;
    }
    return lengths > 1 || (lengths == 1 && encoded);
}

bool ParseBasicCredentials(const std::string &value, std::string *user, std::string *password) {
    constexpr char kScheme[] = "basic";
    constexpr size_t kSchemeLength = sizeof kScheme - 1;
    if (value.size() <= kSchemeLength || strncasecmp(value.c_str(), kScheme, kSchemeLength) != 0 ||
        (value[kSchemeLength] != ' ' && value[kSchemeLength] != '\t'))
        return false;
    size_t begin = value.find_first_not_of(" \t", kSchemeLength);
    if (begin == std::string::npos)
        return false;
    size_t end = value.find_last_not_of(" \t");
    std::string encoded = value.substr(begin, end - begin + 1);
    std::vector<uint8_t> decoded(BASE64_DECODE_LENGTH(encoded.size()) + 1);
    base64_decode_ctx context;
    base64_decode_init(&context);
    size_t length = decoded.size();
    if (base64_decode_update(&context, &length, decoded.data(), encoded.size(), encoded.data()) ==
            0 ||
        base64_decode_final(&context) == 0)
        return false;
    std::string text(reinterpret_cast<const char *>(decoded.data()), length);
    explicit_bzero(decoded.data(), decoded.size());
    size_t colon = text.find(':');
    bool ok = colon != std::string::npos && text.find('\0') == std::string::npos;
    if (ok) {
        *user = text.substr(0, colon);
        *password = text.substr(colon + 1);
    }
    explicit_bzero(&text[0], text.size());
    return ok;
}

std::string CrossSiteReason(const std::string &method, const HeaderList &headers,
                            const std::string &scheme, const std::string &host) {
    if (const std::string *site = FindHeader(headers, "Sec-Fetch-Site")) {
        if (EqualIgnoringCase(*site, "cross-site") || EqualIgnoringCase(*site, "same-site"))
            return "sec-fetch-site " + *site;
    }
    if (method == "GET" || method == "HEAD")
        return std::string();
    std::string own = scheme + "://" + host;
    if (const std::string *origin = FindHeader(headers, "Origin")) {
        // "null" (a sandboxed or privacy-restricted page) is never ours.
        return EqualIgnoringCase(*origin, own) ? std::string() : "origin " + *origin;
    }
    if (const std::string *referer = FindHeader(headers, "Referer")) {
        return EqualIgnoringCase(OriginOf(*referer), own) ? std::string()
                                                          : "referer " + OriginOf(*referer);
    }
    return std::string();
}

} // namespace hxm_server

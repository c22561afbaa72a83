/*
 * The request head checks, on nettle's base64 decoder.
 */
#include "platform/console/server/request_checks.h"

#include <arpa/inet.h>
#include <nettle/base64.h>
#include <string.h>
#include <strings.h>

#include <vector>

#include "platform/console/server/address_prefix.h"

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

namespace {

// What the framing rules look at, gathered in one pass over the head.
struct HeadFacts {
    bool http11 = false;
    bool badName = false;
    bool badValue = false;
    bool lengthNotNumber = false;
    bool hostInvalid = false;
    unsigned hosts = 0;
    unsigned lengths = 0;
    unsigned codings = 0;
    std::string coding; // the last Transfer-Encoding value
};

bool IsTokenChar(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (c != '\0' && strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool IsToken(const std::string &text) {
    for (unsigned char c : text) {
        if (!IsTokenChar(c))
            return false;
    }
    return !text.empty();
}

bool HasControl(const std::string &text) {
    for (unsigned char c : text) {
        if ((c < 0x20 && c != '\t') || c == 0x7f)
            return true;
    }
    return false;
}

// Digits only; one too large for any counter is still a number (and a body
// too large), not a malformed length.
bool IsNumber(const std::string &text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// A value without the optional whitespace around it.
std::string WithoutBlanks(const std::string &text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// Empty, or uri-host [":" port]: a bracketed IPv6 address, or a name or
// IPv4 address made of unreserved characters, percent escapes and
// sub-delimiters, then at most five digits of port.
bool IsHostAndPort(const std::string &text) {
    if (text.empty())
        return true; // what a client sends for a target without an authority
    size_t portColon;
    if (!text.empty() && text[0] == '[') {
        size_t close = text.find(']');
        unsigned char address[sizeof(in6_addr)];
        if (close == std::string::npos ||
            inet_pton(AF_INET6, text.substr(1, close - 1).c_str(), address) != 1)
            return false;
        portColon = close + 1;
        if (portColon < text.size() && text[portColon] != ':')
            return false;
    } else {
        portColon = text.find(':');
        std::string name = text.substr(0, portColon);
        if (name.empty() ||
            name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                   "0123456789-._~%!$&'()*+,;=") != std::string::npos)
            return false;
    }
    if (portColon >= text.size())
        return true;
    std::string port = text.substr(portColon + 1);
    return port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos;
}

HeadFacts Gather(const std::string &version, const HeaderList &headers) {
    HeadFacts facts;
    facts.http11 = version == "HTTP/1.1";
    for (const auto &header : headers) {
        facts.badName = facts.badName || !IsToken(header.first);
        facts.badValue = facts.badValue || HasControl(header.second);
        if (SameName(header.first, "Host")) {
            ++facts.hosts;
            facts.hostInvalid = facts.hostInvalid || !IsHostAndPort(header.second);
        } else if (SameName(header.first, "Content-Length")) {
            ++facts.lengths;
            facts.lengthNotNumber = facts.lengthNotNumber || !IsNumber(header.second);
        } else if (SameName(header.first, "Transfer-Encoding")) {
            ++facts.codings;
            facts.coding = WithoutBlanks(header.second);
        }
    }
    return facts;
}

struct FramingRule {
    bool (*breaks)(const HeadFacts &);
    int status;
    const char *reason;
};

// In order: the first rule a head breaks answers it.
constexpr FramingRule kFramingRules[] = {
    {[](const HeadFacts &f) { return f.badName; }, 400, "header-name"},
    {[](const HeadFacts &f) { return f.badValue; }, 400, "header-control-character"},
    {[](const HeadFacts &f) { return f.hosts > 1 || (f.http11 && f.hosts == 0); }, 400,
     "host-count"},
    {[](const HeadFacts &f) { return f.hostInvalid; }, 400, "host-invalid"},
    {[](const HeadFacts &f) { return f.lengths > 1 || (f.lengths == 1 && f.codings > 0); }, 400,
     "ambiguous-length"},
    {[](const HeadFacts &f) { return f.lengthNotNumber; }, 400, "length-not-a-number"},
    {[](const HeadFacts &f) { return f.codings > 1 || f.coding.find(',') != std::string::npos; },
     400, "several-codings"},
    {[](const HeadFacts &f) {
         return f.codings == 1 && strcasecmp(f.coding.c_str(), "chunked") != 0;
     },
     501, "unknown-coding"},
    // HTTP/1.0 knows no transfer codings: a server of that version reads
    // such a body up to the end of the connection.
    {[](const HeadFacts &f) { return f.codings == 1 && !f.http11; }, 400, "coding-in-http/1.0"},
    // The daemon's chunk reader is lenient (bare LF line ends, chunk
    // extensions, trailers), so a proxy in front could cut the same bytes
    // into other requests; no browser sends a chunked body anyway.
    {[](const HeadFacts &f) { return f.codings == 1; }, 411, "length-required"},
};

} // namespace

HeadFault FramingFault(const std::string &version, const HeaderList &headers) {
    HeadFacts facts = Gather(version, headers);
    for (const FramingRule &rule : kFramingRules) {
        if (rule.breaks(facts))
            return HeadFault{rule.status, rule.reason};
    }
    return HeadFault();
}

bool NamesLoopback(const std::string &host) {
    std::string name;
    if (!host.empty() && host[0] == '[') {
        size_t close = host.find(']');
        if (close == std::string::npos || (close + 1 < host.size() && host[close + 1] != ':'))
            return false;
        name = host.substr(1, close - 1);
    } else {
        name = host.substr(0, host.find(':'));
        if (!name.empty() && name.back() == '.')
            name.pop_back();
    }
    return IsLoopbackAddress(name) || strcasecmp(name.c_str(), "localhost") == 0;
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

std::string CrossSiteReason(const HeaderList &headers, const std::string &scheme,
                            const std::string &host) {
    if (const std::string *site = FindHeader(headers, "Sec-Fetch-Site")) {
        if (EqualIgnoringCase(*site, "cross-site") || EqualIgnoringCase(*site, "same-site"))
            return "sec-fetch-site " + *site;
    }
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

/*
 * hxm-console's command line: a table of options, each with the setter that
 * checks and stores its value, and the listen address parser.
 */
#include "platform/console/server/options.h"

#include <arpa/inet.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <climits>

namespace hxm_server {
namespace {

constexpr unsigned kMaxThreads = 256;

// Whole-string unsigned number in `base` (0: C rules, so 0x1f and 31 both
// work) no larger than `max`. Signs, blanks and trailing junk are refused:
// strtoul alone would wrap "-1" and stop quietly at "12abc".
bool ParseUnsigned(const std::string &text, int base, unsigned long max, unsigned long *value) {
    if (text.empty() || !(text[0] >= '0' && text[0] <= '9'))
        return false;
    errno = 0;
    char *end = nullptr;
    unsigned long parsed = strtoul(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || parsed > max)
        return false;
    *value = parsed;
    return true;
}

bool SetListen(Options *options, const std::string &value, std::string *error) {
    return ParseListenAddress(value, &options->listen, error);
}

bool SetPlugin(Options *options, const std::string &value, std::string *error) {
    if (value.empty()) {
        *error = "--plugin needs a file name";
        return false;
    }
    options->plugins.push_back(value);
    return true;
}

bool SetRoot(Options *options, const std::string &value, std::string *error) {
    if (value.empty()) {
        *error = "--root needs a directory";
        return false;
    }
    options->root = value;
    return true;
}

bool SetUsers(Options *options, const std::string &value, std::string *error) {
    if (value.empty()) {
        *error = "--users needs a file name";
        return false;
    }
    options->usersFile = value;
    return true;
}

bool SetAccess(Options *options, const std::string &value, std::string *error) {
    unsigned long flags = 0;
    if (!ParseUnsigned(value, 0, UINT_MAX, &flags)) {
        *error = "--access needs a 32-bit flag word in hex (0x9) or decimal, not \"" + value + "\"";
        return false;
    }
    options->accessFlags = static_cast<unsigned int>(flags);
    return true;
}

bool SetThreads(Options *options, const std::string &value, std::string *error) {
    unsigned long threads = 0;
    if (!ParseUnsigned(value, 10, kMaxThreads, &threads) || threads == 0) {
        *error = "--threads needs a number from 1 to " + std::to_string(kMaxThreads) + ", not \"" +
                 value + "\"";
        return false;
    }
    options->threads = static_cast<unsigned>(threads);
    return true;
}

bool SetAccessLog(Options *options, const std::string &value, std::string *error) {
    if (value.empty()) {
        *error = "--access-log needs a file name";
        return false;
    }
    options->accessLog = value;
    return true;
}

bool SetRequestTimeout(Options *options, const std::string &value, std::string *error) {
    unsigned long seconds = 0;
    if (!ParseUnsigned(value, 10, 3600, &seconds) || seconds == 0) {
        *error = "--request-timeout needs seconds from 1 to 3600, not \"" + value + "\"";
        return false;
    }
    options->requestSeconds = static_cast<unsigned>(seconds);
    return true;
}

bool SetLoginHashes(Options *options, const std::string &value, std::string *error) {
    unsigned long perSecond = 0;
    if (!ParseUnsigned(value, 10, 10000, &perSecond) || perSecond == 0) {
        *error = "--login-hashes needs a number from 1 to 10000, not \"" + value + "\"";
        return false;
    }
    options->strangerHashesPerSecond = static_cast<unsigned>(perSecond);
    return true;
}

bool SetTrustedProxy(Options *options, const std::string &value, std::string *error) {
    // Kept in the form the server prints addresses in, to compare them.
    unsigned char bytes[sizeof(in6_addr)];
    char canonical[INET6_ADDRSTRLEN];
    int family = value.find(':') != std::string::npos ? AF_INET6 : AF_INET;
    if (inet_pton(family, value.c_str(), bytes) != 1 ||
        inet_ntop(family, bytes, canonical, sizeof canonical) == nullptr) {
        *error = "--trusted-proxy needs a numeric IPv4 or IPv6 address, not \"" + value + "\"";
        return false;
    }
    options->trustedProxies.push_back(canonical);
    return true;
}

bool SetPluginOutput(Options *options, const std::string &value, std::string *error) {
    if (value.empty()) {
        *error = "--plugin-output needs a file name";
        return false;
    }
    options->pluginOutput = value;
    return true;
}

bool SetTlsCertificate(Options *options, const std::string &value, std::string *error) {
    if (value.empty()) {
        *error = "--tls-cert needs a file name";
        return false;
    }
    options->tlsCertificate = value;
    return true;
}

bool SetTlsKey(Options *options, const std::string &value, std::string *error) {
    if (value.empty()) {
        *error = "--tls-key needs a file name";
        return false;
    }
    options->tlsKey = value;
    return true;
}

struct OptionRow {
    const char *name;
    bool takesValue;
    bool (*set)(Options *, const std::string &, std::string *);
    bool Options::*flag; // for options without a value
};

constexpr OptionRow kOptionTable[] = {
    {"--listen", true, SetListen, nullptr},
    {"--plugin", true, SetPlugin, nullptr},
    {"--root", true, SetRoot, nullptr},
    {"--users", true, SetUsers, nullptr},
    {"--access", true, SetAccess, nullptr},
    {"--threads", true, SetThreads, nullptr},
    {"--access-log", true, SetAccessLog, nullptr},
    {"--request-timeout", true, SetRequestTimeout, nullptr},
    {"--trusted-proxy", true, SetTrustedProxy, nullptr},
    {"--login-hashes", true, SetLoginHashes, nullptr},
    {"--plugin-output", true, SetPluginOutput, nullptr},
    {"--tls-cert", true, SetTlsCertificate, nullptr},
    {"--tls-key", true, SetTlsKey, nullptr},
    {"--insecure-http", false, nullptr, &Options::insecureHttp},
    {"--help", false, nullptr, &Options::help},
    {"--hash-password", false, nullptr, &Options::hashPassword},
};

const OptionRow *FindOption(const std::string &name) {
    for (const OptionRow &row : kOptionTable) {
        if (name == row.name)
            return &row;
    }
    return nullptr;
}

} // namespace

bool ParseListenAddress(const std::string &text, ListenAddress *address, std::string *error) {
    std::string host;
    std::string port;
    bool ipv6 = !text.empty() && text[0] == '[';
    if (ipv6) {
        size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            *error = "--listen wants [IPv6]:PORT, not \"" + text + "\"";
            return false;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        size_t colon = text.rfind(':');
        if (colon == std::string::npos) {
            *error = "--listen wants A.B.C.D:PORT or [IPv6]:PORT, not \"" + text + "\"";
            return false;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    unsigned long portNumber = 0;
    if (!ParseUnsigned(port, 10, 65535, &portNumber)) {
        *error = "--listen: \"" + port + "\" is not a port number (0 to 65535)";
        return false;
    }
    ListenAddress parsed;
    if (ipv6) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&parsed.storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<uint16_t>(portNumber));
        if (inet_pton(AF_INET6, host.c_str(), &in6->sin6_addr) != 1) {
            *error = "--listen: \"" + host + "\" is not an IPv6 address";
            return false;
        }
        parsed.length = sizeof(sockaddr_in6);
        parsed.isIPv6 = true;
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&parsed.storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(static_cast<uint16_t>(portNumber));
        if (inet_pton(AF_INET, host.c_str(), &in4->sin_addr) != 1) {
            *error = "--listen: \"" + host + "\" is not an IPv4 address (A.B.C.D)";
            return false;
        }
        parsed.length = sizeof(sockaddr_in);
    }
    *address = parsed;
    return true;
}

bool IsLoopback(const ListenAddress &address) {
    if (address.isIPv6) {
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&address.storage);
        if (IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr))
            return true;
        return IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr) && in6->sin6_addr.s6_addr[12] == 127;
    }
    const auto *in4 = reinterpret_cast<const sockaddr_in *>(&address.storage);
    return (ntohl(in4->sin_addr.s_addr) >> 24) == 127;
}

unsigned ListenPort(const ListenAddress &address) {
    if (address.isIPv6)
        return ntohs(reinterpret_cast<const sockaddr_in6 *>(&address.storage)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in *>(&address.storage)->sin_port);
}

std::string FormatAddress(const ListenAddress &address, unsigned port) {
    char host[INET6_ADDRSTRLEN] = "";
    if (address.isIPv6) {
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&address.storage);
        inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
        return std::string("[") + host + "]:" + std::to_string(port);
    }
    const auto *in4 = reinterpret_cast<const sockaddr_in *>(&address.storage);
    inet_ntop(AF_INET, &in4->sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(port);
}

bool ParseOptions(int argc, char **argv, Options *options, std::string *error) {
    Options parsed;
    std::string unused;
    ParseListenAddress("127.0.0.1:8080", &parsed.listen, &unused);
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::string name = argument;
        std::string value;
        bool inlineValue = false;
        size_t equals = argument.find('=');
        if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            inlineValue = true;
        }
        const OptionRow *row = FindOption(name);
        if (row == nullptr) {
            *error = "unknown argument \"" + argument + "\"";
            return false;
        }
        if (!row->takesValue) {
            if (inlineValue) {
                *error = name + " takes no value";
                return false;
            }
            parsed.*(row->flag) = true;
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                *error = name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (!row->set(&parsed, value, error))
            return false;
    }
    *options = std::move(parsed);
    return true;
}

bool ChooseTransport(const Options &options, Transport *transport, std::string *error) {
    bool given = !options.tlsCertificate.empty() || !options.tlsKey.empty();
    if (given && (options.tlsCertificate.empty() || options.tlsKey.empty())) {
        *error = "--tls-cert and --tls-key go together";
        return false;
    }
    if (given && options.insecureHttp) {
        *error = "--insecure-http and --tls-cert contradict each other";
        return false;
    }
    if (given)
        *transport = Transport::kGivenTls;
    else if (options.insecureHttp || IsLoopback(options.listen))
        *transport = Transport::kPlainHttp;
    else
        *transport = Transport::kSelfSignedTls;
    return true;
}

const char *UsageText() {
    return "usage: hxm-console [--listen ADDR:PORT] [--plugin FILE.so]... [--root DIR]\n"
           "                   [--users FILE] [--access FLAGS] [--threads N]\n"
           "                   [--access-log FILE] [--request-timeout SECONDS]\n"
           "                   [--trusted-proxy ADDR]... [--plugin-output FILE]\n"
           "                   [--login-hashes N]\n"
           "                   [--tls-cert FILE --tls-key FILE | --insecure-http]\n"
           "       hxm-console --hash-password   (reads a password on stdin, prints its hash)\n"
           "\n"
           "  --listen ADDR:PORT   address to serve, A.B.C.D:PORT or [IPv6]:PORT\n"
           "                       (default 127.0.0.1:8080; port 0 picks a free port).\n"
           "                       Other than loopback only together with --users.\n"
           "  --plugin FILE.so     load a console plug-in; repeat for several\n"
           "  --root DIR           take every server path under DIR (sets ZENTRA_ROOT)\n"
           "  --users FILE         require HTTP Basic authentication; lines of\n"
           "                       name:crypt-hash:flags ('#' starts a comment):\n"
           "                       flags 0xf make an administrator (clears connections,\n"
           "                       closes files), 0x40f an operator (closes files only)\n"
           "  --access FLAGS       access flag word of every request without --users\n"
           "                       (default 0x9)\n"
           "  --threads N          worker threads (default 4)\n"
           "  --access-log FILE    append one line per request to FILE (default stderr)\n"
           "  --request-timeout S  close a connection whose request head has not\n"
           "                       arrived whole within S seconds (default 10)\n"
           "  --trusted-proxy ADDR a reverse proxy: its connections have no per-address\n"
           "                       limit, and its X-Forwarded-For names the client\n"
           "  --login-hashes N     password hashes a second for logins from addresses\n"
           "                       and accounts not seen lately (default 2, bursts of 8N)\n"
           "  --plugin-output FILE append what plug-ins write to standard output to\n"
           "                       FILE (default /dev/null)\n"
           "  --tls-cert FILE      serve HTTPS with this PEM certificate (chain)...\n"
           "  --tls-key FILE       ...and this PEM private key. Without them, a network\n"
           "                       address gets a self-signed pair made once under the\n"
           "                       root (etc/zentra/hxm-console-tls.*); loopback gets HTTP\n"
           "  --insecure-http      serve plain HTTP on a network address: passwords and\n"
           "                       pages cross the network readable by anyone on it\n"
           "  --hash-password      read a password from stdin and print a yescrypt hash\n"
           "                       for the users file\n"
           "  --help               show this text\n";
}

} // namespace hxm_server

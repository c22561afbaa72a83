/*
 * hxm-console's command line: what it means and how it is read.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_OPTIONS_H
#define HXM_PLATFORM_CONSOLE_SERVER_OPTIONS_H

#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <vector>

namespace hxm_server {

// An address to listen on, IPv4 or IPv6, with the port in network order.
struct ListenAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    bool isIPv6 = false;
};

struct Options {
    ListenAddress listen;
    std::vector<std::string> plugins; // in the order given; loaded in this order
    std::string root;                 // empty: the server's fixed paths
    std::string usersFile;            // empty: no authentication
    unsigned int accessFlags = 0x9;   // every request's flag word without a users file
    unsigned int threads = 4;
    std::string accessLog;                   // empty: stderr
    unsigned requestSeconds = 10;            // for a whole request head
    unsigned strangerHashesPerSecond = 2;    // password hashes for logins not seen lately
    std::vector<std::string> trustedProxies; // numeric addresses, as written
    std::string pluginOutput = "/dev/null";  // where plug-ins' standard output goes
    std::string tlsCertificate;              // with tlsKey: serve HTTPS with these
    std::string tlsKey;
    bool insecureHttp = false; // plain HTTP even on a network address
    bool help = false;
    bool hashPassword = false;
};

// How the console speaks to its clients.
enum class Transport {
    kPlainHttp,     // loopback, or asked for as insecure
    kGivenTls,      // --tls-cert and --tls-key
    kSelfSignedTls, // a network address without them: a pair made once
};

// Decides the transport from the options: HTTPS wherever the network can
// listen in, unless --insecure-http says otherwise. False, with *error set,
// on options that contradict each other.
bool ChooseTransport(const Options &options, Transport *transport, std::string *error);

// Parses "A.B.C.D:PORT" or "[IPv6]:PORT" (port 0 to 65535, 0 picks a free
// one). False, with *error set, on anything else.
bool ParseListenAddress(const std::string &text, ListenAddress *address, std::string *error);

// True when the address is on the loopback interface (127.0.0.0/8, ::1,
// or ::ffff:127.x.y.z), so no other host can reach it.
bool IsLoopback(const ListenAddress &address);

// The address's port in host order.
unsigned ListenPort(const ListenAddress &address);

// "HOST:PORT" with IPv6 hosts in brackets, as it goes into a URL.
std::string FormatAddress(const ListenAddress &address, unsigned port);

// Reads argv. False, with *error set to a one-line reason, on an unknown
// option, a missing or malformed value. Values are checked here, files are not.
bool ParseOptions(int argc, char **argv, Options *options, std::string *error);

// The usage text for --help and for errors.
const char *UsageText();

} // namespace hxm_server

#endif

/*
 * Network prefixes of numeric addresses, on inet_pton and inet_ntop.
 */
#include "platform/console/server/address_prefix.h"

#include <arpa/inet.h>
#include <string.h>

namespace hxm_server {
namespace {

// Clears every bit of `bytes` after the first `bits`.
void KeepBits(unsigned char *bytes, size_t size, unsigned bits) {
    for (size_t i = 0; i < size; ++i) {
        unsigned kept = bits > 8 * i ? bits - 8 * static_cast<unsigned>(i) : 0;
        if (kept < 8)
            bytes[i] &= static_cast<unsigned char>(0xff00u >> kept);
    }
}

// The IPv4 address inside `address` (plain, or IPv4-mapped IPv6).
bool AsIpv4(const std::string &address, in_addr *ipv4) {
    if (inet_pton(AF_INET, address.c_str(), ipv4) == 1)
        return true;
    in6_addr ipv6;
    if (inet_pton(AF_INET6, address.c_str(), &ipv6) != 1 || !IN6_IS_ADDR_V4MAPPED(&ipv6))
        return false;
    memcpy(ipv4, &ipv6.s6_addr[12], sizeof *ipv4);
    return true;
}

} // namespace

std::string NetworkOf(const std::string &address, unsigned ipv4Bits, unsigned ipv6Bits) {
    char text[INET6_ADDRSTRLEN];
    in_addr ipv4;
    in6_addr ipv6;
    if (AsIpv4(address, &ipv4)) {
        KeepBits(reinterpret_cast<unsigned char *>(&ipv4), sizeof ipv4, ipv4Bits);
        inet_ntop(AF_INET, &ipv4, text, sizeof text);
        return std::string(text) + "/" + std::to_string(ipv4Bits);
    }
    if (inet_pton(AF_INET6, address.c_str(), &ipv6) != 1)
        return address;
    KeepBits(ipv6.s6_addr, sizeof ipv6.s6_addr, ipv6Bits);
    inet_ntop(AF_INET6, &ipv6, text, sizeof text);
    return std::string(text) + "/" + std::to_string(ipv6Bits);
}

bool IsLoopbackAddress(const std::string &address) {
    in_addr ipv4;
    in6_addr ipv6;
    if (AsIpv4(address, &ipv4))
        return (ntohl(ipv4.s_addr) >> 24) == 127;
    return inet_pton(AF_INET6, address.c_str(), &ipv6) == 1 && IN6_IS_ADDR_LOOPBACK(&ipv6);
}

} // namespace hxm_server

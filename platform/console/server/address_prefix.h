/*
 * Addresses grouped by network: one party often holds a whole IPv6 /64 (or
 * an IPv4 /24), so limits that count per address also count per network.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_ADDRESS_PREFIX_H
#define HXM_PLATFORM_CONSOLE_SERVER_ADDRESS_PREFIX_H

#include <string>

namespace hxm_server {

// The network of `address` (numeric IPv4 or IPv6, as the server prints it)
// as "ADDRESS/BITS" with the host bits cleared: its first `ipv4Bits` bits
// (an IPv4-mapped IPv6 address counts as IPv4) or its first `ipv6Bits`.
// Text that is no address comes back unchanged.
std::string NetworkOf(const std::string &address, unsigned ipv4Bits, unsigned ipv6Bits);

// Whether the numeric address is on the loopback interface.
bool IsLoopbackAddress(const std::string &address);

} // namespace hxm_server

#endif

// The echo behind IcmpSendEcho and Icmp6SendEcho2, for an address of either family: the IPv6
// call reads Winsock's sockaddr_in6, which the host's socket headers in Icmp.cpp can't see.
#pragma once

#include "ipexport.h"

#include <array>
#include <cstdint>

namespace platform::net::echo {

struct Destination {
    bool ipv6 = false;
    std::array<std::uint8_t, 16> address{}; // network order; the first 4 bytes for IPv4
    std::uint32_t scopeId = 0;              // the interface of a link-local IPv6 address
};

// IcmpSendEcho's work for a handle of the destination's family: the number of replies written
// (ICMP_ECHO_REPLY or ICMPV6_ECHO_REPLY, then the data), or 0 with GetLastError set.
DWORD send(HANDLE handle, const Destination& destination, LPVOID data, WORD size, LPVOID reply,
           DWORD replySize, DWORD timeoutMs);

} // namespace platform::net::echo

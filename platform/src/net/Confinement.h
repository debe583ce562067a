// Whether the network is confined to loopback (Network.h's confineToLoopback): every service
// that could put a packet on a wire asks before it does.
#pragma once

#include <array>
#include <cstdint>

namespace platform::net {

bool confinedToLoopback();

// An IPv4 address in network byte order, as the IP Helper and Winsock hold it.
inline bool isLoopbackIPv4(std::uint32_t networkOrder) {
    return reinterpret_cast<const std::uint8_t*>(&networkOrder)[0] == 127;
}

// ::1, the IPv6 loopback address.
inline bool isLoopbackIPv6(const std::array<std::uint8_t, 16>& address) {
    static constexpr std::array<std::uint8_t, 16> loopback{0, 0, 0, 0, 0, 0, 0, 0,
                                                           0, 0, 0, 0, 0, 0, 0, 1};
    return address == loopback;
}

} // namespace platform::net

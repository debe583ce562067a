// Whether the network is confined to loopback (Network.h's confineToLoopback): every service
// that could put a packet on a wire asks before it does.
#pragma once

#include <cstdint>

namespace platform::net {

bool confinedToLoopback();

// An IPv4 address in network byte order, as the IP Helper and Winsock hold it.
inline bool isLoopbackIPv4(std::uint32_t networkOrder) {
    return reinterpret_cast<const std::uint8_t*>(&networkOrder)[0] == 127;
}

} // namespace platform::net

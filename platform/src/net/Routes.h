// The kernel's route to an address of either family, asked over netlink (RTM_GETROUTE: the
// kernel's own lookup, policy rules included). Behind GetBestInterface, GetBestRoute and
// GetBestRoute2.
#pragma once

#include "wintypes.h"

#include <array>
#include <cstdint>

namespace platform::net::routes {

enum class Family : std::uint8_t { ipv4, ipv6 };

// Addresses in network order: the first 4 bytes for IPv4.
struct Route {
    std::uint32_t interfaceIndex = 0;
    bool hasGateway = false; // false on a directly attached link
    std::array<std::uint8_t, 16> gateway{};
    std::array<std::uint8_t, 16> source{}; // the address the kernel sends from, if it said
    bool local = false;                    // the destination is one of this device's addresses
};

// The route to `destination` (4 or 16 bytes as `family` says), leaving by `outInterface` when
// it is not 0. NO_ERROR; ERROR_NETWORK_UNREACHABLE when the kernel has none;
// ERROR_CAN_NOT_COMPLETE when it can't be asked.
DWORD routeTo(Family family, const std::uint8_t* destination, std::uint32_t outInterface,
              Route& found);

} // namespace platform::net::routes

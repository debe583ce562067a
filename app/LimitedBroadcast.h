// The limited broadcast (255.255.255.255) out of every network interface that is up: where the
// usual Wake-on-LAN tools send when given no address, here on every network the machine is on,
// not only the one of the default route.
#pragma once

#include "WakePacket.h"

#include <cstdint>
#include <vector>

inline constexpr std::uint32_t limitedBroadcast = 0xFFFFFFFFu;

// The interfaces that are up and attached to a network, by one IPv4 address of each; loopback
// left out.
std::vector<std::uint32_t> upInterfaceAddresses();

// Sends `packet` to the limited broadcast on `port` out of the interface that holds `address`;
// 0, or the Winsock error that kept it back. Winsock must have been started.
int sendLimitedBroadcast(const MagicPacket& packet, std::uint16_t port, std::uint32_t address);

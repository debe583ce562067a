// The subnets the device is attached to, as the IP Helper reports them: where a directed
// broadcast reaches a computer that sleeps.
#pragma once

#include <cstdint>
#include <optional>

// The directed broadcast address (interface address OR NOT netmask, network byte order) of the
// subnet `host` lies on, when the route to it leaves through an interface attached to that
// subnet. Nothing for a host reached through a gateway, on loopback or on a point-to-point link,
// and for a host that is itself that broadcast address (it is sent once, as it is).
std::optional<std::uint32_t> directedBroadcastFor(std::uint32_t host);

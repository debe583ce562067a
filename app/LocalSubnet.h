// The subnets the device is attached to, as the IP Helper reports them: where a directed
// broadcast reaches a computer that sleeps.
#pragma once

#include <iphlpapi.h>

#include <cstdint>
#include <optional>
#include <vector>

// The directed broadcast address (interface address OR NOT netmask, network byte order) of the
// subnet `host` lies on, when the kernel's route to it leads straight to it: of the outgoing
// interface's subnets that hold the host, the one of the longest prefix, as the kernel's own
// route follows. Nothing for a host reached through a gateway, on loopback or on a
// point-to-point link, and for a host that is itself that broadcast address (it is sent once, as
// it is).
std::optional<std::uint32_t> directedBroadcastFor(std::uint32_t host);

// The IPv4 address table of the IP Helper, in address order when `sorted`; empty when it can't
// be read.
std::vector<MIB_IPADDRROW> ipAddressRows(bool sorted);
// The neighbour table of the IP Helper; empty when it can't be read.
std::vector<MIB_IPNETROW> neighbourRows();

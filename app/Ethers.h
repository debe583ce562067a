// Names of network cards in /etc/ethers (the "ethers" database of the name service switch), as
// etherwake and the usual tools read it.
#pragma once

#include "WakePacket.h"

#include <optional>
#include <string>

// The MAC address the database gives `name`; nothing when it has none.
std::optional<MacAddress> etherAddressOf(const std::string& name);

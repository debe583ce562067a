// Why a computer did not wake, told from what the program saw, never guessed: the MAC address
// the host answered with when it was last seen awake (kept with the recent computer, or its
// answer in the neighbour table now), and the route to it. The check's screen and the command
// line word the same reasons.
#pragma once

#include "WakePacket.h"

#include <cstdint>
#include <optional>
#include <string>

struct NoWakeFacts {
    // The MAC address the host answered with when it was last seen awake.
    std::optional<MacAddress> answeredAs;
    // The gateway the route to the host goes through (network byte order).
    std::optional<std::uint32_t> router;
};

// What the device knows of `address` (IPv4, network byte order) now: the MAC address it answers
// with on its link, as the neighbour table holds it, and the router the route to it goes
// through. Asks the kernel, nothing on the network: at the end of a check the table tells what
// the check's own probes made the kernel ask the address, a moment ago.
NoWakeFacts factsNow(std::uint32_t address);
// The same for an address of either family: IPv4 tables only are read, so nothing is known of an
// IPv6 host.
NoWakeFacts factsNow(const HostAddress& address);

enum class NoWakeReason : std::uint8_t { otherMac, beyondRouter, unknown };
// The most certain reason the facts give for a packet to `typed` that woke nothing.
NoWakeReason noWakeReason(const MacAddress& typed, const NoWakeFacts& facts);
// The reason's text, naming the host as the status line does; nothing when the reason is
// unknown, which each caller words as it did before it knew reasons.
std::optional<std::wstring> noWakeText(const std::wstring& host, const MacAddress& typed,
                                       const NoWakeFacts& facts);

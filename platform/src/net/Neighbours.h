// The kernel's IPv4 neighbour table over netlink: its entries read from a dump (RTM_GETNEIGH) and
// from the kernel's notices of changes (the RTNLGRP_NEIGH group), and a way to have an address
// asked without any privilege: one empty UDP datagram to it makes the kernel send its ARP
// request. Behind SendARP and GetIpNetTable.
#pragma once

#include "wintypes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform::net::neighbours {

enum class State : std::uint8_t {
    asking,    // no answer yet (or the entry holds none)
    answered,  // an answer gave the hardware address (reachable, stale, being confirmed)
    failed,    // asked in vain
    permanent, // set by hand, or an address that needs no asking
};

struct Entry {
    std::uint32_t interfaceIndex = 0;
    std::uint32_t address = 0; // network byte order
    std::array<std::uint8_t, 8> hardware{};
    std::uint8_t hardwareLength = 0;
    State state = State::asking;
    bool removed = false; // a notice that the entry left the table
};

// Reads one buffer of netlink messages as the kernel sends them (a part of a dump, or notices):
// appends the IPv4 neighbour entries to `entries`. True when the buffer ends the dump (its done
// or error message). Any bytes at all are safe to give it.
bool parseMessages(const std::uint8_t* data, std::size_t length, std::vector<Entry>& entries);

// The whole table now; nothing when it can't be read.
std::optional<std::vector<Entry>> dumpTable();

// The kernel's notices of changes to the table, from the moment it is made.
class ChangeWatch {
public:
    ChangeWatch();
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;
    bool isOpen() const { return fd_ >= 0; }
    // Waits for notices until the device clock reaches `deadline`; the entries they tell of,
    // empty at the deadline. A clock step or TerminateThread wakes it.
    std::vector<Entry> next(DWORD deadline);

private:
    int fd_ = -1;
};

// Sends one empty UDP datagram to `address` (network byte order, port 9): the kernel asks for
// its hardware address on the way. False if it could not be sent.
bool nudge(std::uint32_t address);

// The hardware address of one of this device's own IPv4 addresses, if it is one.
std::optional<Entry> ownInterfaceEntry(std::uint32_t address);

} // namespace platform::net::neighbours

// Where a host is: an IPv4 address, or an IPv6 one with the interface a link-local address is
// reached on; and, for IPv6, where a sleeping card hears a packet: IPv6 has no broadcast, but
// every card on a link listens to the all-nodes group ff02::1.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

struct Ipv6Address {
    std::array<std::uint8_t, 16> bytes{}; // network order
    std::uint32_t scopeId = 0;            // the interface of a link-local address, else 0
    bool operator==(const Ipv6Address&) const = default;
};

// An IPv4 address (network byte order) or an IPv6 one.
using HostAddress = std::variant<std::uint32_t, Ipv6Address>;

// Whether a host text is written as an IPv6 address: it holds a ':', which no name does.
bool isIpv6Text(const std::string& host);

// The address of an IPv6 text, in brackets or not, with the interface of a link-local address
// after a '%' ("fe80::1%eth0", by name or number). Immediate, no name is looked up. Nothing for
// a text that is no IPv6 address, an interface that does not exist, and a link-local address
// without its interface (it could be on any link).
std::optional<Ipv6Address> parseIpv6(const std::string& text);

// Whether a packet may go to `address`: not to :: nor to a multicast group, except the
// all-nodes group of a link (ff02::1 with its interface), which every card there hears.
bool isWakeTarget(const Ipv6Address& address);

// ff02::1 on the interface of `host`'s link, when the device is attached to it: a link-local
// host, or one the kernel's route reaches without a gateway. Nothing for a host reached
// through a router, for this device's own addresses, and for a host that is that group itself.
std::optional<Ipv6Address> allNodesGroupFor(const Ipv6Address& host);

// The address as the status line and the command line show it: dotted, or IPv6 text with a
// link-local address's interface named after a '%' ("ff02::1%wlan0").
std::wstring addressText(const HostAddress& address);

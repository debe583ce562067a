#include "HostAddress.h"

#include <netioapi.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::array<std::uint8_t, 16> allNodes{0xff, 0x02, 0, 0, 0, 0, 0, 0,
                                                0,    0,    0, 0, 0, 0, 0, 1};

bool isLinkLocal(const Ipv6Address& address) {
    return address.bytes[0] == 0xfe && (address.bytes[1] & 0xc0) == 0x80;
}

bool isMulticast(const Ipv6Address& address) {
    return address.bytes[0] == 0xff;
}

// Link-local multicast, ff02::/16: like a link-local address, it means nothing without its link.
bool isLinkScopeMulticast(const Ipv6Address& address) {
    return isMulticast(address) && (address.bytes[1] & 0x0f) == 0x02;
}

sockaddr_in6 socketAddress(const Ipv6Address& address) {
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    std::memcpy(&in6.sin6_addr, address.bytes.data(), address.bytes.size());
    in6.sin6_scope_id = address.scopeId;
    return in6;
}

} // namespace

bool isIpv6Text(const std::string& host) {
    return host.find(':') != std::string::npos;
}

std::optional<Ipv6Address> parseIpv6(const std::string& text) {
    std::string address = text;
    if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
        address = address.substr(1, address.size() - 2);
    }
    ADDRINFOA hints{};
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_family = AF_INET6;
    ADDRINFOA* results = nullptr;
    if (!isIpv6Text(address) || getaddrinfo(address.c_str(), nullptr, &hints, &results) != 0) {
        return std::nullopt;
    }
    std::optional<Ipv6Address> found;
    if (results != nullptr && results->ai_family == AF_INET6 &&
        results->ai_addrlen >= sizeof(sockaddr_in6)) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, results->ai_addr, sizeof in6);
        found.emplace();
        std::memcpy(found->bytes.data(), &in6.sin6_addr, found->bytes.size());
        found->scopeId = in6.sin6_scope_id;
    }
    freeaddrinfo(results);
    if (found && (isLinkLocal(*found) || isLinkScopeMulticast(*found)) && found->scopeId == 0) {
        return std::nullopt;
    }
    return found;
}

bool isWakeTarget(const Ipv6Address& address) {
    const bool allZero =
        std::all_of(address.bytes.begin(), address.bytes.end(), [](auto b) { return b == 0; });
    const bool group = isMulticast(address) && address.bytes != allNodes;
    return !allZero && !group;
}

std::optional<Ipv6Address> allNodesGroupFor(const Ipv6Address& host) {
    if (host.bytes == allNodes) {
        return std::nullopt;
    }
    SOCKADDR_INET destination{};
    destination.Ipv6 = socketAddress(host);
    MIB_IPFORWARD_ROW2 route{};
    SOCKADDR_INET source{};
    if (GetBestRoute2(nullptr, 0, nullptr, &destination, 0, &route, &source) != NO_ERROR ||
        route.Loopback) {
        return std::nullopt;
    }
    const auto& nextHop = route.NextHop.Ipv6.sin6_addr.u.Byte;
    const bool throughRouter =
        std::any_of(std::begin(nextHop), std::end(nextHop), [](auto b) { return b != 0; });
    if (throughRouter) {
        return std::nullopt;
    }
    return Ipv6Address{allNodes, route.InterfaceIndex};
}

std::wstring addressText(const HostAddress& address) {
    std::string text;
    if (const auto* ipv4 = std::get_if<std::uint32_t>(&address)) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(ipv4);
        for (int i = 0; i < 4; ++i) {
            text += (i > 0 ? "." : "") + std::to_string(bytes[i]);
        }
    } else {
        const sockaddr_in6 in6 = socketAddress(std::get<Ipv6Address>(address));
        char host[NI_MAXHOST] = {};
        if (getnameinfo(reinterpret_cast<const sockaddr*>(&in6), sizeof in6, host, sizeof host,
                        nullptr, 0, NI_NUMERICHOST) == 0) {
            text = host;
        }
    }
    return std::wstring(text.begin(), text.end());
}

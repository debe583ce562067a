#include "NoWakeReason.h"

#include "LocalSubnet.h"
#include "StatusTexts.h"

#include <iphlpapi.h>

namespace {

constexpr DWORD macLength = 6;

std::wstring dotted(std::uint32_t address) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    return std::to_wstring(bytes[0]) + L'.' + std::to_wstring(bytes[1]) + L'.' +
           std::to_wstring(bytes[2]) + L'.' + std::to_wstring(bytes[3]);
}

} // namespace

NoWakeFacts factsNow(std::uint32_t address) {
    NoWakeFacts facts;
    MIB_IPFORWARDROW route{};
    if (GetBestRoute(address, 0, &route) != NO_ERROR) {
        return facts;
    }
    if (route.dwForwardType == MIB_IPROUTE_TYPE_INDIRECT) {
        facts.router = route.dwForwardNextHop;
        return facts; // beyond the router, no answer of the host's own is seen
    }
    for (const MIB_IPNETROW& row : neighbourRows()) {
        const bool answered =
            row.dwType == MIB_IPNET_TYPE_DYNAMIC || row.dwType == MIB_IPNET_TYPE_STATIC;
        if (row.dwAddr == address && row.dwIndex == route.dwForwardIfIndex && answered &&
            row.dwPhysAddrLen == macLength) {
            MacAddress mac{};
            std::copy(row.bPhysAddr, row.bPhysAddr + macLength, mac.begin());
            facts.answeredAs = mac;
        }
    }
    return facts;
}

NoWakeFacts factsNow(const HostAddress& address) {
    const auto* ipv4 = std::get_if<std::uint32_t>(&address);
    return ipv4 != nullptr ? factsNow(*ipv4) : NoWakeFacts{};
}

// A MAC address the host answered with that is not the one typed is the most certain of the
// reasons: a packet for another card wakes nothing, wherever it arrives. A router on the way
// only may not pass the packet on.
NoWakeReason noWakeReason(const MacAddress& typed, const NoWakeFacts& facts) {
    if (facts.answeredAs && *facts.answeredAs != typed) {
        return NoWakeReason::otherMac;
    }
    if (facts.router) {
        return NoWakeReason::beyondRouter;
    }
    return NoWakeReason::unknown;
}

std::optional<std::wstring> noWakeText(const std::wstring& host, const MacAddress& typed,
                                       const NoWakeFacts& facts) {
    switch (noWakeReason(typed, facts)) {
    case NoWakeReason::otherMac:
        return shownHost(host) + L" answered as " + macText(*facts.answeredAs) +
               L" when it was on: check the MAC address";
    case NoWakeReason::beyondRouter:
        return shownHost(host) + L" is beyond the router " + dotted(*facts.router) +
               L": a router passes the packet on only when it is set to forward it";
    case NoWakeReason::unknown:
        break;
    }
    return std::nullopt;
}

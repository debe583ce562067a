#include "LocalSubnet.h"

#include <iphlpapi.h>

#include <vector>

namespace {

// Netmasks of /31 and /32 (point-to-point links) leave no room for a broadcast address.
constexpr std::uint32_t pointToPointMask = 0xFFFFFFFEu;

std::uint32_t hostOrder(std::uint32_t networkOrder) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&networkOrder);
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | bytes[3];
}

bool isLoopbackNet(std::uint32_t networkOrder) {
    return (hostOrder(networkOrder) >> 24) == 127;
}

} // namespace

std::vector<MIB_IPADDRROW> ipAddressRows(bool sorted) {
    ULONG size = 0;
    if (GetIpAddrTable(nullptr, &size, sorted ? TRUE : FALSE) != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    std::vector<DWORD> storage((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    size = static_cast<ULONG>(storage.size() * sizeof(DWORD));
    auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(storage.data());
    if (GetIpAddrTable(table, &size, sorted ? TRUE : FALSE) != NO_ERROR) {
        return {};
    }
    const MIB_IPADDRROW* rows = table->table;
    return std::vector<MIB_IPADDRROW>(rows, rows + table->dwNumEntries);
}

std::vector<MIB_IPNETROW> neighbourRows() {
    for (;;) {
        ULONG size = 0;
        const DWORD asked = GetIpNetTable(nullptr, &size, FALSE);
        if (asked != ERROR_INSUFFICIENT_BUFFER) {
            return {};
        }
        std::vector<DWORD> storage((size + sizeof(DWORD) - 1) / sizeof(DWORD));
        size = static_cast<ULONG>(storage.size() * sizeof(DWORD));
        auto* table = reinterpret_cast<MIB_IPNETTABLE*>(storage.data());
        const DWORD result = GetIpNetTable(table, &size, FALSE);
        if (result == NO_ERROR) {
            return std::vector<MIB_IPNETROW>(table->table, table->table + table->dwNumEntries);
        }
        if (result != ERROR_INSUFFICIENT_BUFFER) {
            return {};
        }
        // It grew between the two calls: read it again.
    }
}

std::optional<std::uint32_t> directedBroadcastFor(std::uint32_t host) {
    MIB_IPFORWARDROW route{};
    if (isLoopbackNet(host) || GetBestRoute(host, 0, &route) != NO_ERROR ||
        route.dwForwardType != MIB_IPROUTE_TYPE_DIRECT) {
        return std::nullopt;
    }
    // The subnet the kernel's route follows: of the interface's subnets that hold the host, the
    // one of the longest prefix.
    std::optional<MIB_IPADDRROW> subnet;
    for (const MIB_IPADDRROW& row : ipAddressRows(false)) {
        const std::uint32_t mask = row.dwMask;
        const bool holdsHost =
            row.dwIndex == route.dwForwardIfIndex && (row.dwAddr & mask) == (host & mask);
        if (holdsHost && (row.wType & MIB_IPADDR_DISCONNECTED) == 0 &&
            (!subnet || hostOrder(mask) > hostOrder(subnet->dwMask))) {
            subnet = row;
        }
    }
    if (!subnet || (hostOrder(subnet->dwMask) & pointToPointMask) == pointToPointMask) {
        return std::nullopt;
    }
    const std::uint32_t broadcast = subnet->dwAddr | ~subnet->dwMask;
    if (host == broadcast) {
        return std::nullopt;
    }
    return broadcast;
}

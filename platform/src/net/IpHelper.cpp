// IP Helper over the kernel: the route to an address from a netlink route request (the kernel's
// own lookup, policy rules included), the interfaces' IPv4 addresses from getifaddrs, the
// neighbours from the kernel's neighbour table (net/Neighbours.h).
#include "iphlpapi.h"

#include "kernel/Wait.h"
#include "net/Confinement.h"
#include "net/Neighbours.h"
#include "net/Routes.h"
#include "platform/Clock.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr DWORD largestDatagram = 0xFFFF; // dwReasmSize: what the stack reassembles

class NetlinkSocket {
public:
    NetlinkSocket() : fd_(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {}
    ~NetlinkSocket() {
        if (fd_ >= 0)
            close(fd_);
    }
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

struct Route {
    DWORD index = 0;
    IPAddr gateway = 0; // none on a directly attached link
};

// The kernel's IPv4 route to `destination`, as routes::routeTo finds it.
DWORD routeTo(IPAddr destination, Route& found) {
    platform::net::routes::Route route;
    const DWORD result = platform::net::routes::routeTo(
        platform::net::routes::Family::ipv4, reinterpret_cast<const std::uint8_t*>(&destination), 0,
        route);
    found.index = route.interfaceIndex;
    if (route.hasGateway)
        std::memcpy(&found.gateway, route.gateway.data(), sizeof found.gateway);
    return result;
}

IPAddr addressOf(const sockaddr* address) {
    IPAddr value = 0;
    if (address != nullptr && address->sa_family == AF_INET)
        value = reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr;
    return value;
}

// An address label ("eth0:1") names its interface before the colon.
DWORD interfaceIndex(const char* label) {
    std::string name(label);
    name = name.substr(0, name.find(':'));
    return if_nametoindex(name.c_str());
}

std::vector<MIB_IPADDRROW> addressRows(bool sorted) {
    std::vector<MIB_IPADDRROW> rows;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return rows;
    std::vector<DWORD> seenInterfaces;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        MIB_IPADDRROW row{};
        row.dwAddr = addressOf(entry->ifa_addr);
        if (platform::net::confinedToLoopback() && !platform::net::isLoopbackIPv4(row.dwAddr))
            continue;
        row.dwIndex = interfaceIndex(entry->ifa_name);
        row.dwMask = addressOf(entry->ifa_netmask);
        if ((entry->ifa_flags & IFF_BROADCAST) != 0)
            row.dwBCastAddr = addressOf(entry->ifa_broadaddr);
        row.dwReasmSize = largestDatagram;
        if (std::find(seenInterfaces.begin(), seenInterfaces.end(), row.dwIndex) ==
            seenInterfaces.end()) {
            row.wType |= MIB_IPADDR_PRIMARY;
            seenInterfaces.push_back(row.dwIndex);
        }
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_RUNNING) == 0)
            row.wType |= MIB_IPADDR_DISCONNECTED;
        rows.push_back(row);
    }
    freeifaddrs(list);
    if (sorted) {
        std::sort(rows.begin(), rows.end(),
                  [](const auto& a, const auto& b) { return ntohl(a.dwAddr) < ntohl(b.dwAddr); });
    }
    return rows;
}

} // namespace

namespace platform::net::routes {

DWORD routeTo(Family family, const std::uint8_t* destination, std::uint32_t outInterface,
              Route& found) {
    NetlinkSocket netlink;
    if (netlink.fd() < 0)
        return ERROR_CAN_NOT_COMPLETE;
    const std::size_t length = family == Family::ipv4 ? 4 : 16;
    alignas(nlmsghdr) std::uint8_t
        request[NLMSG_SPACE(sizeof(rtmsg)) + RTA_SPACE(16) + RTA_SPACE(sizeof outInterface)] = {};
    auto* header = reinterpret_cast<nlmsghdr*>(request);
    header->nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    header->nlmsg_type = RTM_GETROUTE;
    header->nlmsg_flags = NLM_F_REQUEST;
    header->nlmsg_seq = 1;
    auto* asked = static_cast<rtmsg*>(NLMSG_DATA(header));
    asked->rtm_family = family == Family::ipv4 ? AF_INET : AF_INET6;
    asked->rtm_dst_len = static_cast<unsigned char>(8 * length);
    const auto append = [header](unsigned short type, const void* data, std::size_t size) {
        auto* attribute = reinterpret_cast<rtattr*>(reinterpret_cast<std::uint8_t*>(header) +
                                                    NLMSG_ALIGN(header->nlmsg_len));
        attribute->rta_type = type;
        attribute->rta_len = static_cast<unsigned short>(RTA_LENGTH(size));
        std::memcpy(RTA_DATA(attribute), data, size);
        header->nlmsg_len = NLMSG_ALIGN(header->nlmsg_len) + RTA_SPACE(size);
    };
    append(RTA_DST, destination, length);
    if (outInterface != 0)
        append(RTA_OIF, &outInterface, sizeof outInterface);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(netlink.fd(), request, header->nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) < 0)
        return ERROR_CAN_NOT_COMPLETE;
    alignas(nlmsghdr) char reply[8192];
    const ssize_t got = ::recv(netlink.fd(), reply, sizeof reply, 0);
    if (got < 0)
        return ERROR_CAN_NOT_COMPLETE;
    auto* answer = reinterpret_cast<nlmsghdr*>(reply);
    for (auto left = static_cast<unsigned>(got); NLMSG_OK(answer, left);
         answer = NLMSG_NEXT(answer, left)) {
        if (answer->nlmsg_type == NLMSG_ERROR) {
            const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(answer));
            return error->error == 0 ? ERROR_CAN_NOT_COMPLETE : ERROR_NETWORK_UNREACHABLE;
        }
        if (answer->nlmsg_type != RTM_NEWROUTE)
            continue;
        auto* route = static_cast<rtmsg*>(NLMSG_DATA(answer));
        if (route->rtm_type != RTN_UNICAST && route->rtm_type != RTN_LOCAL &&
            route->rtm_type != RTN_BROADCAST)
            return ERROR_NETWORK_UNREACHABLE;
        found = Route{};
        found.local = route->rtm_type == RTN_LOCAL;
        int payload = static_cast<int>(RTM_PAYLOAD(answer));
        bool hasInterface = false;
        for (auto* attribute = RTM_RTA(route); RTA_OK(attribute, payload);
             attribute = RTA_NEXT(attribute, payload)) {
            if (attribute->rta_type == RTA_OIF) {
                std::memcpy(&found.interfaceIndex, RTA_DATA(attribute),
                            sizeof found.interfaceIndex);
                hasInterface = true;
            } else if (attribute->rta_type == RTA_GATEWAY && RTA_PAYLOAD(attribute) == length) {
                std::memcpy(found.gateway.data(), RTA_DATA(attribute), length);
                found.hasGateway = true;
            } else if (attribute->rta_type == RTA_PREFSRC && RTA_PAYLOAD(attribute) == length) {
                std::memcpy(found.source.data(), RTA_DATA(attribute), length);
            }
        }
        return hasInterface ? NO_ERROR : ERROR_NETWORK_UNREACHABLE;
    }
    return ERROR_NETWORK_UNREACHABLE;
}

} // namespace platform::net::routes

DWORD WINAPI GetBestInterface(IPAddr dwDestAddr, PDWORD pdwBestIfIndex) {
    platform::kernel::cancellationPoint();
    if (pdwBestIfIndex == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (platform::net::confinedToLoopback() && !platform::net::isLoopbackIPv4(dwDestAddr))
        return ERROR_NETWORK_UNREACHABLE;
    Route route;
    const DWORD result = routeTo(dwDestAddr, route);
    if (result == NO_ERROR)
        *pdwBestIfIndex = route.index;
    return result;
}

DWORD WINAPI GetBestRoute(DWORD dwDestAddr, DWORD, PMIB_IPFORWARDROW pBestRoute) {
    platform::kernel::cancellationPoint();
    if (pBestRoute == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (platform::net::confinedToLoopback() && !platform::net::isLoopbackIPv4(dwDestAddr))
        return ERROR_NETWORK_UNREACHABLE;
    Route route;
    const DWORD result = routeTo(dwDestAddr, route);
    if (result != NO_ERROR)
        return result;
    *pBestRoute = MIB_IPFORWARDROW{};
    pBestRoute->dwForwardDest = dwDestAddr;
    pBestRoute->dwForwardMask = 0xFFFFFFFFu;
    pBestRoute->dwForwardIfIndex = route.index;
    pBestRoute->dwForwardNextHop = route.gateway != 0 ? route.gateway : dwDestAddr;
    pBestRoute->dwForwardType =
        route.gateway != 0 ? MIB_IPROUTE_TYPE_INDIRECT : MIB_IPROUTE_TYPE_DIRECT;
    return NO_ERROR;
}

DWORD WINAPI GetIpAddrTable(PMIB_IPADDRTABLE pIpAddrTable, PULONG pdwSize, BOOL bOrder) {
    platform::kernel::cancellationPoint();
    if (pdwSize == nullptr)
        return ERROR_INVALID_PARAMETER;
    const std::vector<MIB_IPADDRROW> rows = addressRows(bOrder != FALSE);
    const std::size_t needed =
        std::max(sizeof(MIB_IPADDRTABLE),
                 offsetof(MIB_IPADDRTABLE, table) + rows.size() * sizeof(MIB_IPADDRROW));
    if (pIpAddrTable == nullptr || *pdwSize < needed) {
        *pdwSize = static_cast<ULONG>(needed);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    pIpAddrTable->dwNumEntries = static_cast<DWORD>(rows.size());
    std::memcpy(pIpAddrTable->table, rows.data(), rows.size() * sizeof(MIB_IPADDRROW));
    return NO_ERROR;
}

namespace {

using platform::net::neighbours::Entry;
using platform::net::neighbours::State;

// How long SendARP waits for the kernel after asking: the kernel gives up after three requests a
// second apart.
constexpr DWORD askingTimeoutMs = 3500;

DWORD typeOf(State state) {
    switch (state) {
    case State::answered:
        return MIB_IPNET_TYPE_DYNAMIC;
    case State::permanent:
        return MIB_IPNET_TYPE_STATIC;
    case State::failed:
        return MIB_IPNET_TYPE_INVALID;
    case State::asking:
        break;
    }
    return MIB_IPNET_TYPE_OTHER;
}

bool hasAnswer(const Entry& entry) {
    return (entry.state == State::answered || entry.state == State::permanent) &&
           entry.hardwareLength > 0;
}

DWORD giveHardwareAddress(const Entry& entry, PULONG pMacAddr, PULONG PhyAddrLen) {
    if (*PhyAddrLen < entry.hardwareLength) {
        *PhyAddrLen = entry.hardwareLength;
        return ERROR_BUFFER_OVERFLOW;
    }
    std::memcpy(pMacAddr, entry.hardware.data(), entry.hardwareLength);
    *PhyAddrLen = entry.hardwareLength;
    return NO_ERROR;
}

// The state of `address` in the table as it is now: an answer, a failure, or still asking.
std::optional<Entry> lookUpEntry(IPAddr address, DWORD index, bool& readable) {
    const auto table = platform::net::neighbours::dumpTable();
    readable = table.has_value();
    if (table) {
        for (const Entry& entry : *table) {
            if (entry.address == address && entry.interfaceIndex == index && !entry.removed)
                return entry;
        }
    }
    return std::nullopt;
}

} // namespace

DWORD WINAPI SendARP(IPAddr DestIP, IPAddr, PULONG pMacAddr, PULONG PhyAddrLen) {
    platform::kernel::cancellationPoint();
    if (pMacAddr == nullptr || PhyAddrLen == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (platform::net::confinedToLoopback() || platform::net::isLoopbackIPv4(DestIP))
        return ERROR_BAD_NET_NAME;
    if (const auto own = platform::net::neighbours::ownInterfaceEntry(DestIP))
        return giveHardwareAddress(*own, pMacAddr, PhyAddrLen);
    Route route;
    if (routeTo(DestIP, route) != NO_ERROR || route.gateway != 0)
        return ERROR_BAD_NET_NAME;
    // Watching before looking: an answer between the look and the wait is not missed.
    platform::net::neighbours::ChangeWatch watch;
    bool readable = false;
    auto known = lookUpEntry(DestIP, route.index, readable);
    if (!readable || !watch.isOpen())
        return ERROR_GEN_FAILURE;
    if (known && hasAnswer(*known))
        return giveHardwareAddress(*known, pMacAddr, PhyAddrLen);
    if (!platform::net::neighbours::nudge(DestIP))
        return ERROR_BAD_NET_NAME;
    const DWORD deadline = platform::clock::now() + askingTimeoutMs;
    for (;;) {
        const auto changes = watch.next(deadline);
        if (changes.empty())
            return ERROR_BAD_NET_NAME;
        known = lookUpEntry(DestIP, route.index, readable);
        if (known && hasAnswer(*known))
            return giveHardwareAddress(*known, pMacAddr, PhyAddrLen);
        if (known && known->state == State::failed)
            return ERROR_BAD_NET_NAME;
    }
}

DWORD WINAPI GetIpNetTable(PMIB_IPNETTABLE pIpNetTable, PULONG pdwSize, BOOL bOrder) {
    platform::kernel::cancellationPoint();
    if (pdwSize == nullptr)
        return ERROR_INVALID_PARAMETER;
    const auto table = platform::net::neighbours::dumpTable();
    if (!table)
        return ERROR_GEN_FAILURE;
    std::vector<MIB_IPNETROW> rows;
    for (const Entry& entry : *table) {
        if (entry.removed || entry.state == State::asking ||
            (platform::net::confinedToLoopback() && !platform::net::isLoopbackIPv4(entry.address)))
            continue;
        MIB_IPNETROW row{};
        row.dwIndex = entry.interfaceIndex;
        row.dwAddr = entry.address;
        row.dwType = typeOf(entry.state);
        if (entry.state != State::failed) {
            row.dwPhysAddrLen = entry.hardwareLength;
            std::memcpy(row.bPhysAddr, entry.hardware.data(), entry.hardwareLength);
        }
        rows.push_back(row);
    }
    if (rows.empty())
        return ERROR_NO_DATA;
    if (bOrder) {
        std::sort(rows.begin(), rows.end(),
                  [](const auto& a, const auto& b) { return ntohl(a.dwAddr) < ntohl(b.dwAddr); });
    }
    const std::size_t needed = offsetof(MIB_IPNETTABLE, table) + rows.size() * sizeof(MIB_IPNETROW);
    if (pIpNetTable == nullptr || *pdwSize < needed) {
        *pdwSize = static_cast<ULONG>(needed);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    pIpNetTable->dwNumEntries = static_cast<DWORD>(rows.size());
    std::memcpy(pIpNetTable->table, rows.data(), rows.size() * sizeof(MIB_IPNETROW));
    return NO_ERROR;
}

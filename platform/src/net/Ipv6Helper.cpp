// The IP Helper's calls that take Winsock's address records (GetBestRoute2, Icmp6SendEcho2):
// they read the records here and leave the work to the kernel's side (net/Routes.h,
// net/Echo.h), whose host socket headers can't meet winsock2.h.
#include "icmpapi.h"
#include "iphlpapi.h"
#include "netioapi.h"
#include "winbase.h"

#include "kernel/Wait.h"
#include "net/Confinement.h"
#include "net/Echo.h"
#include "net/Routes.h"

#include <cstring>

namespace {

using platform::net::routes::Family;

std::array<std::uint8_t, 16> bytesOf(const in6_addr& address) {
    std::array<std::uint8_t, 16> bytes{};
    std::memcpy(bytes.data(), &address, bytes.size());
    return bytes;
}

bool isLinkLocal(const std::array<std::uint8_t, 16>& address) {
    return address[0] == 0xfe && (address[1] & 0xc0) == 0x80;
}

} // namespace

DWORD WINAPI GetBestRoute2(NET_LUID*, NET_IFINDEX InterfaceIndex, const SOCKADDR_INET*,
                           const SOCKADDR_INET* DestinationAddress, ULONG,
                           PMIB_IPFORWARD_ROW2 BestRoute, SOCKADDR_INET* BestSourceAddress) {
    platform::kernel::cancellationPoint();
    if (DestinationAddress == nullptr || BestRoute == nullptr || BestSourceAddress == nullptr)
        return ERROR_INVALID_PARAMETER;
    const ADDRESS_FAMILY family = DestinationAddress->si_family;
    if (family != AF_INET && family != AF_INET6)
        return ERROR_INVALID_PARAMETER;
    std::array<std::uint8_t, 16> destination{};
    NET_IFINDEX outInterface = InterfaceIndex;
    if (family == AF_INET6) {
        destination = bytesOf(DestinationAddress->Ipv6.sin6_addr);
        if (outInterface == 0 && isLinkLocal(destination))
            outInterface = DestinationAddress->Ipv6.sin6_scope_id;
    } else {
        std::memcpy(destination.data(), &DestinationAddress->Ipv4.sin_addr, 4);
    }
    const bool loopback =
        family == AF_INET6
            ? platform::net::isLoopbackIPv6(destination)
            : platform::net::isLoopbackIPv4(DestinationAddress->Ipv4.sin_addr.s_addr);
    if (platform::net::confinedToLoopback() && !loopback)
        return ERROR_NETWORK_UNREACHABLE;
    platform::net::routes::Route route;
    const DWORD result = platform::net::routes::routeTo(
        family == AF_INET6 ? Family::ipv6 : Family::ipv4, destination.data(), outInterface, route);
    if (result != NO_ERROR)
        return result;
    *BestRoute = MIB_IPFORWARD_ROW2{};
    *BestSourceAddress = SOCKADDR_INET{};
    BestRoute->InterfaceIndex = route.interfaceIndex;
    BestRoute->DestinationPrefix.Prefix = *DestinationAddress;
    BestRoute->NextHop.si_family = family;
    BestSourceAddress->si_family = family;
    if (family == AF_INET6) {
        BestRoute->DestinationPrefix.PrefixLength = 128;
        BestRoute->DestinationPrefix.Prefix.Ipv6.sin6_port = 0;
        if (route.hasGateway)
            std::memcpy(&BestRoute->NextHop.Ipv6.sin6_addr, route.gateway.data(), 16);
        std::memcpy(&BestSourceAddress->Ipv6.sin6_addr, route.source.data(), 16);
    } else {
        BestRoute->DestinationPrefix.PrefixLength = 32;
        BestRoute->DestinationPrefix.Prefix.Ipv4.sin_port = 0;
        if (route.hasGateway)
            std::memcpy(&BestRoute->NextHop.Ipv4.sin_addr, route.gateway.data(), 4);
        std::memcpy(&BestSourceAddress->Ipv4.sin_addr, route.source.data(), 4);
    }
    BestRoute->Protocol = route.hasGateway ? RouteProtocolOther : RouteProtocolLocal;
    BestRoute->Loopback = route.local ? TRUE : FALSE;
    BestRoute->Origin = NlroManual;
    return NO_ERROR;
}

DWORD WINAPI Icmp6SendEcho2(HANDLE IcmpHandle, HANDLE Event, FARPROC ApcRoutine, PVOID,
                            sockaddr_in6*, sockaddr_in6* DestinationAddress, LPVOID RequestData,
                            WORD RequestSize, PIP_OPTION_INFORMATION, LPVOID ReplyBuffer,
                            DWORD ReplySize, DWORD Timeout) {
    if (Event != nullptr || ApcRoutine != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    if (DestinationAddress == nullptr || DestinationAddress->sin6_family != AF_INET6) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    platform::net::echo::Destination destination;
    destination.ipv6 = true;
    destination.address = bytesOf(DestinationAddress->sin6_addr);
    destination.scopeId = DestinationAddress->sin6_scope_id;
    return platform::net::echo::send(IcmpHandle, destination, RequestData, RequestSize, ReplyBuffer,
                                     ReplySize, Timeout);
}

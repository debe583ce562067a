// The IP Helper's calls for either address family: the route the stack takes to an address.
// Needs Winsock's address records (ws2ipdef.h), so it is a header of its own beside iphlpapi.h.
#pragma once

#include "iphlpapi.h"
#include "ws2ipdef.h"

using NET_IFINDEX = ULONG;

union NET_LUID {
    ULONGLONG Value;
    struct {
        ULONGLONG Reserved : 24;
        ULONGLONG NetLuidIndex : 24;
        ULONGLONG IfType : 16;
    } Info;
};
using PNET_LUID = NET_LUID*;

struct IP_ADDRESS_PREFIX {
    SOCKADDR_INET Prefix;
    UCHAR PrefixLength;
};

enum NL_ROUTE_PROTOCOL {
    RouteProtocolOther = 1,
    RouteProtocolLocal = 2, // the stack's own route (an attached prefix, an own address)
};

enum NL_ROUTE_ORIGIN {
    NlroManual = 0,
};

// One route of either family.
struct MIB_IPFORWARD_ROW2 {
    NET_LUID InterfaceLuid;
    NET_IFINDEX InterfaceIndex;
    IP_ADDRESS_PREFIX DestinationPrefix;
    SOCKADDR_INET NextHop; // all zeros for a destination on the link
    UCHAR SitePrefixLength;
    ULONG ValidLifetime;
    ULONG PreferredLifetime;
    ULONG Metric;
    NL_ROUTE_PROTOCOL Protocol;
    BOOLEAN Loopback; // the destination is one of this device's own addresses
    BOOLEAN AutoconfigureAddress;
    BOOLEAN Publish;
    BOOLEAN Immortal;
    ULONG Age;
    NL_ROUTE_ORIGIN Origin;
};
using PMIB_IPFORWARD_ROW2 = MIB_IPFORWARD_ROW2*;

// The route the kernel takes to DestinationAddress (IPv4 or IPv6; a link-local IPv6 address
// leaves by the interface of its sin6_scope_id, or by InterfaceIndex when that is not 0): its
// interface, and its next hop (a gateway, or all zeros when the destination is on the link).
// The destination prefix given is the destination itself, whole.
// BestSourceAddress gets the address the kernel sends from. InterfaceLuid, SourceAddress and
// AddressSortOptions are ignored. NO_ERROR; ERROR_INVALID_PARAMETER for a null destination,
// route or source, or a family that is neither; ERROR_NETWORK_UNREACHABLE when no route leads
// there; ERROR_CAN_NOT_COMPLETE when the table can't be read.
DWORD WINAPI GetBestRoute2(NET_LUID* InterfaceLuid, NET_IFINDEX InterfaceIndex,
                           const SOCKADDR_INET* SourceAddress,
                           const SOCKADDR_INET* DestinationAddress, ULONG AddressSortOptions,
                           PMIB_IPFORWARD_ROW2 BestRoute, SOCKADDR_INET* BestSourceAddress);

// The IP Helper's interface address table.
#pragma once

#include "ipexport.h"

// MIB_IPADDRROW's wType flags.
inline constexpr USHORT MIB_IPADDR_PRIMARY = 0x0001;
inline constexpr USHORT MIB_IPADDR_DYNAMIC = 0x0004;
inline constexpr USHORT MIB_IPADDR_DISCONNECTED = 0x0008;
inline constexpr USHORT MIB_IPADDR_DELETED = 0x0040;
inline constexpr USHORT MIB_IPADDR_TRANSIENT = 0x0080;

// One IPv4 address of an interface; addresses and mask in network byte order.
struct MIB_IPADDRROW {
    DWORD dwAddr;
    DWORD dwIndex; // the interface, as GetBestInterface names it
    DWORD dwMask;
    DWORD dwBCastAddr;
    DWORD dwReasmSize;
    USHORT unused1;
    USHORT wType;
};
using PMIB_IPADDRROW = MIB_IPADDRROW*;

// dwNumEntries rows follow one another; the table is as long as its rows need.
struct MIB_IPADDRTABLE {
    DWORD dwNumEntries;
    MIB_IPADDRROW table[1];
};
using PMIB_IPADDRTABLE = MIB_IPADDRTABLE*;

// MIB_IPNETROW's dwType: how the neighbour entry came to be.
inline constexpr DWORD MIB_IPNET_TYPE_OTHER = 1;
inline constexpr DWORD MIB_IPNET_TYPE_INVALID = 2; // asked, never answered
inline constexpr DWORD MIB_IPNET_TYPE_DYNAMIC = 3; // learnt from an answer
inline constexpr DWORD MIB_IPNET_TYPE_STATIC = 4;  // set by hand

inline constexpr DWORD MAXLEN_PHYSADDR = 8;

// One entry of the neighbour (ARP) table: an IPv4 address (network byte order) and the hardware
// address that answers for it on interface dwIndex.
struct MIB_IPNETROW {
    DWORD dwIndex;
    DWORD dwPhysAddrLen;
    BYTE bPhysAddr[MAXLEN_PHYSADDR];
    DWORD dwAddr;
    DWORD dwType;
};
using PMIB_IPNETROW = MIB_IPNETROW*;

struct MIB_IPNETTABLE {
    DWORD dwNumEntries;
    MIB_IPNETROW table[1];
};
using PMIB_IPNETTABLE = MIB_IPNETTABLE*;

// MIB_IPFORWARDROW's dwForwardType.
inline constexpr DWORD MIB_IPROUTE_TYPE_DIRECT = 3;   // the destination is on the link
inline constexpr DWORD MIB_IPROUTE_TYPE_INDIRECT = 4; // through the next hop, a gateway

// One route; addresses and mask in network byte order.
struct MIB_IPFORWARDROW {
    DWORD dwForwardDest;
    DWORD dwForwardMask;
    DWORD dwForwardPolicy;
    DWORD dwForwardNextHop;
    DWORD dwForwardIfIndex;
    DWORD dwForwardType;
    DWORD dwForwardProto;
    DWORD dwForwardAge;
    DWORD dwForwardNextHopAS;
    DWORD dwForwardMetric1;
    DWORD dwForwardMetric2;
    DWORD dwForwardMetric3;
    DWORD dwForwardMetric4;
    DWORD dwForwardMetric5;
};
using PMIB_IPFORWARDROW = MIB_IPFORWARDROW*;

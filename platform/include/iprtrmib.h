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

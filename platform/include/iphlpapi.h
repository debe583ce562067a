// IP Helper: which interface and route reach an address, the IPv4 addresses of the interfaces,
// and the neighbours on the attached links with their hardware addresses.
#pragma once

#include "iprtrmib.h"

#ifndef ERROR_NOT_SUPPORTED
#define ERROR_NOT_SUPPORTED 50L
#endif
#ifndef ERROR_CAN_NOT_COMPLETE
#define ERROR_CAN_NOT_COMPLETE 1003L
#endif
#ifndef ERROR_GEN_FAILURE
#define ERROR_GEN_FAILURE 31L
#endif
#ifndef ERROR_BAD_NET_NAME
#define ERROR_BAD_NET_NAME 67L
#endif
#ifndef ERROR_BUFFER_OVERFLOW
#define ERROR_BUFFER_OVERFLOW 111L
#endif
#ifndef ERROR_NO_DATA
#define ERROR_NO_DATA 232L
#endif
#ifndef ERROR_NOT_FOUND
#define ERROR_NOT_FOUND 1168L
#endif
#ifndef ERROR_NETWORK_UNREACHABLE
#define ERROR_NETWORK_UNREACHABLE 1231L
#endif

// The index of the interface the routing table sends `dwDestAddr` (network byte order) through.
// NO_ERROR, ERROR_INVALID_PARAMETER for a null out-parameter, ERROR_NETWORK_UNREACHABLE when no
// route leads there, ERROR_CAN_NOT_COMPLETE when the table can't be read.
DWORD WINAPI GetBestInterface(IPAddr dwDestAddr, PDWORD pdwBestIfIndex);

// The interfaces' IPv4 addresses, sorted by address when bOrder is TRUE. NO_ERROR; or
// ERROR_INSUFFICIENT_BUFFER with the size needed in *pdwSize (the table untouched) when
// pIpAddrTable is null or *pdwSize is too small; ERROR_INVALID_PARAMETER for a null pdwSize.
DWORD WINAPI GetIpAddrTable(PMIB_IPADDRTABLE pIpAddrTable, PULONG pdwSize, BOOL bOrder);

// The route the kernel takes to `dwDestAddr` (network byte order): its interface, its next hop
// (the destination itself on a directly attached link, MIB_IPROUTE_TYPE_DIRECT; the gateway
// otherwise, MIB_IPROUTE_TYPE_INDIRECT). dwSourceAddr is ignored. The same results as
// GetBestInterface.
DWORD WINAPI GetBestRoute(DWORD dwDestAddr, DWORD dwSourceAddr, PMIB_IPFORWARDROW pBestRoute);

// The hardware address of `DestIP` on a directly attached link, into pMacAddr (*PhyAddrLen bytes
// of room, at least 6; the length written back). Taken from the neighbour table when the entry
// is known, otherwise the address is asked (one UDP datagram sets off the kernel's ARP request)
// and the call waits for the answer, or for the kernel to give up (about 3 s). One of this
// device's own addresses gives its interface's address. SrcIP is ignored. NO_ERROR;
// ERROR_BAD_NET_NAME when nothing answered or the address is not on an attached link;
// ERROR_BUFFER_OVERFLOW with the needed length when the room is too small;
// ERROR_INVALID_PARAMETER for null pointers; ERROR_GEN_FAILURE when the table can't be read.
DWORD WINAPI SendARP(IPAddr DestIP, IPAddr SrcIP, PULONG pMacAddr, PULONG PhyAddrLen);

// The neighbour table: every IPv4 neighbour the kernel knows (answered: DYNAMIC or STATIC; asked
// in vain: INVALID); an address still being asked is not in it yet. Sorted by address when
// bOrder is TRUE. NO_ERROR; ERROR_NO_DATA for an empty table; ERROR_INSUFFICIENT_BUFFER with
// the size needed in *pdwSize when pIpNetTable is null or *pdwSize too small;
// ERROR_INVALID_PARAMETER for a null pdwSize; ERROR_GEN_FAILURE when it can't be read.
DWORD WINAPI GetIpNetTable(PMIB_IPNETTABLE pIpNetTable, PULONG pdwSize, BOOL bOrder);

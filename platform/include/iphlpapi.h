// IP Helper: which interface reaches an address, and the IPv4 addresses of the interfaces.
#pragma once

#include "iprtrmib.h"

#ifndef ERROR_NOT_SUPPORTED
#define ERROR_NOT_SUPPORTED 50L
#endif
#ifndef ERROR_CAN_NOT_COMPLETE
#define ERROR_CAN_NOT_COMPLETE 1003L
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

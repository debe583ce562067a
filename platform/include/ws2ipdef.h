// Winsock's IP definitions beside winsock2.h's: one record that holds an address of either
// family, as the IP Helper's newer calls take it.
#pragma once

#include "winsock2.h"

namespace platform::winsock {

union SOCKADDR_INET {
    sockaddr_in Ipv4;
    sockaddr_in6 Ipv6;
    ADDRESS_FAMILY si_family;
};
using PSOCKADDR_INET = SOCKADDR_INET*;

} // namespace platform::winsock

using platform::winsock::PSOCKADDR_INET;
using platform::winsock::SOCKADDR_INET;

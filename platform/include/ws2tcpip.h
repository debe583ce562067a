// Winsock 2's name resolution: getaddrinfo and its result records, in Winsock's member order and
// with Winsock's flag and error values.
#pragma once

#include "winsock2.h"

namespace platform::winsock {

struct addrinfo {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    std::size_t ai_addrlen;
    char* ai_canonname;
    sockaddr* ai_addr;
    addrinfo* ai_next;
};
using ADDRINFOA = addrinfo;
using PADDRINFOA = addrinfo*;

inline constexpr int AI_PASSIVE = 0x01;
inline constexpr int AI_CANONNAME = 0x02;
inline constexpr int AI_NUMERICHOST = 0x04;
inline constexpr int AI_NUMERICSERV = 0x08;
inline constexpr int AI_ALL = 0x0100;
inline constexpr int AI_ADDRCONFIG = 0x0400;
inline constexpr int AI_V4MAPPED = 0x0800;

// getaddrinfo's results are Winsock error codes.
inline constexpr int EAI_AGAIN = WSATRY_AGAIN;
inline constexpr int EAI_BADFLAGS = WSAEINVAL;
inline constexpr int EAI_FAIL = WSANO_RECOVERY;
inline constexpr int EAI_FAMILY = WSAEAFNOSUPPORT;
inline constexpr int EAI_MEMORY = WSA_NOT_ENOUGH_MEMORY;
inline constexpr int EAI_NONAME = WSAHOST_NOT_FOUND;
inline constexpr int EAI_NODATA = EAI_NONAME;
inline constexpr int EAI_SERVICE = WSATYPE_NOT_FOUND;
inline constexpr int EAI_SOCKTYPE = WSAESOCKTNOSUPPORT;

// Resolves `nodename` and `servname` (either may be null, not both). Returns 0 and a list to
// release with freeaddrinfo, or a Winsock error code (also left for WSAGetLastError). A numeric
// service outside 0..65535 is refused with EAI_SERVICE.
int getaddrinfo(const char* nodename, const char* servname, const ADDRINFOA* hints,
                PADDRINFOA* res);
void freeaddrinfo(PADDRINFOA ai);

} // namespace platform::winsock

using platform::winsock::addrinfo;
using platform::winsock::ADDRINFOA;
using platform::winsock::PADDRINFOA;

using platform::winsock::AI_ADDRCONFIG;
using platform::winsock::AI_ALL;
using platform::winsock::AI_CANONNAME;
using platform::winsock::AI_NUMERICHOST;
using platform::winsock::AI_NUMERICSERV;
using platform::winsock::AI_PASSIVE;
using platform::winsock::AI_V4MAPPED;

using platform::winsock::EAI_AGAIN;
using platform::winsock::EAI_BADFLAGS;
using platform::winsock::EAI_FAIL;
using platform::winsock::EAI_FAMILY;
using platform::winsock::EAI_MEMORY;
using platform::winsock::EAI_NODATA;
using platform::winsock::EAI_NONAME;
using platform::winsock::EAI_SERVICE;
using platform::winsock::EAI_SOCKTYPE;

using platform::winsock::freeaddrinfo;
using platform::winsock::getaddrinfo;

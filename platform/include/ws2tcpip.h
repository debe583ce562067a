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

// getnameinfo's flags and buffer sizes.
inline constexpr int NI_NOFQDN = 0x01;
inline constexpr int NI_NUMERICHOST = 0x02;
inline constexpr int NI_NAMEREQD = 0x04; // fail rather than give the address as text
inline constexpr int NI_NUMERICSERV = 0x08;
inline constexpr int NI_DGRAM = 0x10;
inline constexpr DWORD NI_MAXHOST = 1025;
inline constexpr DWORD NI_MAXSERV = 32;

// The name of an address (and of its port), into the caller's buffers. Returns 0, or a Winsock
// error code (also left for WSAGetLastError): EAI_NONAME when NI_NAMEREQD is given and the
// address has no name, WSAEFAULT when a buffer is too small. A TerminateThread ends the wait.
int getnameinfo(const sockaddr* pSockaddr, int SockaddrLength, char* pNodeBuffer,
                DWORD NodeBufferSize, char* pServiceBuffer, DWORD ServiceBufferSize, int Flags);

// IPPROTO_IP options (setsockopt).
inline constexpr int IP_MULTICAST_IF = 9; // an IPv4 address (network order) of the interface
inline constexpr int IP_MULTICAST_TTL = 10;

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
using platform::winsock::getnameinfo;
using platform::winsock::IP_MULTICAST_IF;
using platform::winsock::IP_MULTICAST_TTL;
using platform::winsock::NI_DGRAM;
using platform::winsock::NI_MAXHOST;
using platform::winsock::NI_MAXSERV;
using platform::winsock::NI_NAMEREQD;
using platform::winsock::NI_NOFQDN;
using platform::winsock::NI_NUMERICHOST;
using platform::winsock::NI_NUMERICSERV;

// Winsock 2 as Windows CE provides it: Winsock's types, layouts and constant values (which are
// not the host's), over the host's sockets. The names live in platform::winsock and are brought
// into the global namespace, so they never meet the host's own socket declarations at link
// time. A translation unit includes either this header or the host's socket headers, not both.
#pragma once

#include "wintypes.h"

#include <bit>

namespace platform::winsock {

using SOCKET = UINT_PTR;
using u_char = unsigned char;
using u_short = unsigned short;
using u_int = unsigned int;
// 32 bits, as on the platform (the host's C library has its own, wider u_long).
using u_long = std::uint32_t;
using ADDRESS_FAMILY = USHORT;

inline constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
inline constexpr int SOCKET_ERROR = -1;

// WSAStartup's description of the implementation (the 32-bit member order of Windows CE).
inline constexpr int WSADESCRIPTION_LEN = 256;
inline constexpr int WSASYS_STATUS_LEN = 128;
struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};
using LPWSADATA = WSADATA*;

struct in_addr {
    union {
        struct {
            u_char s_b1, s_b2, s_b3, s_b4;
        } S_un_b;
        struct {
            u_short s_w1, s_w2;
        } S_un_w;
        u_long S_addr;
    } S_un;
};
using IN_ADDR = in_addr;

struct sockaddr {
    u_short sa_family;
    char sa_data[14];
};

struct sockaddr_in {
    short sin_family;
    u_short sin_port;
    in_addr sin_addr;
    char sin_zero[8];
};

struct in6_addr {
    union {
        u_char Byte[16];
        u_short Word[8];
    } u;
};

struct sockaddr_in6 {
    short sin6_family;
    u_short sin6_port;
    u_long sin6_flowinfo;
    in6_addr sin6_addr;
    u_long sin6_scope_id;
};

inline constexpr std::size_t SS_MAXSIZE = 128;
struct alignas(8) sockaddr_storage {
    short ss_family;
    char ss_pad[SS_MAXSIZE - sizeof(short)];
};

using SOCKADDR = sockaddr;
using PSOCKADDR = sockaddr*;
using LPSOCKADDR = sockaddr*;
using SOCKADDR_IN = sockaddr_in;
using PSOCKADDR_IN = sockaddr_in*;
using LPSOCKADDR_IN = sockaddr_in*;
using SOCKADDR_IN6 = sockaddr_in6;
using SOCKADDR_STORAGE = sockaddr_storage;

static_assert(sizeof(sockaddr) == 16);
static_assert(sizeof(sockaddr_in) == 16);
static_assert(sizeof(sockaddr_in6) == 28);

// Address families, socket types and protocols (Winsock's values).
inline constexpr int AF_UNSPEC = 0;
inline constexpr int AF_INET = 2;
inline constexpr int AF_INET6 = 23;
inline constexpr int PF_UNSPEC = AF_UNSPEC;
inline constexpr int PF_INET = AF_INET;
inline constexpr int PF_INET6 = AF_INET6;
inline constexpr int SOCK_STREAM = 1;
inline constexpr int SOCK_DGRAM = 2;
inline constexpr int SOCK_RAW = 3;
inline constexpr int IPPROTO_IP = 0;
inline constexpr int IPPROTO_ICMP = 1;
inline constexpr int IPPROTO_TCP = 6;
inline constexpr int IPPROTO_UDP = 17;
inline constexpr int IPPROTO_IPV6 = 41;

inline constexpr u_long INADDR_ANY = 0x00000000;
inline constexpr u_long INADDR_LOOPBACK = 0x7f000001;
inline constexpr u_long INADDR_BROADCAST = 0xffffffff;
inline constexpr u_long INADDR_NONE = 0xffffffff;

// Socket options (Winsock's values; translated to the host's at the call).
inline constexpr int SOL_SOCKET = 0xffff;
inline constexpr int SO_DEBUG = 0x0001;
inline constexpr int SO_REUSEADDR = 0x0004;
inline constexpr int SO_KEEPALIVE = 0x0008;
inline constexpr int SO_DONTROUTE = 0x0010;
inline constexpr int SO_BROADCAST = 0x0020;
inline constexpr int SO_SNDBUF = 0x1001;
inline constexpr int SO_RCVBUF = 0x1002;
inline constexpr int SO_SNDTIMEO = 0x1005;
inline constexpr int SO_RCVTIMEO = 0x1006;
inline constexpr int SO_ERROR = 0x1007;
inline constexpr int SO_TYPE = 0x1008;

inline constexpr int MSG_OOB = 0x1;
inline constexpr int MSG_PEEK = 0x2;
inline constexpr int MSG_DONTROUTE = 0x4;

// Winsock error codes, as WSAGetLastError, WSAStartup and getaddrinfo report them.
inline constexpr int WSABASEERR = 10000;
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSATYPE_NOT_FOUND = 10109;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;
inline constexpr int WSA_NOT_ENOUGH_MEMORY = 8;

int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
int WSACleanup();
int WSAGetLastError();

SOCKET socket(int af, int type, int protocol);
int closesocket(SOCKET s);
int bind(SOCKET s, const sockaddr* name, int namelen);
int getsockname(SOCKET s, sockaddr* name, int* namelen);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen);
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);

// A dotted IPv4 address ("a.b.c.d", or the shorter "a.b.c", "a.b", "a"; parts in decimal, octal
// with a leading 0 or hexadecimal with 0x) in network byte order, or INADDR_NONE.
u_long inet_addr(const char* cp);

// Network byte order is big-endian.
constexpr u_short htons(u_short value) {
    if constexpr (std::endian::native == std::endian::big)
        return value;
    return static_cast<u_short>(((value & 0xffu) << 8) | (value >> 8));
}
constexpr u_short ntohs(u_short value) {
    return htons(value);
}
constexpr u_long htonl(u_long value) {
    if constexpr (std::endian::native == std::endian::big)
        return value;
    return ((value & 0xffu) << 24) | ((value & 0xff00u) << 8) | ((value >> 8) & 0xff00u) |
           (value >> 24);
}
constexpr u_long ntohl(u_long value) {
    return htonl(value);
}

} // namespace platform::winsock

using platform::winsock::ADDRESS_FAMILY;
using platform::winsock::in6_addr;
using platform::winsock::in_addr;
using platform::winsock::IN_ADDR;
using platform::winsock::LPSOCKADDR;
using platform::winsock::LPSOCKADDR_IN;
using platform::winsock::LPWSADATA;
using platform::winsock::PSOCKADDR;
using platform::winsock::PSOCKADDR_IN;
using platform::winsock::SOCKADDR;
using platform::winsock::sockaddr;
using platform::winsock::SOCKADDR_IN;
using platform::winsock::sockaddr_in;
using platform::winsock::SOCKADDR_IN6;
using platform::winsock::sockaddr_in6;
using platform::winsock::SOCKADDR_STORAGE;
using platform::winsock::sockaddr_storage;
using platform::winsock::SOCKET;
using platform::winsock::u_char;
using platform::winsock::u_int;
using platform::winsock::u_short;
using platform::winsock::WSADATA;

using platform::winsock::AF_INET;
using platform::winsock::AF_INET6;
using platform::winsock::AF_UNSPEC;
using platform::winsock::INADDR_ANY;
using platform::winsock::INADDR_BROADCAST;
using platform::winsock::INADDR_LOOPBACK;
using platform::winsock::INADDR_NONE;
using platform::winsock::INVALID_SOCKET;
using platform::winsock::IPPROTO_ICMP;
using platform::winsock::IPPROTO_IP;
using platform::winsock::IPPROTO_IPV6;
using platform::winsock::IPPROTO_TCP;
using platform::winsock::IPPROTO_UDP;
using platform::winsock::MSG_DONTROUTE;
using platform::winsock::MSG_OOB;
using platform::winsock::MSG_PEEK;
using platform::winsock::PF_INET;
using platform::winsock::PF_INET6;
using platform::winsock::PF_UNSPEC;
using platform::winsock::SO_BROADCAST;
using platform::winsock::SO_DEBUG;
using platform::winsock::SO_DONTROUTE;
using platform::winsock::SO_ERROR;
using platform::winsock::SO_KEEPALIVE;
using platform::winsock::SO_RCVBUF;
using platform::winsock::SO_RCVTIMEO;
using platform::winsock::SO_REUSEADDR;
using platform::winsock::SO_SNDBUF;
using platform::winsock::SO_SNDTIMEO;
using platform::winsock::SO_TYPE;
using platform::winsock::SOCK_DGRAM;
using platform::winsock::SOCK_RAW;
using platform::winsock::SOCK_STREAM;
using platform::winsock::SOCKET_ERROR;
using platform::winsock::SOL_SOCKET;
using platform::winsock::SS_MAXSIZE;
using platform::winsock::WSADESCRIPTION_LEN;
using platform::winsock::WSASYS_STATUS_LEN;

using platform::winsock::WSA_NOT_ENOUGH_MEMORY;
using platform::winsock::WSABASEERR;
using platform::winsock::WSAEACCES;
using platform::winsock::WSAEADDRINUSE;
using platform::winsock::WSAEADDRNOTAVAIL;
using platform::winsock::WSAEAFNOSUPPORT;
using platform::winsock::WSAEALREADY;
using platform::winsock::WSAEBADF;
using platform::winsock::WSAECONNABORTED;
using platform::winsock::WSAECONNREFUSED;
using platform::winsock::WSAECONNRESET;
using platform::winsock::WSAEDESTADDRREQ;
using platform::winsock::WSAEFAULT;
using platform::winsock::WSAEHOSTDOWN;
using platform::winsock::WSAEHOSTUNREACH;
using platform::winsock::WSAEINPROGRESS;
using platform::winsock::WSAEINTR;
using platform::winsock::WSAEINVAL;
using platform::winsock::WSAEISCONN;
using platform::winsock::WSAEMFILE;
using platform::winsock::WSAEMSGSIZE;
using platform::winsock::WSAENETDOWN;
using platform::winsock::WSAENETRESET;
using platform::winsock::WSAENETUNREACH;
using platform::winsock::WSAENOBUFS;
using platform::winsock::WSAENOPROTOOPT;
using platform::winsock::WSAENOTCONN;
using platform::winsock::WSAENOTSOCK;
using platform::winsock::WSAEOPNOTSUPP;
using platform::winsock::WSAEPFNOSUPPORT;
using platform::winsock::WSAEPROTONOSUPPORT;
using platform::winsock::WSAEPROTOTYPE;
using platform::winsock::WSAESHUTDOWN;
using platform::winsock::WSAESOCKTNOSUPPORT;
using platform::winsock::WSAETIMEDOUT;
using platform::winsock::WSAEWOULDBLOCK;
using platform::winsock::WSAHOST_NOT_FOUND;
using platform::winsock::WSANO_DATA;
using platform::winsock::WSANO_RECOVERY;
using platform::winsock::WSANOTINITIALISED;
using platform::winsock::WSASYSNOTREADY;
using platform::winsock::WSATRY_AGAIN;
using platform::winsock::WSATYPE_NOT_FOUND;
using platform::winsock::WSAVERNOTSUPPORTED;

using platform::winsock::bind;
using platform::winsock::closesocket;
using platform::winsock::getsockname;
using platform::winsock::getsockopt;
using platform::winsock::htonl;
using platform::winsock::htons;
using platform::winsock::inet_addr;
using platform::winsock::ntohl;
using platform::winsock::ntohs;
using platform::winsock::recvfrom;
using platform::winsock::sendto;
using platform::winsock::setsockopt;
using platform::winsock::socket;
using platform::winsock::WSACleanup;
using platform::winsock::WSAGetLastError;
using platform::winsock::WSAStartup;

// The Windows headers' spelling of the address's 32-bit member.
#define s_addr S_un.S_addr

#ifndef MAKEWORD
#define MAKEWORD(low, high)                                                                        \
    static_cast<WORD>(static_cast<BYTE>(low) | (static_cast<WORD>(static_cast<BYTE>(high)) << 8))
#endif
#ifndef LOBYTE
#define LOBYTE(w) static_cast<BYTE>(static_cast<DWORD_PTR>(w) & 0xff)
#endif
#ifndef HIBYTE
#define HIBYTE(w) static_cast<BYTE>((static_cast<DWORD_PTR>(w) >> 8) & 0xff)
#endif

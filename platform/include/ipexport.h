// The IP Helper's shared records: IPv4 addresses as the stack holds them, the status codes of an
// ICMP echo and the reply records IcmpSendEcho and Icmp6SendEcho2 write.
#pragma once

#include "wintypes.h"

using IPAddr = ULONG; // an IPv4 address in network byte order
using IPMask = ULONG; // an IPv4 netmask in network byte order
using IP_STATUS = ULONG;

// Outcomes of an echo request: IcmpSendEcho's GetLastError when it returns 0, or the Status of a
// reply.
inline constexpr IP_STATUS IP_STATUS_BASE = 11000;
inline constexpr IP_STATUS IP_SUCCESS = 0;
inline constexpr IP_STATUS IP_BUF_TOO_SMALL = IP_STATUS_BASE + 1;
inline constexpr IP_STATUS IP_DEST_NET_UNREACHABLE = IP_STATUS_BASE + 2;
inline constexpr IP_STATUS IP_DEST_HOST_UNREACHABLE = IP_STATUS_BASE + 3;
inline constexpr IP_STATUS IP_DEST_PROT_UNREACHABLE = IP_STATUS_BASE + 4;
inline constexpr IP_STATUS IP_DEST_PORT_UNREACHABLE = IP_STATUS_BASE + 5;
inline constexpr IP_STATUS IP_NO_RESOURCES = IP_STATUS_BASE + 6;
inline constexpr IP_STATUS IP_BAD_OPTION = IP_STATUS_BASE + 7;
inline constexpr IP_STATUS IP_HW_ERROR = IP_STATUS_BASE + 8;
inline constexpr IP_STATUS IP_PACKET_TOO_BIG = IP_STATUS_BASE + 9;
inline constexpr IP_STATUS IP_REQ_TIMED_OUT = IP_STATUS_BASE + 10;
inline constexpr IP_STATUS IP_BAD_REQ = IP_STATUS_BASE + 11;
inline constexpr IP_STATUS IP_BAD_ROUTE = IP_STATUS_BASE + 12;
inline constexpr IP_STATUS IP_TTL_EXPIRED_TRANSIT = IP_STATUS_BASE + 13;
inline constexpr IP_STATUS IP_TTL_EXPIRED_REASSEM = IP_STATUS_BASE + 14;
inline constexpr IP_STATUS IP_PARAM_PROBLEM = IP_STATUS_BASE + 15;
inline constexpr IP_STATUS IP_SOURCE_QUENCH = IP_STATUS_BASE + 16;
inline constexpr IP_STATUS IP_OPTION_TOO_BIG = IP_STATUS_BASE + 17;
inline constexpr IP_STATUS IP_BAD_DESTINATION = IP_STATUS_BASE + 18;
inline constexpr IP_STATUS IP_GENERAL_FAILURE = IP_STATUS_BASE + 50;

struct IP_OPTION_INFORMATION {
    UCHAR Ttl;
    UCHAR Tos;
    UCHAR Flags;
    UCHAR OptionsSize;
    PUCHAR OptionsData;
};
using PIP_OPTION_INFORMATION = IP_OPTION_INFORMATION*;

struct ICMP_ECHO_REPLY {
    IPAddr Address;      // who replied
    ULONG Status;        // IP_SUCCESS or the error the reply tells of
    ULONG RoundTripTime; // milliseconds
    USHORT DataSize;     // bytes of echoed data at Data
    USHORT Reserved;     // the number of replies, in the first record
    PVOID Data;          // the echoed data, inside the caller's reply buffer
    IP_OPTION_INFORMATION Options;
};
using PICMP_ECHO_REPLY = ICMP_ECHO_REPLY*;

// An IPv6 address as an ICMPv6 reply names it; every member in network byte order. Packed, as
// the platform lays it out.
#pragma pack(push, 1)
struct IPV6_ADDRESS_EX {
    USHORT sin6_port;
    ULONG sin6_flowinfo;
    USHORT sin6_addr[8];
    ULONG sin6_scope_id;
};
#pragma pack(pop)
using PIPV6_ADDRESS_EX = IPV6_ADDRESS_EX*;

// Icmp6SendEcho2's reply; the echoed data follows it in the reply buffer.
struct ICMPV6_ECHO_REPLY {
    IPV6_ADDRESS_EX Address; // who replied
    ULONG Status;            // IP_SUCCESS or the error the reply tells of
    unsigned int RoundTripTime;
};
using PICMPV6_ECHO_REPLY = ICMPV6_ECHO_REPLY*;

// ICMP echo ("ping") through a handle of its own, over IPv4 (IcmpCreateFile) or IPv6
// (Icmp6CreateFile).
#pragma once

#include "ipexport.h"

namespace platform::winsock {
struct sockaddr_in6; // winsock2.h
}

// A handle for echo requests, or INVALID_HANDLE_VALUE with GetLastError set; one of
// IcmpCreateFile serves IcmpSendEcho, one of Icmp6CreateFile Icmp6SendEcho2.
HANDLE WINAPI IcmpCreateFile();
HANDLE WINAPI Icmp6CreateFile();
BOOL WINAPI IcmpCloseHandle(HANDLE IcmpHandle);

// Sends one echo request with RequestSize bytes of RequestData to DestinationAddress (network
// byte order) and waits up to Timeout milliseconds for the reply. Returns the number of replies
// written to ReplyBuffer (an ICMP_ECHO_REPLY, then the echoed data; a router that answers with an
// ICMP error in the destination's stead gives a reply whose Status is that error and whose
// Address is the router's), or 0 with GetLastError
// giving the reason: IP_REQ_TIMED_OUT when nothing came back, IP_BUF_TOO_SMALL when ReplySize is
// below sizeof(ICMP_ECHO_REPLY) + RequestSize + 8, IP_DEST_NET_UNREACHABLE when no route leads
// there, ERROR_INVALID_HANDLE or ERROR_INVALID_PARAMETER for bad arguments. RequestOptions may
// be null.
DWORD WINAPI IcmpSendEcho(HANDLE IcmpHandle, IPAddr DestinationAddress, LPVOID RequestData,
                          WORD RequestSize, PIP_OPTION_INFORMATION RequestOptions,
                          LPVOID ReplyBuffer, DWORD ReplySize, DWORD Timeout);

// IcmpSendEcho's IPv6 sibling: one ICMPv6 echo request to DestinationAddress (a link-local one
// leaves by the interface of its sin6_scope_id), waiting up to Timeout milliseconds. Only the
// synchronous form is offered: Event and ApcRoutine must be null (ERROR_NOT_SUPPORTED
// otherwise). Returns the number of replies written to ReplyBuffer (an ICMPV6_ECHO_REPLY, then
// the echoed data; a router's ICMPv6 error in the destination's stead gives a reply whose Status
// is that error and whose Address is the router's), or 0 with GetLastError set as IcmpSendEcho
// sets it; ReplySize must be at least sizeof(ICMPV6_ECHO_REPLY) + RequestSize + 8.
// SourceAddress and RequestOptions are ignored.
DWORD WINAPI Icmp6SendEcho2(HANDLE IcmpHandle, HANDLE Event, FARPROC ApcRoutine, PVOID ApcContext,
                            platform::winsock::sockaddr_in6* SourceAddress,
                            platform::winsock::sockaddr_in6* DestinationAddress, LPVOID RequestData,
                            WORD RequestSize, PIP_OPTION_INFORMATION RequestOptions,
                            LPVOID ReplyBuffer, DWORD ReplySize, DWORD Timeout);

// The number of replies in a buffer Icmp6SendEcho2 filled (1 when it holds one), or 0 with
// ERROR_GEN_FAILURE for a null buffer or a size of 0.
DWORD WINAPI Icmp6ParseReplies(LPVOID ReplyBuffer, DWORD ReplySize);

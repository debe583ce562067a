// ICMP echo ("ping") through a handle of its own.
#pragma once

#include "ipexport.h"

// A handle for echo requests, or INVALID_HANDLE_VALUE with GetLastError set.
HANDLE WINAPI IcmpCreateFile();
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

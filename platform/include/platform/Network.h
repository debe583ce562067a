// Test hooks of the platform's network services: Winsock's start-up outcome, the host socket
// behind a Winsock socket, and a scripted Connection Manager. The program never includes this;
// it can be included beside the host's socket headers.
#pragma once

#include "wintypes.h"

namespace platform::net {

// Every following WSAStartup fails with `error` (a Winsock code) until resetWinsock().
void failWinsockStartup(int error);
// Every following WSAStartup succeeds but reports `version` in wVersion until resetWinsock().
void reportWinsockVersion(WORD version);
// Back to the normal start-up; closes every socket and forgets every WSAStartup.
void resetWinsock();

// The host's file descriptor behind a Winsock socket, or -1 if the socket is not open.
int hostDescriptor(UINT_PTR socket);

} // namespace platform::net

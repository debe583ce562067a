// Test hooks of the platform's network services: Winsock's start-up outcome, the host socket
// behind a Winsock socket, and a scripted Connection Manager. The program never includes this;
// it can be included beside the host's socket headers.
#pragma once

#include "connmgr.h"
#include "wintypes.h"

#include <string>
#include <vector>

namespace platform::net {

// Every following WSAStartup fails with `error` (a Winsock code) until resetWinsock().
void failWinsockStartup(int error);
// Every following WSAStartup succeeds but reports `version` in wVersion until resetWinsock().
void reportWinsockVersion(WORD version);
// Back to the normal start-up; closes every socket and forgets every WSAStartup, and lifts
// confineToLoopback.
void resetWinsock();
// Until resetWinsock(), the network is what a machine without a way out sees: sendto refuses
// every destination but loopback with WSAENETUNREACH, getaddrinfo takes only numeric addresses
// (a name is not found, no lookup leaves the machine), the IP Helper shows only the loopback
// interface and finds no route elsewhere, and an ICMP echo anywhere else fails with
// IP_DEST_NET_UNREACHABLE. For runs that type arbitrary hosts (fuzzing, soak) and must never
// send anything anywhere else.
void confineToLoopback();

// The host's file descriptor behind a Winsock socket, or -1 if the socket is not open.
int hostDescriptor(UINT_PTR socket);

// The Connection Manager normally reports the machine's own state: the Internet destination is
// connected while a default route leads through an interface that is up. A script replaces that
// state: tests set one here; DAWNBELL_CONNMGR sets one for a whole run ("connected",
// "disconnected", or the text form that parseConnectionScript reads).

// A destination other than the Internet, for lists that hold more than the Internet.
inline constexpr GUID workDestination = {
    0xa1182988, 0x0d73, 0x439e, {0x87, 0xad, 0x2a, 0x5b, 0x36, 0x9f, 0x80, 0x8b}};

struct ScriptedConnection {
    GUID destination = IID_DestNetInternet;
    DWORD status = CONNMGR_STATUS_CONNECTED;
    DWORD type = CM_CONNTYPE_NIC;
    std::wstring description = L"Internet";
    std::wstring adapterName = L"eth0";
};

enum class EstablishOutcome {
    connect, // the connection comes up after the delay
    fail,    // the attempt fails after the delay with failureStatus
    never,   // nothing happens: the call waits for its whole timeout
};

struct ConnectionScript {
    // The connections each ConnMgrQueryDetailedStatus call sees, in order of the calls; the last
    // list stays once the others are used up.
    std::vector<std::vector<ScriptedConnection>> lists{{ScriptedConnection{}}};
    HRESULT queryResult = S_OK; // another value: every query fails with it
    EstablishOutcome establish = EstablishOutcome::connect;
    DWORD establishDelayMs = 0; // device clock time until the outcome
    DWORD failureStatus = CONNMGR_STATUS_CONNECTIONFAILED;
};

void scriptConnectionManager(ConnectionScript script);
// Back to the machine's own state (the environment is not read again).
void useRealConnectionManager();

// Reads a script's text form: "connected", "disconnected" (no connection comes up), or
// ';'-separated settings: "list=internet:disconnected,work:connected" (one per query, in order;
// statuses by name such as "suspended" or by number such as "0x11"), "query=0x80004005",
// "establish=connect|fail|never", "delay=1500" (ms), "failure=0x2a". "list=" alone is an empty
// list. False with a message for a malformed text.
bool parseConnectionScript(const std::string& text, ConnectionScript& script, std::string& error);

// What the program asked of the Connection Manager since the last script or reset.
struct ConnectionManagerCalls {
    std::vector<DWORD> queryBufferSizes; // *pcbBufferSize as each query received it
    std::vector<DWORD> establishTimeouts;
};
ConnectionManagerCalls connectionManagerCalls();

} // namespace platform::net

// The host's sockets, spoken to in Winsock's values. Only HostSockets.cpp sees the host's socket
// headers; only the Winsock facade sees winsock2.h. Between the two, addresses travel as
// Endpoint and every failure as a Winsock error code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::net::host {

// A socket address: Winsock's family value, the port in network byte order and the address
// bytes in network order (4 for IPv4, 16 for IPv6).
struct Endpoint {
    int family = 0;
    std::uint16_t port = 0;
    std::array<std::uint8_t, 16> address{};
    std::uint32_t flowInfo = 0;
    std::uint32_t scopeId = 0;
};

// The Winsock error code for a host errno value.
int winsockError(int hostErrno);

// Each call returns its result, or -1 / false with `error` set to a Winsock code.
int openSocket(int family, int type, int protocol, int& error);
void closeDescriptor(int fd);
bool bindTo(int fd, const Endpoint& endpoint, int& error);
bool localName(int fd, Endpoint& endpoint, int& error);
// Options in Winsock's level, name and value formats (SO_RCVTIMEO and SO_SNDTIMEO in
// milliseconds as a DWORD, the others as an int).
bool setOption(int fd, int level, int name, const void* value, int length, int& error);
bool getOption(int fd, int level, int name, void* value, int& length, int& error);
long sendDatagram(int fd, const void* data, std::size_t length, int flags, const Endpoint* to,
                  int& error);
// Blocks until a datagram arrives (or the socket's receive timeout passes); ends the calling
// thread if it is terminated meanwhile.
long receiveDatagram(int fd, void* data, std::size_t length, int flags, Endpoint* from, int& error);

struct LookupHints {
    int flags = 0; // Winsock AI_* values
    int family = 0;
    int socketType = 0;
    int protocol = 0;
};

struct LookupResult {
    int flags = 0;
    int family = 0;
    int socketType = 0;
    int protocol = 0;
    Endpoint endpoint;
    std::optional<std::string> canonicalName;
};

// Name resolution; returns 0 or a Winsock error code.
int lookUp(const char* node, const char* service, const LookupHints* hints,
           std::vector<LookupResult>& results);

// Reverse resolution of an address; `flags` in Winsock's NI_* values. Returns 0 or a Winsock
// error code. Blocks for as long as the host's resolver takes.
int nameOf(const Endpoint& endpoint, int flags, std::string& host, std::string& service);

// Sets an IPPROTO_IP option in Winsock's values: the interface multicasts leave by
// (IP_MULTICAST_IF, an IPv4 address in network order) and their time to live (IP_MULTICAST_TTL).
bool setIpOption(int fd, int name, const void* value, int length, int& error);

} // namespace platform::net::host

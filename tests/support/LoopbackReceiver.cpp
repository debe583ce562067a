#include "support/LoopbackReceiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

LoopbackReceiver::LoopbackReceiver(bool ipv6)
    : fd_(::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
    sockaddr_in6 address6{};
    address6.sin6_family = AF_INET6;
    address6.sin6_addr = in6addr_loopback;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // on a port the system picks
    auto* bound =
        ipv6 ? reinterpret_cast<sockaddr*>(&address6) : reinterpret_cast<sockaddr*>(&address);
    socklen_t length = ipv6 ? sizeof address6 : sizeof address;
    if (::bind(fd_, bound, length) == 0 && ::getsockname(fd_, bound, &length) == 0) {
        port_ = ntohs(ipv6 ? address6.sin6_port : address.sin_port);
    }
}

LoopbackReceiver::~LoopbackReceiver() {
    ::close(fd_);
}

std::optional<std::vector<std::uint8_t>> LoopbackReceiver::takeQueued() {
    // Larger than any datagram expected, so a longer one than the packet shows as longer.
    std::vector<std::uint8_t> buffer(2048);
    const ssize_t received = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (received < 0) {
        return std::nullopt;
    }
    buffer.resize(static_cast<std::size_t>(received));
    return buffer;
}

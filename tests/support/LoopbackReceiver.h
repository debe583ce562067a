// A UDP socket bound to 127.0.0.1 (or ::1) on a port the system picks, for tests that check what
// the program sends. It uses the host's own sockets, apart from the Winsock the program uses.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

class LoopbackReceiver {
public:
    explicit LoopbackReceiver(bool ipv6 = false);
    ~LoopbackReceiver();
    LoopbackReceiver(const LoopbackReceiver&) = delete;
    LoopbackReceiver& operator=(const LoopbackReceiver&) = delete;

    bool isOpen() const { return port_ != 0; }
    std::uint16_t port() const { return port_; }
    // The next datagram already queued, without waiting: loopback delivery is complete when
    // the sender's sendto returns. Nothing when the queue is empty.
    std::optional<std::vector<std::uint8_t>> takeQueued();

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

#include "LimitedBroadcast.h"

#include "LocalSubnet.h"

#include <iphlpapi.h>
#include <winsock2.h>

#include <algorithm>

namespace {

// A broadcast-capable UDP socket bound to one interface's address: the system sends a limited
// broadcast out of the interface whose address the socket holds.
class InterfaceSocket {
public:
    explicit InterfaceSocket(std::uint32_t address)
        : socket_(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
        const BOOL on = TRUE;
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = address;
        if (socket_ == INVALID_SOCKET ||
            setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                       sizeof on) != 0 ||
            bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            error_ = WSAGetLastError();
        }
    }
    ~InterfaceSocket() {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
        }
    }
    InterfaceSocket(const InterfaceSocket&) = delete;
    InterfaceSocket& operator=(const InterfaceSocket&) = delete;

    // 0, or the Winsock error that kept the packet back.
    int send(const MagicPacket& packet, std::uint16_t port) {
        if (error_ != 0) {
            return error_;
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = limitedBroadcast;
        const int sent = sendto(socket_, reinterpret_cast<const char*>(packet.data()),
                                static_cast<int>(packet.size()), 0,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
        return sent == static_cast<int>(packet.size()) ? 0 : WSAGetLastError();
    }

private:
    SOCKET socket_;
    int error_ = 0;
};

} // namespace

std::vector<std::uint32_t> upInterfaceAddresses() {
    std::vector<std::uint32_t> addresses;
    std::vector<DWORD> interfaces;
    for (const MIB_IPADDRROW& row : ipAddressRows(false)) {
        const bool loopback = reinterpret_cast<const std::uint8_t*>(&row.dwAddr)[0] == 127;
        if (loopback || (row.wType & MIB_IPADDR_DISCONNECTED) != 0 ||
            std::find(interfaces.begin(), interfaces.end(), row.dwIndex) != interfaces.end()) {
            continue;
        }
        interfaces.push_back(row.dwIndex);
        addresses.push_back(row.dwAddr);
    }
    return addresses;
}

int sendLimitedBroadcast(const MagicPacket& packet, std::uint16_t port, std::uint32_t address) {
    InterfaceSocket socket(address);
    return socket.send(packet, port);
}

// One wake packet to loopback through sendMagicPacket (checking the texts, a dotted host, a
// fresh socket per call) against the least any sender must do: the host's sendto of 102 bytes
// on a socket that is already open. Reported as the ratio of the two, measured in one run.
//
// This file speaks Winsock (to start it and to receive), so the host's sendto is reached through
// its system call: the host's socket headers can't share a file with Winsock's.
#include "WakePacket.h"

#include <winsock2.h>

#include <benchmark/benchmark.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace {

// Linux's values; AF_INET and SOCK_DGRAM happen to equal Winsock's, which lets the Winsock
// sockaddr_in (the same 16-byte layout) serve as the host's.
constexpr long hostAfInet = 2;
constexpr long hostSockDgram = 2;
constexpr long hostIpprotoUdp = 17;

class Receiver {
public:
    Receiver() : socket_(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Receiver() { closesocket(socket_); }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    u_short port() const { return port_; }
    // Loopback delivers before sendto returns; one datagram is always waiting here.
    void takeOne() {
        char buffer[256];
        recvfrom(socket_, buffer, sizeof buffer, 0, nullptr, nullptr);
    }

private:
    SOCKET socket_;
    u_short port_ = 0;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_SendMagicPacketAgainstBareSendto(benchmark::State& state) {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        state.SkipWithError("WSAStartup failed");
        return;
    }
    {
        Receiver receiver;
        const std::wstring port = std::to_wstring(receiver.port());
        const long bare = syscall(SYS_socket, hostAfInet, hostSockDgram, hostIpprotoUdp);
        sockaddr_in destination{};
        destination.sin_family = AF_INET;
        destination.sin_port = htons(receiver.port());
        destination.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const MagicPacket packet = buildMagicPacket({0x00, 0x11, 0x22, 0x33, 0x44, 0x55});

        double wakeSeconds = 0;
        double bareSeconds = 0;
        for (auto _ : state) {
            auto start = std::chrono::steady_clock::now();
            const SendOutcome outcome =
                sendMagicPacket(L"127.0.0.1", L"00:11:22:33:44:55", port, L"");
            const double wake = secondsSince(start);
            receiver.takeOne();

            start = std::chrono::steady_clock::now();
            const long sent = syscall(SYS_sendto, bare, packet.data(), packet.size(), 0,
                                      &destination, sizeof destination);
            bareSeconds += secondsSince(start);
            receiver.takeOne();

            if (outcome != SendOutcome::sent || sent != static_cast<long>(packet.size())) {
                state.SkipWithError("a packet was not sent");
                break;
            }
            wakeSeconds += wake;
            state.SetIterationTime(wake);
        }
        close(static_cast<int>(bare));
        const auto iterations = static_cast<double>(state.iterations());
        if (iterations > 0 && bareSeconds > 0) {
            state.counters["wake_us"] = 1e6 * wakeSeconds / iterations;
            state.counters["bare_sendto_us"] = 1e6 * bareSeconds / iterations;
            state.counters["ratio"] = wakeSeconds / bareSeconds;
        }
    }
    WSACleanup();
}
BENCHMARK(BM_SendMagicPacketAgainstBareSendto)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

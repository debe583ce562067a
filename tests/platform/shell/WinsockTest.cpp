// Winsock over the host's sockets: start-up, address parsing, name lookup, error codes and real
// datagrams on loopback.
#include "support/NetworkOfItsOwn.h"
#include "support/Shell.h"
#include "icmpapi.h"
#include "net/HostSockets.h"
#include "iphlpapi.h"
#include "netioapi.h"
#include "platform/Network.h"
#include "windows.h"
#include "winsock2.h"
#include "ws2tcpip.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <atomic>
#include <cstring>
#include <functional>
#include <span>
#include <tuple>

namespace {

class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override { platform::net::resetWinsock(); }
    void TearDown() override {
        platform::net::resetWinsock();
        platform::clock::useSystem();
    }

    static SOCKET startWithSocket() {
        WSADATA data{};
        EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        EXPECT_NE(s, INVALID_SOCKET);
        return s;
    }

    static sockaddr_in ipv4(const char* address, u_short port) {
        sockaddr_in result{AF_INET, htons(port), {}, {}};
        result.sin_addr.s_addr = inet_addr(address);
        return result;
    }

    // A numeric IPv6 address; Winsock must have been started.
    static sockaddr_in6 ipv6(const char* address) {
        ADDRINFOA hints{};
        hints.ai_family = AF_INET6;
        hints.ai_flags = AI_NUMERICHOST;
        ADDRINFOA* found = nullptr;
        sockaddr_in6 result{};
        EXPECT_EQ(getaddrinfo(address, nullptr, &hints, &found), 0) << address;
        if (found != nullptr) {
            std::memcpy(&result, found->ai_addr, sizeof result);
            freeaddrinfo(found);
        }
        return result;
    }

    static int sendTo(SOCKET s, const void* data, int length, sockaddr_in to,
                      int toLength = sizeof(sockaddr_in)) {
        return sendto(s, static_cast<const char*>(data), length, 0,
                      reinterpret_cast<sockaddr*>(&to), toLength);
    }

    // Binds to an ephemeral loopback port; returns the port.
    static u_short bindReceiver(SOCKET receiver) {
        sockaddr_in address = ipv4("127.0.0.1", 0);
        EXPECT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        int length = sizeof address;
        EXPECT_EQ(getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length), 0);
        EXPECT_EQ(length, 16);
        return ntohs(address.sin_port);
    }

    static int setOption(SOCKET s, int name, DWORD value, int length = sizeof(DWORD)) {
        return setsockopt(s, SOL_SOCKET, name, reinterpret_cast<const char*>(&value), length);
    }

    static SOCKADDR_INET inet(const char* address) {
        SOCKADDR_INET result{};
        result.Ipv4 = ipv4(address, 0);
        if (std::strchr(address, ':') != nullptr)
            result.Ipv6 = ipv6(address);
        return result;
    }

    // The numeric text of an address of either family; empty if it has none.
    static std::string text(SOCKADDR_INET address) {
        char name[NI_MAXHOST] = {};
        getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, name, sizeof name,
                    nullptr, 0, NI_NUMERICHOST);
        return name;
    }
};

// A LAN of the test's own: this device at 10.76.0.1 and fd00:76::1 on lan0, a router at
// 10.76.0.2 (that forwards nothing) for 10.77.0.0/16 and fd00:77::/64. 10.78.0.0/24 is
// unreachable, and lan1 is up with no link.
bool routedLan(TestNetwork& network) {
    return network.addPeer("router", "lan0", "10.76.0.1/24", "10.76.0.2/24") &&
           network.run("ip addr add fd00:76::1/64 nodad dev lan0") &&
           network.run("ip route add 10.77.0.0/16 via 10.76.0.2") &&
           network.run("ip -6 route add fd00:77::/64 via fd00:76::2") &&
           network.run("ip route add unreachable 10.78.0.0/24") &&
           network.run("ip route add 224.0.0.0/4 dev lan0") &&
           network.run("ip link add lan1 type veth peer name lan1peer") &&
           network.run("ip addr add 10.79.0.1/24 dev lan1") && network.run("ip link set lan1 up");
}

TEST_F(WinsockTest, StartupNegotiatesTheVersionAndTheLastCleanupClosesEverySocket) {
    WSADATA data{};
    // Before a start every call is refused as not initialised; a start needs a record to fill
    // and a major version of at least 1.
    EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), nullptr), WSAEFAULT);
    EXPECT_EQ(WSAStartup(MAKEWORD(0, 2), &data), WSAVERNOTSUPPORTED);
    sockaddr_in any = ipv4("127.0.0.1", 9);
    const auto* address = reinterpret_cast<const sockaddr*>(&any);
    ADDRINFOA* found = nullptr;
    EXPECT_EQ(getaddrinfo("127.0.0.1", "9", nullptr, &found), WSANOTINITIALISED);
    EXPECT_EQ(getnameinfo(address, sizeof any, nullptr, 0, nullptr, 0, 0), WSANOTINITIALISED);
    EXPECT_EQ(std::pair(socket(AF_INET, SOCK_DGRAM, 0), closesocket(0x100)),
              std::pair(INVALID_SOCKET, SOCKET_ERROR));
    EXPECT_EQ(bind(0x100, address, sizeof any), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    EXPECT_EQ(std::pair(data.wVersion, data.wHighVersion), (std::pair<WORD, WORD>(0x0101, 0x0202)));
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 3), &data), 0);
    EXPECT_EQ(data.wVersion, 0x0202) << "a later version asked for gets the highest one";
    EXPECT_EQ(WSACleanup(), 0);
    const SOCKET s = startWithSocket();
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_GE(platform::net::hostDescriptor(s), 0) << "one start is still counted";
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(platform::net::hostDescriptor(s), -1) << "the last clean-up closes every socket";
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);

    // A reset between tests forgets every start and closes every socket.
    const SOCKET left = startWithSocket();
    startWithSocket();
    platform::net::resetWinsock();
    EXPECT_EQ(platform::net::hostDescriptor(left), -1);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR) << "no start is left to clean up";
}

TEST(InetAddr, ReadsEveryWinsockFormInNetworkOrderAndRefusesTheRest) {
    using Bytes = std::array<unsigned, 4>;
    const std::pair<const char*, Bytes> readable[] = {
        {"192.168.1.20", {192, 168, 1, 20}}, {"0.0.0.0", {0, 0, 0, 0}},
        {"1.2.3.4 ", {1, 2, 3, 4}},          {"1.2.3", {1, 2, 0, 3}},
        {"10.65535", {10, 0, 255, 255}},     {"0x7f.1", {127, 0, 0, 1}},
        {"010.0.0.1", {8, 0, 0, 1}},         {"3232235796", {192, 168, 1, 20}}};
    for (const auto& [text, expected] : readable) {
        const u_long value = inet_addr(text);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
        EXPECT_EQ((Bytes{bytes[0], bytes[1], bytes[2], bytes[3]}), expected) << text;
    }
    for (const char* text : std::initializer_list<const char*>{
             "", "abc", "256.1.1.1", "1.2.3.4.5", "1.2.3.4x", "08.1.1.1", " 1.2.3.4", "1..2.3",
             "1.2.3.", "0x", "1.2.65536", "4294967296", "host.example", nullptr})
        EXPECT_EQ(inet_addr(text), INADDR_NONE) << (text ? text : "null");
    EXPECT_EQ(inet_addr("255.255.255.255"), INADDR_NONE) << "the broadcast address reads as none";
}

TEST_F(WinsockTest, DatagramArrivesOnLoopbackByteForByteOrSaysItWasCut) {
    const SOCKET receiver = startWithSocket();
    const SOCKET sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const u_short port = bindReceiver(receiver);
    const std::string packet("\xff\xff\0wake\x80", 8);
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(sendTo(sender, packet.data(), 8, ipv4("127.0.0.1", port)), 8);
    char received[16] = {};
    sockaddr_in from{};
    int fromLength = sizeof from;
    // A peek leaves the datagram to be read again (a receive with none left would time out).
    ASSERT_EQ(setOption(receiver, SO_RCVTIMEO, 100), 0);
    EXPECT_EQ(recvfrom(receiver, received, 16, MSG_PEEK, nullptr, nullptr), 8);
    EXPECT_EQ(recvfrom(receiver, received, 16, 0, reinterpret_cast<sockaddr*>(&from), &fromLength),
              8);
    EXPECT_EQ(std::tuple(std::string(received, 8), fromLength, from.sin_addr.s_addr),
              std::tuple(packet, 16, htonl(INADDR_LOOPBACK)));
    EXPECT_EQ(recvfrom(receiver, received, 4, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE) << "a datagram longer than the buffer";
    EXPECT_EQ(std::string(received, 4), packet.substr(0, 4));
    sockaddr_in self = ipv4("127.0.0.1", port);
    const auto* to = reinterpret_cast<const sockaddr*>(&self);
    ASSERT_EQ(sendto(sender, "x", 1, MSG_DONTROUTE, to, sizeof self), 1);
    fromLength = sizeof from - 1;
    EXPECT_EQ(recvfrom(receiver, received, 16, 0, reinterpret_cast<sockaddr*>(&from), &fromLength),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT) << "no room for the sender's address";

    const sockaddr_in broadcast = ipv4("127.255.255.255", port);
    EXPECT_EQ(sendTo(sender, "", 1, broadcast), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEACCES) << "broadcast needs SO_BROADCAST";
    ASSERT_EQ(setOption(sender, SO_BROADCAST, TRUE), 0);
    EXPECT_EQ(sendTo(sender, "", 1, broadcast), 1);
    EXPECT_EQ(sendTo(sender, nullptr, 0, broadcast), 0) << "an empty datagram is sent, not refused";
    EXPECT_EQ(closesocket(sender), 0);
    EXPECT_EQ(closesocket(receiver), 0);
}

// The runs that type arbitrary hosts (fuzzing, soak) rely on this: nothing leaves the machine.
// Confined, sends reach only loopback, no name is looked up, the IP Helper shows no route
// elsewhere, and no echo leaves, over IPv4 or IPv6; until the reset.
TEST_F(WinsockTest, ConfinedToLoopbackNothingLeavesTheMachineUntilReset) {
    const SOCKET receiver = startWithSocket();
    const SOCKET sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const u_short port = bindReceiver(receiver);
    ASSERT_EQ(setOption(sender, SO_BROADCAST, 1), 0);
    platform::net::confineToLoopback();
    for (const char* away : {"10.1.2.3", "255.255.255.255", "192.168.1.255"}) {
        EXPECT_EQ(sendTo(sender, "x", 1, ipv4(away, 9)), SOCKET_ERROR) << away;
        EXPECT_EQ(WSAGetLastError(), WSAENETUNREACH) << away;
    }
    EXPECT_EQ(sendTo(sender, "x", 1, ipv4("127.0.0.1", port)), 1);
    // An IPv4 address mapped into IPv6 is loopback only where the IPv4 address is.
    const SOCKET sender6 = socket(AF_INET6, SOCK_DGRAM, IPPROTO_UDP);
    for (const auto& [mapped, sent] : {std::pair("::ffff:127.0.0.1", 1), {"::ffff:10.1.2.3", -1}}) {
        sockaddr_in6 to = ipv6(mapped);
        to.sin6_port = htons(port);
        EXPECT_EQ(sendto(sender6, "x", 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), sent);
    }
    char received[4] = {};
    EXPECT_EQ(recvfrom(receiver, received, 4, 0, nullptr, nullptr), 1);
    ADDRINFOA* result = nullptr;
    EXPECT_EQ(getaddrinfo("localhost", "9", nullptr, &result), WSAHOST_NOT_FOUND);
    ASSERT_EQ(getaddrinfo("127.0.0.1", "9", nullptr, &result), 0);
    freeaddrinfo(result);

    DWORD index = 0;
    EXPECT_EQ(GetBestInterface(inet_addr("10.1.2.3"), &index), ERROR_NETWORK_UNREACHABLE);
    MIB_IPFORWARDROW route{};
    EXPECT_EQ(GetBestRoute(inet_addr("10.1.2.3"), 0, &route), ERROR_NETWORK_UNREACHABLE);

    const HANDLE icmp = IcmpCreateFile();
    ASSERT_NE(icmp, INVALID_HANDLE_VALUE);
    char data[] = "ping";
    alignas(ICMP_ECHO_REPLY) unsigned char reply[sizeof(ICMP_ECHO_REPLY) + sizeof data + 8];
    const std::tuple<const char*, DWORD, DWORD> echoes[] = {
        {"10.1.2.3", sizeof reply, IP_DEST_NET_UNREACHABLE},
        {"127.0.0.1", sizeof reply - 1, IP_BUF_TOO_SMALL},
    };
    for (const auto& [address, room, error] : echoes) {
        EXPECT_EQ(
            IcmpSendEcho(icmp, inet_addr(address), data, sizeof data, nullptr, reply, room, 1000),
            0u);
        EXPECT_EQ(GetLastError(), error);
    }
    ASSERT_EQ(IcmpSendEcho(icmp, inet_addr("127.0.0.1"), data, sizeof data, nullptr, reply,
                           sizeof reply, 1000),
              1u);
    const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply);
    EXPECT_EQ(echo->Status, IP_SUCCESS);
    EXPECT_EQ(std::string(static_cast<const char*>(echo->Data), echo->DataSize),
              std::string(data, sizeof data));
    EXPECT_TRUE(IcmpCloseHandle(icmp));
    EXPECT_FALSE(IcmpCloseHandle(icmp));
    EXPECT_EQ(IcmpSendEcho(icmp, inet_addr("127.0.0.1"), data, sizeof data, nullptr, reply,
                           sizeof reply, 1000),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "a closed handle";

    // The same over IPv6, through a handle of its own family.
    SOCKADDR_INET away{};
    away.Ipv6 = ipv6("2001:db8::1");
    MIB_IPFORWARD_ROW2 route2{};
    SOCKADDR_INET source{};
    EXPECT_EQ(GetBestRoute2(nullptr, 0, nullptr, &away, 0, &route2, &source),
              ERROR_NETWORK_UNREACHABLE);
    const HANDLE icmp6 = Icmp6CreateFile();
    alignas(ICMPV6_ECHO_REPLY) unsigned char reply6[sizeof(ICMPV6_ECHO_REPLY) + sizeof data + 8];
    sockaddr_in6 from = ipv6("::");
    const auto echo6 = [&](sockaddr_in6 to, DWORD room, HANDLE event = nullptr) {
        return Icmp6SendEcho2(icmp6, event, nullptr, nullptr, &from, &to, data, sizeof data,
                              nullptr, reply6, room, 1000);
    };
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(echo6(away.Ipv6, sizeof reply6), 0u);
    EXPECT_EQ(GetLastError(), IP_DEST_NET_UNREACHABLE);
    EXPECT_EQ(echo6(ipv6("::1"), sizeof reply6 - 1), 0u);
    EXPECT_EQ(GetLastError(), IP_BUF_TOO_SMALL);
    EXPECT_EQ(echo6(ipv6("::1"), sizeof reply6, event), 0u) << "only the synchronous form";
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(IcmpSendEcho(icmp6, inet_addr("127.0.0.1"), data, sizeof data, nullptr, reply,
                           sizeof reply, 1000),
              0u)
        << "a handle answers for its own family";
    ASSERT_EQ(echo6(ipv6("::1"), sizeof reply6), 1u);
    ASSERT_EQ(Icmp6ParseReplies(reply6, sizeof reply6), 1u);
    EXPECT_EQ(Icmp6ParseReplies(nullptr, sizeof reply6) + Icmp6ParseReplies(reply6, 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE)) << "nothing to parse";
    EXPECT_EQ(Icmp6SendEcho2(icmp6, nullptr, nullptr, nullptr, &from, nullptr, data, sizeof data,
                             nullptr, reply6, sizeof reply6, 1000),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "no address";
    const auto* echoed = reinterpret_cast<const ICMPV6_ECHO_REPLY*>(reply6);
    EXPECT_EQ(echoed->Status, IP_SUCCESS);
    const sockaddr_in6 loopback = ipv6("::1");
    EXPECT_EQ(std::memcmp(echoed->Address.sin6_addr, &loopback.sin6_addr, 16), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(echoed + 1), sizeof data),
              std::string(data, sizeof data));
    CloseHandle(event);
    EXPECT_TRUE(IcmpCloseHandle(icmp6));

    platform::net::resetWinsock();
    const SOCKET again = startWithSocket();
    ASSERT_EQ(setOption(again, SO_BROADCAST, 1), 0);
    ASSERT_EQ(getaddrinfo("localhost", "9", nullptr, &result), 0) << "the confinement is lifted";
    freeaddrinfo(result);
}

TEST_F(WinsockTest, ReceiveEndsAtItsTimeoutOrWhenItsThreadIsTerminated) {
    const SOCKET receiver = startWithSocket();
    bindReceiver(receiver);
    ASSERT_EQ(setOption(receiver, SO_RCVTIMEO, 20), 0); // a whole number of host clock ticks
    DWORD value = 0;
    int length = sizeof value;
    EXPECT_EQ(
        getsockopt(receiver, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&value), &length), 0);
    EXPECT_EQ(value, 20u);
    char buffer[8];
    const auto begun = std::chrono::steady_clock::now();
    EXPECT_EQ(recvfrom(receiver, buffer, 8, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_GE(std::chrono::steady_clock::now() - begun,
              std::chrono::milliseconds(15)); // not at once
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);

    ASSERT_EQ(setOption(receiver, SO_RCVTIMEO, 0), 0);
    std::atomic<bool> started = false;
    int received = 0;
    platformtest::PlatformThread receive([&] {
        started = true;
        received = recvfrom(receiver, buffer, 8, 0, nullptr, nullptr);
    });
    platformtest::spinUntil([&] { return started.load(); });
    // No datagram ever comes: wherever the thread is in its receive, terminating it ends it
    // (a wait that the termination did not wake would hang here).
    EXPECT_TRUE(TerminateThread(receive.handle(), 5));
    EXPECT_EQ(receive.join(), 5u) << "the receive never returned";
    EXPECT_EQ(received, 0);
}

TEST_F(WinsockTest, FailingCallsSetTheWinsockErrorCode) {
    const SOCKET s = startWithSocket();
    const SOCKET closed = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_EQ(closesocket(closed), 0);
    EXPECT_EQ(platform::net::hostDescriptor(closed), -1);
    const sockaddr_in to = ipv4("127.0.0.1", 9);
    sockaddr_in badFamily = to;
    badFamily.sin_family = 99;
    const SOCKET s6 = socket(AF_INET6, SOCK_DGRAM, IPPROTO_UDP);
    const sockaddr_in elsewhere = ipv4("192.0.2.1", 0);
    const sockaddr_in6 loopback6 = ipv6("::1");
    const auto* away = reinterpret_cast<const sockaddr*>(&elsewhere);
    const auto* v6 = reinterpret_cast<const sockaddr*>(&loopback6);
    const auto* v4 = reinterpret_cast<const sockaddr*>(&to);
    sockaddr_in6 named{};
    auto* name = reinterpret_cast<sockaddr*>(&named);
    int length = 0;
    char value[8] = {1};
    const auto ipOption = [&](int option, const void* from, int size) {
        return setsockopt(s, IPPROTO_IP, option, static_cast<const char*>(from), size);
    };
    EXPECT_EQ(ipOption(IP_MULTICAST_TTL, value, 4), 0);
    EXPECT_EQ(ipOption(IP_MULTICAST_IF, &to.sin_addr, 4), 0);
    const std::pair<std::function<int()>, int> cases[] = {
        {[&] { return bind(s, nullptr, sizeof to); }, WSAEFAULT},
        {[&] { return bind(s, v6, sizeof to); }, WSAEFAULT},
        {[&] { return bind(s, away, sizeof to); }, WSAEADDRNOTAVAIL},
        {[&] { return getsockname(closed, name, &(length = 28)); }, WSAENOTSOCK},
        {[&] { return getsockname(s, name, nullptr); }, WSAEFAULT},
        {[&] { return getsockname(s, name, &(length = 15)); }, WSAEFAULT},
        {[&] { return getsockname(s6, name, &(length = 27)); }, WSAEFAULT},
        {[&] { return getsockopt(closed, SOL_SOCKET, SO_TYPE, value, &(length = 4)); },
         WSAENOTSOCK},
        {[&] { return getsockopt(s, SOL_SOCKET, SO_TYPE, value, nullptr); }, WSAEFAULT},
        {[&] { return getsockopt(s, SOL_SOCKET, 0x7777, value, &(length = 4)); }, WSAENOPROTOOPT},
        {[&] { return getsockopt(s, IPPROTO_TCP, SO_TYPE, value, &(length = 4)); }, WSAENOPROTOOPT},
        {[&] { return getsockopt(s, SOL_SOCKET, SO_TYPE, nullptr, &(length = 4)); }, WSAEFAULT},
        {[&] { return getsockopt(s, SOL_SOCKET, SO_TYPE, value, &(length = 3)); }, WSAEFAULT},
        {[&] { return setOption(closed, SO_BROADCAST, 1); }, WSAENOTSOCK},
        {[&] { return setOption(s, SO_ERROR, 0); }, WSAENOPROTOOPT},
        {[&] { return ipOption(IP_MULTICAST_TTL, nullptr, 4); }, WSAEFAULT},
        {[&] { return ipOption(IP_MULTICAST_TTL, value, 3); }, WSAEFAULT},
        {[&] { return ipOption(99, value, 4); }, WSAENOPROTOOPT},
        {[&] { return ipOption(IP_MULTICAST_IF, &elsewhere.sin_addr, 4); }, WSAEADDRNOTAVAIL},
        {[&] { return sendto(s, nullptr, 1, 0, v4, sizeof to); }, WSAEFAULT},
        {[&] { return sendto(s, "", 1, 0x8, v4, sizeof to); }, WSAEOPNOTSUPP},
        {[&] { return sendto(s, "", 1, MSG_OOB, v4, sizeof to); }, WSAEOPNOTSUPP},
        {[&] { return recvfrom(closed, value, 8, 0, nullptr, nullptr); }, WSAENOTSOCK},
        {[&] { return recvfrom(s, nullptr, 8, 0, nullptr, nullptr); }, WSAEFAULT},
        {[&] { return recvfrom(s, value, 8, 0, name, nullptr); }, WSAEFAULT},
        {[&] { return recvfrom(s, value, 8, 0x8, nullptr, nullptr); }, WSAEOPNOTSUPP},
        {[&] { return static_cast<int>(socket(AF_INET, SOCK_DGRAM, IPPROTO_TCP)); },
         WSAEPROTONOSUPPORT},
        {[&] { return sendTo(s, "", 1, to, 8); }, WSAEFAULT},
        {[&] { return sendTo(s, "", 1, badFamily); }, WSAEAFNOSUPPORT},
        {[&] { return static_cast<int>(socket(99, SOCK_DGRAM, 0)); }, WSAEAFNOSUPPORT},
        {[&] { return closesocket(closed); }, WSAENOTSOCK},
        {[&] { return sendTo(closed, "", 1, to); }, WSAENOTSOCK},
        {[&] { return sendTo(INVALID_SOCKET, "", 1, to); }, WSAENOTSOCK},
        {[&] { return setOption(s, 0x7777, 1); }, WSAENOPROTOOPT},
        {[&] { return setOption(s, SO_BROADCAST, 1, 1); }, WSAEFAULT},
    };
    for (const auto& [call, error] : cases) {
        SCOPED_TRACE(error);
        EXPECT_EQ(call(), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), error);
    }
}

// Each Winsock option reaches a host option of its own: set alone, it is the only one that reads
// back as set; sizes, timeouts and the socket's type come back in Winsock's units.
TEST_F(WinsockTest, EachSocketOptionReachesItsOwnHostOption) {
    startWithSocket();
    const auto get = [](SOCKET s, int name) {
        int value = -1;
        int length = sizeof value;
        EXPECT_EQ(getsockopt(s, SOL_SOCKET, name, reinterpret_cast<char*>(&value), &length), 0);
        EXPECT_EQ(length, 4) << name;
        return value;
    };
    const int flags[] = {SO_DEBUG, SO_REUSEADDR, SO_KEEPALIVE, SO_DONTROUTE, SO_BROADCAST};
    for (const int set : flags) {
        const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        ASSERT_EQ(setOption(s, set, 1), 0) << set;
        for (const int name : flags)
            EXPECT_EQ(get(s, name) != 0, name == set) << set << " read as " << name;
    }
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_EQ(setOption(s, SO_SNDBUF, 4096), 0);
    ASSERT_EQ(setOption(s, SO_RCVBUF, 8192), 0);
    ASSERT_EQ(setOption(s, SO_SNDTIMEO, 1500), 0);
    // Linux keeps twice the buffer size it is given.
    EXPECT_EQ(std::tuple(get(s, SO_SNDBUF), get(s, SO_RCVBUF), get(s, SO_SNDTIMEO),
                         get(s, SO_RCVTIMEO), get(s, SO_TYPE), get(s, SO_ERROR)),
              std::tuple(8192, 16384, 1500, 0, SOCK_DGRAM, 0));
}

TEST_F(WinsockTest, LookupGivesWinsockAddressRecordsOrWinsockCodes) {
    ADDRINFOA* result = nullptr;
    startWithSocket();
    ASSERT_EQ(getaddrinfo("127.0.0.1", "65535", nullptr, &result), 0);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->ai_addrlen, 16u);
    const auto* address = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
    EXPECT_EQ(address->sin_port, htons(65535));
    EXPECT_EQ(address->sin_addr.s_addr, inet_addr("127.0.0.1"));
    freeaddrinfo(result);

    ADDRINFOA hints{};
    EXPECT_EQ(getaddrinfo(nullptr, nullptr, nullptr, &result), WSAHOST_NOT_FOUND);
    result = nullptr;
    for (const char* beyond : {"65536", "99999"})
        EXPECT_EQ(getaddrinfo("127.0.0.1", beyond, nullptr, &result), EAI_SERVICE)
            << "a port beyond 65535 must not wrap around";
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(WSAGetLastError(), WSATYPE_NOT_FOUND);
    const std::tuple<int, const char*, const char*, int> refused[] = {
        {AI_NUMERICHOST, "no-such-host", "9", WSAHOST_NOT_FOUND},
        {0x40000, "127.0.0.1", "9", EAI_BADFLAGS},
        {AI_NUMERICSERV, "127.0.0.1", "discard", EAI_NONAME}};
    for (const auto& [flags, host, service, code] : refused) {
        hints = ADDRINFOA{};
        hints.ai_flags = flags;
        EXPECT_EQ(getaddrinfo(host, service, &hints, &result), code) << flags;
        EXPECT_EQ(result, nullptr);
    }
    EXPECT_EQ(getaddrinfo("127.0.0.1", "9", nullptr, nullptr), WSAEFAULT);
    hints = ADDRINFOA{};
    hints.ai_family = 99;
    EXPECT_EQ(getaddrinfo("127.0.0.1", "9", &hints, &result), WSAEAFNOSUPPORT);

    // Asked for IPv6, an IPv4 address comes mapped when that is asked for; a canonical name
    // only when asked for.
    hints.ai_family = AF_INET6;
    hints.ai_flags = AI_NUMERICHOST | AI_V4MAPPED | AI_ALL;
    ASSERT_EQ(getaddrinfo("127.0.0.1", nullptr, &hints, &result), 0);
    EXPECT_EQ(text(*reinterpret_cast<const SOCKADDR_INET*>(result->ai_addr)), "::ffff:127.0.0.1");
    EXPECT_EQ(result->ai_canonname, nullptr);
    freeaddrinfo(result);
    hints = ADDRINFOA{};
    hints.ai_flags = AI_CANONNAME;
    ASSERT_EQ(getaddrinfo("localhost", nullptr, &hints, &result), 0);
    EXPECT_STREQ(result->ai_canonname, "localhost");
    freeaddrinfo(result);
}

// A name that must be found comes from the host's resolver (/etc/hosts names 127.0.0.1), into a
// buffer it must fit; confined, it is never asked, while a numeric form still is given.
TEST_F(WinsockTest, ReverseLookupNamesAnAddressOrSaysWhyNot) {
    startWithSocket();
    const sockaddr_in loopback = ipv4("127.0.0.1", 9);
    const sockaddr_in elsewhere = ipv4("192.0.2.7", 9);
    const auto* from = reinterpret_cast<const sockaddr*>(&loopback);
    char name[NI_MAXHOST] = {};
    char tiny[4] = {};
    ASSERT_EQ(getnameinfo(from, sizeof loopback, name, sizeof name, nullptr, 0, NI_NAMEREQD), 0);
    EXPECT_STRNE(name, "127.0.0.1");
    EXPECT_EQ(getnameinfo(from, sizeof loopback, tiny, sizeof tiny, nullptr, 0, NI_NUMERICHOST),
              WSAEFAULT);
    EXPECT_EQ(getnameinfo(from, 4, name, sizeof name, nullptr, 0, 0), WSAEFAULT);
    EXPECT_EQ(getnameinfo(from, sizeof loopback, name, sizeof name, nullptr, 0, 0x100), WSAEINVAL);
    EXPECT_EQ(getnameinfo(from, sizeof loopback, name, 0, nullptr, 0, 0), EAI_NONAME)
        << "neither name asked for";
    EXPECT_EQ(getnameinfo(from, sizeof loopback, nullptr, 0, tiny, 0, 0), EAI_NONAME);
    ASSERT_EQ(getnameinfo(from, sizeof loopback, nullptr, 0, tiny, sizeof tiny, NI_NUMERICSERV), 0);
    EXPECT_STREQ(tiny, "9") << "the service alone";

    platform::net::confineToLoopback();
    const auto* far = reinterpret_cast<const sockaddr*>(&elsewhere);
    EXPECT_EQ(getnameinfo(far, sizeof elsewhere, name, sizeof name, nullptr, 0, NI_NAMEREQD),
              EAI_NONAME);
    EXPECT_EQ(getnameinfo(far, sizeof elsewhere, name, sizeof name, nullptr, 0, 0), 0);
    EXPECT_STREQ(name, "192.0.2.7");
}

// The IP Helper's routes on a LAN of the test's own: the way to an address beyond the router, in
// each form the IP Helper gives it (interface, row, and row2 of either family with the exact
// prefix, next hop and source); one of this device's own addresses is reached through loopback,
// the LAN's broadcast address directly. An unreachable route, a multicast address and a malformed
// request get none. An address on an interface that is up with no link is disconnected; an
// interface's first address alone is its primary one.
TEST_F(WinsockTest, RoutesNameTheInterfaceTheNextHopAndTheSourceOnARealLan) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!routedLan(network))
            return false;
        startWithSocket();
        DWORD lan = 0;
        EXPECT_EQ(GetBestInterface(inet_addr("10.77.0.5"), &lan), static_cast<DWORD>(NO_ERROR));
        EXPECT_GT(lan, 1u) << "not loopback";
        EXPECT_EQ(GetBestInterface(inet_addr("10.77.0.5"), nullptr), ERROR_INVALID_PARAMETER);
        MIB_IPFORWARDROW route{};
        EXPECT_EQ(GetBestRoute(inet_addr("10.76.0.255"), 0, &route), static_cast<DWORD>(NO_ERROR));
        EXPECT_EQ(std::pair(route.dwForwardIfIndex, route.dwForwardType),
                  std::pair(lan, static_cast<DWORD>(MIB_IPROUTE_TYPE_DIRECT)));
        for (const char* none : {"10.78.0.5", "224.0.0.251"})
            EXPECT_EQ(GetBestRoute(inet_addr(none), 0, &route), ERROR_NETWORK_UNREACHABLE) << none;
        EXPECT_EQ(GetBestRoute(inet_addr("10.77.0.5"), 0, nullptr), ERROR_INVALID_PARAMETER);

        using Row = std::tuple<DWORD, std::string, std::string, std::string, int, int, BOOLEAN>;
        const std::pair<const char*, Row> rows[] = {
            {"10.77.0.5", {lan, "10.77.0.5", "10.76.0.2", "10.76.0.1", 32, RouteProtocolOther, 0}},
            {"fd00:77::5",
             {lan, "fd00:77::5", "fd00:76::2", "fd00:76::1", 128, RouteProtocolOther, 0}},
            {"10.76.0.1", {1, "10.76.0.1", "0.0.0.0", "10.76.0.1", 32, RouteProtocolLocal, 1}},
        };
        MIB_IPFORWARD_ROW2 row{};
        SOCKADDR_INET source{};
        const auto bestRoute = [&](const SOCKADDR_INET* to) {
            return GetBestRoute2(nullptr, 0, nullptr, to, 0, &row, &source);
        };
        for (const auto& [to, expected] : rows) {
            const SOCKADDR_INET destination = inet(to);
            EXPECT_EQ(bestRoute(&destination), static_cast<DWORD>(NO_ERROR));
            EXPECT_EQ(Row(row.InterfaceIndex, text(row.DestinationPrefix.Prefix), text(row.NextHop),
                          text(source), row.DestinationPrefix.PrefixLength, row.Protocol,
                          row.Loopback),
                      expected)
                << to;
        }
        const SOCKADDR_INET unspecified{}, unreachable = inet("10.78.0.5");
        EXPECT_EQ(bestRoute(nullptr), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(bestRoute(&unspecified), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(bestRoute(&unreachable), ERROR_NETWORK_UNREACHABLE);
        std::vector<DWORD> storage(1024);
        auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(storage.data());
        ULONG size = storage.size() * sizeof(DWORD);
        EXPECT_EQ(GetIpAddrTable(table, nullptr, FALSE), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(GetIpNetTable(nullptr, nullptr, FALSE), ERROR_INVALID_PARAMETER);
        EXPECT_TRUE(network.run("ip addr add 10.79.0.9/24 dev lan1")); // lan1's second address
        EXPECT_EQ(GetIpAddrTable(table, &size, FALSE), static_cast<DWORD>(NO_ERROR));
        for (const MIB_IPADDRROW& address : std::span(table->table, table->dwNumEntries)) {
            const bool onLan1 = (ntohl(address.dwAddr) >> 8) == 0x0A4F00;
            if (address.dwAddr != inet_addr("10.76.0.1")) { // lan0's link may be coming up yet
                EXPECT_EQ((address.wType & MIB_IPADDR_DISCONNECTED) != 0, onLan1);
            }
            EXPECT_EQ((address.wType & MIB_IPADDR_PRIMARY) != 0,
                      address.dwAddr != inet_addr("10.79.0.9"));
        }
        return true;
    });
}

// Without ping sockets an echo is a TCP probe: a router that refuses in the computer's stead
// (ICMP port unreachable) gives its own reply, with that status, while its refusal for itself
// is an echo; an address on the LAN that nobody answers for is unreachable. With ping sockets,
// an echo too long for one packet is refused as too big.
TEST_F(WinsockTest, AnEchoBeyondARouterTellsWhatTheRouterSaid) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        // The neighbour lookup gives up within milliseconds.
        if (!routedLan(network) || !network.set("ipv4/ping_group_range", "1 0") ||
            !network.set("ipv4/neigh/lan0/mcast_solicit", "1") ||
            !network.set("ipv4/neigh/lan0/retrans_time_ms", "10"))
            return false;
        AnsweringRouter answering(network.nameOf("router"), "eth0", "10.77.0.0");
        const HANDLE probe = IcmpCreateFile();
        char data[] = "ping";
        alignas(ICMP_ECHO_REPLY) unsigned char reply[sizeof(ICMP_ECHO_REPLY) + sizeof data + 8];
        const auto echo = [&](HANDLE icmp, const char* to, void* sent, WORD size, void* into,
                              DWORD room) {
            return IcmpSendEcho(icmp, inet_addr(to), sent, size, nullptr, into, room, 5000);
        };
        EXPECT_EQ(echo(probe, "10.77.0.5", data, sizeof data, reply, sizeof reply), 1u);
        const auto* answer = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply);
        EXPECT_EQ(std::pair(answer->Status, answer->Address),
                  std::pair(static_cast<ULONG>(IP_DEST_PORT_UNREACHABLE), inet_addr("10.76.0.2")));
        EXPECT_EQ(echo(probe, "10.76.0.2", data, sizeof data, reply, sizeof reply), 1u);
        EXPECT_EQ(answer->Status, static_cast<ULONG>(IP_SUCCESS)) << "the router's own refusal";
        EXPECT_EQ(echo(probe, "10.76.0.9", data, sizeof data, reply, sizeof reply), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(IP_DEST_HOST_UNREACHABLE));
        EXPECT_TRUE(network.set("ipv4/ping_group_range", "0 2147483647"));
        const HANDLE ping = IcmpCreateFile();
        EXPECT_EQ(echo(ping, "127.0.0.1", data, sizeof data, reply, sizeof reply), 1u);
        EXPECT_EQ(std::string(static_cast<const char*>(answer->Data), answer->DataSize),
                  std::string(data, sizeof data))
            << "a ping socket's echo carries back what was sent";
        std::vector<unsigned char> big(0xFFFF), room(sizeof(ICMP_ECHO_REPLY) + big.size() + 8);
        EXPECT_EQ(echo(ping, "127.0.0.1", big.data(), 0xFFFF, room.data(), room.size()), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(IP_PACKET_TOO_BIG));
        return IcmpCloseHandle(probe) && IcmpCloseHandle(ping);
    });
}

} // namespace

// Each failure of the host's sockets reads as Winsock's code for it.
TEST(HostSocketErrors, EachHostErrorReadsAsWinsocksCode) {
    // In pairs, place by place; the last is one that Winsock has no word for.
    const int host[] = {EINTR,        EBADF,           EACCES,          EPERM,      EFAULT,
                        EINVAL,       EMFILE,          ENFILE,          EAGAIN,     EINPROGRESS,
                        EALREADY,     ENOTSOCK,        EDESTADDRREQ,    EMSGSIZE,   EPROTOTYPE,
                        ENOPROTOOPT,  EPROTONOSUPPORT, ESOCKTNOSUPPORT, EOPNOTSUPP, EPFNOSUPPORT,
                        EAFNOSUPPORT, EADDRINUSE,      EADDRNOTAVAIL,   ENETDOWN,   ENETUNREACH,
                        ENETRESET,    ECONNABORTED,    ECONNRESET,      EPIPE,      ENOBUFS,
                        ENOMEM,       EISCONN,         ENOTCONN,        ESHUTDOWN,  ETIMEDOUT,
                        ECONNREFUSED, EHOSTDOWN,       EHOSTUNREACH,    ENOENT};
    const int winsock[] = {
        WSAEINTR,        WSAEBADF,           WSAEACCES,          WSAEACCES,      WSAEFAULT,
        WSAEINVAL,       WSAEMFILE,          WSAEMFILE,          WSAEWOULDBLOCK, WSAEINPROGRESS,
        WSAEALREADY,     WSAENOTSOCK,        WSAEDESTADDRREQ,    WSAEMSGSIZE,    WSAEPROTOTYPE,
        WSAENOPROTOOPT,  WSAEPROTONOSUPPORT, WSAESOCKTNOSUPPORT, WSAEOPNOTSUPP,  WSAEPFNOSUPPORT,
        WSAEAFNOSUPPORT, WSAEADDRINUSE,      WSAEADDRNOTAVAIL,   WSAENETDOWN,    WSAENETUNREACH,
        WSAENETRESET,    WSAECONNABORTED,    WSAECONNRESET,      WSAECONNRESET,  WSAENOBUFS,
        WSAENOBUFS,      WSAEISCONN,         WSAENOTCONN,        WSAESHUTDOWN,   WSAETIMEDOUT,
        WSAECONNREFUSED, WSAEHOSTDOWN,       WSAEHOSTUNREACH,    WSAEINVAL};
    static_assert(std::size(host) == std::size(winsock));
    for (std::size_t i = 0; i < std::size(host); ++i)
        EXPECT_EQ(platform::net::host::winsockError(host[i]), winsock[i]) << std::strerror(host[i]);
}

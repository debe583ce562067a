// Winsock over the host's sockets: start-up, address parsing, name lookup, error codes and real
// datagrams on loopback.
#include "support/Shell.h"
#include "icmpapi.h"
#include "iphlpapi.h"
#include "netioapi.h"
#include "platform/Network.h"
#include "windows.h"
#include "winsock2.h"
#include "ws2tcpip.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <functional>
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
};

TEST_F(WinsockTest, StartupNegotiatesTheVersionAndTheLastCleanupClosesEverySocket) {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    EXPECT_EQ(std::pair(data.wVersion, data.wHighVersion), (std::pair<WORD, WORD>(0x0101, 0x0202)));
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
    EXPECT_EQ(recvfrom(receiver, received, 16, 0, reinterpret_cast<sockaddr*>(&from), &fromLength),
              8);
    EXPECT_EQ(std::tuple(std::string(received, 8), fromLength, from.sin_addr.s_addr),
              std::tuple(packet, 16, htonl(INADDR_LOOPBACK)));
    EXPECT_EQ(recvfrom(receiver, received, 4, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE) << "a datagram longer than the buffer";
    EXPECT_EQ(std::string(received, 4), packet.substr(0, 4));

    const sockaddr_in broadcast = ipv4("127.255.255.255", port);
    EXPECT_EQ(sendTo(sender, "", 1, broadcast), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEACCES) << "broadcast needs SO_BROADCAST";
    ASSERT_EQ(setOption(sender, SO_BROADCAST, TRUE), 0);
    EXPECT_EQ(sendTo(sender, "", 1, broadcast), 1);
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
    const std::pair<std::function<int()>, int> cases[] = {
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
    EXPECT_EQ(getaddrinfo("127.0.0.1", "65536", nullptr, &result), EAI_SERVICE)
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

    platform::net::confineToLoopback();
    const auto* far = reinterpret_cast<const sockaddr*>(&elsewhere);
    EXPECT_EQ(getnameinfo(far, sizeof elsewhere, name, sizeof name, nullptr, 0, NI_NAMEREQD),
              EAI_NONAME);
    EXPECT_EQ(getnameinfo(far, sizeof elsewhere, name, sizeof name, nullptr, 0, 0), 0);
    EXPECT_STREQ(name, "192.0.2.7");
}

} // namespace

// Winsock over the host's sockets: start-up, layouts, address parsing, name lookup and real
// datagrams on loopback.
#include "platform/Network.h"
#include "windows.h"
#include "winsock2.h"
#include "ws2tcpip.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <vector>

namespace {

class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override { platform::net::resetWinsock(); }
    void TearDown() override { platform::net::resetWinsock(); }

    void start() {
        WSADATA data{};
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    }

    static sockaddr_in loopback(u_short port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    // A UDP socket bound to an ephemeral loopback port; returns the port.
    static u_short bindReceiver(SOCKET receiver) {
        sockaddr_in address = loopback(0);
        EXPECT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        int length = sizeof address;
        EXPECT_EQ(getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length), 0);
        EXPECT_EQ(length, 16);
        return ntohs(address.sin_port);
    }
};

TEST_F(WinsockTest, StartupNegotiatesVersionTwoPointTwo) {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(data.wVersion, 0x0202);
    EXPECT_EQ(data.wHighVersion, 0x0202);
    EXPECT_NE(data.szDescription[0], '\0');

    WSADATA older{};
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &older), 0);
    EXPECT_EQ(older.wVersion, 0x0101);

    WSADATA newer{};
    ASSERT_EQ(WSAStartup(MAKEWORD(3, 0), &newer), 0);
    EXPECT_EQ(newer.wVersion, 0x0202);

    EXPECT_EQ(WSAStartup(MAKEWORD(0, 9), &data), WSAVERNOTSUPPORTED);
    EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), nullptr), WSAEFAULT);
}

TEST_F(WinsockTest, CallsBeforeStartupOrAfterLastCleanupAreRefused) {
    EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);

    start();
    start();
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_GE(platform::net::hostDescriptor(s), 0) << "one start is still counted";
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(platform::net::hostDescriptor(s), -1) << "the last clean-up closes every socket";
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST_F(WinsockTest, TestHooksMakeStartupFailOrReportAnotherVersion) {
    platform::net::failWinsockStartup(WSASYSNOTREADY);
    WSADATA data{};
    EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), WSASYSNOTREADY);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR) << "a failed start-up is not counted";

    platform::net::resetWinsock();
    platform::net::reportWinsockVersion(MAKEWORD(1, 1));
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
}

TEST_F(WinsockTest, StructuresHaveWinsockLayout) {
    EXPECT_EQ(sizeof(sockaddr_in), 16u);
    EXPECT_EQ(offsetof(sockaddr_in, sin_port), 2u);
    EXPECT_EQ(offsetof(sockaddr_in, sin_addr), 4u);
    EXPECT_EQ(offsetof(sockaddr_in, sin_zero), 8u);
    EXPECT_EQ(sizeof(in_addr), 4u);
    EXPECT_EQ(offsetof(WSADATA, szDescription), 4u);
    EXPECT_EQ(sizeof(WSADATA::szDescription), 257u);
    EXPECT_EQ(sizeof(WSADATA::szSystemStatus), 129u);
    // Winsock puts the canonical name before the address (the host's order is the reverse).
    EXPECT_LT(offsetof(ADDRINFOA, ai_canonname), offsetof(ADDRINFOA, ai_addr));
    EXPECT_LT(offsetof(ADDRINFOA, ai_addr), offsetof(ADDRINFOA, ai_next));
    EXPECT_EQ(SOL_SOCKET, 0xffff);
    EXPECT_EQ(SO_BROADCAST, 0x0020);
    EXPECT_EQ(AF_INET6, 23);
}

TEST_F(WinsockTest, ByteOrderHelpersSwapToNetworkOrder) {
    const u_short port = htons(0x1234);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&port);
    EXPECT_EQ(bytes[0], 0x12);
    EXPECT_EQ(bytes[1], 0x34);
    const u_long address = htonl(0x7f000001);
    const auto* addressBytes = reinterpret_cast<const unsigned char*>(&address);
    EXPECT_EQ(addressBytes[0], 0x7f);
    EXPECT_EQ(addressBytes[3], 0x01);
    EXPECT_EQ(ntohs(htons(9)), 9);
    EXPECT_EQ(ntohl(htonl(0xc0a80114)), 0xc0a80114u);
}

// inet_addr's result as the four bytes it puts in memory.
std::array<unsigned, 4> addressBytes(const char* text) {
    const u_long value = inet_addr(text);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
    return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

TEST(InetAddr, ReadsDottedAddressesInNetworkOrder) {
    EXPECT_EQ(addressBytes("192.168.1.20"), (std::array<unsigned, 4>{192, 168, 1, 20}));
    EXPECT_EQ(addressBytes("10.0.0.255"), (std::array<unsigned, 4>{10, 0, 0, 255}));
    EXPECT_EQ(addressBytes("0.0.0.0"), (std::array<unsigned, 4>{0, 0, 0, 0}));
    EXPECT_EQ(addressBytes("1.2.3.4 "), (std::array<unsigned, 4>{1, 2, 3, 4}));
}

TEST(InetAddr, ReadsTheShortAndBasePrefixedForms) {
    EXPECT_EQ(addressBytes("1.2.3"), (std::array<unsigned, 4>{1, 2, 0, 3}));
    EXPECT_EQ(addressBytes("10.65535"), (std::array<unsigned, 4>{10, 0, 255, 255}));
    EXPECT_EQ(addressBytes("0x7f.1"), (std::array<unsigned, 4>{127, 0, 0, 1}));
    EXPECT_EQ(addressBytes("010.0.0.1"), (std::array<unsigned, 4>{8, 0, 0, 1}));
    EXPECT_EQ(addressBytes("3232235796"), (std::array<unsigned, 4>{192, 168, 1, 20}));
}

TEST(InetAddr, RefusesAnythingElseWithInaddrNone) {
    for (const char* text :
         {"", "abc", "256.1.1.1", "1.2.3.4.5", "1.2.3.4x", "08.1.1.1", " 1.2.3.4", "1..2.3",
          "1.2.3.", "0x", "1.2.65536", "4294967296", "host.example"})
        EXPECT_EQ(inet_addr(text), INADDR_NONE) << text;
    EXPECT_EQ(inet_addr(nullptr), INADDR_NONE);
    EXPECT_EQ(inet_addr("255.255.255.255"), INADDR_NONE) << "the broadcast address reads as none";
}

TEST_F(WinsockTest, DatagramOfMagicPacketSizeArrivesOnLoopbackByteForByte) {
    start();
    const SOCKET receiver = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const SOCKET sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_NE(receiver, INVALID_SOCKET);
    ASSERT_NE(sender, INVALID_SOCKET);
    ASSERT_NE(receiver, sender);
    const u_short port = bindReceiver(receiver);

    std::vector<char> packet(102);
    for (std::size_t i = 0; i < packet.size(); ++i)
        packet[i] = static_cast<char>(i < 6 ? 0xff : (i - 6) % 6 * 0x11);
    sockaddr_in to = loopback(port);
    ASSERT_EQ(sendto(sender, packet.data(), 102, 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              102);

    std::vector<char> received(200);
    sockaddr_in from{};
    int fromLength = sizeof from;
    ASSERT_EQ(recvfrom(receiver, received.data(), 200, 0, reinterpret_cast<sockaddr*>(&from),
                       &fromLength),
              102);
    received.resize(102);
    EXPECT_EQ(received, packet);
    EXPECT_EQ(fromLength, 16);
    EXPECT_EQ(from.sin_family, AF_INET);
    EXPECT_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    sockaddr_in senderName{};
    int nameLength = sizeof senderName;
    ASSERT_EQ(getsockname(sender, reinterpret_cast<sockaddr*>(&senderName), &nameLength), 0);
    EXPECT_EQ(from.sin_port, senderName.sin_port);
    EXPECT_EQ(closesocket(sender), 0);
    EXPECT_EQ(closesocket(receiver), 0);
}

TEST_F(WinsockTest, DatagramLargerThanTheBufferIsReportedAsTooLong) {
    start();
    const SOCKET receiver = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const SOCKET sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in to = loopback(bindReceiver(receiver));
    const char packet[10] = "123456789";
    ASSERT_EQ(sendto(sender, packet, 10, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 10);
    char small[4] = {};
    EXPECT_EQ(recvfrom(receiver, small, 4, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
    EXPECT_EQ(std::string(small, 4), "1234");
}

TEST_F(WinsockTest, ReceiveTimeoutInMillisecondsEndsAnEmptyWait) {
    start();
    const SOCKET receiver = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    bindReceiver(receiver);
    const DWORD timeoutMs = 20; // a whole number of host clock ticks
    ASSERT_EQ(setsockopt(receiver, SOL_SOCKET, SO_RCVTIMEO,
                         reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs),
              0);
    DWORD readBack = 0;
    int length = sizeof readBack;
    ASSERT_EQ(
        getsockopt(receiver, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&readBack), &length),
        0);
    EXPECT_EQ(readBack, 20u);
    char buffer[8];
    EXPECT_EQ(recvfrom(receiver, buffer, 8, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
}

DWORD WINAPI receiveForever(LPVOID socketHandle) {
    char buffer[8];
    recvfrom(*static_cast<SOCKET*>(socketHandle), buffer, 8, 0, nullptr, nullptr);
    return 1;
}

TEST_F(WinsockTest, WaitingReceiveEndsWhenItsThreadIsTerminated) {
    start();
    SOCKET receiver = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    bindReceiver(receiver);
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, receiveForever, &receiver, 0, &threadId);
    ASSERT_NE(thread, nullptr);
    // No datagram ever comes: wherever the thread is in its receive, terminating it ends it
    // (a wait that the termination did not wake would hang here).
    EXPECT_TRUE(TerminateThread(thread, 5));
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &exitCode));
    EXPECT_EQ(exitCode, 5u) << "the receive never returned";
    CloseHandle(thread);
}

TEST_F(WinsockTest, SendToAnInvalidAddressLengthOrFamilyFails) {
    start();
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in to = loopback(9);
    const char byte = 0;
    EXPECT_EQ(sendto(s, &byte, 1, 0, reinterpret_cast<sockaddr*>(&to), 8), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    to.sin_family = 99;
    EXPECT_EQ(sendto(s, &byte, 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
    EXPECT_EQ(socket(99, SOCK_DGRAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
}

TEST_F(WinsockTest, ClosedOrUnknownSocketsAreNotSockets) {
    start();
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_EQ(closesocket(s), 0);
    EXPECT_EQ(platform::net::hostDescriptor(s), -1);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    const char byte = 0;
    sockaddr_in to = loopback(9);
    EXPECT_EQ(sendto(s, &byte, 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(sendto(INVALID_SOCKET, &byte, 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(WinsockTest, UnknownOptionsAreRefused) {
    start();
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const int on = 1;
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, 0x7777, reinterpret_cast<const char*>(&on), sizeof on),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), 1),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

TEST_F(WinsockTest, NumericLookupGivesWinsockAddressRecord) {
    start();
    ADDRINFOA* result = nullptr;
    ASSERT_EQ(getaddrinfo("127.0.0.1", "9", nullptr, &result), 0);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->ai_family, AF_INET);
    EXPECT_EQ(result->ai_addrlen, 16u);
    const auto* address = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
    EXPECT_EQ(address->sin_family, AF_INET);
    EXPECT_EQ(address->sin_port, htons(9));
    EXPECT_EQ(address->sin_addr.s_addr, inet_addr("127.0.0.1"));
    freeaddrinfo(result);
}

TEST_F(WinsockTest, LocalhostResolvesWithAnIpv4Hint) {
    start();
    ADDRINFOA hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_CANONNAME;
    ADDRINFOA* result = nullptr;
    ASSERT_EQ(getaddrinfo("localhost", nullptr, &hints, &result), 0);
    ASSERT_NE(result, nullptr);
    int entries = 0;
    for (const ADDRINFOA* entry = result; entry != nullptr; entry = entry->ai_next) {
        EXPECT_EQ(entry->ai_family, AF_INET);
        EXPECT_EQ(entry->ai_socktype, SOCK_DGRAM);
        ++entries;
    }
    EXPECT_GE(entries, 1);
    ASSERT_NE(result->ai_canonname, nullptr);
    EXPECT_EQ(reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.S_un.S_un_b.s_b1,
              127);
    freeaddrinfo(result);
}

TEST_F(WinsockTest, LookupFailuresAreWinsockCodes) {
    ADDRINFOA* result = nullptr;
    EXPECT_EQ(getaddrinfo("127.0.0.1", "9", nullptr, &result), WSANOTINITIALISED);
    start();
    EXPECT_EQ(getaddrinfo(nullptr, nullptr, nullptr, &result), WSAHOST_NOT_FOUND);
    EXPECT_EQ(getaddrinfo("127.0.0.1", "70000", nullptr, &result), EAI_SERVICE)
        << "a port beyond 65535 must not wrap around";
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(WSAGetLastError(), WSATYPE_NOT_FOUND);
    ADDRINFOA numericOnly{};
    numericOnly.ai_flags = AI_NUMERICHOST;
    EXPECT_EQ(getaddrinfo("no-such-host", "9", &numericOnly, &result), WSAHOST_NOT_FOUND);
    numericOnly.ai_flags = 0x40000;
    EXPECT_EQ(getaddrinfo("127.0.0.1", "9", &numericOnly, &result), EAI_BADFLAGS);
    ADDRINFOA numericService{};
    numericService.ai_flags = AI_NUMERICSERV;
    EXPECT_NE(getaddrinfo("127.0.0.1", "discard", &numericService, &result), 0);
    EXPECT_EQ(result, nullptr);
}

} // namespace

// SO_BROADCAST carries Winsock's value (0x20) and must reach the host socket as the host's own
// broadcast option; without it the host refuses broadcast sends.
#include "HostSocketProbe.h"
#include "platform/Network.h"
#include "winsock2.h"

#include <gtest/gtest.h>

namespace {

class BroadcastOptionTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::net::resetWinsock();
        WSADATA data{};
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        ASSERT_NE(sender, INVALID_SOCKET);
    }
    void TearDown() override { platform::net::resetWinsock(); }

    int sendToLoopbackBroadcast() {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(9);
        to.sin_addr.s_addr = inet_addr("127.255.255.255");
        const char byte = 0;
        return sendto(sender, &byte, 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

    SOCKET sender = INVALID_SOCKET;
};

TEST_F(BroadcastOptionTest, SetsTheHostBroadcastOption) {
    const int fd = platform::net::hostDescriptor(sender);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(probe::hostBroadcastEnabled(fd));
    const BOOL on = TRUE;
    ASSERT_EQ(
        setsockopt(sender, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on),
        0);
    EXPECT_TRUE(probe::hostBroadcastEnabled(fd));
    EXPECT_FALSE(probe::hostReuseAddressEnabled(fd)) << "no other option was touched";
    BOOL readBack = FALSE;
    int length = sizeof readBack;
    ASSERT_EQ(
        getsockopt(sender, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<char*>(&readBack), &length),
        0);
    EXPECT_NE(readBack, FALSE);
}

TEST_F(BroadcastOptionTest, BroadcastSendNeedsTheOption) {
    EXPECT_EQ(sendToLoopbackBroadcast(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEACCES);
    const BOOL on = TRUE;
    ASSERT_EQ(
        setsockopt(sender, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on),
        0);
    EXPECT_EQ(sendToLoopbackBroadcast(), 1);
}

} // namespace

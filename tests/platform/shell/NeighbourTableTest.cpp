// The IP Helper's neighbours: SendARP and GetIpNetTable over the kernel's neighbour table, on a
// LAN of network namespaces the test builds, and the netlink reader behind them.
#include "iphlpapi.h"
#include "net/Neighbours.h"
#include "platform/Network.h"
#include "support/NetworkOfItsOwn.h"
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

#include <array>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using platform::net::neighbours::Entry;
using platform::net::neighbours::State;

// A neighbour message as the kernel writes it, with the attributes given.
void appendNeighbour(std::vector<std::uint8_t>& buffer, std::uint16_t type, std::uint8_t family,
                     std::uint16_t state, std::uint32_t address, std::vector<std::uint8_t> mac) {
    std::vector<std::uint8_t> body(NLMSG_ALIGN(sizeof(ndmsg)));
    ndmsg header{};
    header.ndm_family = family;
    header.ndm_ifindex = 7;
    header.ndm_state = state;
    std::memcpy(body.data(), &header, sizeof header);
    const auto attribute = [&](std::uint16_t kind, const void* data, std::size_t length) {
        rtattr head{static_cast<unsigned short>(RTA_LENGTH(length)), kind};
        const std::size_t at = body.size();
        body.resize(at + RTA_SPACE(length));
        std::memcpy(body.data() + at, &head, sizeof head);
        std::memcpy(body.data() + at + RTA_LENGTH(0), data, length);
    };
    attribute(NDA_DST, &address, sizeof address);
    if (!mac.empty()) {
        attribute(NDA_LLADDR, mac.data(), mac.size());
    }
    nlmsghdr message{};
    message.nlmsg_len = static_cast<std::uint32_t>(NLMSG_HDRLEN + body.size());
    message.nlmsg_type = type;
    const std::size_t at = buffer.size();
    buffer.resize(at + NLMSG_HDRLEN);
    std::memcpy(buffer.data() + at, &message, sizeof message);
    buffer.insert(buffer.end(), body.begin(), body.end());
}

TEST(NeighbourMessages, StatesMapToAnswersFailuresAndAskingAndBrokenPartsEndTheRead) {
    const std::vector<std::uint8_t> mac{0, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::vector<std::uint8_t> buffer;
    appendNeighbour(buffer, RTM_NEWNEIGH, AF_INET, NUD_STALE, htonl(0x0A000002), mac);
    appendNeighbour(buffer, RTM_NEWNEIGH, AF_INET, NUD_FAILED, htonl(0x0A000003), {});
    appendNeighbour(buffer, RTM_NEWNEIGH, AF_INET, NUD_INCOMPLETE, htonl(0x0A000004), {});
    appendNeighbour(buffer, RTM_NEWNEIGH, AF_INET, NUD_PERMANENT, htonl(0x0A000005), mac);
    appendNeighbour(buffer, RTM_DELNEIGH, AF_INET, NUD_REACHABLE, htonl(0x0A000006), mac);
    appendNeighbour(buffer, RTM_NEWNEIGH, AF_INET6, NUD_REACHABLE, htonl(0x0A000007), mac);
    // Answered without a hardware address: nothing to tell yet.
    appendNeighbour(buffer, RTM_NEWNEIGH, AF_INET, NUD_REACHABLE, htonl(0x0A000008), {});
    std::vector<Entry> entries;
    EXPECT_FALSE(platform::net::neighbours::parseMessages(buffer.data(), buffer.size(), entries));
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].state, State::answered);
    EXPECT_EQ(entries[0].interfaceIndex, 7u);
    EXPECT_EQ(entries[0].address, htonl(0x0A000002));
    EXPECT_EQ(std::vector<std::uint8_t>(entries[0].hardware.begin(),
                                        entries[0].hardware.begin() + entries[0].hardwareLength),
              mac);
    EXPECT_EQ(entries[1].state, State::failed);
    EXPECT_EQ(entries[2].state, State::asking);
    EXPECT_EQ(entries[3].state, State::permanent);
    EXPECT_TRUE(entries[4].removed);
    EXPECT_EQ(entries[5].state, State::asking);

    // The dump's end; then a message that claims more bytes than there are.
    nlmsghdr done{NLMSG_HDRLEN, NLMSG_DONE, 0, 0, 0};
    std::vector<std::uint8_t> ended(NLMSG_HDRLEN);
    std::memcpy(ended.data(), &done, sizeof done);
    entries.clear();
    EXPECT_TRUE(platform::net::neighbours::parseMessages(ended.data(), ended.size(), entries));
    buffer.resize(buffer.size() - 3);
    entries.clear();
    EXPECT_FALSE(platform::net::neighbours::parseMessages(buffer.data(), buffer.size(), entries));
    EXPECT_EQ(entries.size(), 5u) << "the cut message is passed over, the ones before kept";
}

std::string macText(const BYTE* bytes, ULONG length) {
    std::string text;
    char part[4];
    for (ULONG i = 0; i < length; ++i) {
        std::snprintf(part, sizeof part, i == 0 ? "%02x" : ":%02x", bytes[i]);
        text += part;
    }
    return text;
}

std::vector<MIB_IPNETROW> netTable() {
    ULONG size = 0;
    EXPECT_EQ(GetIpNetTable(nullptr, &size, TRUE), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<DWORD> storage(size / sizeof(DWORD) + 1);
    ULONG tooSmall = size - 1;
    auto* table = reinterpret_cast<MIB_IPNETTABLE*>(storage.data());
    EXPECT_EQ(GetIpNetTable(table, &tooSmall, TRUE), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(tooSmall, size);
    EXPECT_EQ(GetIpNetTable(table, &size, TRUE), static_cast<DWORD>(NO_ERROR));
    return std::vector<MIB_IPNETROW>(table->table, table->table + table->dwNumEntries);
}

const MIB_IPNETROW* rowFor(const std::vector<MIB_IPNETROW>& rows, const char* address) {
    for (const auto& row : rows) {
        if (row.dwAddr == inet_addr(address)) {
            return &row;
        }
    }
    return nullptr;
}

// A LAN: this namespace on bridge lan0 (10.80.0.1/24), a computer at 10.80.0.2 with a card of a
// known address, one at 10.80.0.3, nobody at 10.80.0.9, and a network behind 10.80.0.2.
// SendARP answers from the table or after asking, gives this device's own card, refuses what
// lies behind a gateway and what nobody answers for; the table holds the answers and the
// failures in address order; loopback confinement shows and asks nothing.
TEST(NeighbourTable, SendArpAndTheTableTellWhoAnsweredOnARealLan) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addBridge("lan0", "10.80.0.1/24") ||
            !network.run("ip link set lan0 address 02:00:00:00:00:01") ||
            !network.addBridgedPeer("a", "lan0", "10.80.0.2/24", "00:d0:ef:00:00:02") ||
            !network.addBridgedPeer("b", "lan0", "10.80.0.3/24", "02:00:00:00:00:03") ||
            !network.run("ip route add 10.90.0.0/24 via 10.80.0.2") ||
            !network.set("ipv4/neigh/lan0/retrans_time_ms", "50")) {
            return false;
        }
        std::array<BYTE, 8> mac{};
        ULONG length = 2;
        EXPECT_EQ(SendARP(inet_addr("10.80.0.2"), 0, reinterpret_cast<PULONG>(mac.data()), &length),
                  static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
        EXPECT_EQ(length, 6u);
        length = mac.size();
        EXPECT_EQ(SendARP(inet_addr("10.80.0.2"), 0, reinterpret_cast<PULONG>(mac.data()), &length),
                  static_cast<DWORD>(NO_ERROR));
        EXPECT_EQ(macText(mac.data(), length), "00:d0:ef:00:00:02");
        length = mac.size();
        EXPECT_EQ(SendARP(inet_addr("10.80.0.3"), 0, reinterpret_cast<PULONG>(mac.data()), &length),
                  static_cast<DWORD>(NO_ERROR));
        EXPECT_EQ(macText(mac.data(), length), "02:00:00:00:00:03");
        length = mac.size();
        EXPECT_EQ(SendARP(inet_addr("10.80.0.1"), 0, reinterpret_cast<PULONG>(mac.data()), &length),
                  static_cast<DWORD>(NO_ERROR));
        EXPECT_EQ(macText(mac.data(), length), "02:00:00:00:00:01");
        length = mac.size();
        EXPECT_EQ(SendARP(inet_addr("10.80.0.9"), 0, reinterpret_cast<PULONG>(mac.data()), &length),
                  static_cast<DWORD>(ERROR_BAD_NET_NAME));
        EXPECT_EQ(SendARP(inet_addr("10.90.0.5"), 0, reinterpret_cast<PULONG>(mac.data()), &length),
                  static_cast<DWORD>(ERROR_BAD_NET_NAME));
        EXPECT_EQ(SendARP(inet_addr("10.80.0.2"), 0, nullptr, &length),
                  static_cast<DWORD>(ERROR_INVALID_PARAMETER));

        const auto rows = netTable();
        const MIB_IPNETROW* a = rowFor(rows, "10.80.0.2");
        const MIB_IPNETROW* nobody = rowFor(rows, "10.80.0.9");
        EXPECT_TRUE(a != nullptr && a->dwType == MIB_IPNET_TYPE_DYNAMIC &&
                    macText(a->bPhysAddr, a->dwPhysAddrLen) == "00:d0:ef:00:00:02" &&
                    a->dwIndex == if_nametoindex("lan0"));
        EXPECT_TRUE(nobody != nullptr && nobody->dwType == MIB_IPNET_TYPE_INVALID &&
                    nobody->dwPhysAddrLen == 0);
        for (std::size_t i = 1; i < rows.size(); ++i) {
            EXPECT_LT(ntohl(rows[i - 1].dwAddr), ntohl(rows[i].dwAddr));
        }

        MIB_IPFORWARDROW route{};
        EXPECT_EQ(GetBestRoute(inet_addr("10.90.0.5"), 0, &route), static_cast<DWORD>(NO_ERROR));
        EXPECT_EQ(route.dwForwardType, MIB_IPROUTE_TYPE_INDIRECT);
        EXPECT_EQ(route.dwForwardNextHop, inet_addr("10.80.0.2"));
        EXPECT_EQ(GetBestRoute(inet_addr("10.80.0.3"), 0, &route), static_cast<DWORD>(NO_ERROR));
        EXPECT_EQ(route.dwForwardType, MIB_IPROUTE_TYPE_DIRECT);
        EXPECT_EQ(route.dwForwardIfIndex, if_nametoindex("lan0"));

        platform::net::confineToLoopback();
        ULONG size = 0;
        EXPECT_EQ(GetIpNetTable(nullptr, &size, TRUE), static_cast<DWORD>(ERROR_NO_DATA));
        length = mac.size();
        EXPECT_EQ(SendARP(inet_addr("10.80.0.2"), 0, reinterpret_cast<PULONG>(mac.data()), &length),
                  static_cast<DWORD>(ERROR_BAD_NET_NAME));
        EXPECT_EQ(GetBestRoute(inet_addr("10.80.0.3"), 0, &route),
                  static_cast<DWORD>(ERROR_NETWORK_UNREACHABLE));
        platform::net::resetWinsock();
        return true;
    });
}

} // namespace

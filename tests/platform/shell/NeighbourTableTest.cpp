// The IP Helper's neighbours: SendARP and GetIpNetTable over the kernel's neighbour table, on a
// LAN of network namespaces the test builds, and the netlink reader behind them. Also the host
// side of Winsock where a test needs the host's own socket calls to set a socket up.
#include "iphlpapi.h"
#include "net/HostSockets.h"
#include "net/Neighbours.h"
#include "platform/Clock.h"
#include "platform/Network.h"
#include "support/NetworkOfItsOwn.h"
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <cstdio>
#include <functional>
#include <string>
#include <tuple>
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
    EXPECT_EQ(std::tuple(entries[0].interfaceIndex, entries[0].address,
                         std::vector(entries[0].hardware.begin(),
                                     entries[0].hardware.begin() + entries[0].hardwareLength)),
              std::tuple(7u, htonl(0x0A000002), mac));
    const State states[] = {State::answered, State::failed, State::asking, State::permanent};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i].state, states[i]) << i;
    }
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

    // An attribute that claims no length ends the message's read, and an entry without its
    // address is none; bytes too few for a message header end the buffer's read.
    std::vector<std::uint8_t> broken;
    appendNeighbour(broken, RTM_NEWNEIGH, AF_INET, NUD_PERMANENT, htonl(0x0A000009), mac);
    broken[NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ndmsg))] = 0; // NDA_DST's length
    broken.resize(broken.size() + 3);
    entries.clear();
    EXPECT_FALSE(platform::net::neighbours::parseMessages(broken.data(), broken.size(), entries));
    EXPECT_TRUE(entries.empty());
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
        // What SendARP says for an address, with the card's address it gave when it gave one.
        const auto sendArp = [&](const char* address, ULONG room = 8) {
            length = room;
            const DWORD said =
                SendARP(inet_addr(address), 0, reinterpret_cast<PULONG>(mac.data()), &length);
            return std::pair(said, said == NO_ERROR ? macText(mac.data(), length) : "");
        };
        using Said = std::pair<DWORD, std::string>;
        EXPECT_EQ(sendArp("10.80.0.2", 2), Said(ERROR_BUFFER_OVERFLOW, ""));
        EXPECT_EQ(length, 6u);
        EXPECT_EQ(sendArp("10.80.0.2"), Said(NO_ERROR, "00:d0:ef:00:00:02"));
        EXPECT_EQ(sendArp("10.80.0.3"), Said(NO_ERROR, "02:00:00:00:00:03"));
        EXPECT_EQ(sendArp("10.80.0.1"), Said(NO_ERROR, "02:00:00:00:00:01"));
        EXPECT_EQ(sendArp("10.80.0.9"), Said(ERROR_BAD_NET_NAME, ""));
        EXPECT_EQ(sendArp("10.90.0.5"), Said(ERROR_BAD_NET_NAME, ""));
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
        EXPECT_EQ(sendArp("10.80.0.2"), Said(ERROR_BAD_NET_NAME, ""));
        EXPECT_EQ(GetBestRoute(inet_addr("10.80.0.3"), 0, &route),
                  static_cast<DWORD>(ERROR_NETWORK_UNREACHABLE));
        platform::net::resetWinsock();
        return true;
    });
}

// The kernel's notices of changes: an IPv4 entry comes as itself; a notice of nothing in the IPv4
// table (an IPv6 neighbour) still bids the caller look again, as one empty entry. With its
// deadline passed the wait ends at once with nothing.
TEST(NeighbourTable, ChangeNoticesTellOfIpv4EntriesAndBidALookAgainForOthers) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addPeer("peer", "lan0", "10.82.0.1/24", "")) {
            return false;
        }
        platform::net::neighbours::ChangeWatch watch;
        EXPECT_TRUE(watch.isOpen() && watch.next(platform::clock::now()).empty());
        EXPECT_TRUE(network.run("ip -6 neigh add fd00:82::2 lladdr 02:00:00:00:00:02 dev lan0"));
        const auto other = watch.next(platform::clock::now() + 5000);
        EXPECT_TRUE(other.size() == 1 && other[0].address == 0) << other.size();
        EXPECT_TRUE(network.run("ip neigh add 10.82.0.2 lladdr 00:d0:ef:00:00:02 dev lan0"));
        const auto added = watch.next(platform::clock::now() + 5000);
        EXPECT_TRUE(added.size() == 1 && added[0].address == inet_addr("10.82.0.2") &&
                    added[0].state == State::permanent &&
                    macText(added[0].hardware.data(), added[0].hardwareLength) ==
                        "00:d0:ef:00:00:02")
            << added.size();
        return true;
    });
}

// Below Winsock: an error the kernel holds for a socket (a refusal to a connected datagram
// socket) reads as Winsock's code for it, once; each call on a descriptor that is no socket, or
// with an address of no family the host takes, fails with Winsock's code for why.
TEST(HostSockets, ErrorsReadAsWinsockCodes) {
    namespace host = platform::net::host;
    // Winsock's values, which winsock2.h gives (it can't be included with the host's headers).
    constexpr int sol = 0xffff, broadcast = 0x20, receiveTimeout = 0x1006, soError = 0x1007;
    constexpr int notASocket = 10038, familyNotTaken = 10047, refused = 10061;
    // A loopback port that nobody listens on: one just let go.
    const int gone = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof to;
    ASSERT_EQ(bind(gone, reinterpret_cast<sockaddr*>(&to), length), 0);
    ASSERT_EQ(getsockname(gone, reinterpret_cast<sockaddr*>(&to), &length), 0);
    close(gone);
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), length), 0);
    ASSERT_EQ(send(fd, "x", 1, 0), 1);
    pollfd answered{fd, 0, 0};
    ASSERT_EQ(poll(&answered, 1, 5000), 1) << "the refusal came";
    int value = -1, size = sizeof value, error = 0;
    EXPECT_TRUE(host::getOption(fd, sol, soError, &value, size, error));
    EXPECT_EQ(value, refused);
    EXPECT_TRUE(host::getOption(fd, sol, soError, &value, size, error));
    EXPECT_EQ(value, 0) << "read once";

    const int bad = eventfd(1, EFD_CLOEXEC); // no socket, and readable at once
    host::Endpoint unknown;
    unknown.family = 99;
    const std::pair<std::function<bool()>, int> cases[] = {
        {[&] { return host::bindTo(fd, unknown, error); }, familyNotTaken},
        {[&] { return host::sendDatagram(fd, "x", 1, 0, &unknown, error) >= 0; }, familyNotTaken},
        {[&] { return host::localName(bad, unknown, error); }, notASocket},
        {[&] { return host::setOption(bad, sol, broadcast, &value, 4, error); }, notASocket},
        {[&] { return host::getOption(bad, sol, broadcast, &value, size, error); }, notASocket},
        {[&] { return host::getOption(bad, sol, receiveTimeout, &value, size, error); },
         notASocket},
        {[&] { return host::receiveDatagram(bad, &value, 4, 0, nullptr, error) >= 0; }, notASocket},
    };
    for (const auto& [call, code] : cases) {
        error = 0;
        EXPECT_FALSE(call());
        EXPECT_EQ(error, code);
    }
    close(bad);
    close(fd);
}

} // namespace

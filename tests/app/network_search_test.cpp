// The network search on LANs of network namespaces the test builds: every computer that is up is
// found with its MAC address, in address order, named by reverse DNS (an /etc/netns hosts file),
// NetBIOS or multicast DNS (answerers in the peers), its card's maker where the IEEE list knows
// it; a wide subnet is searched in batches in the /22 around the device; under loopback
// confinement nothing is found and nothing sent.
#include "CardMakers.h"
#include "NetworkSearch.h"
#include "support/NetworkOfItsOwn.h"
#include "support/ScopedTestDevice.h"

#include <platform/Clock.h>
#include <platform/Network.h>

#include <windows.h>
#include <winsock2.h>

#include <algorithm>
#include <filesystem>

namespace {

class NetworkSearchTest : public ::testing::Test {
protected:
    NetworkSearchTest() {
        // The kernel asks and gives up in real time: so does the search here.
        platform::clock::useSystem();
        WSADATA winsock{};
        WSAStartup(0x0202, &winsock);
        MSG none{};
        PeekMessageW(&none, nullptr, 0, 0, PM_NOREMOVE); // the queue the reports go to
    }
    ~NetworkSearchTest() override {
        stopNetworkSearch();
        platform::net::resetWinsock();
    }
    platform::ScopedTestDevice device;
};

// The lParam of the next report of `kind`; nothing once the queue ends.
std::optional<LPARAM> nextReport(WPARAM kind) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_USER && message.wParam == kind) {
            return message.lParam;
        }
    }
    return std::nullopt;
}

// Every state the search reported, until it ended.
std::vector<SearchState> reportsUntilTheEnd() {
    std::vector<SearchState> reports;
    while ((reports.empty() || reports.back().phase == SearchPhase::searching) &&
           nextReport(networkSearchReport)) {
        reports.push_back(networkSearchState());
    }
    return reports;
}

// Each computer found: the host a tap fills in, then its two lines.
std::vector<std::wstring> rowsOf(const SearchState& state) {
    std::vector<std::wstring> rows;
    for (const FoundComputer& computer : state.computers) {
        rows.push_back(computer.wakeHost + L": " + computerFirstLine(computer) + L"|" +
                       computerSecondLine(computer));
    }
    return rows;
}

// Silent addresses are given up after three requests 0.1 s apart instead of 1 s.
bool quickToGiveUp(TestNetwork& network) {
    return network.set("ipv4/neigh/lan0/retrans_time_ms", "100");
}

// A /24 with this device, a router, a computer named in the hosts file with a card of a known
// maker, a Windows computer that gives its name by NetBIOS, one that gives it by multicast DNS,
// and one whose NetBIOS name is hostile. Rows come as hosts answer, before the end; the device
// and the router are marked; a tap fills the host with a name only where it leads back; a
// second start while one runs does nothing; the MAC lookup answers for an attached address.
TEST_F(NetworkSearchTest, EveryComputerUpIsFoundWithItsMacNameAndMaker) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        const std::string evilName = "EVIL\a\xe2\x80\xaeX";
        if (!network.addBridge("lan0", "10.81.0.1/24") ||
            !network.run("ip link set lan0 address 02:00:00:00:00:01") || !quickToGiveUp(network) ||
            !network.addBridgedPeer("pc", "lan0", "10.81.0.10/24", "00:d0:ef:00:00:10") ||
            !network.addBridgedPeer("win", "lan0", "10.81.0.20/24", "02:00:00:00:00:20") ||
            !network.addBridgedPeer("mac", "lan0", "10.81.0.30/24", "02:00:00:00:00:30") ||
            !network.addBridgedPeer("gw", "lan0", "10.81.0.40/24", "02:00:00:00:00:40") ||
            !network.addBridgedPeer("evil", "lan0", "10.81.0.50/24", "02:00:00:00:00:50") ||
            !network.run("ip route add default via 10.81.0.40") ||
            !network.useHostsFile("10.81.0.10 pc.lan\n")) {
            return false;
        }
        using Kind = NameAnswerer::Kind;
        const NameAnswerer windows(network, "win", Kind::netbios, "10.81.0.20", "WINBOX");
        const NameAnswerer apple(network, "mac", Kind::multicastDns, "10.81.0.30", "macbook.local");
        const NameAnswerer hostile(network, "evil", Kind::netbios, "10.81.0.50", evilName);
        if (!windows.listening() || !apple.listening() || !hostile.listening()) {
            return false;
        }
        EXPECT_TRUE(startNetworkSearch());
        EXPECT_FALSE(startNetworkSearch()) << "a second tap while it runs";
        const auto reports = reportsUntilTheEnd();
        EXPECT_TRUE(std::any_of(reports.begin(), reports.end(), [](const SearchState& state) {
            return state.phase == SearchPhase::searching && state.found() > 0;
        })) << "rows appear as hosts answer";
        EXPECT_EQ(searchStatusText(reports.front()), L"Searching 10.81.0.0/24... 0 found");
        const SearchState end = networkSearchState();
        EXPECT_EQ(searchStatusText(end), L"5 computers found on 10.81.0.0/24");
        const std::wstring maker = std::filesystem::exists(installedMakerList) ? L"   IGT" : L"";
        EXPECT_EQ(rowsOf(end),
                  (std::vector<std::wstring>{
                      L"10.81.0.1: 10.81.0.1 (this device)|10.81.0.1   02:00:00:00:00:01",
                      L"pc.lan: pc.lan|10.81.0.10   00:d0:ef:00:00:10" + maker,
                      L"10.81.0.20: WINBOX|10.81.0.20   02:00:00:00:00:20",
                      L"10.81.0.30: macbook.local|10.81.0.30   02:00:00:00:00:30",
                      L"10.81.0.40: 10.81.0.40 (router)|10.81.0.40   02:00:00:00:00:40",
                      L"10.81.0.50: EVIL\uFFFD\uFFFDX|10.81.0.50   02:00:00:00:00:50",
                  }));

        EXPECT_TRUE(startMacLookup(inet_addr("10.81.0.30")));
        EXPECT_EQ(macLookupAnswer(nextReport(macLookupReport).value()),
                  (std::array<std::uint8_t, 6>{2, 0, 0, 0, 0, 0x30}));
        EXPECT_FALSE(startMacLookup(inet_addr("192.0.2.1"))) << "not on an attached subnet";

        EXPECT_TRUE(startNetworkSearch());
        stopNetworkSearch();
        EXPECT_FALSE(networkSearchRunning());
        EXPECT_EQ(networkSearchState().phase, SearchPhase::finished);
        stopNetworkSearch(); // its thread ends before the child process does
        return true;
    });
}

// A /16 is searched in the /22 around the device's address, in batches, and every quarter's
// computer is found; one beyond that /22 is not asked.
TEST_F(NetworkSearchTest, AWideSubnetIsSearchedInBatchesAroundTheDevice) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addBridge("lan0", "10.83.2.1/16") || !quickToGiveUp(network) ||
            !network.set("ipv4/neigh/lan0/mcast_solicit", "1")) {
            return false;
        }
        const char* const peers[] = {"10.83.0.5", "10.83.1.5", "10.83.2.5", "10.83.3.250",
                                     "10.83.4.5"};
        for (int i = 0; i < 5; ++i) {
            if (!network.addBridgedPeer("p" + std::to_string(i), "lan0",
                                        std::string(peers[i]) + "/16")) {
                return false;
            }
        }
        EXPECT_TRUE(startNetworkSearch());
        const auto reports = reportsUntilTheEnd();
        const SearchState end = networkSearchState();
        std::vector<std::wstring> found;
        for (const FoundComputer& computer : end.computers) {
            found.push_back(dottedAddress(computer.address));
        }
        EXPECT_EQ(found, (std::vector<std::wstring>{L"10.83.0.5", L"10.83.1.5", L"10.83.2.1",
                                                    L"10.83.2.5", L"10.83.3.250"}));
        EXPECT_EQ(searchStatusText(end), L"4 computers found on 10.83.0.0/22 of 10.83.0.0/16");
        stopNetworkSearch(); // its thread ends before the child process does
        return true;
    });
}

// Confined to loopback, a search finds no network, and no frame reaches the LAN.
TEST_F(NetworkSearchTest, LoopbackConfinementFindsNothingAndSendsNothing) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addBridge("lan0", "10.84.0.1/24") ||
            !network.addBridgedPeer("pc", "lan0", "10.84.0.10/24")) {
            return false;
        }
        Wire wire(network.nameOf("pc"), "eth0");
        platform::net::confineToLoopback();
        EXPECT_TRUE(startNetworkSearch());
        reportsUntilTheEnd();
        const SearchState end = networkSearchState();
        EXPECT_EQ(searchStatusText(end), L"Not connected to a local network");
        EXPECT_TRUE(end.computers.empty());
        EXPECT_FALSE(startMacLookup(inet_addr("10.84.0.10")));
        EXPECT_EQ(wire.ipv4FramesSeen(), 0u);
        stopNetworkSearch(); // its thread ends before the child process does
        return true;
    });
}

} // namespace

// The network search against arp-scan, in a LAN of network namespaces built here (needs root):
// a bridge, 20 computers that are up on a /24 (one drops ping, one has its IP stack closed to
// everything but ARP), the rest of the /24 silent. Reports, as ratios to arp-scan's time for the
// /24 measured in the same run (its defaults, as root, in the same namespace): when every
// computer was listed with its right MAC address, and when the search ended. Then a /22 with a
// computer in every quarter: all found or not. And the resident memory after one search of the /24
// and after ten. Not a timed test: figures of one run.
#include "NetworkSearch.h"
#include "support/ScopedTestDevice.h"
#include "support/TestNetwork.h"

#include <platform/Clock.h>
#include <platform/Network.h>

#include <windows.h>
#include <winsock2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string macOf(int host) {
    char text[18];
    std::snprintf(text, sizeof text, "02:00:00:00:00:%02x", host);
    return text;
}

struct Timing {
    double allFound = -1; // seconds until every expected computer was listed with its MAC
    double ended = -1;
    std::size_t found = 0;
};

// Runs one search; `expected` holds "address mac" texts of the computers that must be listed.
Timing search(const std::set<std::wstring>& expected) {
    Timing timing;
    const auto start = Clock::now();
    startNetworkSearch();
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message != WM_USER || message.wParam != networkSearchReport) {
            continue;
        }
        const SearchState state = networkSearchState();
        std::size_t listed = 0;
        for (const FoundComputer& computer : state.computers) {
            listed +=
                expected.count(dottedAddress(computer.address) + L" " + macText(computer.mac));
        }
        if (timing.allFound < 0 && listed == expected.size()) {
            timing.allFound = secondsSince(start);
        }
        if (state.phase != SearchPhase::searching) {
            timing.ended = secondsSince(start);
            timing.found = listed;
            return timing;
        }
    }
    return timing;
}

long residentKilobytes() {
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

} // namespace

int main() {
    if (geteuid() != 0 || std::system("command -v arp-scan >/dev/null") != 0 ||
        !TestNetwork::enterOwnNamespace()) {
        std::puts("network_search: skipped (needs root, network namespaces and arp-scan)");
        return 0;
    }
    platform::clock::useSystem();
    const platform::ScopedTestDevice device;
    WSADATA winsock{};
    WSAStartup(0x0202, &winsock);
    MSG none{};
    PeekMessageW(&none, nullptr, 0, 0, PM_NOREMOVE);

    std::set<std::wstring> expected;
    {
        TestNetwork network;
        if (!network.addBridge("lan0", "10.88.0.1/24")) {
            std::puts("network_search: the bridge could not be made");
            return 1;
        }
        for (int host = 10; host < 30; ++host) {
            const std::string address = "10.88.0." + std::to_string(host);
            network.addBridgedPeer("h" + std::to_string(host), "lan0", address + "/24",
                                   macOf(host));
            expected.insert(wide(address + " " + macOf(host)));
        }
        network.set("ipv4/icmp_echo_ignore_all", "1", "h10");
        network.run("ip route add blackhole 0.0.0.0/0 table 100", "h11");
        network.run("ip rule add from all table 100 priority 1", "h11"); // ARP only
        const auto arpStart = Clock::now();
        std::system("arp-scan --interface=lan0 10.88.0.0/24 >/dev/null 2>&1");
        const double arpScan = secondsSince(arpStart);
        network.run("ip neigh flush dev lan0");
        const Timing ours = search(expected);
        std::printf("network_search /24: arp-scan %.2f s; every computer listed after %.3f s "
                    "(%.3f x arp-scan), the search ended after %.2f s (%.2f x arp-scan), "
                    "%zu of %zu listed\n",
                    arpScan, ours.allFound, ours.allFound / arpScan, ours.ended,
                    ours.ended / arpScan, ours.found, expected.size());
        // Ten searches: what the program holds after the tenth is what it held after the first.
        const long afterOne = residentKilobytes();
        for (int i = 1; i < 10; ++i) {
            search(expected);
        }
        std::printf("network_search: resident memory after one search %ld kB, after ten %ld kB\n",
                    afterOne, residentKilobytes());
        stopNetworkSearch();
        network.run("ip link del lan0");
    }
    {
        TestNetwork network;
        network.addBridge("lan1", "10.89.2.1/22");
        expected.clear();
        const char* const hosts[] = {"10.89.0.7", "10.89.1.7", "10.89.2.7", "10.89.3.7"};
        int n = 0;
        for (const char* host : hosts) {
            network.addBridgedPeer("q" + std::to_string(n), "lan1", std::string(host) + "/22",
                                   macOf(0x40 + n));
            expected.insert(wide(std::string(host) + " " + macOf(0x40 + n)));
            ++n;
        }
        const Timing wideSearch = search(expected);
        std::printf("network_search /22: %zu of %zu computers in its four quarters listed, every "
                    "one after %.3f s, the search ended after %.2f s\n",
                    wideSearch.found, expected.size(), wideSearch.allFound, wideSearch.ended);
        stopNetworkSearch();
    }
    platform::net::resetWinsock();
    return 0;
}

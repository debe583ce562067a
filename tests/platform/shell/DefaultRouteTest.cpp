// Whether the machine reaches the Internet, read from the kernel's route tables.
#include "net/RouteMonitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <sstream>

namespace {

using platform::net::routes::DefaultRoute;

const char* const ipv4Header =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
const char* const ipv6LoopbackReject =
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";

DefaultRoute find(const std::string& ipv4, const std::string& ipv6,
                  std::set<std::string> up = {"eth0", "wlan0", "lo"}) {
    std::istringstream v4(ipv4Header + ipv4);
    std::istringstream v6(ipv6);
    return platform::net::routes::findDefaultRoute(
        v4, v6, [&](const std::string& name) { return up.count(name) != 0; });
}

TEST(DefaultRoute, Ipv4DefaultRouteThroughAnInterfaceThatIsUp) {
    const auto route = find("eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
                            "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
                            ipv6LoopbackReject);
    EXPECT_TRUE(route.present);
    EXPECT_EQ(route.interfaceName, "eth0");
}

TEST(DefaultRoute, NoneWithoutADefaultOrWithItsInterfaceDown) {
    EXPECT_FALSE(
        find("eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n", ipv6LoopbackReject)
            .present)
        << "a subnet route alone reaches no further than the subnet";
    EXPECT_FALSE(
        find("eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n", "", {"wlan0"})
            .present)
        << "the interface is down";
    EXPECT_FALSE(find("eth0\t00000000\t0101A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n", "").present)
        << "the route itself is not up";
    EXPECT_FALSE(find("", ipv6LoopbackReject).present)
        << "the kernel's reject route on lo is no way out";
}

TEST(DefaultRoute, Ipv6DefaultRouteCountsToo) {
    const auto route =
        find("", std::string(ipv6LoopbackReject) +
                     "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                     "fe800000000000000000000000000001 00000400 00000001 00000000 00000003 "
                     "   wlan0\n");
    EXPECT_TRUE(route.present);
    EXPECT_EQ(route.interfaceName, "wlan0");
}

TEST(DefaultRoute, MalformedLinesAreSkipped) {
    EXPECT_FALSE(find("garbage\nonly three fields\n", "zz\n").present);
    EXPECT_FALSE(find("eth0\t00000000\t0101A8C0\tXYZ\t0\t0\t100\t00000000\t0\t0\t0\n", "").present);
}

TEST(RouteWatcher, StartsAndStopsWithoutChangesNeeded) {
    std::atomic<int> calls = 0;
    {
        platform::net::routes::RouteWatcher watcher([&] { ++calls; });
    }
    SUCCEED();
}

} // namespace

// Whether the machine reaches the Internet, read from the kernel's route tables.
#include "net/RouteMonitor.h"
#include "support/NetworkOfItsOwn.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <set>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const char* const ipv4Header =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
const std::string ipv4Subnet = "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
const std::string ipv4Default = "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
const std::string ipv6LoopbackReject =
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";
const std::string ipv6Default =
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "fe800000000000000000000000000001 00000400 00000001 00000000 00000003    wlan0\n";

struct RouteCase {
    const char* why;
    std::string ipv4;
    std::string ipv6;
    std::set<std::string> up;
    std::string way; // the interface of the default route, empty for none
};

TEST(DefaultRoute, OnlyAnUpDefaultRouteThroughAnUpInterfaceLeadsOut) {
    const std::set<std::string> allUp{"eth0", "wlan0", "lo"};
    const RouteCase cases[] = {
        {"ipv4 default", ipv4Subnet + ipv4Default, ipv6LoopbackReject, allUp, "eth0"},
        {"ipv6 default", "", ipv6LoopbackReject + ipv6Default, allUp, "wlan0"},
        {"a subnet route reaches no further", ipv4Subnet, ipv6LoopbackReject, allUp, ""},
        {"the interface is down", ipv4Default, "", {"wlan0"}, ""},
        {"the route is not up", "eth0\t00000000\t0101A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n",
         "", allUp, ""},
        {"malformed lines", "garbage\nonly three fields\n", "zz\n", allUp, ""},
        {"flags that are not a number", "eth0\t00000000\t0101A8C0\tzz\t0\t0\t100\t00000000\n", "",
         allUp, ""},
        {"flags with a tail", "eth0\t00000000\t0101A8C0\t0003x\t0\t0\t100\t00000000\n", "", allUp,
         ""},
    };
    for (const auto& c : cases) {
        std::istringstream v4(ipv4Header + c.ipv4);
        std::istringstream v6(c.ipv6);
        const auto route = platform::net::routes::findDefaultRoute(
            v4, v6, [&](const std::string& name) { return c.up.count(name) != 0; });
        EXPECT_EQ(route.present, !c.way.empty()) << c.why;
        if (route.present) {
            EXPECT_EQ(route.interfaceName, c.way) << c.why;
        }
    }
}

// A local network is one the machine has an address on beyond its link: an IPv6 prefix counts
// as an IPv4 subnet does; the link-local address that every interface that is up has does not.
TEST(LocalNetwork, AnIpv6PrefixIsALocalNetworkALinkLocalAddressIsNot) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addPeer("lan", "lan0", "fe80::1/64 nodad", "")) {
            return false;
        }
        EXPECT_FALSE(platform::net::routes::findLocalNetwork().present);
        EXPECT_TRUE(network.run("ip addr add fd00:5::1/64 nodad dev lan0"));
        EXPECT_EQ(platform::net::routes::findLocalNetwork().interfaceName, "lan0");
        return true;
    });
}

// From here on the system call `number` fails in this process with `error`, for every first
// argument or only for `onlyFor`: as eventfd does when descriptors run out, or a netlink socket
// where a sandbox forbids it.
bool refuse(long number, int error, long onlyFor = -1) {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(number), 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(onlyFor), 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(error)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    if (onlyFor < 0) // any argument
        filter[3] = BPF_STMT(BPF_JMP | BPF_JA, 0);
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// A watcher that gets its route socket but no wake-up descriptor must still stop when destroyed;
// one without a route socket looks again each second, telling of a change each time (the alarm
// ends one that hangs or never tells).
TEST(RouteWatcherDeathTest, AWatcherWithoutItsDescriptorsStillStopsOrStillTells) {
    EXPECT_EXIT(
        {
            alarm(5);
            if (!refuse(SYS_eventfd2, EMFILE) || eventfd(0, 0) >= 0)
                std::exit(2);
            {
                platform::net::routes::RouteWatcher watcher([] {});
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            alarm(5);
            if (!refuse(SYS_socket, EACCES, AF_NETLINK))
                std::exit(2);
            platform::net::routes::RouteWatcher watcher([] { std::_Exit(3); });
            pause();
        },
        ::testing::ExitedWithCode(3), "");
}

} // namespace

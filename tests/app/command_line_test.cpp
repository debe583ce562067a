// `dawnbell wake`, `list` and `launcher` run in-process as the command runs them: the exit
// statuses and messages, targets from files checked before anything leaves, the recent list
// shared with the screen, the packets on loopback and on the wires of namespaces the tests make,
// the check on the manual clock, and desktop entries a launcher can run.
#include "support/LoopbackReceiver.h"
#include "support/Program.h"

#include "CommandLine.h"
#include "RecentComputers.h"

#include <platform/Clock.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <future>
#include <thread>

using namespace program_test;

namespace {

struct Ran {
    int status = -1;
    std::string out;
    std::string err;
};

Ran dawnbell(std::vector<std::string> args, const std::string& input = "") {
    Ran ran;
    char* outText = nullptr;
    char* errText = nullptr;
    std::size_t outSize = 0;
    std::size_t errSize = 0;
    command_line::Console console;
    console.out = open_memstream(&outText, &outSize);
    console.err = open_memstream(&errText, &errSize);
    std::string inputCopy = input + " "; // fmemopen wants room for at least one byte
    console.in = fmemopen(inputCopy.data(), input.size(), "r");
    console.program = "/opt/dawn bell/dawnbell";
    args.insert(args.begin(), "dawnbell");
    ran.status = command_line::run(args, console);
    std::fclose(console.in);
    std::fclose(console.out);
    std::fclose(console.err);
    ran.out.assign(outText, outSize);
    ran.err.assign(errText, errSize);
    std::free(outText);
    std::free(errText);
    return ran;
}

std::string macOf(int n) {
    char text[18];
    std::snprintf(text, sizeof text, "0a:00:00:00:%02x:%02x", n / 256, n % 256);
    return text;
}

std::vector<std::uint8_t> packetFor(std::vector<std::uint8_t> mac) {
    std::vector<std::uint8_t> packet(6, 0xFF);
    for (int i = 0; i < 16; ++i) {
        packet.insert(packet.end(), mac.begin(), mac.end());
    }
    return packet;
}

std::size_t countQueued(LoopbackReceiver& receiver) {
    std::size_t count = 0;
    while (receiver.takeQueued()) {
        ++count;
    }
    return count;
}

std::vector<std::wstring> recentHosts() {
    platform::registry::reload();
    RecentComputers list;
    list.load();
    std::vector<std::wstring> hosts;
    for (const StoredFields& row : list.rows()) {
        hosts.push_back(row.host);
    }
    return hosts;
}

class CommandLineTest : public ProgramTest {
protected:
    std::string file(const std::string& name, const std::string& text) {
        const auto path = device.programDir() / name;
        std::ofstream(path) << text;
        return path.string();
    }
    LoopbackReceiver receiver;
    std::string port = std::to_string(receiver.port());
};

TEST_F(CommandLineTest, TargetsFromAFileLeaveInOrderAndOneRefusedLineStopsThemAll) {
    std::string targets = "# room 12\n\n";
    for (int n = 0; n < 100; ++n) {
        targets += "  " + macOf(n) + (n % 7 == 0 ? "  # by the window\n" : "\n");
    }
    const Ran sent = dawnbell(
        {"wake", "-q", "-f", file("room.txt", targets), "-i", "127.0.0.1", "--port", port});
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(sent.out, "") << "-q prints nothing but errors";
    for (int n = 0; n < 100; ++n) {
        const auto datagram = receiver.takeQueued();
        ASSERT_TRUE(datagram) << "packet " << n;
        EXPECT_EQ(*datagram, packetFor({0x0a, 0, 0, 0, 0, static_cast<std::uint8_t>(n)}));
    }
    EXPECT_EQ(recentHosts(), std::vector<std::wstring>(10, L"127.0.0.1")) << "ten computers";

    const std::string refused = file("refused.txt", targets + "0a:00:00:00:00 \t # five bytes\n" +
                                                        macOf(100) + "\nnobody.invalid\n");
    const Ran stopped = dawnbell({"wake", "-i", "127.0.0.1", "-p", port, "-f", refused});
    EXPECT_EQ(stopped.status, 2);
    EXPECT_EQ(stopped.err,
              "dawnbell: " + refused + ":103: 0a:00:00:00:00: not a MAC address, a recent " +
                  "computer or a name in /etc/ethers\n" + "dawnbell: " + refused +
                  ":105: nobody.invalid: not a MAC address, a recent computer or a name in " +
                  "/etc/ethers\n");
    EXPECT_EQ(countQueued(receiver), 0u) << "nothing may leave while a target is refused";

    // Standard input, and a target given beside it that is refused.
    EXPECT_EQ(dawnbell({"wake", "-f", "-", "-i", "127.0.0.1", "-p", port}, targets).status, 0);
    EXPECT_EQ(countQueued(receiver), 100u);
    EXPECT_EQ(dawnbell({"wake", "-f", "-", "zz", "-i", "127.0.0.1", "-p", port}, targets).status,
              2);
    // A file that can't be opened, and a folder, which opens but can't be read.
    for (const auto& [name, why] :
         {std::pair("none.txt", "No such file or directory"), std::pair("", "Is a directory")}) {
        const Ran unread = dawnbell({"wake", "-f", (device.programDir() / name).string(), "-p",
                                     port, "-i", "127.0.0.1", macOf(1)});
        EXPECT_EQ(unread.status, 2);
        EXPECT_NE(unread.err.find(std::string(": can't be read: ") + why), std::string::npos)
            << unread.err;
    }
    EXPECT_EQ(countQueued(receiver), 0u);
}

TEST_F(CommandLineTest, ADryRunTellsWhereThePacketWouldGoAndSendsNothing) {
    const Ran ran = dawnbell({"wake", macOf(1), "--dry-run", "-i", "127.0.0.1", "-p", port});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out,
              macOf(1) + ": would send 102 bytes for " + macOf(1) + " to 127.0.0.1:" + port + "\n");
    EXPECT_EQ(countQueued(receiver), 0u);
    EXPECT_TRUE(recentHosts().empty()) << "nothing left, nothing to remember";
}

TEST_F(CommandLineTest, BadArgumentsEndInStatusTwoWithTheirReasonAndNothingSent) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"wake", macOf(1), "-p", "65536"}, "--port 65536: not a port from 1 to 65535"},
        {{"wake", macOf(1), "-p", "0"}, "--port 0: not a port from 1 to 65535"},
        {{"wake", macOf(1), "-p"}, "-p: needs a value"},
        {{"wake", macOf(1), "--ip", " "}, "--ip  : not a host or an address"},
        {{"wake", "--bogus", macOf(1)}, "--bogus: unknown option"},
        {{"wake", macOf(1), "-x"}, "-x: unknown option"},
        {{"wake", macOf(1), "--delay", "1s"}, "--delay 1s: not a number of milliseconds"},
        {{"wake", macOf(1), "--check=0"}, "--check=0: not a number of seconds from 1 to 86400"},
        {{"wake", macOf(1), "--repeat", "0"}, "--repeat 0: not a number of packets from 1 to 10"},
        {{"wake", macOf(1), "--repeat", "11"}, "--repeat 11: not a number of packets from 1 to 10"},
        {{"wake", macOf(1), "--password", "aa:bb:cc:dd:ee"},
         "--password aa:bb:cc:dd:ee: not a SecureOn password"},
        {{"wake"}, "wake: no target"},
        {{"wake", "--last"}, "--last: no recent computer yet"},
        {{"wake", "00:11:22:33:44:55:66"}, "00:11:22:33:44:55:66: not a MAC address"},
        {{"wake", std::string("pc\n1")}, "pc?1: not a MAC address"},
        {{"sleep"}, "sleep: unknown command"},
        {{"launcher", "add"}, "launcher: use dawnbell launcher add|remove HOST"},
        {{"launcher", "remove", "nas"}, "nas: there is no launcher for it"},
    };
    setenv("XDG_DATA_HOME", (device.programDir() / "data").c_str(), 1);
    for (const auto& [args, message] : cases) {
        const Ran ran = dawnbell(args);
        EXPECT_EQ(ran.status, 2) << args[1];
        EXPECT_EQ(ran.err.rfind("dawnbell: " + message, 0), 0u) << ran.err;
        EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1) << ran.err;
    }
    EXPECT_EQ(countQueued(receiver), 0u);
    for (const char* asked : {"--help", "--version"}) {
        const Ran ran = dawnbell({asked});
        EXPECT_EQ(ran.status, 0);
        EXPECT_FALSE(ran.out.empty());
    }
}

// The screen's list, read and written by the command: a recent host (any letter case) brings its
// MAC address and port, the newest first; what the command sends shows at the screen's start.
TEST_F(CommandLineTest, ARecentComputerWakesByItsHostWithItsOwnMacAddressAndPort) {
    LoopbackReceiver other;
    const std::string otherPort = std::to_string(other.port());
    ASSERT_EQ(dawnbell({"wake", "-q", "0A-00-00-00-00-01", "-i", "LocalHost", "-p", port}).status,
              0);
    ASSERT_EQ(dawnbell({"wake", "-q", macOf(2), "-i", "127.0.0.1", "-p", otherPort}).status, 0);
    countQueued(receiver);
    countQueued(other);
    EXPECT_EQ(dawnbell({"list"}).out, "127.0.0.1\t" + macOf(2) + "\t" + otherPort +
                                          "\nLocalHost\t0A-00-00-00-00-01\t" + port + "\n");

    EXPECT_EQ(dawnbell({"wake", "LOCALHOST"}).status, 0);
    EXPECT_EQ(receiver.takeQueued(), packetFor({0x0a, 0, 0, 0, 0, 1}));
    EXPECT_EQ(countQueued(other), 0u);
    EXPECT_EQ(dawnbell({"wake", "--last"}).status, 0) << "LocalHost is the newest now";
    EXPECT_EQ(receiver.takeQueued(), packetFor({0x0a, 0, 0, 0, 0, 1}));
    EXPECT_EQ(dawnbell({"wake", "127.0.0.1", "-p", port}).status, 0) << "-p over the list's";
    EXPECT_EQ(receiver.takeQueued(), packetFor({0x0a, 0, 0, 0, 0, 2}));

    RecentComputers screen;
    screen.load();
    EXPECT_EQ(screen.rows().front(),
              (StoredFields{L"127.0.0.1", L"0a:00:00:00:00:02", command_line::fromUtf8(port)}));
}

// --password goes into every packet, and a recent computer is woken with its own unless another
// (or an empty one) is given; --repeat sends each packet again every 100 ms of the device clock.
TEST_F(CommandLineTest, APasswordGoesIntoThePacketAndRepeatsLeaveOnTheClock) {
    std::vector<std::uint8_t> secured = packetFor({0x0a, 0, 0, 0, 0, 1});
    secured.insert(secured.end(), {1, 2, 3, 4});
    const Ran sent =
        dawnbell({"wake", "-q", macOf(1), "-i", "127.0.0.1", "-p", port, "--password", "1.2.3.4"});
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(receiver.takeQueued(), secured);
    EXPECT_EQ(dawnbell({"wake", "127.0.0.1"}).status, 0);
    EXPECT_EQ(receiver.takeQueued(), secured) << "the recent computer's own password";
    EXPECT_EQ(dawnbell({"wake", "127.0.0.1", "--password", ""}).status, 0);
    EXPECT_EQ(receiver.takeQueued(), packetFor({0x0a, 0, 0, 0, 0, 1}));
    EXPECT_EQ(dawnbell({"wake", macOf(1), "-n", "-i", "127.0.0.1", "-p", port, "--password",
                        "aa:bb:cc:dd:ee:ff", "--repeat", "3"})
                  .out,
              macOf(1) + ": would send 108 bytes for " + macOf(1) + " to 127.0.0.1:" + port +
                  ", 3 times\n");

    platform::clock::useManual(1000);
    auto repeated = std::async(std::launch::async, [this] {
        return dawnbell({"wake", "-q", macOf(2), "-i", "127.0.0.1", "-p", port, "--repeat", "3"});
    });
    // The device clock moves on in small steps until each packet is seen, and when it is seen.
    std::vector<DWORD> seenAt;
    for (int step = 0; step < 2000 && seenAt.size() < 3; ++step) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
        bool arrived = false;
        while (!arrived && std::chrono::steady_clock::now() < end) {
            arrived = receiver.takeQueued().has_value();
            std::this_thread::yield();
        }
        if (arrived) {
            seenAt.push_back(platform::clock::now());
        } else {
            platform::clock::advance(10);
        }
    }
    platform::clock::advance(1000); // whatever it would still wait for
    EXPECT_EQ(repeated.get().status, 0);
    platform::clock::useSystem();
    EXPECT_EQ(countQueued(receiver), 0u) << "more than three";
    // A packet that arrives just before a step is seen one step late: 100 ms less that step.
    ASSERT_EQ(seenAt.size(), 3u);
    EXPECT_GE(seenAt[1] - seenAt[0], 90u);
    EXPECT_GE(seenAt[2] - seenAt[1], 90u);
}

// The command, a process of its own, and a screen that runs meanwhile keep each other's
// computers: the screen's next send takes a free place, not the one the command filled, and
// forgetting a row forgets that computer wherever it stands now.
TEST_F(CommandLineTest, AScreenRunningMeanwhileKeepsWhatTheCommandAdded) {
    RecentComputers screen;
    ASSERT_TRUE(screen.remember({L"first.lan", L"0a:00:00:00:00:01", L""}));
    const std::string command = "DAWNBELL_DEVICE_DIR='" + platform::paths::deviceDir().string() +
                                "' '" + std::getenv("DAWNBELL_TEST_BIN") + "/dawnbell' wake -q ";
    ASSERT_EQ(std::system((command + "-n " + macOf(1)).c_str()), 0);
    ASSERT_EQ(std::system((command + "-i 127.0.0.1 -p " + port + " " + macOf(2)).c_str()), 0);
    ASSERT_TRUE(screen.remember({L"second.lan", L"0a:00:00:00:00:03", L""}));
    EXPECT_EQ(recentHosts(),
              (std::vector<std::wstring>{L"second.lan", L"127.0.0.1", L"first.lan"}));
    ASSERT_EQ(dawnbell({"wake", "-q", "-i", "127.0.0.1", "-p", port, macOf(4)}).status, 0);
    ASSERT_TRUE(screen.forget(2)) << "the row it shows third: first.lan";
    EXPECT_EQ(recentHosts(),
              (std::vector<std::wstring>{L"127.0.0.1", L"second.lan", L"127.0.0.1"}));
}

// A value of the string type as a desktop environment reads it.
std::string unescapedValue(const std::string& value) {
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        unescaped += value[i] == '\\' && i + 1 < value.size() ? value[++i] : value[i];
    }
    return unescaped;
}

// An Exec value as a desktop environment reads it: string escapes, then the quoting rules of
// Exec arguments, then %% for %.
std::vector<std::string> execArguments(const std::string& value) {
    const std::string unescaped = unescapedValue(value);
    std::vector<std::string> args;
    std::string current;
    bool quoted = false;
    bool any = false;
    for (std::size_t i = 0; i < unescaped.size(); ++i) {
        const char c = unescaped[i];
        if (quoted && c == '\\' && i + 1 < unescaped.size()) {
            current += unescaped[++i];
        } else if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any || !current.empty()) {
                args.push_back(current);
            }
            current.clear();
            any = false;
        } else if (c == '%' && i + 1 < unescaped.size() && unescaped[i + 1] == '%') {
            current += unescaped[++i];
        } else {
            current += c;
        }
    }
    args.push_back(current);
    return args;
}

std::string entryValue(const std::string& entry, const std::string& key) {
    const auto at = entry.find("\n" + key + "=");
    return at == std::string::npos ? ""
                                   : entry.substr(at + key.size() + 2,
                                                  entry.find('\n', at + 1) - (at + key.size() + 2));
}

// The characters the Desktop Entry rules reserve, in hosts and in the program's own path (which
// holds a blank), come through the Exec line as they were.
TEST_F(CommandLineTest, ALauncherForAnyHostIsAValidDesktopEntryWhoseExecWakesIt) {
    const std::filesystem::path data = device.programDir() / "data";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    const std::string hosts[] = {R"(Kid's"PC"$HOME\100%)", "nas.home", "NAS.home.", "Büro-€;`x`"};
    RecentComputers recent;
    recent.load();
    for (const std::string& host : hosts) {
        ASSERT_TRUE(recent.remember({platform::paths::widen(host), L"00:11:22:33:44:55", L""}));
    }
    platform::registry::reload();
    std::set<std::string> files;
    for (const std::string& host : hosts) {
        const Ran added = dawnbell({"launcher", "add", host});
        ASSERT_EQ(added.status, 0) << added.err;
        const std::string path = added.out.substr(0, added.out.size() - 1);
        files.insert(path);
        EXPECT_EQ(std::filesystem::path(path).parent_path(), data / "applications");
        if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
            EXPECT_EQ(std::system(("desktop-file-validate '" + path + "'").c_str()), 0) << host;
        }
        std::ifstream in(path);
        const std::string entry((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(execArguments(entryValue(entry, "Exec")),
                  (std::vector<std::string>{"/opt/dawn bell/dawnbell", "wake", host}));
        EXPECT_EQ(unescapedValue(entryValue(entry, "Name")), "Wake " + host);
    }
    EXPECT_EQ(files.size(), 4u) << "one launcher per computer";
    EXPECT_EQ(dawnbell({"launcher", "add", "nobody.invalid"}).status, 2);
    EXPECT_EQ(dawnbell({"launcher", "remove", "nas.HOME"}).status, 0) << "hosts compare so";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data / "applications"), {}), 3);
    unsetenv("XDG_DATA_HOME");
}

std::vector<std::string> seenOn(Wire& wire, const std::vector<std::uint8_t>& mac,
                                std::size_t count) {
    std::vector<std::string> seen;
    for (int turn = 0; turn < 200000 && seen.size() < count; ++turn) {
        seen = wire.magicPacketsFor(mac);
        std::this_thread::yield(); // the frame crosses the pair in the receiving softirq
    }
    return seen;
}

const std::vector<std::uint8_t> cardMac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

// Two sleeping cards on two networks: without a host the limited broadcast leaves every
// interface that is up; with the network's broadcast, or a recent host of that network (whose
// unicast finds no neighbour), its broadcast reaches the card; with an IPv6 host, the link's
// all-nodes group does. Before the networks are up, nothing leaves: no interface, no host found.
TEST_F(CommandLineTest, ASleepingCardHearsTheCommandOnEveryInterfaceAndThroughItsBroadcast) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        const Ran nowhere = dawnbell({"wake", "00:11:22:33:44:55"});
        EXPECT_EQ(std::pair(nowhere.status, nowhere.err),
                  std::pair(1, std::string("dawnbell: 00:11:22:33:44:55: no network interface is "
                                           "up to broadcast on\n")));
        const Ran unknown = dawnbell({"wake", "00:11:22:33:44:55", "-i", "no-such-host.lan"});
        EXPECT_EQ(std::pair(unknown.status, unknown.err),
                  std::pair(1, std::string("dawnbell: 00:11:22:33:44:55: host not found: "
                                           "no-such-host.lan\n")));
        if (!network.addPeer("one", "lan0", "10.77.0.1/24", "") ||
            !network.addPeer("two", "lan1", "10.78.0.1/24", "") ||
            !network.set("ipv4/neigh/lan0/mcast_solicit", "1") ||
            !network.set("ipv4/neigh/lan0/retrans_time_ms", "10")) {
            return false;
        }
        Wire one(network.nameOf("one"), "eth0");
        Wire two(network.nameOf("two"), "eth0");
        const Ran everywhere = dawnbell({"wake", "00-11-22-33-44-55"});
        EXPECT_EQ(everywhere.status, 0) << everywhere.err;
        EXPECT_EQ(seenOn(one, cardMac, 1), std::vector<std::string>{"255.255.255.255"});
        EXPECT_EQ(seenOn(two, cardMac, 1), std::vector<std::string>{"255.255.255.255"});

        EXPECT_EQ(dawnbell({"wake", "001122334455", "-i", "10.77.0.255"}).status, 0);
        EXPECT_EQ(seenOn(one, cardMac, 2).back(), "10.77.0.255");
        const Ran direct = dawnbell({"wake", "00:11:22:33:44:55", "-i", "10.77.0.2"});
        EXPECT_EQ(direct.status, 0) << direct.err;
        EXPECT_EQ(direct.out, "00:11:22:33:44:55: magic packet sent for 00:11:22:33:44:55 to "
                              "10.77.0.2:9 (also to 10.77.0.255)\n");
        EXPECT_EQ(seenOn(one, cardMac, 3).back(), "10.77.0.255");
        EXPECT_EQ(dawnbell({"wake", "10.77.0.2"}).status, 0) << "by the recent host";
        EXPECT_EQ(seenOn(one, cardMac, 4).back(), "10.77.0.255");
        EXPECT_EQ(seenOn(two, cardMac, 1).size(), 1u) << "the other network heard nothing more";

        EXPECT_TRUE(network.run("ip addr add fd00:77::1/64 nodad dev lan0"));
        EXPECT_EQ(dawnbell({"wake", "00:11:22:33:44:55", "-i", "fd00:77::2", "-n"}).out,
                  "00:11:22:33:44:55: would send 102 bytes for 00:11:22:33:44:55 to "
                  "[fd00:77::2]:9 and [ff02::1%lan0]:9\n");
        EXPECT_EQ(dawnbell({"wake", "00:11:22:33:44:55", "-i", "fd00:77::2"}).out,
                  "00:11:22:33:44:55: magic packet sent for "
                  "00:11:22:33:44:55 to [fd00:77::2]:9 (also to "
                  "ff02::1%lan0)\n");
        EXPECT_EQ(seenOn(one, cardMac, 5).back(), "ff02::1 33:33:00:00:00:01");

        const Ran unreachable = dawnbell({"wake", "00:11:22:33:44:55", "-i", "10.99.0.1"});
        EXPECT_EQ(unreachable.status, 1);
        EXPECT_EQ(unreachable.err, "dawnbell: 00:11:22:33:44:55: can't send the magic packet to "
                                   "10.99.0.1: no route to the network\n");
        return true;
    });
}

// A run with --check whose check waits: the manual clock runs meanwhile.
Ran checkedWhileTheClockRuns(const std::vector<std::string>& args) {
    auto ran = std::async(std::launch::async, [&args] { return dawnbell(args); });
    while (ran.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        platform::clock::advance(100);
        std::this_thread::yield();
    }
    return ran.get();
}

// On the manual clock: a host that answers already before the packet leaves is said to, status 0;
// a card that sleeps keeps the check waiting the whole time given, then status 3, with the reason
// the program saw: nothing, the MAC address the host answered with when it was up, or a router on
// the way. A broadcast address can't be asked, status 3 too.
TEST_F(CommandLineTest, CheckEndsInZeroForAHostThatAnswersAndThreeForOneThatSleeps) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addPeer("up", "lan0", "10.78.0.1/24", "10.78.0.2/24") ||
            !network.run("ip link set eth0 address 02:00:00:00:00:78", "up") ||
            !network.addPeer("asleep", "lan1", "10.77.0.1/24", "") ||
            !network.addPeer("router", "lan2", "10.88.0.1/24", "10.88.0.2/24") ||
            !network.run("ip route add 10.89.0.0/24 via 10.88.0.2") ||
            !network.set("ipv4/ping_group_range", "0 2147483647")) {
            return false;
        }
        platform::clock::useManual(1000);
        const Ran awake = dawnbell({"wake", "00:11:22:33:44:55", "-i", "10.78.0.2", "--check"});
        EXPECT_EQ(awake.status, 0) << awake.err;
        EXPECT_NE(
            awake.out.find("00:11:22:33:44:55: 10.78.0.2 already answers: it was awake, or it "
                           "is your router"),
            std::string::npos)
            << "it answered before the packet left";
        EXPECT_EQ(platform::clock::now(), 1000u);

        const Ran ran =
            checkedWhileTheClockRuns({"wake", "00:11:22:33:44:55", "-i", "10.77.0.2", "--check=5"});
        EXPECT_EQ(ran.status, 3);
        EXPECT_EQ(ran.err, "dawnbell: 00:11:22:33:44:55: no answer after 5 s: is Wake-on-LAN on "
                           "in the computer's settings?\n");
        EXPECT_GE(platform::clock::now(), 6000u);

        EXPECT_TRUE(network.run("ip addr flush dev eth0", "up") &&
                    network.run("ip neigh flush dev lan0"));
        const std::pair<std::vector<std::string>, std::string> reasons[] = {
            {{"wake", "10.78.0.2", "--check=5"},
             "dawnbell: 10.78.0.2: 10.78.0.2 answered as 02:00:00:00:00:78 when it was on: check "
             "the MAC address\n"},
            {{"wake", "00:11:22:33:44:55", "-i", "10.89.0.5", "--check=5"},
             "dawnbell: 00:11:22:33:44:55: 10.89.0.5 is beyond the router 10.88.0.2: a router "
             "passes the packet on only when it is set to forward it\n"},
        };
        for (const auto& [args, reason] : reasons) {
            const Ran silent = checkedWhileTheClockRuns(args);
            EXPECT_EQ(silent.status, 3);
            EXPECT_EQ(silent.err, reason);
        }

        const Ran uncheckable =
            dawnbell({"wake", "00:11:22:33:44:55", "-i", "10.77.0.255", "--check"});
        EXPECT_EQ(uncheckable.status, 3);
        EXPECT_NE(uncheckable.err.find("can't check whether the computer woke"), std::string::npos);
        platform::clock::useSystem();
        return true;
    });
}

} // namespace

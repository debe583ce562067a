// Send and the awake check on real networks the test builds for itself (network namespaces and
// veth pairs): a computer that sleeps, one that is up and answers ping, one that drops ping but
// refuses a connection. The whole program runs on the headless phone; the frames are read on the
// far side of the wire.
#include "support/Program.h"

#include "AwakeCheck.h"
#include "LocalSubnet.h"

#include <platform/Clock.h>

#include <unistd.h>

using namespace program_test;

namespace {

const std::vector<std::uint8_t> macBytes{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

class WakeOnARealNetworkTest : public ProgramTest {};

// Types the host and taps Send, as a user would.
void sendTo(LoopScript& script, const std::wstring& host) {
    script.waitFor(statusIs(statusReadyToSend)).then([host] {
        setFields({host, L"00:11:22:33:44:55", L"9"});
    });
    tapSend(script);
}

// Steps of the device clock, half a second each, until `condition` holds: for waits longer than
// the loop's own millisecond steps allow.
std::function<bool()> afterWaiting(std::function<bool()> condition, const std::string& what) {
    return bounded(
        [condition = std::move(condition)] {
            platform::clock::advance(500);
            return condition();
        },
        what);
}

bool waiting() {
    return statusText().starts_with(L"Waiting for the computer to wake...\u00a0");
}

// The card of a computer that sleeps is up but has no address and answers no address lookup:
// the unicast waits for a neighbour that never answers and is dropped; the subnet's broadcast
// reaches the card. The check probes in vain; a new Send starts it again, and it gives up a whole
// check's time after that. Quit during a check ends the program.
TEST_F(WakeOnARealNetworkTest, ASleepingCardGetsTheBroadcastNotTheUnicastAndTheCheckGivesUp) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        // The neighbour lookup gives up within milliseconds instead of three seconds.
        if (!network.addPeer("card", "lan0", "10.77.0.1/24", "") ||
            !network.set("ipv4/neigh/lan0/mcast_solicit", "1") ||
            !network.set("ipv4/neigh/lan0/retrans_time_ms", "10")) {
            return false;
        }
        Wire card(network.nameOf("card"), "eth0");
        const std::wstring sent = L"Magic packet sended ;-) (also to 10.77.0.255)";
        questionAnsweredBefore();
        LoopScript script;
        sendTo(script, L"10.77.0.2");
        script.waitFor(statusIs(sent))
            .waitFor(bounded([&] { return !card.magicPacketsFor(macBytes).empty(); },
                             "the magic packet on the card's wire"))
            .waitFor(bounded(
                [&] { return network.run("sh -c 'ip neigh show 10.77.0.2 | grep -q FAILED'"); },
                "the neighbour lookup to fail"))
            .then([&] {
                EXPECT_EQ(card.magicPacketsFor(macBytes), std::vector<std::string>{"10.77.0.255"});
            })
            .waitFor(bounded(waiting, "the waiting time shown"));
        DWORD sentAgain = 0;
        tapSend(script);
        script.waitFor(statusIs(sent))
            .then([&] { sentAgain = platform::clock::now(); })
            .waitFor(afterWaiting([] { return statusText() == noAnswerText(60); },
                                  "the check to give up"))
            .then([&] {
                EXPECT_GE(platform::clock::now() - sentAgain, awake_check::checkDurationMs);
            });
        tapSend(script);
        script.waitFor(bounded(waiting, "a new check"));
        // A send its MAC refuses ends the check: what the check would say is about the last one.
        DWORD refused = 0;
        script.then([&] {
            setFieldText(macFieldId, L"00:11");
            refused = platform::clock::now();
        });
        tapSend(script);
        script.waitFor(statusIs(statusInvalidMac))
            .waitFor(afterWaiting(
                [&] { return platform::clock::now() - refused > 2 * awake_check::checkDurationMs; },
                "twice the check's time"))
            .then([] { EXPECT_EQ(statusText(), statusInvalidMac) << "the last check went on"; })
            .then([] { setFieldText(macFieldId, L"00:11:22:33:44:55"); });
        tapSend(script);
        script.waitFor(bounded(waiting, "a check again"));
        // Quit lies below the screen's end on the phone; its notification is what a tap posts.
        quitNow(script);
        return runProgram(script);
    });
}

// Its answers to connections are thrown away: only an echo can find it up.
bool answersPingOnly(TestNetwork& network) {
    return network.addPeer("host", "lan0", "10.78.0.1/24", "10.78.0.2/24") &&
           network.run("ip rule add ipproto tcp table 100", "host") &&
           network.run("ip route add blackhole default table 100", "host");
}

bool dropsPingRefusesConnections(TestNetwork& network) {
    return network.addPeer("host", "lan0", "10.79.0.1/24", "10.79.0.2/24") &&
           network.set("ipv4/icmp_echo_ignore_all", "1", "host");
}

// A host that answers ping (while the phone may open ping sockets), and one that drops ping but
// refuses a connection (while the phone may not): both are found awake.
TEST_F(WakeOnARealNetworkTest, AHostThatAnswersPingOrRefusesAConnectionIsAwake) {
    const std::tuple<const wchar_t*, const char*, bool (*)(TestNetwork&)> hosts[] = {
        {L"10.78.0.2", "0 2147483647", answersPingOnly},
        {L"10.79.0.2", "1 0", dropsPingRefusesConnections}};
    for (const auto& [host, pingGroups, make] : hosts) {
        inANetworkOfItsOwn(
            [host = host, pingGroups = pingGroups, make = make](TestNetwork& network) {
                if (!make(network) || !network.set("ipv4/ping_group_range", pingGroups)) {
                    return false;
                }
                questionAnsweredBefore();
                LoopScript script;
                sendTo(script, host);
                script.waitFor(statusIs(statusComputerAwake));
                return !runProgram(script);
            });
    }
}

std::optional<std::string> broadcastFor(const char* host) {
    const auto broadcast = directedBroadcastFor(inet_addr(host));
    if (!broadcast) {
        return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&*broadcast);
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

// The broadcast follows the kernel's route: none through a gateway, even one inside the
// interface's subnet, and of two subnets of one interface that hold the host, the narrower.
TEST_F(WakeOnARealNetworkTest, TheBroadcastIsThatOfTheSubnetTheKernelsRouteTakes) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addPeer("gateway", "lan0", "10.82.0.1/24", "10.82.0.2/24") ||
            !network.run("ip route add 10.82.0.128/25 via 10.82.0.2") ||
            !network.run("ip addr add 10.83.0.1/16 dev lan0") ||
            !network.run("ip addr add 10.83.5.1/24 dev lan0")) {
            return false;
        }
        const std::pair<const char*, std::optional<std::string>> hosts[] = {
            {"10.82.0.20", "10.82.0.255"},
            {"10.82.0.130", std::nullopt},
            {"10.83.5.20", "10.83.5.255"},
            {"10.83.9.20", "10.83.255.255"},
        };
        for (const auto& [host, broadcast] : hosts) {
            EXPECT_EQ(broadcastFor(host), broadcast) << host;
        }
        return true;
    });
}

} // namespace

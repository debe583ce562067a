// Send and the awake check on real networks the test builds for itself (network namespaces and
// veth pairs), over IPv4 and over IPv6 alone: a computer that sleeps, one that is up and answers
// ping, one that drops ping but refuses a connection. The whole program runs on the headless
// phone; the frames are read on the far side of the wire. IPv6 addresses are made usable at once
// (nodad), without the duplicate address detection's wait.
#include "support/LoopbackReceiver.h"
#include "support/Program.h"

#include "AwakeCheck.h"
#include "HostAddress.h"
#include "LocalSubnet.h"
#include "RecentComputers.h"

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

// Steps of the device clock, a second each, until `condition` holds; each once the status line
// has changed since the step before: the check reports every second, so its thread keeps up
// with the clock however slowly it runs on a loaded machine.
std::function<bool()> inStepWithTheCheck(std::function<bool()> condition, const std::string& what) {
    return bounded(
        [condition = std::move(condition), shown = std::wstring()]() mutable {
            if (condition()) {
                return true;
            }
            if (statusText() != shown) {
                shown = statusText();
                platform::clock::advance(awake_check::progressStepMs);
            }
            return false;
        },
        what);
}

// The check's progress under the send's confirmation `sent`.
bool waiting(const std::wstring& sent) {
    return statusText().starts_with(underSentLine(sent, L"Waiting for the computer to wake..."));
}
// Until the check has waited at least `seconds` under the send's confirmation `sent`.
std::function<bool()> waitingFor(const std::wstring& sent, unsigned seconds) {
    return inStepWithTheCheck(
        [=] {
            for (unsigned shown = seconds; shown < awake_check::checkDurationMs / 1000; ++shown) {
                if (statusText() == underSentLine(sent, waitingForWakeText(shown))) {
                    return true;
                }
            }
            return false;
        },
        "the check to wait " + std::to_string(seconds) + " s");
}

// The neighbour lookup of a computer that sleeps gives up within milliseconds.
bool quickNeighbourLookups(TestNetwork& network) {
    return network.set("ipv4/neigh/lan0/mcast_solicit", "1") &&
           network.set("ipv4/neigh/lan0/retrans_time_ms", "10") &&
           network.set("ipv6/neigh/lan0/mcast_solicit", "1") &&
           network.set("ipv6/neigh/lan0/retrans_time_ms", "10");
}

// The card of a computer that sleeps is up but has no address and answers no address lookup:
// the unicast waits for a neighbour that never answers and is dropped; the subnet's broadcast
// reaches the card, or on a link with IPv6 alone (which has no broadcast) the link's all-nodes
// group, whose frame leaves at once. The check probes in vain (over ICMPv6 there); a new Send
// starts it again, and it gives up a whole check's time after that. Quit during a check ends
// the program.
TEST_F(WakeOnARealNetworkTest, ASleepingCardGetsTheBroadcastNotTheUnicastAndTheCheckGivesUp) {
    struct Link {
        const char* mine;
        const wchar_t* host;
        const wchar_t* alsoTo;
        const char* neighbours; // the command that lists the host's failed neighbour entry
        std::string seen;       // the destination of the frame on the card's wire
    };
    const Link links[] = {
        {"10.77.0.1/24", L"10.77.0.2", L"10.77.0.255", "ip neigh show 10.77.0.2", "10.77.0.255"},
        {"fd00:77::1/64 nodad", L"fd00:77::2", L"ff02::1%lan0", "ip -6 neigh show fd00:77::2",
         "ff02::1 33:33:00:00:00:01"},
    };
    for (const Link& link : links) {
        inANetworkOfItsOwn([&link](TestNetwork& network) {
            if (!network.addPeer("card", "lan0", link.mine, "") ||
                !quickNeighbourLookups(network)) {
                return false;
            }
            Wire card(network.nameOf("card"), "eth0");
            const std::wstring sent =
                L"Magic packet sended ;-) (also to " + std::wstring(link.alsoTo) + L")";
            const std::string failed =
                std::string("sh -c '") + link.neighbours + " | grep -q FAILED'";
            questionAnsweredBefore();
            LoopScript script;
            sendTo(script, link.host);
            script.waitFor(statusIs(sent))
                .waitFor(bounded([&] { return !card.magicPacketsFor(macBytes).empty(); },
                                 "the magic packet on the card's wire"))
                .waitFor(
                    bounded([&] { return network.run(failed); }, "the neighbour lookup to fail"))
                .then([&] {
                    EXPECT_EQ(card.magicPacketsFor(macBytes), std::vector<std::string>{link.seen});
                })
                .waitFor(bounded([&] { return waiting(sent); }, "the waiting time shown"));
            DWORD sentAgain = 0;
            tapSend(script);
            script.waitFor(statusIs(sent))
                .then([&] { sentAgain = platform::clock::now(); })
                .waitFor(afterWaiting(
                    [&] { return statusText() == underSentLine(sent, noAnswerText(60)); },
                    "the check to give up"))
                .then([&] {
                    EXPECT_GE(platform::clock::now() - sentAgain, awake_check::checkDurationMs);
                });
            tapSend(script);
            script.waitFor(bounded([&] { return waiting(sent); }, "a new check"));
            // A send its MAC refuses ends the check: what it would say is about the last one.
            DWORD refused = 0;
            script.then([&] {
                setFieldText(macFieldId, L"00:11");
                refused = platform::clock::now();
            });
            tapSend(script);
            script.waitFor(statusIs(statusInvalidMac))
                .waitFor(afterWaiting(
                    [&] {
                        return platform::clock::now() - refused > 2 * awake_check::checkDurationMs;
                    },
                    "twice the check's time"))
                .then([] { EXPECT_EQ(statusText(), statusInvalidMac) << "the last check went on"; })
                .then([] { setFieldText(macFieldId, L"00:11:22:33:44:55"); });
            tapSend(script);
            script.waitFor(bounded([&] { return waiting(sent); }, "a check again"));
            // Quit lies below the screen's end; its notification is what a tap posts.
            quitNow(script);
            return runProgram(script);
        });
    }
}

// A host that answers ping (while the phone may open ping sockets), and one that drops ping but
// refuses a connection (while the phone may not), over IPv4 and over IPv6: each is found awake
// once it comes up after the send. Sent to again while it is up, it answers before the packet
// leaves: that is no wake.
TEST_F(WakeOnARealNetworkTest, AHostUpAfterTheSendIsAwakeAndOneUpBeforeItAlreadyAnswers) {
    struct Host {
        std::string typed;
        std::string mine;    // this device's address on the link
        std::string address; // given to the host once the packet left
        bool ping;           // answers ping (its answers to connections thrown away) or refuses
        std::wstring alsoTo;
    };
    const Host hosts[] = {
        {"10.78.0.2", "10.78.0.1/24", "10.78.0.2/24", true, L"10.78.0.255"},
        {"10.79.0.2", "10.79.0.1/24", "10.79.0.2/24", false, L"10.79.0.255"},
        // Links with IPv6 alone: one with link-local addresses only, one with a prefix.
        {"fe80::2%lan0", "fe80::1/64 nodad", "fe80::2/64 nodad", true, L"ff02::1%lan0"},
        {"fd00:79::2", "fd00:79::1/64 nodad", "fd00:79::2/64 nodad", false, L"ff02::1%lan0"}};
    for (const Host& host : hosts) {
        inANetworkOfItsOwn([&host](TestNetwork& network) {
            // Sleeping, the host's card is up with no address.
            const std::string ip = host.alsoTo.starts_with(L"ff02") ? "ip -6 " : "ip ";
            if (!network.addPeer("host", "lan0", host.mine, "") ||
                !quickNeighbourLookups(network) ||
                !network.set("ipv4/ping_group_range", host.ping ? "0 2147483647" : "1 0") ||
                !(host.ping ? network.run(ip + "rule add ipproto tcp table 100", "host") &&
                                  network.run(ip + "route add blackhole default table 100", "host")
                            : network.set(ip == "ip " ? "ipv4/icmp_echo_ignore_all"
                                                      : "ipv6/icmp/echo_ignore_all",
                                          "1", "host"))) {
                return false;
            }
            const std::wstring wideHost(host.typed.begin(), host.typed.end());
            const std::wstring sent = L"Magic packet sended ;-) (also to " + host.alsoTo + L")";
            questionAnsweredBefore();
            LoopScript script;
            sendTo(script, wideHost);
            script.waitFor(statusIs(sent)).then([&] {
                EXPECT_TRUE(network.run("ip addr add " + host.address + " dev eth0", "host"));
            });
            script.waitFor(inStepWithTheCheck(
                [&] { return statusText() == underSentLine(sent, statusComputerAwake); },
                "the awake text"));
            tapSend(script);
            script.waitFor(statusIs(underSentLine(
                sent, wideHost + L" already answers: it was awake, or it is your router")));
            return !runProgram(script);
        });
    }
}

// A router between the phone and a computer that sleeps answers for it: with its own echo reply
// to a ping, and with its refusal (ICMP port unreachable) to a connection. Neither is the
// computer's answer: the check waits on, and when it gives up it names the router.
TEST_F(WakeOnARealNetworkTest, ARoutersAnswersForASleepingComputerAreNoWake) {
    for (const char* pingGroups : {"0 2147483647", "1 0"}) {
        inANetworkOfItsOwn([pingGroups](TestNetwork& network) {
            if (!network.addPeer("router", "lan0", "10.80.0.1/24", "10.80.0.2/24") ||
                !network.run("ip route add 10.81.0.0/24 via 10.80.0.2") ||
                !network.set("ipv4/ping_group_range", pingGroups)) {
                return false;
            }
            AnsweringRouter router(network.nameOf("router"), "eth0", "10.81.0.0");
            questionAnsweredBefore();
            LoopScript script;
            sendTo(script, L"10.81.0.5");
            // The probe before the send and one of the check's at least: one echo, or seven
            // refusals, each. The check may end before more are made.
            const bool ping = pingGroups[0] == '0';
            const std::wstring gaveUp = underSentLine(
                statusPacketSent, L"10.81.0.5 is beyond the router 10.80.0.2: a router passes the "
                                  L"packet on only when it is set to forward it");
            script
                .waitFor(inStepWithTheCheck(
                    [&] {
                        return (ping ? router.echoReplies() >= 3 : router.refusals() >= 21) ||
                               statusText() == gaveUp;
                    },
                    "the router's answers"))
                .then([&] {
                    EXPECT_GE(ping ? router.echoReplies() : router.refusals() / 7, 2) << pingGroups;
                    EXPECT_TRUE(waiting(statusPacketSent) || statusText() == gaveUp) << pingGroups;
                })
                .waitFor(afterWaiting([&] { return statusText() == gaveUp; }, "the router named"));
            quitNow(script);
            return runProgram(script);
        });
    }
}

// A computer up before the send answers with its card's MAC address, which the recent computer
// keeps. Asleep, its neighbour entry gone, it misses a packet for the MAC typed, and the check
// ends with the one it answered with, kept for the next start too.
TEST_F(WakeOnARealNetworkTest, AHostThatAnsweredWithAnotherMacIsToldSoWhenItDoesNotWake) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addPeer("host", "lan0", "10.87.0.1/24", "10.87.0.2/24") ||
            !network.run("ip link set eth0 address 02:00:00:00:00:87", "host") ||
            !quickNeighbourLookups(network) ||
            !network.set("ipv4/ping_group_range", "0 2147483647")) {
            return false;
        }
        const std::wstring sent = L"Magic packet sended ;-) (also to 10.87.0.255)";
        questionAnsweredBefore();
        LoopScript script;
        sendTo(script, L"10.87.0.2");
        script
            .waitFor(statusIs(underSentLine(
                sent, L"10.87.0.2 already answers: it was awake, or it is your router")))
            .then([&] {
                EXPECT_TRUE(network.run("ip addr flush dev eth0", "host") &&
                            network.run("ip neigh flush dev lan0"));
            });
        tapSend(script);
        script.waitFor(statusIs(sent))
            .waitFor(afterWaiting(
                [&] {
                    return statusText() ==
                           underSentLine(sent,
                                         L"10.87.0.2 answered as 02:00:00:00:00:87 when it was "
                                         L"on: check the MAC address");
                },
                "the MAC address it answered with"));
        quitNow(script);
        const bool closed = runProgram(script);
        platform::registry::reload();
        RecentComputers list;
        list.load();
        EXPECT_EQ(list.answeredMac(L"10.87.0.2"), (MacAddress{0x02, 0, 0, 0, 0, 0x87}));
        return closed;
    });
}

// A phone that roams loses its address and route for a while: the probes that can't leave count
// as unanswered, and the computer found up once the phone is back is awake. Where no probe can
// ever leave (a broadcast address), the check says so.
TEST_F(WakeOnARealNetworkTest, AMomentWithoutARouteIsNoAnswerAndTheCheckGoesOn) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addPeer("card", "lan0", "10.84.0.1/24", "") ||
            !quickNeighbourLookups(network)) {
            return false;
        }
        const std::wstring sent = L"Magic packet sended ;-) (also to 10.84.0.255)";
        questionAnsweredBefore();
        LoopScript script;
        sendTo(script, L"10.84.0.2");
        script.waitFor(statusIs(sent)).then([&] {
            EXPECT_TRUE(network.run("ip addr flush dev lan0"));
        });
        script.waitFor(waitingFor(sent, 7)).then([&] {
            EXPECT_TRUE(network.run("ip addr add 10.84.0.1/24 dev lan0") &&
                        network.run("ip addr add 10.84.0.2/24 dev eth0", "card"));
        });
        script.waitFor(inStepWithTheCheck(
            [&] { return statusText() == underSentLine(sent, statusComputerAwake); },
            "the awake text"));
        script.then([] { setFieldText(hostFieldId, L"10.84.0.255"); });
        tapSend(script);
        script.waitFor(inStepWithTheCheck(
            [] { return statusText() == underSentLine(statusPacketSent, statusCantCheckAwake); },
            "the check to say it can't"));
        return !runProgram(script);
    });
}

// A name is looked up off the user-interface thread: while the name server keeps the program
// waiting, the status says so and closing the window ends the program at once; answered, the
// packet leaves for the address.
TEST_F(WakeOnARealNetworkTest, ANameIsLookedUpWhileTheScreenServesTheUser) {
    inANetworkOfItsOwn([](TestNetwork&) {
        HeldNameServer names;
        LoopbackReceiver receiver;
        if (!names.start() || !receiver.isOpen()) {
            return false;
        }
        const std::wstring port = std::to_wstring(receiver.port());
        questionAnsweredBefore();
        LoopScript waited;
        waited.waitFor(statusIs(statusReadyToSend)).then([&] {
            setFields({L"wol-target.example", L"00:11:22:33:44:55", port});
        });
        tapSend(waited);
        waited.waitFor(statusIs(L"Looking up wol-target.example..."))
            .waitFor(bounded([&] { return names.queryHeld(); }, "the query"))
            .then([] { PostMessageW(mainWindow, WM_CLOSE, 0, 0); });
        untilTheEnd(waited);
        EXPECT_TRUE(runProgram(waited)) << "the window did not close";
        EXPECT_FALSE(receiver.takeQueued().has_value());
        names.answer("127.0.0.1"); // the forgotten lookup ends
        LoopScript answered;
        answered.waitFor(statusIs(statusReadyToSend));
        tapSend(answered);
        answered.waitFor(bounded([&] { return names.queryHeld(); }, "the query"))
            .then([&] { names.answer("127.0.0.1"); })
            .waitFor(statusIs(underSentLine(
                statusPacketSent,
                L"wol-target.example already answers: it was awake, or it is your router")))
            .then([&] { EXPECT_TRUE(receiver.takeQueued().has_value()); });
        return !runProgram(answered);
    });
}

// The broadcast follows the kernel's route: none through a gateway, even one inside the
// interface's subnet, and of two subnets of one interface that hold the host, the narrower. So
// does the all-nodes group, on the interface of the route or of a link-local address; none for
// this device's own address.
TEST_F(WakeOnARealNetworkTest, TheBroadcastIsThatOfTheSubnetTheKernelsRouteTakes) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addPeer("gateway", "lan0", "10.82.0.1/24", "10.82.0.2/24") ||
            !network.run("ip route add 10.82.0.128/25 via 10.82.0.2") ||
            !network.run("ip addr add 10.83.0.1/16 dev lan0") ||
            !network.run("ip addr add 10.83.5.1/24 dev lan0") ||
            !network.addPeer("other", "lan1", "fd00:84::1/64 nodad", "") ||
            !network.run("ip addr add fd00:82::1/64 nodad dev lan0") ||
            !network.run("ip route add fd00:83::/64 via fd00:82::2")) {
            return false;
        }
        WSADATA data{};
        EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        const std::pair<const char*, std::wstring> ipv6Hosts[] = {
            {"fd00:82::20", L"ff02::1%lan0"},
            {"fd00:84::20", L"ff02::1%lan1"},
            {"fe80::9%lan1", L"ff02::1%lan1"},
            {"fd00:83::5", L""},
            {"fd00:82::1", L""},
        };
        for (const auto& [host, group] : ipv6Hosts) {
            const auto found = allNodesGroupFor(*parseIpv6(host));
            EXPECT_EQ(found ? addressText(*found) : L"", group) << host;
        }
        WSACleanup();
        const std::pair<const char*, const char*> hosts[] = {
            {"10.82.0.20", "10.82.0.255"},
            {"10.82.0.130", nullptr},
            {"10.83.5.20", "10.83.5.255"},
            {"10.83.9.20", "10.83.255.255"},
        };
        for (const auto& [host, broadcast] : hosts) {
            EXPECT_EQ(directedBroadcastFor(inet_addr(host)),
                      broadcast ? std::optional(inet_addr(broadcast)) : std::nullopt)
                << host;
        }
        return true;
    });
}

} // namespace

// Why a computer did not wake: which of the facts the program saw the status line tells, and in
// which words. The facts are gathered on real networks in wake_on_a_real_network_test.cpp.
#include "NoWakeReason.h"

#include <gtest/gtest.h>

namespace {

const MacAddress typed{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const MacAddress other{0x02, 0x00, 0x00, 0x00, 0x00, 0xAB};
constexpr std::uint32_t router = 0x0164A8C0; // 192.168.100.1, network byte order

// A MAC address the host answered with that is not the typed one is told first, even beyond a
// router; an answer with the typed one tells nothing about it; with no fact at all nothing is
// told, and the caller says what it always said.
TEST(NoWakeReasonTest, AnotherAnsweredMacComesBeforeTheRouterAndNoFactTellsNothing) {
    const std::wstring otherMac =
        L"nas.lan answered as 02:00:00:00:00:ab when it was on: check the MAC address";
    const std::wstring beyond = L"nas.lan is beyond the router 192.168.100.1: a router passes the "
                                L"packet on only when it is set to forward it";
    const struct {
        NoWakeFacts facts;
        std::optional<std::wstring> text;
    } cases[] = {
        {{other, router}, otherMac}, {{other, {}}, otherMac}, {{typed, router}, beyond},
        {{{}, router}, beyond},      {{typed, {}}, {}},       {{{}, {}}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(noWakeText(L" nas.lan ", typed, c.facts), c.text)
            << c.facts.answeredAs.has_value() << c.facts.router.has_value();
    }
    EXPECT_EQ(noWakeText(L"a-rather-long-name-of-a-host.example.org", typed, {other, {}}),
              L"a-rather-long-name-of... answered as 02:00:00:00:00:ab when it was on: check the "
              L"MAC address");
}

} // namespace

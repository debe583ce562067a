// The wake packet sender: which MAC and port texts it takes, how it reads the host, and the
// exact datagram it sends. Packets go to 127.0.0.0/8 only.
#include "LoopbackReceiver.h"
#include "StatusTexts.h"
#include "WakePacket.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const MacAddress ordinaryMac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

std::size_t openDescriptorCount() {
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

Bytes expectedPacket(const MacAddress& mac) {
    Bytes packet(6, 0xFF);
    for (int copy = 0; copy < 16; ++copy) {
        packet.insert(packet.end(), mac.begin(), mac.end());
    }
    return packet;
}

// ---- hexPairToByte ----

TEST(HexPairToByte, CombinesHighAndLowDigitInEitherCase) {
    EXPECT_EQ(hexPairToByte('0', '0'), 0x00);
    EXPECT_EQ(hexPairToByte('9', 'a'), 0x9A);
    EXPECT_EQ(hexPairToByte('A', 'b'), 0xAB);
    EXPECT_EQ(hexPairToByte('f', '0'), 0xF0);
    EXPECT_EQ(hexPairToByte('0', 'F'), 0x0F);
    EXPECT_EQ(hexPairToByte('7', 'E'), 0x7E);
}

TEST(HexPairToByte, GivesFFWhenEitherCharacterIsNoHexDigit) {
    // The neighbours of every digit range in ASCII.
    for (const char bad : {'/', ':', '@', 'G', '`', 'g', ' ', '\0', '\xB0'}) {
        SCOPED_TRACE(static_cast<int>(bad));
        EXPECT_EQ(hexPairToByte(bad, '1'), 0xFF);
        EXPECT_EQ(hexPairToByte('1', bad), 0xFF);
    }
}

// ---- MAC texts ----

TEST(MacAddressText, CommonSpellingsAllGiveTheSameSixBytes) {
    for (const wchar_t* text :
         {L"00:11:22:33:44:55", L"00-11-22-33-44-55", L"001122334455", L"00:11-22:33-44:55",
          L"0011.2233.4455", L"  00:11:22:33:44:55 ", L"\t001122334455\t",
          L"00::11--22..33:-.44:55", L":00:11:22:33:44:55:", L"0:0:1:1:2:2:3:3:4:4:5:5"}) {
        SCOPED_TRACE(std::wstring(text));
        const auto mac = parseMacAddress(text);
        ASSERT_TRUE(mac.has_value());
        EXPECT_EQ(*mac, ordinaryMac);
    }
}

TEST(MacAddressText, HexDigitsOfEitherCaseKeepTheirOrder) {
    EXPECT_EQ(parseMacAddress(L"aB:cD:eF:01:23:45"),
              (MacAddress{0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45}));
    EXPECT_EQ(parseMacAddress(L"A0b1C2d3E4f5"), (MacAddress{0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5}));
}

TEST(MacAddressText, AnythingButTwelveHexDigitsIsRefused) {
    const std::wstring withNul(L"00:11:22\0:33:44:55", 18);
    for (const std::wstring& text : std::vector<std::wstring>{
             L"", L"   ", L":-.", L"00:11:22:33:44:5", L"00:11:22:33:44:556",
             L"00:11:22:33:44:55:66", L"GG:11:22:33:44:55", L"00 11 22 33 44 55",
             L"00:11:22:33:44:5g", L"0x0011223344", L"00_11_22_33_44_55", L"00:11:22:33:44:55;",
             L"\u0660\u0660:11:22:33:44:55", L"00:11:22:33:44:\uFF15\uFF15", withNul}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parseMacAddress(text).has_value());
    }
}

// ---- Port texts ----

TEST(PortText, EmptyMeansTheDiscardPort) {
    EXPECT_EQ(parsePort(L""), 9);
}

TEST(PortText, WholeDecimalNumbersFromOneTo65535AreTaken) {
    EXPECT_EQ(parsePort(L"1"), 1);
    EXPECT_EQ(parsePort(L"7"), 7);
    EXPECT_EQ(parsePort(L"10000"), 10000);
    EXPECT_EQ(parsePort(L"40000"), 40000);
    EXPECT_EQ(parsePort(L"65535"), 65535);
}

TEST(PortText, OutOfRangeOrNotPurelyDigitsIsRefused) {
    for (const wchar_t* text : {L"0", L"65536", L"70000", L"99999999999999999999", L"9a", L" 9",
                                L"9 ", L"-1", L"+9", L"abc", L"0x9", L"\uFF19"}) {
        SCOPED_TRACE(std::wstring(text));
        EXPECT_FALSE(parsePort(text).has_value());
    }
}

// ---- Host texts ----

TEST(HostText, IsTrimmedAndPassedAsUtf8) {
    EXPECT_EQ(hostForLookup(L" 192.168.1.20 "), "192.168.1.20");
    EXPECT_EQ(hostForLookup(L"b\u00FCcher.example"), "b\xC3\xBC"
                                                     "cher.example");
    EXPECT_EQ(hostForLookup(L"\U0001F514.example"), "\xF0\x9F\x94\x94.example");
}

TEST(HostText, EmptyUnencodableOrOverLongIsRefused) {
    EXPECT_FALSE(hostForLookup(L"").has_value());
    EXPECT_FALSE(hostForLookup(L"  ").has_value());
    EXPECT_FALSE(hostForLookup(std::wstring(L"a\0b", 3)).has_value());
    EXPECT_FALSE(hostForLookup(std::wstring(1, static_cast<wchar_t>(0xD800))).has_value());
    EXPECT_FALSE(hostForLookup(std::wstring(1, static_cast<wchar_t>(0x110000))).has_value());

    const std::wstring longest(maxHostNameLength, L'a');
    EXPECT_EQ(hostForLookup(longest), std::string(maxHostNameLength, 'a'));
    EXPECT_FALSE(hostForLookup(longest + L"a").has_value());
    // The limit is in bytes on the wire: 127 two-byte characters are 254 bytes.
    EXPECT_FALSE(hostForLookup(std::wstring(127, L'\u00E9')).has_value());
}

TEST(WakeInput, MacIsCheckedFirstThenPortThenHost) {
    EXPECT_EQ(std::get<SendOutcome>(parseWakeInput(L"", L"zz", L"0")), SendOutcome::invalidMac);
    EXPECT_EQ(std::get<SendOutcome>(parseWakeInput(L"", L"001122334455", L"0")),
              SendOutcome::invalidPort);
    EXPECT_EQ(std::get<SendOutcome>(parseWakeInput(L"", L"001122334455", L"")),
              SendOutcome::hostNotFound);
    const auto request = std::get<WakeRequest>(parseWakeInput(L"h", L"001122334455", L"7"));
    EXPECT_EQ(request.host, "h");
    EXPECT_EQ(request.mac, ordinaryMac);
    EXPECT_EQ(request.port, 7);
}

TEST(MagicPacketBytes, AreSixFFThenTheMacSixteenTimes) {
    const MacAddress mac{0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45};
    const MagicPacket packet = buildMagicPacket(mac);
    EXPECT_EQ(Bytes(packet.begin(), packet.end()), expectedPacket(mac));
    EXPECT_EQ(packet.size(), 102u);
}

TEST(StatusTexts, EachShownOutcomeHasItsText) {
    EXPECT_STREQ(statusTextFor(SendOutcome::sent), L"Magic packet sended ;-)");
    EXPECT_STREQ(statusTextFor(SendOutcome::hostNotFound), L"Host not found...");
    EXPECT_STREQ(statusTextFor(SendOutcome::invalidMac), L"Invalid MAC address...");
    EXPECT_STREQ(statusTextFor(SendOutcome::invalidPort), L"Invalid port...");
    EXPECT_STREQ(statusTextFor(SendOutcome::sendFailed), L"Can't send magic packet...");
}

// ---- Sending on loopback ----

class WakePacketSend : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data{};
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        ASSERT_TRUE(receiver.isOpen());
    }
    void TearDown() override { WSACleanup(); }

    std::wstring port() const { return std::to_wstring(receiver.port()); }

    // After a refused call, a good packet proves the queue is read in order: it must be the
    // first and only datagram there.
    void expectOnlyTheControlPacketArrives() {
        const MacAddress control{0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5};
        ASSERT_EQ(sendMagicPacket(L"127.0.0.1", L"C0:C1:C2:C3:C4:C5", port()), SendOutcome::sent);
        EXPECT_EQ(receiver.takeQueued(), expectedPacket(control));
        EXPECT_EQ(receiver.takeQueued(), std::nullopt);
    }

    LoopbackReceiver receiver;
};

TEST_F(WakePacketSend, DeliversExactly102BytesToADottedHost) {
    ASSERT_EQ(sendMagicPacket(L"127.0.0.1", L"00:11:22:33:44:55", port()), SendOutcome::sent);
    const auto datagram = receiver.takeQueued();
    ASSERT_TRUE(datagram.has_value());
    ASSERT_EQ(datagram->size(), 102u);
    const Bytes expected = expectedPacket(ordinaryMac);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ((*datagram)[i], expected[i]) << "byte " << i;
    }
    EXPECT_EQ(receiver.takeQueued(), std::nullopt);
}

TEST_F(WakePacketSend, TakesPortsAboveFourDigitsWhole) {
    // The system's ephemeral ports lie far above 9999.
    ASSERT_GE(receiver.port(), 10000);
    ASSERT_EQ(sendMagicPacket(L"127.0.0.1", L"aB-cD-eF-01-23-45", port()), SendOutcome::sent);
    EXPECT_EQ(receiver.takeQueued(), expectedPacket({0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45}));
}

TEST_F(WakePacketSend, ResolvesLocalhostToItsIPv4Address) {
    ASSERT_EQ(sendMagicPacket(L"localhost", L"0011.2233.4455", port()), SendOutcome::sent);
    EXPECT_EQ(receiver.takeQueued(), expectedPacket(ordinaryMac));
}

TEST_F(WakePacketSend, HostWithBlanksAroundIsStillFound) {
    ASSERT_EQ(sendMagicPacket(L" 127.0.0.1 ", L"001122334455", port()), SendOutcome::sent);
    EXPECT_EQ(receiver.takeQueued(), expectedPacket(ordinaryMac));
}

TEST_F(WakePacketSend, UnresolvableHostSendsNothing) {
    const std::wstring tooLong = std::wstring(126, L'a') + L"." + std::wstring(127, L'a');
    for (const std::wstring& host :
         {std::wstring(L"nosuchhost.invalid"), std::wstring(L"h\u00F6st.invalid"),
          std::wstring(L""), tooLong, std::wstring(1000, L'1')}) {
        SCOPED_TRACE(host.size());
        EXPECT_EQ(sendMagicPacket(host, L"00:11:22:33:44:55", port()), SendOutcome::hostNotFound);
    }
    expectOnlyTheControlPacketArrives();
}

TEST_F(WakePacketSend, BadMacSendsNothingEvenToAGoodHost) {
    for (const wchar_t* mac :
         {L"", L"00:11:22:33:44:5", L"00:11:22:33:44:55:66", L"GG:11:22:33:44:55"}) {
        EXPECT_EQ(sendMagicPacket(L"127.0.0.1", mac, port()), SendOutcome::invalidMac);
    }
    expectOnlyTheControlPacketArrives();
}

TEST_F(WakePacketSend, BadPortSendsNothing) {
    for (const wchar_t* badPort : {L"0", L"65536", L"9a", L" 9", L"-1", L"port"}) {
        EXPECT_EQ(sendMagicPacket(L"127.0.0.1", L"00:11:22:33:44:55", badPort),
                  SendOutcome::invalidPort);
    }
    expectOnlyTheControlPacketArrives();
}

TEST_F(WakePacketSend, BadMacOrPortIsReportedBeforeAnyNameLookup) {
    // The host would fail too; the earlier check decides.
    EXPECT_EQ(sendMagicPacket(L"nosuchhost.invalid", L"xx", port()), SendOutcome::invalidMac);
    EXPECT_EQ(sendMagicPacket(L"nosuchhost.invalid", L"001122334455", L"x"),
              SendOutcome::invalidPort);
}

TEST_F(WakePacketSend, BroadcastDestinationIsAccepted) {
    // Linux refuses a send to a broadcast address unless the socket allows broadcasts.
    EXPECT_EQ(sendMagicPacket(L"127.255.255.255", L"00:11:22:33:44:55", port()), SendOutcome::sent);
}

TEST_F(WakePacketSend, LeavesNoSocketOpenWhateverTheOutcome) {
    const std::size_t before = openDescriptorCount();
    for (int round = 0; round < 8; ++round) {
        EXPECT_EQ(sendMagicPacket(L"127.0.0.1", L"001122334455", port()), SendOutcome::sent);
        EXPECT_EQ(sendMagicPacket(L"127.255.255.255", L"001122334455", port()), SendOutcome::sent);
        EXPECT_EQ(sendMagicPacket(L"nosuchhost.invalid", L"001122334455", port()),
                  SendOutcome::hostNotFound);
        EXPECT_EQ(sendMagicPacket(L"127.0.0.1", L"0011223344", port()), SendOutcome::invalidMac);
        while (receiver.takeQueued()) {
        }
    }
    EXPECT_EQ(openDescriptorCount(), before);
}

} // namespace

// The wake packet sender: which MAC, port and host texts it takes, in which order it checks them,
// and the exact datagram it sends. Packets go to loopback only.
#include "support/LoopbackReceiver.h"
#include "StatusTexts.h"
#include "WakePacket.h"

#include "kernel/Paths.h"

#include <platform/Network.h>

#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <string>
#include <vector>

namespace {

using platform::paths::narrow;
using Bytes = std::vector<std::uint8_t>;

const MacAddress ordinaryMac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

Bytes expectedPacket(const MacAddress& mac) {
    Bytes packet(6, 0xFF);
    for (int copy = 0; copy < 16; ++copy) {
        packet.insert(packet.end(), mac.begin(), mac.end());
    }
    return packet;
}

TEST(WakeInput, MacTextsAreTwelveHexDigitsAmongSeparatorsAndBlanksAround) {
    const std::wstring withNul(L"00:11:22\0:33:44:55", 18);
    const std::pair<std::wstring, std::optional<MacAddress>> cases[] = {
        {L"00:11:22:33:44:55", ordinaryMac},
        {L"00:11-22:33-44:55", ordinaryMac},
        {L"0011.2233.4455", ordinaryMac},
        {L"  00:11:22:33:44:55 ", ordinaryMac},
        {L"00::11--22..33:-.44:55", ordinaryMac},
        {L":00:11:22:33:44:55:", ordinaryMac},
        {L"0:0:1:1:2:2:3:3:4:4:5:5", ordinaryMac},
        {L"aB:cD:eF:01:23:45", MacAddress{0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45}},
        {L"", std::nullopt},
        {L":-.", std::nullopt},
        {L"00:11:22:33:44:5", std::nullopt},
        {L"00:11:22:33:44:556", std::nullopt},
        {L"GG:11:22:33:44:55", std::nullopt},
        {L"00 11 22 33 44 55", std::nullopt},
        {L"00_11_22_33_44_55", std::nullopt},
        {L"00:11:22:33:44:55;", std::nullopt},
        {L"\u0660\u0660:11:22:33:44:55", std::nullopt},
        {withNul, std::nullopt},
    };
    for (const auto& [text, mac] : cases) {
        EXPECT_EQ(parseMacAddress(text), mac) << narrow(text);
    }
}

TEST(WakeInput, PortsAreWholeNumbersFromOneTo65535AndEmptyIsTheDiscardPort) {
    const std::pair<const wchar_t*, std::optional<std::uint16_t>> cases[] = {
        {L"", 9},          {L"1", 1},         {L"7", 7},
        {L"10000", 10000}, {L"65535", 65535}, {L"0", std::nullopt},
        {L"65536", {}},    {L"70000", {}},    {L"99999999999999999999", {}},
        {L"9a", {}},       {L" 9", {}},       {L"9 ", {}},
        {L"-1", {}},       {L"+9", {}},       {L"0x9", {}},
        {L"\uFF19", {}},   {L"09", 9},        {L"0065535", 65535},
    };
    for (const auto& [text, port] : cases) {
        EXPECT_EQ(parsePort(text), port) << narrow(text);
    }
}

TEST(WakeInput, HostsAreTrimmedAndPassedAsUtf8OfAtMost253Bytes) {
    EXPECT_EQ(hostForLookup(L" 192.168.1.20\t"), "192.168.1.20");
    EXPECT_EQ(hostForLookup(L"b\u00FCcher.example"), "b\xC3\xBC"
                                                     "cher.example");
    EXPECT_EQ(hostForLookup(L"\U0001F514.example"), "\xF0\x9F\x94\x94.example");
    EXPECT_EQ(hostForLookup(L"\u4E2D.example"), "\xE4\xB8\xAD.example");
    EXPECT_EQ(hostForLookup(L"\xD83D\xDD14.example"), "\xF0\x9F\x94\x94.example") << "UTF-16";
    const std::wstring longest(maxHostNameLength, L'a');
    EXPECT_EQ(hostForLookup(longest), std::string(maxHostNameLength, 'a'));
    for (const std::wstring& refused :
         {std::wstring(), std::wstring(L"  "), std::wstring(L"a\0b", 3),
          std::wstring(1, static_cast<wchar_t>(0xD800)),
          std::wstring(1, static_cast<wchar_t>(0x110000)), longest + L"a",
          // The limit is in bytes on the wire: 127 two-byte characters are 254 bytes.
          std::wstring(127, L'\u00E9')}) {
        EXPECT_FALSE(hostForLookup(refused).has_value()) << refused.size();
    }
}

TEST(WakeInput, PasswordsAreSixBytesWrittenAsAMacAddressOrFourDottedAndNothingElse) {
    const SecureOnPassword six{{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}, 6};
    const std::pair<const wchar_t*, std::optional<SecureOnPassword>> cases[] = {
        {L"", SecureOnPassword{}},
        {L" \t", SecureOnPassword{}},
        {L"192.168.1.1", SecureOnPassword{{192, 168, 1, 1}, 4}},
        // Twelve digits with dots between: an address, not six hex bytes.
        {L" 255.255.255.255 ", SecureOnPassword{{255, 255, 255, 255}, 4}},
        {L"000.01.2.3", SecureOnPassword{{0, 1, 2, 3}, 4}},
        {L"aa:bb:cc:dd:ee:ff", six},
        {L"AA-BB-CC-DD-EE-FF", six},
        {L"aabb.ccdd.eeff", six},
        {L"aabbccddeeff", six},
        {L"aa:bb:cc:dd:ee", std::nullopt}, // five bytes: never a packet of 107
        {L"aa:bb:cc:dd:ee:ff:00", std::nullopt},
        {L"256.1.1.1", std::nullopt},
        {L"1.2.3", std::nullopt},
        {L"1.2.3.4.5", std::nullopt},
        {L"1..2.3", std::nullopt},
        {L"1.2.3.4.", std::nullopt},
        {L"0001.2.3.4", std::nullopt},
        {L"1.2.3.x", std::nullopt},
        {L"secret", std::nullopt},
        {L"aa bb cc dd ee ff", std::nullopt},
    };
    for (const auto& [text, password] : cases) {
        EXPECT_EQ(parseSecureOnPassword(text), password) << narrow(text);
    }
}

// How Wireshark's dissector reads a datagram sent to the Wake-on-LAN port (its Info column):
// text2pcap wraps a hex dump of it in UDP to port 9, tshark reads that; nothing without tshark.
std::optional<std::string> wiresharkReads(const Bytes& datagram) {
    const std::string dump = testing::TempDir() + "wake.txt", capture = dump + ".pcap";
    std::ofstream hex(dump);
    hex << "0000" << std::hex << std::setfill('0');
    for (const std::uint8_t byte : datagram) {
        hex << ' ' << std::setw(2) << unsigned{byte};
    }
    hex.close();
    std::FILE* tshark = popen(("command -v tshark >/dev/null && text2pcap -q -u 40000,9 '" + dump +
                               "' '" + capture + "' && tshark -n -r '" + capture +
                               "' -T fields -e _ws.col.Info 2>/dev/null")
                                  .c_str(),
                              "r");
    std::string read;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, tshark) != nullptr) {
        read += buffer;
    }
    const bool ran = pclose(tshark) == 0;
    std::filesystem::remove(dump);
    std::filesystem::remove(capture);
    return ran ? std::optional(read.substr(0, read.find('\n'))) : std::nullopt;
}

// The password's bytes follow the sixteen copies, as tshark reads them (skipped without
// tshark); a password that is refused sends nothing at all.
TEST(WakePacketSend, APasswordFollowsTheMacCopiesAsWiresharkReadsItAndARefusedOneSendsNothing) {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    LoopbackReceiver receiver;
    const std::wstring port = std::to_wstring(receiver.port());
    struct Case {
        const wchar_t* password;
        SendOutcome outcome;
        Bytes after;         // the bytes after the copies
        std::string decoded; // empty: nothing arrives
    };
    const std::string magic = "MagicPacket for 00:11:22:33:44:55";
    const Case cases[] = {
        {L"", SendOutcome::sent, {}, magic},
        {L"192.168.1.1", SendOutcome::sent, {192, 168, 1, 1}, magic + ", password 192.168.1.1"},
        {L"aa-BB-cc-dd-ee-ff",
         SendOutcome::sent,
         {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF},
         magic + ", password aa:bb:cc:dd:ee:ff"},
        {L"aa:bb:cc:dd:ee", SendOutcome::invalidPassword, {}, ""},
        {L"1.2.3.256", SendOutcome::invalidPassword, {}, ""},
    };
    EXPECT_EQ(std::wstring(statusTextFor(SendOutcome::invalidPassword)), L"Invalid password...");
    bool decoded = true;
    platform::net::confineToLoopback();
    for (const Case& c : cases) {
        EXPECT_EQ(sendMagicPacket(L"127.0.0.1", L"00:11:22:33:44:55", port, c.password), c.outcome);
        const auto datagram = receiver.takeQueued();
        if (c.decoded.empty()) {
            EXPECT_FALSE(datagram.has_value()) << narrow(c.password);
            continue;
        }
        ASSERT_TRUE(datagram.has_value()) << narrow(c.password);
        Bytes expected = expectedPacket(ordinaryMac);
        expected.insert(expected.end(), c.after.begin(), c.after.end());
        EXPECT_EQ(*datagram, expected);
        const auto read = wiresharkReads(*datagram);
        decoded = read.has_value();
        EXPECT_EQ(read.value_or(c.decoded), c.decoded);
    }
    WSACleanup();
    if (!decoded) {
        GTEST_SKIP() << "tshark (Debian package tshark) is not installed: the packets were not "
                        "read by Wireshark's dissector";
    }
}

std::size_t openDescriptorCount() {
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

// Each send, and the datagram it must leave on loopback (none where it is refused). Only
// localhost is looked up by name; the rest runs confined to loopback: no query leaves the machine.
TEST(WakePacketSend, OnlyGoodInputSendsExactlyTheMagicPacketAndNoSocketStaysOpen) {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    LoopbackReceiver receiver;
    LoopbackReceiver receiver6(true);
    ASSERT_TRUE(receiver.isOpen());
    ASSERT_TRUE(receiver6.isOpen());
    ASSERT_GE(receiver.port(), 10000) << "the system's ephemeral ports lie above four digits";
    const std::wstring port = std::to_wstring(receiver.port());
    const std::wstring port6 = std::to_wstring(receiver6.port());
    const std::wstring tooLong = std::wstring(126, L'a') + L"." + std::wstring(127, L'a');
    struct Case {
        std::wstring host, mac, port;
        SendOutcome outcome;
        std::optional<MacAddress> received;
        bool byName = false; // looked up beyond the numeric forms: in the hosts file
        bool ipv6 = false;   // received on ::1
    };
    const MacAddress mixed{0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45};
    const Case cases[] = {
        {L"127.0.0.1", L"00:11:22:33:44:55", port, SendOutcome::sent, ordinaryMac},
        {L"127.0.0.1", L"aB-cD-eF-01-23-45", port, SendOutcome::sent, mixed},
        {L"localhost", L"0011.2233.4455", port, SendOutcome::sent, ordinaryMac, true},
        // Linux refuses a send to a broadcast address unless the socket allows broadcasts.
        {L"127.255.255.255", L"001122334455", port, SendOutcome::sent, {}}, // to no receiver
        {L"nosuchhost.invalid", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"", L"001122334455", port, SendOutcome::hostNotFound, {}},
        // IPv6, in brackets or not; an IPv4 address written as IPv6 is sent over IPv4. A
        // link-local address needs its interface, one that exists; of the groups only a link's
        // all-nodes group is a target, and only with its link.
        {L"[::1]", L"00:11:22:33:44:55", port6, SendOutcome::sent, ordinaryMac, false, true},
        {L"::ffff:127.0.0.1", L"00:11:22:33:44:55", port, SendOutcome::sent, ordinaryMac},
        {L"fe80::1", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"fe80::1%nosuch0", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"[fe80::1%lo", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"::", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"ff02::1", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"ff02::2%lo", L"001122334455", port, SendOutcome::hostNotFound, {}},
        // This machine itself, multicast groups, and an address with words after it: no
        // computer to wake.
        {L"0", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"0.0.0.0", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"0.127.0.1", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"224.0.0.1", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"239.255.255.250", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"127.0.0.1 junk", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"127.0.0.1\tjunk", L"001122334455", port, SendOutcome::hostNotFound, {}},
        {tooLong, L"001122334455", port, SendOutcome::hostNotFound, {}},
        {L"127.0.0.1", L"00:11:22:33:44:5", port, SendOutcome::invalidMac, {}},
        {L"127.0.0.1", L"001122334455", L"65536", SendOutcome::invalidPort, {}},
        // The host would fail too; the earlier check decides.
        {L"nosuchhost.invalid", L"xx", port, SendOutcome::invalidMac, {}},
        {L"nosuchhost.invalid", L"001122334455", L"x", SendOutcome::invalidPort, {}},
    };
    const std::size_t descriptors = openDescriptorCount();
    for (int round = 0; round < 3; ++round) {
        for (const Case& c : cases) {
            if (!c.byName) {
                platform::net::confineToLoopback();
            }
            EXPECT_EQ(sendMagicPacket(c.host, c.mac, c.port, L""), c.outcome) << narrow(c.host);
            EXPECT_EQ(openDescriptorCount(), descriptors) << "a socket stays open";
            platform::net::resetWinsock(); // which would close it
            ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
            EXPECT_EQ((c.ipv6 ? receiver6 : receiver).takeQueued(),
                      c.received ? std::optional(expectedPacket(*c.received)) : std::nullopt)
                << narrow(c.host) << " " << narrow(c.mac);
        }
    }
    WSACleanup();
}

} // namespace

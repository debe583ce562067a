// The wake packet sender: from the host, MAC, port and password texts the user typed to one
// Wake-on-LAN magic packet (six 0xFF bytes, the MAC address sixteen times, then the SecureOn
// password if there is one) sent as a UDP datagram.
//
// The checking and conversion of the four texts is kept apart from the network work so that it
// can be exercised on its own; nothing here touches the network until the texts are known good.
#pragma once

#include "HostAddress.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

enum class SendOutcome {
    sent,            // the datagram was handed to the network
    hostNotFound,    // the host is no IP address and no name that resolves to one
    sendFailed,      // the socket could not be opened or sendto refused the datagram
    invalidMac,      // the MAC text is not twelve hex digits; nothing was sent
    invalidPort,     // the port text is not a number from 1 to 65535; nothing was sent
    invalidPassword, // the password text is neither 6 bytes nor 4; nothing was sent
};

using MacAddress = std::array<std::uint8_t, 6>;

// A SecureOn password, which a card set for one wakes only with: 4 or 6 bytes, or none.
struct SecureOnPassword {
    std::array<std::uint8_t, 6> bytes{};
    std::size_t size = 0; // 0, 4 or 6
    bool operator==(const SecureOnPassword&) const = default;
};

inline constexpr std::size_t magicPacketSize = 6 + 16 * 6; // without a password
inline constexpr std::size_t longestMagicPacketSize = magicPacketSize + 6;

// Six 0xFF bytes, the MAC address sixteen times, then the password: 102, 106 or 108 bytes.
class MagicPacket {
public:
    MagicPacket(const MacAddress& mac, const SecureOnPassword& password);
    const std::uint8_t* data() const { return bytes_.data(); }
    std::size_t size() const { return size_; }

private:
    std::array<std::uint8_t, longestMagicPacketSize> bytes_{};
    std::size_t size_ = magicPacketSize;
};

inline constexpr std::uint16_t defaultWakePort = 9;   // discard, used when the port text is empty
inline constexpr std::size_t maxHostNameLength = 253; // the longest name DNS can carry, in bytes

// Value of the first hex digit x 16 + the second; 0xFF if either is not a hex digit. The second
// character is not examined when the first is not a hex digit.
std::uint8_t hexPairToByte(char high, char low);

// Blanks around the text are ignored and every ':', '-' and '.' is dropped; what is left must be
// exactly twelve hex digits.
std::optional<MacAddress> parseMacAddress(std::wstring_view text);
// A MAC address as the program writes it: lowercase hex pairs between colons.
std::wstring macText(const MacAddress& mac);

// A decimal number from 1 to 65535, nothing else around it; the empty text means the default.
std::optional<std::uint16_t> parsePort(std::wstring_view text);

// Blanks around the text are ignored. Empty: no password. Four decimal numbers up to 255 with a
// dot between them (192.168.1.1) are 4 bytes, before anything else: as a MAC address their
// twelve digits would be read as hex. Otherwise it is 6 bytes written as parseMacAddress takes
// them. Nothing for any other text.
std::optional<SecureOnPassword> parseSecureOnPassword(std::wstring_view text);

// The host as UTF-8 for the resolver, blanks around it ignored. Nothing for an empty text, a
// text with a blank inside, characters that have no UTF-8 form (or NUL), or one longer than a
// DNS name.
std::optional<std::string> hostForLookup(std::wstring_view text);

// Appends the UTF-8 bytes of one character.
void appendUtf8(std::string& out, char32_t c);

MagicPacket buildMagicPacket(const MacAddress& mac, const SecureOnPassword& password = {});

// The four texts checked, in this order: MAC, port, password, host. Either a request ready to
// send or the outcome that refuses the input.
struct WakeRequest {
    std::string host;
    MacAddress mac{};
    std::uint16_t port = defaultWakePort;
    SecureOnPassword password;
};
using WakeInput = std::variant<WakeRequest, SendOutcome>;
WakeInput parseWakeInput(std::wstring_view host, std::wstring_view mac, std::wstring_view port,
                         std::wstring_view password);

// Where a sent packet went.
struct WakeDelivery {
    HostAddress host = std::uint32_t{0};
    // The directed broadcast of the host's subnet, when the device is attached to it: a sleeping
    // computer answers no address lookup, so the unicast alone may never reach its card.
    std::optional<std::uint32_t> subnetBroadcast;
    // For an IPv6 host on an attached link, the all-nodes group on its interface, for the same
    // reason.
    std::optional<Ipv6Address> allNodes;

    // Where the packet went besides the host, if anywhere.
    std::optional<HostAddress> alsoTo() const {
        if (subnetBroadcast) {
            return *subnetBroadcast;
        }
        if (allNodes) {
            return *allNodes;
        }
        return std::nullopt;
    }
};

// Whether a packet may go to `address` (network byte order): not to 0.0.0.0/8 (this machine)
// nor to a multicast group.
bool isWakeTarget(std::uint32_t address);

// The address of a host given in one of the dotted forms, nothing for a name. Immediate.
std::optional<std::uint32_t> dottedAddress(const std::string& host);
// Whether the host is written as an address (dotted, or IPv6), which needs no name lookup.
bool isAddressText(const std::string& host);
// The host's address: a dotted or an IPv6 address as it is, otherwise the first IPv4 address
// the name lookup gives, or its first IPv6 address when it has no IPv4 one (the lookup may take
// long: the resolver waits for its servers). Nothing when there is none, or when it is no wake
// target.
std::optional<HostAddress> resolveHost(const std::string& host);

// Sends one magic packet for `request` through a fresh UDP socket to `address` and, when it is
// on a directly attached link, to that subnet's broadcast (IPv4) or to the all-nodes group on
// that link (IPv6) too. hostNotFound for an address that is no wake target. Winsock must have
// been started.
SendOutcome sendMagicPacketTo(const WakeRequest& request, const HostAddress& address,
                              WakeDelivery* delivery = nullptr);

// Where sendMagicPacket sends for `host` (a text hostForLookup gave), found as it finds it,
// name lookup included, without sending anything; nothing when the host is not found.
std::optional<WakeDelivery> wakeDestinationsFor(const std::string& host);

// Checks the four texts, resolves the host (resolveHost), and sends one magic packet through a
// fresh UDP socket to the host and, when the host is on a directly attached link, to that
// subnet's broadcast or that link's all-nodes group too. Winsock must have been started.
// Synchronous, name lookup included. `delivery`, if given, tells where it went.
SendOutcome sendMagicPacket(std::wstring_view host, std::wstring_view mac, std::wstring_view port,
                            std::wstring_view password, WakeDelivery* delivery = nullptr);

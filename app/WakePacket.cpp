#include "WakePacket.h"

#include "LocalSubnet.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

// ---- Checking and converting the texts (no network) ----

namespace {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

std::wstring_view trimBlanks(std::wstring_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool isMacSeparator(wchar_t c) {
    return c == L':' || c == L'-' || c == L'.';
}

bool isAsciiHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// UTF-8 of a wide text; texts typed on the device may also arrive as UTF-16 surrogate pairs.
// Nothing for NUL, a lone surrogate or a value beyond Unicode.
std::optional<std::string> toUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if (isHighSurrogate(c) && i + 1 < text.size() &&
            isLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
            const auto low = static_cast<char32_t>(text[++i]);
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        } else if (c == 0 || c > 0x10FFFF || isHighSurrogate(c) || isLowSurrogate(c)) {
            return std::nullopt;
        }
        appendUtf8(out, c);
    }
    return out;
}

} // namespace

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::uint8_t hexPairToByte(char high, char low) {
    const int highValue = hexDigitValue(high);
    if (highValue < 0) {
        return 0xFF;
    }
    const int lowValue = hexDigitValue(low);
    if (lowValue < 0) {
        return 0xFF;
    }
    return static_cast<std::uint8_t>(highValue * 16 + lowValue);
}

std::optional<MacAddress> parseMacAddress(std::wstring_view text) {
    constexpr std::size_t digitCount = 2 * std::tuple_size_v<MacAddress>;
    std::array<char, digitCount> digits{};
    std::size_t found = 0;
    for (const wchar_t c : trimBlanks(text)) {
        if (isMacSeparator(c)) {
            continue;
        }
        if (!isAsciiHexDigit(c) || found == digitCount) {
            return std::nullopt;
        }
        digits[found++] = static_cast<char>(c);
    }
    if (found != digitCount) {
        return std::nullopt;
    }
    MacAddress mac{};
    for (std::size_t i = 0; i < mac.size(); ++i) {
        mac[i] = hexPairToByte(digits[2 * i], digits[2 * i + 1]);
    }
    return mac;
}

std::wstring macText(const MacAddress& mac) {
    static constexpr wchar_t digits[] = L"0123456789abcdef";
    std::wstring text;
    for (std::uint8_t byte : mac) {
        if (!text.empty()) {
            text += L':';
        }
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::optional<std::uint16_t> parsePort(std::wstring_view text) {
    if (text.empty()) {
        return defaultWakePort;
    }
    unsigned long value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned long>(c - L'0');
        if (value > 65535) {
            return std::nullopt;
        }
    }
    if (value == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

namespace {

// "192.168.1.1": four decimal numbers up to 255, a dot between each two.
std::optional<SecureOnPassword> dottedPassword(std::wstring_view text) {
    SecureOnPassword password;
    password.size = 4;
    std::size_t part = 0;
    std::size_t digits = 0;
    unsigned value = 0;
    for (const wchar_t c : text) {
        if (c == L'.') {
            if (digits == 0 || ++part == password.size) {
                return std::nullopt;
            }
            digits = 0;
            value = 0;
        } else if (c >= L'0' && c <= L'9' && digits < 3) {
            value = value * 10 + static_cast<unsigned>(c - L'0');
            if (value > 255) {
                return std::nullopt;
            }
            password.bytes[part] = static_cast<std::uint8_t>(value);
            ++digits;
        } else {
            return std::nullopt;
        }
    }
    if (part != password.size - 1 || digits == 0) {
        return std::nullopt;
    }
    return password;
}

} // namespace

std::optional<SecureOnPassword> parseSecureOnPassword(std::wstring_view text) {
    text = trimBlanks(text);
    if (text.empty()) {
        return SecureOnPassword{};
    }
    if (auto dotted = dottedPassword(text)) {
        return dotted;
    }
    const auto bytes = parseMacAddress(text);
    if (!bytes) {
        return std::nullopt;
    }
    SecureOnPassword password;
    password.bytes = *bytes;
    password.size = bytes->size();
    return password;
}

std::optional<std::string> hostForLookup(std::wstring_view text) {
    const std::wstring_view trimmed = trimBlanks(text);
    // No name holds a blank; an address with words after it is no address.
    if (std::any_of(trimmed.begin(), trimmed.end(), isBlank)) {
        return std::nullopt;
    }
    auto host = toUtf8(trimmed);
    if (!host || host->empty() || host->size() > maxHostNameLength) {
        return std::nullopt;
    }
    return host;
}

bool isWakeTarget(std::uint32_t address) {
    const auto firstByte = reinterpret_cast<const std::uint8_t*>(&address)[0];
    const bool thisNetwork = firstByte == 0; // 0.0.0.0/8: this machine, never a computer
    const bool multicast = (firstByte & 0xF0) == 0xE0;
    return !thisNetwork && !multicast;
}

MagicPacket::MagicPacket(const MacAddress& mac, const SecureOnPassword& password) {
    std::fill_n(bytes_.begin(), 6, std::uint8_t{0xFF});
    const auto copiesEnd = bytes_.begin() + magicPacketSize;
    for (auto copy = bytes_.begin() + 6; copy != copiesEnd; copy += mac.size()) {
        std::copy(mac.begin(), mac.end(), copy);
    }
    // Only the two lengths a card knows: anything else would make a packet of another length.
    const std::size_t passwordSize = password.size == 4 || password.size == 6 ? password.size : 0;
    std::copy_n(password.bytes.begin(), passwordSize, copiesEnd);
    size_ = magicPacketSize + passwordSize;
}

MagicPacket buildMagicPacket(const MacAddress& mac, const SecureOnPassword& password) {
    return MagicPacket(mac, password);
}

WakeInput parseWakeInput(std::wstring_view host, std::wstring_view mac, std::wstring_view port,
                         std::wstring_view password) {
    const auto macAddress = parseMacAddress(mac);
    if (!macAddress) {
        return SendOutcome::invalidMac;
    }
    const auto portNumber = parsePort(port);
    if (!portNumber) {
        return SendOutcome::invalidPort;
    }
    const auto secureOn = parseSecureOnPassword(password);
    if (!secureOn) {
        return SendOutcome::invalidPassword;
    }
    auto hostName = hostForLookup(host);
    if (!hostName) {
        return SendOutcome::hostNotFound;
    }
    return WakeRequest{std::move(*hostName), *macAddress, *portNumber, *secureOn};
}

// ---- Resolving and sending ----

namespace {

// The first address of `family` (AF_INET or AF_INET6) the name lookup gives.
std::optional<HostAddress> lookUp(const std::string& host, int family) {
    ADDRINFOA hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    ADDRINFOA* results = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &results) != 0) {
        return std::nullopt;
    }
    std::optional<HostAddress> found;
    for (const ADDRINFOA* entry = results; entry != nullptr && !found; entry = entry->ai_next) {
        if (entry->ai_family != family || entry->ai_addr == nullptr) {
            continue;
        }
        if (family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            found = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
        } else if (family == AF_INET6 && entry->ai_addrlen >= sizeof(sockaddr_in6)) {
            sockaddr_in6 in6{};
            std::memcpy(&in6, entry->ai_addr, sizeof in6);
            Ipv6Address ipv6;
            std::memcpy(ipv6.bytes.data(), &in6.sin6_addr, ipv6.bytes.size());
            ipv6.scopeId = in6.sin6_scope_id;
            found = ipv6;
        }
    }
    freeaddrinfo(results);
    return found;
}

// An IPv4 address written as IPv6 (::ffff:a.b.c.d) is that IPv4 address.
HostAddress unmapped(const Ipv6Address& address) {
    constexpr std::array<std::uint8_t, 12> mappedPrefix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (!std::equal(mappedPrefix.begin(), mappedPrefix.end(), address.bytes.begin())) {
        return address;
    }
    std::uint32_t ipv4 = 0;
    std::memcpy(&ipv4, address.bytes.data() + mappedPrefix.size(), sizeof ipv4);
    return ipv4;
}

bool isWakeTargetAddress(const HostAddress& address) {
    return std::visit([](const auto& a) { return isWakeTarget(a); }, address);
}

// A UDP socket that may send to broadcast addresses (IPv4) or to the link's groups (IPv6);
// closed when it goes out of scope.
class WakeUdpSocket {
public:
    explicit WakeUdpSocket(int family) : socket_(socket(family, SOCK_DGRAM, IPPROTO_UDP)) {
        if (socket_ != INVALID_SOCKET && family == AF_INET) {
            const BOOL on = TRUE;
            setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                       sizeof on);
        }
    }
    ~WakeUdpSocket() {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
        }
    }
    WakeUdpSocket(const WakeUdpSocket&) = delete;
    WakeUdpSocket& operator=(const WakeUdpSocket&) = delete;

    bool isOpen() const { return socket_ != INVALID_SOCKET; }

    template <typename SocketAddress>
    bool sendWhole(const MagicPacket& packet, const SocketAddress& destination) {
        const int result = sendto(socket_, reinterpret_cast<const char*>(packet.data()),
                                  static_cast<int>(packet.size()), 0,
                                  reinterpret_cast<const sockaddr*>(&destination),
                                  static_cast<int>(sizeof destination));
        return result == static_cast<int>(packet.size());
    }

private:
    SOCKET socket_;
};

SendOutcome sendToIpv4(const WakeRequest& request, std::uint32_t address, WakeDelivery& delivered) {
    WakeUdpSocket socket(AF_INET);
    if (!socket.isOpen()) {
        return SendOutcome::sendFailed;
    }
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(request.port);
    destination.sin_addr.s_addr = address;
    const MagicPacket packet = buildMagicPacket(request.mac, request.password);
    if (!socket.sendWhole(packet, destination)) {
        return SendOutcome::sendFailed;
    }
    delivered.host = address;
    if (const auto broadcast = directedBroadcastFor(address)) {
        destination.sin_addr.s_addr = *broadcast;
        // The unicast is on its way: a subnet that refuses broadcasts leaves the send a success.
        if (socket.sendWhole(packet, destination)) {
            delivered.subnetBroadcast = broadcast;
        }
    }
    return SendOutcome::sent;
}

sockaddr_in6 socketAddress(const Ipv6Address& address, std::uint16_t port) {
    sockaddr_in6 destination{};
    destination.sin6_family = AF_INET6;
    destination.sin6_port = htons(port);
    std::memcpy(&destination.sin6_addr, address.bytes.data(), address.bytes.size());
    destination.sin6_scope_id = address.scopeId;
    return destination;
}

SendOutcome sendToIpv6(const WakeRequest& request, const Ipv6Address& address,
                       WakeDelivery& delivered) {
    WakeUdpSocket socket(AF_INET6);
    const MagicPacket packet = buildMagicPacket(request.mac);
    if (!socket.isOpen() || !socket.sendWhole(packet, socketAddress(address, request.port))) {
        return SendOutcome::sendFailed;
    }
    delivered.host = address;
    // A unicast to a silent neighbour waits for an answer that never comes; the group's frame
    // leaves at once.
    if (const auto group = allNodesGroupFor(address);
        group && socket.sendWhole(packet, socketAddress(*group, request.port))) {
        delivered.allNodes = group;
    }
    return SendOutcome::sent;
}

} // namespace

std::optional<std::uint32_t> dottedAddress(const std::string& host) {
    const u_long address = inet_addr(host.c_str());
    if (address == INADDR_NONE) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(address);
}

bool isAddressText(const std::string& host) {
    return dottedAddress(host) || isIpv6Text(host);
}

std::optional<HostAddress> resolveHost(const std::string& host) {
    std::optional<HostAddress> address;
    if (isIpv6Text(host)) {
        if (const auto ipv6 = parseIpv6(host)) {
            address = unmapped(*ipv6);
        }
    } else if (const auto dotted = dottedAddress(host)) {
        address = *dotted;
    } else if (const auto ipv4 = lookUp(host, AF_INET)) {
        address = *ipv4;
    } else if (const auto ipv6 = lookUp(host, AF_INET6)) {
        address = unmapped(std::get<Ipv6Address>(*ipv6));
    }
    if (address && !isWakeTargetAddress(*address)) {
        return std::nullopt;
    }
    return address;
}

SendOutcome sendMagicPacketTo(const WakeRequest& request, const HostAddress& address,
                              WakeDelivery* delivery) {
    if (!isWakeTargetAddress(address)) {
        return SendOutcome::hostNotFound;
    }
    WakeDelivery delivered;
    const auto* ipv4 = std::get_if<std::uint32_t>(&address);
    const SendOutcome outcome =
        ipv4 != nullptr ? sendToIpv4(request, *ipv4, delivered)
                        : sendToIpv6(request, std::get<Ipv6Address>(address), delivered);
    if (outcome == SendOutcome::sent && delivery != nullptr) {
        *delivery = delivered;
    }
    return outcome;
}

SendOutcome sendMagicPacket(std::wstring_view host, std::wstring_view mac, std::wstring_view port,
                            std::wstring_view password, WakeDelivery* delivery) {
    const WakeInput input = parseWakeInput(host, mac, port, password);
    if (const auto* refusal = std::get_if<SendOutcome>(&input)) {
        return *refusal;
    }
    const auto& request = std::get<WakeRequest>(input);
    const auto address = resolveHost(request.host);
    if (!address) {
        return SendOutcome::hostNotFound;
    }
    return sendMagicPacketTo(request, *address, delivery);
}

std::optional<WakeDelivery> wakeDestinationsFor(const std::string& host) {
    const auto address = resolveHost(host);
    if (!address) {
        return std::nullopt;
    }
    WakeDelivery destinations{*address, std::nullopt, std::nullopt};
    if (const auto* ipv4 = std::get_if<std::uint32_t>(&*address)) {
        destinations.subnetBroadcast = directedBroadcastFor(*ipv4);
    } else {
        destinations.allNodes = allNodesGroupFor(std::get<Ipv6Address>(*address));
    }
    return destinations;
}

// Arbitrary host, MAC and port texts through the sender's checks (no network). The input is
// "host\nmac\nport"; a byte 0xFF followed by four bytes is one wide character of any value, so
// every wchar_t (NUL, newline, surrogates, beyond Unicode) can be reached.
#include "WakePacket.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<std::wstring> splitFields(const std::uint8_t* data, std::size_t size) {
    std::vector<std::wstring> fields(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' && fields.size() < 3) {
            fields.emplace_back();
        } else if (data[i] == 0xFF && i + 4 < size) {
            std::uint32_t value = 0;
            std::memcpy(&value, data + i + 1, sizeof value);
            fields.back() += static_cast<wchar_t>(value);
            i += sizeof value;
        } else {
            fields.back() += static_cast<wchar_t>(data[i]);
        }
    }
    fields.resize(3);
    return fields;
}

int hexValue(wchar_t c) {
    const std::wstring_view digits = L"0123456789abcdef0123456789ABCDEF";
    const std::size_t at = digits.find(c);
    return at == digits.npos ? -1 : static_cast<int>(at % 16);
}

void checkMac(const std::wstring& text) {
    const auto mac = parseMacAddress(text);
    std::vector<int> digits;
    bool onlyDigitsAndSeparators = true;
    const std::size_t first = text.find_first_not_of(L" \t");
    const std::size_t last = text.find_last_not_of(L" \t");
    for (std::size_t i = first; first != text.npos && i <= last; ++i) {
        if (hexValue(text[i]) >= 0) {
            digits.push_back(hexValue(text[i]));
        } else if (text[i] != L':' && text[i] != L'-' && text[i] != L'.') {
            onlyDigitsAndSeparators = false;
        }
    }
    const bool shouldParse = onlyDigitsAndSeparators && digits.size() == 12;
    require(mac.has_value() == shouldParse);
    if (mac) {
        for (std::size_t i = 0; i < mac->size(); ++i) {
            require((*mac)[i] == digits[2 * i] * 16 + digits[2 * i + 1]);
        }
        const MagicPacket packet = buildMagicPacket(*mac);
        for (std::size_t i = 0; i < packet.size(); ++i) {
            require(packet[i] == (i < 6 ? 0xFF : (*mac)[(i - 6) % 6]));
        }
    }
}

void checkPort(const std::wstring& text) {
    const auto port = parsePort(text);
    if (text.empty()) {
        require(port == defaultWakePort);
        return;
    }
    if (!port) {
        return;
    }
    require(*port >= 1);
    unsigned long value = 0;
    for (const wchar_t c : text) {
        require(c >= L'0' && c <= L'9');
        value = value * 10 + static_cast<unsigned long>(c - L'0');
        require(value <= 65535);
    }
    require(value == *port);
}

void checkCombined(const std::wstring& host, const std::wstring& mac, const std::wstring& port) {
    const WakeInput input = parseWakeInput(host, mac, port);
    if (!parseMacAddress(mac)) {
        require(std::get<SendOutcome>(input) == SendOutcome::invalidMac);
    } else if (!parsePort(port)) {
        require(std::get<SendOutcome>(input) == SendOutcome::invalidPort);
    } else if (!hostForLookup(host)) {
        require(std::get<SendOutcome>(input) == SendOutcome::hostNotFound);
    } else {
        const auto& request = std::get<WakeRequest>(input);
        require(request.mac == *parseMacAddress(mac));
        require(request.port == *parsePort(port));
        require(request.host == *hostForLookup(host));
        require(!request.host.empty() && request.host.size() <= maxHostNameLength);
        require(std::strlen(request.host.c_str()) == request.host.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = splitFields(data, size);
    checkMac(fields[1]);
    checkPort(fields[2]);
    checkCombined(fields[0], fields[1], fields[2]);
    return 0;
}

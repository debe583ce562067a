// The registry file is read back at every start, whatever happened to it: any text either
// parses or is refused with a message, and what parses formats to a text that parses to the
// same tree. Any text value, whatever characters it holds, comes back byte for byte: the
// comment that shows it to a person can never break the file.
#include "registry/RegistryText.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

using namespace platform::registry;

void checkTextParses(std::string_view text) {
    const auto first = parse(text);
    if (!first.error.empty()) {
        return;
    }
    const std::string written = format(first.tree);
    const auto second = parse(written);
    if (!second.error.empty() || format(second.tree) != written) {
        std::abort();
    }
}

// Long enough for every mix of escapes; longer texts only slow the search down.
constexpr std::size_t longestText = 48;

// Three input bytes make one character of any plane; a pair of surrogates written one by one
// would read back joined, so the second one is left out.
std::wstring charactersOf(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i + 2 < size && text.size() < longestText; i += 3) {
        auto code =
            static_cast<wchar_t>((data[i] | data[i + 1] << 8 | data[i + 2] << 16) % 0x110000);
        const bool joinsThePrevious = !text.empty() && text.back() >= 0xD800 &&
                                      text.back() <= 0xDBFF && code >= 0xDC00 && code <= 0xDFFF;
        if (!joinsThePrevious) {
            text.push_back(code);
        }
    }
    return text;
}

void checkTextValueComesBack(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = charactersOf(data, size);
    Tree tree;
    Key& key = addKey(tree, {L"HKEY_LOCAL_MACHINE", L"SOFTWARE", L"Dawnbell"});
    Value value{L"lastIP", REG_SZ, std::vector<BYTE>(text.size() * sizeof(wchar_t))};
    if (!text.empty()) {
        std::memcpy(value.data.data(), text.data(), value.data.size());
    }
    key.values[fold(value.name)] = value;
    key.values[L"lastmac"] = Value{L"lastMAC", REG_BINARY, {1, 2}};
    const auto read = parse(format(tree));
    if (!read.error.empty() || read.tree.size() != 2) {
        std::abort();
    }
    const Key& back = read.tree.rbegin()->second;
    if (back.values.size() != 2 || back.values.at(L"lastip").data != value.data ||
        back.values.at(L"lastmac").data != std::vector<BYTE>{1, 2}) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkTextParses(std::string_view(reinterpret_cast<const char*>(data), size));
    checkTextValueComesBack(data, size);
    return 0;
}

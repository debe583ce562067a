#include "CardMakers.h"

#include "NameAnswers.h"

#include <fstream>
#include <optional>
#include <string_view>

namespace {

constexpr std::string_view largeBlock = "MA-L";
constexpr std::size_t prefixDigits = 6;

// One CSV field at `at`, quoted or not; `at` moves past its comma.
std::string field(std::string_view line, std::size_t& at) {
    std::string text;
    if (at < line.size() && line[at] == '"') {
        for (++at; at < line.size(); ++at) {
            if (line[at] == '"' && at + 1 < line.size() && line[at + 1] == '"') {
                text += '"';
                ++at;
            } else if (line[at] == '"') {
                ++at;
                break;
            } else {
                text += line[at];
            }
        }
    }
    const std::size_t comma = std::min(line.find(',', at), line.size());
    if (text.empty()) {
        text = line.substr(at, comma - at);
    }
    at = comma + 1;
    return text;
}

std::optional<std::uint32_t> prefixOf(std::string_view digits) {
    if (digits.size() != prefixDigits) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (char c : digits) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

} // namespace

CardMakers::CardMakers(std::istream& list) {
    std::string line;
    while (std::getline(list, line)) {
        std::size_t at = 0;
        if (field(line, at) != largeBlock) {
            continue;
        }
        const auto prefix = prefixOf(field(line, at));
        std::string organisation = field(line, at);
        while (!organisation.empty() && organisation.back() == ' ') {
            organisation.pop_back();
        }
        if (prefix && !organisation.empty()) {
            makers_[*prefix] = std::move(organisation);
        }
    }
}

std::wstring CardMakers::makerOf(const std::array<std::uint8_t, 6>& mac) const {
    const std::uint32_t prefix = std::uint32_t{mac[0]} << 16 | std::uint32_t{mac[1]} << 8 | mac[2];
    const auto found = makers_.find(prefix);
    return found == makers_.end() ? std::wstring() : name_answers::cleanName(found->second);
}

const CardMakers& installedCardMakers() {
    static const CardMakers makers = [] {
        std::ifstream list(installedMakerList);
        return list ? CardMakers(list) : CardMakers();
    }();
    return makers;
}

// Who made a network card, from the first three bytes of its MAC address: the IEEE's list of
// assigned blocks as Debian's ieee-data package installs it. Without that list, no maker is
// known.
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <string>
#include <unordered_map>

inline constexpr char installedMakerList[] = "/usr/share/ieee-data/oui.csv";

class CardMakers {
public:
    CardMakers() = default;
    // Reads the list in its CSV form: "MA-L,<six hex digits>,<organisation>,<address>", the
    // organisation quoted when it holds a comma. Lines of any other form are passed over.
    explicit CardMakers(std::istream& list);

    // The maker of the card, or an empty text.
    std::wstring makerOf(const std::array<std::uint8_t, 6>& mac) const;
    bool empty() const { return makers_.empty(); }

private:
    std::unordered_map<std::uint32_t, std::string> makers_; // cleaned when asked
};

// The installed list, read once on first use (from any thread; about a tenth of a second).
const CardMakers& installedCardMakers();

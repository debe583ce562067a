// The questions the network search asks a computer for its name, and how their answers are read:
// a NetBIOS node status query (UDP 137, answered by most Windows computers) and a multicast DNS
// reverse query (a PTR question for d.c.b.a.in-addr.arpa). Answers come from anyone on the
// network: every byte is checked, and a name is cleaned before it is shown or stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace name_answers {

// Names longer than this many characters are cut: a row shows about 30, and nothing sensible
// is longer.
inline constexpr std::size_t longestName = 63;

// The node status question ("*": every name the computer has).
std::vector<std::uint8_t> netbiosQuery(std::uint16_t transaction);
// The computer's own name from a node status answer to `transaction`: its first unique
// workstation name, trailing spaces cut; nothing when the answer is not one.
std::optional<std::string> netbiosName(const std::uint8_t* data, std::size_t length,
                                       std::uint16_t transaction);

// The reverse question for `address` (network byte order), asking for a unicast answer.
std::vector<std::uint8_t> reverseQuery(std::uint32_t address, std::uint16_t transaction);
// The name a reverse answer gives for `address`, without its final dot; nothing when the
// answer holds no pointer record for exactly that address.
std::optional<std::string> reverseName(const std::uint8_t* data, std::size_t length,
                                       std::uint32_t address);

// A name as it may be shown: UTF-8 decoded, broken sequences, control characters, line breaks
// and bidirectional controls each replaced by U+FFFD, at most longestName characters.
std::wstring cleanName(std::string_view bytes);

} // namespace name_answers

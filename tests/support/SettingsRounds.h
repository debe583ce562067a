// The settings that the writer of the kill tests saves in its n-th round, the same in the writer
// and in the test that checks what a kill left: a host text that starts with the round number,
// so that no two rounds save the same one, a MAC and a port text of random length, and the
// question flag turning on and off. The texts hold what a file format gets wrong first: line
// breaks, comment and value marks, quotes, backslashes, NUL and other controls, right-to-left
// text and characters beyond the basic plane.
#pragma once

#include "RecentComputers.h"
#include "SettingsStore.h"

#include <cstdint>
#include <string>

namespace killtest {

struct SavedSettings {
    StoredFields fields;
    bool showInfo = true;
};

// splitmix64: a good spread from a counter.
inline std::uint64_t mix(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

// A number below `bound`, drawn from `state`.
inline std::size_t below(std::uint64_t& state, std::size_t bound) {
    return static_cast<std::size_t>((state = mix(state)) % bound);
}

inline std::wstring randomText(std::uint64_t& state, std::size_t longest) {
    static const std::wstring characters = std::wstring(L"0123456789abcdef.:- \r\n;=\"\\\0", 27) +
                                           L"\x1b\u05D0\u05E9\u202E\U0001F600\U00010348";
    std::wstring text(below(state, longest + 1), L' ');
    for (wchar_t& c : text)
        c = characters[below(state, characters.size())];
    if (!text.empty() && text.back() == L'\0')
        text.back() = L'x'; // the store drops NULs at the end of a text it reads
    return text;
}

// What a round does to the recent computers after saving the settings: one of a pool of 14
// computers gets a packet (so the list fills, rows move up and the oldest go), or, one round in
// five, a row is forgotten (nothing when there is no such row).
struct ListStep {
    bool forget = false;
    std::size_t row = 0;
    int computer = 0;
};

inline StoredFields poolComputer(int n) {
    return {L"pc" + std::to_wstring(n) + L".lan",
            std::wstring(L"00:11:22:33:44:0") + L"0123456789abcdef"[n], std::to_wstring(n + 1)};
}

inline ListStep listStepOfRound(std::uint64_t startValue, std::uint64_t round) {
    std::uint64_t state = mix(startValue ^ mix(round));
    if (below(state, 5) == 0)
        return {true, below(state, RecentComputers::maxRows), 0};
    return {false, 0, static_cast<int>(below(state, 14))};
}

inline SavedSettings settingsOfRound(std::uint64_t startValue, std::uint64_t round) {
    std::uint64_t state = startValue ^ mix(round);
    SavedSettings saved;
    saved.fields.host = std::to_wstring(round) + L"|";
    saved.fields.host += randomText(state, SettingsKey::hostCapacity - saved.fields.host.size());
    saved.fields.mac = randomText(state, SettingsKey::macCapacity);
    saved.fields.port = randomText(state, SettingsKey::portCapacity);
    saved.showInfo = round % 2 == 1;
    return saved;
}

// A text's character codes, "-" for none: how kill_child shows a stored text.
inline std::string codes(const std::wstring& text) {
    std::string shown;
    for (const wchar_t c : text)
        shown += std::to_string(static_cast<std::uint32_t>(c)) + ",";
    return shown.empty() ? "-" : shown;
}

} // namespace killtest

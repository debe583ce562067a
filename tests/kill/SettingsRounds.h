// The settings that the writer of the kill tests saves in its n-th round, the same in the writer
// and in the test that checks what a kill left: a host text that starts with the round number,
// so that no two rounds save the same one, a MAC and a port text of random length, and the
// question flag turning on and off. The texts hold what a file format gets wrong first: line
// breaks, comment and value marks, quotes, backslashes, NUL and other controls, right-to-left
// text and characters beyond the basic plane.
#pragma once

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

class Draw {
public:
    explicit Draw(std::uint64_t state) : state_(state) {}
    std::uint64_t next() { return state_ = mix(state_); }
    std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }

    std::wstring text(std::size_t longest) {
        static const std::wstring characters = std::wstring(L"0123456789abcdef.:- \r\n;=\"\\") +
                                               std::wstring(1, L'\0') + L"\x1b\u05D0\u05E9\u202E" +
                                               L"\U0001F600\U00010348";
        std::wstring text(below(longest + 1), L' ');
        for (wchar_t& c : text) {
            c = characters[below(characters.size())];
        }
        if (!text.empty() && text.back() == L'\0') {
            text.back() = L'x'; // the store drops NULs at the end of a text it reads
        }
        return text;
    }

private:
    std::uint64_t state_;
};

inline SavedSettings settingsOfRound(std::uint64_t startValue, std::uint64_t round) {
    Draw draw(startValue ^ mix(round));
    SavedSettings saved;
    saved.fields.host = std::to_wstring(round) + L"|";
    saved.fields.host += draw.text(SettingsKey::hostCapacity - saved.fields.host.size());
    saved.fields.mac = draw.text(SettingsKey::macCapacity);
    saved.fields.port = draw.text(SettingsKey::portCapacity);
    saved.showInfo = round % 2 == 1;
    return saved;
}

} // namespace killtest

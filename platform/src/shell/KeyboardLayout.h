// Where the keys of the on-screen keyboard are: four rows of eleven units in the panel's
// rectangle (digits and backspace; q to p and '-'; a to l, ':' and enter; shift, z to m, '.'
// and a two-unit space bar).
#pragma once

#include "wintypes.h"

#include <string>
#include <vector>

namespace platform::shell {

enum class KeyKind { character, shift, backspace, enter };

struct Key {
    KeyKind kind = KeyKind::character;
    wchar_t lower = 0; // the character typed (character keys; space is ' ')
    wchar_t upper = 0; // with shift
    RECT face{};       // drawn key, inside its cell
    RECT cell{};       // the area a touch selects; the cells tile the panel
};

// The keys for a panel at `panel` (screen coordinates), with `gap` pixels between key faces.
std::vector<Key> layoutKeys(const RECT& panel, int gap);

// The key whose cell holds the point, or -1.
int keyAt(const std::vector<Key>& keys, int x, int y);

// The label a key shows.
std::wstring keyLabel(const Key& key, bool shifted);

} // namespace platform::shell

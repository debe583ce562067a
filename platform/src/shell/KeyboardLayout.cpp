#include "shell/KeyboardLayout.h"

#include <cwctype>

namespace platform::shell {
namespace {

constexpr int unitsPerRow = 11;

struct KeySpec {
    KeyKind kind;
    wchar_t character;
    int units;
};

std::vector<std::vector<KeySpec>> rows() {
    auto characters = [](const wchar_t* text) {
        std::vector<KeySpec> row;
        for (; *text != L'\0'; ++text)
            row.push_back({KeyKind::character, *text, 1});
        return row;
    };
    auto digits = characters(L"1234567890");
    digits.push_back({KeyKind::backspace, 0, 1});
    auto top = characters(L"qwertyuiop-");
    auto middle = characters(L"asdfghjkl:");
    middle.push_back({KeyKind::enter, 0, 1});
    std::vector<KeySpec> bottom{{KeyKind::shift, 0, 1}};
    for (const auto& key : characters(L"zxcvbnm."))
        bottom.push_back(key);
    bottom.push_back({KeyKind::character, L' ', 2});
    return {digits, top, middle, bottom};
}

// Edge of unit `u` of `count` across [from, to): the cells tile the span without gaps.
int edge(int from, int to, int u, int count) {
    return from + static_cast<int>(static_cast<long long>(to - from) * u / count);
}

} // namespace

std::vector<Key> layoutKeys(const RECT& panel, int gap) {
    const auto layoutRows = rows();
    const int rowCount = static_cast<int>(layoutRows.size());
    std::vector<Key> keys;
    for (int r = 0; r < rowCount; ++r) {
        const int top = edge(panel.top, panel.bottom, r, rowCount);
        const int bottom = edge(panel.top, panel.bottom, r + 1, rowCount);
        int unit = 0;
        for (const auto& entry : layoutRows[r]) {
            Key key;
            key.kind = entry.kind;
            key.lower = entry.character;
            key.upper = static_cast<wchar_t>(std::towupper(entry.character));
            key.cell = {edge(panel.left, panel.right, unit, unitsPerRow), top,
                        edge(panel.left, panel.right, unit + entry.units, unitsPerRow), bottom};
            const int half = gap / 2;
            key.face = {key.cell.left + half, key.cell.top + half, key.cell.right - (gap - half),
                        key.cell.bottom - (gap - half)};
            unit += entry.units;
            keys.push_back(key);
        }
    }
    return keys;
}

int keyAt(const std::vector<Key>& keys, int x, int y) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const RECT& c = keys[i].cell;
        if (x >= c.left && x < c.right && y >= c.top && y < c.bottom)
            return static_cast<int>(i);
    }
    return -1;
}

std::wstring keyLabel(const Key& key, bool shifted) {
    switch (key.kind) {
    case KeyKind::shift:
        return L"\u21E7";
    case KeyKind::backspace:
        return L"\u232B";
    case KeyKind::enter:
        return L"\u21B5";
    case KeyKind::character:
        break;
    }
    if (key.lower == L' ')
        return L"space";
    return std::wstring(1, shifted ? key.upper : key.lower);
}

} // namespace platform::shell

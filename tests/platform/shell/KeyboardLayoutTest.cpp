// The on-screen keyboard's keys: which there are and where they lie.
#include "shell/KeyboardLayout.h"

#include <gtest/gtest.h>

#include <map>

using namespace platform::shell;

namespace {

int area(const RECT& r) {
    return (r.right - r.left) * (r.bottom - r.top);
}

TEST(KeyboardLayout, HasEveryKeyTheWakeToolNeedsOnceWithCapitalsOnLettersOnly) {
    std::map<wchar_t, int> characters;
    std::map<KeyKind, int> kinds;
    for (const auto& key : layoutKeys({0, 480, 480, 640}, 4)) {
        ++kinds[key.kind];
        if (key.kind != KeyKind::character)
            continue;
        ++characters[key.lower];
        const bool letter = key.lower >= L'a' && key.lower <= L'z';
        const bool digit = key.lower >= L'0' && key.lower <= L'9';
        EXPECT_TRUE(!(letter || digit) ||
                    keyLabel(key, true) == std::wstring(1, letter ? key.lower - 32 : key.lower))
            << static_cast<char>(key.lower);
    }
    for (wchar_t c : std::wstring(L"abcdefghijklmnopqrstuvwxyz0123456789.:- "))
        EXPECT_EQ(characters[c], 1) << static_cast<char>(c);
    for (KeyKind kind : {KeyKind::shift, KeyKind::backspace, KeyKind::enter})
        EXPECT_EQ(kinds[kind], 1);
}

TEST(KeyboardLayout, CellsTileThePanelAndFacesLieInsideThem) {
    const RECT panel{0, 240, 240, 320};
    const auto keys = layoutKeys(panel, 2);
    int total = 0;
    for (const auto& key : keys) {
        total += area(key.cell);
        // The gap is split between a key's two sides.
        EXPECT_EQ(key.face.left - key.cell.left, 1);
        EXPECT_EQ(key.cell.bottom - key.face.bottom, 1);
        EXPECT_GT(key.face.right - key.face.left, 14) << "a finger-sized key even at 96 dpi";
        EXPECT_GT(key.face.bottom - key.face.top, 14);
    }
    EXPECT_EQ(total, area(panel));
    for (int x = panel.left; x < panel.right; x += 7) {
        for (int y = panel.top; y < panel.bottom; y += 5)
            EXPECT_GE(keyAt(keys, x, y), 0) << x << "," << y;
    }
    EXPECT_EQ(keyAt(keys, 10, 239), -1);
}

} // namespace

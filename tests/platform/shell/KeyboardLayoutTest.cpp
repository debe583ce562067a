// The on-screen keyboard's keys: which there are and where they lie.
#include "shell/KeyboardLayout.h"

#include <gtest/gtest.h>

#include <set>

using namespace platform::shell;

namespace {

int area(const RECT& r) {
    return (r.right - r.left) * (r.bottom - r.top);
}

} // namespace

TEST(KeyboardLayout, HasEveryKeyTheWakeToolNeeds) {
    const auto keys = layoutKeys({0, 480, 480, 640}, 4);
    std::set<wchar_t> characters;
    int shift = 0, backspace = 0, enter = 0;
    for (const auto& key : keys) {
        if (key.kind == KeyKind::character)
            characters.insert(key.lower);
        shift += key.kind == KeyKind::shift;
        backspace += key.kind == KeyKind::backspace;
        enter += key.kind == KeyKind::enter;
    }
    for (wchar_t c : std::wstring(L"abcdefghijklmnopqrstuvwxyz0123456789.:- "))
        EXPECT_TRUE(characters.count(c)) << static_cast<char>(c);
    EXPECT_EQ(shift, 1);
    EXPECT_EQ(backspace, 1);
    EXPECT_EQ(enter, 1);
}

TEST(KeyboardLayout, CellsTileThePanelAndFacesLieInsideThem) {
    const RECT panel{0, 240, 240, 320};
    const auto keys = layoutKeys(panel, 2);
    int total = 0;
    for (const auto& key : keys) {
        total += area(key.cell);
        EXPECT_GE(key.face.left, key.cell.left);
        EXPECT_LE(key.face.right, key.cell.right);
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

TEST(KeyboardLayout, ShiftShowsCapitalsOnLettersOnly) {
    const auto keys = layoutKeys({0, 0, 480, 160}, 4);
    for (const auto& key : keys) {
        if (key.kind == KeyKind::character && key.lower == L'q') {
            EXPECT_EQ(keyLabel(key, true), L"Q");
        }
        if (key.kind == KeyKind::character && key.lower == L'7') {
            EXPECT_EQ(keyLabel(key, true), L"7");
        }
    }
}

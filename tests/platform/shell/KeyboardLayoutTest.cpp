// The on-screen keyboard's keys: which there are and where they lie.
#include "shell/KeyboardLayout.h"

#include <gtest/gtest.h>

using namespace platform::shell;

namespace {

int area(const RECT& r) {
    return (r.right - r.left) * (r.bottom - r.top);
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

// The shell's shapes stay inside their canvas, however far a shape reaches past its edges.
#include "shell/Canvas.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Canvas, ShapesReachingPastTheEdgesChangeOnlyTheCanvasOwnPixels) {
    const RECT shapes[] = {{-3, -3, 3, 3}, {1, 1, 7, 7}, {-3, 1, 3, 7}, {1, -3, 7, 3}};
    for (const RECT& shape : shapes) {
        // A 4 by 4 canvas in the middle of an 8 by 8 buffer.
        std::vector<std::uint16_t> pixels(64, 0);
        platform::shell::Canvas canvas(pixels.data() + 2 * 8 + 2, 4, 4, 8);
        canvas.fillRoundRect(shape, 2, {255, 255, 255});
        canvas.frame(shape, 1, {255, 255, 255});
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                const bool inside = x >= 2 && x < 6 && y >= 2 && y < 6;
                EXPECT_TRUE(inside || pixels[y * 8 + x] == 0) << x << "," << y;
            }
        }
        EXPECT_EQ(pixels[3 * 8 + 3], 0xFFFF) << "the shape's part inside is drawn";
    }
}

} // namespace

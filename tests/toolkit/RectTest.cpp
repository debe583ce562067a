// The rectangle arithmetic of the widgets: emptiness, intersection, overlap, and a copy's place
// and source cut by the same amounts.
#include "Rect.h"
#include "support/Toolkit.h"

using toolkit_test::edges;

namespace {

constexpr RECT square{0, 0, 10, 10};

TEST(Rect, IntersectionIsEmptyExactlyWhereTheRectanglesDoNotOverlap) {
    // other, their intersection, whether they overlap
    const std::tuple<RECT, RECT, bool> cases[] = {
        {{5, 5, 20, 20}, {5, 5, 10, 10}, true},    {{2, 3, 4, 5}, {2, 3, 4, 5}, true},
        {{10, 0, 20, 10}, {10, 0, 10, 10}, false}, {{0, 10, 10, 20}, {0, 10, 10, 10}, false},
        {{-5, -5, 0, 0}, {0, 0, 0, 0}, false},     {{20, 30, 40, 50}, {20, 30, 10, 10}, false},
        {{-5, 2, 15, 8}, {0, 2, 10, 8}, true},
    };
    for (const auto& [other, expected, meet] : cases) {
        EXPECT_EQ(edges(intersection(square, other)), edges(expected)) << other.left;
        EXPECT_EQ(overlaps(square, other), meet) << other.left;
        EXPECT_EQ(overlaps(other, square), meet) << other.left;
        EXPECT_EQ(isEmpty(intersection(square, other)), !meet) << other.left;
    }
    EXPECT_TRUE(isEmpty(RECT{5, 0, 4, 10})); // turned inside out
}

TEST(Rect, ClippingAPlaceCutsItsSourceOnTheSameSides) {
    const RECT place{10, 20, 30, 40};
    const RECT source{100, 0, 120, 20};
    // clip, then the place and the source it leaves
    const std::tuple<RECT, RECT, RECT> cases[] = {
        {{0, 0, 99, 99}, {10, 20, 30, 40}, {100, 0, 120, 20}},
        {{15, 0, 99, 99}, {15, 20, 30, 40}, {105, 0, 120, 20}},
        {{0, 0, 25, 99}, {10, 20, 25, 40}, {100, 0, 115, 20}},
        {{0, 25, 99, 99}, {10, 25, 30, 40}, {100, 5, 120, 20}},
        {{0, 0, 99, 35}, {10, 20, 30, 35}, {100, 0, 120, 15}},
        {{12, 22, 28, 38}, {12, 22, 28, 38}, {102, 2, 118, 18}},
    };
    for (const auto& [clip, expectedPlace, expectedSource] : cases) {
        const auto [cutPlace, cutSource] = clipPlaceAndSource(place, source, clip);
        EXPECT_EQ(edges(cutPlace), edges(expectedPlace)) << clip.left << "," << clip.top;
        EXPECT_EQ(edges(cutSource), edges(expectedSource)) << clip.left << "," << clip.top;
    }
}

} // namespace

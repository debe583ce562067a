// DrawTextW with real fonts: measuring (DT_CALCRECT), the return value, background modes and
// clipping, on device contexts over plain buffers.
#include "support/Gfx.h"

#include "ddraw/PixelView.h"

#include <tuple>

using namespace gfxtest;

namespace {

constexpr std::uint16_t white = 0xFFFF;

class DrawTextTest : public ::testing::Test {
protected:
    platform::ScopedTestDevice device{480, 640, 192};
    HFONT font = makeFont(-24);
    void TearDown() override { DeleteObject(font); }

    // `text` drawn in `box` on a white 300 x 120 buffer.
    Pixels drawn(const wchar_t* text, RECT box, UINT format) {
        BufferCanvas canvas(300, 120, white, font);
        DrawTextW(canvas.dc, text, -1, &box, format);
        return canvas.pixels;
    }
};

TEST_F(DrawTextTest, MeasuringDrawsNothingAndGivesOneLineHeightPerLineOrOnePixelWhenEmpty) {
    BufferCanvas canvas(200, 200, white, font), drawnOn(200, 200, white, font);
    const RECT word = measure(canvas.dc, L"wake", DT_SINGLELINE, {5, 7, 1000, 8});
    EXPECT_EQ(std::tuple(word.left, word.top), std::tuple(5, 7));
    const int lineHeight = word.bottom - 7;
    const LONG wordWidth = word.right - 5;
    EXPECT_GE(lineHeight, 26); // a 24-pixel character height has a taller cell
    EXPECT_LE(lineHeight, 32);
    EXPECT_GT(wordWidth, 40);
    const std::tuple<const wchar_t*, UINT, LONG, int> cases[] = {
        {L"wake wake wake", DT_WORDBREAK, wordWidth + 2, 3},
        {L"a\r\nb", DT_WORDBREAK, 200, 2},
        {L"a\n\nb", DT_WORDBREAK, 200, 3},
        {L"a\r\nb", DT_SINGLELINE, 200, 1}};
    for (const auto& [text, format, width, lines] : cases) {
        RECT calc{0, 0, width, 1}, box{0, 0, width, 200};
        EXPECT_EQ(DrawTextW(canvas.dc, text, -1, &calc, format | DT_CALCRECT), lines * lineHeight)
            << ::testing::PrintToString(text);
        EXPECT_EQ(calc.bottom, lines * lineHeight);
        EXPECT_EQ(canvas.ink(white).right, 0) << "DT_CALCRECT drew something";
        EXPECT_EQ(DrawTextW(drawnOn.dc, text, -1, &box, format), lines * lineHeight)
            << "drawing returns the height too";
    }
    // The measured width is the widest line's, even when one word is wider than asked; a control
    // character takes no room, a space does.
    EXPECT_EQ(
        measure(canvas.dc, L"wake wake wake", DT_WORDBREAK, {300, 0, 302 + wordWidth, 1}).right,
        300 + wordWidth);
    const RECT alone = measure(canvas.dc, L"Wake-on-LAN", DT_SINGLELINE);
    const RECT broken = measure(canvas.dc, L"Wake-on-LAN", DT_WORDBREAK, {0, 0, 20, 1});
    EXPECT_GT(broken.right, 20);
    EXPECT_EQ(std::tuple(broken.right, broken.bottom), std::tuple(alone.right, alone.bottom));
    EXPECT_EQ(measure(canvas.dc, L"Wake-on\x01-LAN", DT_SINGLELINE).right, alone.right);
    EXPECT_GT(measure(canvas.dc, L"Wake-on -LAN", DT_SINGLELINE).right, alone.right);
    // The font's kerning draws A and V closer: seven kerned pairs here, one there.
    EXPECT_LT(measure(canvas.dc, L"AVAVAVAV", DT_SINGLELINE).right + 4,
              measure(canvas.dc, L"AAAAVVVV", DT_SINGLELINE).right);

    // Empty text measures nothing when word breaking (though the answer is 1) and one line in
    // a single line.
    RECT multi{3, 4, 100, 50}, single{3, 4, 100, 50};
    EXPECT_EQ(DrawTextW(canvas.dc, L"", -1, &multi, DT_CALCRECT | DT_WORDBREAK), 1);
    EXPECT_EQ(std::tuple(multi.right, multi.bottom), std::tuple(3, 4));
    EXPECT_EQ(DrawTextW(canvas.dc, nullptr, 0, &single, DT_CALCRECT | DT_SINGLELINE), lineHeight);
    EXPECT_EQ(std::tuple(single.right, single.bottom), std::tuple(3, 4 + lineHeight));
}

TEST_F(DrawTextTest, TransparentTextIsClippedToItsRectangleAndBadArgumentsDrawNothing) {
    BufferCanvas canvas(200, 60, white, font), clipped(200, 60, white, font);
    EXPECT_EQ(SetBkMode(canvas.dc, TRANSPARENT), OPAQUE); // a fresh context is opaque
    EXPECT_EQ(std::tuple(SetBkMode(canvas.dc, TRANSPARENT + OPAQUE), SetBkMode(nullptr, OPAQUE),
                         SetTextColor(nullptr, 0)),
              std::tuple(0, 0, CLR_INVALID));
    const RECT size = measure(canvas.dc, L"ab", DT_SINGLELINE);
    RECT box{10, 5, 200, 60}, narrow{0, 0, 15, 60}, r{0, 0, 10, 10};
    DrawTextW(canvas.dc, L"ab", -1, &box, DT_SINGLELINE);
    EXPECT_EQ(canvas.at(10, 5), white);
    EXPECT_NEAR(canvas.ink(white).right, 10 + size.right, 2) << "each glyph at its pen position";
    // Drawn further right and down, each line is the same pixels, moved.
    BufferCanvas moved(200, 90, white, font);
    SetBkMode(moved.dc, TRANSPARENT);
    RECT further{37, 21, 200, 90};
    DrawTextW(moved.dc, L"ab\nab", -1, &further, 0);
    const RECT ink = canvas.ink(white);
    for (LONG down : {LONG{16}, 16 + size.bottom})
        for (LONG y = ink.top; y < ink.bottom; ++y)
            for (LONG x = ink.left; x < ink.right; ++x)
                ASSERT_EQ(moved.at(x + 27, y + down), canvas.at(x, y)) << x << "," << y;
    DrawTextW(clipped.dc, L"WWWW", -1, &narrow, DT_SINGLELINE);
    EXPECT_LE(clipped.ink(white).right, 15);
    DrawTextW(clipped.dc, L"WWWW", -1, &narrow, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_GT(clipped.ink(white).right, 15);

    EXPECT_EQ(DrawTextW(canvas.dc, L"x", -2, &r, 0), 0) << "-1 is the only length not given";
    EXPECT_EQ(DrawTextW(canvas.dc, nullptr, 1, &r, 0), 0);

    // Opaque, the line's box is filled in the background colour (white), and nothing beside it;
    // right and bottom alignment put it against those edges.
    const std::tuple<UINT, LONG, LONG> placements[] = {
        {DT_SINGLELINE, 10, 5},
        {DT_SINGLELINE | DT_CENTER | DT_VCENTER, (210 - size.right) / 2,
         5 + 55 / 2 - size.bottom / 2},
        {DT_SINGLELINE | DT_RIGHT | DT_BOTTOM, 200 - size.right, 60 - size.bottom}};
    for (const auto& [format, left, top] : placements) {
        BufferCanvas opaque(200, 60, 0x0000, font);
        DrawTextW(opaque.dc, L"ab", -1, &box, format);
        const RECT filled = opaque.ink(0x0000);
        EXPECT_EQ(std::tuple(filled.left, filled.top, filled.right, filled.bottom),
                  std::tuple(left, top, left + size.right, top + size.bottom));
    }
}

} // namespace

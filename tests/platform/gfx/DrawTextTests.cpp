// DrawTextW with real fonts: measuring (DT_CALCRECT), the return value, alignment, colours and
// background modes, on device contexts over plain buffers.
#include "GfxTestSupport.h"

#include "ddraw/PixelView.h"

using namespace gfxtest;

namespace {

constexpr std::uint16_t white = 0xFFFF;

HFONT makeFont(LONG height, const wchar_t* face = L"DejaVu Sans", LONG weight = FW_NORMAL,
               BYTE italic = 0) {
    LOGFONTW description{};
    description.lfHeight = height;
    description.lfWeight = weight;
    description.lfItalic = italic;
    std::wcsncpy(description.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectW(&description);
}

class DrawTextTest : public ::testing::Test {
protected:
    platform::ScopedTestDevice device{480, 640, 192};
    HFONT font = makeFont(-24);
    void TearDown() override { DeleteObject(font); }

    RECT measure(HDC dc, const wchar_t* text, UINT format, RECT start = {0, 0, 1000, 1}) {
        DrawTextW(dc, text, -1, &start, format | DT_CALCRECT);
        return start;
    }
};

TEST_F(DrawTextTest, CalcRectMeasuresWithoutDrawingAndReturnsTheHeight) {
    BufferCanvas canvas(300, 100, white);
    SelectObject(canvas.dc, font);
    RECT r{5, 7, 1000, 8};
    const int height = DrawTextW(canvas.dc, L"Hello", -1, &r, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 7);
    EXPECT_GT(r.right - r.left, 40);
    EXPECT_GE(height, 26); // a 24-pixel character height has a taller cell
    EXPECT_LE(height, 32);
    EXPECT_EQ(r.bottom - r.top, height);
    EXPECT_EQ(canvas.ink(white).right, 0) << "DT_CALCRECT drew something";
}

TEST_F(DrawTextTest, WordBreakingGivesOneLineHeightPerLineAndTheWidestLine) {
    BufferCanvas canvas(10, 10, white);
    SelectObject(canvas.dc, font);
    const RECT word = measure(canvas.dc, L"wake", DT_SINGLELINE);
    const int lineHeight = word.bottom;
    const int wordWidth = word.right;
    RECT r{0, 0, wordWidth + 2, 1};
    const int height = DrawTextW(canvas.dc, L"wake wake wake", -1, &r, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(height, 3 * lineHeight);
    EXPECT_EQ(r.bottom, 3 * lineHeight);
    EXPECT_EQ(r.right, wordWidth);
}

TEST_F(DrawTextTest, ALongWordMakesTheCalculatedRectangleWiderThanAsked) {
    BufferCanvas canvas(10, 10, white);
    SelectObject(canvas.dc, font);
    const RECT alone = measure(canvas.dc, L"Wake-on-LAN", DT_SINGLELINE);
    RECT r{0, 0, 20, 1};
    DrawTextW(canvas.dc, L"Wake-on-LAN", -1, &r, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(r.right, alone.right);
    EXPECT_GT(r.right, 20);
    EXPECT_EQ(r.bottom, alone.bottom);
}

TEST_F(DrawTextTest, LineBreaksCountAsTheyDoOnThePlatform) {
    BufferCanvas canvas(10, 10, white);
    SelectObject(canvas.dc, font);
    const int lineHeight = measure(canvas.dc, L"x", DT_SINGLELINE).bottom;
    EXPECT_EQ(measure(canvas.dc, L"a\r\nb", DT_WORDBREAK).bottom, 2 * lineHeight);
    EXPECT_EQ(measure(canvas.dc, L"a\n\nb", DT_WORDBREAK).bottom, 3 * lineHeight);
    EXPECT_EQ(measure(canvas.dc, L"a\r\nb", DT_SINGLELINE).bottom, lineHeight);
}

TEST_F(DrawTextTest, EmptyTextMeasuresAccordingToTheLineMode) {
    BufferCanvas canvas(10, 10, white);
    SelectObject(canvas.dc, font);
    const int lineHeight = measure(canvas.dc, L"x", DT_SINGLELINE).bottom;
    RECT multi{3, 4, 100, 50};
    EXPECT_EQ(DrawTextW(canvas.dc, L"", -1, &multi, DT_CALCRECT | DT_WORDBREAK), 1);
    EXPECT_EQ(multi.right, 3);
    EXPECT_EQ(multi.bottom, 4);
    RECT single{3, 4, 100, 50};
    EXPECT_EQ(DrawTextW(canvas.dc, L"", 0, &single, DT_CALCRECT | DT_SINGLELINE), lineHeight);
    EXPECT_EQ(single.right, 3);
    EXPECT_EQ(single.bottom, 4 + lineHeight);
}

TEST_F(DrawTextTest, CenteredTextLandsWhereTheAlignmentFormulasPutIt) {
    BufferCanvas centred(240, 120, white);
    SelectObject(centred.dc, font);
    const RECT size = measure(centred.dc, L"Dawnbell", DT_SINGLELINE);
    RECT box{0, 0, 240, 120};
    DrawTextW(centred.dc, L"Dawnbell", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);

    BufferCanvas placed(240, 120, white);
    SelectObject(placed.dc, font);
    const LONG x = (0 + 240 - size.right) / 2;
    const LONG y = 0 + (120 - 0) / 2 - size.bottom / 2;
    RECT at{x, y, 240, 120};
    DrawTextW(placed.dc, L"Dawnbell", -1, &at, DT_LEFT | DT_TOP | DT_SINGLELINE);
    ASSERT_NE(placed.ink(white).right, 0);
    EXPECT_EQ(centred.pixels, placed.pixels);
}

TEST_F(DrawTextTest, EachLineIsCenteredOnItsOwnWidth) {
    BufferCanvas canvas(300, 200, white);
    SelectObject(canvas.dc, font);
    const RECT wide = measure(canvas.dc, L"WWWWWW", DT_SINGLELINE);
    RECT box{0, 0, 300, 200};
    DrawTextW(canvas.dc, L"WWWWWW\ni", -1, &box, DT_CENTER | DT_WORDBREAK);
    BufferCanvas firstLine(300, 200, white);
    SelectObject(firstLine.dc, font);
    RECT top{(300 - wide.right) / 2, 0, 300, 200};
    DrawTextW(firstLine.dc, L"WWWWWW", -1, &top, 0);
    for (int y = 0; y < wide.bottom; ++y) {
        for (int x = 0; x < 300; ++x) {
            ASSERT_EQ(canvas.at(x, y), firstLine.at(x, y)) << x << "," << y;
        }
    }
    const RECT secondInk = [&] {
        RECT r{300, 200, 0, 0};
        for (int y = wide.bottom; y < 200; ++y) {
            for (int x = 0; x < 300; ++x) {
                if (canvas.at(x, y) != white) {
                    r.left = std::min<LONG>(r.left, x);
                    r.right = std::max<LONG>(r.right, x + 1);
                }
            }
        }
        return r;
    }();
    EXPECT_NEAR((secondInk.left + secondInk.right) / 2, 150, 3);
}

TEST_F(DrawTextTest, DrawingReturnsTheTextHeight) {
    BufferCanvas canvas(200, 200, white);
    SelectObject(canvas.dc, font);
    const int lineHeight = measure(canvas.dc, L"x", DT_SINGLELINE).bottom;
    RECT box{0, 0, 200, 200};
    EXPECT_EQ(DrawTextW(canvas.dc, L"one\ntwo", -1, &box, DT_WORDBREAK), 2 * lineHeight);
}

TEST_F(DrawTextTest, FullyCoveredPixelsTakeTheExactTextColour) {
    BufferCanvas canvas(100, 100, white);
    HFONT big = makeFont(-60);
    SelectObject(canvas.dc, big);
    SetTextColor(canvas.dc, RGB(200, 16, 40));
    SetBkMode(canvas.dc, TRANSPARENT);
    RECT box{0, 0, 100, 100};
    DrawTextW(canvas.dc, L"I", -1, &box, DT_SINGLELINE);
    const std::uint16_t red = platform::gfx::pack565(200, 16, 40);
    int exact = 0;
    int between = 0;
    for (std::uint16_t p : canvas.pixels) {
        exact += p == red;
        between += p != red && p != white;
    }
    EXPECT_GT(exact, 50);  // the stem of the I
    EXPECT_GT(between, 0); // anti-aliased edges
    DeleteObject(big);
}

TEST_F(DrawTextTest, OpaqueModeFillsTheLineBoxWithTheBackgroundColour) {
    BufferCanvas canvas(200, 60, white);
    SelectObject(canvas.dc, font);
    const RECT size = measure(canvas.dc, L"ab", DT_SINGLELINE);
    SetBkColor(canvas.dc, RGB(0, 0, 255));
    EXPECT_EQ(SetBkMode(canvas.dc, OPAQUE), OPAQUE); // a fresh context is opaque
    RECT box{10, 5, 200, 60};
    DrawTextW(canvas.dc, L"ab", -1, &box, DT_SINGLELINE);
    EXPECT_EQ(canvas.at(10, 5), 0x001F);
    EXPECT_EQ(canvas.at(10 + size.right - 1, 5 + size.bottom - 1), 0x001F);
    EXPECT_EQ(canvas.at(10 + size.right, 5), white);
    EXPECT_EQ(canvas.at(10, 5 + size.bottom), white);

    BufferCanvas clear(200, 60, white);
    SelectObject(clear.dc, font);
    EXPECT_EQ(SetBkMode(clear.dc, TRANSPARENT), OPAQUE);
    DrawTextW(clear.dc, L"ab", -1, &box, DT_SINGLELINE);
    EXPECT_EQ(clear.at(10, 5), white);
}

TEST_F(DrawTextTest, DrawingIsClippedToTheRectangle) {
    BufferCanvas canvas(200, 60, white);
    SelectObject(canvas.dc, font);
    RECT box{0, 0, 15, 60};
    DrawTextW(canvas.dc, L"WWWW", -1, &box, DT_SINGLELINE);
    EXPECT_LE(canvas.ink(white).right, 15);
    RECT unclipped{0, 0, 15, 60};
    DrawTextW(canvas.dc, L"WWWW", -1, &unclipped, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_GT(canvas.ink(white).right, 15);
}

TEST_F(DrawTextTest, BadHandlesAndArgumentsDrawNothing) {
    RECT r{0, 0, 10, 10};
    EXPECT_EQ(DrawTextW(nullptr, L"x", -1, &r, 0), 0);
    BufferCanvas canvas(10, 10, white);
    EXPECT_EQ(DrawTextW(canvas.dc, L"x", -1, nullptr, 0), 0);
    EXPECT_EQ(DrawTextW(canvas.dc, nullptr, 3, &r, 0), 0);
    EXPECT_EQ(SetTextColor(nullptr, 0), CLR_INVALID);
    EXPECT_EQ(SetBkMode(canvas.dc, 3), 0);
}

} // namespace

// MyLabel: the shared fonts, measuring and wrapping, growing but never shrinking, and rendering
// only when needed.
#include "support/Toolkit.h"

using namespace toolkit_test;

namespace {

class MyLabelTest : public ::testing::Test {
protected:
    ToolkitDevice device;
    OpenFrame frame;

    void SetUp() override { createBackBuffer(); }
};

TEST(MyLabelFonts, TheFirstLabelMakesTheThreeFontsOnceWithHeightsTruncatedAtTheResolution) {
    // Dots per inch, then the heights of the 10-point and the 9-point fonts.
    const std::tuple<int, LONG, LONG> resolutions[] = {
        {96, -13, -12}, {100, -13, -12}, {192, -26, -24}};
    for (const auto& [dpi, large, normal] : resolutions) {
        ToolkitDevice device(480, 640, dpi);
        OpenFrame frame;
        MyLabel first(-1, 0, 0, L"a", labelFontLarge, 0, true);
        const std::vector<HFONT> made{fontLarge, fontNormal, fontItalic};
        MyLabel italic(-1, 0, 0, L"b", labelFontItalic, 0, true);
        MyLabel other(-1, 0, 0, L"c", 7, 0, true);
        EXPECT_EQ(std::vector<HFONT>({fontLarge, fontNormal, fontItalic}), made);
        EXPECT_EQ(std::vector<HFONT>({first.font, other.font, italic.font}), made);
        const std::tuple<LONG, BYTE> expected[] = {{large, 0}, {normal, 0}, {normal, 1}};
        for (size_t i = 0; i < made.size(); ++i) {
            LOGFONTW font{};
            ASSERT_EQ(GetObjectW(made[i], sizeof font, &font), static_cast<int>(sizeof font));
            EXPECT_EQ(std::make_tuple(font.lfHeight, font.lfItalic), expected[i]) << dpi;
            EXPECT_EQ(std::wstring(font.lfFaceName), L"HelveticaNeueOTS.ttf");
            EXPECT_EQ(std::vector<int>({font.lfQuality, font.lfOutPrecision, font.lfPitchAndFamily,
                                        font.lfCharSet}),
                      std::vector<int>({5, 6, 0x12, 1}));
        }
    }
}

// Made before the display exists, a label has no font yet; it takes its own once it is measured
// on the display.
TEST(MyLabelFonts, ALabelMadeBeforeTheDisplayTakesItsFontWhenMeasuredOnIt) {
    ToolkitDevice device;
    MyLabel early(-1, 0, 0, L"a", labelFontItalic, 0, true);
    EXPECT_EQ(early.font, nullptr);
    OpenFrame frame;
    early.loadSurf();
    EXPECT_NE(early.font, nullptr);
    EXPECT_EQ(early.font, fontItalic);
}

TEST(MyLabelMeasure, ATextOf3By12GetsTextRect8By12ASurfaceOf16By16AndALabelAsLargeAsItsText) {
    ToolkitDevice device(480, 640, 78); // where a full stop in 9 points is 3 x 12
    OpenFrame frame;
    createBackBuffer();
    MyLabel label(-1, 10, 20, L".", labelFontNormal, 0, true);
    EXPECT_EQ(edges(label.textRect), edges(RECT{0, 0, 8, 12}));
    const Pixels surface = surfacePixels(label.surface);
    EXPECT_EQ(std::make_pair(surface.width, surface.height), std::make_pair(16, 16));
    EXPECT_EQ(bounds(label), edges(RECT{10, 20, 18, 32}));
}

TEST_F(MyLabelTest, TextWrapsWithinTheViewRightOfTheLabelAndAnUnbrokenWordGrowsIt) {
    const LONG lineHeight = MyLabel(-1, 0, 0, L"Line", labelFontNormal, 0, true).textRect.bottom;
    MyLabel wrapped(-1, 200, 0,
                    L"Wake the computer over the network from a touch screen, then wait",
                    labelFontNormal, 0, true);
    EXPECT_LE(wrapped.textRect.right, viewRect.right - 200 + 5);
    EXPECT_GE(wrapped.textRect.bottom, 2 * lineHeight);
    MyLabel longWord(-1, 200, 0, std::wstring(40, L'W'), labelFontNormal, 0, true);
    EXPECT_GT(longWord.textRect.right, viewRect.right); // not broken, and the label grows
    EXPECT_EQ(longWord.textRect.bottom, lineHeight);
    EXPECT_EQ(longWord.right - longWord.left, longWord.textRect.right);
}

// A clickable label placed on the screen is pressed by a touch on it, its place then as wide as
// it is, and its tap tells the program which label it was.
TEST_F(MyLabelTest, AClickableLabelIsPressedByATouchAndItsTapTellsTheProgram) {
    MyLabel label(-1, 10, 10, L"Port", labelFontNormal, 0, true);
    label.clickable = 1;
    label.screenRect = RECT{50, clientRect.top + 100, 50, clientRect.top + 100};
    ASSERT_EQ(label.hitTest(52, 102), &label);
    EXPECT_EQ(label.screenRect.right, 50 + label.right - label.left);
    EXPECT_EQ(label.state, MyLabel::labelUntouched) << "never put in a tap state: it stays out";
    label.state = MyLabel::labelNormal;
    label.hitTest(52, 102);
    EXPECT_EQ(label.state, MyLabel::labelPressed);
    label.onClick();
    EXPECT_EQ(label.state, MyLabel::labelTapped);
    bool told = false;
    for (MSG msg{}; PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE);)
        told = told || (msg.wParam == widgetTapped && msg.lParam == LPARAM(&label));
    EXPECT_TRUE(told);
}

class ResizeRecorder : public TestBlock {
public:
    using TestBlock::TestBlock;
    void childResized(Element* child, int width, int height) override {
        resized.emplace_back(child, width, height);
    }
    std::vector<std::tuple<Element*, int, int>> resized;
};

TEST_F(MyLabelTest, SetTextNeverShrinksTheLabelButTellsItsParentTheNewSize) {
    MyLabel label(-1, 10, 10, L"Connecting to the Internet", labelFontNormal, 0, true);
    const RECT grown{label.left, label.top, label.right, label.bottom};
    ResizeRecorder parent(1);
    label.parent = &parent;
    label.setText(L"Done", false);
    EXPECT_EQ(bounds(label), edges(grown));
    EXPECT_LT(label.textRect.right, grown.right - grown.left);
    EXPECT_EQ(parent.resized, (std::vector<std::tuple<Element*, int, int>>{
                                  {&label, label.textRect.right, label.textRect.bottom}}));
}

TEST_F(MyLabelTest, RendersOnlyWhenItsTextItsColourOrItsKeyChanges) {
    MyLabel label(-1, 20, 100, L"Status", labelFontNormal, RGB(0, 0, 200), true);
    dirtyRect = viewRect;
    // What happens before each paint, whether that draws the text, and whether the paint does.
    const std::tuple<std::function<void()>, bool, bool> steps[] = {
        {[] {}, false, true},
        {[] {}, false, false}, // the same colour: only copied
        // Drawn over another key, then over the label's own again.
        {[&] { label.paint(primarySurface, 0, 0, RGB(0, 0, 200), 0x1234); }, true, true},
        {[&] { label.textColour = RGB(0, 150, 0); }, false, true},
        {[&] { label.setText(L"Status", false); }, true, true}, // a new surface
        {[] {}, false, false},
    };
    for (const auto& [before, beforeRenders, paintRenders] : steps) {
        markLabelSurface(label);
        before();
        EXPECT_EQ(labelRenderedSinceMark(label), beforeRenders);
        markLabelSurface(label);
        label.paint(primarySurface, 0, viewRect.top);
        EXPECT_EQ(labelRenderedSinceMark(label), paintRenders);
    }
    // Its glyphs in its colour (green now), not in a device context's default black.
    const Pixels shown = screenPixels(label.screenRect);
    EXPECT_TRUE(std::any_of(shown.data.begin(), shown.data.end(), [](std::uint16_t p) {
        return p >> 11 == 0 && ((p >> 5) & 0x3F) >= 30 && (p & 0x1F) == 0;
    }));
    label.clickable = 1; // once painted, a clickable label takes a tap on it
    const LONG row = label.screenRect.top - clientRect.top;
    EXPECT_EQ(label.hitTest(label.screenRect.left + 1, row), &label);
    EXPECT_EQ(label.selected, 1);
    EXPECT_EQ(label.hitTest(label.screenRect.right + tunables::hitMarginSidePx, row), nullptr);
}

} // namespace

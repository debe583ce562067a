// MyLabel: the shared fonts, measuring and wrapping, growing but never shrinking, rendering only
// when needed, painting clipped to the dirty band with the key colour left out, taps and their
// states, labels built before the display, and the turn of the screen.
#include "ToolkitTestSupport.h"

using namespace toolkit_test;

namespace {

constexpr std::uint16_t kBackdrop = 0x07E0; // pure green: no label here draws it

class MyLabelTest : public ::testing::Test {
protected:
    ToolkitDevice device;
    OpenFrame frame;

    void SetUp() override { createBackBuffer(); }

    // The label painted at the top-left of the view over a backdrop, with the whole view dirty
    // unless the test set another band.
    static RECT paintOverBackdrop(MyLabel& label, const RECT& band = viewRect) {
        fillScreen(kBackdrop);
        dirtyRect = band;
        label.paint(primarySurface, viewRect.left, viewRect.top);
        const LONG x = viewRect.left + label.left;
        const LONG y = viewRect.top + label.top;
        return RECT{x, y, x + label.textRect.right, y + label.textRect.bottom};
    }
};

int pixelsOtherThan(std::uint16_t colour) {
    const Pixels screen = screenPixels(RECT{0, 0, 480, 640});
    return static_cast<int>(std::count_if(screen.data.begin(), screen.data.end(),
                                          [colour](std::uint16_t p) { return p != colour; }));
}

// From `firstRow` of the label down, the screen shows the surface's glyph pixels and the backdrop
// wherever the surface holds the key; nothing else on the screen changed.
void expectOnlyGlyphsCopied(const MyLabel& label, const RECT& place, LONG firstRow) {
    const Pixels text = surfacePixels(label.surface);
    const Pixels shown = screenPixels(place);
    int glyphPixels = 0;
    for (LONG y = 0; y < shown.height; ++y) {
        for (LONG x = 0; x < shown.width; ++x) {
            const std::uint16_t drawn = text.at(x, y);
            const bool glyph = y >= firstRow && drawn != label.keyColour.dwColorSpaceLowValue;
            glyphPixels += glyph ? 1 : 0;
            ASSERT_EQ(shown.at(x, y), glyph ? drawn : kBackdrop) << x << "," << y;
        }
    }
    EXPECT_GT(glyphPixels, 20);
    EXPECT_EQ(pixelsOtherThan(kBackdrop), glyphPixels);
}

TEST(MyLabelFonts, TheFirstLabelMakesTheThreeFontsOnceWithHeightsTruncatedAtTheResolution) {
    // Dots per inch, then the heights of the 10-point and the 9-point fonts.
    const std::tuple<int, LONG, LONG> resolutions[] = {
        {96, -13, -12}, {100, -13, -12}, {192, -26, -24}};
    for (const auto& [dpi, large, normal] : resolutions) {
        ToolkitDevice device(480, 640, dpi);
        OpenFrame frame;
        ASSERT_EQ(fontNormal, nullptr);
        MyLabel first(-1, 0, 0, L"a", labelFontLarge, 0, true);
        const std::array<HFONT, 3> made{fontLarge, fontNormal, fontItalic};
        MyLabel italic(-1, 0, 0, L"b", labelFontItalic, 0, true);
        MyLabel other(-1, 0, 0, L"c", 7, 0, true);
        EXPECT_EQ((std::array<HFONT, 3>{fontLarge, fontNormal, fontItalic}), made);
        EXPECT_EQ(std::vector<HFONT>({first.font, italic.font, other.font}),
                  std::vector<HFONT>({fontLarge, fontItalic, fontNormal}));
        // Each font: its height and whether it is italic.
        const std::tuple<HFONT, LONG, BYTE> fonts[] = {
            {fontLarge, large, 0}, {fontNormal, normal, 0}, {fontItalic, normal, 1}};
        for (const auto& [font, height, isItalic] : fonts) {
            LOGFONTW description{};
            ASSERT_EQ(GetObjectW(font, sizeof description, &description),
                      static_cast<int>(sizeof description));
            EXPECT_EQ(description.lfHeight, height) << dpi;
            EXPECT_EQ(description.lfItalic, isItalic);
            EXPECT_EQ(std::wstring(description.lfFaceName), L"HelveticaNeueOTS.ttf");
            EXPECT_EQ(std::vector<int>({description.lfQuality, description.lfOutPrecision,
                                        description.lfPitchAndFamily, description.lfCharSet}),
                      std::vector<int>({5, 6, 0x12, 1}));
        }
    }
}

TEST(MyLabelMeasure, ATextOf3By12GetsTextRect8By12ASurfaceOf16By16AndALabelAsLargeAsItsText) {
    ToolkitDevice device(480, 640, 78); // where a full stop in 9 points is 3 x 12
    OpenFrame frame;
    createBackBuffer();
    MyLabel label(-1, 10, 20, L".", labelFontNormal, 0, true);
    EXPECT_EQ(edges(label.textRect), edges(RECT{0, 0, 8, 12}));
    const SurfaceShot surface = inspect(label.surface);
    EXPECT_EQ(std::make_pair(surface.width, surface.height), std::make_pair(16, 16));
    EXPECT_EQ(edges(RECT{label.left, label.top, label.right, label.bottom}),
              edges(RECT{10, 20, 18, 32}));
}

TEST_F(MyLabelTest, TextWrapsWithinTheViewRightOfTheLabelAndAnUnbrokenWordGrowsIt) {
    const LONG lineHeight = MyLabel(-1, 0, 0, L"Line", labelFontNormal, 0, true).textRect.bottom;
    const std::wstring words = L"Wake the computer over the network from a touch screen, then wait";
    MyLabel wrapped(-1, 200, 0, words, labelFontNormal, 0, true);
    EXPECT_LE(wrapped.textRect.right, viewRect.right - 200 + 5);
    EXPECT_GE(wrapped.textRect.bottom, 2 * lineHeight);
    EXPECT_EQ(wrapped.bottom - wrapped.top, wrapped.textRect.bottom);

    MyLabel longWord(-1, 200, 0, std::wstring(40, L'W'), labelFontNormal, 0, true);
    EXPECT_GT(longWord.textRect.right, viewRect.right); // not broken ...
    EXPECT_EQ(longWord.textRect.bottom, lineHeight);
    EXPECT_EQ(longWord.right - longWord.left, longWord.textRect.right); // ... and the label grows
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
    EXPECT_EQ(edges(RECT{label.left, label.top, label.right, label.bottom}), edges(grown));
    EXPECT_LT(label.textRect.right, grown.right - grown.left);
    ASSERT_EQ(parent.resized.size(), 1u);
    EXPECT_EQ(parent.resized[0], std::make_tuple(static_cast<Element*>(&label),
                                                 label.textRect.right, label.textRect.bottom));
    label.setText(L"Done\nand a second line", false);
    EXPECT_EQ(label.bottom - label.top, label.textRect.bottom);
    EXPECT_GT(label.bottom, grown.bottom);
}

TEST_F(MyLabelTest, RendersOnlyWhenItsTextItsColourOrItsKeyChanges) {
    MyLabel label(-1, 20, 100, L"Status", labelFontNormal, RGB(0, 0, 200), true);
    dirtyRect = viewRect;
    // What happens before each paint, then the renders counted after it.
    const std::pair<std::function<void()>, unsigned> steps[] = {
        {[] {}, 1},
        {[] {}, 1}, // the same colour: only copied
        // Drawn over another key, then over the label's own again.
        {[&] { label.paint(primarySurface, 0, 0, RGB(0, 0, 200), 0x1234); }, 3},
        {[&] { label.textColour = RGB(0, 150, 0); }, 4},
        {[&] { label.setText(L"Status", false); }, 5},
        {[] {}, 5},
    };
    for (const auto& [before, renders] : steps) {
        before();
        label.paint(primarySurface, 0, viewRect.top);
        EXPECT_EQ(label.renderCount, renders);
    }
}

TEST_F(MyLabelTest, ALabelOutsideTheDirtyBandIsNeitherRenderedNorCopied) {
    MyLabel label(-1, 20, 300, L"Far below", labelFontNormal, 0, true);
    const LONG labelTop = viewRect.top + 300;
    for (const RECT& band :
         {RECT{0, viewRect.top, 480, labelTop}, RECT{0, labelTop + label.textRect.bottom, 480, 640},
          RECT{20 + label.textRect.right, labelTop, 480, 640}}) {
        paintOverBackdrop(label, band);
        EXPECT_EQ(label.renderCount, 0u);
        EXPECT_EQ(pixelsOtherThan(kBackdrop), 0);
    }
}

TEST_F(MyLabelTest, OnABackdropOnlyGlyphPixelsChangeAndTheKeyNeverReachesTheScreen) {
    MyLabel label(-1, 30, 40, L"Magic packet sent", labelFontLarge, RGB(0, 0, 0), true);
    const RECT place = paintOverBackdrop(label);
    expectOnlyGlyphsCopied(label, place, 0);
}

TEST_F(MyLabelTest, ALabelHalfAboveTheDirtyBandIsDrawnFromTheHiddenHeightDown) {
    MyLabel label(-1, 20, 100, L"Half hidden", labelFontLarge, RGB(40, 0, 0), true);
    const LONG hidden = label.textRect.bottom / 2;
    const LONG labelTop = viewRect.top + 100;
    const RECT place = paintOverBackdrop(label, RECT{0, labelTop + hidden, 480, 640});
    EXPECT_EQ(edges(label.srcRect),
              edges(RECT{0, hidden, label.textRect.right, label.textRect.bottom}));
    expectOnlyGlyphsCopied(label, place, hidden);
}

TEST_F(MyLabelTest, AClickableLabelIsHitFourPixelsBesideAndNineAboveButNotBelow) {
    MyLabel label(-1, 100, 200, L"Tap me", labelFontNormal, 0, true);
    paintOverBackdrop(label);
    EXPECT_EQ(label.hitTest(100, 200), nullptr); // not clickable
    label.clickable = 1;
    paintOverBackdrop(label);
    const int x = 100;
    const int y = static_cast<int>(viewRect.top - clientRect.top) + 200;
    const int w = label.right - label.left;
    const int h = label.bottom - label.top;
    // Offsets from the label's top-left corner, and whether they hit.
    const std::tuple<int, int, bool> points[] = {
        {-4, 0, true}, {-5, 0, false},  {w + 4, 0, true}, {w + 5, 0, false},
        {0, -9, true}, {0, -10, false}, {0, h - 1, true}, {0, h, false},
    };
    for (const auto& [dx, dy, hits] : points) {
        EXPECT_EQ(label.hitTest(x + dx, y + dy), hits ? &label : nullptr) << dx << "," << dy;
    }
}

TEST_F(MyLabelTest, TapsMoveAStateTheOwnerSetThroughPressedAndTappedAndNotifyEveryTime) {
    MyLabel label(-1, 100, 200, L"Tap me", labelFontNormal, 0, true);
    label.clickable = 1;
    paintOverBackdrop(label);
    const int x = 110;
    const int y = static_cast<int>(viewRect.top - clientRect.top) + 205;
    EXPECT_EQ(label.hitTest(x, y), &label);
    EXPECT_EQ(label.selected, 1);
    EXPECT_EQ(label.state, MyLabel::labelUntouched); // no state set: none entered
    label.onClick();
    EXPECT_EQ(label.state, MyLabel::labelUntouched);

    label.state = MyLabel::labelNormal;
    label.hitTest(x, y);
    EXPECT_EQ(label.state, MyLabel::labelPressed);
    paintOverBackdrop(label);
    EXPECT_EQ(std::make_pair(label.lastColour, label.keyColour.dwColorSpaceLowValue),
              (std::pair<COLORREF, DWORD>(0xC4C4C4, 0x3186)));
    label.onClick();
    EXPECT_EQ(label.state, MyLabel::labelTapped);
    label.unselect();
    EXPECT_EQ(label.state, MyLabel::labelNormal);
    EXPECT_EQ(label.selected, 1);
    paintOverBackdrop(label);
    EXPECT_EQ(std::make_pair(label.lastColour, label.keyColour.dwColorSpaceLowValue),
              (std::pair<COLORREF, DWORD>(0x050505, 0xFFFF)));

    int notifications = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE)) {
        EXPECT_EQ(msg.wParam, 1u);
        EXPECT_EQ(msg.lParam, reinterpret_cast<LPARAM>(&label));
        ++notifications;
    }
    EXPECT_EQ(notifications, 2);
}

TEST(MyLabelBeforeTheDisplay, IsMeasuredInItsFontAndDrawnOnceTheDisplayExistsAgainOnTheBuffer) {
    ToolkitDevice device;
    MyLabel early(-1, 10, 10, L"Early text", labelFontLarge, 0, true);
    EXPECT_EQ(early.surface, nullptr);
    EXPECT_EQ(fontLarge, nullptr);
    OpenFrame frame; // the screen exists, backBuffer not yet
    fillScreen(kBackdrop);
    dirtyRect = viewRect;
    early.paint(primarySurface, 0, viewRect.top);
    ASSERT_NE(fontLarge, nullptr);
    EXPECT_EQ(early.font, fontLarge);
    MyLabel reference(-1, 10, 10, L"Early text", labelFontLarge, 0, true);
    EXPECT_GT(early.textRect.bottom, 0);
    EXPECT_EQ(edges(early.textRect), edges(reference.textRect));
    EXPECT_EQ(early.right - early.left, early.textRect.right);
    EXPECT_EQ(early.renderCount, 1u);
    EXPECT_GT(pixelsOtherThan(kBackdrop), 20); // the text is on the screen

    createBackBuffer();
    early.paint(primarySurface, 0, viewRect.top);
    EXPECT_EQ(early.renderCount, 2u); // measured again, on the buffer
    early.paint(primarySurface, 0, viewRect.top);
    EXPECT_EQ(early.renderCount, 2u);
    EXPECT_EQ(edges(early.textRect), edges(reference.textRect));
}

TEST_F(MyLabelTest, AFullWidthLabelSpansTheNewWidthAfterTheScreenTurns) {
    MyLabel full(-1, 0, 0, L"Full", labelFontNormal, 0, true);
    full.right = 480;
    MyLabel part(-1, 0, 0, L"Part", labelFontNormal, 0, true);
    const LONG partRight = part.right;
    platform::Device::instance().rotate();
    pumpMessages();
    EXPECT_EQ(full.right, 640);
    EXPECT_EQ(part.right, partRight);
}

} // namespace

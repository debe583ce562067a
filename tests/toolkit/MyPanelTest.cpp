// MyPanel: its rows and the heights they claim, inserting into a row, growth, the title bar with
// its caption, the dotted separators, painting clipped to the dirty band, and its own redraw.
#include "support/ContainerScreen.h"
#include "support/Toolkit.h"

using namespace toolkit_test;

namespace {

using PanelTest = SectionScreenTest;

TEST_F(PanelTest, AWidthBelowOneSpansTheViewAndTheTitleBarStandsAtTheTop) {
    MyPanel untitled(-1, 20, 10, 0, L"", 0, 0);
    EXPECT_EQ(bounds(untitled), edges(RECT{20, 10, 20 + 480, 10}));
    MyPanel titled(-1, 0, 6, 300, L"Title", 1, 0);
    EXPECT_EQ(titled.bottom, 6 + 48);
    EXPECT_EQ(edges(titled.titleRect), edges(RECT{0, 6, 300, 54}));
}

TEST_F(PanelTest, AppendedRowsClaimTheirBottomsPlusOnePixelEachWithSeparators) {
    // Title, separators, the height of two rows 40 and 30 tall.
    const std::tuple<BYTE, BYTE, int> cases[] = {
        {1, 0, 48 + 70}, {1, 1, 48 + 72}, {0, 0, 70}, {0, 1, 72}};
    for (const auto& [title, separators, height] : cases) {
        auto* panel = new MyPanel(-1, 0, 0, 480, L"", title, separators);
        const int sectionBefore = section->bottom;
        section->add(panel, -1, 99); // appended; the section grows as the panel fills
        panel->add(new TestBlock(-1, 10, 40), -1, -1);
        panel->add(new TestBlock(-1, 10, 30), -1, 1); // an index past the end appends a row
        EXPECT_EQ(panel->bottom, height) << int(title) << int(separators);
        EXPECT_EQ(section->bottom, sectionBefore + height);
        EXPECT_EQ(panel->newRow, (std::vector<bool>{true, true}));
    }
}

TEST_F(PanelTest, AChildInsertedIntoARowGrowsItOnlyBeyondItsTallestMember) {
    // After which of two children 40 and 60 tall, the height claimed, the growth.
    const std::tuple<int, int, int> cases[] = {{0, 50, 10}, {0, 30, 0}, {1, 70, 10}, {1, 55, 0}};
    for (const auto& [index, claimed, growth] : cases) {
        auto* panel = new MyPanel(-1, 0, 0, 480, L"", 1, 1);
        section->add(panel, -1, -1);
        auto* first = new Box(-1, 0, 0, 100, 40, BoxFace::distinct);
        auto* second = new Box(-1, 0, 0, 100, 60, BoxFace::distinct);
        panel->add(first, -1, -1);
        panel->add(second, -1, -1);
        const int before = panel->bottom;
        auto* joined = new Box(-1, 150, 0, 100, claimed, BoxFace::distinct);
        panel->add(joined, -1, index);
        EXPECT_EQ(panel->bottom - before, growth) << index << " " << claimed;
        EXPECT_EQ(panel->children[static_cast<size_t>(index) + 1], joined);
        EXPECT_FALSE(panel->newRow[static_cast<size_t>(index) + 1]);

        dirtyRect = viewRect;
        panel->paint(primarySurface, 0, viewRect.top);
        EXPECT_EQ(joined->screenRect.top, (index == 0 ? first : second)->screenRect.top);
        EXPECT_EQ(joined->screenRect.left, 150);
        if (index == 0) { // the next row starts below the taller of the two, then a separator
            EXPECT_EQ(second->screenRect.top, first->screenRect.top + std::max(40, claimed) + 1);
        }
    }
}

TEST_F(PanelTest, MinimumHeightsAreScaledAndTruncated) {
    scaleFactor = 0.5;
    const std::pair<int, int> cases[] = {{60, 30}, {-1, 20}, {30, 20}, {61, 30}};
    for (const auto& [minHeight, claimed] : cases) {
        MyPanel panel(-1, 0, 0, 240, L"", 0, 0);
        panel.add(new TestBlock(-1, 10, 20), minHeight, -1);
        EXPECT_EQ(panel.rowHeights.back(), claimed) << minHeight;
        EXPECT_EQ(panel.bottom, claimed);
    }
}

TEST_F(PanelTest, AResizedChildOnlyGrowsItsRowCountingItsTopMarginAndTheContainerGrowsAlong) {
    auto* panel = new MyPanel(-1, 0, 0, 480, L"", 0, 0);
    section->add(panel, -1, -1);
    auto* child = new TestBlock(-1, 10, 30, 0, 10); // top margin 10: claims 40
    panel->add(child, -1, -1);
    const int panelBefore = panel->bottom;
    const int sectionBefore = section->bottom;
    panel->childResized(child, 10, 25);
    panel->childResized(child, 10, 30);
    EXPECT_EQ(panel->bottom, panelBefore);
    panel->childResized(child, 10, 45);
    EXPECT_EQ(panel->bottom, panelBefore + 15);
    EXPECT_EQ(panel->rowHeights[0], 55);
    EXPECT_EQ(section->bottom, sectionBefore + 15);
    TestBlock stranger(-1, 10, 10);
    panel->childResized(&stranger, 10, 400);
    EXPECT_EQ(panel->bottom, panelBefore + 15);
}

// Also for a band across a separator, whose dots keep their places.
TEST_F(PanelTest, OnlyTheBandOfTheTitleBarIsDrawnAndItsRowsStartBelowItEvenWhenItIsNot) {
    MyPanel panel(-1, 0, 0, 480, L"Host information :", 1, 1);
    auto* child = new Box(-1, 0, 0, 100, 30, BoxFace::distinct);
    panel.add(child, -1, -1);
    panel.add(new Box(-1, 0, 0, 300, 30, BoxFace::distinct), -1, -1);
    const int originY = 200;
    fillScreen(kBlack);
    dirtyRect = RECT{0, 0, 480, 640};
    panel.paint(primarySurface, 0, originY);
    const std::vector<std::uint16_t> whole = screenBuffer();
    for (const LONG top : {originY + 48, originY + 13, originY + 40, originY + 70}) {
        fillScreen(kBlack);
        dirtyRect = RECT{100, top, 205, top + 20};
        panel.paint(primarySurface, 0, originY);
        EXPECT_EQ(child->screenRect.top, originY + 48);
        EXPECT_TRUE(screenMatches(whole, dirtyRect)) << "band at " << top - originY;
    }
}

TEST_F(PanelTest, SeparatorsTileTheDottedImageBetweenRows) {
    auto* panel = new MyPanel(-1, 0, 0, 480, L"", 0, 1);
    section->add(panel, -1, -1);
    for (int i = 0; i < 3; ++i) {
        panel->add(new Box(-1, 0, 0, 100, 30, BoxFace::distinct), -1, -1);
    }
    paintWhole();
    const std::vector<std::uint16_t> dots = surfacePixels(MyPanel::separatorImage).data;
    ASSERT_EQ(dots.size(), 8u);
    const LONG top = viewRect.top;
    EXPECT_EQ(panel->children[0]->screenRect.top, top); // none above the first row
    for (const LONG row : {top + 30, top + 61}) {
        for (int x = 0; x < 480; ++x) {
            ASSERT_EQ(pixelAt(x, row), dots[static_cast<size_t>(x % 8)]) << x << "," << row;
        }
    }
    EXPECT_EQ(panel->children[2]->screenRect.top, top + 62);
}

TEST_F(PanelTest, RowsStartBelowThePanelsOwnMarginAndSetMustRedrawRepaintsExactlyThePanel) {
    for (const BYTE title : {1, 0}) {
        auto* above = new Box(-1, 0, 0, 300, 70, BoxFace::distinct);
        section->add(above, -1, -1);
        auto* panel = new MyPanel(-1, 0, 20, 480, L"Host information :", title, 1);
        section->add(panel, -1, -1);
        auto* caption = new MyLabel(-1, 10, 15, L"Host IP or name :", labelFontNormal, 0, false);
        panel->add(caption, -1, -1);
        panel->add(new Box(-1, 30, 0, 420, 56, BoxFace::distinct), -1, -1);
        section->add(new Box(-1, 0, 0, 300, 70, BoxFace::distinct), -1, -1);
        paintWhole();
        const LONG panelTop = above->screenRect.bottom + 20;
        EXPECT_EQ(panel->screenRect.top, panelTop);
        EXPECT_EQ(caption->screenRect.top, panelTop + (title ? 48 : 0) + 15);
        const std::vector<std::uint16_t> whole = screenBuffer();
        fillScreen(kBlack);
        panel->setMustRedraw();
        EXPECT_TRUE(
            screenMatches(whole, RECT{0, panelTop, 480, panelTop + panel->bottom - panel->top}));
    }
}

// The caption is drawn once into the title background: white, right of the bar's tab, and
// centred on the dark part of the bar, on both phones, in the labels' face.
class PanelCaptionTest : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(PanelCaptionTest, IsWhiteAndCentredOnTheDarkBar) {
    const auto [width, height, dpi] = GetParam();
    ToolkitDevice device(width, height, dpi);
    installResourceSet(device);
    OpenFrame frame;
    MyPanel panel(-1, 0, 0, width, L"Host information :", 1, 0);
    ASSERT_NE(panel.bkgSurface, nullptr);
    const Pixels bar = surfacePixels(panel.bkgSurface);
    const Pixels image = surfacePixels(MyPanel::titleImage);
    ASSERT_EQ(bar.height, image.height);
    std::uint16_t brightest = 0;
    const RECT ink = inkBounds(bar, [&](LONG x, LONG y) {
        const bool drawn = bar.at(x, y) != image.at(x, y);
        brightest = drawn ? std::max(brightest, bar.at(x, y)) : brightest;
        return drawn;
    });
    const RECT dark = inkBounds(bar, [&](LONG x, LONG y) {
        return x == bar.width / 2 && ((image.at(x, y) >> 5) & 0x3F) < 32;
    });
    EXPECT_EQ(brightest, 0xFFFF);
    const LONG above = ink.top - dark.top;
    const LONG below = dark.bottom - ink.bottom;
    EXPECT_GE(std::min(above, below), 2 * width / 240) << above << " " << below;
    EXPECT_LE(std::abs(above - below), 2) << above << " " << below;
    EXPECT_GE(ink.left, 4 * width / 240);
    EXPECT_LE(ink.left, 14 * width / 240);
    LOGFONTW font{}; // in the labels' face, not the display's own
    ASSERT_EQ(GetObjectW(MyPanel::captionFont, sizeof font, &font), static_cast<int>(sizeof font));
    EXPECT_EQ(std::wstring(font.lfFaceName), labelFontFile);
}

INSTANTIATE_TEST_SUITE_P(Phones, PanelCaptionTest,
                         ::testing::Values(std::tuple{480, 640, 192}, std::tuple{240, 320, 96}));

} // namespace

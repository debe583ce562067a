// The display frame on the headless device: the repaint of the window's update region, and a drag
// becoming scroll steps.
#include "Rect.h"
#include "ToolkitTestSupport.h"

using namespace toolkit_test;

namespace {

std::uint16_t stripeColour(int contentRow) {
    return static_cast<std::uint16_t>((contentRow + 4000) * 3 + 1);
}

// A screen root whose content is one stripe colour per row, scrolled by the tracker's steps,
// painted only inside dirtyRect. Clears fullRedraw when it paints, as the scrolling screen does.
class StripedScreen : public Element {
public:
    StripedScreen() : Element(100, 0, 0, kindSection, true) {}
    void loadSurf() override {}
    Element* hitTest(int, int) override { return nullptr; }
    void paint(IDirectDrawSurface* target, int, int originY) override {
        painted.push_back(dirtyRect);
        const RECT area = intersection(dirtyRect, viewRect);
        for (LONG y = area.top; area.right > area.left && y < area.bottom; ++y) {
            RECT row{area.left, y, area.right, y + 1};
            colourFill(target, &row, stripeColour(y - originY - offset));
        }
        fullRedraw = 0;
    }
    int onTimer() override {
        const int step = tracker->nextScrollStep();
        offset += step;
        return step;
    }

    int offset = 0;            // the content row shown at the top of the view is -offset
    std::vector<RECT> painted; // dirtyRect at every paint
};

class DisplayFrameTest : public ::testing::Test {
protected:
    ToolkitDevice device;
    OpenFrame frame;
    StripedScreen* screen = nullptr;

    // A striped screen drawn once in full over a black screen, the scroll target of the tracker.
    void showStripedScreen() {
        fillScreen(kBlack);
        screen = new StripedScreen();
        frame->addScreen(screen);
        sharedTracker()->scrollTarget = screen;
        fullRedraw = 1;
        dirtyRect = viewRect;
        frame->redraw(true);
        screen->painted.clear();
    }
};

TEST_F(DisplayFrameTest, PaintRepaintsEachRectangleOfTheUpdateRegionInScreenCoordinates) {
    showStripedScreen();
    fillScreen(kBlack);
    const RECT regions[] = {{10, 20, 50, 60}, {300, 200, 320, 230}};
    for (const RECT& r : regions) {
        InvalidateRect(mainWindow, &r, FALSE);
    }
    pumpMessages();
    const LONG top = clientRect.top;
    EXPECT_EQ(screen->painted.size(), 2u);
    EXPECT_EQ(pixelAt(30, top + 40), stripeColour(40));
    EXPECT_EQ(pixelAt(310, top + 210), stripeColour(210));
    EXPECT_EQ(pixelAt(100, top + 40), kBlack);
    RECT pending;
    EXPECT_FALSE(GetUpdateRect(mainWindow, &pending, FALSE));
}

// Found by the main screen's touch fuzzer: a finger dragged up past the top of the client area
// (onto the strip of the hidden task bar) has a negative client y, which read unsigned made the
// screen jump 65,000 pixels down.
TEST_F(DisplayFrameTest, AFingerDraggedAboveTheClientAreaScrollsByItsSignedDistance) {
    showStripedScreen();
    ASSERT_GE(clientRect.top, 20) << "the strip above the client area";
    stylus(platform::PointerAction::down, 200, 100);
    platform::clock::advance(10);
    stylus(platform::PointerAction::move, 200, -20);
    EXPECT_EQ(sharedTracker()->curPoint.y, -20);
    EXPECT_EQ(screen->offset, -120);
    platform::clock::advance(10);
    stylus(platform::PointerAction::move, 200, 30);
    EXPECT_EQ(screen->offset, -70);
}

} // namespace

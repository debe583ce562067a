// The display frame on the headless device: a drag becoming scroll steps, the motion timer's ticks.
#include "support/Toolkit.h"

using namespace toolkit_test;

namespace {

// A screen root that paints nothing and scrolls by the tracker's steps. Clears fullRedraw when it
// paints, as the scrolling screen does.
class DraggedScreen : public Element {
public:
    DraggedScreen() : Element(100, 0, 0, kindSection, true) {}
    void loadSurf() override {}
    Element* hitTest(int, int) override { return nullptr; }
    void paint(IDirectDrawSurface*, int, int) override { fullRedraw = 0; }
    int onTimer() override {
        const int step = tracker->nextScrollStep();
        offset += step;
        ++ticks;
        return step;
    }

    int offset = 0;
    int ticks = 0;
};

// A frame showing a dragged screen that the tracker scrolls.
class DisplayFrameTest : public ::testing::Test {
protected:
    DisplayFrameTest() {
        frame->addScreen(screen);
        sharedTracker()->scrollTarget = screen;
    }

    ToolkitDevice device;
    OpenFrame frame;
    DraggedScreen* screen = new DraggedScreen(); // the frame's
};

// Found by the main screen's touch fuzzer: a finger dragged up past the top of the client area
// (onto the strip of the hidden task bar) has a negative client y, which read unsigned made the
// screen jump 65,000 pixels down.
TEST_F(DisplayFrameTest, AFingerDraggedAboveTheClientAreaScrollsByItsSignedDistance) {
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

// Each tick of the motion timer advances the scroll target once, also while the native editor has
// the screen (the frame then paints nothing); other timers leave it alone.
TEST_F(DisplayFrameTest, EachMotionTickAdvancesTheScrollTargetOnceWithOrWithoutTheEditor) {
    for (const BYTE focus : {1, 0}) {
        frameHasFocus = focus;
        fullRedraw = 0;
        const int before = screen->ticks;
        SendMessageW(mainWindow, WM_TIMER, tunables::motionTimerId + 1, 0);
        SendMessageW(mainWindow, WM_TIMER, tunables::motionTimerId, 0);
        EXPECT_EQ(screen->ticks - before, 1) << int{focus};
    }
    frameHasFocus = 1;
}

// The frame's window gone, the program's loop is told to end.
TEST_F(DisplayFrameTest, ItsWindowDestroyedTheLoopIsToldToQuit) {
    DestroyWindow(mainWindow);
    MSG quit{};
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

} // namespace

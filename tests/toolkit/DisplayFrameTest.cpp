// The display frame on the headless device: construction, redraw and the frame step's scroll
// (pixels moved, band repainted), repaint of the window's update region, touch and timer input
// becoming scroll steps, focus, activation and rotation.
#include "ToolkitTestSupport.h"

#include "Tunables.h"

#include <platform/Clock.h>

#include <gtest/gtest.h>

using namespace toolkit_test;

namespace {

constexpr std::uint16_t kBlack = 0x0000;

class DisplayFrameTest : public ::testing::Test {
protected:
    ToolkitDevice device;
    OpenFrame frame;

    int viewHeight() const { return viewRect.bottom - viewRect.top; }

    // A striped screen drawn once in full, the scroll target of the tracker.
    StripedScreen* showStripedScreen() {
        auto* screen = new StripedScreen();
        frame->addScreen(screen);
        sharedTracker()->scrollTarget = screen;
        fullRedraw = 1;
        dirtyRect = viewRect;
        frame->redraw(true);
        screen->painted.clear();
        return screen;
    }

    // Every row of the view shows the stripes of a screen scrolled by `offset`.
    void expectStripesAt(int offset) {
        const int x = (viewRect.left + viewRect.right) / 2;
        for (int y = viewRect.top; y < viewRect.bottom; ++y) {
            ASSERT_EQ(pixelAt(x, y), stripeColour(y - viewRect.top - offset)) << "row " << y;
        }
    }

    void step(StripedScreen* screen, int pixels) {
        screen->scripted = {pixels};
        frame->redraw(false);
    }
};

// ---- Construction and redraw -------------------------------------------------------------------

TEST_F(DisplayFrameTest, OpensItsWindowWithTheViewAtTheBottomOfTheScreen) {
    ASSERT_NE(mainWindow, nullptr);
    EXPECT_EQ(theFrame, &frame.get());
    EXPECT_NE(primarySurface, nullptr);
    EXPECT_EQ(primarySurface, frame->primary);
    EXPECT_TRUE(IsWindowVisible(mainWindow));
    RECT client;
    GetClientRect(mainWindow, &client);
    EXPECT_EQ(viewRect.bottom, 640);
    EXPECT_EQ(viewRect.top, 640 - client.bottom);
    EXPECT_EQ(viewRect.right, client.right);
    EXPECT_EQ(clientRect.top, viewRect.top);
    EXPECT_EQ(frame->currentScreen, -1);
    EXPECT_EQ(frame->motion, sharedTracker());
    EXPECT_FALSE(platform::Device::instance().taskBarVisible());
    EXPECT_EQ(frameHasFocus, 1);
}

TEST_F(DisplayFrameTest, RedrawWithoutAScreenDoesNothingNotEvenTheErase) {
    fillScreen(kBlack);
    dirtyRect = viewRect;
    frame->redraw(true);
    EXPECT_EQ(pixelAt(10, viewRect.top + 10), kBlack);
}

TEST_F(DisplayFrameTest, SecondScreenKeepsScreenZeroCurrent) {
    auto* first = new StripedScreen();
    auto* second = new StripedScreen();
    frame->addScreen(first);
    frame->addScreen(second);
    EXPECT_EQ(frame->currentScreen, 0);
    fullRedraw = 1;
    frame->redraw(false);
    EXPECT_EQ(first->painted.size(), 1u);
    EXPECT_TRUE(second->painted.empty());
}

TEST_F(DisplayFrameTest, FullRedrawPaintsTheWholeViewAndLeavesTheFlagToItsConsumer) {
    auto* screen = new StripedScreen();
    frame->addScreen(screen);
    fillScreen(kBlack);
    fullRedraw = 1;
    dirtyRect = viewRect;
    frame->redraw(true);
    expectStripesAt(0);
    EXPECT_EQ(screen->timerCalls, 0); // a full repaint asks for no scroll step
}

TEST_F(DisplayFrameTest, NothingIsDrawnBeforeDrawingIsReady) {
    auto* screen = new StripedScreen();
    frame->addScreen(screen);
    drawingReady = 0;
    frame->redraw(false);
    EXPECT_TRUE(screen->painted.empty());
}

TEST_F(DisplayFrameTest, ZeroStepDrawsNothing) {
    StripedScreen* screen = showStripedScreen();
    fillScreen(kBlack);
    step(screen, 0);
    EXPECT_EQ(screen->timerCalls, 1);
    EXPECT_TRUE(screen->painted.empty());
    EXPECT_EQ(pixelAt(5, viewRect.top), kBlack);
}

// ---- The frame step's scroll -------------------------------------------------------------------

TEST_F(DisplayFrameTest, PositiveStepMovesPixelsDownAndRepaintsOnlyTheTopBand) {
    StripedScreen* screen = showStripedScreen();
    dirtyRect.left = 0;
    dirtyRect.right = 480;
    step(screen, 37);
    EXPECT_EQ(dirtyRect.top, viewRect.top);
    EXPECT_EQ(dirtyRect.bottom, viewRect.top + 37);
    ASSERT_EQ(screen->painted.size(), 1u);
    EXPECT_EQ(screen->painted[0].bottom - screen->painted[0].top, 37);
    expectStripesAt(37);
}

TEST_F(DisplayFrameTest, NegativeStepMovesPixelsUpAndRepaintsOnlyTheBottomBand) {
    StripedScreen* screen = showStripedScreen();
    step(screen, -45);
    EXPECT_EQ(dirtyRect.top, viewRect.bottom - 45);
    EXPECT_EQ(dirtyRect.bottom, viewRect.bottom);
    ASSERT_EQ(screen->painted.size(), 1u);
    expectStripesAt(-45);
}

TEST_F(DisplayFrameTest, StepsInBothDirectionsKeepTheContentConsistent) {
    StripedScreen* screen = showStripedScreen();
    for (int s : {12, 30, -7, -60, 1, -1, 25}) {
        step(screen, s);
    }
    expectStripesAt(12 + 30 - 7 - 60 + 1 - 1 + 25);
}

TEST_F(DisplayFrameTest, BandKeepsTheLeftAndRightLastStoredInTheDirtyRectangle) {
    StripedScreen* screen = showStripedScreen();
    dirtyRect.left = 100;
    dirtyRect.right = 200;
    step(screen, 20);
    EXPECT_EQ(dirtyRect.left, 100);
    EXPECT_EQ(dirtyRect.right, 200);
    // Outside those columns the band keeps what the move left there.
    EXPECT_EQ(pixelAt(150, viewRect.top + 5), stripeColour(5 - 20));
    EXPECT_EQ(pixelAt(50, viewRect.top + 5), stripeColour(5));
}

TEST_F(DisplayFrameTest, StepAsLargeAsTheViewMovesNothingAndRepaintsTheWholeView) {
    StripedScreen* screen = showStripedScreen();
    fillScreen(kBlack);
    step(screen, viewHeight() + 10);
    EXPECT_EQ(dirtyRect.top, viewRect.top);
    EXPECT_EQ(dirtyRect.bottom, viewRect.top + viewHeight() + 10);
    expectStripesAt(viewHeight() + 10);

    fillScreen(kBlack);
    step(screen, -viewHeight());
    EXPECT_EQ(dirtyRect.top, viewRect.top);
    EXPECT_EQ(dirtyRect.bottom, viewRect.bottom);
    expectStripesAt(10);
}

TEST_F(DisplayFrameTest, LostFocusScrollsButDoesNotRepaintTheBand) {
    StripedScreen* screen = showStripedScreen();
    frameHasFocus = 0;
    step(screen, 10);
    EXPECT_TRUE(screen->painted.empty());
    EXPECT_EQ(pixelAt(5, viewRect.top + 3), tunables::backgroundColour);
    EXPECT_EQ(pixelAt(5, viewRect.top + 10), stripeColour(0));
}

TEST_F(DisplayFrameTest, FailedScrollMoveIsNamedByTheBandBottomThenTop) {
    EXPECT_EQ(DisplayFrame::scrollFailureContext(RECT{0, 52, 480, 89}), L"UpdateFrame 89,52");
    EXPECT_EQ(DisplayFrame::scrollFailureContext(RECT{0, -20, 480, -5}), L"UpdateFrame -5,-20");
}

// ---- Paint handler -----------------------------------------------------------------------------

TEST_F(DisplayFrameTest, PaintRepaintsEachRectangleOfTheUpdateRegionInScreenCoordinates) {
    StripedScreen* screen = showStripedScreen();
    pumpMessages();
    screen->painted.clear();
    fillScreen(kBlack);
    const RECT first{10, 20, 50, 60};
    const RECT second{300, 200, 320, 230};
    InvalidateRect(mainWindow, &first, FALSE);
    InvalidateRect(mainWindow, &second, FALSE);
    pumpMessages();
    ASSERT_EQ(screen->painted.size(), 2u);
    const LONG top = clientRect.top;
    const RECT expected[] = {{10, 20 + top, 50, 60 + top}, {300, 200 + top, 320, 230 + top}};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(screen->painted[i].left, expected[i].left);
        EXPECT_EQ(screen->painted[i].top, expected[i].top);
        EXPECT_EQ(screen->painted[i].right, expected[i].right);
        EXPECT_EQ(screen->painted[i].bottom, expected[i].bottom);
    }
    EXPECT_EQ(pixelAt(30, top + 40), stripeColour(40));
    EXPECT_EQ(pixelAt(310, top + 210), stripeColour(210));
    EXPECT_EQ(pixelAt(100, top + 40), kBlack);
    RECT left;
    EXPECT_FALSE(GetUpdateRect(mainWindow, &left, FALSE)); // validated
}

TEST_F(DisplayFrameTest, PaintBeforeDrawingIsReadyOnlyValidates) {
    StripedScreen* screen = showStripedScreen();
    pumpMessages();
    screen->painted.clear();
    drawingReady = 0;
    InvalidateRect(mainWindow, nullptr, FALSE);
    pumpMessages();
    EXPECT_TRUE(screen->painted.empty());
    RECT left;
    EXPECT_FALSE(GetUpdateRect(mainWindow, &left, FALSE));
}

TEST_F(DisplayFrameTest, WhileAModalBoxIsOpenTheBoxPaintsInsteadOfTheScreen) {
    StripedScreen* screen = showStripedScreen();
    pumpMessages();
    screen->painted.clear();
    static int boxPaints = 0;
    boxPaints = 0;
    modalBoxHooks.paintBox = [](MessageBoxSense*, IDirectDrawSurface* target) {
        EXPECT_EQ(target, primarySurface);
        ++boxPaints;
    };
    alignas(8) static char boxStandIn[8];
    frame->modalBox = reinterpret_cast<MessageBoxSense*>(boxStandIn);
    InvalidateRect(mainWindow, nullptr, FALSE);
    pumpMessages();
    EXPECT_EQ(boxPaints, 0); // the paint handler leaves the screen to the box's own loop
    frame->redraw(false);
    EXPECT_EQ(boxPaints, 1);
    EXPECT_TRUE(screen->painted.empty());
    frame->modalBox = nullptr;
}

// ---- Input and timer ---------------------------------------------------------------------------

TEST_F(DisplayFrameTest, StylusOnTheWindowReachesTheTrackerInClientCoordinates) {
    stylusDown(120, 200);
    const MotionTracker& tracker = *sharedTracker();
    EXPECT_TRUE(tracker.buttonDown);
    EXPECT_EQ(tracker.downPoint.x, 120);
    EXPECT_EQ(tracker.downPoint.y, 200);
    platform::clock::advance(40);
    stylusUp(120, 200);
    EXPECT_TRUE(tracker.tapPending);
}

TEST_F(DisplayFrameTest, DragScrollsTheScreenWithTheFinger) {
    StripedScreen* screen = showStripedScreen();
    fullRedraw = 0;
    stylusDown(200, 300);
    platform::clock::advance(16);
    stylusMove(200, 340);
    EXPECT_EQ(screen->offset, 40);
    platform::clock::advance(16);
    stylusMove(200, 330);
    EXPECT_EQ(screen->offset, 30);
    expectStripesAt(30);
}

TEST_F(DisplayFrameTest, FlingRunsOnTheThirtyMillisecondTimerUntilItDecays) {
    StripedScreen* screen = showStripedScreen();
    fullRedraw = 0;
    stylusDown(200, 100);
    for (int y : {110, 120, 140}) {
        platform::clock::advance(10);
        stylusMove(200, y);
    }
    stylusUp(200, 140);
    const int afterDrag = screen->offset;
    ASSERT_EQ(afterDrag, 40);
    ASSERT_TRUE(sharedTracker()->flinging);
    advanceAndPump(30);
    EXPECT_EQ(screen->offset, afterDrag + 49);
    for (int tick = 0; tick < 400 && sharedTracker()->flinging; ++tick) {
        advanceAndPump(30);
    }
    EXPECT_FALSE(sharedTracker()->flinging);
    const int settled = screen->offset;
    advanceAndPump(30);
    EXPECT_EQ(screen->offset, settled); // the timer was killed
    expectStripesAt(settled);
}

TEST_F(DisplayFrameTest, TimerTickWithoutFocusAdvancesTheTargetWithoutDrawing) {
    StripedScreen* screen = showStripedScreen();
    fullRedraw = 0;
    frameHasFocus = 0;
    fillScreen(kBlack);
    screen->scripted = {25};
    SendMessageW(mainWindow, WM_TIMER, tunables::motionTimerId, 0);
    EXPECT_EQ(screen->timerCalls, 1);
    EXPECT_EQ(screen->offset, 25);
    EXPECT_EQ(pixelAt(5, viewRect.top + 30), kBlack);

    SendMessageW(mainWindow, WM_TIMER, 7, 0); // other timers are not the frame's
    EXPECT_EQ(screen->timerCalls, 1);
}

TEST_F(DisplayFrameTest, RedrawRequestMessageRunsAFrameStep) {
    StripedScreen* screen = showStripedScreen();
    fullRedraw = 0;
    screen->scripted = {8};
    PostMessageW(mainWindow, tunables::redrawRequestMessage, 0, 0);
    pumpMessages();
    EXPECT_EQ(screen->offset, 8);
}

// ---- Focus and activation ----------------------------------------------------------------------

TEST_F(DisplayFrameTest, FocusAsksForAFullRepaint) {
    frameHasFocus = 0;
    fullRedraw = 0;
    SendMessageW(mainWindow, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(frameHasFocus, 1);
    EXPECT_EQ(fullRedraw, 1);
    RECT pending;
    EXPECT_TRUE(GetUpdateRect(mainWindow, &pending, FALSE));
}

TEST_F(DisplayFrameTest, DeactivationHidesTheScrollBarOnlyWhenAScreenAndTheBarExist) {
    static int hides = 0;
    hides = 0;
    hideScrollBarHook = [] { ++hides; };
    SendMessageW(mainWindow, WM_ACTIVATE, 0, 0);
    EXPECT_EQ(hides, 0); // no screen yet
    frame->addScreen(new StripedScreen());
    SendMessageW(mainWindow, WM_ACTIVATE, 0, 0);
    EXPECT_EQ(hides, 0); // no bar yet
    platform::Device::instance().rotate();
    pumpMessages();
    ASSERT_NE(scrollBarSurface, nullptr);
    SendMessageW(mainWindow, WM_ACTIVATE, 0, 0);
    EXPECT_EQ(hides, 1);
}

// ---- Rotation ----------------------------------------------------------------------------------

DWORD surfaceWidth(IDirectDrawSurface* surface) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    surface->GetSurfaceDesc(&desc);
    return desc.dwWidth;
}
DWORD surfaceHeight(IDirectDrawSurface* surface) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    surface->GetSurfaceDesc(&desc);
    return desc.dwHeight;
}

std::uint16_t firstPixel(IDirectDrawSurface* surface) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (FAILED(surface->Lock(nullptr, &desc, DDLOCK_READONLY | DDLOCK_WAITNOTBUSY, nullptr))) {
        return 0;
    }
    const std::uint16_t pixel = *static_cast<const std::uint16_t*>(desc.lpSurface);
    surface->Unlock(nullptr);
    return pixel;
}

TEST_F(DisplayFrameTest, RotationRebuildsTheDisplaySurfacesEvenWithoutElements) {
    ASSERT_EQ(portrait, 1);
    ASSERT_EQ(backBuffer, nullptr);
    platform::Device::instance().rotate();
    pumpMessages();
    EXPECT_EQ(portrait, 0);
    ASSERT_NE(backBuffer, nullptr);
    EXPECT_EQ(surfaceWidth(backBuffer), 640u);
    EXPECT_EQ(surfaceHeight(backBuffer), 480u);
    ASSERT_NE(scrollBarSurface, nullptr);
    EXPECT_EQ(surfaceWidth(scrollBarSurface), 6u);
    EXPECT_EQ(surfaceHeight(scrollBarSurface), 480u);
    EXPECT_EQ(firstPixel(scrollBarSurface), tunables::scrollBarColour);
    EXPECT_EQ(viewRect.bottom, 480);
    EXPECT_EQ(clientRect.top, viewRect.top);
    EXPECT_EQ(fullRedraw, 1);

    platform::Device::instance().rotate();
    pumpMessages();
    EXPECT_EQ(portrait, 1);
    EXPECT_EQ(surfaceWidth(backBuffer), 480u);
    EXPECT_EQ(viewRect.bottom, 640);
}

TEST_F(DisplayFrameTest, RotationReloadsEveryElementInRegistryOrder) {
    auto* a = new TestBlock(1, 0, 0, 10, 10, 0x1111);
    auto* b = new TestBlock(2, 0, 0, 10, 10, 0x2222);
    auto* c = new TestBlock(3, 0, 0, 10, 10, 0x3333);
    delete b;
    auto* d = new TestBlock(4, 0, 0, 10, 10, 0x4444);
    sharedTracker()->scrollTarget = d;
    d->selected = 1;
    platform::Device::instance().rotate();
    pumpMessages();
    const std::vector<const Element*> expected{a, c, d};
    EXPECT_EQ(TestBlock::loadOrder, expected);
    EXPECT_EQ(d->selected, 0); // the scroll target lets go of its pressed child
    EXPECT_EQ(dirtyRect.top, viewRect.top);
    EXPECT_EQ(dirtyRect.bottom, viewRect.bottom);
    sharedTracker()->scrollTarget = nullptr;
    delete a;
    delete c;
    delete d;
}

TEST_F(DisplayFrameTest, PositionChangeWithoutRotationOnlyReachesTheDefaultProcedure) {
    auto* block = new TestBlock(1, 0, 0, 10, 10, 0x1111);
    WINDOWPOS position{};
    position.hwnd = mainWindow;
    SendMessageW(mainWindow, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
    EXPECT_EQ(backBuffer, nullptr);
    EXPECT_EQ(block->loadCount, 0);
    delete block;
}

// ---- Teardown ----------------------------------------------------------------------------------

TEST(DisplayFrameTeardown, DeletesItsScreensAndLeavesTheWindow) {
    ToolkitDevice device;
    auto frame = std::make_unique<DisplayFrame>(GetModuleHandleW(nullptr), L"Dawnbell");
    auto* root = new StripedScreen();
    frame->addScreen(root);
    ASSERT_EQ(findElementById(100), root);
    frame.reset();
    EXPECT_EQ(findElementById(100), nullptr);
    EXPECT_EQ(theFrame, nullptr);
    EXPECT_EQ(primarySurface, nullptr);
    EXPECT_TRUE(IsWindow(mainWindow));
    SendMessageW(mainWindow, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5)); // reaches no freed frame
    EXPECT_FALSE(sharedTracker()->buttonDown);
}

TEST_F(DisplayFrameTest, DestroyedScrollTargetIsNoLongerAsked) {
    auto* target = new StripedScreen();
    sharedTracker()->scrollTarget = target;
    delete target;
    EXPECT_EQ(sharedTracker()->scrollTarget, nullptr);
    EXPECT_EQ(sharedTracker()->tickScrollTarget(), 0);
}

} // namespace

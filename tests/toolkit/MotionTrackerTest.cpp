// Gestures of the MotionTracker on the manual clock: taps and their slop, double taps, and flings
// with their start, clamp and decay.
#include "support/Toolkit.h"

using namespace toolkit_test;

namespace {

using Move = std::pair<DWORD, int>; // milliseconds since the previous event, pixels down

class MotionTrackerTest : public ::testing::Test {
protected:
    ToolkitDevice device;
    OpenFrame frame; // the fling timer lives on the main window
    MotionTracker& tracker = *sharedTracker();

    static void wait(DWORD ms) { platform::clock::advance(ms); }

    void tap() {
        tracker.onPress(50, 50);
        wait(20);
        tracker.onRelease(50, 50);
    }

    // Press at (100, 100), then vertical moves.
    void dragVertically(const std::vector<Move>& moves) {
        int y = 100;
        tracker.onPress(100, y);
        for (const auto& [ms, dy] : moves) {
            wait(ms);
            tracker.onMove(100, y += dy);
        }
    }

    // Whether timer 1 of the main window comes due within its period.
    bool motionTimerRuns() {
        MSG msg;
        while (PeekMessageW(&msg, mainWindow, WM_TIMER, WM_TIMER, PM_REMOVE)) {
        }
        wait(30);
        return PeekMessageW(&msg, mainWindow, WM_TIMER, WM_TIMER, PM_REMOVE) != 0;
    }
};

TEST_F(MotionTrackerTest, ReleaseIsATapOnlyIfTheFingerNeverLeftThirtyPixelsOnEitherAxis) {
    const std::pair<std::vector<POINT>, bool> cases[] = {
        {{{130, 130}}, true},
        {{{131, 100}}, false},
        {{{100, 69}, {100, 100}}, false}, // coming back does not make it a tap again
    };
    for (const auto& [path, tap] : cases) {
        tracker = MotionTracker();
        tracker.onPress(100, 100);
        EXPECT_TRUE(tracker.takeChange());
        EXPECT_FALSE(tracker.takeChange()) << "a change is taken once";
        for (const POINT& p : path) {
            wait(10);
            tracker.onMove(p.x, p.y);
        }
        tracker.onRelease(0, 0);
        EXPECT_EQ(tracker.tapPending, tap) << path[0].x << "," << path[0].y;
        EXPECT_FALSE(tracker.buttonDown);
    }
}

TEST_F(MotionTrackerTest, TapsReleasedUnder350MillisecondsApartMakeADoubleTap) {
    for (DWORD gap : {349u, 350u}) {
        tracker = MotionTracker();
        tap();
        tracker.tapConsumed = true; // the scroll target delivered the first tap
        wait(gap - 20);
        tap();
        const bool doubled = gap < 350;
        EXPECT_EQ(tracker.doubleTap, doubled) << gap;
        EXPECT_EQ(tracker.tapPending, !doubled) << gap;
        EXPECT_EQ(tracker.tapConsumed, doubled) << gap; // a second single tap is new to deliver
        tracker.onPress(50, 50);
        EXPECT_FALSE(tracker.doubleTap);
    }
}

// The first step of a fling, taken on its timer, follows the time elapsed and is cut to 120
// before the decay; a press stops the fling and its timer.
TEST_F(MotionTrackerTest, FlingStepFollowsTheTimeElapsedIsCutTo120AndRunsOnItsTimerUntilAPress) {
    // Three moves, milliseconds until the first step, that step.
    const std::tuple<std::vector<Move>, DWORD, int> cases[] = {
        {{{10, 10}, {10, 10}, {10, 20}}, 30, 49}, // 200 after 100: trunc(500 / 3 * 30 * 0.01 - 0.3)
        {{{10, 50}, {10, 50}, {10, 50}}, 30, 119},
        {{{10, -50}, {10, -50}, {10, -50}}, 30, -119},
        {{{10, 20}, {10, 20}, {10, 20}}, 45, 89},
        {{{10, 20}, {10, 20}, {10, 20}}, 90, 119}};
    for (const auto& [moves, tick, step] : cases) {
        dragVertically(moves);
        tracker.onRelease(0, 0);
        ASSERT_TRUE(tracker.flinging);
        EXPECT_TRUE(motionTimerRuns()); // 30 ms
        wait(tick - 30);
        EXPECT_EQ(tracker.nextScrollStep(), step) << moves[2].second << " after " << tick;
        tracker.onPress(100, 140);
        EXPECT_FALSE(tracker.flinging);
        EXPECT_FALSE(motionTimerRuns());
    }
}

TEST_F(MotionTrackerTest, FlingLosesOnePixelPer100MillisecondsAndStopsAfter5910InBothDirections) {
    for (int dy : {20, -20}) { // 60 px per 30 ms tick at first
        dragVertically({{10, dy}, {10, dy}, {10, dy}});
        tracker.onRelease(0, 0);
        const DWORD start = GetTickCount();
        int total = 0;
        for (int step = 1, tick = 0; step != 0 && tick < 1000; ++tick) {
            wait(30);
            total += step = tracker.nextScrollStep();
        }
        EXPECT_EQ(GetTickCount() - start, 5910u); // the first tick whose step falls below 1
        EXPECT_EQ(total, dy > 0 ? 5880 : -5880);
        EXPECT_FALSE(motionTimerRuns());
    }
}

} // namespace

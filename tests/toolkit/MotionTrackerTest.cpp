// Gestures of the MotionTracker on the manual clock: taps and their slop, double taps, velocity
// samples, swipes, drags, and flings with their start, clamp and decay.
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

TEST_F(MotionTrackerTest, SamplesSkipRepeatedPointsAndSameMillisecondMovesAndClampVerticalsTo500) {
    tracker.onPress(100, 100);
    wait(10);
    tracker.onMove(100, 130); // 300
    tracker.onMove(100, 170); // same millisecond: ignored completely
    EXPECT_EQ(tracker.curPoint.y, 130);
    wait(10);
    tracker.onMove(100, 130); // no change: no sample, and the finger still counts as resting
    EXPECT_EQ(tracker.lastMoveTime, GetTickCount() - 10);
    for (POINT p : {POINT{180, 250}, POINT{180, 160}, POINT{190, 170}}) {
        wait(10);
        tracker.onMove(p.x, p.y);
    }
    // 600 over 20 ms clamped to 500, -900 clamped to -500, then 100 replacing the first sample.
    EXPECT_EQ(tracker.sampleCount, 4);
    EXPECT_EQ(std::vector<double>(tracker.velocityY, tracker.velocityY + 3),
              std::vector<double>({100, 500, -500}));
    EXPECT_EQ(tracker.velocityX[1], 400); // horizontal samples are not clamped
}

TEST_F(MotionTrackerTest, SwipeNeedsFiveSamplesOfFastRightwardMotionWithLittleDrift) {
    // Per 10 ms: 20 px is 200 px / 100 ms; a drift of 6 px reaches 36 px by the sixth move.
    const std::tuple<int, int, bool> cases[] = {{20, 0, true}, {-20, 0, false}, {20, 6, false}};
    for (const auto& [dx, dy, swipe] : cases) {
        tracker.onPress(200, 100);
        for (int i = 1; i <= 6; ++i) {
            EXPECT_FALSE(tracker.swipe) << "before move " << i;
            wait(10);
            tracker.onMove(200 + dx * i, 100 + dy * i);
        }
        EXPECT_EQ(tracker.swipe, swipe) << dx << "," << dy;
    }
}

TEST_F(MotionTrackerTest, DragStepsFollowTheFingerAndLoseNothingWithinTwoMilliseconds) {
    tracker.onPress(100, 200);
    wait(10);
    tracker.onMove(100, 237);
    EXPECT_EQ(tracker.nextScrollStep(), 37);
    wait(10);
    tracker.onMove(100, 220);
    EXPECT_EQ(tracker.nextScrollStep(), -17);
    wait(1);
    tracker.onMove(100, 240);
    EXPECT_EQ(tracker.nextScrollStep(), 0);
    wait(1);
    EXPECT_EQ(tracker.nextScrollStep(), 20);
}

TEST_F(MotionTrackerTest, ReleaseFlingsOnlyAfterThreeSamplesOfRecentFastMotion) {
    const std::tuple<std::vector<Move>, DWORD, bool> cases[] = {
        {{{10, 50}, {10, 50}}, 0, false},        // two samples are too few
        {{{20, 1}, {20, 1}, {20, 1}}, 0, false}, // latest two: 5 + 5 is not above 10
        {{{20, 1}, {20, 1}, {50, 3}}, 0, true},  // 5 + 6
        {{{20, 1}, {25, 1}, {50, 3}}, 0, false}, // 4 + 6: the latest two, not the latest twice
        {{{10, 10}, {10, 10}, {10, 10}}, 299, true},
        {{{10, 10}, {10, 10}, {10, 10}}, 300, false}, // the finger rested too long
    };
    for (const auto& [moves, rest, flings] : cases) {
        dragVertically(moves);
        wait(rest);
        tracker.onRelease(0, 0);
        EXPECT_EQ(tracker.flinging, flings) << moves.size() << " moves, rest " << rest;
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

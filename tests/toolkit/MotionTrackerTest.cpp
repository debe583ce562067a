// Gestures of the MotionTracker on the manual clock: taps and their slop, double taps, swipes,
// velocity samples, drags and flings with their start, clamp and decay.
#include "ToolkitTestSupport.h"

#include "MotionTracker.h"

#include <platform/Clock.h>

#include <gtest/gtest.h>

using namespace toolkit_test;

namespace {

class MotionTrackerTest : public ::testing::Test {
protected:
    ToolkitDevice device;
    OpenFrame frame; // the fling timer lives on the main window
    MotionTracker& tracker = *sharedTracker();

    static void wait(DWORD ms) { platform::clock::advance(ms); }

    void tap(int x, int y) {
        tracker.onPress(x, y);
        wait(20);
        tracker.onRelease(x, y);
    }

    // Press at (100, 100), then one vertical move per entry: `dy` pixels in 10 ms each.
    void dragVertically(std::initializer_list<int> moves) {
        int y = 100;
        tracker.onPress(100, y);
        for (int dy : moves) {
            wait(10);
            y += dy;
            tracker.onMove(100, y);
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

// ---- Taps --------------------------------------------------------------------------------------

TEST_F(MotionTrackerTest, ReleaseWithinThirtyPixelsOfThePressIsATap) {
    tracker.onPress(100, 100);
    wait(10);
    tracker.onMove(130, 130);
    tracker.onRelease(130, 130);
    EXPECT_TRUE(tracker.tapPending);
    EXPECT_FALSE(tracker.tapConsumed);
    EXPECT_FALSE(tracker.tapCandidate);
    EXPECT_FALSE(tracker.buttonDown);
}

TEST_F(MotionTrackerTest, MovingThirtyOnePixelsOnEitherAxisEndsTheTap) {
    tracker.onPress(100, 100);
    wait(10);
    tracker.onMove(131, 100);
    tracker.onRelease(131, 100);
    EXPECT_FALSE(tracker.tapPending);

    tracker.onPress(100, 100);
    wait(10);
    tracker.onMove(100, 69);
    EXPECT_FALSE(tracker.tapCandidate);
    wait(10);
    tracker.onMove(100, 100); // coming back does not make it a tap again
    tracker.onRelease(100, 100);
    EXPECT_FALSE(tracker.tapPending);
}

TEST_F(MotionTrackerTest, SecondTapWithin349MillisecondsIsADoubleTap) {
    tap(50, 50);
    ASSERT_TRUE(tracker.tapPending);
    tracker.tapConsumed = true; // the scroll target delivered the first tap
    wait(329);
    tap(52, 51); // released 349 ms after the first release
    EXPECT_TRUE(tracker.doubleTap);
    EXPECT_FALSE(tracker.tapPending);
}

TEST_F(MotionTrackerTest, TapsReleased350MillisecondsApartAreTwoTaps) {
    tap(50, 50);
    tracker.tapConsumed = true;
    wait(330);
    tap(50, 50);
    EXPECT_FALSE(tracker.doubleTap);
    EXPECT_TRUE(tracker.tapPending);
    EXPECT_FALSE(tracker.tapConsumed); // a new tap to deliver
}

TEST_F(MotionTrackerTest, PressAfterADoubleTapClearsIt) {
    tap(50, 50);
    wait(100);
    tap(50, 50);
    ASSERT_TRUE(tracker.doubleTap);
    tracker.onPress(50, 50);
    EXPECT_FALSE(tracker.doubleTap);
}

// ---- Samples -----------------------------------------------------------------------------------

TEST_F(MotionTrackerTest, SecondMoveInTheSameMillisecondIsIgnored) {
    tracker.onPress(100, 100);
    wait(5);
    tracker.onMove(100, 110);
    tracker.onMove(100, 150);
    EXPECT_EQ(tracker.curPoint.y, 110);
    EXPECT_EQ(tracker.sampleCount, 1);
}

TEST_F(MotionTrackerTest, VerticalSamplesAreClampedTo500AndHorizontalOnesAreNot) {
    tracker.onPress(100, 100);
    wait(10);
    tracker.onMove(100, 130); // 30 px in 10 ms
    wait(10);
    tracker.onMove(180, 190); // 60 px down, 80 px right in 10 ms
    EXPECT_DOUBLE_EQ(tracker.velocityY[0], 300.0);
    EXPECT_DOUBLE_EQ(tracker.velocityY[1], 500.0);
    EXPECT_DOUBLE_EQ(tracker.velocityX[1], 800.0);
    wait(10);
    tracker.onMove(180, 100); // 90 px up
    EXPECT_DOUBLE_EQ(tracker.velocityY[2], -500.0);
}

TEST_F(MotionTrackerTest, SamplesFillARingOfThree) {
    dragVertically({10, 20, 30, 40});
    EXPECT_EQ(tracker.sampleCount, 4);
    EXPECT_DOUBLE_EQ(tracker.velocityY[0], 400.0); // sample 3 replaced sample 0
    EXPECT_DOUBLE_EQ(tracker.velocityY[1], 200.0);
    EXPECT_DOUBLE_EQ(tracker.velocityY[2], 300.0);
}

TEST_F(MotionTrackerTest, MoveWithoutChangeKeepsTheSamplesAndTheMoveTime) {
    tracker.onPress(100, 100);
    wait(10);
    tracker.onMove(100, 100);
    EXPECT_EQ(tracker.sampleCount, 0);
    EXPECT_EQ(tracker.lastMoveTime, GetTickCount() - 10);
}

// ---- Swipes ------------------------------------------------------------------------------------

TEST_F(MotionTrackerTest, FastRightwardMoveIsASwipeOnceFiveSamplesExist) {
    tracker.onPress(10, 100);
    int x = 10;
    for (int i = 0; i < 5; ++i) {
        wait(10);
        x += 20; // 200 px / 100 ms
        tracker.onMove(x, 100);
        EXPECT_FALSE(tracker.swipe) << "after sample " << i + 1;
    }
    wait(10);
    tracker.onMove(x + 20, 105);
    EXPECT_TRUE(tracker.swipe);
}

TEST_F(MotionTrackerTest, LeftwardOrDriftingMovesAreNoSwipe) {
    tracker.onPress(300, 100);
    for (int i = 1; i <= 6; ++i) {
        wait(10);
        tracker.onMove(300 - 20 * i, 100);
    }
    EXPECT_FALSE(tracker.swipe);

    tracker.onPress(10, 100);
    for (int i = 1; i <= 6; ++i) {
        wait(10);
        tracker.onMove(10 + 20 * i, 100 + 6 * i); // 36 px of vertical drift by the sixth
    }
    EXPECT_FALSE(tracker.swipe);
}

// ---- Drags -------------------------------------------------------------------------------------

TEST_F(MotionTrackerTest, DragStepFollowsTheFingerExactly) {
    tracker.onPress(100, 200);
    wait(10);
    tracker.onMove(100, 237);
    EXPECT_EQ(tracker.nextScrollStep(), 37);
    wait(10);
    tracker.onMove(100, 220);
    EXPECT_EQ(tracker.nextScrollStep(), -17);
}

TEST_F(MotionTrackerTest, StepsCloserThanTwoMillisecondsLoseNoDistance) {
    tracker.onPress(100, 200);
    wait(10);
    tracker.onMove(100, 210);
    EXPECT_EQ(tracker.nextScrollStep(), 10);
    wait(1);
    tracker.onMove(100, 230);
    EXPECT_EQ(tracker.nextScrollStep(), 0);
    EXPECT_EQ(tracker.lastReadPoint.y, 210);
    wait(1);
    EXPECT_EQ(tracker.nextScrollStep(), 20);
}

// ---- Flings ------------------------------------------------------------------------------------

TEST_F(MotionTrackerTest, FirstFlingStepIs49ForSamples200And100AtA30MillisecondTick) {
    dragVertically({10, 10, 20}); // samples 100, 100, 200: latest 200, previous 100
    tracker.onRelease(100, 140);
    ASSERT_TRUE(tracker.flinging);
    wait(30);
    EXPECT_EQ(tracker.nextScrollStep(), 49); // trunc(500 / 3 * 30 * 0.01 - 0.3)
}

TEST_F(MotionTrackerTest, FlingStartsTheMotionTimerAndAPressStopsBoth) {
    dragVertically({10, 10, 20});
    tracker.onRelease(100, 140);
    EXPECT_TRUE(motionTimerRuns());
    tracker.onPress(100, 140);
    EXPECT_FALSE(tracker.flinging);
    EXPECT_FALSE(motionTimerRuns());
}

TEST_F(MotionTrackerTest, FlingStepIsCutTo120BeforeTheDecay) {
    dragVertically({50, 50, 50}); // 500 px / 100 ms: 150 px per 30 ms tick
    tracker.onRelease(100, 250);
    wait(30);
    EXPECT_EQ(tracker.nextScrollStep(), 119);

    dragVertically({-50, -50, -50});
    tracker.onRelease(100, -50);
    wait(30);
    EXPECT_EQ(tracker.nextScrollStep(), -119);
}

TEST_F(MotionTrackerTest, ReleaseWithFewerThanThreeSamplesNeverFlings) {
    dragVertically({50, 50});
    tracker.onRelease(100, 200);
    EXPECT_FALSE(tracker.flinging);
}

TEST_F(MotionTrackerTest, FlingNeedsTwoLatestSamplesSummingAboveTen) {
    tracker.onPress(100, 100);
    for (int i = 0; i < 3; ++i) {
        wait(20);
        tracker.onMove(100, 101 + i); // 1 px in 20 ms: samples of 5
    }
    tracker.onRelease(100, 103);
    EXPECT_FALSE(tracker.flinging); // 5 + 5 is not above 10

    tracker.onPress(100, 100);
    wait(20);
    tracker.onMove(100, 101);
    wait(20);
    tracker.onMove(100, 102);
    wait(50);
    tracker.onMove(100, 105); // 3 px in 50 ms: 6
    tracker.onRelease(100, 105);
    EXPECT_TRUE(tracker.flinging); // 5 + 6
}

TEST_F(MotionTrackerTest, FlingNeedsAMoveWithinTheLast300Milliseconds) {
    dragVertically({10, 10, 10});
    wait(299);
    tracker.onRelease(100, 130);
    EXPECT_TRUE(tracker.flinging);

    dragVertically({10, 10, 10});
    wait(300);
    tracker.onRelease(100, 130);
    EXPECT_FALSE(tracker.flinging);
}

TEST_F(MotionTrackerTest, FlingSlowsByOnePixelPer100MillisecondsAndStopsAfterAbout6Seconds) {
    dragVertically({20, 20, 20}); // v = 200: 60 px per tick at first
    tracker.onRelease(100, 160);
    const DWORD start = GetTickCount();
    int previous = 60;
    int total = 0;
    for (;;) {
        wait(30);
        const int step = tracker.nextScrollStep();
        if (step == 0) {
            break;
        }
        EXPECT_LE(step, previous);
        previous = step;
        total += step;
    }
    EXPECT_EQ(GetTickCount() - start, 5910u); // the first tick whose step falls below 1
    EXPECT_EQ(total, 5880);
    EXPECT_FALSE(tracker.flinging);
    EXPECT_FALSE(motionTimerRuns());
}

TEST_F(MotionTrackerTest, UpwardFlingDecaysTowardsZeroToo) {
    dragVertically({-20, -20, -20});
    tracker.onRelease(100, 40);
    wait(30);
    EXPECT_EQ(tracker.nextScrollStep(), -59);
    int step = 0;
    for (int tick = 2; tick <= 101; ++tick) { // 3030 ms into the fling
        wait(30);
        step = tracker.nextScrollStep();
    }
    EXPECT_EQ(step, -29);
}

TEST_F(MotionTrackerTest, LateTickMovesByTheTimeElapsedUpToTheClamp) {
    dragVertically({20, 20, 20});
    tracker.onRelease(100, 160);
    wait(90); // three ticks collapsed into one: 180 px, cut to 120
    EXPECT_EQ(tracker.nextScrollStep(), 119);
}

TEST_F(MotionTrackerTest, TickScrollTargetAsksTheTargetOrReturnsZero) {
    EXPECT_EQ(tracker.tickScrollTarget(), 0);
    StripedScreen target;
    target.scripted = {17};
    tracker.scrollTarget = &target;
    EXPECT_EQ(tracker.tickScrollTarget(), 17);
    EXPECT_EQ(target.timerCalls, 1);
}

} // namespace

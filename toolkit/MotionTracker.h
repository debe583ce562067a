// The process's single touch-gesture tracker: turns press, move and release events into taps,
// double taps, rightward swipes, drags and flings that slow down by themselves. The display frame
// feeds it; the scroll target reads its flags (under motionLock) and asks it for scroll steps.
// Every change to its state goes through its own operations: the fields are for reading.
#pragma once

#include <windows.h>

class Element;

// The re-entrant lock around the tracker and its scroll target. The frame's timer handler and
// tickScrollTarget hold it while the target's onTimer runs, and onTimer calls nextScrollStep,
// which takes it again on the same thread.
extern CRITICAL_SECTION motionLock;

class MotionTracker {
public:
    MotionTracker();

    void onPress(int x, int y);
    void onMove(int x, int y);
    void onRelease(int x, int y); // the point is not used
    // Pixels to scroll now, positive downwards.
    int nextScrollStep();
    // The scroll target's onTimer result under the lock; 0 without a target.
    int tickScrollTarget();

    // Ends a running fling and the motion timer it runs on.
    void stopFling();
    // The completed tap, taken once: true for the first taker after a tap, false after that and
    // when the touch was no tap.
    bool takeTap();
    // Forgets the touch under way: it is no tap, swipe or fling of whoever looks next.
    void forgetTouch();
    // The finger that is down will be no tap, wherever it lifts.
    void cancelTap();
    // Whether a press or move came since the last call.
    bool takeChange();
    // The motion timer of the frame's window, which runs frame steps while something moves.
    static void startMotionTimer();
    static void stopMotionTimer();
    // Makes `target` the element asked for scroll steps; returns the one it replaces.
    Element* setScrollTarget(Element* target);
    // Makes `target` the scroll target when there is none yet.
    void setScrollTargetIfNone(Element* target);
    // When `leaving` is the scroll target, `successor` takes its place (a destroyed or finished
    // element must not be asked for scroll steps).
    void restoreScrollTarget(const Element* leaving, Element* successor);

    POINT prevPoint{};     // current point before the last move
    POINT downPoint{};     // where the finger went down
    POINT curPoint{};      // latest point
    POINT lastReadPoint{}; // point at the last scroll step taken (only y is used)
    bool tapConsumed = false;
    bool tapPending = false;
    bool buttonDown = false;
    bool tapCandidate = false;
    bool doubleTap = false;
    bool flinging = false;
    bool changed = true;
    bool swipe = false;
    DWORD lastMoveTime = 0;
    DWORD lastTapTime = 0;
    DWORD flingStartTime = 0;
    DWORD lastStepTime = 0;
    double velocityX[3]{}; // px / 100 ms; sample k lives at k mod 3
    double velocityY[3]{};
    int sampleCount = 0;
    Element* scrollTarget = nullptr; // not owned

private:
    void recordSample(int x, int y, double dt);
    bool swipeRecognised(int x, int y) const;
    void completeTap(DWORD now);
    void startFlingIfFast(double sinceMove);
    int flingStep(double dt, DWORD now);
};

// The process's tracker, created on first use and kept until the process ends.
MotionTracker* sharedTracker();

// Holds motionLock for the lifetime of the guard.
class MotionLockGuard {
public:
    MotionLockGuard() { EnterCriticalSection(&motionLock); }
    ~MotionLockGuard() { LeaveCriticalSection(&motionLock); }
    MotionLockGuard(const MotionLockGuard&) = delete;
    MotionLockGuard& operator=(const MotionLockGuard&) = delete;
};

#include "MotionTracker.h"

#include "DisplayFrame.h"
#include "Element.h"
#include "Tunables.h"

#include <cmath>
#include <cstdlib>
#include <utility>

CRITICAL_SECTION motionLock;

namespace {

MotionTracker* theTracker = nullptr;

void initialiseMotionLockOnce() {
    static bool initialised = false;
    if (!initialised) {
        InitializeCriticalSection(&motionLock);
        initialised = true;
    }
}

// Tick counts wrap; their difference is taken as unsigned before it becomes a double.
double msBetween(DWORD now, DWORD then) {
    return static_cast<double>(static_cast<DWORD>(now - then));
}

int ringIndex(int sample) {
    return ((sample % tunables::velocitySampleCount) + tunables::velocitySampleCount) %
           tunables::velocitySampleCount;
}

} // namespace

MotionTracker::MotionTracker() {
    initialiseMotionLockOnce();
}

MotionTracker* sharedTracker() {
    if (theTracker == nullptr) {
        theTracker = new MotionTracker();
    }
    return theTracker;
}

void MotionTracker::stopFling() {
    if (flinging) {
        flinging = false;
        stopMotionTimer();
    }
}

bool MotionTracker::takeTap() {
    if (tapConsumed) {
        return false;
    }
    tapConsumed = true;
    return tapPending;
}

void MotionTracker::forgetTouch() {
    swipe = false;
    changed = true;
    stopFling();
    tapCandidate = false;
    tapPending = false;
    doubleTap = false;
    tapConsumed = false;
}

void MotionTracker::cancelTap() {
    tapCandidate = false;
}

bool MotionTracker::takeChange() {
    return std::exchange(changed, false);
}

void MotionTracker::startMotionTimer() {
    SetTimer(mainWindow, tunables::motionTimerId, tunables::motionTimerPeriodMs, nullptr);
}

void MotionTracker::stopMotionTimer() {
    KillTimer(mainWindow, tunables::motionTimerId);
}

Element* MotionTracker::setScrollTarget(Element* target) {
    return std::exchange(scrollTarget, target);
}

void MotionTracker::setScrollTargetIfNone(Element* target) {
    if (scrollTarget == nullptr) {
        scrollTarget = target;
    }
}

void MotionTracker::restoreScrollTarget(const Element* leaving, Element* successor) {
    if (scrollTarget == leaving) {
        scrollTarget = successor;
    }
}

void MotionTracker::onPress(int x, int y) {
    MotionLockGuard lock;
    const DWORD now = GetTickCount();
    if (!tapPending) {
        lastTapTime = now;
    }
    lastMoveTime = now;
    swipe = false;
    doubleTap = false;
    tapCandidate = true;
    buttonDown = true;
    downPoint = curPoint = prevPoint = lastReadPoint = POINT{x, y};
    changed = true;
    stopFling();
    velocityX[0] = 0.0;
    velocityY[0] = 0.0;
    sampleCount = 0;
}

bool MotionTracker::swipeRecognised(int x, int y) const {
    if (sampleCount < tunables::swipeMinSamples) {
        return false;
    }
    const double mean = (velocityX[0] + velocityX[1] + velocityX[2]) / 3;
    return mean > tunables::swipeMinMeanVelocity &&
           std::abs(downPoint.y - y) < tunables::swipeMaxDriftPx &&
           std::abs(downPoint.x - x) > tunables::swipeMinTravelPx;
}

void MotionTracker::recordSample(int x, int y, double dt) {
    const int i = ringIndex(sampleCount);
    velocityX[i] = (x - prevPoint.x) * (1.0 / dt) * tunables::velocityFactor;
    double vy = (y - prevPoint.y) * (1.0 / dt) * tunables::velocityFactor;
    if (vy > tunables::verticalSampleLimit) {
        vy = tunables::verticalSampleLimit;
    } else if (vy < -tunables::verticalSampleLimit) {
        vy = -tunables::verticalSampleLimit;
    }
    velocityY[i] = vy;
    sampleCount += 1;
}

void MotionTracker::onMove(int x, int y) {
    MotionLockGuard lock;
    const DWORD now = GetTickCount();
    const double dt = msBetween(now, lastMoveTime);
    if (dt < tunables::minMoveIntervalMs) {
        return;
    }
    if (tapCandidate && (std::abs(downPoint.x - x) > tunables::tapSlopPx ||
                         std::abs(downPoint.y - y) > tunables::tapSlopPx)) {
        tapCandidate = false;
    }
    if (swipeRecognised(x, y)) {
        swipe = true;
    }
    changed = true;
    stopFling();
    prevPoint = curPoint;
    curPoint = POINT{x, y};
    if (curPoint.x != prevPoint.x || curPoint.y != prevPoint.y) {
        lastMoveTime = now;
        recordSample(x, y, dt);
    }
}

void MotionTracker::completeTap(DWORD now) {
    if (tapPending && msBetween(now, lastTapTime) < tunables::doubleTapWindowMs) {
        tapPending = false;
        doubleTap = true;
    } else {
        lastTapTime = now;
        tapConsumed = false;
        tapPending = true;
    }
    tapCandidate = false;
}

void MotionTracker::startFlingIfFast(double sinceMove) {
    if (sampleCount < tunables::flingMinSamples) {
        return;
    }
    const double sum =
        velocityY[ringIndex(sampleCount - 2)] + velocityY[ringIndex(sampleCount - 1)];
    if (std::abs(static_cast<long long>(std::trunc(sum))) > tunables::flingMinVelocitySum &&
        sinceMove < tunables::flingMaxRestMs) {
        startMotionTimer();
        flinging = true;
        flingStartTime = lastStepTime = GetTickCount();
    }
}

void MotionTracker::onRelease(int /*x*/, int /*y*/) {
    MotionLockGuard lock;
    changed = true;
    buttonDown = false;
    const DWORD now = GetTickCount();
    const double sinceMove = msBetween(now, lastMoveTime);
    if (tapCandidate) {
        completeTap(now);
    }
    startFlingIfFast(sinceMove);
}

int MotionTracker::flingStep(double dt, DWORD now) {
    double elapsed = msBetween(now, flingStartTime);
    lastStepTime = now;
    const double v = (tunables::flingLatestWeight * velocityY[ringIndex(sampleCount - 1)] +
                      velocityY[ringIndex(sampleCount - 2)]) *
                     (1.0 / tunables::flingWeightSum);
    double s = v * dt * tunables::stepScale;
    bool negative;
    if (s > tunables::flingStepLimitPx) {
        s = tunables::flingStepLimitPx;
        negative = false;
    } else if (s < -tunables::flingStepLimitPx) {
        s = -tunables::flingStepLimitPx;
        negative = true;
    } else {
        negative = s < 0.0;
    }
    if (negative) {
        elapsed = -elapsed;
    }
    const double r = s - elapsed * tunables::flingDecayPxPerMs;
    const int step = static_cast<int>(std::trunc(r));
    const bool keepsSign = negative ? !(r > 0.0) : !(r < 0.0);
    lastReadPoint.y = curPoint.y;
    if (step != 0 && std::abs(std::trunc(s)) >= std::abs(step) && keepsSign) {
        return step;
    }
    stopFling();
    return 0;
}

int MotionTracker::nextScrollStep() {
    MotionLockGuard lock;
    const DWORD now = GetTickCount();
    const double dt = msBetween(now, lastStepTime);
    if (dt < tunables::minStepIntervalMs) {
        return 0;
    }
    if (!flinging) {
        const int step = curPoint.y - lastReadPoint.y;
        lastStepTime = now;
        lastReadPoint.y = curPoint.y;
        return step;
    }
    if (sampleCount < 2) {
        stopFling();
        return 0;
    }
    return flingStep(dt, now);
}

int MotionTracker::tickScrollTarget() {
    MotionLockGuard lock;
    if (scrollTarget == nullptr) {
        return 0;
    }
    return scrollTarget->onTimer();
}

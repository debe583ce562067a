// The toolkit's process-wide state put back as a program finds it when it starts: no frame, no
// display surfaces, shared images and fonts released, a fresh tracker, the full scale. Free of
// the test framework, so that fuzz targets and soak runs use it too.
#pragma once

#include "DisplayFrame.h"
#include "MessageBoxSense.h"
#include "MotionTracker.h"
#include "ResourceManager.h"
#include "SharedResources.h"

namespace toolkit_test {

inline void resetToolkitState() {
    releaseSharedWidgetResources();
    theFrame = nullptr;
    mainWindow = nullptr;
    appInstance = nullptr;
    primarySurface = nullptr;
    viewRect = clientRect = dirtyRect = RECT{};
    drawingReady = portrait = 0;
    frameHasFocus = fullRedraw = 1;
    boxResult = 0;
    *sharedTracker() = MotionTracker();
    scaleFactor = 1.0;
    resourceDir.clear();
    rescaleStepHook = nullptr;
}

} // namespace toolkit_test

#include "ToolkitState.h"

#include "MotionTracker.h"
#include "SharedResources.h"

#include <utility>

ToolkitState toolkitState;

void resetToolkitState() {
    ToolkitState& state = toolkitState;
    if (state.backBuffer != nullptr) {
        std::exchange(state.backBuffer, nullptr)->Release();
    }
    state.scrollBar.release();
    // The native editor is a window of the old display; the next field makes a new one.
    if (state.editWindow != nullptr && IsWindow(state.editWindow)) {
        DestroyWindow(state.editWindow);
    }
    releaseSharedResources();
    state = ToolkitState{};
    *sharedTracker() = MotionTracker();
}

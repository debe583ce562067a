// What the message-box tests share: test steps run inside a message loop of the test's thread,
// touches at screen points, the looks of a box button read back from the screen, and a screen
// of containers under the box.
#pragma once

#include "ContainerTestScreen.h"
#include "LoopScript.h"
#include "ToolkitTestSupport.h"

namespace toolkit_test {

// A finger at a screen point; mainWindow's thread takes it from its queue.
inline void touch(platform::PointerAction action, POINT at) {
    platform::Device::instance().pointer(action, at.x, at.y);
}

inline POINT centreOf(const RECT& r) {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Whether a row near the top of `place` on the screen is that row of frame `frame` (0 normal,
// 1 pressed) of the box-button strip: the look is drawn, and drawn exactly there.
inline ::testing::AssertionResult showsButtonFrame(const RECT& place, int frame) {
    constexpr LONG row = 3;
    const ItemStrip& strip = itemStrips[itemSmallBoxButton].main;
    const Pixels frames = surfacePixels(strip.surface);
    const Pixels shown =
        screenPixels(RECT{place.left, place.top + row, place.right, place.top + row + 1});
    for (LONG x = 0; x < strip.frameWidth; ++x) {
        if (shown.at(x, 0) != frames.at(frame * strip.frameWidth + x, row)) {
            return ::testing::AssertionFailure() << "column " << x << " of the button at "
                                                 << place.left << " is not frame " << frame;
        }
    }
    return ::testing::AssertionSuccess();
}

// The box the frame shows now, or null, read as the frame's painters read it.
inline MessageBoxSense* shownBox() {
    MotionLockGuard lock;
    return theFrame != nullptr ? theFrame->modalBox : nullptr;
}

// A screen of containers drawn whole on an open frame with the real resource set, as the main
// screen is when the data-connection question comes. Keeps the pixels of that first paint.
class BoxOverScreen {
public:
    explicit BoxOverScreen(const ToolkitDevice& device) {
        installResourceSet(device);
        frame_ = std::make_unique<OpenFrame>();
        (*frame_)->addScreen(buildContainerScreen(BoxFace::plain, 1).section);
        dirtyRect = RECT{viewRect.left, clientRect.top, viewRect.right, viewRect.bottom};
        fullRedraw = 1;
        theFrame->redraw(true);
        before_ = screenBuffer();
    }

    // The screen as it was before the box, once the messages the box left are handled.
    ::testing::AssertionResult isBack() const {
        pumpMessages();
        return screenMatches(before_, RECT{0, clientRect.top, GetSystemMetrics(SM_CXSCREEN),
                                           GetSystemMetrics(SM_CYSCREEN)});
    }

private:
    std::unique_ptr<OpenFrame> frame_;
    std::vector<std::uint16_t> before_;
};

} // namespace toolkit_test

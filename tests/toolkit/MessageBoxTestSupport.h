// What the message-box tests share: test steps run inside a message loop of the test's thread,
// touches at screen points, the looks of a box button read back from the screen, and a screen
// of containers under the box.
#pragma once

#include "ContainerTestScreen.h"
#include "ToolkitTestSupport.h"

#include <functional>
#include <thread>

namespace toolkit_test {

// Runs steps inside the next message loop of the test's thread (the box's own, when the box is
// asked on this thread), each once the loop has nothing else to do: the timer of a hidden window
// is taken only then, so a step sees the effect of all the input the step before gave. A waiting
// step repeats, a millisecond of the manual clock later, until its condition holds. After the
// last step the script posts WM_QUIT: a loop that wrongly goes on fails instead of hanging.
class LoopScript {
public:
    LoopScript() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = proc;
        windowClass.lpszClassName = L"LoopScript";
        RegisterClassW(&windowClass); // once per device
        window_ = CreateWindowExW(0, L"LoopScript", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  nullptr, nullptr);
        SetWindowLongW(window_, GWL_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~LoopScript() { DestroyWindow(window_); }
    LoopScript(const LoopScript&) = delete;
    LoopScript& operator=(const LoopScript&) = delete;

    LoopScript& then(std::function<void()> step) {
        return waitFor([step = std::move(step)] { return step(), true; });
    }
    LoopScript& waitFor(std::function<bool()> condition) {
        steps_.push_back(std::move(condition));
        return *this;
    }
    void start() {
        SetTimer(window_, 1, 1, nullptr);
        platform::clock::advance(1);
    }

    HWND window() const { return window_; }
    bool finished() const { return next_ == steps_.size(); }
    int userMessages = 0; // WM_USER messages dispatched to the script's window

private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* script = reinterpret_cast<LoopScript*>(GetWindowLongW(hwnd, GWL_USERDATA));
        if (script == nullptr || (message != WM_TIMER && message != WM_USER)) {
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
        if (message == WM_USER) {
            ++script->userMessages;
        } else if (script->finished()) {
            KillTimer(hwnd, 1);
            PostQuitMessage(0);
        } else if (script->steps_[script->next_]()) {
            ++script->next_;
        } else {
            std::this_thread::yield(); // another thread has work to do first
        }
        platform::clock::advance(1);
        return 0;
    }

    HWND window_ = nullptr;
    std::vector<std::function<bool()>> steps_;
    size_t next_ = 0;
};

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

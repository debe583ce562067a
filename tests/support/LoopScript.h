// Test steps run inside a message loop of the test's thread, as a user's input would arrive
// while the program waits. Free of the test framework, so that fuzz targets and soak runs use
// it too.
#pragma once

#include <platform/Clock.h>

#include <windows.h>

#include <functional>
#include <thread>
#include <vector>

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

} // namespace toolkit_test

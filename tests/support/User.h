// Shared pieces of the window-manager tests: a headless device on the manual clock, a window
// class whose procedure records every message, and small helpers.
#pragma once

#include "kernel/Paths.h"
#include "platform/Device.h"
#include "platform/Messages.h"
#include "support/PlatformThread.h"
#include "support/ScopedTestDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace usertest {

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD thread;
};

// Every message that reached a window of the recording class, in order, from any thread.
struct Recorder {
    static inline std::mutex mutex;
    static inline std::vector<Seen> seen;
    // A test's own answer to a message; nullopt lets the default procedure answer.
    static inline std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> handler;

    static void clear() {
        std::lock_guard guard(mutex);
        seen.clear();
    }
    // The messages of the given kinds, in order.
    static std::vector<Seen> only(std::initializer_list<UINT> kinds) {
        std::lock_guard guard(mutex);
        std::vector<Seen> result;
        for (const Seen& s : seen)
            if (std::ranges::find(kinds, s.message) != kinds.end())
                result.push_back(s);
        return result;
    }
};

// Answers one kind of message with `answer`; every other message goes to the default procedure.
inline void onMessage(UINT kind, std::function<std::optional<LRESULT>(HWND, WPARAM)> answer) {
    Recorder::handler = [=](HWND window, UINT message, WPARAM wParam, LPARAM) {
        return message == kind ? answer(window, wParam) : std::nullopt;
    };
}

// One field of each seen message, e.g. pick(seen, &Seen::window).
template <typename T>
std::vector<T> pick(const std::vector<Seen>& seen, T Seen::*field) {
    std::vector<T> result(seen.size());
    std::ranges::transform(seen, result.begin(), field);
    return result;
}

inline LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard guard(Recorder::mutex);
        Recorder::seen.push_back({window, message, wParam, lParam, GetCurrentThreadId()});
    }
    const auto answer =
        Recorder::handler ? Recorder::handler(window, message, wParam, lParam) : std::nullopt;
    return answer ? *answer : DefWindowProcW(window, message, wParam, lParam);
}

inline constexpr const wchar_t* kClassName = L"Recorder";

inline HWND topWindow(DWORD style = WS_VISIBLE, HWND parent = nullptr) {
    return CreateWindowExW(0, kClassName, L"", style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, parent, nullptr, nullptr, nullptr);
}

inline HWND childWindow(HWND parent, RECT r, DWORD style = WS_CHILD | WS_VISIBLE) {
    return CreateWindowExW(0, kClassName, L"child", style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, parent, nullptr, nullptr, nullptr);
}

// A rectangle as a comparable, printable value.
using Box = std::tuple<LONG, LONG, LONG, LONG>;
inline Box box(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}
inline Box windowBox(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return box(rect);
}

// A headless device for each test, the manual clock and the recording class.
class UserTest : public ::testing::Test {
protected:
    explicit UserTest(int width = 480, int height = 640, int dpi = 192)
        : device_(width, height, dpi) {}
    void SetUp() override {
        platform::clock::useManual(1000);
        Recorder::clear();
        Recorder::handler = nullptr;
        WNDCLASSW wc{};
        wc.lpfnWndProc = recordingProc;
        wc.lpszClassName = kClassName;
        RegisterClassW(&wc);
    }
    void TearDown() override {
        Recorder::handler = nullptr;
        platform::clock::useSystem();
    }
    platform::Device& device() { return platform::Device::instance(); }

private:
    platform::ScopedTestDevice device_;
};

// Starts the device again with `config`, in the same folders.
inline void restart(platform::DeviceConfig config) {
    config.deviceDir = platform::paths::deviceDir();
    config.programDir = platform::paths::programDir();
    platform::Device::start(config);
}

// Sets environment variables for its lifetime and then restores them.
struct ScopedEnvironment {
    ScopedEnvironment(std::initializer_list<std::pair<const char*, const char*>> values) {
        for (auto [name, value] : values) {
            const char* old = std::getenv(name);
            saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            setenv(name, value, 1);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, old] : saved)
            old ? setenv(name, old->c_str(), 1) : unsetenv(name);
    }
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
};

using platformtest::spinUntil;
using Worker = platformtest::PlatformThread;

} // namespace usertest

// SendMessageW between threads: the receiver runs it inside its own message wait, and two
// threads sending to each other never deadlock.
#include "UserTestSupport.h"

#include <atomic>

using namespace usertest;

namespace {

class CrossThreadTest : public UserTest {};

// A worker with its own window, reading its messages until WM_QUIT.
class WindowThread {
public:
    WindowThread()
        : worker_([this] {
              window_ = topWindow(0);
              MSG msg{};
              while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                  TranslateMessage(&msg);
                  DispatchMessageW(&msg);
              }
          }) {
        while (window_ == nullptr) {
            std::this_thread::yield();
        }
    }
    ~WindowThread() {
        PostThreadMessageW(worker_.id(), WM_QUIT, 0, 0);
        worker_.join();
    }
    HWND window() const { return window_; }
    DWORD id() const { return worker_.id(); }

private:
    std::atomic<HWND> window_{nullptr};
    Worker worker_;
};

} // namespace

TEST_F(CrossThreadTest, TheReceivingThreadRunsTheMessageAndTheSenderGetsItsResult) {
    Recorder::handler = [](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_USER) {
            return static_cast<LRESULT>(wParam * 2);
        }
        return std::nullopt;
    };
    WindowThread other;
    EXPECT_EQ(SendMessageW(other.window(), WM_USER, 21, 0), 42);
    auto seen = Recorder::only({WM_USER});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].thread, other.id());
}

TEST_F(CrossThreadTest, TwoThreadsSendingToEachOtherDoNotDeadlock) {
    HWND mine = topWindow(0);
    std::atomic<HWND> back{mine};
    Recorder::handler = [&](HWND window, UINT message, WPARAM wParam,
                            LPARAM) -> std::optional<LRESULT> {
        if (message == WM_USER && window != back.load()) {
            // On the other thread: ask this thread's window before answering.
            return SendMessageW(back.load(), WM_USER + 1, wParam, 0) + 1;
        }
        if (message == WM_USER + 1) {
            return static_cast<LRESULT>(wParam * 10);
        }
        return std::nullopt;
    };
    WindowThread other;
    EXPECT_EQ(SendMessageW(other.window(), WM_USER, 4, 0), 41);
    auto seen = Recorder::only({WM_USER + 1});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].thread, GetCurrentThreadId()) << "handled here while this thread waited";
}

TEST_F(CrossThreadTest, PostedMessagesReachTheOwningThread) {
    std::atomic<DWORD> handledOn{0};
    HANDLE handled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Recorder::handler = [&](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_USER + 3) {
            handledOn = GetCurrentThreadId();
            SetEvent(handled);
        }
        return std::nullopt;
    };
    WindowThread other;
    PostMessageW(other.window(), WM_USER + 3, 0, 0);
    ASSERT_EQ(WaitForSingleObject(handled, INFINITE), WAIT_OBJECT_0);
    CloseHandle(handled);
    EXPECT_EQ(handledOn.load(), other.id());
}

TEST_F(CrossThreadTest, ASenderWaitingOnAThreadThatEndsIsReleased) {
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> blocked{false};
    Worker owner([&] {
        window = topWindow(0);
        while (!blocked) {
            std::this_thread::yield();
        }
        // Ends without ever reading its messages.
    });
    while (window == nullptr) {
        std::this_thread::yield();
    }
    LRESULT result = -1;
    Worker sender([&] { result = SendMessageW(window, WM_USER, 0, 0); });
    waitUntilBlocked(sender.id());
    blocked = true;
    owner.join();
    sender.join();
    EXPECT_EQ(result, 0);
}

// SendMessageW between threads: the receiver runs it inside its own message wait, and two
// threads sending to each other never deadlock.
#include "UserTestSupport.h"

using namespace usertest;

using CrossThreadTest = UserTest;

TEST_F(CrossThreadTest, TwoThreadsSendingToEachOtherDoNotDeadlock) {
    HWND mine = topWindow(0);
    Recorder::handler = [&](HWND window, UINT message, WPARAM wParam,
                            LPARAM) -> std::optional<LRESULT> {
        if (message == WM_USER && window != mine) {
            // On the other thread: ask this thread's window before answering.
            return SendMessageW(mine, WM_USER + 1, wParam, 0) + 1;
        }
        if (message == WM_USER + 1)
            return static_cast<LRESULT>(wParam * 10);
        return std::nullopt;
    };
    WindowThread other;
    EXPECT_EQ(SendMessageW(other.window(), WM_USER, 4, 0), 41);
    EXPECT_EQ(pick(Recorder::only({WM_USER, WM_USER + 1}), &Seen::thread),
              (std::vector<DWORD>{other.id(), GetCurrentThreadId()}))
        << "each window's own thread runs what is sent to it, this one while it waited";
}

TEST_F(CrossThreadTest, ASenderWaitingOnAThreadThatEndsIsReleased) {
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> blocked{false};
    Worker owner([&] {
        window = topWindow(0);
        spinUntil([&] { return blocked.load(); }); // ends without ever reading its messages
    });
    spinUntil([&] { return window != nullptr; });
    LRESULT result = -1;
    Worker sender([&] { result = SendMessageW(window, WM_USER, 0, 0); });
    sender.settle();
    blocked = true;
    owner.join();
    sender.join();
    EXPECT_EQ(result, 0);
}

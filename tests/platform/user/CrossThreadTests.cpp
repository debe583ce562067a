// SendMessageW between threads: the receiver runs it inside its own message wait, and two
// threads sending to each other never deadlock.
#include "UserTestSupport.h"

using namespace usertest;

namespace {

class CrossThreadTest : public UserTest {};

} // namespace

TEST_F(CrossThreadTest, TheOwningThreadRunsSentAndPostedMessagesAndTheSenderGetsTheResult) {
    HANDLE posted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Recorder::handler = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_USER + 3) {
            SetEvent(posted);
        }
        return message == WM_USER ? std::optional<LRESULT>(wParam * 2) : std::nullopt;
    };
    WindowThread other;
    EXPECT_EQ(SendMessageW(other.window(), WM_USER, 21, 0), 42);
    PostMessageW(other.window(), WM_USER + 3, 0, 0);
    ASSERT_EQ(WaitForSingleObject(posted, INFINITE), WAIT_OBJECT_0);
    CloseHandle(posted);
    auto seen = Recorder::only({WM_USER, WM_USER + 3});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].thread, other.id());
    EXPECT_EQ(seen[1].thread, other.id());
}

TEST_F(CrossThreadTest, TwoThreadsSendingToEachOtherDoNotDeadlock) {
    HWND mine = topWindow(0);
    Recorder::handler = [&](HWND window, UINT message, WPARAM wParam,
                            LPARAM) -> std::optional<LRESULT> {
        if (message == WM_USER && window != mine) {
            // On the other thread: ask this thread's window before answering.
            return SendMessageW(mine, WM_USER + 1, wParam, 0) + 1;
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
    waitUntilBlocked(sender.id());
    blocked = true;
    owner.join();
    sender.join();
    EXPECT_EQ(result, 0);
}

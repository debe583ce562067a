// The order in which GetMessageW hands out messages, thread messages, quit, the fatal -1, and
// SendMessageW between threads: the receiver runs it inside its own message wait, and two threads
// sending to each other never deadlock.
#include "support/User.h"

using namespace usertest;

using MessageQueueTest = UserTest;

static MSG next(BOOL result = TRUE) {
    MSG msg{};
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), result);
    return msg;
}

TEST_F(MessageQueueTest, SentComeFirstThenPostedInputQuitPaintAndTimer) {
    HWND window = topWindow();
    platform::pumpMessages(); // the first paint of the shown window
    Recorder::clear();
    SetTimer(window, 7, 10, nullptr);
    platform::clock::advance(10);
    InvalidateRect(window, nullptr, FALSE);
    device().pointer(platform::PointerAction::down, 100, 300);
    PostQuitMessage(3);
    PostMessageW(window, WM_USER + 1, 0, 0);
    Worker sender([&] { SendMessageW(window, WM_USER + 2, 0, 0); });
    sender.settle();

    EXPECT_EQ(next().message, static_cast<UINT>(WM_USER + 1));
    // The sent message runs inside GetMessageW, before posted ones.
    EXPECT_EQ(pick(Recorder::only({WM_USER + 2}), &Seen::thread),
              std::vector<DWORD>{GetCurrentThreadId()});
    EXPECT_EQ(next().message, static_cast<UINT>(WM_LBUTTONDOWN));
    const MSG quit = next(FALSE);
    EXPECT_EQ(std::pair(quit.message, quit.wParam), std::pair(UINT{WM_QUIT}, WPARAM{3}));
    EXPECT_EQ(next().message, static_cast<UINT>(WM_PAINT));
    ValidateRect(window, nullptr);
    const MSG timer = next();
    EXPECT_EQ(std::pair(timer.message, timer.wParam), std::pair(UINT{WM_TIMER}, WPARAM{7}));
}

TEST_F(MessageQueueTest, AWindowlessPostIsAThreadMessageAndQuitWaitsBehindIt) {
    PostQuitMessage(0);
    PostMessageW(nullptr, WM_USER, 1, 42);
    MSG msg = next();
    EXPECT_EQ(std::tuple(msg.hwnd, msg.message, msg.wParam, msg.lParam),
              std::tuple(HWND{}, UINT{WM_USER}, WPARAM{1}, LPARAM{42}));
    EXPECT_EQ(DispatchMessageW(&msg), 0) << "thread messages reach no procedure";
    EXPECT_EQ(next(FALSE).message, static_cast<UINT>(WM_QUIT));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "the quit flag is taken once";
}

TEST_F(MessageQueueTest, AWindowFilterPassesOverOtherWindowsAndRefusesAWindowThatIsNotThere) {
    HWND a = topWindow(0), b = topWindow(0);
    PostMessageW(a, WM_USER, 0, 0);
    PostMessageW(b, WM_USER + 1, 0, 0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(std::pair(msg.hwnd, msg.message), std::pair(b, UINT{WM_USER + 1}));
    EXPECT_FALSE(PeekMessageW(&msg, b, 0, 0, PM_REMOVE));
    SetLastError(0);
    EXPECT_EQ(GetMessageW(&msg, reinterpret_cast<HWND>(0x99), 0, 0), -1);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
    EXPECT_EQ(GetMessageW(nullptr, nullptr, 0, 0), -1);
    EXPECT_EQ(next().hwnd, a);
}

TEST_F(MessageQueueTest, TwoThreadsSendingToEachOtherDoNotDeadlock) {
    HWND mine = topWindow(0);
    Recorder::handler = [&](HWND window, UINT message, WPARAM wParam,
                            LPARAM) -> std::optional<LRESULT> {
        if (message == WM_USER && window != mine) // on the other thread: ask this one first
            return SendMessageW(mine, WM_USER + 1, wParam, 0) + 1;
        return message == WM_USER + 1 ? std::optional(LRESULT(wParam * 10)) : std::nullopt;
    };
    std::atomic<HWND> theirs{nullptr};
    Worker other([&] {
        theirs = topWindow(0);
        for (MSG msg{}; GetMessageW(&msg, nullptr, 0, 0) > 0;)
            DispatchMessageW(&msg);
    });
    spinUntil([&] { return theirs != nullptr; });
    EXPECT_EQ(SendMessageW(theirs, WM_USER, 4, 0), 41);
    PostThreadMessageW(other.id(), WM_QUIT, 0, 0);
    other.join();
    // Each window's own thread runs what is sent to it, this one while it waited.
    EXPECT_EQ(pick(Recorder::only({WM_USER, WM_USER + 1}), &Seen::thread),
              (std::vector<DWORD>{other.id(), GetCurrentThreadId()}));
}

TEST_F(MessageQueueTest, ASenderWaitingOnAThreadThatEndsIsReleased) {
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

TEST_F(MessageQueueTest, ASenderIsReleasedWhenTheThreadRunningItsMessageIsTerminated) {
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> running{false};
    onMessage(WM_USER, [&](HWND, WPARAM) {
        running = true;
        WaitForSingleObject(never, INFINITE);
        return LRESULT{1};
    });
    std::atomic<HWND> window{nullptr};
    Worker owner([&] {
        window = topWindow(0);
        for (MSG msg{}; GetMessageW(&msg, nullptr, 0, 0) > 0;)
            DispatchMessageW(&msg);
    });
    spinUntil([&] { return window != nullptr; });
    Worker killer([&] {
        spinUntil([&] { return running.load(); });
        owner.settle();
        TerminateThread(owner.handle(), 0);
    });
    EXPECT_EQ(SendMessageW(window, WM_USER, 0, 0), 0);
    CloseHandle(never);
}

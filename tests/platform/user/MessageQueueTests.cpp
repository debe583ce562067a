// The order in which GetMessageW hands out messages, thread messages, quit, and the fatal -1.
#include "UserTestSupport.h"

using namespace usertest;

namespace {

using MessageQueueTest = UserTest;

MSG next() {
    MSG msg{};
    EXPECT_NE(GetMessageW(&msg, nullptr, 0, 0), -1);
    return msg;
}

} // namespace

TEST_F(MessageQueueTest, SentComeFirstThenPostedInputQuitPaintAndTimer) {
    HWND window = topWindow();
    ASSERT_NE(window, nullptr);
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
    auto sent = Recorder::only({WM_USER + 2});
    ASSERT_EQ(sent.size(), 1u) << "the sent message runs inside GetMessageW, before posted ones";
    EXPECT_EQ(sent[0].thread, GetCurrentThreadId());

    EXPECT_EQ(next().message, static_cast<UINT>(WM_LBUTTONDOWN));
    MSG msg{};
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(next().message, static_cast<UINT>(WM_PAINT));
    ValidateRect(window, nullptr);
    msg = next();
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(MessageQueueTest, AWindowlessPostIsAThreadMessageAndQuitWaitsBehindIt) {
    PostQuitMessage(0);
    PostMessageW(nullptr, WM_USER, 1, 42);
    MSG msg = next();
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.lParam, 42);
    EXPECT_EQ(DispatchMessageW(&msg), 0) << "thread messages reach no procedure";
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "the quit flag is taken once";
}

TEST_F(MessageQueueTest, ABlockedGetMessageWakesForItsOwnThreadMessageOrEndsWhenTerminated) {
    std::atomic<UINT> received{0};
    auto reader = [&] {
        MSG msg{};
        const BOOL result = GetMessageW(&msg, nullptr, 0, 0);
        received = result > 0 && msg.hwnd == nullptr ? msg.message : 1;
    };
    Worker woken(reader);
    Worker terminated(reader);
    woken.settle();
    terminated.settle();
    ASSERT_TRUE(TerminateThread(terminated.handle(), 77));
    terminated.join();
    EXPECT_EQ(received.load(), 0u) << "the terminated thread ended inside GetMessageW";
    ASSERT_TRUE(PostThreadMessageW(woken.id(), WM_USER + 5, 0, 0));
    woken.join();
    EXPECT_EQ(received.load(), static_cast<UINT>(WM_USER + 5));
    MSG msg{};
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "nothing came to this thread";
}

TEST_F(MessageQueueTest, PeekFiltersByWindowAndRangeAndNoRemoveLeavesTheMessage) {
    HWND a = topWindow(0);
    HWND b = topWindow(0);
    PostMessageW(a, WM_USER + 1, 0, 0);
    PostMessageW(b, WM_USER + 2, 0, 0);
    PostMessageW(a, WM_USER + 3, 0, 0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, b, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueueTest, GetMessageFailsWhenAskedToAndNeitherCallTakesAWindowThatIsNotOne) {
    MSG msg{};
    PostMessageW(nullptr, WM_USER, 0, 0);
    platform::failNextGetMessage();
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), -1);
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE) << "only the next call fails";
    EXPECT_EQ(GetMessageW(&msg, reinterpret_cast<HWND>(0x1234), 0, 0), -1);
    HWND window = topWindow(0);
    DestroyWindow(window);
    EXPECT_FALSE(PostMessageW(window, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

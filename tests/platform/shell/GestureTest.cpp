// Tap-and-hold: SHRecognizeGesture follows the stylus on the device clock.
#include "support/Shell.h"
#include "aygshell.h"

using namespace shelltest;
using platform::PointerAction;

namespace {

class GestureTest : public EditFieldTest {
protected:
    // A gesture at (100, 230): the owner covers the screen, its client points are screen points.
    SHRGINFO gesture() { return {sizeof(SHRGINFO), ownerWindow(), {100, 230}}; }

    // Recognises a gesture while another thread runs `act` once this one waits inside;
    // `settle` waits until it waits again.
    DWORD recognizeWhile(std::function<void(const std::function<void()>&)> act) {
        const auto settle = [self = GetCurrentThreadId()] {
            platformtest::spinUntil([&] { return platform::kernel::isBlocked(self); });
        };
        std::thread helper([&] {
            settle();
            act(settle);
        });
        SHRGINFO info = gesture();
        const DWORD result = SHRecognizeGesture(&info);
        helper.join();
        return result;
    }
};

} // namespace

TEST_F(GestureTest, OnlyAStylusHeldStillForHalfASecondIsAContextMenuGesture) {
    device().pointer(PointerAction::down, 100, 230);
    const DWORD held = recognizeWhile([](const auto& settle) {
        platform::clock::advance(499);
        settle(); // still following the stylus after 499 ms
        platform::clock::advance(26);
    });
    EXPECT_EQ(held, static_cast<DWORD>(GN_CONTEXTMENU));
    device().pointer(PointerAction::up, 100, 230);

    // Lifted or moved away after 100 ms; moved by just the slop (10 px at 192 dpi), it holds on.
    struct Interruption {
        PointerAction action;
        POINT at;
        DWORD result;
    };
    const Interruption interruptions[] = {{PointerAction::up, {100, 230}, 0},
                                          {PointerAction::move, {160, 230}, 0},
                                          {PointerAction::move, {100, 240}, GN_CONTEXTMENU}};
    for (const Interruption& interruption : interruptions) {
        platform::pumpMessages(); // the moves a follow leaves queued
        device().pointer(PointerAction::down, 100, 230);
        const DWORD result = recognizeWhile([&](const auto&) {
            platform::clock::advance(100);
            device().pointer(interruption.action, interruption.at.x, interruption.at.y);
            platform::clock::advance(425);
        });
        EXPECT_EQ(result, interruption.result) << interruption.at.x << "," << interruption.at.y;
        device().pointer(PointerAction::up, interruption.at.x, interruption.at.y);
    }
}

// Found by the main screen's touch fuzzer as a slowdown: every press on the native editor left a
// thread timer behind (SetTimer without a window takes a new id, which the follow then did not
// kill), and the idle program woke for each of them every 25 ms.
TEST_F(GestureTest, FollowingAPressLeavesNoTimerBehind) {
    for (int press = 0; press < 3; ++press) {
        device().pointer(PointerAction::down, 100, 230);
        recognizeWhile([](const auto&) { platform::clock::advance(525); });
        device().pointer(PointerAction::up, 100, 230);
    }
    platform::clock::advance(1000);
    int threadTimers = 0;
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
        threadTimers += msg.hwnd == nullptr ? 1 : 0;
    EXPECT_EQ(threadTimers, 0);
}

// A quit that a timer of the program's posts while the press is followed ends the follow, and is
// left with its code for the program's own loop.
TEST_F(GestureTest, AQuitWhileFollowingEndsTheFollowAndIsLeftForTheProgramsLoop) {
    static std::atomic<bool> posted{false};
    std::atomic<bool> followed{false};
    device().pointer(PointerAction::down, 100, 230);
    SetTimer(ownerWindow(), 9, 100, [](HWND, UINT, UINT_PTR, DWORD) {
        PostQuitMessage(5);
        posted = true;
    });
    std::thread helper([&, self = GetCurrentThreadId()] {
        platformtest::spinUntil([&] { return platform::kernel::isBlocked(self); });
        platform::clock::advance(100);
        platformtest::spinUntil(
            [&] { return posted && (followed || platform::kernel::isBlocked(self)); });
        if (!followed)
            platform::clock::advance(425); // a follow that lost the quit ends as a hold
    });
    SHRGINFO info = gesture();
    const DWORD result = SHRecognizeGesture(&info);
    followed = true;
    helper.join();
    KillTimer(ownerWindow(), 9);
    device().pointer(PointerAction::up, 100, 230);
    EXPECT_EQ(result, 0u);
    MSG quit{};
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(std::pair(quit.message, quit.wParam), std::pair(UINT{WM_QUIT}, WPARAM{5}));
}

// Focus, activation and showing: the messages they send and where the focus goes.
#include "UserTestSupport.h"

using namespace usertest;

using FocusTest = UserTest;

TEST_F(FocusTest, SetFocusSendsKillFocusThenSetFocusAtOnce) {
    HWND parent = topWindow();
    HWND a = childWindow(parent, RECT{0, 0, 10, 10});
    HWND b = childWindow(parent, RECT{10, 0, 20, 10});
    SetFocus(a);
    Recorder::clear();
    EXPECT_EQ(SetFocus(b), a);
    auto seen = Recorder::only({WM_KILLFOCUS, WM_SETFOCUS});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(std::tuple(seen[0].message, seen[0].window, seen[0].wParam),
              std::tuple(UINT{WM_KILLFOCUS}, a, reinterpret_cast<WPARAM>(b)));
    EXPECT_EQ(std::tuple(seen[1].message, seen[1].window, seen[1].wParam),
              std::tuple(UINT{WM_SETFOCUS}, b, reinterpret_cast<WPARAM>(a)));
    EXPECT_EQ(GetFocus(), b);
    Recorder::clear();
    SetFocus(b);
    EXPECT_TRUE(Recorder::only({WM_KILLFOCUS, WM_SETFOCUS}).empty()) << "no change, no message";
}

TEST_F(FocusTest, HidingOrDestroyingTheFocusWindowGivesTheFocusToItsParent) {
    HWND parent = topWindow();
    for (bool destroy : {false, true}) {
        HWND child = childWindow(parent, RECT{0, 0, 10, 10});
        SetFocus(child);
        Recorder::clear();
        destroy ? DestroyWindow(child) : ShowWindow(child, SW_HIDE);
        EXPECT_EQ(GetFocus(), parent) << "destroyed: " << destroy;
        EXPECT_EQ(pick(Recorder::only({WM_SETFOCUS}), &Seen::window), std::vector<HWND>{parent});
    }
}

TEST_F(FocusTest, ActivationMovesOnShowAndOnSetForegroundWithTheHandlesLowBitSet) {
    HWND first = topWindow(0);
    ShowWindow(first, SW_SHOWNORMAL);
    EXPECT_EQ(GetForegroundWindow(), first);
    HWND second = topWindow(0);
    Recorder::clear();
    ShowWindow(second, SW_SHOW);
    auto seen = Recorder::only({WM_ACTIVATE});
    EXPECT_EQ(pick(seen, &Seen::window), (std::vector<HWND>{first, second}));
    EXPECT_EQ(pick(seen, &Seen::wParam), (std::vector<WPARAM>{WA_INACTIVE, WA_ACTIVE}));
    EXPECT_EQ(GetFocus(), second) << "the default procedure focuses the activated window";

    Recorder::clear();
    const auto marked = reinterpret_cast<HWND>(reinterpret_cast<UINT_PTR>(first) | 1);
    EXPECT_TRUE(SetForegroundWindow(marked));
    EXPECT_EQ(GetForegroundWindow(), first);
    seen = Recorder::only({WM_ACTIVATE});
    EXPECT_EQ(pick(seen, &Seen::window), (std::vector<HWND>{second, first}));
    Recorder::clear();
    SetForegroundWindow(first);
    EXPECT_TRUE(Recorder::only({WM_ACTIVATE}).empty());
}

TEST_F(FocusTest, FocusMovesAcrossThreadsWithoutEitherWaitingForTheOther) {
    HWND main = topWindow();
    SetFocus(main);
    platform::pumpMessages();
    Recorder::clear();
    // The worker's child of this thread's window takes the focus while this thread is not
    // reading messages: the worker must still run to its end.
    Worker worker([&] {
        HWND own = childWindow(main, RECT{0, 0, 0, 0});
        SetFocus(own);
        ShowWindow(own, SW_HIDE);
        DestroyWindow(own);
    });
    worker.join();
    EXPECT_EQ(GetFocus(), main);
    platform::pumpMessages();
    std::vector<std::pair<UINT, DWORD>> here;
    for (const Seen& s : Recorder::only({WM_KILLFOCUS, WM_SETFOCUS})) {
        if (s.window == main)
            here.emplace_back(s.message, s.thread);
    }
    EXPECT_EQ(here.size(), 2u);
    EXPECT_EQ(here.back(), std::pair(UINT{WM_SETFOCUS}, GetCurrentThreadId()));
}

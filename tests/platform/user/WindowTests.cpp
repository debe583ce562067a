// Window classes, creation and destruction, placement, window data and text; focus, activation
// and showing: the messages they send and where the focus goes.
#include "support/User.h"

#include "user/Desktop.h"

using namespace usertest;

using WindowTest = UserTest;

TEST_F(WindowTest, DefaultPlacementFillsTheWorkAreaOrTheParentsOriginForAChild) {
    HWND top = topWindow(0);
    EXPECT_EQ(windowBox(top), Box(0, 52, 480, 640)) << "below the task bar";
    RECT client{};
    GetClientRect(top, &client);
    EXPECT_EQ(box(client), Box(0, 0, 480, 588));
    HWND child = topWindow(WS_CHILD, top);
    EXPECT_EQ(std::pair(windowBox(child), GetParent(child)), std::pair(Box(0, 52, 0, 52), top));
    HWND popup = topWindow(WS_POPUP, top);
    EXPECT_EQ(windowBox(popup), Box(0, 52, 480, 640)) << "a pop-up is top-level";
    EXPECT_EQ(GetParent(popup), top) << "owned by the parent it was given";
    SetWindowTextW(top, L"Main");
    ShowWindow(popup, SW_SHOW);
    EXPECT_EQ(platform::user::mainWindowTitle(), L"Main") << "the owner's, not the active pop-up's";
}

TEST_F(WindowTest, AParentedWindowWithoutPopUpStyleIsAChildPlacedInTheParentsClientArea) {
    HWND edit = CreateWindowExW(0, kClassName, L"", ES_AUTOHSCROLL, 10, 20, 100, 40, topWindow(0),
                                reinterpret_cast<HMENU>(102), nullptr, nullptr);
    EXPECT_NE(GetWindowLongW(edit, GWL_STYLE) & WS_CHILD, 0);
    EXPECT_EQ(GetDlgCtrlID(edit), 102);
    EXPECT_EQ(windowBox(edit), Box(10, 72, 110, 112));
    Recorder::clear();
    MoveWindow(edit, 30, 40, 50, 25, TRUE);
    EXPECT_EQ(windowBox(edit), Box(30, 92, 80, 117));
    auto moved = Recorder::only({WM_WINDOWPOSCHANGED, WM_SIZE});
    EXPECT_EQ(pick(moved, &Seen::message), (std::vector<UINT>{WM_WINDOWPOSCHANGED, WM_SIZE}));
    EXPECT_EQ(moved.back().lParam, MAKELPARAM(50, 25));
    POINT p{0, 0};
    ClientToScreen(edit, &p);
    EXPECT_EQ(std::pair(p.x, p.y), std::pair(30, 92));
    HWND shown = childWindow(topWindow(), RECT{0, 0, 10, 10});
    ValidateRect(shown, nullptr);
    MoveWindow(shown, 20, 20, 10, 10, TRUE);
    EXPECT_TRUE(GetUpdateRect(shown, nullptr, FALSE)) << "a shown window moved is painted again";
    ValidateRect(shown, nullptr);
    MoveWindow(shown, 0, 0, 10, 10, FALSE);
    EXPECT_FALSE(GetUpdateRect(shown, nullptr, FALSE)) << "unless asked not to";
    EXPECT_FALSE(GetWindowRect(shown, nullptr) || GetClientRect(shown, nullptr) ||
                 ClientToScreen(shown, nullptr));
}

TEST_F(WindowTest, DestroyTellsTheWindowThenItsChildrenOnlyOnTheOwningThreadAndOnClose) {
    HWND parent = topWindow();
    HWND child = childWindow(parent, RECT{0, 0, 10, 10});
    HWND grandChild = childWindow(child, RECT{0, 0, 5, 5});
    Recorder::clear();
    EXPECT_TRUE(DestroyWindow(parent));
    EXPECT_EQ(pick(Recorder::only({WM_DESTROY}), &Seen::window),
              (std::vector<HWND>{parent, child, grandChild}));
    for (HWND w : {parent, child, grandChild})
        EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(DestroyWindow(parent));

    onMessage(WM_CREATE, [](HWND, WPARAM) { return -1; });
    Recorder::clear();
    EXPECT_EQ(topWindow(0), nullptr) << "a window that refuses its creation";
    ASSERT_EQ(Recorder::only({WM_DESTROY}).size(), 1u);
    EXPECT_FALSE(IsWindow(Recorder::only({WM_DESTROY})[0].window));
    Recorder::handler = nullptr;

    HWND other = topWindow(0);
    BOOL result = TRUE;
    Worker([&] { result = DestroyWindow(other); }).join();
    EXPECT_FALSE(result) << "only the owning thread destroys";
    EXPECT_TRUE(IsWindow(other));
    SendMessageW(other, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(other)) << "the default procedure destroys on close";
}

TEST_F(WindowTest, UserDataAndTextAreKept) {
    HWND window = topWindow(0);
    const auto pointer = reinterpret_cast<LONG_PTR>(&window);
    EXPECT_EQ(SetWindowLongW(window, GWL_USERDATA, pointer), 0);
    EXPECT_EQ(GetWindowLongW(window, GWL_USERDATA), pointer) << "a whole pointer";
    ASSERT_TRUE(SetWindowTextW(window, std::wstring(300, L'7').c_str()));
    std::wstring buffer(256, L'#');
    EXPECT_EQ(GetWindowTextW(window, buffer.data(), 255), 254) << "cut to the buffer";
    EXPECT_EQ(buffer.substr(253, 3), std::wstring(L"7\0#", 3)) << "nothing past it";
    EXPECT_EQ(GetWindowTextW(window, buffer.data(), 1), 0);
    EXPECT_EQ(GetWindowTextW(reinterpret_cast<HWND>(0x99), nullptr, 5), 0);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(GetWindowTextLengthW(window), 300);
    EXPECT_EQ(Recorder::only({WM_GETTEXT}).size(), 2u) << "read through the window";
    int length = 0;
    Worker([&] { length = GetWindowTextW(window, buffer.data(), 4); }).join();
    EXPECT_EQ(length, 3) << "another thread reads the text without the window";
    EXPECT_EQ(buffer.substr(0, 4), std::wstring(L"777\0", 4));
    EXPECT_EQ(Recorder::only({WM_GETTEXT}).size(), 2u);
}

TEST_F(WindowTest, SetFocusSendsKillFocusThenSetFocusAtOnce) {
    HWND parent = topWindow();
    HWND a = childWindow(parent, RECT{0, 0, 10, 10}), b = childWindow(parent, RECT{10, 0, 20, 10});
    SetFocus(a);
    Recorder::clear();
    EXPECT_EQ(SetFocus(b), a);
    auto seen = Recorder::only({WM_KILLFOCUS, WM_SETFOCUS});
    EXPECT_EQ(pick(seen, &Seen::message), (std::vector<UINT>{WM_KILLFOCUS, WM_SETFOCUS}));
    EXPECT_EQ(pick(seen, &Seen::window), (std::vector<HWND>{a, b}));
    EXPECT_EQ(pick(seen, &Seen::wParam), (std::vector{WPARAM(b), WPARAM(a)}));
    EXPECT_EQ(GetFocus(), b);
    Recorder::clear();
    SetFocus(b);
    EXPECT_TRUE(Recorder::only({WM_KILLFOCUS, WM_SETFOCUS}).empty()) << "no change, no message";
}

TEST_F(WindowTest, HidingOrDestroyingTheFocusWindowGivesTheFocusToItsParent) {
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

TEST_F(WindowTest, ActivationMovesOnShowAndOnSetForegroundWithTheHandlesLowBitSet) {
    HWND first = topWindow(0), second = topWindow(0);
    ShowWindow(first, SW_SHOWNORMAL);
    EXPECT_EQ(GetForegroundWindow(), first);
    Recorder::clear();
    ShowWindow(second, SW_SHOW);
    auto seen = Recorder::only({WM_ACTIVATE});
    EXPECT_EQ(pick(seen, &Seen::window), (std::vector<HWND>{first, second}));
    EXPECT_EQ(pick(seen, &Seen::wParam), (std::vector<WPARAM>{WA_INACTIVE, WA_ACTIVE}));
    EXPECT_EQ(GetFocus(), second) << "the default procedure focuses the activated window";
    Recorder::clear();
    EXPECT_TRUE(SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<UINT_PTR>(first) | 1)));
    EXPECT_EQ(GetForegroundWindow(), first);
    EXPECT_EQ(pick(Recorder::only({WM_ACTIVATE}), &Seen::window), (std::vector{second, first}));
    Recorder::clear();
    SetForegroundWindow(first);
    EXPECT_TRUE(Recorder::only({WM_ACTIVATE}).empty());
    DestroyWindow(first);
    EXPECT_EQ(GetForegroundWindow(), second) << "the window below takes the foreground";
}

TEST_F(WindowTest, FocusMovesAcrossThreadsWithoutEitherWaitingForTheOther) {
    HWND main = topWindow();
    SetFocus(main);
    platform::pumpMessages();
    Recorder::clear();
    // The worker's child of this thread's window takes the focus while this thread is not
    // reading messages: the worker must still run to its end.
    Worker([&] {
        HWND own = childWindow(main, RECT{0, 0, 0, 0});
        SetFocus(own);
        ShowWindow(own, SW_HIDE);
        DestroyWindow(own);
    }).join();
    EXPECT_EQ(GetFocus(), main);
    platform::pumpMessages();
    auto seen = Recorder::only({WM_KILLFOCUS, WM_SETFOCUS});
    std::erase_if(seen, [&](const Seen& s) { return s.window != main; });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(std::pair(seen[1].message, seen[1].thread),
              std::pair(UINT{WM_SETFOCUS}, GetCurrentThreadId()));
}

// Window classes, creation and destruction, placement, window data and text.
#include "UserTestSupport.h"

#include <atomic>

using namespace usertest;

namespace {

class WindowTest : public UserTest {};

class SmallPhoneWindowTest : public UserTest {
protected:
    SmallPhoneWindowTest() : UserTest(240, 320, 96) {}
};

} // namespace

TEST_F(WindowTest, ClassNamesAreCaseInsensitiveAndRegisterOnce) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = L"RECORDER";
    EXPECT_EQ(RegisterClassW(&wc), 0) << "the fixture registered \"Recorder\" already";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_NE(
        CreateWindowExW(0, L"rEcOrDeR", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(
        CreateWindowExW(0, L"NoSuchClass", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
}

TEST_F(WindowTest, CreateHandsTheCreationParameterToWMCreate) {
    int marker = 0;
    LPVOID seen = nullptr;
    Recorder::handler = [&](HWND, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
        if (message == WM_CREATE) {
            seen = reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams;
        }
        return std::nullopt;
    };
    HWND window = topWindow(0, &marker);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(seen, &marker);
    EXPECT_EQ(Recorder::all().front().message, static_cast<UINT>(WM_CREATE));
}

TEST_F(WindowTest, ACreateProcedureAnsweringMinusOneCancelsTheWindow) {
    Recorder::handler = [](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_CREATE) {
            return -1;
        }
        return std::nullopt;
    };
    EXPECT_EQ(topWindow(), nullptr);
    EXPECT_EQ(Recorder::only({WM_DESTROY}).size(), 1u);
}

TEST_F(WindowTest, DefaultTopLevelPlacementIsTheWorkAreaBelowTheTaskBar) {
    HWND window = topWindow(0);
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_TRUE(sameRect(rect, RECT{0, 52, 480, 640}));
    GetClientRect(window, &rect);
    EXPECT_TRUE(sameRect(rect, RECT{0, 0, 480, 588}));
}

TEST_F(SmallPhoneWindowTest, TheTaskBarScalesWithTheResolution) {
    HWND window = topWindow(0);
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_TRUE(sameRect(rect, RECT{0, 26, 240, 320}));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 320);
}

TEST_F(WindowTest, ADefaultChildHasAnEmptyRectangleAtItsParentsOrigin) {
    HWND parent = topWindow(0);
    HWND child = CreateWindowExW(0, kClassName, L"", WS_CHILD, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr, nullptr, nullptr);
    RECT rect{};
    GetWindowRect(child, &rect);
    EXPECT_TRUE(sameRect(rect, RECT{0, 52, 0, 52}));
    EXPECT_EQ(GetParent(child), parent);
}

TEST_F(WindowTest, AWindowWithAParentAndNoPopUpStyleIsAChild) {
    HWND parent = topWindow(0);
    HWND edit = CreateWindowExW(0, kClassName, L"", ES_AUTOHSCROLL, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, parent, reinterpret_cast<HMENU>(102),
                                nullptr, nullptr);
    EXPECT_NE(GetWindowLongW(edit, GWL_STYLE) & WS_CHILD, 0);
    EXPECT_EQ(GetDlgCtrlID(edit), 102);
    MoveWindow(edit, 10, 20, 100, 30, TRUE);
    RECT rect{};
    GetWindowRect(edit, &rect);
    EXPECT_TRUE(sameRect(rect, RECT{10, 72, 110, 102})) << "placed in the parent's client area";
    HWND popup = CreateWindowExW(0, kClassName, L"", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr, nullptr, nullptr);
    GetWindowRect(popup, &rect);
    EXPECT_TRUE(sameRect(rect, RECT{0, 52, 480, 640})) << "a pop-up is a top-level window";
    EXPECT_EQ(GetParent(popup), parent) << "owned by the parent it was given";
}

TEST_F(WindowTest, ChildRectanglesAreInScreenCoordinatesAfterMoving) {
    HWND parent = topWindow(0);
    HWND child = childWindow(parent, RECT{10, 20, 110, 60});
    Recorder::clear();
    MoveWindow(child, 30, 40, 50, 25, TRUE);
    RECT rect{};
    GetWindowRect(child, &rect);
    EXPECT_TRUE(sameRect(rect, RECT{30, 92, 80, 117}));
    auto moved = Recorder::only({WM_WINDOWPOSCHANGED, WM_SIZE});
    ASSERT_EQ(moved.size(), 2u);
    EXPECT_EQ(moved[1].lParam, MAKELPARAM(50, 25));
    POINT p{0, 0};
    ClientToScreen(child, &p);
    EXPECT_EQ(p.x, 30);
    EXPECT_EQ(p.y, 92);
}

TEST_F(WindowTest, DestroyTellsTheWindowThenItsChildrenAndForgetsThemAll) {
    HWND parent = topWindow();
    HWND child = childWindow(parent, RECT{0, 0, 10, 10});
    HWND grandChild = childWindow(child, RECT{0, 0, 5, 5});
    Recorder::clear();
    EXPECT_TRUE(DestroyWindow(parent));
    auto destroyed = Recorder::only({WM_DESTROY});
    ASSERT_EQ(destroyed.size(), 3u);
    EXPECT_EQ(destroyed[0].window, parent);
    EXPECT_EQ(destroyed[1].window, child);
    EXPECT_EQ(destroyed[2].window, grandChild);
    for (HWND w : {parent, child, grandChild}) {
        EXPECT_FALSE(IsWindow(w));
    }
    EXPECT_FALSE(DestroyWindow(parent));
}

TEST_F(WindowTest, TheDefaultProcedureDestroysOnClose) {
    HWND window = topWindow();
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(WindowTest, AnotherThreadCannotDestroyAWindow) {
    HWND window = topWindow(0);
    BOOL result = TRUE;
    Worker([&] { result = DestroyWindow(window); }).join();
    EXPECT_FALSE(result);
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(WindowTest, UserDataKeepsAWholePointer) {
    HWND window = topWindow(0);
    static int object = 0;
    const auto pointer = reinterpret_cast<LONG_PTR>(&object);
    EXPECT_EQ(SetWindowLongW(window, GWL_USERDATA, pointer), 0);
    EXPECT_EQ(GetWindowLongW(window, GWL_USERDATA), pointer);
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE, 0);
    ShowWindow(window, SW_SHOW);
    EXPECT_NE(GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE, 0);
}

TEST_F(WindowTest, TextIsReadThroughTheWindowAndCutToTheBuffer) {
    HWND window = topWindow(0);
    ASSERT_TRUE(SetWindowTextW(window, L"192.168.1.10"));
    WCHAR buffer[8];
    EXPECT_EQ(GetWindowTextW(window, buffer, 8), 7);
    EXPECT_STREQ(buffer, L"192.168");
    EXPECT_EQ(GetWindowTextLengthW(window), 12);
    EXPECT_EQ(Recorder::only({WM_GETTEXT}).size(), 1u);
}

TEST_F(WindowTest, WindowsBelongToTheThreadThatMadeThem) {
    HWND mine = topWindow(0);
    std::atomic<HWND> theirs{nullptr};
    std::atomic<DWORD> theirId{0};
    Worker worker([&] {
        theirs = topWindow(0);
        theirId = GetCurrentThreadId();
        MSG msg{};
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageW(&msg);
        }
    });
    while (theirs == nullptr) {
        std::this_thread::yield();
    }
    DWORD process = 0;
    EXPECT_EQ(GetWindowThreadProcessId(mine, &process), GetCurrentThreadId());
    EXPECT_EQ(process, GetCurrentProcessId());
    EXPECT_EQ(GetWindowThreadProcessId(theirs, nullptr), theirId.load());
    PostThreadMessageW(theirId, WM_QUIT, 0, 0);
    worker.join();
    EXPECT_FALSE(IsWindow(theirs)) << "a thread's windows end with it";
}

TEST_F(WindowTest, IconsAndCursorsAreHandlesAndTheWaitCursorReachesTheDevice) {
    EXPECT_NE(LoadIconW(nullptr, MAKEINTRESOURCEW(0)), nullptr);
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    ASSERT_NE(arrow, nullptr);
    ASSERT_NE(wait, arrow);
    SetCursor(wait);
    EXPECT_TRUE(device().waitCursorShown());
    EXPECT_EQ(SetCursor(arrow), wait);
    EXPECT_FALSE(device().waitCursorShown());
}

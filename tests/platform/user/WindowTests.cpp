// Window classes, creation and destruction, placement, window data and text.
#include "UserTestSupport.h"

using namespace usertest;

namespace {

using WindowTest = UserTest;

class SmallPhoneWindowTest : public UserTest {
protected:
    SmallPhoneWindowTest() : UserTest(240, 320, 96) {}
};

} // namespace

TEST_F(WindowTest, ClassesRegisterOnceByAnyCaseAndWMCreateGetsTheParameterOrCancels) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = L"RECORDER";
    EXPECT_EQ(RegisterClassW(&wc), 0) << "the fixture registered \"Recorder\" already";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_EQ(CreateWindowExW(0, L"NoSuchClass", L"", 0, 0, 0, 1, 1, 0, 0, 0, 0), nullptr);
    int marker = 0;
    LPVOID seen = nullptr;
    Recorder::handler = [&](HWND, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
        if (message != WM_CREATE)
            return std::nullopt;
        seen = reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams;
        return seen == nullptr ? std::optional<LRESULT>(-1) : std::nullopt;
    };
    ASSERT_NE(CreateWindowExW(0, L"rEcOrDeR", L"", 0, 0, 0, 1, 1, 0, 0, 0, &marker), nullptr);
    EXPECT_EQ(seen, &marker);
    EXPECT_EQ(Recorder::seen.front().message, static_cast<UINT>(WM_CREATE));
    Recorder::clear();
    EXPECT_EQ(topWindow(), nullptr);
    EXPECT_EQ(Recorder::only({WM_DESTROY}).size(), 1u);
}

TEST_F(WindowTest, DefaultPlacementFillsTheWorkAreaOrTheParentsOriginForAChild) {
    HWND top = topWindow(0);
    EXPECT_EQ(windowBox(top), Box(0, 52, 480, 640)) << "below the task bar";
    RECT client{};
    GetClientRect(top, &client);
    EXPECT_EQ(box(client), Box(0, 0, 480, 588));

    HWND child = topWindow(WS_CHILD, top);
    EXPECT_EQ(windowBox(child), Box(0, 52, 0, 52));
    EXPECT_EQ(GetParent(child), top);

    HWND popup = topWindow(WS_POPUP, top);
    EXPECT_EQ(windowBox(popup), Box(0, 52, 480, 640)) << "a pop-up is top-level";
    EXPECT_EQ(GetParent(popup), top) << "owned by the parent it was given";
}

TEST_F(SmallPhoneWindowTest, TheTaskBarScalesWithTheResolution) {
    EXPECT_EQ(windowBox(topWindow(0)), Box(0, 26, 240, 320));
}

TEST(SystemMetrics, BeforeTheDeviceStartsAreTheDefaultPhones) {
    EXPECT_EQ(std::tuple(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYFULLSCREEN)),
              std::tuple(480, 640 - 52));
}

TEST_F(WindowTest, AParentedWindowWithoutPopUpStyleIsAChildPlacedInTheParentsClientArea) {
    HWND parent = topWindow(0);
    HWND edit = CreateWindowExW(0, kClassName, L"", ES_AUTOHSCROLL, 10, 20, 100, 40, parent,
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

    HWND other = topWindow(0);
    BOOL result = TRUE;
    Worker([&] { result = DestroyWindow(other); }).join();
    EXPECT_FALSE(result) << "only the owning thread destroys";
    EXPECT_TRUE(IsWindow(other));
    SendMessageW(other, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(other)) << "the default procedure destroys on close";
}

TEST_F(WindowTest, WindowsBelongToTheThreadThatMadeThemAndEndWithIt) {
    WindowThread other;
    DWORD process = 0;
    EXPECT_EQ(GetWindowThreadProcessId(topWindow(0), &process), GetCurrentThreadId());
    EXPECT_EQ(process, GetCurrentProcessId());
    EXPECT_EQ(GetWindowThreadProcessId(other.window(), nullptr), other.id());
    other.quit();
    EXPECT_FALSE(IsWindow(other.window()));
}

TEST_F(WindowTest, UserDataTextAndStyleAreKeptPerWindow) {
    HWND window = topWindow(0);
    static int object = 0;
    const auto pointer = reinterpret_cast<LONG_PTR>(&object);
    EXPECT_EQ(SetWindowLongW(window, GWL_USERDATA, pointer), 0);
    EXPECT_EQ(GetWindowLongW(window, GWL_USERDATA), pointer) << "a whole pointer";
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE, 0);
    ShowWindow(window, SW_SHOW);
    EXPECT_NE(GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE, 0);
    ASSERT_TRUE(SetWindowTextW(window, std::wstring(300, L'7').c_str()));
    WCHAR buffer[256];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(GetWindowTextW(window, buffer, 255), 254) << "cut to the buffer";
    EXPECT_EQ(std::wstring(buffer + 253, 3), std::wstring(L"7\0#", 3)) << "nothing past it";
    EXPECT_EQ(GetWindowTextW(window, buffer, 1), 0);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(GetWindowTextLengthW(window), 300);
    EXPECT_EQ(Recorder::only({WM_GETTEXT}).size(), 2u) << "read through the window";
}

TEST_F(WindowTest, TheWaitCursorReachesTheDevice) {
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    ASSERT_NE(arrow, nullptr);
    ASSERT_NE(wait, arrow);
    SetCursor(wait);
    EXPECT_TRUE(device().waitCursorShown());
    EXPECT_EQ(SetCursor(arrow), wait);
    EXPECT_FALSE(device().waitCursorShown());
}

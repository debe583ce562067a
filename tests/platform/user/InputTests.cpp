// Pointer and key input: which window gets it, in which coordinates, capture and merging.
#include "support/User.h"

using namespace usertest;
using platform::PointerAction;
using enum platform::PointerAction;

class InputTest : public UserTest {
protected:
    void SetUp() override {
        UserTest::SetUp();
        main = topWindow(); // screen (0, 52) - (480, 640)
        platform::pumpMessages();
    }
    // The mouse messages since the last call, after the touch steps given.
    std::vector<Seen> mouse(std::initializer_list<std::tuple<PointerAction, int, int>> steps = {}) {
        for (auto [action, x, y] : steps)
            device().pointer(action, x, y);
        platform::pumpMessages();
        auto seen = Recorder::only({WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP});
        Recorder::clear();
        return seen;
    }
    HWND main = nullptr;
};

TEST_F(InputTest, APressGoesToTheTopmostVisibleWindowInClientCoordinates) {
    HWND lower = childWindow(main, RECT{10, 10, 200, 200});
    HWND upper = childWindow(main, RECT{100, 100, 300, 300});
    HWND inner = childWindow(upper, RECT{50, 50, 60, 60});
    childWindow(main, RECT{0, 0, 480, 588}, WS_CHILD);                       // hidden, above all
    HWND aside = childWindow(nullptr, RECT{300, 100, 480, 200}, WS_VISIBLE); // a second top level
    HWND asideChild = childWindow(aside, RECT{5, 10, 50, 50});
    struct Case {
        int x, y;
        HWND window;
        LPARAM client;
    };
    const Case cases[] = {
        {150, 157, upper, MAKELPARAM(50, 5)}, // inside both children: the later wins
        {20, 62, lower, MAKELPARAM(10, 0)},     {155, 205, inner, MAKELPARAM(5, 3)},
        {400, 600, main, MAKELPARAM(400, 548)}, {310, 115, asideChild, MAKELPARAM(5, 5)},
    };
    mouse();
    for (const Case& c : cases) {
        auto seen = mouse({{down, c.x, c.y}, {up, c.x, c.y}});
        ASSERT_EQ(seen.size(), 2u) << c.x << "," << c.y;
        EXPECT_EQ(std::tuple(seen[0].window, seen[0].lParam, seen[0].wParam),
                  std::tuple(c.window, c.client, WPARAM{MK_LBUTTON}))
            << c.x << "," << c.y;
    }
}

// Found by the main screen's touch fuzzer: a stylus put down on the strip above the program's
// window and drawn into it gave the window moves and a release of a touch it never saw begin,
// which the program took for a fling.
TEST_F(InputTest, ATouchBegunWhereNoWindowIsReachesNoWindowItCrosses) {
    EXPECT_TRUE(mouse({{down, 200, 20}, {move, 200, 300}, {up, 200, 310}}).empty());
    // The next touch is the window's again.
    EXPECT_EQ(pick(mouse({{down, 200, 300}, {up, 200, 300}}), &Seen::window),
              (std::vector<HWND>{main, main}));
}

TEST_F(InputTest, APressCapturesTheStylusUntilItIsLiftedAndAStylusAboveMakesNoMoves) {
    HWND button = childWindow(main, RECT{0, 0, 100, 100});
    EXPECT_TRUE(mouse({{move, 50, 102}, {up, 50, 102}}).empty());
    auto seen = mouse({{down, 50, 102}, {move, 300, 400}, {up, 310, 410}, {down, 300, 400}});
    // The release ended the capture.
    EXPECT_EQ(pick(seen, &Seen::window), (std::vector<HWND>{button, button, button, main}));
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(std::pair(seen[2].message, seen[2].lParam),
              std::pair(UINT{WM_LBUTTONUP}, MAKELPARAM(310, 358)));
}

TEST_F(InputTest, ConsecutiveMovesOfOneWindowMergeIntoTheLatest) {
    childWindow(main, RECT{0, 400, 480, 588});
    mouse();
    auto seen =
        mouse({{down, 10, 60}, {move, 11, 61}, {move, 12, 62}, {move, 13, 63}, {up, 13, 63}});
    ASSERT_EQ(pick(seen, &Seen::message),
              (std::vector<UINT>{WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP}));
    EXPECT_EQ(seen[1].lParam, MAKELPARAM(13, 11));
}

TEST_F(InputTest, InputGoesToTheQueueOfTheWindowsThread) {
    std::atomic<HWND> theirs{nullptr};
    Worker worker([&] {
        theirs = childWindow(main, RECT{0, 0, 50, 50});
        MSG msg{};
        while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_LBUTTONDOWN)
            DispatchMessageW(&msg);
        DispatchMessageW(&msg);
        DestroyWindow(theirs);
    });
    spinUntil([&] { return theirs != nullptr; });
    device().pointer(down, 10, 60);
    worker.join();
    // Nothing reached this thread's window.
    EXPECT_EQ(pick(mouse(), &Seen::thread), std::vector<DWORD>{worker.id()});
}

TEST_F(InputTest, KeysAndCharactersGoToTheFocusWindowOrWithoutOneToTheActiveWindow) {
    HWND field = childWindow(main, RECT{0, 0, 10, 10});
    SetFocus(nullptr);
    device().key(VK_LEFT, true);
    SetFocus(field);
    device().key(VK_LEFT, false);
    device().character(L'a');
    platform::pumpMessages();
    const auto seen = Recorder::only({WM_KEYDOWN, WM_KEYUP, WM_CHAR});
    EXPECT_EQ(pick(seen, &Seen::window), (std::vector<HWND>{main, field, field}));
    EXPECT_EQ(pick(seen, &Seen::lParam), (std::vector<LPARAM>{1, LPARAM{0xC0000001u}, 1}));
}

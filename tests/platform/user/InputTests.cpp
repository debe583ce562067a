// Pointer and key input: which window gets it, in which coordinates, capture and merging.
#include "UserTestSupport.h"

using namespace usertest;
using platform::PointerAction;

namespace {

class InputTest : public UserTest {
protected:
    void SetUp() override {
        UserTest::SetUp();
        main = topWindow(); // screen (0, 52) - (480, 640)
        platform::pumpMessages();
    }
    std::vector<Seen> mouse() {
        platform::pumpMessages();
        auto seen = Recorder::only({WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP});
        Recorder::clear();
        return seen;
    }
    void tap(int x, int y) {
        device().pointer(PointerAction::down, x, y);
        device().pointer(PointerAction::up, x, y);
    }
    HWND main = nullptr;
};

} // namespace

TEST_F(InputTest, APressGoesToTheTopmostVisibleWindowInClientCoordinates) {
    HWND lower = childWindow(main, RECT{10, 10, 200, 200});
    HWND upper = childWindow(main, RECT{100, 100, 300, 300});
    HWND inner = childWindow(upper, RECT{50, 50, 60, 60});
    childWindow(main, RECT{0, 0, 480, 588}, WS_CHILD); // hidden, above all
    struct Case {
        int x, y;
        HWND window;
        LPARAM client;
    };
    const Case cases[] = {
        {150, 157, upper, MAKELPARAM(50, 5)}, // inside both children: the later wins
        {20, 62, lower, MAKELPARAM(10, 0)},
        {155, 205, inner, MAKELPARAM(5, 3)},
        {400, 600, main, MAKELPARAM(400, 548)},
    };
    for (const Case& c : cases) {
        mouse();
        tap(c.x, c.y);
        auto seen = mouse();
        ASSERT_EQ(seen.size(), 2u) << c.x << "," << c.y;
        EXPECT_EQ(seen[0].window, c.window) << c.x << "," << c.y;
        EXPECT_EQ(seen[0].lParam, c.client) << c.x << "," << c.y;
        EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>(MK_LBUTTON));
    }
}

// Found by the main screen's touch fuzzer: a stylus put down on the strip above the program's
// window and drawn into it gave the window moves and a release of a touch it never saw begin,
// which the program took for a fling.
TEST_F(InputTest, ATouchBegunWhereNoWindowIsReachesNoWindowItCrosses) {
    device().pointer(PointerAction::down, 200, 20); // above the main window, which starts at 52
    device().pointer(PointerAction::move, 200, 300);
    device().pointer(PointerAction::up, 200, 310);
    EXPECT_TRUE(mouse().empty());
    device().pointer(PointerAction::down, 200, 300);
    device().pointer(PointerAction::up, 200, 300);
    EXPECT_EQ(pick(mouse(), &Seen::window), (std::vector<HWND>{main, main}))
        << "the next touch is the window's again";
}

TEST_F(InputTest, APressCapturesTheStylusUntilItIsLiftedAndAStylusAboveMakesNoMoves) {
    HWND button = childWindow(main, RECT{0, 0, 100, 100});
    device().pointer(PointerAction::move, 50, 102);
    device().pointer(PointerAction::up, 50, 102);
    EXPECT_TRUE(mouse().empty());
    device().pointer(PointerAction::down, 50, 102);
    device().pointer(PointerAction::move, 300, 400);
    device().pointer(PointerAction::up, 310, 410);
    device().pointer(PointerAction::down, 300, 400);
    auto seen = mouse();
    EXPECT_EQ(pick(seen, &Seen::window), (std::vector<HWND>{button, button, button, main}))
        << "the release ended the capture";
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[2].message, static_cast<UINT>(WM_LBUTTONUP));
    EXPECT_EQ(seen[2].lParam, MAKELPARAM(310, 358));
}

TEST_F(InputTest, ConsecutiveMovesOfOneWindowMergeIntoTheLatest) {
    childWindow(main, RECT{0, 400, 480, 588});
    mouse();
    device().pointer(PointerAction::down, 10, 60);
    for (int i = 1; i <= 3; ++i) {
        device().pointer(PointerAction::move, 10 + i, 60 + i);
    }
    device().pointer(PointerAction::up, 13, 63);
    auto seen = mouse();
    EXPECT_EQ(pick(seen, &Seen::message),
              (std::vector<UINT>{WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP}));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].lParam, MAKELPARAM(13, 11));

    SetCapture(main); // moves of two windows in turn stay apart
    device().pointer(PointerAction::down, 10, 60);
    device().pointer(PointerAction::move, 11, 61);
    ReleaseCapture();
    device().pointer(PointerAction::move, 12, 500);
    device().pointer(PointerAction::move, 13, 501);
    SetCapture(main);
    device().pointer(PointerAction::move, 14, 64);
    EXPECT_EQ(mouse().size(), 4u);
}

TEST_F(InputTest, AFilterThatTakesThePressKeepsTheWholeTouch) {
    std::vector<PointerAction> filtered;
    device().setPointerFilter([&](PointerAction action, int, int y) {
        filtered.push_back(action);
        return y > 500;
    });
    device().pointer(PointerAction::down, 10, 550);
    device().pointer(PointerAction::move, 10, 100);
    device().pointer(PointerAction::up, 10, 100);
    EXPECT_TRUE(mouse().empty());
    EXPECT_EQ(filtered.size(), 3u);
    device().pointer(PointerAction::down, 10, 100);
    device().pointer(PointerAction::up, 10, 550);
    EXPECT_EQ(mouse().size(), 2u) << "a press the filter refused belongs to the window";
    EXPECT_EQ(filtered.size(), 4u);
}

TEST_F(InputTest, KeysGoToTheFocusWindowAndControlCharactersFollowTheirKey) {
    HWND edit = childWindow(main, RECT{0, 0, 100, 30});
    SetFocus(edit);
    platform::pumpMessages();
    Recorder::clear();
    device().key(VK_BACK, true);
    device().key(VK_LEFT, true);
    device().character(L'é');
    device().key(VK_LEFT, false);
    platform::pumpMessages();
    auto seen = Recorder::only({WM_KEYDOWN, WM_CHAR, WM_KEYUP});
    EXPECT_EQ(pick(seen, &Seen::message),
              (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYDOWN, WM_CHAR, WM_KEYUP}))
        << "only the backspace key makes a character of its own";
    EXPECT_EQ(pick(seen, &Seen::window), std::vector<HWND>(5, edit));
    EXPECT_EQ(pick(seen, &Seen::wParam),
              (std::vector<WPARAM>{VK_BACK, VK_BACK, VK_LEFT, L'é', VK_LEFT}));
}

TEST_F(InputTest, InputGoesToTheQueueOfTheWindowsThread) {
    std::atomic<HWND> theirs{nullptr};
    Worker worker([&] {
        theirs = childWindow(main, RECT{0, 0, 50, 50});
        MSG msg{};
        while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_LBUTTONDOWN) {
            DispatchMessageW(&msg);
        }
        DispatchMessageW(&msg);
        DestroyWindow(theirs);
    });
    spinUntil([&] { return theirs != nullptr; });
    device().pointer(PointerAction::down, 10, 60);
    worker.join();
    auto seen = mouse();
    ASSERT_EQ(seen.size(), 1u) << "nothing reached this thread's window";
    EXPECT_EQ(seen[0].thread, worker.id());
}

// Pointer and key input: which window gets it, in which coordinates, capture and merging.
#include "UserTestSupport.h"

#include <atomic>

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
    HWND main = nullptr;
};

} // namespace

TEST_F(InputTest, APressGoesToTheTopmostVisibleWindowInClientCoordinates) {
    HWND lower = childWindow(main, RECT{10, 10, 200, 200});
    HWND upper = childWindow(main, RECT{100, 100, 300, 300});
    HWND inner = childWindow(upper, RECT{50, 50, 60, 60});
    HWND hidden = childWindow(main, RECT{0, 0, 480, 588}, WS_CHILD);
    (void)hidden;
    mouse();
    device().pointer(PointerAction::down, 150, 152 + 5); // inside both children: the later wins
    device().pointer(PointerAction::up, 150, 157);
    device().pointer(PointerAction::down, 20, 62);
    device().pointer(PointerAction::up, 20, 62);
    device().pointer(PointerAction::down, 155, 205);
    device().pointer(PointerAction::up, 155, 205);
    device().pointer(PointerAction::down, 400, 600);
    device().pointer(PointerAction::up, 400, 600);
    auto seen = mouse();
    ASSERT_EQ(seen.size(), 8u);
    EXPECT_EQ(seen[0].window, upper);
    EXPECT_EQ(seen[0].lParam, MAKELPARAM(50, 5));
    EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>(MK_LBUTTON));
    EXPECT_EQ(seen[2].window, lower);
    EXPECT_EQ(seen[2].lParam, MAKELPARAM(10, 0));
    EXPECT_EQ(seen[4].window, inner);
    EXPECT_EQ(seen[4].lParam, MAKELPARAM(5, 3));
    EXPECT_EQ(seen[6].window, main);
    EXPECT_EQ(seen[6].lParam, MAKELPARAM(400, 548));
}

TEST_F(InputTest, APressCapturesTheStylusUntilItIsLifted) {
    HWND button = childWindow(main, RECT{0, 0, 100, 100});
    mouse();
    device().pointer(PointerAction::down, 50, 102);
    device().pointer(PointerAction::move, 300, 400);
    device().pointer(PointerAction::up, 310, 410);
    device().pointer(PointerAction::down, 300, 400);
    auto seen = mouse();
    ASSERT_EQ(seen.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(seen[i].window, button) << i;
    }
    EXPECT_EQ(seen[2].message, static_cast<UINT>(WM_LBUTTONUP));
    EXPECT_EQ(seen[2].lParam, MAKELPARAM(310, 358));
    EXPECT_EQ(seen[3].window, main) << "the release ended the capture";
}

TEST_F(InputTest, ConsecutiveMovesOfOneWindowMergeIntoTheLatest) {
    HWND other = childWindow(main, RECT{0, 400, 480, 588});
    mouse();
    device().pointer(PointerAction::down, 10, 60);
    device().pointer(PointerAction::move, 11, 61);
    device().pointer(PointerAction::move, 12, 62);
    device().pointer(PointerAction::move, 13, 63);
    device().pointer(PointerAction::up, 13, 63);
    auto seen = mouse();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_MOUSEMOVE));
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
    (void)other;
}

TEST_F(InputTest, AStylusAboveTheScreenMakesNoMoves) {
    device().pointer(PointerAction::move, 10, 60);
    device().pointer(PointerAction::up, 10, 60);
    EXPECT_TRUE(mouse().empty());
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

TEST_F(InputTest, KeysAndCharactersGoToTheFocusWindow) {
    HWND edit = childWindow(main, RECT{0, 0, 100, 30});
    SetFocus(edit);
    Recorder::clear();
    device().key(VK_DELETE, true);
    device().character(L'é');
    device().key(VK_DELETE, false);
    platform::pumpMessages();
    auto seen = Recorder::only({WM_KEYDOWN, WM_CHAR, WM_KEYUP});
    ASSERT_EQ(seen.size(), 3u);
    for (const Seen& s : seen) {
        EXPECT_EQ(s.window, edit);
    }
    EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>(VK_DELETE));
    EXPECT_EQ(seen[1].wParam, static_cast<WPARAM>(L'é'));
    EXPECT_EQ(seen[2].message, static_cast<UINT>(WM_KEYUP));
}

TEST_F(InputTest, InputGoesToTheQueueOfTheWindowsThread) {
    std::atomic<HWND> theirs{nullptr};
    std::atomic<DWORD> receiver{0};
    Worker worker([&] {
        theirs = childWindow(main, RECT{0, 0, 50, 50});
        MSG msg{};
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_LBUTTONDOWN) {
                receiver = GetCurrentThreadId();
                DestroyWindow(msg.hwnd);
                break;
            }
            DispatchMessageW(&msg);
        }
    });
    while (theirs == nullptr) {
        std::this_thread::yield();
    }
    device().pointer(PointerAction::down, 10, 60);
    worker.join();
    EXPECT_EQ(receiver.load(), worker.id());
    EXPECT_TRUE(mouse().empty()) << "nothing reached this thread's window";
}

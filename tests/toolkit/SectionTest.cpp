// The scrolling Section: its content stacked under the header, the scroll bar in its overlay,
// the bounds it springs back to, flings stopped at the ends, taps, double taps and swipes turned
// into calls on its children or its parent, insertion, growth and rotation.
#include "support/ContainerScreen.h"
#include "support/Toolkit.h"

using namespace toolkit_test;

namespace {

constexpr int kBarColumn = 476; // inside the bar's five columns on a 480-pixel screen

class SectionTest : public SectionScreenTest {
protected:
    // The section with children of these heights at x 0 and y 0, drawn once in full.
    void showSection(const std::vector<int>& heights) {
        for (int height : heights) {
            section->add(new Box(-1, 0, 0, 200, height, BoxFace::distinct), -1, -1);
        }
        paintWhole();
    }

    static void wait(DWORD ms) { platform::clock::advance(ms); }

    // A drag by the tracker as the window procedure feeds it, with a frame step after every move.
    void drag(int x, int fromY, const std::vector<int>& steps) {
        tracker.onPress(x, fromY);
        section->onTimer();
        int y = fromY;
        for (int dy : steps) {
            wait(5);
            tracker.onMove(x, y += dy);
            section->onTimer();
        }
    }

    // The rows of the bar column that show the bar colour, as [first, last + 1); {-1, 0} if none.
    static std::pair<LONG, LONG> barRows() {
        std::pair<LONG, LONG> rows{-1, 0};
        for (LONG y = 0; y < GetSystemMetrics(SM_CYSCREEN); ++y) {
            if (pixelAt(kBarColumn, y) == tunables::scrollBarColour) {
                rows = {rows.first < 0 ? y : rows.first, y + 1};
            }
        }
        return rows;
    }

    // A tap at (50, y) of 50 ms, with the frame steps of its press and release.
    void tapAt(int y) {
        tracker.onPress(50, y);
        section->onTimer();
        ASSERT_NE(section->pressedChild, nullptr);
        wait(50);
        tracker.onRelease(50, y);
        section->onTimer();
        section->onTimer();
    }

    MotionTracker& tracker = *sharedTracker();
};

TEST_F(SectionTest, BarLengthAndPlaceFollowTheOffsetAndTheBarLeavesWhenEverythingFits) {
    showSection({700});
    viewRect.bottom = viewRect.top + 400;
    const LONG top = viewRect.top;
    // 400 x 400 / 700 = 228 rows; at -300 the bar touches the bottom of the view. Back at the
    // top the bar must move back too.
    const std::tuple<int, LONG, LONG> cases[] = {{0, top, top + 228},
                                                 {-300, top + 172, top + 400},
                                                 {-150, top + 86, top + 314},
                                                 {0, top, top + 228}};
    for (const auto& [offset, first, end] : cases) {
        section->scrollOffset = offset;
        paintWhole();
        EXPECT_EQ(barRows(), std::make_pair(first, end)) << "offset " << offset;
        EXPECT_EQ(scrollBar.shown, 1);
    }
    EXPECT_NE(pixelAt(GetSystemMetrics(SM_CXSCREEN) - 1, top + 10), tunables::scrollBarColour);
    section->bottom = section->top + 64 + 400; // now exactly as tall as the view
    paintWhole();
    EXPECT_EQ(barRows().first, -1);
    EXPECT_EQ(scrollBar.shown, 0);
}

// Found by the main screen's touch fuzzer, for the second press of a double tap: it pulled the
// list down within the tap slop, and the release left it there, with a gap above it, until the
// next touch.
TEST_F(SectionTest, ReleasedBeyondAnEndTheListSpringsBackInOneStepAndAnyFlingStops) {
    showSection({400, 400});
    const int bottomBound = (viewRect.bottom - clientRect.top) - (section->bottom - section->top);
    // The start, the pull by four moves of `move`, the rest before the release (long rests start
    // no fling), and whether the pull is the second press of a double tap.
    const std::tuple<int, int, DWORD, bool> cases[] = {
        {0, 10, 400, false},          {0, 10, 0, false}, {bottomBound, -15, 400, false},
        {bottomBound, -15, 0, false}, {0, 5, 0, true},
    };
    for (const auto& [start, move, rest, secondTap] : cases) {
        section->scrollOffset = start;
        if (secondTap) {
            tapAt(300);
            wait(100);
        }
        drag(200, 300, {move, move, move, move});
        wait(rest);
        tracker.onRelease(200, 0);
        ASSERT_EQ(tracker.doubleTap, secondTap);
        wait(30);
        EXPECT_EQ(section->onTimer(), -4 * move);
        EXPECT_EQ(section->scrollOffset, start);
        EXPECT_FALSE(tracker.flinging);
        EXPECT_EQ(section->onTimer(), 0);
    }
}

TEST_F(SectionTest, ATapReachesTheChildOnceAndASecondTapSoonAfterOnlyUnselectsIt) {
    showSection({100, 100, 400});
    auto* target = static_cast<Box*>(section->children[1]);
    section->scrollOffset = -50; // room to move both ways
    paintWhole();
    const int y = target->screenRect.top - clientRect.top + 10;
    tapAt(y);
    EXPECT_EQ(target->clicks, 1);
    EXPECT_EQ(section->pressedChild, nullptr);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
    EXPECT_EQ(msg.lParam, reinterpret_cast<LPARAM>(target));

    // The second tap moves within the slop: after it, no step is taken until the next press.
    wait(100);
    tracker.onPress(50, y);
    section->onTimer();
    EXPECT_EQ(target->hits, 2);
    wait(5);
    tracker.onMove(50, y + 20);
    tracker.onRelease(50, y + 20);
    for (int i = 0; i < 3; ++i) {
        wait(30);
        EXPECT_EQ(section->onTimer(), 0);
    }
    EXPECT_EQ(target->clicks, 1);
    EXPECT_EQ(target->unselects, 1);
    EXPECT_EQ(section->scrollOffset, -50);
    wait(500);
    tracker.onPress(50, 400);
    wait(5);
    tracker.onMove(50, 420);
    EXPECT_EQ(section->onTimer(), 20);
}

// Return in the last field of a form brings its button into sight: the least scroll that shows
// the row, its top where it is taller than the view, nothing for a row in sight or a stranger.
TEST_F(SectionTest, BringingARowIntoSightScrollsTheLeastThatShowsIt) {
    showSection({300, 500, 300, 100});
    const std::vector<Element*>& rows = section->children;
    Box stranger(-1, 0, 0, 10, 10, BoxFace::distinct);
    // The row, the offset that follows, and whether the row then shows (its place is clipped to the
    // view).
    const std::tuple<Element*, int, bool> cases[] = {
        {rows[2], viewRect.bottom - viewRect.top - 1100, true},
        {rows[1], -300, true}, // taller than the view: its top
        {rows[1], -300, true},
        {&stranger, -300, false},
        {rows[0], 0, true}};
    for (const auto& [row, offset, shows] : cases) {
        section->bringIntoSight(row);
        EXPECT_EQ(section->scrollOffset, offset);
        EXPECT_EQ(row->screenRect.top >= viewRect.top && row->screenRect.bottom <= viewRect.bottom,
                  shows);
    }
}

TEST_F(SectionTest, AFingerThatLeavesTheSlopUnselectsThePressedChildAndTheHeaderIsNeverHit) {
    showSection({200});
    auto* child = static_cast<Box*>(section->children[0]);
    drag(50, 150, {40});
    EXPECT_EQ(child->hits, 1);
    EXPECT_EQ(child->unselects, 1);
    EXPECT_EQ(section->pressedChild, nullptr);
    tracker.onRelease(50, 190);
    section->scrollOffset = -100; // the child's top 100 rows now lie under the header
    paintWhole();
    const int firstRowBelowHeader = viewRect.top - clientRect.top;
    EXPECT_EQ(section->hitTest(50, firstRowBelowHeader - 1), nullptr);
    EXPECT_EQ(section->hitTest(50, firstRowBelowHeader), child);
}

TEST_F(SectionTest, ARightwardSwipeInsideAParentGoesToTheParentAndDoesNotScroll) {
    showSection({400, 400});
    Box parent(-1, 0, 0, 10, 10, BoxFace::plain); // counts the taps forwarded to it
    section->parent = &parent;
    section->scrollOffset = -100;
    tracker.onPress(100, 300);
    for (int i = 1; i <= 6; ++i) {
        wait(10);
        tracker.onMove(100 + 20 * i, 300 + 3 * i);
    }
    ASSERT_TRUE(tracker.swipe);
    EXPECT_EQ(section->onTimer(), 0);
    EXPECT_EQ(parent.clicks, 1);
    EXPECT_EQ(section->scrollOffset, -100);
    section->parent = nullptr;
}

TEST_F(SectionTest, InsertingAtIndexZeroPutsTheChildOnTopAndContentOnlyEverGrows) {
    showSection({100, 50});
    auto* first = new Box(-1, 0, 12, 100, 30, BoxFace::distinct);
    section->add(first, -1, 0);
    EXPECT_EQ(section->bottom, 64 + 100 + 50 + 42);
    EXPECT_EQ(first->parent, section);
    paintWhole();
    EXPECT_EQ(first->screenRect.top, viewRect.top + 12);
    EXPECT_EQ(section->children[1]->screenRect.top, viewRect.top + 42);
    EXPECT_EQ(section->children[2]->screenRect.top, viewRect.top + 142);
    auto* third = new Box(-1, 0, 0, 100, 10, BoxFace::distinct);
    section->add(third, -1, 2);
    EXPECT_EQ(section->children[2], third);
    const int before = section->bottom;
    section->childResized(first, 10, 20); // 30 rows tall: a smaller size changes nothing
    EXPECT_EQ(section->bottom, before);
    section->childResized(first, 10, 55);
    EXPECT_EQ(section->bottom, before + 25);
}

// Found by the main screen's touch fuzzer: scrolled to the end in landscape, the list stayed
// there after a turn to portrait, beyond its new end, with nothing to bring it back.
TEST_F(SectionTest, ATurnPutsContentBeyondTheNewEndBackAtThatEnd) {
    showSection({400, 400});
    const auto lowestOffset = [this] {
        const int content = section->bottom - section->top;
        return std::min(content, static_cast<int>(viewRect.bottom - clientRect.top)) - content;
    };
    const int portraitEnd = lowestOffset();
    platform::Device::instance().rotate();
    pumpMessages();
    const int landscapeEnd = lowestOffset();
    ASSERT_LT(landscapeEnd, portraitEnd) << "a shorter view scrolls further";
    // The offset before a turn and after it; within the bounds, a turn leaves it.
    const std::pair<int, int> turns[] = {{landscapeEnd, portraitEnd}, {-10, -10}};
    for (const auto& [before, after] : turns) {
        section->scrollOffset = before;
        platform::Device::instance().rotate();
        pumpMessages();
        EXPECT_EQ(section->scrollOffset, after);
    }
}

// The header is composed once and shown from that picture: a new title, and a turn, must still
// reach the screen.
TEST_F(SectionTest, IsTheFirstScrollTargetAndATurnRewidensItsHeaderItsPanelAndThePanelTitleBar) {
    const HFONT titleFont = Section::titleFont; // made by the first section, kept by the next
    Section second(-1, 0, 0, 480, L"Other");
    EXPECT_TRUE(titleFont != nullptr && Section::titleFont == titleFont);
    EXPECT_EQ(tracker.scrollTarget, section);
    const auto header = [] {
        return screenPixels(RECT{0, clientRect.top, GetSystemMetrics(SM_CXSCREEN), viewRect.top})
            .data;
    };
    paintWhole();
    const auto dawnbell = header();
    section->title = L"Recent computers";
    paintWhole();
    EXPECT_NE(header(), dawnbell);
    section->title = L"Dawnbell";
    auto* panel = new MyPanel(-1, 0, 0, 480, L"Host information :", 1, 0);
    section->add(panel, -1, -1);
    for (const LONG width : {640, 480, 640}) {
        platform::Device::instance().rotate();
        pumpMessages();
        EXPECT_EQ(edges(RECT{section->right, section->headerRect.right, panel->right,
                             panel->titleRect.right}),
                  edges(RECT{width, width, width, width}));
        EXPECT_EQ(viewRect.top, clientRect.top + 64);
        if (width == 480) {
            EXPECT_EQ(header(), dawnbell);
        }
    }
    for (int x : {2, 470, 630}) {
        EXPECT_LT(pixelAt(x, clientRect.top + 62) & 0x1F, 8) << x; // the rule, little blue
    }
    // The title bar keeps one colour along each row, right to the new edge, also where it is
    // more than twice as wide as its image (the image's left edge showed there as a seam).
    for (int row = 4; row < 44; row += 6) {
        EXPECT_EQ(pixelAt(620, viewRect.top + row), pixelAt(300, viewRect.top + row)) << row;
    }
    auto* wide = new MyPanel(-1, 0, 0, 640, L"", 1, 0);
    MyPanel::titleImageWidth = 300; // as a small phone's image, turned
    section->add(wide, -1, 0);
    paintWhole();
    for (int row = 4; row < 44; row += 6) {
        for (int x : {302, 450, 601}) {
            EXPECT_EQ(pixelAt(x, viewRect.top + row), pixelAt(200, viewRect.top + row))
                << x << " " << row;
        }
    }
    MyPanel::titleImageWidth = 480;
}

} // namespace

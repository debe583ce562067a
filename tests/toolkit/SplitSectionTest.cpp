// Columns side by side under one header: a drag moves the pixels and the offset of the column it
// went down in and nothing of the other, and a tap, or the touch that ends an edit, reaches the
// child under the finger in its own column.
#include "support/ContainerScreen.h"
#include "support/Toolkit.h"
#include "SplitSection.h"

using namespace toolkit_test;

namespace {

constexpr int kLeftWidth = 200;
constexpr int kRightWidth = 280;

class SplitSectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        installResourceSet(device);
        frame.emplace();
        split = new SplitSection(100, kLeftWidth + kRightWidth, L"Dawnbell");
        left = split->addColumn(kLeftWidth);
        right = split->addColumn(kRightWidth);
        for (Section* column : {left, right}) {
            for (int height : {300, 500}) {
                column->add(new Box(-1, 0, 0, 150, height, BoxFace::distinct), -1, -1);
            }
        }
        (*frame)->addScreen(split);
        paintWhole();
    }

    // A frame step, as the window procedure asks for one after each touch event.
    static void step() { theFrame->redraw(false); }
    static void wait(DWORD ms) { platform::clock::advance(ms); }

    void drag(int x, int fromY, int by) {
        tracker.onPress(x, fromY);
        step();
        for (int i = 1; i <= 6; ++i) {
            wait(5);
            tracker.onMove(x, fromY + by * i / 6);
            step();
        }
        wait(500); // resting: no fling
        tracker.onRelease(x, fromY + by);
        step();
    }

    void tapAt(int x, int y) {
        wait(500);
        tracker.onPress(x, y);
        step();
        wait(50);
        tracker.onRelease(x, y);
        step();
        step();
    }

    Box* box(Section* column) { return static_cast<Box*>(column->children[0]); }

    ToolkitDevice device;
    std::optional<OpenFrame> frame;
    SplitSection* split = nullptr;
    Section* left = nullptr;
    Section* right = nullptr;
    MotionTracker& tracker = *sharedTracker();
};

TEST_F(SplitSectionTest, ADragMovesOnlyTheColumnItWentDownInAndLeavesAFreshPaint) {
    const RECT rightArea{kLeftWidth, viewRect.top, kLeftWidth + kRightWidth, viewRect.bottom};
    const Pixels rightBefore = screenPixels(rightArea);
    drag(100, 500, -120);
    EXPECT_EQ(left->scrollOffset, -120);
    EXPECT_EQ(right->scrollOffset, 0);
    EXPECT_EQ(screenPixels(rightArea).data, rightBefore.data) << "the right column moved";
    EXPECT_TRUE(showsAFreshPaint());

    drag(300, 500, -80);
    EXPECT_EQ(left->scrollOffset, -120);
    EXPECT_EQ(right->scrollOffset, -80);
    EXPECT_TRUE(showsAFreshPaint());
}

TEST_F(SplitSectionTest, ATouchReachesTheChildUnderItInItsOwnColumnAndNeverUnderTheHeader) {
    const int y = box(left)->screenRect.top - clientRect.top + 20;
    tapAt(100, y);
    EXPECT_EQ(box(left)->clicks, 1);
    EXPECT_EQ(box(right)->clicks, 0);
    tapAt(kLeftWidth + 100, y);
    EXPECT_EQ(box(left)->clicks, 1);
    EXPECT_EQ(box(right)->clicks, 1);

    // The touch that ends an edit starts its press in the column under it.
    split->pressAt(kLeftWidth + 100, y);
    EXPECT_EQ(right->pressedChild, box(right));
    EXPECT_EQ(left->pressedChild, nullptr);
    EXPECT_EQ(split->hitTest(100, Section::headerImageHeight / 2), nullptr);
}

} // namespace

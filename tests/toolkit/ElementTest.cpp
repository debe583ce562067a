// Element and its registry: construction and scaling, lookup by id, the redraw request with its
// clamping, the tap notification, refused children and the default resize.
#include "ToolkitTestSupport.h"

#include "ResourceManager.h"
#include "Tunables.h"

#include <gtest/gtest.h>

using namespace toolkit_test;

namespace {

constexpr std::uint16_t kBlack = 0x0000;

class ElementTest : public ::testing::Test {
protected:
    ToolkitDevice device;
};

TEST_F(ElementTest, DesignCoordinatesAreScaledWithTruncationUnlessAlreadyScaled) {
    scaleFactor = 0.5;
    TestBlock scaled(-1, 100, 30, 0, 0, 0, false);
    EXPECT_EQ(scaled.left, 50);
    EXPECT_EQ(scaled.right, 50);
    EXPECT_EQ(scaled.top, 15);
    EXPECT_EQ(scaled.bottom, 15);

    TestBlock kept(-1, 100, 30, 0, 0, 0, true);
    EXPECT_EQ(kept.left, 100);
    EXPECT_EQ(kept.top, 30);

    TestBlock negative(-1, -3, 7, 0, 0, 0, false);
    EXPECT_EQ(negative.left, -1); // toward zero, not down to -2
    EXPECT_EQ(negative.top, 3);
}

TEST_F(ElementTest, NewElementStartsEmptyUnparentedAndSharesTheTracker) {
    TestBlock block(42, 10, 20, 0, 0, 0);
    EXPECT_EQ(block.elementId, 42);
    EXPECT_EQ(block.kind, kindLabel);
    EXPECT_EQ(block.auxValue, 0);
    EXPECT_EQ(block.selected, 0);
    EXPECT_EQ(block.parent, nullptr);
    EXPECT_EQ(block.screenRect.left, 0);
    EXPECT_EQ(block.screenRect.bottom, 0);
    EXPECT_EQ(block.tracker, sharedTracker());
}

TEST_F(ElementTest, RegistryKeepsConstructionOrderAndForgetsDestroyedElements) {
    auto* a = new TestBlock(1, 0, 0, 1, 1, 0);
    auto* b = new TestBlock(2, 0, 0, 1, 1, 0);
    auto* c = new TestBlock(3, 0, 0, 1, 1, 0);
    EXPECT_EQ(allElements, (std::vector<Element*>{a, b, c}));
    delete b;
    EXPECT_EQ(allElements, (std::vector<Element*>{a, c}));
    delete a;
    delete c;
    EXPECT_TRUE(allElements.empty());
}

TEST_F(ElementTest, LookupReturnsTheFirstConstructedAndThenTheOther) {
    auto* first = new TestBlock(7, 0, 0, 1, 1, 0);
    TestBlock second(7, 0, 0, 1, 1, 0);
    TestBlock other(8, 0, 0, 1, 1, 0);
    EXPECT_EQ(findElementById(7), first);
    delete first;
    EXPECT_EQ(findElementById(7), &second);
    EXPECT_EQ(findElementById(9), nullptr);
}

TEST_F(ElementTest, DefaultResizeSetsTheReceiversOwnSize) {
    TestBlock block(1, 10, 20, 5, 5, 0);
    TestBlock child(2, 0, 0, 1, 1, 0);
    block.childResized(&child, 30, 40);
    EXPECT_EQ(block.right, 40);
    EXPECT_EQ(block.bottom, 60);
    EXPECT_EQ(child.right, 1);
}

TEST_F(ElementTest, DefaultTimerAndUnselect) {
    TestBlock block(1, 0, 0, 1, 1, 0);
    EXPECT_EQ(block.onTimer(), 0);
    block.selected = 1;
    block.unselect();
    EXPECT_EQ(block.selected, 0);
}

TEST_F(ElementTest, AddOnAWidgetWithoutChildrenShowsTheErrorBoxAndChangesNothing) {
    TestBlock block(1, 10, 10, 20, 20, 0);
    TestBlock child(2, 0, 0, 5, 5, 0);
    block.add(&child, -1, -1);
    const auto boxes = platform::Device::instance().messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"You try to add an element to another element witch can not "
                             L"contain other component !");
    EXPECT_EQ(boxes[0].caption, L"Error : Element.add virtual !");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(child.parent, nullptr);
    EXPECT_EQ(block.right, 30);
    EXPECT_EQ(block.bottom, 30);
}

TEST_F(ElementTest, TapPostsExactlyOneNotificationToTheThreadQueue) {
    TestBlock block(1, 0, 0, 1, 1, 0);
    EXPECT_EQ(block.onClick(), 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.lParam, reinterpret_cast<LPARAM>(&block));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
}

class RecordingBlock : public TestBlock {
public:
    using TestBlock::TestBlock;
    void setMustRedraw() override { order.push_back(this); }
    static std::vector<const Element*> order;
};
std::vector<const Element*> RecordingBlock::order;

TEST_F(ElementTest, RedrawAllAsksEveryElementInRegistryOrder) {
    RecordingBlock::order.clear();
    RecordingBlock a(1, 0, 0, 1, 1, 0);
    RecordingBlock b(2, 0, 0, 1, 1, 0);
    RecordingBlock c(3, 0, 0, 1, 1, 0);
    redrawAllElements();
    EXPECT_EQ(RecordingBlock::order, (std::vector<const Element*>{&a, &b, &c}));
}

// ---- The redraw request ------------------------------------------------------------------------

class RedrawRequestTest : public ElementTest {
protected:
    OpenFrame frame;
    TestBlock* root = nullptr;

    void SetUp() override {
        // A screen whose own block lies far from where the tests redraw: what they see is the
        // erase alone.
        root = new TestBlock(100, 0, 600, 10, 10, 0x1234);
        frame->addScreen(root);
        fillScreen(kBlack);
        fullRedraw = 0;
    }

    void place(TestBlock& block, LONG x, LONG y) {
        block.screenRect = RECT{x, y, x + block.right - block.left, y + block.bottom - block.top};
    }
};

TEST_F(RedrawRequestTest, ErasesTheVisibleRectangleAndAsksForAFullRepaint) {
    TestBlock block(1, 0, 0, 40, 30, 0);
    place(block, 20, 200);
    block.setMustRedraw();
    EXPECT_EQ(dirtyRect.left, 20);
    EXPECT_EQ(dirtyRect.top, 200);
    EXPECT_EQ(dirtyRect.right, 60);
    EXPECT_EQ(dirtyRect.bottom, 230);
    EXPECT_EQ(fullRedraw, 1);
    EXPECT_EQ(root->paintCount, 1);
    EXPECT_EQ(pixelAt(20, 200), tunables::backgroundColour);
    EXPECT_EQ(pixelAt(59, 229), tunables::backgroundColour);
    EXPECT_EQ(pixelAt(60, 229), kBlack);
}

TEST_F(RedrawRequestTest, ElementWhollyAboveTheViewRequestsNothing) {
    TestBlock block(1, 0, 0, 40, 10, 0);
    place(block, 0, viewRect.top - 10);
    const RECT before = dirtyRect;
    block.setMustRedraw();
    EXPECT_EQ(root->paintCount, 0);
    EXPECT_EQ(fullRedraw, 0);
    EXPECT_EQ(dirtyRect.top, before.top);
    EXPECT_EQ(bufferPixelAt(0, viewRect.top - 5), kBlack);
}

TEST_F(RedrawRequestTest, ElementOfZeroWidthRequestsNothing) {
    TestBlock block(1, 0, 0, 0, 30, 0);
    place(block, 30, 200);
    block.setMustRedraw();
    EXPECT_EQ(root->paintCount, 0);
    EXPECT_EQ(fullRedraw, 0);
}

TEST_F(RedrawRequestTest, PartlyAboveTheViewIsCutAtTheViewTop) {
    TestBlock block(1, 0, 0, 40, 30, 0);
    place(block, 0, viewRect.top - 10);
    block.setMustRedraw();
    EXPECT_EQ(block.screenRect.top, viewRect.top);
    EXPECT_EQ(dirtyRect.bottom, viewRect.top + 20);
    EXPECT_EQ(bufferPixelAt(0, viewRect.top - 1), kBlack);
}

TEST_F(RedrawRequestTest, ElementBeyondTheRightEdgeIsErasedOnlyUpToTheScreenWidth) {
    TestBlock block(1, 0, 0, 200, 30, 0);
    place(block, 400, 300);
    block.setMustRedraw();
    EXPECT_EQ(block.screenRect.right, 480);
    EXPECT_EQ(dirtyRect.right, 480);
    EXPECT_EQ(pixelAt(479, 300), tunables::backgroundColour);
    EXPECT_EQ(pixelAt(399, 300), kBlack);
}

TEST_F(RedrawRequestTest, ElementBelowTheScreenIsCutAtItsBottomAndLeftAtZero) {
    TestBlock block(1, 0, 0, 50, 100, 0);
    place(block, -20, 600);
    block.setMustRedraw();
    EXPECT_EQ(dirtyRect.left, 0);
    EXPECT_EQ(dirtyRect.bottom, 640);
    EXPECT_EQ(pixelAt(0, 639), tunables::backgroundColour);
}

} // namespace

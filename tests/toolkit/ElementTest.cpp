// Element and its registry: scaling of design coordinates, lookup by id, redrawing every element,
// the default add and resize, the tap notification, and the redraw request with its
// clamping to what is visible.
#include "ToolkitTestSupport.h"

using namespace toolkit_test;

namespace {

class ElementTest : public ::testing::Test {
protected:
    ToolkitDevice device;
};

class RecordingBlock : public TestBlock {
public:
    using TestBlock::TestBlock;
    void setMustRedraw() override { redrawn.push_back(this); }
    static inline std::vector<const Element*> redrawn;
};

TEST_F(ElementTest, RegistryFindsTheFirstConstructedIdAndRedrawsTheLiveElementsInOrder) {
    RecordingBlock::redrawn.clear();
    auto* first = new RecordingBlock(7);
    RecordingBlock second(7);
    RecordingBlock other(8);
    EXPECT_EQ(findElementById(7), first);
    delete first;
    EXPECT_EQ(findElementById(7), &second);
    EXPECT_EQ(findElementById(9), nullptr);
    redrawAllElements();
    EXPECT_EQ(RecordingBlock::redrawn, (std::vector<const Element*>{&second, &other}));
}

TEST_F(ElementTest, DefaultAddIsRefusedWithTheErrorBoxAndDefaultResizeSizesTheReceiver) {
    TestBlock block(1, 20, 20, 10, 10);
    TestBlock child(2, 5, 5);
    block.add(&child, -1, -1);
    const auto boxes = shownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"You try to add an element to another element witch can not "
                             L"contain other component !");
    EXPECT_EQ(boxes[0].caption, L"Error : Element.add virtual !");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(child.parent, nullptr);
    block.childResized(&child, 30, 40);
    EXPECT_EQ(bounds(block), edges(RECT{10, 10, 40, 50}));
    EXPECT_EQ(child.right, 5);
}

// ---- The redraw request ------------------------------------------------------------------------

struct Placement {
    const char* name;
    LONG x, y, width, height; // y relative to the view's top
    bool requests;
    RECT erased; // y relative to the view's top, before the cut at the screen's bottom
};

class RedrawRequestTest : public ElementTest, public ::testing::WithParamInterface<Placement> {
protected:
    OpenFrame frame;
    TestBlock* root = new TestBlock(100);
};

TEST_P(RedrawRequestTest, ErasesOnlyTheVisibleRectangleAndAsksTheFrameForAFullRepaint) {
    const Placement& p = GetParam();
    frame->addScreen(root);
    fillScreen(kBlack);
    fullRedraw = 0;
    const LONG top = viewRect.top;
    const RECT before = dirtyRect;
    TestBlock block(1, p.width, p.height);
    block.screenRect = RECT{p.x, top + p.y, p.x + p.width, top + p.y + p.height};
    block.setMustRedraw();
    const RECT e{p.erased.left, top + p.erased.top, p.erased.right,
                 std::min<LONG>(top + p.erased.bottom, 640)};
    EXPECT_EQ(root->paintCount, p.requests ? 1 : 0);
    EXPECT_EQ(fullRedraw, p.requests ? 1 : 0);
    EXPECT_EQ(edges(dirtyRect), edges(p.requests ? e : before));
    if (p.requests) {
        EXPECT_EQ(edges(block.screenRect), edges(e));
    }
    EXPECT_TRUE(screenShows(e, tunables::backgroundColour));
}

INSTANTIATE_TEST_SUITE_P(
    Placements, RedrawRequestTest,
    ::testing::Values(
        Placement{"Inside", 20, 100, 40, 30, true, {20, 100, 60, 130}},
        Placement{"WhollyAboveTheView", 0, -10, 40, 10, false, {}},
        Placement{"ZeroWidth", 30, 100, 0, 30, false, {}},
        Placement{"PartlyAboveTheView", 0, -10, 40, 30, true, {0, 0, 40, 20}},
        Placement{"BeyondTheRightEdge", 400, 100, 200, 30, true, {400, 100, 480, 130}},
        Placement{"BelowTheScreenAndLeftOfIt", -20, 548, 50, 100, true, {0, 548, 30, 648}}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace

// Element and its registry: scaling of design coordinates, lookup by id, redrawing every element,
// the default add and resize, the tap notification, and the redraw request with its
// clamping to what is visible.
#include "support/Toolkit.h"

using namespace toolkit_test;

namespace {

class RecordingBlock : public TestBlock {
public:
    using TestBlock::TestBlock;
    void setMustRedraw() override { redrawn.push_back(this); }
    static inline std::vector<const Element*> redrawn;
};

TEST(ElementTest, RegistryFindsTheFirstConstructedIdAndRedrawsTheLiveElementsInOrder) {
    ToolkitDevice device;
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

TEST(ElementTest, DefaultAddIsRefusedWithTheErrorBoxAndDefaultResizeSizesTheReceiver) {
    ToolkitDevice device;
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

// The redraw request erases only the visible part of the element's rectangle and asks the frame
// for a full repaint; wholly hidden, it does nothing.
TEST(ElementTest, ARedrawRequestErasesOnlyTheVisibleRectangleAndAsksTheFrameForAFullRepaint) {
    ToolkitDevice device;
    OpenFrame frame;
    auto* root = new TestBlock(100);
    frame->addScreen(root);
    const LONG top = viewRect.top;
    // The element's place, then the rectangle erased, or none.
    const std::pair<RECT, std::optional<RECT>> placements[] = {
        {{20, top + 100, 60, top + 130}, RECT{20, top + 100, 60, top + 130}}, // inside
        {{0, top - 10, 40, top}, std::nullopt},                    // wholly above the view
        {{30, top + 100, 30, top + 130}, std::nullopt},            // no width
        {{0, top - 10, 40, top + 20}, RECT{0, top, 40, top + 20}}, // partly above the view
        {{400, top + 100, 600, top + 130}, RECT{400, top + 100, 480, top + 130}}, // right edge
        {{-20, top + 548, 30, top + 648}, RECT{0, top + 548, 30, 640}}, // below and left of it
    };
    for (const auto& [place, erased] : placements) {
        SCOPED_TRACE(::testing::Message() << place.left << "," << place.top);
        fillScreen(kBlack);
        fullRedraw = 0;
        const RECT before = dirtyRect;
        const int paints = root->paintCount;
        TestBlock block(1, place.right - place.left, place.bottom - place.top);
        block.screenRect = place;
        block.setMustRedraw();
        EXPECT_EQ(root->paintCount - paints, erased ? 1 : 0);
        EXPECT_EQ(fullRedraw, erased ? 1 : 0);
        EXPECT_EQ(edges(dirtyRect), edges(erased.value_or(before)));
        if (erased) {
            EXPECT_EQ(edges(block.screenRect), edges(*erased));
        }
        EXPECT_TRUE(screenShows(erased.value_or(RECT{}), tunables::backgroundColour));
    }
}

} // namespace

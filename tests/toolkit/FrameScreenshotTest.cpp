// A frame showing a screen of test elements, scrolled once, as the device presents it: the
// screenshot is kept as toolkit_frame.png in the working directory for a person to look at, and
// its pixels are checked here.
#include "ToolkitTestSupport.h"

#include "Tunables.h"

#include <gtest/gtest.h>

using namespace toolkit_test;

namespace {

// A screen of coloured blocks on the toolkit's background, scrolled by scripted steps.
class BlockBoard : public Element {
public:
    BlockBoard() : Element(100, 0, 0, kindSection, true) {
        right = GetSystemMetrics(SM_CXSCREEN);
        for (int row = 0; row < 12; ++row) {
            for (int column = 0; column < 3; ++column) {
                const auto colour =
                    static_cast<std::uint16_t>(((row * 5) << 11) | ((column * 20 + 10) << 5) | 12);
                children.push_back(std::make_unique<TestBlock>(-1, 20 + column * 150, 20 + row * 70,
                                                               130, 50, colour));
            }
        }
        bottom = 20 + 12 * 70;
    }
    void loadSurf() override {}
    Element* hitTest(int, int) override { return nullptr; }
    void paint(IDirectDrawSurface* target, int originX, int originY) override {
        for (auto& child : children) {
            child->paint(target, originX, originY + offset);
        }
        fullRedraw = 0;
    }
    int onTimer() override {
        const int step = pending;
        pending = 0;
        offset += step;
        return step;
    }

    std::vector<std::unique_ptr<TestBlock>> children;
    int offset = 0;
    int pending = 0;
};

TEST(FrameScreenshot, ShowsTheBlocksScrolledByOneStep) {
    ToolkitDevice device;
    OpenFrame frame;
    auto* board = new BlockBoard();
    frame->addScreen(board);
    sharedTracker()->scrollTarget = board;
    dirtyRect = viewRect;
    fullRedraw = 1;
    frame->redraw(true);

    board->pending = -45; // content moves up; the band at the bottom is repainted
    frame->redraw(false);

    const std::filesystem::path shot = std::filesystem::current_path() / "toolkit_frame.png";
    ASSERT_TRUE(platform::Device::instance().saveScreenshot(shot));
    const PngSize size = readPngSize(shot);
    EXPECT_EQ(size.width, 480u);
    EXPECT_EQ(size.height, 640u);

    const int top = viewRect.top;
    // First block of the third row: 20 + 2 * 70 - 45 below the view's top.
    const TestBlock& block = *board->children[6];
    EXPECT_EQ(pixelAt(30, top + 20 + 140 - 45), block.colour);
    EXPECT_EQ(pixelAt(30, top + 20 + 140 - 46), tunables::backgroundColour);
    // A block that was only partly on the screen before the step is whole now.
    const int lastRowTop = top + 20 + 8 * 70 - 45;
    if (lastRowTop + 49 < 640) {
        EXPECT_EQ(pixelAt(330, lastRowTop + 49), board->children[8 * 3 + 2]->colour);
    }
    sharedTracker()->scrollTarget = nullptr;
}

} // namespace

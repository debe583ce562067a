// A whole screen of containers (a section holding a titled panel with labels and fields, two
// buttons and a status label) dragged and flung through the window procedure: the pixels must end
// up exactly where a fresh paint of the same scroll offset puts them. And the picture of that
// screen in docs/section.png (tools/scripts/section-picture).
#include "support/ContainerScreen.h"
#include "support/Toolkit.h"

using namespace toolkit_test;

namespace {

class ContainerScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        installResourceSet(device);
        frame = std::make_unique<OpenFrame>();
        screen = buildContainerScreen(BoxFace::distinct, 1);
        (*frame)->addScreen(screen.section);
        paintWhole();
        bottomBound =
            (viewRect.bottom - clientRect.top) - (screen.section->bottom - screen.section->top);
    }

    // Presses at (240, fromY), moves by `steps` every `ms` milliseconds, and releases after
    // resting `restMs`.
    static void drag(int fromY, const std::vector<int>& steps, DWORD ms, DWORD restMs) {
        int y = fromY;
        stylus(platform::PointerAction::down, 240, y);
        for (int dy : steps) {
            platform::clock::advance(ms);
            stylus(platform::PointerAction::move, 240, y += dy);
        }
        platform::clock::advance(restMs);
        stylus(platform::PointerAction::up, 240, y);
    }

    ToolkitDevice device;
    std::unique_ptr<OpenFrame> frame;
    ContainerScreen screen;
    int bottomBound = 0;
};

TEST_F(ContainerScreenTest, DragsAndAFlingMoveThePixelsExactlyAsAFreshPaintAtTheSameOffset) {
    ASSERT_LT(bottomBound, -160); // the screen must be tall enough to scroll
    // Pulled past the top and let go: back to the top in one step.
    drag(500, {50, 55, 50}, 7, 400);
    EXPECT_EQ(screen.section->scrollOffset, 0);
    EXPECT_TRUE(showsAFreshPaint());

    // A fling that ends at the bottom bound.
    drag(500, {-40, -40, -40, -40}, 10, 0);
    ASSERT_TRUE(sharedTracker()->flinging);
    for (int tick = 0; tick < 100 && sharedTracker()->flinging; ++tick) {
        platform::clock::advance(30);
        pumpMessages();
    }
    EXPECT_EQ(screen.section->scrollOffset, bottomBound);
    EXPECT_TRUE(showsAFreshPaint());
    screen.section->scrollOffset = 0;
    paintWhole();
    platform::clock::advance(400);

    // Back down by 25 after 50 up: the panel's title bar comes back through the band in part.
    drag(500, {-37, -1, -12, 25}, 7, 400);
    EXPECT_EQ(screen.section->scrollOffset, -25);
    EXPECT_TRUE(showsAFreshPaint());
    platform::clock::advance(100);
    EXPECT_FALSE(KillTimer(mainWindow, tunables::motionTimerId)) << "the idle screen ticks on";
}

// Found by the main screen's touch fuzzer: moves that add up to more than the view between two
// frame steps (a swipe from the bottom edge to the top and back) marked a band reaching below the
// screen, and every widget cut by the bottom edge lost its picture there (the blitter refuses a
// rectangle that leaves the screen), to be scrolled up into sight later.
TEST_F(ContainerScreenTest, AMoveLongerThanTheViewInOneStepLeavesAFreshPaint) {
    const int bottomEdge = GetSystemMetrics(SM_CYSCREEN) - clientRect.top - 1;
    for (int offset = 0; offset >= bottomBound; offset -= 20) {
        screen.section->scrollOffset = offset;
        paintWhole();
        stylus(platform::PointerAction::down, 240, bottomEdge);
        platform::clock::advance(7);
        stylus(platform::PointerAction::move, 240, -clientRect.top); // the top of the screen
        platform::clock::advance(7);
        stylus(platform::PointerAction::move, 240, bottomEdge);
        ASSERT_EQ(screen.section->scrollOffset, offset);
        EXPECT_TRUE(showsAFreshPaint()) << "at offset " << offset;
        platform::clock::advance(400);
        stylus(platform::PointerAction::up, 240, bottomEdge);
    }
}

// docs/section.png: the screen as it first appears on the VGA phone. Written when
// DAWNBELL_PICTURE_DIR names a folder.
TEST(ContainerPicture, ShowsTheHeaderATitledPanelWithSeparatorsAndTheScrollBar) {
    ToolkitDevice device;
    installResourceSet(device);
    OpenFrame frame;
    const ContainerScreen screen = buildContainerScreen(BoxFace::plain, 1);
    frame->addScreen(screen.section);
    paintWhole();
    EXPECT_EQ(pixelAt(476, viewRect.top + 20), tunables::scrollBarColour);
    const Pixels bar = screenPixels(RECT{0, viewRect.top + 22, 300, viewRect.top + 23});
    EXPECT_EQ(*std::max_element(bar.data.begin(), bar.data.end()), 0xFFFF); // the panel's caption
    if (const char* folder = std::getenv("DAWNBELL_PICTURE_DIR")) {
        EXPECT_TRUE(platform::Device::instance().saveScreenshot(std::filesystem::path(folder) /
                                                                "section.png"));
    }
}

// A status label that grows by two lines pushes Quit down: Quit is drawn where it now lies and
// nothing of it stays where it lay.
TEST_F(ContainerScreenTest, ALabelThatGrowsTallerLeavesAFreshPaintBelowIt) {
    screen.section->scrollOffset = bottomBound; // Quit in view
    paintWhole();
    screen.status->setText(L"Magic packet sended ;-)\nWaiting for the computer to wake...", true);
    EXPECT_TRUE(showsAFreshPaint());
}

} // namespace

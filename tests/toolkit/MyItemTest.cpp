// MyItem on the real resource set: the frame drawn for every state of every style, the press,
// tap, release and enable transitions with their notification, and the fatal style check.
#include "support/Toolkit.h"

using namespace toolkit_test;

namespace {

// Where each style's faces come from, written down independently of the item.
struct Strip {
    int image;
    int frames;
};
const Strip kMainStrip[] = {{},
                            {imageCheckbox, 6},
                            {imageSwitch, 7},
                            {imageNormalButton, 4},
                            {imageMsgboxLargeButton, 4},
                            {imageMsgboxSmallButton, 4},
                            {imageListItem, 2}};
const Strip kThirdStateStrip[] = {{}, {imageCheckboxThirdState, 2}, {imageSwitchThirdState, 2}};

// Push buttons: frame 0 normal, 1 pressed, 2 disabled (a list's rows have no disabled face);
// boxes and switches have their own strip for the third states.
std::pair<Strip, int> expectedFace(int style, int state) {
    if (style == itemListRow) { // normal and pressed only
        return {kMainStrip[style], state == itemPressedOff || state == itemPressedOn ? 1 : 0};
    }
    if (style >= itemButton) {
        const int frames[] = {0, 0, 2, 2, 1, 1, 0, 2};
        return {kMainStrip[style], frames[state]};
    }
    if (state >= itemThirdState) {
        return {kThirdStateStrip[style], state - itemThirdState};
    }
    const bool pressedSwitch = style == itemSwitch && state >= itemPressedOff;
    return {kMainStrip[style], pressedSwitch ? 6 : state};
}

Pixels face(const Strip& strip, int frame) {
    IDirectDrawSurface* surface = loadImage(imagePaths[static_cast<size_t>(strip.image)]);
    const Pixels all = surfacePixels(surface);
    surface->Release();
    Pixels one{all.width / strip.frames, all.height, {}};
    for (LONG y = 0; y < all.height; ++y) {
        const auto row = all.data.begin() + y * all.width + frame * one.width;
        one.data.insert(one.data.end(), row, row + one.width);
    }
    return one;
}

class MyItemTest : public ::testing::Test {
protected:
    ToolkitDevice device;
    std::optional<OpenFrame> frame;

    void SetUp() override {
        installResourceSet(device);
        frame.emplace();
        createBackBuffer();
    }

    // The item alone at the top of the view, painted once over the backdrop.
    static std::unique_ptr<MyItem> show(int style, int state, const std::wstring& caption = L"") {
        auto item = std::make_unique<MyItem>(-1, 20, 40, static_cast<BYTE>(style),
                                             static_cast<BYTE>(state), caption);
        fillScreen(kBackdrop);
        dirtyRect = viewRect;
        item->paint(primarySurface, viewRect.left, viewRect.top);
        return item;
    }

    static RECT placeOf(const MyItem& item) {
        return RECT{viewRect.left + item.left, viewRect.top + item.top, viewRect.left + item.right,
                    viewRect.top + item.bottom};
    }
};

TEST_F(MyItemTest, EveryStateOfEveryStyleShowsItsFrameOfItsStrip) {
    for (int style = itemCheckBox; style <= itemListRow; ++style) {
        for (int state = itemOff; state <= itemDisabledThirdState; ++state) {
            const auto item = show(style, state);
            const auto [strip, frameIndex] = expectedFace(style, state);
            const Pixels expected = face(strip, frameIndex);
            const Pixels shown = screenPixels(placeOf(*item));
            EXPECT_EQ(std::make_pair(shown.width, shown.height),
                      std::make_pair(expected.width, expected.height));
            EXPECT_TRUE(shown.data == expected.data) << "style " << style << " state " << state;
        }
    }
}

// What each input makes of each state, and whether a tap notifies.
struct Transition {
    BYTE state, afterPress, afterTap, afterRelease, afterToggle;
    bool notifies;
};

TEST_F(MyItemTest, PressTapReleaseAndToggleMoveEveryStateAndOnlyEnabledTapsNotify) {
    const Transition table[] = {
        {0, 4, 1, 0, 2, true},  {1, 5, 0, 1, 3, true},  {2, 2, 2, 2, 0, false},
        {3, 3, 3, 3, 1, false}, {4, 4, 1, 0, 2, true},  {5, 5, 0, 1, 3, true},
        {6, 6, 1, 6, 7, true},  {7, 7, 7, 7, 6, false},
    };
    const auto item = show(itemButton, itemOff, L"Send");
    const POINT corner{viewRect.left + item->left, viewRect.top + item->top - clientRect.top};
    MSG msg;
    for (const Transition& t : table) {
        item->state = t.state;
        item->selected = 0;
        EXPECT_EQ(item->hitTest(corner.x + 10, corner.y + 10), item.get());
        EXPECT_EQ(std::make_pair(item->selected, item->state),
                  std::make_pair(BYTE{1}, t.afterPress));
        item->state = t.state;
        item->onClick();
        EXPECT_EQ(item->state, t.afterTap) << int{t.state};
        EXPECT_EQ(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE) != 0, t.notifies);
        item->state = t.state;
        item->unselect();
        EXPECT_EQ(item->state, t.afterRelease) << int{t.state};
        item->state = t.state;
        item->toggleEnabled();
        EXPECT_EQ(item->state, t.afterToggle) << int{t.state};
    }
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
    item->state = itemOff;
    fullRedraw = 0;
    item->onClick();
    EXPECT_EQ(fullRedraw, 1) << "a tap's new state is drawn";
    // A caption grown taller than its button (placed below the view's top) is cut to it.
    MyLabel& caption = *item->captionLabel;
    item->childResized(&caption, 1, item->bottom - item->top + 10);
    EXPECT_EQ(caption.bottom - caption.top, item->bottom - item->top);
}

TEST(MyItemStyle, AStyleOutsideOneToSixShowsWhyAndEndsTheProgram) {
    static BYTE wrongStyle;
    for (BYTE style : {BYTE{0}, BYTE{7}}) {
        wrongStyle = style;
        expectBoxAndExit([] { MyItem item(-1, 0, 0, wrongStyle, 0, L"OK"); },
                         "Wrong parameter\\|30\\|Can't create this Item\\.");
    }
}

} // namespace

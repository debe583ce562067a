// The input panel: its rectangle for the screen and dpi, its flags, and the task bar's part in
// the visible desktop.
#include "ShellTestSupport.h"
#include "aygshell.h"

using namespace shelltest;

namespace {

class VgaPanelTest : public ShellTest {
protected:
    VgaPanelTest() : ShellTest(480, 640, 192) {}
};

class QvgaPanelTest : public ShellTest {
protected:
    QvgaPanelTest() : ShellTest(240, 320, 96) {}
};

SIPINFO sipInfo() {
    SIPINFO info{};
    info.cbSize = sizeof info;
    EXPECT_TRUE(SipGetInfo(&info));
    return info;
}

void expectRect(const RECT& actual, const RECT& expected) {
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right, expected.right);
    EXPECT_EQ(actual.bottom, expected.bottom);
}

bool anyPixelDiffers(const std::vector<std::uint16_t>& pixels, std::uint16_t from) {
    for (auto p : pixels) {
        if (p != from)
            return true;
    }
    return false;
}

} // namespace

TEST_F(VgaPanelTest, PanelIsOneHundredSixtyPixelsAtTheBottomAt192Dpi) {
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    const SIPINFO info = sipInfo();
    EXPECT_EQ(info.fdwFlags & SIPF_ON, static_cast<DWORD>(SIPF_ON));
    expectRect(info.rcSipRect, {0, 480, 480, 640});
    expectRect(info.rcVisibleDesktop, {0, 52, 480, 480}); // between task bar and panel
}

TEST_F(QvgaPanelTest, PanelIsEightyPixelsAtTheBottomAt96Dpi) {
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    const SIPINFO info = sipInfo();
    expectRect(info.rcSipRect, {0, 240, 240, 320});
    expectRect(info.rcVisibleDesktop, {0, 26, 240, 240});
}

TEST_F(VgaPanelTest, PanelRectangleIsKnownBeforeItIsShown) {
    ASSERT_TRUE(SipShowIM(SIPF_OFF));
    const SIPINFO info = sipInfo();
    EXPECT_EQ(info.fdwFlags & SIPF_ON, 0u);
    expectRect(info.rcSipRect, {0, 480, 480, 640});
    expectRect(info.rcVisibleDesktop, {0, 52, 480, 640});
}

TEST_F(VgaPanelTest, PanelFollowsRotation) {
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    device().rotate();
    SIPINFO info = sipInfo();
    expectRect(info.rcSipRect, {0, 320, 640, 480});
    expectRect(info.rcVisibleDesktop, {0, 52, 640, 320});
    const auto keys = platform::shell::keyboard().keys();
    EXPECT_EQ(keys.back().cell.right, 640) << "the keys spread over the new width";
    device().rotate();
    expectRect(sipInfo().rcSipRect, {0, 480, 480, 640});
}

TEST_F(VgaPanelTest, HiddenTaskBarGivesTheVisibleDesktopTheTopRows) {
    HWND window = ownerWindow();
    ASSERT_TRUE(SHFullScreen(window, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON));
    EXPECT_FALSE(device().taskBarVisible());
    EXPECT_FALSE(platform::shell::sipButtonShown());
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    expectRect(sipInfo().rcVisibleDesktop, {0, 0, 480, 480});
    ASSERT_TRUE(SHFullScreen(window, SHFS_SHOWSIPBUTTON));
    EXPECT_TRUE(platform::shell::sipButtonShown());
    EXPECT_FALSE(device().taskBarVisible()) << "only the flags given change";
    ASSERT_TRUE(SHFullScreen(window, SHFS_SHOWTASKBAR));
    EXPECT_TRUE(device().taskBarVisible());
    EXPECT_FALSE(SHFullScreen(nullptr, SHFS_SHOWTASKBAR)) << "needs the requesting window";
}

TEST_F(VgaPanelTest, InfoRecordMustCarryItsOwnSize) {
    SIPINFO info{};
    info.cbSize = 48;
    if (sizeof(SIPINFO) != 48) {
        EXPECT_FALSE(SipGetInfo(&info));
        EXPECT_FALSE(SHSipInfo(SPI_GETSIPINFO, 0, &info, 0));
    }
    EXPECT_FALSE(SipGetInfo(nullptr));
    info.cbSize = sizeof info;
    EXPECT_FALSE(SHSipInfo(1234, 0, &info, 0));
}

TEST_F(VgaPanelTest, SetSipInfoTurnsThePanelOnAndOffWithItsFlags) {
    SIPINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(SHSipInfo(SPI_GETSIPINFO, 0, &info, 0));
    info.fdwFlags = SIPF_ON | SIPF_DOCKED;
    ASSERT_TRUE(SHSipInfo(SPI_SETSIPINFO, 0, &info, 0));
    EXPECT_EQ(sipInfo().fdwFlags, static_cast<DWORD>(SIPF_ON | SIPF_DOCKED));
    info.fdwFlags = 0;
    ASSERT_TRUE(SHSipInfo(SPI_SETSIPINFO, 0, &info, 0));
    EXPECT_EQ(sipInfo().fdwFlags, 0u);
    EXPECT_FALSE(platform::shell::keyboard().visible());
}

TEST_F(VgaPanelTest, KeyboardIsDrawnOnlyWhileThePanelIsOn) {
    const RECT panel{0, 480, 480, 640};
    const auto before = screen(panel);
    ASSERT_FALSE(anyPixelDiffers(before, before.front()));
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    const auto shown = screen(panel);
    EXPECT_TRUE(anyPixelDiffers(shown, before.front()));
    ASSERT_TRUE(SipShowIM(SIPF_OFF));
    EXPECT_EQ(screen(panel), before);
}

TEST_F(VgaPanelTest, PressedKeyIsHighlightedUntilReleased) {
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    const auto& key = keyFor(L'g');
    const RECT face = key.face;
    const auto idle = screen(face);
    const POINT p = centre(face);
    device().pointer(platform::PointerAction::down, p.x, p.y);
    EXPECT_NE(screen(face), idle);
    device().pointer(platform::PointerAction::up, p.x, p.y);
    EXPECT_EQ(screen(face), idle);
}

TEST_F(VgaPanelTest, WithoutADeviceThePanelCannotBeShown) {
    platform::Device::stop();
    EXPECT_FALSE(SipShowIM(SIPF_ON));
    SIPINFO info{};
    info.cbSize = sizeof info;
    EXPECT_FALSE(SipGetInfo(&info));
}

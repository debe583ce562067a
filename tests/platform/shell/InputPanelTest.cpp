// The input panel: its rectangle for the screen and dpi, its flags, and the task bar's part in
// the visible desktop.
#include "ShellTestSupport.h"
#include "aygshell.h"

#include <algorithm>
#include <array>

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
    EXPECT_EQ((std::array{actual.left, actual.top, actual.right, actual.bottom}),
              (std::array{expected.left, expected.top, expected.right, expected.bottom}));
}

// The panel's rectangle and the visible desktop, with the panel off and then on.
void expectPanel(const RECT& panel, const RECT& desktopAbovePanel, LONG screenBottom) {
    ASSERT_TRUE(SipShowIM(SIPF_OFF));
    SIPINFO info = sipInfo();
    EXPECT_EQ(info.fdwFlags & SIPF_ON, 0u);
    expectRect(info.rcSipRect, panel);
    RECT wholeDesktop = desktopAbovePanel;
    wholeDesktop.bottom = screenBottom;
    expectRect(info.rcVisibleDesktop, wholeDesktop);
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    info = sipInfo();
    EXPECT_EQ(info.fdwFlags & SIPF_ON, static_cast<DWORD>(SIPF_ON));
    expectRect(info.rcSipRect, panel);
    expectRect(info.rcVisibleDesktop, desktopAbovePanel);
}

} // namespace

TEST_F(VgaPanelTest, PanelIsOneHundredSixtyPixelsBelowTheTaskBarAt192DpiAndFollowsRotation) {
    expectPanel({0, 480, 480, 640}, {0, 52, 480, 480}, 640);
    device().rotate();
    expectPanel({0, 320, 640, 480}, {0, 52, 640, 320}, 480);
    EXPECT_EQ(platform::shell::keyboard().keys().back().cell.right, 640)
        << "the keys spread over the new width";
    device().rotate();
    expectRect(sipInfo().rcSipRect, {0, 480, 480, 640});
}

TEST_F(QvgaPanelTest, PanelIsEightyPixelsBelowTheTaskBarAt96DpiAndItsKeysType) {
    HWND edit = showEdit({10, 100, 230, 130});
    expectPanel({0, 240, 240, 320}, {0, 26, 240, 240}, 320);
    typeOnPanel(L"9");
    tapKey(keyOfKind(platform::shell::KeyKind::shift));
    typeOnPanel(L"z.m-");
    EXPECT_EQ(textOf(edit), L"9Z.m-");
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

TEST_F(VgaPanelTest, SetSipInfoSwitchesThePanelAndRecordsMustCarryTheirOwnSize) {
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

    EXPECT_FALSE(SHSipInfo(1234, 0, &info, 0));
    EXPECT_FALSE(SipGetInfo(nullptr));
    info.cbSize = sizeof info + 4;
    EXPECT_FALSE(SipGetInfo(&info));
    EXPECT_FALSE(SHSipInfo(SPI_GETSIPINFO, 0, &info, 0));
}

TEST_F(VgaPanelTest, KeyboardIsDrawnOnlyWhileOnWithThePressedKeyHighlighted) {
    const RECT panel{0, 480, 480, 640};
    const auto before = screen(panel);
    ASSERT_TRUE(std::all_of(before.begin(), before.end(), [&](auto p) { return p == before[0]; }));
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    const auto shown = screen(panel);
    EXPECT_FALSE(std::all_of(shown.begin(), shown.end(), [&](auto p) { return p == before[0]; }));

    const RECT face = keyFor(L'g').face;
    const auto idle = screen(face);
    const POINT p = centre(face);
    device().pointer(platform::PointerAction::down, p.x, p.y);
    EXPECT_NE(screen(face), idle);
    device().pointer(platform::PointerAction::up, p.x, p.y);
    EXPECT_EQ(screen(face), idle);

    ASSERT_TRUE(SipShowIM(SIPF_OFF));
    EXPECT_EQ(screen(panel), before);
}

TEST_F(VgaPanelTest, WithoutADeviceThePanelCannotBeShown) {
    platform::Device::stop();
    EXPECT_FALSE(SipShowIM(SIPF_ON));
    SIPINFO info{};
    info.cbSize = sizeof info;
    EXPECT_FALSE(SipGetInfo(&info));
}

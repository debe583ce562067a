// The input panel: its rectangle for the screen and dpi, its flags, the task bar's part in the
// visible desktop, and typing with a finger alone: taps on its keys reach the focused EDIT window.
#include "support/Shell.h"
#include "aygshell.h"
#include "shell/Canvas.h"

#include <algorithm>
#include <array>
#include <tuple>

using namespace shelltest;
using platform::PointerAction;
using platform::shell::KeyKind;

namespace {

using VgaPanelTest = ShellTest;
using PanelTypingTest = EditFieldTest;

class QvgaPanelTest : public ShellTest {
protected:
    QvgaPanelTest() : ShellTest(240, 320, 96) {}
};

SIPINFO sipInfo() {
    SIPINFO info{sizeof info};
    EXPECT_TRUE(SipGetInfo(&info));
    return info;
}

std::array<LONG, 4> corners(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

// The panel's rectangle and the visible desktop, with the panel off and then on.
void expectPanel(const RECT& panel, RECT visible, LONG screenBottom) {
    for (DWORD on : {0, SIPF_ON}) {
        ASSERT_TRUE(SipShowIM(on ? SIPF_ON : SIPF_OFF));
        const SIPINFO info = sipInfo();
        EXPECT_EQ(info.fdwFlags & SIPF_ON, on);
        EXPECT_EQ(corners(info.rcSipRect), corners(panel));
        EXPECT_EQ(corners(info.rcVisibleDesktop), corners({visible.left, visible.top, visible.right,
                                                           on ? visible.bottom : screenBottom}));
    }
}

} // namespace

TEST_F(VgaPanelTest, PanelIsOneHundredSixtyPixelsBelowTheTaskBarAt192DpiAndFollowsRotation) {
    expectPanel({0, 480, 480, 640}, {0, 52, 480, 480}, 640);
    device().rotate();
    expectPanel({0, 320, 640, 480}, {0, 52, 640, 320}, 480);
    EXPECT_EQ(platform::shell::keyboard().keys().back().cell.right, 640)
        << "the keys spread over the new width";
    device().rotate();
    EXPECT_EQ(corners(sipInfo().rcSipRect), corners({0, 480, 480, 640}));
}

TEST_F(QvgaPanelTest, PanelIsEightyPixelsBelowTheTaskBarAt96DpiAndItsKeysType) {
    HWND edit = showEdit({10, 100, 230, 130});
    expectPanel({0, 240, 240, 320}, {0, 26, 240, 240}, 320);
    typeOnPanel(L"9");
    tap(centre(key(0, KeyKind::shift)));
    typeOnPanel(L"z.m-");
    EXPECT_EQ(textOf(edit), L"9Z.m-");
}

TEST_F(VgaPanelTest, PanelCallsRefuseRecordsOfAnotherSizeAndNeedTheDevice) {
    SIPINFO info{sizeof info + 4};
    EXPECT_FALSE(SipGetInfo(&info));
    platform::Device::stop();
    EXPECT_FALSE(SipShowIM(SIPF_ON)) << "without a device the panel cannot be shown";
    info.cbSize = sizeof info;
    EXPECT_FALSE(SipGetInfo(&info));
}

TEST_F(VgaPanelTest, KeyboardIsDrawnOnlyWhileOnWithThePressedKeyHighlighted) {
    const RECT panel{0, 480, 480, 640};
    const auto before = screen(panel);
    const auto plain = [&](const auto& pixels) {
        return std::all_of(pixels.begin(), pixels.end(), [&](auto p) { return p == before[0]; });
    };
    ASSERT_TRUE(plain(before));
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    EXPECT_FALSE(plain(screen(panel)));
    const auto edge = screen({0, 480, 480, 482}); // a darker line of 1 px at 96 dpi on top
    EXPECT_EQ(edge, std::vector<std::uint16_t>(edge.size(), 0xA535));
    EXPECT_EQ(screen({0, 482, 1, 483})[0], 0xCE9B) << "the panel's own grey below it";

    // A pixel of a key's face beside its label.
    const auto keyPixel = [](const RECT& face) {
        return screen({face.left + 2, centre(face).y, face.left + 3, centre(face).y + 1})[0];
    };
    const RECT face = key(L'g');
    EXPECT_EQ(std::pair(key(L'h').left - face.right, key(L'b').top - face.bottom), std::pair(6, 6))
        << "keys stand 3 px at 96 dpi apart, across and down";
    const auto idle = screen(face);
    EXPECT_EQ(keyPixel(face), 0xFFFF) << "a character key is white";
    EXPECT_EQ(keyPixel(key(0, KeyKind::shift)), 0xAD97) << "a function key is grey";
    device().pointer(PointerAction::down, centre(face).x, centre(face).y);
    EXPECT_EQ(keyPixel(face), 0x3C1E) << "the pressed key is blue";
    const auto pressed = screen(face);
    EXPECT_GT(std::count(pressed.begin(), pressed.end(), 0xFFFF), 10) << "with a white label";
    device().pointer(PointerAction::up, centre(face).x, centre(face).y);
    EXPECT_EQ(screen(face), idle);
    const auto blueIn = [](const RECT& area) {
        const auto pixels = screen(area);
        return std::count(pixels.begin(), pixels.end(), 0x3C1E);
    };
    tap(centre(key(0, KeyKind::shift)));
    EXPECT_GT(blueIn(key(0, KeyKind::shift)), 2) << "shift on: its label is blue";
    EXPECT_EQ(blueIn(face), 0) << "and only its own";
    tap(centre(key(0, KeyKind::shift)));
    EXPECT_EQ(blueIn(key(0, KeyKind::shift)), 0);
    // A finger that came down outside the panel stays the window's, over the panel or not.
    for (const PointerAction action : {PointerAction::move, PointerAction::up})
        EXPECT_FALSE(platform::shell::keyboard().onPointer(action, centre(face).x, centre(face).y));

    ASSERT_TRUE(SipShowIM(SIPF_OFF));
    EXPECT_EQ(screen(panel), before);
}

TEST_F(PanelTypingTest, KeysTypeIntoTheFocusedEditAtTheCaretATouchPlaces) {
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    typeOnPanel(L"192.168.1.20 00:1a-2b");
    tap({field.left + 1, 230}); // the caret goes to the touch
    typeOnPanel(L"x");
    tap(centre(key(0, KeyKind::shift)));
    tap(centre(key(0, KeyKind::shift)));
    typeOnPanel(L"y");
    tap({field.right - 2, 230});
    tap(centre(key(0, KeyKind::backspace)));
    tap(centre(key(0, KeyKind::enter)));
    // A second tap takes shift back; a one-line field takes no line break.
    EXPECT_EQ(textOf(edit), L"xy192.168.1.20 00:1a-2");
}

// The keys' rounded rectangles look the same in a mirror, left to right and top to bottom, and
// touch nothing outside their area.
TEST(KeyShapeTest, ARoundedRectangleIsSymmetricAndStaysInsideItsArea) {
    constexpr int width = 20, height = 12;
    std::vector<std::uint16_t> pixels(width * height, 0);
    platform::shell::Canvas(pixels.data(), width, height, width)
        .fillRoundRect({2, 1, 18, 11}, 4, {255, 255, 255});
    const auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y * width + x)]; };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            EXPECT_EQ(at(x, y), at(width - 1 - x, y)) << x << "," << y;
            if (x < 2 || y < 1 || y > 10)
                EXPECT_EQ(at(x, y), 0) << x << "," << y;
            else
                EXPECT_EQ(at(x, y), at(x, 11 - y)) << x << "," << y;
        }
    }
    EXPECT_EQ(at(10, 6), 0xFFFF);
    // A corner of radius 4: its outermost pixel left out, its innermost one filled, one between
    // on the arc partly covered.
    EXPECT_EQ(std::tuple(at(2, 1), at(5, 4)), std::tuple(0, 0xFFFF));
    EXPECT_TRUE(at(3, 1) != 0 && at(3, 1) != 0xFFFF) << at(3, 1);
}

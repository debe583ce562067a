// The native EDIT control: its text, caret keys, paste, blinking caret, drawing and notices.
#include "support/Shell.h"

#include <algorithm>
#include <map>

using namespace shelltest;

namespace {

constexpr UINT_PTR caretTimer = 0xCA7E;

class EditControlTest : public EditFieldTest {
protected:
    // Types `keys`: arrows, ⇤ ⇥ (home, end), and ⌦ (delete) as key presses, the rest as
    // characters.
    void type(const std::wstring& keys) {
        static const std::map<wchar_t, UINT> pressed{
            {L'←', VK_LEFT}, {L'→', VK_RIGHT}, {L'⇤', VK_HOME}, {L'⇥', VK_END}, {L'⌦', VK_DELETE}};
        for (wchar_t c : keys) {
            const auto key = pressed.find(c);
            if (key == pressed.end()) {
                SendMessageW(edit, WM_CHAR, c, 1);
            } else {
                SendMessageW(edit, WM_KEYDOWN, key->second, 1);
                SendMessageW(edit, WM_KEYUP, key->second, 0xC0000001);
            }
        }
    }
    void setText(const wchar_t* text) {
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }

    static int darkPixels(const std::vector<std::uint16_t>& pixels) {
        return static_cast<int>(std::count_if(pixels.begin(), pixels.end(), [](std::uint16_t p) {
            return (p >> 11) < 8 && ((p >> 5) & 0x3f) < 16 && (p & 0x1f) < 8;
        }));
    }
};

std::vector<WORD> ownerNotifications;

LRESULT CALLBACK recordingOwner(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND)
        ownerNotifications.push_back(HIWORD(wParam));
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

TEST_F(EditControlTest, CharactersGoInAtTheCaretWhichTheKeysMove) {
    setText(L"abc");
    const std::pair<const wchar_t*, const wchar_t*> steps[] = {
        {L"d", L"abcd"}, // a new text puts the caret at its end
        {L"←←X", L"abXcd"},
        {L"⇤Y⇥Z", L"YabXcdZ"},
        {L"⇤→⌦", L"YbXcdZ"},
        {L"\b\b", L"bXcdZ"},              // backspace at the start removes nothing
        {L"⇥⌦→!a\r\n\t\x1b", L"bXcdZ!a"}, // delete and right stop at the end; no controls
    };
    for (const auto& [keys, expected] : steps) {
        type(keys);
        EXPECT_EQ(textOf(edit), expected);
    }
}

TEST_F(EditControlTest, FieldIsDrawnWhiteWithItsTextWhileShownAndWithoutAFrame) {
    const int width = field.right - field.left;
    const auto empty = screen(field);
    EXPECT_EQ(empty[static_cast<size_t>(width) - 1], 0xFFFF)
        << "the program's field has no border style";
    setText(L"WWWW");
    const auto withText = screen(field);
    EXPECT_GT(darkPixels(withText), darkPixels(empty));
    EXPECT_EQ(withText[(field.bottom - field.top) / 2 * width + width - 8], 0xFFFF)
        << "the field is white behind the text";
    ShowWindow(edit, SW_HIDE);
    platform::pumpMessages();
    EXPECT_NE(screen(field), withText) << "a hidden field is not drawn";
}

TEST_F(EditControlTest, ABorderedFieldDrawsItsTextInsideItsFrameAndPadding) {
    const RECT framed{40, 300, 440, 360};
    HWND bordered =
        CreateWindowExW(0, L"EDIT", nullptr, WS_BORDER | ES_AUTOHSCROLL, framed.left, framed.top,
                        framed.right - framed.left, framed.bottom - framed.top, ownerWindow(),
                        nullptr, nullptr, nullptr);
    ShowWindow(bordered, SW_SHOW);
    for (HWND window : {edit, bordered})
        SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"WWWW"));
    SetFocus(ownerWindow()); // no caret in either
    platform::pumpMessages();
    // The first column with ink, counted from the field's left edge.
    const auto inkLeft = [](const std::vector<std::uint16_t>& pixels, int width) {
        int left = width;
        for (std::size_t i = 0; i < pixels.size(); ++i)
            if (darkPixels({pixels[i]}) == 1)
                left = std::min(left, static_cast<int>(i % width));
        return left;
    };
    const int width = field.right - field.left;
    const auto framedPixels = screen(framed);
    EXPECT_EQ(framedPixels[0], 0x7C11) << "the frame's grey";
    // One design pixel of frame and three of padding, at 192 dpi: the same glyphs 8 pixels on.
    EXPECT_EQ(inkLeft(framedPixels, width) - inkLeft(screen(field), width), 8);
    // Its caret stands in the middle of its height: the rows its blinking changes.
    SetFocus(bordered);
    platform::pumpMessages();
    const auto withCaret = screen(framed);
    platform::clock::advance(500);
    platform::pumpMessages();
    const auto withoutCaret = screen(framed);
    const int across = framed.right - framed.left, down = framed.bottom - framed.top;
    int first = down, last = -1;
    for (int i = 0; i < across * down; ++i) {
        if (withCaret[i] != withoutCaret[i])
            std::tie(first, last) =
                std::pair(std::min(first, i / across), std::max(last, i / across));
    }
    EXPECT_NEAR(first + last + 1, down, 2) << first << ".." << last;
    DestroyWindow(bordered);
}

TEST_F(EditControlTest, CaretBlinksOnTheDeviceClockOnlyWhileFocusedAndShown) {
    const auto on = screen(field);
    platform::clock::advance(500);
    platform::pumpMessages();
    const auto off = screen(field);
    EXPECT_LT(darkPixels(off), darkPixels(on)) << "the caret went off";
    platform::clock::advance(500);
    platform::pumpMessages();
    EXPECT_EQ(screen(field), on);

    SetFocus(ownerWindow());
    platform::pumpMessages();
    EXPECT_EQ(screen(field), off) << "no caret without the focus";
    EXPECT_FALSE(KillTimer(edit, caretTimer)) << "no blinking without the focus";
    SetFocus(edit);
    platform::pumpMessages();
    EXPECT_EQ(screen(field), on) << "the focus brings the caret back";
    platform::clock::advance(500);
    platform::pumpMessages();
    EXPECT_EQ(screen(field), off) << "and its blinking";
    type(L"⇥");
    platform::pumpMessages();
    EXPECT_EQ(screen(field), on) << "a key shows the caret at once";
    ShowWindow(edit, SW_HIDE);
    platform::pumpMessages();
    EXPECT_FALSE(KillTimer(edit, caretTimer)) << "no blinking while hidden";
}

TEST_F(EditControlTest, ChangesAreReportedToTheOwner) {
    ownerNotifications.clear();
    SetWindowLongW(ownerWindow(), GWL_WNDPROC, reinterpret_cast<LONG_PTR>(recordingOwner));
    type(L"a→");
    SetFocus(ownerWindow());
    SetFocus(edit);
    platform::pumpMessages();
    EXPECT_EQ(ownerNotifications, (std::vector<WORD>{EN_CHANGE, EN_KILLFOCUS, EN_SETFOCUS}));
}

// A touch puts the caret in the gap nearest to it: past a letter's middle, after the letter.
TEST_F(EditControlTest, ATouchPutsTheCaretInTheNearestGap) {
    setText(L"WWW");
    const auto pixels = screen(field);
    const int width = field.right - field.left;
    const auto darkColumn = [&](int x) {
        std::vector<std::uint16_t> column;
        for (std::size_t at = x; at < pixels.size(); at += width)
            column.push_back(pixels[at]);
        return darkPixels(column) > 0;
    };
    int inkLeft = 0; // the first column the text darkens
    while (inkLeft < width && !darkColumn(inkLeft))
        ++inkLeft;
    std::vector<int> steps; // where the caret's gap moves on by one
    for (int x = 0; x < width; ++x) {
        SendMessageW(edit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 5));
        type(L"|");
        const std::wstring text = textOf(edit);
        type(L"\b");
        if (text.find(L'|') > steps.size())
            steps.push_back(x);
    }
    ASSERT_EQ(steps.size(), 3u);
    const int letter = steps[1] - steps[0];
    EXPECT_EQ(steps[2] - steps[1], letter);
    EXPECT_NEAR(steps[0] - inkLeft, letter / 2, 2) << "the middle of the first letter";
}

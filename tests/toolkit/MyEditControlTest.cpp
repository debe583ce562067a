// The text field: its frame drawn from the image's tiles, the slide that brings it above the input
// panel, the native editor laid over it with the on-screen keyboard, typing by keyboard taps,
// keys and paste, and the touch that ends the edit and goes on to the section. Everything runs
// through the frame's window as the program's message loop would run it.
#include "support/ContainerScreen.h"
#include "MyEditControl.h"
#include "support/Toolkit.h"

#include "shell/Shell.h"

#include <aygshell.h>

using namespace toolkit_test;

namespace {

constexpr int kFieldX = 30;
constexpr int kFieldWidth = 420;
constexpr int kFieldHeight = 56; // the frame image's height on the VGA phone

SIPINFO panelInfo() {
    SIPINFO info{};
    info.cbSize = sizeof info;
    SipGetInfo(&info);
    return info;
}

std::wstring editorText() {
    std::wstring text(20000, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(editWindow, text.data(), 20000)));
    return text;
}

// A finger at a screen point, and the messages it brings handled.
void pointer(platform::PointerAction action, int x, int y) {
    touch(action, POINT{x, y});
    pumpMessages();
}

// A touch of 40 ms at a screen point.
void tapScreen(POINT at) {
    pointer(platform::PointerAction::down, at.x, at.y);
    platform::clock::advance(40);
    pointer(platform::PointerAction::up, at.x, at.y);
}

// One tick of the 30 ms motion timer; `count` of them, or until the editor opens.
void tick(int count = 1) {
    for (int i = 0; i < count && (count == 1 || frameHasFocus == 1); ++i) {
        platform::clock::advance(tunables::motionTimerPeriodMs);
        pumpMessages();
    }
}

void typeOnPanel(const std::wstring& text) {
    for (wchar_t c : text) {
        for (const platform::shell::Key& key : platform::shell::keyboard().keys()) {
            if (key.kind == platform::shell::KeyKind::character && key.lower == c) {
                tapScreen(centreOf(key.face));
            }
        }
    }
}

void pressKeys(std::initializer_list<UINT> keys) {
    for (bool down : {true, false}) {
        for (UINT key : keys) {
            platform::Device::instance().key(key, down);
        }
    }
    pumpMessages();
}

class EditControlTest : public SectionScreenTest {
protected:
    // A row of `above` pixels that counts taps, then a field right under it.
    MyEditControl* addField(int above) {
        if (above > 0) {
            rows.push_back(new Box(-1, 0, 0, GetSystemMetrics(SM_CXSCREEN), above, BoxFace::plain));
            section->add(rows.back(), -1, -1);
        }
        auto* field = new MyEditControl(1, kFieldX, 0, kFieldWidth);
        section->add(field, -1, -1);
        paintWhole();
        return field;
    }

    // Taps the middle of the field (or, where no tap could reach it, clicks it) and ticks until
    // the editor is open; how far the section has scrolled after each tick.
    std::vector<int> tapAndSlide(MyEditControl* field, bool tap = true) {
        const int start = section->scrollOffset;
        tap ? tapScreen(centreOf(field->screenRect)) : static_cast<void>(field->onClick());
        std::vector<int> offsets;
        for (int ticks = 0; ticks < 20 && frameHasFocus == 1; ++ticks) {
            tick();
            offsets.push_back(section->scrollOffset - start);
        }
        return offsets;
    }

    std::vector<Box*> rows; // take taps anywhere on them
};

TEST_F(EditControlTest, TheSlideUpTakesAQuarterPlusOnePerTickAndTheRestAtOnceAfter200Ms) {
    ASSERT_EQ(panelInfo().rcSipRect.top, 480);
    // The field's bottom 100 pixels below the panel's top.
    MyEditControl* field = addField(580 - kFieldHeight - viewRect.top);
    ASSERT_EQ(field->screenRect.bottom, 580);
    const std::vector<int> offsets = tapAndSlide(field);
    // -26, -19, -14, -11, -8, -6 by quarters; at 210 ms the last 16 at once; then the editor.
    EXPECT_EQ(offsets, (std::vector<int>{-26, -45, -59, -70, -78, -84, -100, -100}));
    EXPECT_EQ(field->screenRect.bottom, 480);
    EXPECT_EQ(frameHasFocus, 0);
    EXPECT_TRUE(IsWindowVisible(editWindow));
    EXPECT_TRUE(showsAFreshPaint()) << "every band the slide uncovered was painted again";
}

// Found by the main screen's touch fuzzer: a quick drag while the field slid into place flagged
// a fling, the next press stopped it and with it the motion timer the slide runs on, and the
// field stayed half-way with no keyboard until the screen was touched again.
TEST_F(EditControlTest, TouchesDuringTheSlideNeitherStopNorStallIt) {
    MyEditControl* field = addField(580 - kFieldHeight - viewRect.top);
    tapScreen(centreOf(field->screenRect));
    tick();
    ASSERT_EQ(field->slidingIn, 1);
    const int x = 200;
    const int y = viewRect.top + 10;
    pointer(platform::PointerAction::down, x, y);
    for (int step = 1; step <= 4; ++step) {
        platform::clock::advance(10);
        pointer(platform::PointerAction::move, x, y + 40 * step);
    }
    pointer(platform::PointerAction::up, x, y + 160);
    tapScreen({x, y});
    tick(20);
    EXPECT_EQ(field->slidingIn, 0);
    EXPECT_TRUE(field->editorOpen);
    EXPECT_EQ(field->screenRect.bottom, 480) << "above the input panel";
}

TEST_F(EditControlTest, AFieldNearTheTopSlidesDownByHalfTheGapPlusOneUntilItsTopIsAt50) {
    MyEditControl* field = addField(0);
    section->scrollOffset = 20 - viewRect.top; // the field's top at row 20, under the header
    paintWhole();
    ASSERT_EQ(field->screenRect.top, 20);
    EXPECT_EQ(tapAndSlide(field, false), (std::vector<int>{16, 24, 28, 30, 30}));
    EXPECT_EQ(field->screenRect.top, 50);
    EXPECT_EQ(frameHasFocus, 0);
}

TEST_F(EditControlTest, KeyboardTapsKeysAndPasteTypeAndATapElsewhereEndsTheEditThere) {
    MyEditControl* field = addField(200);
    field->setText(L"old");
    tapAndSlide(field);
    ASSERT_EQ(frameHasFocus, 0);
    const RECT place = field->screenRect;
    RECT editor{};
    GetWindowRect(editWindow, &editor);
    EXPECT_EQ(edges(editor), (std::array<LONG, 4>{place.left + 5, place.top + 10, place.right - 5,
                                                  place.top + 46}));
    EXPECT_EQ(GetFocus(), editWindow);
    pressKeys({VK_END});
    for (int i = 0; i < 3; ++i) {
        pressKeys({VK_BACK});
    }
    typeOnPanel(L"192.168.1.2");
    platform::Device::instance().character(L'0');
    platform::Device::instance().setClipboardText(L" :9\r\nsecond line");
    pressKeys({VK_CONTROL, 'V'});
    EXPECT_EQ(editorText(), L"192.168.1.20 :9");
    EXPECT_EQ(field->getText(), L"old") << "the label changes only when the edit ends";

    // Ticks while editing draw nothing.
    fillScreen(kBlack);
    tick(2);
    EXPECT_TRUE(screenShows(RECT{}, 0));

    platform::clock::advance(500); // a tap on the top row, long after the one that began the edit
    tapScreen({200, viewRect.top + 10});
    tick();
    EXPECT_EQ(field->getText(), L"192.168.1.20 :9");
    EXPECT_EQ(rows[0]->clicks, 1) << "the touch that ended the edit is a tap on the row under it";
    EXPECT_FALSE(IsWindowVisible(editWindow));
    EXPECT_EQ(panelInfo().fdwFlags, 0u) << "the panel off, and no longer docked";
    EXPECT_EQ(frameHasFocus, 1);
    EXPECT_EQ(field->visualState, 0);
    EXPECT_EQ(sharedTracker()->scrollTarget, section);
    tick();
    EXPECT_FALSE(KillTimer(mainWindow, tunables::motionTimerId))
        << "the motion timer still runs: the idle program would wake every 30 ms";
    EXPECT_TRUE(showsAFreshPaint()) << "with the focus back, the frame paints the whole screen";
    platform::clock::advance(500);
    tapAndSlide(field); // the next edit has the panel docked again
    ASSERT_EQ(frameHasFocus, 0);
    EXPECT_EQ(panelInfo().fdwFlags, static_cast<DWORD>(SIPF_ON | SIPF_DOCKED));
}

// The frame is three pieces of the tile (caps as they are, column 15 stretched between them);
// a paint clipped to any band draws exactly that band of the whole paint and nothing else.
TEST_F(EditControlTest, ThePaintOfAnyBandIsThatBandOfTheWholeFrame) {
    MyEditControl* field = addField(0);
    field->setText(std::wstring(80, L'W')); // wider than the field
    const int fieldTop = 300;
    auto paintIn = [&](const RECT& band) {
        fillScreen(kBlack);
        dirtyRect = band;
        field->paint(primarySurface, 0, fieldTop);
    };
    paintIn(RECT{0, 0, 480, 640});
    const std::vector<std::uint16_t> whole = screenBuffer();
    const Pixels image = surfacePixels(MyEditControl::inputImage);
    const int tile = MyEditControl::inputTileWidth;
    // Rows above and below the text; and nothing right of the field.
    for (int y : {0, 5, 9, 40, 50, kFieldHeight - 1}) {
        for (int x : {0, 9, 10, 200, kFieldWidth - 11, kFieldWidth - 10, kFieldWidth - 1, 430}) {
            const int tileX = x < 10 ? x : x >= kFieldWidth - 10 ? x - kFieldWidth + tile : 15;
            const size_t at = static_cast<size_t>((fieldTop + y) * 480 + kFieldX + x);
            EXPECT_EQ(whole[at], x < kFieldWidth ? image.at(tileX, y) : kBlack) << x << "," << y;
        }
    }
    const Pixels text =
        screenPixels(RECT{kFieldX + 10, fieldTop + 25, kFieldX + 300, fieldTop + 26});
    EXPECT_LT(std::count(text.data.begin(), text.data.end(), image.at(15, 25)), 250) << "no text";
    const Pixels right = screenPixels(RECT{kFieldX + kFieldWidth, fieldTop, 480, fieldTop + 56});
    EXPECT_EQ(std::count(right.data.begin(), right.data.end(), kBlack), right.data.size())
        << "the text stays inside the frame";
    for (const RECT& band : {RECT{kFieldX + 4, fieldTop + 3, kFieldX + 7, fieldTop + 50},
                             RECT{kFieldX + 5, fieldTop + 20, kFieldX + 300, fieldTop + 30},
                             RECT{kFieldX + 400, fieldTop - 5, 480, fieldTop + 12},
                             RECT{kFieldX + 413, fieldTop + 40, kFieldX + 416, 640},
                             RECT{0, fieldTop + 55, 480, 640}}) {
        paintIn(band);
        EXPECT_TRUE(screenMatches(whole, band)) << "band " << band.left << "," << band.top;
    }
}

// A new text repaints only the band of the text, which is part of the field: a tap anywhere
// on the field still opens its editor (the part a paint drew is not where the field is).
TEST_F(EditControlTest, AFieldTakesATapAnywhereOnItAfterOnlyItsTextWasRepainted) {
    MyEditControl* field = addField(200);
    const RECT whole = field->screenRect;
    field->setText(L"127.0.0.1");
    pumpMessages();
    tapScreen({whole.right - 20, whole.top + 20});
    tick(20);
    EXPECT_EQ(frameHasFocus, 0) << "the tap beside the text went nowhere";
    EXPECT_TRUE(field->editorOpen);
}

// Turned to landscape, the field keeps the left inset its caption has and its right margin (it
// was moved to the middle, away from its caption); turned back, it is as it was.
TEST_F(EditControlTest, ATurnKeepsTheFieldsMarginsOnBothSides) {
    MyEditControl* field = addField(0);
    for (const auto& [width, right] : {std::pair{640, 610}, std::pair{480, 450}}) {
        platform::Device::instance().rotate();
        pumpMessages();
        ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), width);
        EXPECT_EQ(std::pair(field->left, field->right), std::pair(kFieldX, right)) << width;
    }
}

TEST_F(EditControlTest, AFieldTakesItsLabelWithIt) {
    const size_t before = allElements.size();
    auto* field = new MyEditControl(7, kFieldX, 0, kFieldWidth);
    ASSERT_EQ(allElements.size(), before + 2);
    field->setText(L"host");
    delete field;
    EXPECT_EQ(allElements.size(), before);
}

} // namespace

// docs/editing.png: a screen laid out like the program's, the MAC address field being edited
// with the on-screen keyboard open under it, as the VGA phone shows it. Written when
// DAWNBELL_PICTURE_DIR names a folder (tools/scripts/editing-picture).
TEST(EditingPicture, ShowsTheKeyboardUnderTheFieldBeingEditedAndTheOtherFieldsTexts) {
    ToolkitDevice device;
    installResourceSet(device);
    OpenFrame frame;
    const ContainerScreen screen = buildContainerScreen(BoxFace::textField, 1);
    frame->addScreen(screen.section);
    auto* host = static_cast<MyEditControl*>(screen.fields[0]);
    auto* mac = static_cast<MyEditControl*>(screen.fields[1]);
    host->setText(L"wol.example.net");
    static_cast<MyEditControl*>(screen.fields[2])->setText(L"9");
    screen.status->setText(L"Connected.", false);
    paintWhole();
    tapScreen({mac->screenRect.left + 60, mac->screenRect.top + 20});
    tick(20);
    ASSERT_EQ(frameHasFocus, 0);
    typeOnPanel(L"00:1a:2b:3c:4d:5e");
    EXPECT_EQ(editorText(), L"00:1a:2b:3c:4d:5e");
    EXPECT_LE(mac->screenRect.bottom, panelInfo().rcSipRect.top);
    EXPECT_EQ(host->getText(), L"wol.example.net");
    if (const char* folder = std::getenv("DAWNBELL_PICTURE_DIR")) {
        EXPECT_TRUE(platform::Device::instance().saveScreenshot(std::filesystem::path(folder) /
                                                                "editing.png"));
    }
}

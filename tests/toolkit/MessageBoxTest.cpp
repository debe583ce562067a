// The touch message box over a screen of containers, asked on the user-interface thread and,
// as the data-connection worker asks it, on a worker thread while the test's thread runs the
// loop: the answer taken when a tap is released on a button, WM_QUIT and other WM_USER messages
// reaching its loop, the layout, focus changes and rotation, the calls that must show nothing, a
// worker ended while its box is up, and the screen given back. Also docs/messagebox.png
// (tools/scripts/messagebox-picture). Run under the thread sanitizer too.
#include "support/ContainerScreen.h"
#include "support/LoopScript.h"
#include "support/Toolkit.h"

#include <platform/Messages.h>

using namespace toolkit_test;
using platform::PointerAction;

namespace {

// Whether a row near the top of `place` on the screen is that row of frame `frame` (0 normal,
// 1 pressed) of the box-button strip: the look is drawn, and drawn exactly there.
::testing::AssertionResult showsButtonFrame(const RECT& place, int frame) {
    constexpr LONG row = 3;
    const ItemStrip& strip = itemStrips[itemSmallBoxButton].main;
    const Pixels frames = surfacePixels(strip.surface);
    const Pixels shown =
        screenPixels(RECT{place.left, place.top + row, place.right, place.top + row + 1});
    for (LONG x = 0; x < strip.frameWidth; ++x) {
        if (shown.at(x, 0) != frames.at(frame * strip.frameWidth + x, row)) {
            return ::testing::AssertionFailure() << "column " << x << " of the button at "
                                                 << place.left << " is not frame " << frame;
        }
    }
    return ::testing::AssertionSuccess();
}

constexpr const wchar_t* kCaption = L"Warning !";
constexpr const wchar_t* kQuestion =
    L"OK for a data connection ?\n(be careful not exceed the plan limit)";

// The box shown now; a test step that finds none ends with the exception.
MessageBoxSense& box() {
    return shownBox() != nullptr ? *shownBox() : throw std::runtime_error("no box is shown");
}

POINT buttonCentre(size_t index) {
    MotionLockGuard lock;
    return centreOf(box().buttonPlace(index));
}

// Taps a button of the box in two steps, the clock first moved past the double-tap window.
LoopScript& tap(LoopScript& script, size_t index) {
    platform::clock::advance(1000);
    return script.then([=] { touch(PointerAction::down, buttonCentre(index)); }).then([=] {
        touch(PointerAction::up, buttonCentre(index));
    });
}

// A screen of containers drawn whole on an open frame with the real resource set, as the main
// screen is when the data-connection question comes.
class MessageBoxSenseTest : public ::testing::Test {
protected:
    MessageBoxSenseTest() {
        installResourceSet(device);
        frame.emplace();
        (*frame)->addScreen(buildContainerScreen(BoxFace::plain, 1).section);
        paintWhole();
        before = screenBuffer();
    }

    // The screen as it was before the box, once the messages the box left are handled.
    ::testing::AssertionResult isBack() const {
        pumpMessages();
        return screenMatches(before, RECT{0, clientRect.top, 480, 640});
    }

    ToolkitDevice device;
    std::optional<OpenFrame> frame;
    std::vector<std::uint16_t> before;
};

// WM_QUIT ends the box with the previous answer: No (0) here, though 1 is set before the box.
// The application's notifications that reach the box's loop, and a close of the program, are
// held and posted again in their order once the box is gone; the close ends the box unanswered.
TEST_F(MessageBoxSenseTest,
       WmQuitEndsTheBoxWithThePreviousAnswerAndACloseAndNotificationsComeBack) {
    {
        LoopScript answering; // gone before the next box, with its WM_QUIT to come
        tap(answering, 1).start();
        boxResult = 1;
        ASSERT_EQ(showMessageBoxSense(kCaption, kQuestion, messageBoxYesNo), 0);
    }
    LoopScript script;
    script
        .then([&] {
            for (WPARAM code : {WPARAM{0}, WPARAM{1}, WPARAM{2}}) {
                PostMessageW(nullptr, WM_USER, code, 0); // the application's notifications
            }
            PostMessageW(script.window(), WM_USER, 1, 0);
            PostMessageW(mainWindow, WM_CLOSE, 0, 0);
        })
        .then([] {});
    script.start();
    boxResult = 1;
    EXPECT_EQ(showMessageBoxSense(kCaption, kQuestion, messageBoxOkCancel), 0);
    EXPECT_FALSE(script.finished()) << "the box went on after the close";
    EXPECT_EQ(script.userMessages, 0);
    EXPECT_TRUE(IsWindow(mainWindow));
    std::vector<std::tuple<HWND, UINT, WPARAM>> comeBack;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_CLOSE, WM_USER, PM_REMOVE) && comeBack.size() < 10) {
        if (msg.message == WM_USER || msg.message == WM_CLOSE) {
            comeBack.emplace_back(msg.hwnd, msg.message, msg.wParam);
        }
    }
    const std::vector<std::tuple<HWND, UINT, WPARAM>> expected{{nullptr, WM_USER, 0},
                                                               {nullptr, WM_USER, 1},
                                                               {nullptr, WM_USER, 2},
                                                               {script.window(), WM_USER, 1},
                                                               {mainWindow, WM_CLOSE, 0}};
    EXPECT_EQ(comeBack, expected);
}

// The scroll bar's overlay would lie above the box: it leaves while the box is up and comes
// back with the screen. A finger sliding off the pressed button gives it its normal look back
// and answers nothing; the box's window goes with the box.
TEST_F(MessageBoxSenseTest, AOneButtonBoxCentresItsButtonAndGivesTheScreenBack) {
    ASSERT_EQ(scrollBar.shown, 1);
    HWND boxWindow = nullptr;
    LoopScript script;
    script.then([&boxWindow] {
        boxWindow = box().window;
        const RECT ok = box().buttonPlace(0);
        EXPECT_LE(std::abs((ok.left + ok.right) - (box().left + box().right)), 1);
        EXPECT_EQ(scrollBar.shown, 0);
        EXPECT_EQ(WaitForSingleObject(messageBoxEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        touch(PointerAction::down, buttonCentre(0));
    });
    script.then([] {
        EXPECT_TRUE(showsButtonFrame(box().buttonPlace(0), 1)); // pressed, not yet answered
        EXPECT_FALSE(box().answered);
        touch(PointerAction::move, POINT{buttonCentre(0).x, box().top + 5}); // slides off
    });
    script.then([] {
        EXPECT_TRUE(showsButtonFrame(box().buttonPlace(0), 0)); // lifted elsewhere: no answer
        touch(PointerAction::up, POINT{buttonCentre(0).x, box().top + 5});
        platform::clock::advance(1000);
    });
    tap(script, 0).start();
    boxResult = 0;
    EXPECT_EQ(showMessageBoxSense(kCaption, L"Connected.", messageBoxOk), 1);
    EXPECT_TRUE(isBack());
    EXPECT_FALSE(IsWindow(boxWindow));
    EXPECT_EQ(scrollBar.shown, 1);
}

// A whole redraw paints the screen beneath afresh: the box looks exactly as before, instead of
// dimming the screen twice. After a rotation it is laid out in the new view.
TEST_F(MessageBoxSenseTest, AFocusChangeOrARotationDrawsTheWholeBoxAgain) {
    std::vector<std::uint16_t> withBox;
    LoopScript script;
    script
        .then([&] {
            EXPECT_EQ(box().buttonItems[1]->captionLabel->text, L"No");
            withBox = screenBuffer();
            fillScreen(kBlack);
            SendMessageW(mainWindow, WM_ACTIVATE, WA_ACTIVE, 0); // the frame tells the box
        })
        .then([&] {
            EXPECT_TRUE(screenMatches(withBox, RECT{0, clientRect.top, 480, 640}));
            platform::Device::instance().rotate();
        })
        .then([] {
            ASSERT_EQ(viewRect.right, 640);
            const int height = box().bottom - box().top;
            EXPECT_EQ(box().left + box().right, viewRect.right);
            EXPECT_EQ(box().top - clientRect.top, (viewRect.bottom - viewRect.top - height) / 2);
            EXPECT_TRUE(showsButtonFrame(box().buttonPlace(0), 0));
        });
    tap(script, 1).start();
    boxResult = 1;
    EXPECT_EQ(showMessageBoxSense(kCaption, kQuestion, messageBoxYesNo), 0);
}

// A box that could not be answered shows nothing and gives 0 at once, leaving a pending WM_QUIT
// in the queue (a box that waited would have taken it and answered 1).
TEST_F(MessageBoxSenseTest, ABadButtonSetOrAWindowThatCantBeMadeShowsNothingAndAnswersZero) {
    boxResult = 1;
    PostQuitMessage(0);
    for (int buttons : {0, 5, -1}) {
        EXPECT_EQ(showMessageBoxSense(kCaption, kQuestion, buttons), 0) << buttons;
    }
    EXPECT_EQ(GetFocus(), mainWindow);
    DestroyWindow(mainWindow); // the box's window has no parent to go into
    EXPECT_EQ(showMessageBoxSense(kCaption, kQuestion, messageBoxYesNo), 0);
    EXPECT_TRUE(screenMatches(before, RECT{0, 0, 480, 640}));
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// The lowest screen row above the buttons with text (near-black pixels) inside the box.
LONG lowestTextRow() {
    const LONG top = box().top + boxImageHeight / 4;
    const Pixels pixels =
        screenPixels(RECT{box().left + 4, top, box().right - 4, box().buttonPlace(0).top});
    // Darker than a quarter grey.
    return top +
           inkBounds(pixels, [&](LONG x, LONG y) { return pixels.at(x, y) < 0x4208; }).bottom - 1;
}

// Whether the white caption lies in the middle of the dark band at the box's top, within a few
// pixels: the ink of a line is not its advance and its line box.
::testing::AssertionResult captionCentredInItsBand() {
    const int band = boxImageHeight / 4;
    const Pixels shown = screenPixels(RECT{box().left, box().top, box().right, box().top + band});
    const RECT ink = inkBounds(shown, [&](LONG x, LONG y) { return shown.at(x, y) == 0xFFFF; });
    if (std::abs((ink.left + ink.right) - shown.width) > 6 ||
        std::abs((ink.top + ink.bottom) - band) > 10) {
        return ::testing::AssertionFailure() << "caption ink " << ink.left << "," << ink.top
                                             << " to " << ink.right << "," << ink.bottom;
    }
    return ::testing::AssertionSuccess();
}

// One line that fits the box image's width but not the narrower column the text is drawn in.
std::wstring lineAsWideAsTheBoxImage() {
    MyLabel probe(-1, 0, 0, L"x", labelFontNormal, 0, true); // makes the shared fonts
    HDC dc = nullptr;
    backBuffer->GetDC(&dc);
    SelectObject(dc, fontNormal);
    std::wstring text = L"Connection ";
    for (RECT line{}; line.right <= 426;) {
        text += L'i';
        line = RECT{};
        DrawTextW(dc, text.c_str(), -1, &line, DT_CALCRECT | DT_SINGLELINE);
    }
    backBuffer->ReleaseDC(dc);
    return text;
}

// The caption in the middle of the dark band and the whole text above the buttons, for the
// data-connection question (also docs/messagebox.png, written when DAWNBELL_PICTURE_DIR names a
// folder: the question over the dimmed screen on the VGA phone, the buttons evenly inside the
// box), for a line measured as wide as the image but drawn in two, and for a text so long that
// it makes the box taller than the band.
TEST_F(MessageBoxSenseTest, PictureAndLongTextsKeepCaptionAndTextInTheirPlaces) {
    for (const std::wstring& text : {std::wstring(kQuestion), lineAsWideAsTheBoxImage(),
                                     std::wstring(L"1\n2\n3\n4\n5\n6\n7\n8")}) {
        SCOPED_TRACE(narrow(text));
        LoopScript script;
        script.then([&] {
            EXPECT_TRUE(captionCentredInItsBand());
            EXPECT_LT(lowestTextRow(), box().buttonPlace(0).top - 4);
            if (text != kQuestion) {
                return;
            }
            EXPECT_GT(lowestTextRow(), box().top + boxImageHeight / 2 + 40); // two lines at least
            EXPECT_EQ(box().buttonPlace(0).left - box().left,
                      box().right - box().buttonPlace(1).right);
            if (const char* folder = std::getenv("DAWNBELL_PICTURE_DIR")) {
                EXPECT_TRUE(platform::Device::instance().saveScreenshot(
                    std::filesystem::path(folder) / "messagebox.png"));
            }
        });
        script.start();
        showMessageBoxSense(kCaption, text, messageBoxYesNo);
    }
}

TEST(MessageBoxSenseWithoutScreen, IsDrawnAndAnsweredBeforeTheFirstScreenExists) {
    ToolkitDevice device;
    installResourceSet(device);
    OpenFrame frame;
    createBackBuffer();
    LoopScript script;
    script.then([] { EXPECT_TRUE(showsButtonFrame(box().buttonPlace(0), 0)); });
    tap(script, 0).start();
    EXPECT_EQ(showMessageBoxSense(kCaption, L"Starting.", messageBoxOkCancel), 1);
}

TEST(MessageBoxSenseFatal, AFailingGetMessageShowsItsBoxAndEndsTheProgram) {
    expectBoxAndExit(
        [] {
            OpenFrame frame;
            platform::failNextGetMessage();
            showMessageBoxSense(kCaption, kQuestion, messageBoxYesNo);
        },
        "GetMessage\\|30\\|Main MsgBox function failed\\.\\.\\.");
}

DWORD WINAPI askYesNo(LPVOID) {
    return static_cast<DWORD>(showMessageBoxSense(kCaption, kQuestion, messageBoxYesNo));
}

// A box asked on a worker thread while this thread runs the loop and keeps asking the frame for
// frames, as the motion timer does during a fling: the worker is ended while its box is up and a
// finger is on its button.
TEST_F(MessageBoxSenseTest, AWorkerEndedWhileItsBoxIsUpLeavesNothingShown) {
    constexpr DWORD kTerminated = 7;
    HANDLE worker = CreateThread(nullptr, 0, askYesNo, nullptr, 0, nullptr);
    const auto painting = [](bool (*condition)()) {
        return [condition] {
            PostMessageW(mainWindow, tunables::redrawRequestMessage, 0, 0);
            MotionLockGuard lock;
            return condition();
        };
    };
    POINT no{};
    LoopScript script;
    script.waitFor(painting([] { return theFrame->modalBox && theFrame->modalBox->painted == 1; }))
        .then([&] { touch(PointerAction::down, no = buttonCentre(1)); })
        .waitFor(painting([] {
            return theFrame->modalBox->pressedButton == theFrame->modalBox->buttonItems[1].get();
        }))
        .then([&] {
            EXPECT_TRUE(TerminateThread(worker, kTerminated)); // returns once it has unwound
            EXPECT_EQ(shownBox(), nullptr);
        });
    script.start();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeThread(worker, &code);
    EXPECT_EQ(code, kTerminated);
    CloseHandle(worker);
    touch(PointerAction::up, no); // the touch under way must reach no freed box
    EXPECT_TRUE(isBack());
}

} // namespace

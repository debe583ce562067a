// The message box asked on a worker thread, as the data-connection worker asks its question,
// while the test's thread runs the user-interface loop, feeds the touches and keeps painting:
// the answer reaches the worker and the screen comes back; a worker ended by TerminateThread
// while its box is up leaves nothing shown. Run under the thread sanitizer too.
#include "MessageBoxTestSupport.h"

using namespace toolkit_test;
using platform::PointerAction;

namespace {

DWORD WINAPI askYesNo(LPVOID) {
    return static_cast<DWORD>(
        showMessageBoxSense(L"Warning !", L"OK for a data connection ?", messageBoxYesNo));
}

// A condition waited for while this thread keeps asking the frame for frames, as the motion
// timer does during a fling.
std::function<bool()> paintingUntil(std::function<bool()> condition) {
    return [condition = std::move(condition)] {
        PostMessageW(mainWindow, tunables::redrawRequestMessage, 0, 0);
        return condition();
    };
}

bool boxPainted() {
    MotionLockGuard lock;
    return theFrame->modalBox != nullptr && theFrame->modalBox->painted == 1;
}

bool buttonPressed(size_t index) {
    MotionLockGuard lock;
    const MessageBoxSense* box = theFrame->modalBox;
    return box != nullptr && box->pressedButton == box->buttonItems[index].get();
}

POINT buttonCentre(size_t index) {
    MotionLockGuard lock;
    return centreOf(theFrame->modalBox->buttonPlace(index));
}

class MessageBoxThreadTest : public ::testing::Test {
protected:
    MessageBoxThreadTest() { worker = CreateThread(nullptr, 0, askYesNo, nullptr, 0, nullptr); }
    ~MessageBoxThreadTest() override { CloseHandle(worker); }

    // The user-interface thread's loop, until the script has run.
    static void runLoop(LoopScript& script) {
        script.start();
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    DWORD workerExitCode() const {
        DWORD code = STILL_ACTIVE;
        GetExitCodeThread(worker, &code);
        return code;
    }

    ToolkitDevice device;
    BoxOverScreen screen{device};
    HANDLE worker = nullptr;
};

TEST_F(MessageBoxThreadTest, AWorkerGetsTheAnswerWhileTheUserInterfaceThreadKeepsPainting) {
    LoopScript script;
    script.waitFor(paintingUntil(boxPainted))
        .then([] {
            // The worker draws the whole box again for the focus change while this thread
            // redraws and takes the press.
            SendMessageW(mainWindow, WM_ACTIVATE, WA_ACTIVE, 0);
            touch(PointerAction::down, buttonCentre(0));
        })
        .waitFor(paintingUntil([] { return buttonPressed(0); }))
        .then([] { touch(PointerAction::up, buttonCentre(0)); })
        .waitFor(paintingUntil([this] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; }));
    runLoop(script);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(workerExitCode(), 1u);
    EXPECT_EQ(shownBox(), nullptr);
    EXPECT_TRUE(screen.isBack());
}

TEST_F(MessageBoxThreadTest, AWorkerEndedWhileItsBoxIsUpLeavesNothingShown) {
    constexpr DWORD kTerminated = 7;
    POINT no{};
    LoopScript script;
    script.waitFor(paintingUntil(boxPainted))
        .then([&] { touch(PointerAction::down, no = buttonCentre(1)); })
        .waitFor([] { return buttonPressed(1); })
        .then([this] {
            EXPECT_TRUE(TerminateThread(worker, kTerminated)); // returns once it has unwound
            EXPECT_EQ(shownBox(), nullptr);
        });
    runLoop(script);
    EXPECT_EQ(workerExitCode(), kTerminated);
    touch(PointerAction::up, no); // the touch under way must reach no freed box
    EXPECT_TRUE(screen.isBack());
}

} // namespace

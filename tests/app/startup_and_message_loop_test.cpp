// Start-up, the message loop's protocol with the toolkit, and the fatal paths of WinMain and
// the loop.
#include "Application.h"
#include "DisplayFrame.h"
#include "FatalExit.h"
#include "MagicPacketApp.h"
#include "MessageLoop.h"
#include "ResourceManager.h"

#include "registry/Registry.h"

#include <platform/Device.h>
#include "support/ScopedTestDevice.h"
#include <platform/Messages.h>
#include <platform/Network.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

// An application that only records what the loop asks of it.
class RecordingApp : public Application {
public:
    explicit RecordingApp(HINSTANCE instance) : Application(instance, L"Dawnbell") {}

    void onEvent(Element* element, int code) override { events.push_back({element, code}); }
    void buildScreen() override { ++screensBuilt; }

    struct Event {
        Element* element;
        int code;
    };
    std::vector<Event> events;
    int screensBuilt = 0;
};

class StartupTest : public ::testing::Test {
protected:
    StartupTest() {
        platform::registry::reload();
        std::filesystem::create_directories(device.folder() / "program" / "resources" / "VGA");
    }
    ~StartupTest() override { platform::net::resetWinsock(); }

    platform::ScopedTestDevice device;
};

} // namespace

// The loop builds the screen once, hands widget notifications (and nothing else) to onEvent,
// and ends on a close to the window without reaching the window procedure.
TEST_F(StartupTest, TheLoopBuildsTheScreenTakesNotificationsAndCloseEndsIt) {
    RecordingApp app(GetModuleHandleW(nullptr));
    EXPECT_EQ(app.screensBuilt, 0) << "built by the constructor";
    EXPECT_EQ(drawingReady, 0);
    auto* element = reinterpret_cast<Element*>(0x1234);
    ResetEvent(messageBoxEvent);
    for (const WPARAM code :
         std::initializer_list<WPARAM>{widgetTapped, widgetNotification, 3, messageBoxAnswered}) {
        PostMessageW(nullptr, WM_USER, code, reinterpret_cast<LPARAM>(element));
    }
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    PostMessageW(nullptr, WM_USER, widgetNotification, 0); // after the close: never taken
    runMessageLoop();

    EXPECT_EQ(app.screensBuilt, 1);
    EXPECT_EQ(drawingReady, 1);
    EXPECT_EQ(fullRedraw, 1);
    EXPECT_EQ(dirtyRect.top, clientRect.top);
    EXPECT_EQ(dirtyRect.bottom, GetSystemMetrics(SM_CYSCREEN));
    // The frame's procedure destroys its window on WM_CLOSE: the window must still be there.
    EXPECT_TRUE(IsWindow(mainWindow));
    ASSERT_EQ(app.events.size(), 2u);
    EXPECT_EQ(app.events[0].code, 1);
    EXPECT_EQ(app.events[1].code, 2);
    EXPECT_EQ(app.events[1].element, element);
    EXPECT_EQ(WaitForSingleObject(messageBoxEvent, 0), WAIT_OBJECT_0);
}

using StartupDeathTest = StartupTest;

// Each fatal path shows its box and exits with the status of a fatal exit.
TEST_F(StartupDeathTest, WinsockAndGetMessageFailuresShowTheirBoxAndExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<void (*)(), const char*> cases[] = {
        {[] {
             platform::net::failWinsockStartup(10091);
             WinMain(GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOW);
         },
         "WSAStartup error.*Can't start socket\\.\\.\\."},
        {[] {
             platform::net::reportWinsockVersion(0x0101);
             WinMain(GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOW);
         },
         "WSAStartup error.*Wrong version number\\.\\.\\."},
        {[] {
             RecordingApp app(GetModuleHandleW(nullptr));
             platform::failNextGetMessage();
             runMessageLoop();
         },
         "GetMessage.*Main function fail\\.\\.\\."},
    };
    for (const auto& [fatal, box] : cases) {
        EXPECT_EXIT(fatal(), ::testing::ExitedWithCode(fatalExitStatus), box);
    }
}

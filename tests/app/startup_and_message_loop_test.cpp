// The fatal paths of WinMain and the message loop.
#include "Application.h"
#include "FatalExit.h"
#include "MagicPacketApp.h"
#include "MessageLoop.h"

#include "registry/Registry.h"

#include <platform/Device.h>
#include "support/ScopedTestDevice.h"
#include <platform/Messages.h>
#include <platform/Network.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// An application with no screen of its own.
class BareApp : public Application {
public:
    explicit BareApp(HINSTANCE instance) : Application(instance, L"Dawnbell") {}
    void onEvent(Element*, int) override {}
    void buildScreen() override {}
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
             BareApp app(GetModuleHandleW(nullptr));
             platform::failNextGetMessage();
             runMessageLoop();
         },
         "GetMessage.*Main function fail\\.\\.\\."},
    };
    for (const auto& [fatal, box] : cases) {
        EXPECT_EXIT(fatal(), ::testing::ExitedWithCode(fatalExitStatus), box);
    }
}

// The fatal paths of WinMain and the message loop.
#include "Application.h"
#include "FatalExit.h"
#include "MagicPacketApp.h"
#include "MessageLoop.h"

#include "registry/Registry.h"

#include <platform/Device.h>
#include "support/Files.h"
#include "support/ScopedTestDevice.h"
#include <platform/Messages.h>
#include <platform/Network.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <sys/wait.h>

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

// The program as the device starts it, in a process of its own: asked for its report, it tells
// where its widgets stand and what the first start's question asks; the end of the session
// (SIGTERM) then closes it as its close button would, the question still up, and the fields are
// kept.
TEST(ProgramProcessTest, ItReportsItsFirstScreenAndTheEndOfTheSessionClosesItAndSaves) {
    testsupport::TemporaryFolder device;
    const std::string command = "echo $$; exec timeout -s KILL 60 env DAWNBELL_BACKEND=headless "
                                "DAWNBELL_TEST_REPORT=1 DAWNBELL_SCREEN=480x640 DAWNBELL_DPI=192 "
                                "DAWNBELL_DEVICE_DIR='" +
                                device.path.string() + "' '" + std::getenv("DAWNBELL_TEST_BIN") +
                                "/dawnbell-screen'";
    std::FILE* out = ::popen(command.c_str(), "r");
    int pid = 0;
    ASSERT_TRUE(out != nullptr && std::fscanf(out, "%d\n", &pid) == 1);
    std::set<std::string> told;
    for (char line[256];
         !told.contains("view 0 116 480 640") && std::fgets(line, sizeof line, out);)
        told.insert(std::string(line, std::strcspn(line, "\n")));
    for (const char* fact :
         {"box Warning !", "box-button 1 30 371 190 431 Yes", "box-button 2 290 371 450 431 No",
          "element 1 30 208 450 264", "element 9 30 483 450 539", "element 200 none", "text 1 ",
          "text 6 Trying to connect...", "send disabled", "keyboard none", "editor none",
          "view 0 116 480 640"})
        EXPECT_TRUE(told.contains(fact)) << fact;
    ::kill(pid, SIGTERM); // timeout passes it on to the program
    while (std::fgetc(out) != EOF) {
    }
    const int status = ::pclose(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(testsupport::fileBytes(device.path / "registry.reg").find("\"lastFields\"="),
              std::string::npos);
}

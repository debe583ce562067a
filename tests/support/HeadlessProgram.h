// The whole program on the headless VGA phone, run by its real message loop, for the long runs
// outside the test framework (the touch fuzzer, the soak run): the build's resource set in the
// program's folder, the manual clock, the data-connection question answered on an earlier run,
// the Connection Manager reporting a connected Internet, and the network confined to loopback so
// that whatever host is typed, nothing leaves the machine. One program serves many scripts.
#pragma once

#include "support/LoopScript.h"
#include "support/Toolkit.h"
#include "MagicPacketApp.h"
#include "MainScreen.h"
#include "MessageLoop.h"
#include "MyEditControl.h"
#include "ResourceManager.h"
#include "SettingsStore.h"
#include "StatusTexts.h"

#include "registry/Registry.h"

#include <platform/Network.h>

#include <winsock2.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace program_harness {

// Ends the run with a message: a broken promise of the program, or of the harness.
[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

inline MyEditControl* field(MainScreenId id) {
    return dynamic_cast<MyEditControl*>(findElementById(id));
}

inline Section* screenSection() {
    return dynamic_cast<Section*>(findElementById(screenSectionId));
}

inline std::wstring statusText() {
    const auto* status = dynamic_cast<MyLabel*>(findElementById(statusLineId));
    return status != nullptr ? status->text : std::wstring();
}

// The middle of the screen's header, where a tap ends an edit.
inline POINT headerPoint() {
    return POINT{GetSystemMetrics(SM_CXSCREEN) / 2,
                 clientRect.top + Section::headerImageHeight / 2};
}

inline constexpr std::array<MainScreenId, 4> fieldIds{hostFieldId, macFieldId, portFieldId,
                                                      passwordFieldId};

// The resource set of the build: DAWNBELL_TEST_BIN names its bin folder, else `builtBinDir`.
inline std::filesystem::path resourceSet(const char* builtBinDir) {
    const char* bin = std::getenv("DAWNBELL_TEST_BIN");
    return std::filesystem::path(bin != nullptr ? bin : builtBinDir) / "resources" / "VGA";
}

// A condition that gives up instead of waiting for good: each try is a millisecond of the manual
// clock, and nothing here takes a minute of it. `giveUp` tells why and says whether the
// condition counts as met; by default the run ends.
inline std::function<bool()> bounded(std::function<bool()> condition, const std::string& what,
                                     bool (*giveUp)(const std::string&) = nullptr) {
    return [condition = std::move(condition), what, giveUp, tries = 0]() mutable {
        if (condition()) {
            return true;
        }
        if (++tries < 60000) {
            return false;
        }
        return giveUp != nullptr ? giveUp(what) : (fail("waited in vain for " + what), true);
    };
}

class HeadlessProgram {
public:
    // Starts the program and runs its loop until the screen says it is ready to send.
    explicit HeadlessProgram(const std::filesystem::path& resources) {
        copyResourceSet(resources, device_.programDir() / "resources" / "VGA");
        WSADATA winsock{};
        WSAStartup(0x0202, &winsock); // as WinMain does
        platform::registry::reload();
        if (auto settings = SettingsKey::open(); !settings || !settings->clearShowInfo()) {
            fail("the settings key of the headless phone");
        }
        platform::net::scriptConnectionManager(platform::net::ConnectionScript{});
        platform::net::confineToLoopback();
        app_ = std::make_unique<MagicPacketApp>(GetModuleHandleW(nullptr));
        toolkit_test::LoopScript ready;
        ready.waitFor(bounded([] { return statusText() == statusReadyToSend; }, "ready to send"));
        if (run(ready)) {
            fail("the program ended while starting");
        }
    }
    ~HeadlessProgram() {
        app_.reset();
        platform::net::useRealConnectionManager();
        platform::net::resetWinsock();
    }
    HeadlessProgram(const HeadlessProgram&) = delete;
    HeadlessProgram& operator=(const HeadlessProgram&) = delete;

    // Runs the program's message loop with the script's steps until the script is done. When
    // the program closes itself (Quit) on the way, `onClose` runs at once, and the loop then
    // runs on, as the next start of the program would, until the script is done. True if the
    // program closed itself.
    static bool run(toolkit_test::LoopScript& script, const std::function<void()>& onClose = {}) {
        bool closed = false;
        script.start();
        while (!script.finished()) {
            runMessageLoop();
            if (!script.finished()) {
                closed = true;
                if (onClose) {
                    onClose();
                }
            }
        }
        return closed;
    }

private:
    // The images and fonts as the build made them; never the files a first start on a small
    // screen leaves behind. (No test framework here: the long runs do without.)
    static void copyResourceSet(const std::filesystem::path& from,
                                const std::filesystem::path& to) {
        std::filesystem::create_directories(to);
        std::vector<const wchar_t*> names(imageFileNames.begin(), imageFileNames.end());
        names.insert(names.end(), {thinFontFile, labelFontFile});
        for (const wchar_t* name : names) {
            std::error_code error;
            if (!std::filesystem::copy_file(from / name, to / name, error)) {
                fail("copying " + (from / name).string() + ": " + error.message());
            }
        }
    }

    toolkit_test::ToolkitDevice device_; // the manual clock, the toolkit's state reset
    std::unique_ptr<MagicPacketApp> app_;
};

} // namespace program_harness

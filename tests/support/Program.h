// What the tests of the whole program share: the program run by its own message loop on the
// headless phone, with steps inside the loop (LoopScript) as a user's touches would come, the
// status line and the buttons read back, taps on the screen and on a message box, the settings as
// stored, and a scripted Connection Manager.
#pragma once

#include "ConnectionWorker.h"
#include "support/HeadlessProgram.h"
#include "support/NetworkOfItsOwn.h"

#include <unistd.h>

namespace program_test {

using namespace toolkit_test;
using platform::PointerAction;
using platform::net::ConnectionScript;
using platform::net::EstablishOutcome;
using platform::net::ScriptedConnection;
using program_harness::field;
using program_harness::headerPoint;
using program_harness::screenSection;
using program_harness::statusText;

inline StoredFields shownFields() {
    return {fieldText(hostFieldId), fieldText(macFieldId), fieldText(portFieldId),
            fieldText(passwordFieldId)};
}

inline void setFields(const StoredFields& fields) {
    setFieldText(hostFieldId, fields.host);
    setFieldText(macFieldId, fields.mac);
    setFieldText(portFieldId, fields.port);
    setFieldText(passwordFieldId, fields.password);
}

inline BYTE sendState() {
    return dynamic_cast<MyItem*>(findElementById(sendButtonId))->state;
}

// A condition that a script waits for, which fails the test instead of waiting for good (and
// ends the loop). Meanwhile the user-interface thread keeps painting, as during a fling, whatever
// the worker does.
inline std::function<bool()> bounded(std::function<bool()> condition, const std::string& what) {
    return program_harness::bounded(
        [condition = std::move(condition)] {
            PostMessageW(mainWindow, tunables::redrawRequestMessage, 0, 0);
            return condition();
        },
        what,
        [](const std::string& waited) {
            ADD_FAILURE() << "waited in vain for " << waited;
            PostQuitMessage(0);
            return true;
        });
}

inline std::function<bool()> statusIs(const std::wstring& text) {
    return bounded([text] { return statusText() == text; },
                   "the status " + platform::paths::narrow(text));
}

// Waits for the program to end by itself (a step before ends it).
inline void untilTheEnd(LoopScript& script) {
    script.waitFor(bounded([] { return false; }, "the program to end"));
}

// Quit, as its tap notifies it, and the end of the program it brings.
inline void quitNow(LoopScript& script) {
    script.then([] { theApplication->onEvent(findElementById(quitButtonId), widgetTapped); });
    untilTheEnd(script);
}

// The first button of the box on screen (Yes) or the second (No), once the box is drawn.
inline std::optional<POINT> boxButton(size_t index) {
    MotionLockGuard lock;
    const MessageBoxSense* box = theFrame != nullptr ? theFrame->modalBox : nullptr;
    if (box == nullptr || box->painted == 0 || box->buttonItems.size() <= index) {
        return std::nullopt;
    }
    return centreOf(box->buttonPlace(index));
}

// Adds a tap at a screen point to the script: down, up 50 ms later, and time for the tap to
// be delivered and for the next one not to be taken for the second half of a double tap.
inline void tap(LoopScript& script, std::function<POINT()> where) {
    auto point = std::make_shared<POINT>();
    script.then([where = std::move(where), point] { touch(PointerAction::down, *point = where()); })
        .then([] { platform::clock::advance(50); })
        .then([point] { touch(PointerAction::up, *point); })
        .then([] { platform::clock::advance(400); });
}

inline void tapBoxButton(LoopScript& script, size_t index) {
    script.waitFor(bounded([index] { return boxButton(index).has_value(); }, "the box"));
    tap(script, [index] { return *boxButton(index); });
}

inline POINT centreOfElement(int id) {
    return centreOf(findElementById(id)->screenRect);
}

inline void tapSend(LoopScript& script) {
    tap(script, [] { return centreOfElement(sendButtonId); });
}

// The end of the screen's content into view: the recent rows, the search and Quit.
inline void scrollToTheEnd(LoopScript& script) {
    script.then([] {
        Section* section = screenSection();
        section->scrollOffset = -section->bottom;
        section->unselect(); // puts the content back at its end
        dirtyRect = RECT{viewRect.left, viewRect.top, viewRect.right, viewRect.bottom};
        fullRedraw = 1;
        theFrame->redraw(true);
    });
}

// A value of the settings key, nothing when it (or the key) is missing.
inline std::optional<std::vector<BYTE>> storedValue(const wchar_t* name) {
    std::vector<BYTE> value(1024);
    auto size = static_cast<DWORD>(value.size());
    HKEY key = nullptr; // none where the key is missing: the query fails
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, SettingsKey::path, 0, KEY_READ, &key);
    const LONG result = RegQueryValueExW(key, name, nullptr, nullptr, value.data(), &size);
    RegCloseKey(key);
    value.resize(size);
    return result == ERROR_SUCCESS ? std::optional(value) : std::nullopt;
}

inline ConnectionScript connectionsSeen(std::vector<ScriptedConnection> list) {
    ConnectionScript script;
    script.lists = {std::move(list)};
    return script;
}

inline ScriptedConnection internet(DWORD status) {
    return ScriptedConnection{IID_DestNetInternet, status};
}

class ProgramTest : public ::testing::Test {
protected:
    // The VGA phone, or a device of that shape (native: the display itself).
    explicit ProgramTest(int width = 480, int height = 640, bool native = false)
        : device(width, height, 192, native) {
        WSADATA winsock{};
        WSAStartup(0x0202, &winsock); // as WinMain does
        platform::registry::reload();
        installResourceSet(device);
        platform::net::scriptConnectionManager(connectionsSeen({internet(0x10)}));
    }
    ~ProgramTest() override {
        platform::net::useRealConnectionManager();
        platform::net::resetWinsock(); // and every WSAStartup with it
    }

    // The question was answered Yes on an earlier run.
    static void questionAnsweredBefore() { ASSERT_TRUE(SettingsKey::open()->clearShowInfo()); }

    // One run of the program: start-up, the loop with the script's steps, the teardown. True if
    // the loop ended before the script did (the program closed itself).
    static bool runProgram(LoopScript& script) {
        auto* app = new MagicPacketApp(GetModuleHandleW(nullptr));
        script.start();
        runMessageLoop();
        delete app;
        return !script.finished();
    }

    // A restart: the registry as the next run reads it from its file.
    static void restart() { platform::registry::reload(); }

    ToolkitDevice device;
};

} // namespace program_test

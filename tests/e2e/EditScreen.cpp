// A test screen for the end-to-end typing check, never installed: the real application base,
// message loop, toolkit and platform, with a section holding two text fields (the second low
// enough that the input panel would cover it). It reports on standard output what a script can
// wait for: "editor open <id> above the keyboard" (or "... under the keyboard") and "editor
// closed" as the native editor comes and goes,
// "editor: <text>" as the text in it changes, and "field <id>: <text>" for each field when the
// program ends. The clipboard starts with "00:1a:2b:3c:4d:5e" for the paste.
#include "Application.h"
#include "DisplayFrame.h"
#include "MessageLoop.h"
#include "MotionTracker.h"
#include "MyEditControl.h"
#include "Section.h"

#include <aygshell.h>
#include <platform/Device.h>

#include <cstdio>
#include <string>

namespace {

constexpr UINT_PTR watchTimer = 0xE2E;
constexpr UINT watchPeriodMs = 20;
constexpr int firstFieldId = 1;
constexpr int secondFieldId = 2;

std::string narrow(const std::wstring& text) {
    std::string result;
    for (wchar_t c : text) {
        result += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return result;
}

void report(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

struct EditorWatch {
    bool open = false;
    std::wstring text;
};

EditorWatch watched;

std::string describeEditedField() {
    Element* field = nullptr;
    {
        MotionLockGuard lock;
        field = sharedTracker()->scrollTarget;
    }
    if (field == nullptr) {
        return "?";
    }
    SIPINFO panel{};
    panel.cbSize = sizeof panel;
    SipGetInfo(&panel);
    const bool above = field->screenRect.bottom <= panel.rcSipRect.top;
    return std::to_string(field->elementId) + (above ? " above" : " under") + " the keyboard";
}

void CALLBACK watchEditor(HWND, UINT, UINT_PTR, DWORD) {
    const bool open = frameHasFocus == 0 && editWindow != nullptr && IsWindowVisible(editWindow);
    if (open != watched.open) {
        watched.open = open;
        report(open ? "editor open " + describeEditedField() : "editor closed");
    }
    if (open) {
        wchar_t buffer[512] = {};
        GetWindowTextW(editWindow, buffer, 512);
        if (watched.text != buffer) {
            watched.text = buffer;
            report("editor: " + narrow(watched.text));
        }
    }
}

class EditScreen : public Application {
public:
    explicit EditScreen(HINSTANCE instance) : Application(instance, L"Dawnbell") {}

    void buildScreen() override {
        auto* section = new Section(100, 0, 0, viewRect.right, L"Dawnbell");
        const int width = viewRect.right - 60;
        section->add(new MyEditControl(firstFieldId, 30, 20, width), -1, -1);
        section->add(new MyEditControl(secondFieldId, 30, 300, width), -1, -1);
        theFrame->addScreen(section);
        platform::Device::instance().setClipboardText(L"00:1a:2b:3c:4d:5e");
        SetTimer(mainWindow, watchTimer, watchPeriodMs, watchEditor);
        report("screen built");
    }
    void onEvent(Element*, int) override {}
};

void reportField(int id) {
    if (auto* field = dynamic_cast<MyEditControl*>(findElementById(id))) {
        report("field " + std::to_string(id) + ": " + narrow(field->getText()));
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    auto* screen = new EditScreen(instance);
    runMessageLoop();
    reportField(firstFieldId);
    reportField(secondFieldId);
    delete screen;
    return 0;
}

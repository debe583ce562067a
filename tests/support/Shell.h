// A headless device on the manual clock with the shell reset, an owner window, EDIT windows,
// and taps on the input panel's keys.
#pragma once

#include "platform/Clock.h"
#include "platform/Device.h"
#include "support/ScopedTestDevice.h"
#include "platform/Messages.h"
#include "support/PlatformThread.h"
#include "shell/Shell.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace shelltest {

class ShellTest : public ::testing::Test {
protected:
    ShellTest(int width = 480, int height = 640, int dpi = 192)
        : width_(width), height_(height), dpi_(dpi) {}

    void SetUp() override {
        platform::clock::useManual(1000);
        device_ = std::make_unique<platform::ScopedTestDevice>(width_, height_, dpi_);
        platform::shell::resetShell();
    }
    void TearDown() override {
        platform::shell::resetShell();
        device_.reset();
        platform::clock::useSystem();
    }

    static platform::Device& device() { return platform::Device::instance(); }

    // A top-level window standing for the program's main window. It covers the whole screen, so
    // its children's client coordinates are screen coordinates.
    HWND ownerWindow() {
        WNDCLASSW windowClass{0, DefWindowProcW};
        windowClass.lpszClassName = L"ShellTestOwner";
        if (owner_ == nullptr) {
            RegisterClassW(&windowClass);
            owner_ = CreateWindowExW(0, L"ShellTestOwner", L"Owner", WS_SYSMENU, 0, 0, width_,
                                     height_, nullptr, nullptr, nullptr, nullptr);
            ShowWindow(owner_, SW_SHOW);
        }
        return owner_;
    }

    // An EDIT window as the program makes it, placed, shown and focused.
    HWND showEdit(const RECT& r) {
        HWND edit = CreateWindowExW(0, L"EDIT", nullptr, ES_AUTOHSCROLL, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, ownerWindow(),
                                    reinterpret_cast<HMENU>(102), nullptr, nullptr);
        MoveWindow(edit, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        ShowWindow(edit, SW_SHOW);
        SetFocus(edit);
        platform::pumpMessages();
        return edit;
    }

    static std::wstring textOf(HWND window) {
        wchar_t buffer[1024] = {};
        GetWindowTextW(window, buffer, 1024);
        return buffer;
    }

    static void tap(POINT p) {
        device().pointer(platform::PointerAction::down, p.x, p.y);
        device().pointer(platform::PointerAction::up, p.x, p.y);
        platform::pumpMessages();
    }

    static POINT centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

    // The panel's key for the character `c`, or the first key of `kind`.
    static RECT key(wchar_t c, platform::shell::KeyKind kind = {}) {
        for (const auto& key : platform::shell::keyboard().keys()) {
            if (key.kind == kind && (kind != platform::shell::KeyKind::character || key.lower == c))
                return key.face;
        }
        ADD_FAILURE() << "no such key";
        return {};
    }
    // Types `text` on the input panel, one key tap per character (lower case and digits).
    static void typeOnPanel(const std::wstring& text) {
        for (wchar_t c : text)
            tap(centre(key(c)));
    }

    // What the user sees inside `area` after a present: only what was marked changed is redrawn.
    static std::vector<std::uint16_t> screen(const RECT& area) {
        device().backend().present();
        const auto picture = device().backend().picture();
        std::vector<std::uint16_t> part;
        for (LONG y = area.top; y < area.bottom; ++y) {
            const auto row = picture.begin() + y * device().width();
            part.insert(part.end(), row + area.left, row + area.right);
        }
        EXPECT_EQ(part, device().compose(area)) << "a change was not marked for the present";
        return part;
    }

private:
    int width_;
    int height_;
    int dpi_;
    std::unique_ptr<platform::ScopedTestDevice> device_;
    HWND owner_ = nullptr;
};

// A shown, focused EDIT field across the middle of the screen.
class EditFieldTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        edit = showEdit(field);
    }
    const RECT field{40, 200, 440, 260};
    HWND edit = nullptr;
};

} // namespace shelltest

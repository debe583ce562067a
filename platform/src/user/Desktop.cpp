#include "user/Desktop.h"

#include "platform/Clock.h"
#include "user/WindowManager.h"

namespace platform::user {
namespace {

WindowManager& manager() {
    return WindowManager::get();
}

UINT mouseMessage(PointerAction action) {
    switch (action) {
    case PointerAction::down:
        return WM_LBUTTONDOWN;
    case PointerAction::move:
        return WM_MOUSEMOVE;
    case PointerAction::up:
        return WM_LBUTTONUP;
    }
    return WM_MOUSEMOVE;
}

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void postToFocus(UINT message, WPARAM wParam, LPARAM lParam) {
    auto& wm = manager();
    std::lock_guard guard(wm.mutex);
    Window* target = wm.find(wm.focus != nullptr ? wm.focus : wm.foreground);
    if (target == nullptr) {
        return;
    }
    if (auto queue = wm.queueOf(target->threadId)) {
        wm.postInputLocked(
            *queue, MSG{target->handle, message, wParam, lParam, clock::now(), wm.lastPointer});
    }
}

} // namespace

RECT workArea() {
    if (!Device::running()) {
        const DeviceConfig defaults;
        return RECT{0, 26 * defaults.dpi / 96, defaults.width, defaults.height};
    }
    auto& device = Device::instance();
    return RECT{0, device.taskBarHeight(), device.width(), device.height()};
}

void resetWindowManager() {
    std::lock_guard guard(manager().mutex);
    manager().reset();
}

bool windowAt(int x, int y) {
    auto& wm = manager();
    std::lock_guard guard(wm.mutex);
    return wm.windowAt(x, y) != nullptr;
}

bool routePointer(PointerAction action, int x, int y) {
    auto& wm = manager();
    std::lock_guard guard(wm.mutex);
    wm.lastPointer = POINT{x, y};
    // A touch that began where no window is belongs to no window to its end (the desktop holds
    // it, as it holds the capture on the platform): the windows it crosses see none of it.
    if (action != PointerAction::down && wm.capture == nullptr && wm.touchOnNothing) {
        wm.touchOnNothing = action != PointerAction::up;
        return false;
    }
    Window* target = wm.capture != nullptr ? wm.find(wm.capture) : wm.windowAt(x, y);
    if (action == PointerAction::down) {
        wm.touchOnNothing = wm.capture == nullptr && target == nullptr;
    }
    if (target != nullptr) {
        if (action == PointerAction::down && wm.capture == nullptr) {
            wm.capture = target->handle; // a press captures until the release
            wm.implicitCapture = true;
        }
        const POINT origin = wm.screenOrigin(target);
        const WPARAM buttons = action == PointerAction::up ? 0 : MK_LBUTTON;
        if (auto queue = wm.queueOf(target->threadId)) {
            wm.postInputLocked(*queue, MSG{target->handle, mouseMessage(action), buttons,
                                           MAKELPARAM(x - origin.x, y - origin.y), clock::now(),
                                           POINT{x, y}});
        }
    }
    if (action == PointerAction::up && wm.implicitCapture) {
        wm.capture = nullptr;
        wm.implicitCapture = false;
    }
    return target != nullptr;
}

void routeKey(UINT virtualKey, bool down) {
    const LPARAM flags = down ? 1 : static_cast<LPARAM>(0xC0000001u);
    postToFocus(down ? WM_KEYDOWN : WM_KEYUP, virtualKey, flags);
}

void routeCharacter(wchar_t c) {
    postToFocus(WM_CHAR, static_cast<WPARAM>(c), 1);
}

void screenRotated(int oldWidth, int oldHeight) {
    const RECT newArea = workArea();
    const RECT oldArea{newArea.left, newArea.top, oldWidth, oldHeight};
    const RECT oldScreen{0, 0, oldWidth, oldHeight};
    std::vector<WINDOWPOS> positions;
    {
        auto& wm = manager();
        std::lock_guard guard(wm.mutex);
        for (Window* window : wm.topLevelWindows()) {
            if (sameRect(window->rect, oldArea)) {
                window->rect = newArea;
            } else if (sameRect(window->rect, oldScreen)) {
                window->rect = RECT{0, 0, newArea.right, newArea.bottom};
            }
            if (wm.isVisible(window)) {
                wm.invalidate(window, nullptr, true);
            }
            positions.push_back(WINDOWPOS{window->handle, nullptr, window->rect.left,
                                          window->rect.top, window->width(), window->height(),
                                          SWP_NOZORDER | SWP_NOACTIVATE});
        }
    }
    for (const WINDOWPOS& position : positions) {
        notifyWindowPosChanged(position);
    }
}

HWND mainWindow() {
    auto& wm = manager();
    std::lock_guard guard(wm.mutex);
    if (wm.foreground != nullptr) {
        return wm.foreground;
    }
    const auto& tops = wm.topLevelWindows();
    return tops.empty() ? nullptr : tops.front()->handle;
}

std::wstring mainWindowTitle() {
    HWND window = mainWindow();
    auto& wm = manager();
    std::lock_guard guard(wm.mutex);
    // The title is the program's main window's: climb from a child or an owned window to it.
    Window* target = wm.find(window);
    while (target != nullptr && (target->parent != nullptr || target->owner != nullptr)) {
        target = target->parent != nullptr ? target->parent : wm.find(target->owner);
    }
    return target != nullptr ? target->text : std::wstring();
}

} // namespace platform::user

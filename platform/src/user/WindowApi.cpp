// Window classes and windows: creation and destruction, the default procedure, showing,
// placement, window data, text, focus, activation and capture.
#include "user/Desktop.h"
#include "user/SystemClasses.h"
#include "user/WindowManager.h"

#include "winbase.h"

#include <algorithm>
#include <utility>

using namespace platform::user;

namespace {

WindowManager& manager() {
    return WindowManager::get();
}

void invalidateTree(WindowManager& wm, Window* window) {
    wm.invalidate(window, nullptr, true);
    for (Window* child : window->children) {
        if (child->visibleFlag()) {
            invalidateTree(wm, child);
        }
    }
}

RECT placement(bool child, int x, int y, int width, int height) {
    if (child) {
        if (x == CW_USEDEFAULT) {
            x = y = 0;
        }
        if (width == CW_USEDEFAULT) {
            width = height = 0;
        }
        return RECT{x, y, x + width, y + height};
    }
    const RECT area = workArea();
    if (x == CW_USEDEFAULT) {
        x = area.left;
        y = area.top;
    }
    if (width == CW_USEDEFAULT) {
        width = area.right - area.left;
        height = area.bottom - area.top;
    }
    return RECT{x, y, x + width, y + height};
}

HWND handleOf(const Window* window) {
    return window != nullptr ? window->handle : nullptr;
}

} // namespace

namespace platform::user {

ATOM registerSystemClass(const WNDCLASSW& windowClass) {
    if (windowClass.lpszClassName == nullptr || windowClass.lpfnWndProc == nullptr) {
        return 0;
    }
    std::lock_guard guard(manager().mutex);
    return manager().addClass(windowClass, true);
}

} // namespace platform::user

ATOM RegisterClassW(const WNDCLASSW* wndClass) {
    if (wndClass == nullptr || wndClass->lpfnWndProc == nullptr ||
        wndClass->lpszClassName == nullptr || IS_INTRESOURCE(wndClass->lpszClassName)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard guard(manager().mutex);
    const ATOM atom = manager().addClass(*wndClass, false);
    if (atom == 0) {
        ::SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    }
    return atom;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    HWND handle = nullptr;
    RECT rect{};
    {
        auto& wm = manager();
        std::lock_guard guard(wm.mutex);
        auto windowClass =
            className != nullptr && !IS_INTRESOURCE(className) ? wm.findClass(className) : nullptr;
        if (!windowClass) {
            ::SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        Window* parentWindow = parent != nullptr ? wm.find(parent) : nullptr;
        if (parent != nullptr && parentWindow == nullptr) {
            ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if ((style & WS_CHILD) != 0 && parentWindow == nullptr) {
            ::SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        // The platform has no overlapped owned windows: with a parent, anything but a pop-up is
        // a child window (the program's native edit window is made so).
        if (parentWindow != nullptr && (style & WS_POPUP) == 0) {
            style |= WS_CHILD;
        }
        const bool child = (style & WS_CHILD) != 0;
        auto window = std::make_unique<Window>();
        window->windowClass = windowClass;
        window->proc = windowClass->info.lpfnWndProc;
        window->text = windowName != nullptr ? windowName : L"";
        window->style = style & ~static_cast<DWORD>(WS_VISIBLE);
        window->exStyle = exStyle;
        window->parent = child ? parentWindow : nullptr;
        window->owner = child ? nullptr : parent;
        rect = placement(child, x, y, width, height);
        window->rect = rect;
        window->id = child ? reinterpret_cast<LONG_PTR>(menu) : 0;
        window->instance = instance;
        window->threadId = wm.currentQueue()->threadId;
        handle = wm.addWindow(std::move(window))->handle;
    }
    CREATESTRUCTW create{param,
                         instance,
                         menu,
                         parent,
                         rect.bottom - rect.top,
                         rect.right - rect.left,
                         rect.top,
                         rect.left,
                         static_cast<LONG>(style),
                         windowName,
                         className,
                         exStyle};
    if (callWindow(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (!IsWindow(handle)) {
        return nullptr;
    }
    if ((style & WS_VISIBLE) != 0) {
        ShowWindow(handle, SW_SHOW);
    }
    return handle;
}

namespace {

// What a window leaving the screen (hidden or destroyed) takes along: the focus if it held it
// or a descendant did, the foreground, and the capture. Noted under the manager's lock; the
// focus and foreground messages are sent after it.
struct Departure {
    bool focusInside = false;
    HWND focusHeir = nullptr;
    bool foregroundLeaves = false;
    HWND nextForeground = nullptr;

    void note(WindowManager& wm, Window* window, HWND heir) {
        focusInside = wm.focus != nullptr && wm.isAncestorOrSelf(window, wm.find(wm.focus));
        focusHeir = heir;
        foregroundLeaves = wm.foreground == window->handle;
        nextForeground = handleOf(wm.nextForeground(window));
        if (wm.capture != nullptr && wm.isAncestorOrSelf(window, wm.find(wm.capture))) {
            wm.capture = nullptr;
            wm.implicitCapture = false;
        }
    }

    void handOn() const {
        if (focusInside) {
            changeFocus(focusHeir);
        }
        if (foregroundLeaves) {
            changeForeground(nextForeground);
        }
    }
};

} // namespace

BOOL DestroyWindow(HWND handle) {
    Departure departure;
    {
        auto& wm = manager();
        std::lock_guard guard(wm.mutex);
        Window* window = wm.find(handle);
        if (window == nullptr) {
            ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (window->threadId != currentThreadId()) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (window->destroying) {
            return TRUE;
        }
        if (wm.isVisible(window)) {
            wm.exposeParent(window);
        }
        window->destroying = true;
        const bool parentStays = window->parent != nullptr && !window->parent->destroying;
        departure.note(wm, window, parentStays ? window->parent->handle : nullptr);
    }
    departure.handOn();
    callWindow(handle, WM_DESTROY, 0, 0);

    std::vector<HWND> children;
    {
        std::lock_guard guard(manager().mutex);
        if (Window* window = manager().find(handle)) {
            for (Window* child : window->children) {
                children.push_back(child->handle);
            }
        }
    }
    for (HWND child : children) {
        if (!DestroyWindow(child)) { // a child of another thread goes without its messages
            std::lock_guard guard(manager().mutex);
            if (Window* window = manager().find(child)) {
                manager().removeWindow(window);
            }
        }
    }
    std::lock_guard guard(manager().mutex);
    if (Window* window = manager().find(handle)) {
        manager().removeWindow(window);
    }
    return TRUE;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_PAINT:
        ValidateRect(window, nullptr);
        return 0;
    case WM_SETTEXT: {
        std::lock_guard guard(manager().mutex);
        Window* target = manager().find(window);
        if (target == nullptr) {
            return FALSE;
        }
        target->text = lParam != 0 ? reinterpret_cast<LPCWSTR>(lParam) : L"";
        return TRUE;
    }
    case WM_GETTEXT: {
        std::lock_guard guard(manager().mutex);
        Window* target = manager().find(window);
        auto* buffer = reinterpret_cast<LPWSTR>(lParam);
        if (target == nullptr || buffer == nullptr || wParam == 0) {
            return 0;
        }
        const size_t count = std::min<size_t>(target->text.size(), wParam - 1);
        std::copy_n(target->text.data(), count, buffer);
        buffer[count] = L'\0';
        return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH: {
        std::lock_guard guard(manager().mutex);
        Window* target = manager().find(window);
        return target != nullptr ? static_cast<LRESULT>(target->text.size()) : 0;
    }
    case WM_ACTIVATE: {
        if (LOWORD(wParam) == WA_INACTIVE) {
            return 0;
        }
        bool focusInside = false;
        {
            std::lock_guard guard(manager().mutex);
            Window* target = manager().find(window);
            focusInside = manager().focus != nullptr &&
                          manager().isAncestorOrSelf(target, manager().find(manager().focus));
        }
        if (!focusInside) {
            SetFocus(window);
        }
        return 0;
    }
    case WM_WINDOWPOSCHANGED: {
        RECT rect{};
        if (!GetWindowRect(window, &rect)) {
            return 0;
        }
        POINT origin{0, 0};
        {
            std::lock_guard guard(manager().mutex);
            if (Window* target = manager().find(window)) {
                origin = POINT{target->rect.left, target->rect.top};
            }
        }
        callWindow(window, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
        callWindow(window, WM_SIZE, 0, MAKELPARAM(rect.right - rect.left, rect.bottom - rect.top));
        return 0;
    }
    default:
        return 0;
    }
}

BOOL IsWindow(HWND window) {
    std::lock_guard guard(manager().mutex);
    return manager().find(window) != nullptr ? TRUE : FALSE;
}

BOOL ShowWindow(HWND handle, int command) {
    const bool hide = command == SW_HIDE || command == SW_MINIMIZE;
    bool wasVisible = false;
    bool activate = false;
    Departure departure;
    {
        auto& wm = manager();
        std::lock_guard guard(wm.mutex);
        Window* window = wm.find(handle);
        if (window == nullptr) {
            ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        wasVisible = window->visibleFlag();
        if (hide != wasVisible) {
            return wasVisible ? TRUE : FALSE;
        }
        if (hide) {
            if (wm.isVisible(window)) {
                wm.exposeParent(window);
            }
            window->style &= ~static_cast<DWORD>(WS_VISIBLE);
            // Hiding the focus window gives the focus to its parent.
            departure.note(wm, window, handleOf(window->parent));
        } else {
            window->style |= WS_VISIBLE;
            if (wm.isVisible(window)) {
                invalidateTree(wm, window);
            }
            activate =
                window->parent == nullptr && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE;
        }
    }
    sendOrNotify(handle, WM_SHOWWINDOW, hide ? FALSE : TRUE, 0);
    departure.handOn();
    if (activate) {
        changeForeground(handle);
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND handle) {
    {
        std::lock_guard guard(manager().mutex);
        Window* window = manager().find(handle);
        if (window == nullptr) {
            return FALSE;
        }
        if (window->updateRegion.empty() || !manager().isVisible(window)) {
            return TRUE;
        }
    }
    SendMessageW(handle, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL IsWindowVisible(HWND handle) {
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    return window != nullptr && manager().isVisible(window) ? TRUE : FALSE;
}

BOOL MoveWindow(HWND handle, int x, int y, int width, int height, BOOL repaint) {
    {
        auto& wm = manager();
        std::lock_guard guard(wm.mutex);
        Window* window = wm.find(handle);
        if (window == nullptr) {
            ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        const bool visible = wm.isVisible(window);
        if (visible && repaint) {
            wm.exposeParent(window);
        }
        window->rect = RECT{x, y, x + width, y + height};
        if (visible && repaint) {
            invalidateTree(wm, window);
        }
    }
    WINDOWPOS position{handle, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE};
    SendMessageW(handle, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
    return TRUE;
}

BOOL GetClientRect(HWND handle, LPRECT rect) {
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    if (window == nullptr || rect == nullptr) {
        return FALSE;
    }
    *rect = RECT{0, 0, window->width(), window->height()};
    return TRUE;
}

BOOL GetWindowRect(HWND handle, LPRECT rect) {
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    if (window == nullptr || rect == nullptr) {
        return FALSE;
    }
    const POINT origin = manager().screenOrigin(window);
    *rect = RECT{origin.x, origin.y, origin.x + window->width(), origin.y + window->height()};
    return TRUE;
}

BOOL ClientToScreen(HWND handle, LPPOINT point) {
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    if (window == nullptr || point == nullptr) {
        return FALSE;
    }
    const POINT origin = manager().screenOrigin(window);
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

HWND GetParent(HWND handle) {
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    if (window == nullptr) {
        return nullptr;
    }
    return window->parent != nullptr ? window->parent->handle : window->owner;
}

int GetDlgCtrlID(HWND handle) {
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    return window != nullptr ? static_cast<int>(window->id) : 0;
}

LONG_PTR GetWindowLongW(HWND handle, int index) {
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    if (window == nullptr) {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index) {
    case GWL_USERDATA:
        return window->userData;
    case GWL_STYLE:
        return static_cast<LONG_PTR>(window->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(window->exStyle);
    case GWL_ID:
        return window->id;
    case GWL_WNDPROC:
        return reinterpret_cast<LONG_PTR>(window->proc);
    default:
        ::SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
}

LONG_PTR SetWindowLongW(HWND handle, int index, LONG_PTR value) {
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    if (window == nullptr) {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR previous = 0;
    switch (index) {
    case GWL_USERDATA:
        previous = std::exchange(window->userData, value);
        break;
    case GWL_STYLE:
        previous = static_cast<LONG_PTR>(std::exchange(window->style, static_cast<DWORD>(value)));
        break;
    case GWL_EXSTYLE:
        previous = static_cast<LONG_PTR>(std::exchange(window->exStyle, static_cast<DWORD>(value)));
        break;
    case GWL_ID:
        previous = std::exchange(window->id, value);
        break;
    case GWL_WNDPROC:
        previous = reinterpret_cast<LONG_PTR>(
            std::exchange(window->proc, reinterpret_cast<WNDPROC>(value)));
        break;
    default:
        ::SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return previous;
}

int GetWindowTextW(HWND handle, LPWSTR text, int maxCount) {
    if (text == nullptr || maxCount <= 0) {
        return 0;
    }
    {
        std::lock_guard guard(manager().mutex);
        Window* window = manager().find(handle);
        if (window == nullptr) {
            text[0] = L'\0';
            return 0;
        }
        if (window->threadId != currentThreadId()) { // another thread's window: its own text
            const size_t count = std::min<size_t>(window->text.size(), maxCount - 1);
            std::copy_n(window->text.data(), count, text);
            text[count] = L'\0';
            return static_cast<int>(count);
        }
    }
    return static_cast<int>(SendMessageW(handle, WM_GETTEXT, static_cast<WPARAM>(maxCount),
                                         reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextLengthW(HWND handle) {
    return static_cast<int>(SendMessageW(handle, WM_GETTEXTLENGTH, 0, 0));
}

BOOL SetWindowTextW(HWND handle, LPCWSTR text) {
    return SendMessageW(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? TRUE : FALSE;
}

HWND SetFocus(HWND handle) {
    HWND topLevel = nullptr;
    if (handle != nullptr) {
        std::lock_guard guard(manager().mutex);
        Window* window = manager().find(handle);
        if (window == nullptr) {
            ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        topLevel = manager().topLevelOf(window)->handle;
        if (manager().foreground == topLevel) {
            topLevel = nullptr; // already active
        }
    }
    if (topLevel != nullptr) {
        changeForeground(topLevel);
    }
    return changeFocus(handle);
}

HWND GetFocus() {
    std::lock_guard guard(manager().mutex);
    return manager().focus;
}

BOOL SetForegroundWindow(HWND handle) {
    // The platform's form with the low bit set also raises owned windows: the same here.
    handle = reinterpret_cast<HWND>(reinterpret_cast<UINT_PTR>(handle) & ~UINT_PTR{1});
    HWND topLevel = nullptr;
    {
        std::lock_guard guard(manager().mutex);
        Window* window = manager().find(handle);
        if (window == nullptr) {
            return FALSE;
        }
        topLevel = manager().topLevelOf(window)->handle;
    }
    changeForeground(topLevel);
    return TRUE;
}

HWND GetForegroundWindow() {
    std::lock_guard guard(manager().mutex);
    return manager().foreground;
}

HWND GetCapture() {
    std::lock_guard guard(manager().mutex);
    return manager().capture;
}

DWORD GetWindowThreadProcessId(HWND handle, LPDWORD processId) {
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    if (window == nullptr) {
        return 0;
    }
    if (processId != nullptr) {
        *processId = ::GetCurrentProcessId();
    }
    return window->threadId;
}

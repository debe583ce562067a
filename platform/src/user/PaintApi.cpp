// Update regions and painting.
#include "user/WindowManager.h"

#include "winbase.h"

using namespace platform::user;

namespace {

WindowManager& manager() {
    return WindowManager::get();
}

// Takes the pending erase of the window; true if WM_ERASEBKGND must be sent.
bool takeErase(HWND handle) {
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    if (window == nullptr || !window->erasePending) {
        return false;
    }
    window->erasePending = false;
    return true;
}

} // namespace

BOOL InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    if (window == nullptr) {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    manager().invalidate(window, rect, erase != FALSE);
    return TRUE;
}

BOOL ValidateRect(HWND handle, const RECT* rect) {
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    if (window == nullptr) {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (rect == nullptr) {
        window->updateRegion.clear();
    } else {
        window->updateRegion.subtract(*rect);
    }
    if (window->updateRegion.empty()) {
        window->erasePending = false;
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND handle, LPRECT rect, BOOL erase) {
    bool empty = true;
    {
        std::lock_guard guard(manager().mutex);
        Window* window = manager().find(handle);
        if (window == nullptr) {
            return FALSE;
        }
        empty = window->updateRegion.empty();
        if (rect != nullptr) {
            *rect = window->updateRegion.bounds();
        }
    }
    if (erase && takeErase(handle)) {
        SendMessageW(handle, WM_ERASEBKGND, 0, 0);
    }
    return empty ? FALSE : TRUE;
}

int GetUpdateRgn(HWND handle, HRGN regionHandle, BOOL erase) {
    int type = ERROR;
    {
        std::lock_guard guard(manager().mutex);
        Window* window = manager().find(handle);
        auto* region = platform::GdiObject::fromHandleAs<Region>(regionHandle);
        if (window == nullptr || region == nullptr) {
            return ERROR;
        }
        region->shape = window->updateRegion;
        type = region->shape.type();
    }
    if (erase && takeErase(handle)) {
        SendMessageW(handle, WM_ERASEBKGND, 0, 0);
    }
    return type;
}

// No device context comes with the paint: the program draws on its DirectDraw surfaces, and the
// window manager keeps no pixels of its own.
HDC BeginPaint(HWND handle, LPPAINTSTRUCT paint) {
    if (paint == nullptr) {
        return nullptr;
    }
    *paint = PAINTSTRUCT{};
    bool erased = false;
    if (takeErase(handle)) {
        erased = SendMessageW(handle, WM_ERASEBKGND, 0, 0) != 0;
    } else {
        erased = true;
    }
    std::lock_guard guard(manager().mutex);
    Window* window = manager().find(handle);
    if (window == nullptr) {
        return nullptr;
    }
    paint->fErase = erased ? FALSE : TRUE;
    paint->rcPaint = window->updateRegion.bounds();
    window->updateRegion.clear();
    window->erasePending = false;
    return nullptr;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
    return paint != nullptr ? TRUE : FALSE;
}

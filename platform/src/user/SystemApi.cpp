// System metrics, icons, cursors and native message boxes.
#include "user/WindowManager.h"

#include "kernel/Paths.h"
#include "platform/Device.h"
#include "winbase.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace {

struct Screen {
    int width;
    int height;
    int dpi;
    int taskBar;
};

Screen screen() {
    if (platform::Device::running()) {
        auto& device = platform::Device::instance();
        return Screen{device.width(), device.height(), device.dpi(), device.taskBarHeight()};
    }
    const platform::DeviceConfig defaults;
    return Screen{defaults.width, defaults.height, defaults.dpi, 26 * defaults.dpi / 96};
}

int scaled(int pixelsAt96, int dpi) {
    return (pixelsAt96 * dpi + 48) / 96;
}

// Icons and cursors are plain tokens: the program only hands them back to the platform.
struct Token {
    int kind;
};
Token applicationIcon{1};
Token arrowCursor{2};
Token beamCursor{3};
Token waitCursor{4};

std::mutex cursorMutex;
HCURSOR currentCursor = reinterpret_cast<HCURSOR>(&arrowCursor);

} // namespace

int GetSystemMetrics(int index) {
    const Screen s = screen();
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
        return s.width;
    case SM_CYSCREEN:
        return s.height;
    case SM_CYFULLSCREEN:
        return s.height - s.taskBar;
    case SM_CYCAPTION:
    case SM_CYMENU:
        return s.taskBar;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
        return scaled(13, s.dpi);
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return scaled(3, s.dpi);
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return scaled(32, s.dpi);
    case SM_CXSMICON:
    case SM_CYSMICON:
        return scaled(16, s.dpi);
    default:
        return 0;
    }
}

HICON LoadIconW(HINSTANCE, LPCWSTR) {
    return reinterpret_cast<HICON>(&applicationIcon);
}

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name) {
    if (name == IDC_ARROW) {
        return reinterpret_cast<HCURSOR>(&arrowCursor);
    }
    if (name == IDC_WAIT) {
        return reinterpret_cast<HCURSOR>(&waitCursor);
    }
    if (name == IDC_IBEAM) {
        return reinterpret_cast<HCURSOR>(&beamCursor);
    }
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR previous = nullptr;
    {
        std::lock_guard guard(cursorMutex);
        previous = std::exchange(currentCursor, cursor);
    }
    if (platform::Device::running()) {
        platform::Device::instance().setCursor(cursor == reinterpret_cast<HCURSOR>(&waitCursor));
    }
    return previous;
}

// Every box is also written to standard error, so that a message shown on a device nobody
// watches (or before any window exists) is never lost.
int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
    const std::wstring body = text != nullptr ? text : L"";
    const std::wstring title = caption != nullptr ? caption : L"Error";
    std::fprintf(stderr, "Dawnbell message box: %s: %s\n", platform::paths::narrow(title).c_str(),
                 platform::paths::narrow(body).c_str());
    std::fflush(stderr);
    if (!platform::Device::running()) {
        return IDOK;
    }
    return platform::Device::instance().backend().messageBox(body, title, type);
}

// The shell's C surface: the input panel (SipShowIM, SipGetInfo, SHSipInfo), full-screen
// windows (SHFullScreen) and the tap-and-hold gesture (SHRecognizeGesture).
#include "aygshell.h"
#include "connmgr.h"
#include "connmgr_status.h"
#include "device/DeviceServices.h"
#include "platform/Clock.h"
#include "platform/Device.h"
#include "shell/Shell.h"
#include "windows.h"

#include <mutex>
#include <vector>

namespace platform::shell {
namespace {

// How long the stylus must stay down for a tap-and-hold, and how often the gesture looks.
constexpr DWORD holdMs = 500;
constexpr UINT gestureCheckMs = 25;

class InputPanel {
public:
    static InputPanel& instance() {
        static InputPanel panel;
        return panel;
    }

    bool show(bool on) {
        if (!Device::running())
            return false;
        {
            std::lock_guard lock(mutex_);
            on_ = on;
        }
        keyboard_.setShown(on);
        Device& device = Device::instance();
        device.setInputPanelShown(on);
        device.removeLayer(&keyboard_);
        if (on) {
            device.addLayer(&keyboard_);
            device.setPointerFilter([this](PointerAction action, int x, int y) {
                return keyboard_.onPointer(action, x, y);
            });
        } else {
            device.setPointerFilter(nullptr);
        }
        return true;
    }

    bool describe(SIPINFO& info) {
        if (!Device::running())
            return false;
        const Device& device = Device::instance();
        const RECT panel = panelRect(device.width(), device.height(), device.dpi());
        const LONG top = device.taskBarVisible() ? device.taskBarHeight() : 0;
        std::lock_guard lock(mutex_);
        info.fdwFlags =
            (on_ ? SIPF_ON : 0u) | (docked_ ? SIPF_DOCKED : 0u) | (locked_ ? SIPF_LOCKED : 0u);
        info.rcSipRect = panel;
        info.rcVisibleDesktop = {0, top, device.width(), on_ ? panel.top : device.height()};
        info.dwImDataSize = 0;
        return true;
    }

    bool apply(const SIPINFO& info) {
        {
            std::lock_guard lock(mutex_);
            docked_ = (info.fdwFlags & SIPF_DOCKED) != 0;
            locked_ = (info.fdwFlags & SIPF_LOCKED) != 0;
        }
        return show((info.fdwFlags & SIPF_ON) != 0);
    }

    void reset() {
        {
            std::lock_guard lock(mutex_);
            on_ = false;
            docked_ = true;
            locked_ = false;
        }
        keyboard_.setShown(false);
        if (Device::running()) {
            Device::instance().setInputPanelShown(false);
            Device::instance().removeLayer(&keyboard_);
            Device::instance().setPointerFilter(nullptr);
        }
    }

    OnScreenKeyboard& keyboard() { return keyboard_; }

private:
    std::mutex mutex_;
    bool on_ = false;
    bool docked_ = true;
    bool locked_ = false;
    OnScreenKeyboard keyboard_;
};

// Follows a press until the stylus lifts or moves beyond the slop (0) or has stayed down for
// holdMs (GN_CONTEXTMENU). Runs the calling thread's timers meanwhile, as a modal loop does.
DWORD followPress(POINT start, int slop) {
    const DWORD begin = clock::now();
    // A timer without a window gets an id of its own, which is the one to take and to kill.
    const UINT_PTR timer = SetTimer(nullptr, 0, gestureCheckMs, nullptr);
    DWORD result = 0;
    for (;;) {
        if (GetCapture() == nullptr)
            break;
        MSG move{};
        if (PeekMessageW(&move, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_NOREMOVE) &&
            (std::abs(move.pt.x - start.x) > slop || std::abs(move.pt.y - start.y) > slop))
            break;
        if (clock::now() - begin >= holdMs) {
            result = GN_CONTEXTMENU;
            break;
        }
        MSG msg{};
        const BOOL got = GetMessageW(&msg, nullptr, WM_TIMER, WM_TIMER);
        if (got == 0)
            PostQuitMessage(static_cast<int>(msg.wParam)); // leave the quit for the program's loop
        if (got <= 0)
            break;
        if (msg.hwnd != nullptr || msg.wParam != timer)
            DispatchMessageW(&msg);
    }
    KillTimer(nullptr, timer);
    return result;
}

// Registers the class as soon as the program starts.
const bool editClassRegistered = (registerEditClass(), true);

} // namespace

namespace {
// The input panel and the EDIT fields belong to one device: a new device starts with neither.
const bool resetWithDevice = (registerDeviceReset(&resetShell), true);
} // namespace

// The task bar's signal bars: the Connection Manager's Internet destination, as the program
// itself would see it.
bool internetConnected() {
    DWORD size = 0;
    ConnMgrQueryDetailedStatus(nullptr, &size);
    std::vector<std::uint64_t> buffer((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
    auto* list = reinterpret_cast<CONNMGR_CONNECTION_DETAILED_STATUS*>(buffer.data());
    if (buffer.empty() || FAILED(ConnMgrQueryDetailedStatus(list, &size))) {
        return false;
    }
    for (auto* entry = list; entry != nullptr; entry = entry->pNext) {
        if (entry->guidDestNet == IID_DestNetInternet &&
            entry->dwConnectionStatus == CONNMGR_STATUS_CONNECTED) {
            return true;
        }
    }
    return false;
}

void resetShell() {
    InputPanel::instance().reset();
    forgetEditFields();
    if (Device::running()) {
        Device::instance().setTaskBarVisible(true);
        Device::instance().setConnectionProbe(internetConnected);
    }
}

OnScreenKeyboard& keyboard() {
    return InputPanel::instance().keyboard();
}

} // namespace platform::shell

using platform::shell::InputPanel;

BOOL SipShowIM(DWORD dwFlag) {
    platform::shell::registerEditClass();
    return InputPanel::instance().show((dwFlag & SIPF_ON) != 0) ? TRUE : FALSE;
}

BOOL SipGetInfo(SIPINFO* pSipInfo) {
    if (pSipInfo == nullptr || pSipInfo->cbSize != sizeof(SIPINFO)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return InputPanel::instance().describe(*pSipInfo) ? TRUE : FALSE;
}

BOOL SHSipInfo(UINT uiAction, UINT, PVOID pvParam, UINT) {
    auto* info = static_cast<SIPINFO*>(pvParam);
    if ((uiAction != SPI_GETSIPINFO && uiAction != SPI_SETSIPINFO) || info == nullptr ||
        info->cbSize != sizeof(SIPINFO)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (uiAction == SPI_GETSIPINFO)
        return InputPanel::instance().describe(*info) ? TRUE : FALSE;
    return InputPanel::instance().apply(*info) ? TRUE : FALSE;
}

BOOL SHFullScreen(HWND hwndRequester, DWORD dwState) {
    if (!IsWindow(hwndRequester) || !platform::Device::running())
        return FALSE;
    if (dwState & SHFS_SHOWTASKBAR)
        platform::Device::instance().setTaskBarVisible(true);
    if (dwState & SHFS_HIDETASKBAR)
        platform::Device::instance().setTaskBarVisible(false);
    // The input panel's button and the start icon live on a menu bar this device does not draw:
    // their flags change nothing.
    return TRUE;
}

DWORD SHRecognizeGesture(SHRGINFO* shrg) {
    if (shrg == nullptr || shrg->cbSize != sizeof(SHRGINFO) || !platform::Device::running())
        return 0;
    POINT start = shrg->ptDown;
    if (shrg->hwndClient != nullptr)
        ClientToScreen(shrg->hwndClient, &start);
    const int slop = (5 * platform::Device::instance().dpi() + 48) / 96;
    return platform::shell::followPress(start, slop);
}

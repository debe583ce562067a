#include "MessageLoop.h"

#include "Application.h"
#include "AwakeCheck.h"
#include "ConnectionWorker.h"
#include "DisplayFrame.h"
#include "FatalExit.h"
#include "MainScreen.h"
#include "MyEditControl.h"
#include "NetworkSearch.h"
#include "RecentPanel.h"
#include "SearchPanel.h"
#include "ResourceManager.h"

#include <aygshell.h>

namespace {

constexpr UINT boxStyle = MB_OK | MB_ICONEXCLAMATION;

void buildAndDrawScreen() {
    drawingReady = 0;
    theApplication->buildScreen();
    dirtyRect = {viewRect.left, clientRect.top, viewRect.right, GetSystemMetrics(SM_CYSCREEN)};
    drawingReady = 1;
    fullRedraw = 1;
    theFrame->redraw(true);
}

void handleThreadMessage(const MSG& msg) {
    if (msg.message != WM_USER) {
        return;
    }
    switch (msg.wParam) {
    case buildScreenRequest:
        buildAndDrawScreen();
        break;
    case widgetTapped:
    case widgetNotification:
        theApplication->onEvent(reinterpret_cast<Element*>(msg.lParam),
                                static_cast<int>(msg.wParam));
        break;
    case messageBoxAnswered:
        SetEvent(messageBoxEvent);
        break;
    case screenTurned:
        layOutMainScreenForItsShape();
        break;
    case workerStatusReport:
    case workerSendReady:
        applyWorkerReport(msg.wParam, msg.lParam);
        break;
    case awakeCheckReport:
        applyAwakeReport(msg.lParam);
        break;
    case networkSearchReport:
        applySearchReport(msg.lParam);
        break;
    case macLookupReport:
        applyMacLookupReport(msg.lParam);
        break;
    case hostLookupReport:
        applyHostLookupReport(msg.lParam);
        break;
    default:
        break;
    }
}

// A press on the native editor may be the start of a tap-and-hold: let the shell recognise it.
void recogniseGesture(const MSG& msg) {
    RECT editRect{};
    GetWindowRect(editWindow, &editRect);
    SHRGINFO gesture{};
    gesture.cbSize = sizeof(gesture);
    gesture.hwndClient = mainWindow;
    gesture.ptDown.x = editRect.left + LOWORD(msg.lParam);
    gesture.ptDown.y = editRect.top + HIWORD(msg.lParam) - clientRect.top;
    gesture.dwFlags = 0;
    SHRecognizeGesture(&gesture);
}

} // namespace

void runMessageLoop() {
    MSG msg{};
    for (;;) {
        const BOOL result = GetMessageW(&msg, nullptr, 0, 0);
        if (result == -1) {
            MessageBoxW(mainWindow, L"Main function fail...", L"GetMessage", boxStyle);
            exitAfterFatalMessage();
        }
        if (msg.message == WM_QUIT) {
            return;
        }
        if (msg.hwnd != nullptr && msg.message == WM_CLOSE) {
            theApplication->onClose();
            return;
        }
        if (msg.hwnd == nullptr) {
            handleThreadMessage(msg);
        } else if (msg.message == WM_LBUTTONDOWN && msg.hwnd == editWindow) {
            recogniseGesture(msg);
        }
        if (msg.message == WM_KEYDOWN && msg.hwnd == editWindow && endEditWithKey(msg.wParam)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (msg.message == WM_LBUTTONDOWN && msg.hwnd == mainWindow) {
            followPressOnRecentRow(msg);
        }
    }
}

void showMessage(const wchar_t* text, const wchar_t* caption, bool fatal) {
    MessageBoxW(mainWindow, text, caption, boxStyle);
    if (fatal) {
        exitAfterFatalMessage();
    }
}

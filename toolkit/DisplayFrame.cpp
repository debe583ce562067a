#include "DisplayFrame.h"

#include "Element.h"
#include "FatalExit.h"
#include "MessageBoxSense.h"
#include "Rect.h"
#include "Tunables.h"
#include "TraceFailure.h"

#include <aygshell.h>

#include <algorithm>
#include <sstream>

namespace {

constexpr DWORD kFillFlags = DDBLT_WAITNOTBUSY | DDBLT_COLORFILL;

[[noreturn]] void failSetUp(const wchar_t* text, const wchar_t* caption) {
    MessageBoxW(mainWindow, text, caption, MB_OK | MB_ICONEXCLAMATION);
    exitAfterFatalMessage();
}

HWND withRaiseBit(HWND window) {
    return reinterpret_cast<HWND>(reinterpret_cast<LONG_PTR>(window) |
                                  tunables::raiseOwnedWindowsBit);
}

void releaseSurface(IDirectDrawSurface*& surface) {
    if (surface != nullptr) {
        surface->Release();
        surface = nullptr;
    }
}

} // namespace

HRESULT colourFill(IDirectDrawSurface* surface, RECT* rect, DWORD colour) {
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = colour;
    return surface->Blt(rect, nullptr, nullptr, kFillFlags, &fx);
}

HRESULT createDisplaySurface(DWORD width, DWORD height, DWORD caps, IDirectDrawSurface** surface) {
    if (theFrame == nullptr || theFrame->directDraw == nullptr) {
        return E_POINTER;
    }
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_HEIGHT | DDSD_WIDTH | (caps != 0 ? DDSD_CAPS : 0);
    desc.dwHeight = height;
    desc.dwWidth = width;
    desc.ddsCaps.dwCaps = caps;
    return theFrame->directDraw->CreateSurface(&desc, surface, nullptr);
}

HRESULT eraseRect(const RECT& rect) {
    if (primarySurface == nullptr) {
        return E_POINTER;
    }
    // A band reaching past the screen (an oversized scroll step) is erased where it is visible;
    // the blitter would refuse the whole rectangle otherwise and leave stale pixels behind.
    RECT visible = intersection(
        rect, RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    if (isEmpty(visible)) {
        return S_OK;
    }
    return colourFill(primarySurface, &visible, tunables::backgroundColour);
}

DisplayFrame::DisplayFrame(HINSTANCE instance, const wchar_t* windowTitle)
    : title(windowTitle), motion(sharedTracker()) {
    theFrame = this;
    mainWindow = nullptr;
    appInstance = instance;
    if (!createWindow(instance)) {
        return;
    }
    createDirectDraw();
    placeViewInClientArea(GetSystemMetrics(SM_CYSCREEN));
    if (!createPrimarySurface()) {
        return;
    }
    showAndHideInputPanel();
}

bool DisplayFrame::createWindow(HINSTANCE instance) {
    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = staticWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = title;
    RegisterClassW(&windowClass);
    mainWindow = CreateWindowExW(0, title, title, WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    return mainWindow != nullptr;
}

void DisplayFrame::createDirectDraw() {
    if (FAILED(DirectDrawCreate(nullptr, &directDraw, nullptr))) {
        failSetUp(L"DirectDrawCreate failed.", L"DirectDrawCreate");
    }
    if (FAILED(directDraw->SetCooperativeLevel(mainWindow, DDSCL_FULLSCREEN))) {
        failSetUp(L"SetCooperativeLevel failed.", L"SetCooperativeLevel");
    }
}

// The client area is taken to sit at the bottom of the screen.
void DisplayFrame::placeViewInClientArea(int screenHeight) {
    GetClientRect(mainWindow, &viewRect);
    viewRect.top = screenHeight - viewRect.bottom;
    viewRect.bottom = screenHeight;
    clientRect = viewRect;
    dirtyRect = viewRect;
}

bool DisplayFrame::createPrimarySurface() {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    desc.dwHeight = static_cast<DWORD>(GetSystemMetrics(SM_CYSCREEN));
    desc.dwWidth = static_cast<DWORD>(GetSystemMetrics(SM_CXSCREEN));
    const HRESULT hr = directDraw->CreateSurface(&desc, &primary, nullptr);
    if (FAILED(hr)) {
        traceFailure(hr, L"CreateSurface(Primary SglBuff)");
        return false;
    }
    primarySurface = primary;
    if (FAILED(directDraw->SetCooperativeLevel(mainWindow, DDSCL_NORMAL))) {
        failSetUp(L"SetCooperativeLevel failed.", L"SetCooperativeLevel");
    }
    return true;
}

void DisplayFrame::showAndHideInputPanel() {
    ShowWindow(mainWindow, SW_SHOWNORMAL);
    UpdateWindow(mainWindow);
    SetFocus(mainWindow);
    if (!SipShowIM(SIPF_OFF)) {
        failSetUp(L"Can't create an input text.", L"SipShowIM(SIPF_OFF)");
    }
    SHFullScreen(mainWindow, tunables::fullScreenFlags);
}

DisplayFrame::~DisplayFrame() {
    releaseSurface(primary);
    primarySurface = nullptr;
    if (directDraw != nullptr) {
        directDraw->Release();
        directDraw = nullptr;
    }
    for (Element* root : screens) {
        delete root;
    }
    screens.clear();
    // The window outlives the frame; later messages must not reach a freed frame.
    if (mainWindow != nullptr) {
        SetWindowLongW(mainWindow, GWL_USERDATA, 0);
    }
    if (theFrame == this) {
        theFrame = nullptr;
    }
}

void DisplayFrame::addScreen(Element* root) {
    screens.push_back(root);
    currentScreen = 0;
}

// A box is painted even before the first screen exists: it could not be answered otherwise.
void DisplayFrame::redraw(bool eraseDirty) {
    MotionLockGuard lock;
    if (screens.empty() && modalBox == nullptr) {
        return;
    }
    if (eraseDirty) {
        eraseRect(dirtyRect);
    }
    if (modalBox != nullptr) {
        modalBox->paintBox(primarySurface);
    } else {
        UpdateFrame();
    }
}

void DisplayFrame::UpdateFrame() {
    if (drawingReady == 0 || currentScreen == -1) {
        return;
    }
    Element* root = screens[static_cast<size_t>(currentScreen)];
    if (fullRedraw == 1) {
        root->paint(primarySurface, viewRect.left, viewRect.top);
        return;
    }
    const int step = motion->tickScrollTarget();
    if (step == 0) {
        return;
    }
    scrollBy(step);
    if (frameHasFocus == 1) {
        root->paint(primarySurface, viewRect.left, viewRect.top);
    }
}

// Moves the pixels of the scrolled area by `step` and erases the band the move uncovered.
void DisplayFrame::scrollBy(int step) {
    const RECT v = isEmpty(scrolledArea) ? viewRect : intersection(scrolledArea, viewRect);
    RECT destination;
    RECT source;
    if (step > 0) {
        destination = RECT{v.left, v.top + step, v.right, v.bottom};
        source = RECT{v.left, v.top, v.right, v.bottom - step};
        dirtyRect.top = v.top;
        dirtyRect.bottom = v.top + step;
    } else {
        destination = RECT{v.left, v.top, v.right, v.bottom + step};
        source = RECT{v.left, v.top - step, v.right, v.bottom};
        dirtyRect.top = v.bottom + step;
        dirtyRect.bottom = v.bottom;
    }
    // A step longer than the view uncovers the whole view, never more: the widgets clip their
    // painting to the band, and the blitter refuses a rectangle that leaves the screen (a field
    // below the bottom edge lost its frame after a fast swipe).
    dirtyRect.top = std::max(dirtyRect.top, v.top);
    dirtyRect.bottom = std::min(dirtyRect.bottom, v.bottom);
    dirtyRect.left = v.left;
    dirtyRect.right = v.right;
    if (!isEmpty(destination)) {
        const HRESULT hr =
            primarySurface->Blt(&destination, primarySurface, &source, DDBLT_WAITNOTBUSY, nullptr);
        if (FAILED(hr)) {
            traceFailure(hr, scrollFailureContext(dirtyRect));
        }
    }
    const HRESULT hr = eraseRect(dirtyRect);
    if (FAILED(hr)) {
        traceFailure(hr, L"Erase bckground");
    }
}

std::wstring DisplayFrame::scrollFailureContext(const RECT& band) {
    std::ostringstream text;
    text << "UpdateFrame " << band.bottom << "," << band.top;
    const std::string narrow = text.str();
    return std::wstring(narrow.begin(), narrow.end());
}

LRESULT CALLBACK DisplayFrame::staticWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    if (message == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* frame = static_cast<DisplayFrame*>(create->lpCreateParams);
        SetWindowLongW(hwnd, GWL_USERDATA, reinterpret_cast<LONG_PTR>(frame));
        // Known before CreateWindowExW returns, so that messages sent during creation reach the
        // default procedure with their window.
        mainWindow = hwnd;
        return frame->windowProc(message, wParam, lParam);
    }
    auto* frame = reinterpret_cast<DisplayFrame*>(GetWindowLongW(hwnd, GWL_USERDATA));
    if (frame == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return frame->windowProc(message, wParam, lParam);
}

LRESULT DisplayFrame::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // Signed: a finger held down and dragged out of the window has negative coordinates.
    const int x = static_cast<SHORT>(LOWORD(lParam));
    const int y = static_cast<SHORT>(HIWORD(lParam));
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    case WM_ACTIVATE:
        onActivate(wParam);
        return 0;
    case WM_SETFOCUS:
        onSetFocus();
        return 0;
    case WM_PAINT:
        paintUpdateRegion();
        return 1;
    case WM_CLOSE:
        DestroyWindow(mainWindow);
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETTINGCHANGE: {
        SIPINFO info{};
        info.cbSize = sizeof info;
        if (!SipGetInfo(&info)) {
            failSetUp(L"Internal Failure...", L"SipGetInfo(&pSipInfo)");
        }
        break;
    }
    case WM_WINDOWPOSCHANGED:
        checkRotation();
        break;
    case WM_TIMER:
        onTimer(wParam);
        break;
    case WM_MOUSEMOVE:
        motion->onMove(x, y);
        redraw(false);
        break;
    case WM_LBUTTONDOWN:
        motion->onPress(x, y);
        redraw(false);
        break;
    case WM_LBUTTONUP:
        motion->onRelease(x, y);
        redraw(false);
        break;
    case tunables::redrawRequestMessage:
        redraw(false);
        break;
    default:
        break;
    }
    return DefWindowProcW(mainWindow, message, wParam, lParam);
}

void DisplayFrame::onActivate(WPARAM wParam) {
    scrollBar.windowInactive = wParam == 0;
    if (wParam != 0) {
        SetForegroundWindow(withRaiseBit(mainWindow));
        SHFullScreen(mainWindow, tunables::fullScreenFlags);
        SetFocus(mainWindow);
        MotionLockGuard lock;
        if (modalBox != nullptr) {
            PostMessageW(modalBox->window, WM_ACTIVATE, WA_ACTIVE, 0);
        }
        return;
    }
    // The overlay is drawn above every window, so it must not stay over the one taking over.
    if (currentScreen >= 0 && scrollBarSurface != nullptr) {
        MotionLockGuard lock; // a box asked on another thread hides it too
        scrollBar.hide();
    }
    if (HWND foreground = GetForegroundWindow(); foreground != nullptr) {
        SetForegroundWindow(withRaiseBit(foreground));
    }
}

void DisplayFrame::onSetFocus() {
    {
        MotionLockGuard lock; // a box asked on another thread may be painting
        frameHasFocus = 1;
        fullRedraw = 1;
    }
    ShowWindow(mainWindow, SW_SHOW);
    UpdateWindow(mainWindow);
    InvalidateRect(mainWindow, nullptr, TRUE);
}

// While the native editor has the screen, the tick only advances the target's animation.
void DisplayFrame::onTimer(WPARAM timerId) {
    if (timerId != tunables::motionTimerId) {
        return;
    }
    if (frameHasFocus == 1) {
        redraw(false);
        return;
    }
    MotionLockGuard lock;
    if (motion->scrollTarget != nullptr) {
        motion->scrollTarget->onTimer();
    }
}

void DisplayFrame::paintUpdateRegion() {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    const int type = GetUpdateRgn(mainWindow, region, TRUE);
    if (type != ERROR && type != NULLREGION) {
        repaintRegion(region);
    }
    DeleteObject(region);
    PAINTSTRUCT paint;
    BeginPaint(mainWindow, &paint);
    EndPaint(mainWindow, &paint);
}

// Under motionLock, so that a box asked on another thread meanwhile waits for the screen
// beneath it, and is not painted over.
void DisplayFrame::repaintRegion(HRGN region) {
    MotionLockGuard lock;
    if (drawingReady != 1 || modalBox != nullptr) {
        return;
    }
    const DWORD size = GetRegionData(region, 0, nullptr);
    std::vector<BYTE> data(std::max<size_t>(size, sizeof(RGNDATAHEADER)));
    if (GetRegionData(region, size, reinterpret_cast<RGNDATA*>(data.data())) == 0) {
        return;
    }
    RGNDATAHEADER header;
    std::memcpy(&header, data.data(), sizeof header);
    const size_t available = (data.size() - sizeof header) / sizeof(RECT);
    const size_t count = std::min<size_t>(header.nRgnSize / sizeof(RECT), available);
    std::vector<RECT> rects(count);
    if (count > 0) {
        std::memcpy(rects.data(), data.data() + sizeof header, count * sizeof(RECT));
    }
    for (const RECT& r : rects) {
        dirtyRect = RECT{r.left, r.top + clientRect.top, r.right, r.bottom + clientRect.top};
        fullRedraw = 1;
        redraw(true);
    }
}

void DisplayFrame::checkRotation() {
    const int cx = GetSystemMetrics(SM_CXSCREEN);
    const int cy = GetSystemMetrics(SM_CYSCREEN);
    const BYTE before = portrait;
    if (portrait == 1 && cx > cy) {
        portrait = 0;
    } else if (portrait == 0 && cx < cy) {
        portrait = 1;
    }
    if (portrait == before) {
        return;
    }
    {
        // A box asked on another thread reads the view and the back buffer while it lays out
        // and paints.
        MotionLockGuard lock;
        placeViewInClientArea(cy);
        rebuildDisplaySurfaces();
        dirtyRect = viewRect;
        if (motion->scrollTarget != nullptr) {
            motion->scrollTarget->unselect();
        }
        fullRedraw = 1;
        if (modalBox != nullptr) {
            modalBox->loadSurf();
        }
    }
    InvalidateRect(mainWindow, nullptr, TRUE);
    SHFullScreen(mainWindow, tunables::fullScreenFlags);
    // The application may lay its screen out anew for the new shape.
    PostMessageW(nullptr, WM_USER, screenTurned, 0);
}

void DisplayFrame::rebuildDisplaySurfaces() {
    const auto cx = static_cast<DWORD>(GetSystemMetrics(SM_CXSCREEN));
    const auto cy = static_cast<DWORD>(GetSystemMetrics(SM_CYSCREEN));
    releaseSurface(backBuffer);
    // The new overlay starts hidden; the shown flag must say so, or the bar never comes back.
    scrollBar.hide();
    scrollBar.release();
    directDraw->RestoreAllSurfaces();
    const HRESULT hr = createDisplaySurface(cx, cy, 0, &backBuffer);
    if (FAILED(hr)) {
        traceFailure(hr, L"Section::loadSurf 0");
    }
    scrollBar.create();
    dirtyRect = viewRect;
    for (size_t i = 0; i < allElements.size(); ++i) {
        allElements[i]->loadSurf();
    }
}

#include "MessageBoxSense.h"

#include "DisplayFrame.h"
#include "FatalExit.h"
#include "ImageLoader.h"
#include "MotionTracker.h"
#include "MyLabel.h"
#include "ResourceManager.h"
#include "TraceFailure.h"
#include "Tunables.h"

#include <aygshell.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr const wchar_t* kClassName = L"MessageBoxSense";

struct ButtonTexts {
    const wchar_t* first;  // element id 1: the answer 1
    const wchar_t* second; // element id 2, or none
};

// By button set; entry 0 is unused.
constexpr ButtonTexts kButtonTexts[] = {
    {nullptr, nullptr}, {L"OK", nullptr}, {L"Yes", L"No"}, {L"OK", L"Cancel"}, {L"Retry", L"Abort"},
};

// A device context of a surface for the lifetime of the object; dc is null if none was given.
class SurfaceContext {
public:
    explicit SurfaceContext(IDirectDrawSurface* surface) : surface_(surface) {
        const HRESULT hr = surface_ != nullptr ? surface_->GetDC(&dc) : E_POINTER;
        if (FAILED(hr)) {
            traceFailure(hr, L"MessageBoxSense GetDC(&hdc);");
            dc = nullptr;
        }
    }
    ~SurfaceContext() {
        if (dc != nullptr) {
            surface_->ReleaseDC(dc);
        }
    }
    SurfaceContext(const SurfaceContext&) = delete;
    SurfaceContext& operator=(const SurfaceContext&) = delete;

    HDC dc = nullptr;

private:
    IDirectDrawSurface* surface_;
};

// Selects a font into a context for the lifetime of the object.
class SelectedFont {
public:
    SelectedFont(HDC dc, HFONT font)
        : dc_(dc), previous_(font != nullptr ? SelectObject(dc, font) : nullptr) {}
    ~SelectedFont() {
        if (previous_ != nullptr) {
            SelectObject(dc_, previous_);
        }
    }
    SelectedFont(const SelectedFont&) = delete;
    SelectedFont& operator=(const SelectedFont&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The text keeps a fiftieth of the box's width from its left side, and a fiftieth of what is
// left from its right side.
struct TextColumns {
    int left;
    int right;
};

TextColumns textColumns(int boxLeft, int boxRight) {
    const int textLeft = boxLeft + (boxRight - boxLeft) / tunables::boxTextInsetDivisor;
    return {textLeft, boxRight - (boxRight - textLeft) / tunables::boxTextInsetDivisor};
}

// Image pixels in the Imaging API's source units.
LONG units(int pixels, double unitsPerPixel) {
    return static_cast<LONG>(std::lround(pixels * unitsPerPixel));
}

void loadSharedImages() {
    if (boxImage != nullptr) {
        return;
    }
    boxImage = loadImageObject(imagePaths[imageMsgbox]);
    backdropImage = loadImageObject(imagePaths[imageBackground]);
    ImageInfo info{};
    if (boxImage != nullptr && SUCCEEDED(boxImage->GetImageInfo(&info)) && info.Xdpi > 0 &&
        info.Ydpi > 0) {
        boxImageWidth = static_cast<int>(info.Width);
        boxImageHeight = static_cast<int>(info.Height);
        boxUnitsPerPixelX = tunables::hundredthsOfMmPerInch / info.Xdpi;
        boxUnitsPerPixelY = tunables::hundredthsOfMmPerInch / info.Ydpi;
    }
}

void registerWindowClass() {
    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MessageBoxSense::boxStaticWindowProc;
    windowClass.hInstance = appInstance;
    windowClass.hIcon = LoadIconW(appInstance, MAKEINTRESOURCEW(0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass); // every box after the first finds the class already there
}

bool isMessageBoxButtonSet(int buttons) {
    return buttons >= messageBoxOk && buttons <= messageBoxRetryAbort;
}

} // namespace

MessageBoxSense::MessageBoxSense(const std::wstring& boxCaption, const std::wstring& boxText,
                                 int buttonSet)
    : active(1), buttons(buttonSet), caption(boxCaption), text(boxText) {
    if (!isMessageBoxButtonSet(buttons)) {
        return;
    }
    registerWindowClass();
    window = CreateWindowExW(0, kClassName, caption.c_str(), WS_CHILD, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, mainWindow, nullptr, nullptr, this);
    if (window == nullptr) {
        return;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetFocus(window);
    SHFullScreen(window, tunables::fullScreenFlags);
    // Loaded before taking the lock: a missing image shows a box, which may need the
    // user-interface thread.
    loadSharedImages();
    loadItemStrips(itemSmallBoxButton);
    MotionLockGuard lock;
    createButtons();
    measureText();
    painted = 0;
    layOut();
}

MessageBoxSense::~MessageBoxSense() {
    if (window != nullptr) {
        // Messages still on their way to the window must not find a freed box.
        SetWindowLongW(window, GWL_USERDATA, 0);
        ShowWindow(window, SW_HIDE);
        DestroyWindow(window);
    }
}

void MessageBoxSense::createButtons() {
    const ButtonTexts& texts = kButtonTexts[buttons];
    buttonItems.push_back(
        std::make_unique<MyItem>(1, 0, 0, itemSmallBoxButton, itemOff, texts.first));
    if (texts.second != nullptr) {
        buttonItems.push_back(
            std::make_unique<MyItem>(2, 0, 0, itemSmallBoxButton, itemOff, texts.second));
    }
}

// Measured as wide as it is drawn, so that it wraps into the same lines.
void MessageBoxSense::measureText() {
    SurfaceContext context(backBuffer != nullptr ? backBuffer : primarySurface);
    if (context.dc == nullptr) {
        return;
    }
    SelectedFont font(context.dc, fontNormal);
    const TextColumns columns = textColumns(0, boxImageWidth);
    RECT area{0, 0, columns.right - columns.left, 0};
    DrawTextW(context.dc, text.c_str(), -1, &area, DT_CALCRECT | DT_WORDBREAK);
    textHeight = area.bottom;
}

void MessageBoxSense::layOut() {
    const int h = boxImageHeight;
    const int buttonHeight = buttonItems.empty() ? 0 : buttonItems[0]->bottom - buttonItems[0]->top;
    const int height = textHeight + (2 * h) / 3 + buttonHeight + tunables::boxMarginPx;
    left = (viewRect.right - viewRect.left - boxImageWidth) / 2;
    right = left + boxImageWidth;
    top = clientRect.top + ((viewRect.bottom - viewRect.top) - height) / 2;
    bottom = top + height;
}

void MessageBoxSense::loadSurf() {
    loadSharedImages();
    {
        MotionLockGuard lock;
        painted = 0;
        layOut();
    }
    if (window != nullptr) {
        PostMessageW(window, WM_NULL, 0, 0); // the asking thread's loop then draws it anew
    }
}

RECT MessageBoxSense::buttonPlace(size_t index) const {
    const MyItem& item = *buttonItems[index];
    const int width = item.right - item.left;
    const int y = top + textHeight + boxImageHeight / 2 + tunables::boxMarginPx;
    int x = left + (right - left - width) / 2;
    if (buttonItems.size() > 1) {
        x = index == 0 ? left + tunables::boxMarginPx : right - width - tunables::boxMarginPx;
    }
    return RECT{x, y, x + width, y + (item.bottom - item.top)};
}

RECT MessageBoxSense::textArea() const {
    const TextColumns columns = textColumns(left, right);
    const int textTop = top + boxImageHeight / 2;
    return RECT{columns.left, textTop, columns.right, bottom - (bottom - textTop) / 4};
}

void MessageBoxSense::paintBox(IDirectDrawSurface* target) {
    MotionLockGuard lock;
    if (active == 0 || insidePaint_ || target == nullptr) {
        return;
    }
    insidePaint_ = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{insidePaint_};
    if (painted == 0) {
        drawWhole(target);
    }
    followTouch(target);
}

void MessageBoxSense::drawWhole(IDirectDrawSurface* target) {
    painted = 1;
    const RECT area{viewRect.left, clientRect.top, viewRect.right, viewRect.bottom};
    repaintScreenBeneath(area);
    dirtyRect = area;
    {
        SurfaceContext context(target);
        if (context.dc != nullptr) {
            if (backdropImage != nullptr) {
                noteDrawFailure(backdropImage->Draw(context.dc, &area, nullptr));
            }
            const int h = boxImageHeight;
            // Two rows stretched down the middle; the bottom band, drawn last, covers their end.
            drawBand(context.dc, RECT{left, top, right, top + h / 2}, 0, h / 2);
            drawBand(context.dc, RECT{left, top + h / 2, right, bottom - h / 10}, h / 2,
                     h / 2 + tunables::boxStretchedRows);
            drawBand(context.dc, RECT{left, bottom - h / 4, right, bottom}, (3 * h) / 4, h);
            drawCaptionAndText(context.dc);
        }
    }
    for (size_t i = 0; i < buttonItems.size(); ++i) {
        paintButton(i, target);
    }
}

// The box is drawn over the screen dimmed by the backdrop: the screen is painted afresh first,
// so that drawing the box again (focus, rotation) neither dims it twice nor dims a stale
// picture. The scroll bar's overlay would show above the backdrop: it goes while the box is up.
void MessageBoxSense::repaintScreenBeneath(const RECT& area) {
    dirtyRect = area;
    eraseRect(area);
    if (theFrame != nullptr) {
        fullRedraw = 1;
        theFrame->UpdateFrame();
    }
    scrollBar.hide();
}

void MessageBoxSense::drawBand(HDC dc, const RECT& destination, int firstRow, int endRow) {
    if (boxImage == nullptr || destination.bottom <= destination.top) {
        return;
    }
    const RECT source{0, units(firstRow, boxUnitsPerPixelY),
                      units(boxImageWidth, boxUnitsPerPixelX), units(endRow, boxUnitsPerPixelY)};
    noteDrawFailure(boxImage->Draw(dc, &destination, &source));
}

void MessageBoxSense::drawCaptionAndText(HDC dc) {
    SetBkMode(dc, TRANSPARENT);
    {
        SelectedFont font(dc, fontLarge);
        SetTextColor(dc, tunables::boxCaptionColour);
        // A fifth of the box, but never below the dark band (the image's top quarter): a box
        // made tall by a long text would put the white caption on the light body.
        RECT band{left, top, right, top + std::min((bottom - top) / 5, boxImageHeight / 4)};
        DrawTextW(dc, caption.c_str(), -1, &band, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    SelectedFont font(dc, fontNormal);
    SetTextColor(dc, tunables::boxTextColour);
    RECT area = textArea();
    DrawTextW(dc, text.c_str(), -1, &area, DT_WORDBREAK);
}

void MessageBoxSense::paintButton(size_t index, IDirectDrawSurface* target) {
    const RECT place = buttonPlace(index);
    dirtyRect = place;
    buttonItems[index]->paint(target, place.left, place.top);
}

// A tap released on the button that the finger went down on answers; a finger that leaves the
// tap slop, or lifts elsewhere, gives the button its normal look back.
void MessageBoxSense::followTouch(IDirectDrawSurface* target) {
    MotionTracker& tracker = *sharedTracker();
    const bool tap = tracker.takeTap();
    if (answered) {
        return;
    }
    if (tap && pressedButton != nullptr) {
        answer();
        return;
    }
    if (tracker.tapCandidate) {
        if (pressedButton != nullptr) {
            return;
        }
        for (size_t i = 0; i < buttonItems.size(); ++i) {
            if (buttonItems[i]->hitTest(tracker.curPoint.x, tracker.curPoint.y) != nullptr) {
                pressedButton = buttonItems[i].get();
                paintButton(i, target);
                return;
            }
        }
        return;
    }
    if (pressedButton != nullptr) {
        MyItem* button = std::exchange(pressedButton, nullptr);
        button->unselect();
        for (size_t i = 0; i < buttonItems.size(); ++i) {
            if (buttonItems[i].get() == button) {
                paintButton(i, target);
            }
        }
    }
}

void MessageBoxSense::answer() {
    boxResult = pressedButton->elementId == 1 ? 1 : 0;
    answered = true;
    pressedButton = nullptr;
    PostMessageW(window, WM_USER, messageBoxAnswered, 0);
}

void MessageBoxSense::noteDrawFailure(HRESULT hr) {
    if (hr == S_OK || drawFailure_ != S_OK) {
        return;
    }
    drawFailure_ = hr;
    PostMessageW(window, WM_NULL, 0, 0); // the asking thread reports it
}

HRESULT MessageBoxSense::takeDrawFailure() {
    MotionLockGuard lock;
    return std::exchange(drawFailure_, S_OK);
}

void MessageBoxSense::redrawWhole() {
    MotionLockGuard lock;
    if (active == 0) {
        return;
    }
    painted = 0;
    // Not before the box is shown: the frame would draw the screen from this thread.
    if (theFrame != nullptr && theFrame->modalBox == this) {
        theFrame->redraw(false);
    }
}

LRESULT CALLBACK MessageBoxSense::boxStaticWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                                      LPARAM lParam) {
    if (message == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* box = static_cast<MessageBoxSense*>(create->lpCreateParams);
        SetWindowLongW(hwnd, GWL_USERDATA, reinterpret_cast<LONG_PTR>(box));
        box->window = hwnd;
        return box->boxWindowProc(message, wParam, lParam);
    }
    auto* box = reinterpret_cast<MessageBoxSense*>(GetWindowLongW(hwnd, GWL_USERDATA));
    if (box == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return box->boxWindowProc(message, wParam, lParam);
}

LRESULT MessageBoxSense::boxWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // Signed: a finger held down and dragged out of the window has negative coordinates.
    const int x = static_cast<SHORT>(LOWORD(lParam));
    const int y = static_cast<SHORT>(HIWORD(lParam));
    switch (message) {
    case WM_ACTIVATE:
        if (wParam == WA_ACTIVE) {
            redrawWhole();
        }
        return 0;
    case WM_SETFOCUS:
        redrawWhole();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        break;
    }
    case WM_CLOSE:
        DestroyWindow(window);
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_CTLCOLOREDIT:
        if (theFrame != nullptr) {
            theFrame->redraw(false);
        }
        break;
    case WM_MOUSEMOVE:
        sharedTracker()->onMove(x, y);
        break;
    case WM_LBUTTONDOWN:
        sharedTracker()->onPress(x, y);
        break;
    case WM_LBUTTONUP:
        sharedTracker()->onRelease(x, y);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

namespace {

// The box shown by the frame, from show() until it is taken away and the screen asked back.
// Taken away by close() on the way out, or by the destructor when TerminateThread unwinds the
// asking thread (the lock then no longer throws).
class ShownBox {
public:
    explicit ShownBox(std::unique_ptr<MessageBoxSense> box) : box_(std::move(box)) {}
    ~ShownBox() { close(); }
    ShownBox(const ShownBox&) = delete;
    ShownBox& operator=(const ShownBox&) = delete;

    MessageBoxSense& box() const { return *box_; }

    void show() {
        MotionLockGuard lock;
        theFrame->modalBox = box_.get();
        theFrame->redraw(false);
    }

    // The last answer.
    int close() {
        int answer = 0;
        if (box_ != nullptr) {
            {
                MotionLockGuard lock;
                box_->active = 0;
                if (theFrame != nullptr && theFrame->modalBox == box_.get()) {
                    theFrame->modalBox = nullptr;
                }
                answer = boxResult;
            }
            box_.reset(); // its window calls may wait for the user-interface thread: no lock
        }
        if (!screenAskedBack_) {
            askForTheScreen();
            screenAskedBack_ = true;
        }
        return answer;
    }

private:
    // The frame repaints the whole screen when the window's paint comes.
    static void askForTheScreen() {
        {
            MotionLockGuard lock;
            eraseRect(viewRect);
        }
        InvalidateRect(mainWindow, nullptr, FALSE);
    }

    std::unique_ptr<MessageBoxSense> box_;
    bool screenAskedBack_ = false;
};

bool mainWindowInOtherProcess() {
    DWORD process = 0;
    return GetWindowThreadProcessId(mainWindow, &process) != 0 && process != GetCurrentProcessId();
}

void reportDrawFailure(MessageBoxSense& box) {
    const HRESULT failure = box.takeDrawFailure();
    if (failure != S_OK) {
        reportImagingError(failure, L"MessageBoxSense");
    }
}

// What the box's loop takes that is not for the box: the application's notifications (the
// workers' reports among them) and a close of the program's window. They are posted again, in
// their order, once the box is gone, so that the program's own loop handles them as if no box
// had been up.
class HeldMessages {
public:
    void hold(const MSG& msg) { messages_.push_back(msg); }

    void postAgain() {
        // Notifications still queued came after the held ones: they keep their place behind them.
        MSG msg{};
        while (PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE)) {
            messages_.push_back(msg);
        }
        for (const MSG& held : std::exchange(messages_, {})) {
            PostMessageW(held.hwnd, held.message, held.wParam, held.lParam);
        }
    }

private:
    std::vector<MSG> messages_;
};

enum class LoopEnd { answered, quit, closed };

LoopEnd runModalLoop(MessageBoxSense& box, HeldMessages& held) {
    reportDrawFailure(box);
    MSG msg{};
    for (;;) {
        const BOOL result = GetMessageW(&msg, nullptr, 0, 0);
        if (result == -1) {
            MessageBoxW(mainWindow, L"Main MsgBox function failed...", L"GetMessage",
                        MB_OK | MB_ICONEXCLAMATION);
            exitAfterFatalMessage();
        }
        if (msg.message == WM_QUIT) {
            return LoopEnd::quit;
        }
        if (msg.message == WM_USER && msg.wParam == messageBoxAnswered) {
            return LoopEnd::answered;
        }
        if (msg.message == WM_USER) {
            held.hold(msg);
            continue;
        }
        // The program is asked to close (its close button, the session's end): the question goes
        // unanswered, and the program's own loop closes it, keeping what it keeps.
        if (msg.message == WM_CLOSE && msg.hwnd != nullptr && msg.hwnd == mainWindow) {
            held.hold(msg);
            return LoopEnd::closed;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (theFrame != nullptr) {
            theFrame->redraw(false);
        }
        reportDrawFailure(box);
    }
}

} // namespace

int showMessageBoxSense(const std::wstring& caption, const std::wstring& text, int buttons) {
    if (!isMessageBoxButtonSet(buttons) || theFrame == nullptr) {
        return 0;
    }
    if (messageBoxEvent != nullptr) {
        ResetEvent(messageBoxEvent);
    }
    auto box = std::make_unique<MessageBoxSense>(caption, text, buttons);
    if (box->window == nullptr) {
        return 0;
    }
    ShownBox shown(std::move(box));
    shown.show();
    if (mainWindowInOtherProcess()) {
        WaitForSingleObject(messageBoxEvent, INFINITE);
        return shown.close();
    }
    HeldMessages held;
    if (runModalLoop(shown.box(), held) == LoopEnd::closed) {
        MotionLockGuard lock;
        boxResult = 0;
    }
    const int answer = shown.close();
    held.postAgain();
    return answer;
}

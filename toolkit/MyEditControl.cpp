#include "MyEditControl.h"

#include "DisplayFrame.h"
#include "FatalExit.h"
#include "ImageLoader.h"
#include "MotionTracker.h"
#include "MyLabel.h"
#include "Rect.h"
#include "ResourceManager.h"
#include "Section.h"
#include "TraceFailure.h"
#include "Tunables.h"

#include <aygshell.h>

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr const wchar_t* kInputFailure = L"Can't create an input text.";

[[noreturn]] void failInput(const wchar_t* text, const wchar_t* caption) {
    MessageBoxW(mainWindow, text, caption, MB_OK | MB_ICONEXCLAMATION);
    exitAfterFatalMessage();
}

int scaled(double designPx) {
    return static_cast<int>(designPx * scaleFactor);
}

// Where the input panel is, or will be once shown.
RECT panelRect() {
    SIPINFO info{};
    info.cbSize = sizeof info;
    if (!SipGetInfo(&info)) {
        failInput(L"Internal Failure...", L"SipGetInfo(&pSipInfo)");
    }
    return info.rcSipRect;
}

void showInputPanel() {
    if (!SipShowIM(SIPF_ON)) {
        failInput(kInputFailure, L"SipShowIM(SIPF_ON)");
    }
}

// The shell's own record of the panel: on and docked while a field is edited, neither after.
void setPanelFlags(DWORD flags) {
    SIPINFO info{};
    info.cbSize = sizeof info;
    SHSipInfo(SPI_GETSIPINFO, 0, &info, 0);
    info.fdwFlags = flags;
    SHSipInfo(SPI_SETSIPINFO, 0, &info, 0);
}

} // namespace

MyEditControl::MyEditControl(int id, int x, int y, int width, bool followsTurns)
    : Element(id, x, y, kindEditControl, false), followsTurns_(followsTurns) {
    right = left + width;
    // Every field, not only the first, takes the placement for the screen's present shape.
    loadSurf();
    bottom = top + inputImageHeight;
    screenRect = RECT{left, top, right, bottom};
    // Its position is worked out here in device pixels already; scaling it again would put the
    // text too close to the frame's corner on small screens.
    label = new MyLabel(-1, scaled(tunables::editLabelLeftPx), scaled(tunables::editLabelTopPx),
                        L"", labelFontNormal, 0, true);
    label->clickable = 1;
    label->parent = this;
}

MyEditControl::~MyEditControl() {
    {
        MotionLockGuard lock;
        tracker->restoreScrollTarget(this, previousTarget);
    }
    delete label;
}

void MyEditControl::loadSurf() {
    createEditWindow();
    loadInputImage();
    followScreenShape();
}

void MyEditControl::createEditWindow() {
    if (editWindow != nullptr) {
        return;
    }
    editWindow = CreateWindowExW(0, L"EDIT", nullptr, ES_AUTOHSCROLL, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, mainWindow,
                                 reinterpret_cast<HMENU>(tunables::editorControlId),
                                 GetModuleHandleW(nullptr), nullptr);
    if (editWindow == nullptr) {
        failInput(kInputFailure, L"MyEditControl CreateWindowEx");
    }
}

void MyEditControl::loadInputImage() {
    if (inputImage != nullptr) {
        return;
    }
    inputImage = loadImage(imagePaths[imageInput]);
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (inputImage != nullptr && SUCCEEDED(inputImage->GetSurfaceDesc(&desc))) {
        inputImageHeight = static_cast<int>(desc.dwHeight);
        inputTileWidth = static_cast<WORD>(desc.dwWidth * (1.0 / tunables::editTileCount));
    }
}

// A turn keeps the field's left inset, the one its caption has too, and its right margin: the
// field grows by what the screen gained in landscape and gives it back in portrait. A field laid
// out for the landscape width gives back what the screen lost when it turns.
void MyEditControl::followScreenShape() {
    if (!followsTurns_) {
        return;
    }
    const int cx = GetSystemMetrics(SM_CXSCREEN);
    const int cy = GetSystemMetrics(SM_CYSCREEN);
    if (cx > cy) {
        if (auxValue == 0 && right <= cy) {
            auxValue = cx - cy;
            right += auxValue;
        }
        return;
    }
    if (auxValue != 0) {
        right -= auxValue;
        auxValue = 0;
    } else if (right > cx) {
        right -= cy - cx;
    }
}

void MyEditControl::paint(IDirectDrawSurface* target, int originX, int originY) {
    const RECT place{left + originX, top + originY, right + originX, bottom + originY};
    // The whole field, whatever part of it this paint draws: taps and the slide read where the
    // field is. (Left as the part one paint drew, a neighbour's band, it took no tap beside it.)
    screenRect = place;
    const auto [visible, inField] =
        clipPlaceAndSource(place, RECT{0, 0, right - left, bottom - top}, dirtyRect);
    if (isEmpty(visible)) {
        return;
    }
    clipRect = inField;
    const LONG width = right - left;
    const LONG leftCapEnd = std::min<LONG>(tunables::editCapWidthPx, width);
    const LONG rightCapStart = std::max<LONG>(width - tunables::editCapWidthPx, leftCapEnd);
    const LONG tileLeft = visualState * inputTileWidth;
    if (inputImage != nullptr && visualState >= 0 && visualState < tunables::editTileCount) {
        const LONG plainColumn = tileLeft + tunables::editStretchColumn;
        if (plainColumn + 1 < tunables::editTileCount * inputTileWidth) {
            blitPiece(target, leftCapEnd, rightCapStart, plainColumn, true,
                      L"MyPictureBox Blt(input mdl);");
        }
        blitPiece(target, 0, leftCapEnd, tileLeft, false, L"MyPictureBox Blt(input ]);");
        blitPiece(target, rightCapStart, width, tileLeft + inputTileWidth - width, false,
                  L"MyPictureBox Blt(input ]);");
    }
    paintLabel(target, place.left, place.top);
}

// Copies the visible part of columns [fromX, toX) of the field: a cap takes image column
// (field column + sourceOffset); the middle stretches the tile's one plain column over its width.
void MyEditControl::blitPiece(IDirectDrawSurface* target, LONG fromX, LONG toX, LONG sourceOffset,
                              bool stretched, const wchar_t* failure) {
    const RECT piece = intersection(RECT{fromX, clipRect.top, toX, clipRect.bottom}, clipRect);
    if (isEmpty(piece)) {
        return;
    }
    RECT destination = translated(piece, screenRect.left, screenRect.top);
    RECT source = translated(piece, sourceOffset, 0);
    if (stretched) {
        source.left = sourceOffset;
        source.right = sourceOffset + 1;
    }
    const HRESULT hr = target->Blt(&destination, inputImage, &source, DDBLT_WAITNOTBUSY, nullptr);
    if (FAILED(hr)) {
        traceFailure(hr, failure);
    }
}

// The text stays inside the frame: a text wider than the field is cut at its right inset.
void MyEditControl::paintLabel(IDirectDrawSurface* target, LONG x, LONG y) {
    const RECT inside{x, y, x + (right - left) - scaled(tunables::editorSideInsetPx),
                      y + (bottom - top)};
    const RECT band = dirtyRect;
    dirtyRect = intersection(band, inside);
    if (!isEmpty(dirtyRect)) {
        label->paint(target, x, y, tunables::editTextColour, tunables::editTextKey);
    }
    dirtyRect = band;
}

Element* MyEditControl::hitTest(int x, int y) {
    const LONG clientTop = screenRect.top - clientRect.top;
    const RECT target{screenRect.left, clientTop, screenRect.right, clientTop + (bottom - top)};
    if (!strictlyInside(target, x, y)) {
        return nullptr;
    }
    selected = 1;
    if (visualState == 0) {
        visualState = 1;
        setMustRedraw();
    }
    return this;
}

int MyEditControl::onClick() {
    Element::onClick();
    if (visualState != 2) {
        visualState = 1;
    }
    takeInputOver();
    slidingIn = 1;
    MotionTracker::startMotionTimer();
    slideStartTime = GetTickCount();
    return 1;
}

// From now on the frame asks this field, not the section, how far to scroll.
void MyEditControl::takeInputOver() {
    MotionLockGuard lock;
    // A touch that began before the hand-over must not be taken for one on the new target.
    tracker->forgetTouch();
    Element* replaced = tracker->setScrollTarget(this);
    if (replaced != this) {
        previousTarget = replaced;
    }
}

// The touch under way is forgotten, unless it is the one that ended the edit: that one goes on
// to the previous target as if it had been its own from the start.
void MyEditControl::handInputBack(bool touchGoesOn) {
    MotionLockGuard lock;
    if (!touchGoesOn) {
        tracker->forgetTouch();
    }
    tracker->setScrollTarget(previousTarget);
}

int MyEditControl::onTimer() {
    MotionLockGuard lock;
    if (slidingIn == 1) {
        // The slide runs on the motion timer, which a press stops with any fling (a quick drag
        // during the slide flags one): every step sets it going again.
        MotionTracker::startMotionTimer();
        return slideStep();
    }
    if (!touchEndsEdit()) {
        return 0;
    }
    // The touch that ended the edit is an ordinary touch for the section: it finds what lies
    // under the finger, which gets the tap when the finger lifts.
    Element* section = previousTarget;
    const POINT at = tracker->curPoint;
    endEdit(true);
    if (auto* container = dynamic_cast<Section*>(section)) {
        container->pressAt(at.x, at.y);
    }
    return 0;
}

// One tick of the slide: up by a quarter of what the panel would cover plus one pixel (the
// rest at once after a while), or down towards the top margin; 0 once the field is in place,
// and the editor opens.
int MyEditControl::slideStep() {
    // The section whose rows hold the field slides, a column of a split screen too.
    Section* section = sectionHolding(this);
    if (section == nullptr) {
        section = dynamic_cast<Section*>(previousTarget);
    }
    const LONG panelTop = panelRect().top;
    int step = 0;
    if (section != nullptr && screenRect.bottom > panelTop) {
        const LONG covered = screenRect.bottom - panelTop;
        step = GetTickCount() - slideStartTime > tunables::slideRestAfterMs
                   ? static_cast<int>(-covered)
                   : static_cast<int>(-1 - covered / tunables::slideDivisor);
    } else if (section != nullptr && screenRect.top < tunables::editTopMarginPx) {
        step = (tunables::editTopMarginPx - screenRect.top) / tunables::slideDownDivisor + 1;
    } else {
        // In place (or nothing to slide): the editor opens where the field is.
        tracker->stopFling();
        slidingIn = 0;
        openEditor();
        return 0;
    }
    slideSection(*section, step);
    return step;
}

// Moves the section's content by the step and marks the rows the move uncovers.
void MyEditControl::slideSection(Section& section, int step) {
    section.scrollOffset += step;
    scrolledArea = section.view();
    if (step < 0) {
        dirtyRect.top = GetSystemMetrics(SM_CYSCREEN) + step;
        dirtyRect.bottom = GetSystemMetrics(SM_CYSCREEN);
    } else {
        dirtyRect.top = viewRect.top;
        dirtyRect.bottom = viewRect.top + step;
    }
    fullRedraw = 0;
}

// Whether the tracker saw a new touch on the frame's window since the last look: a finger
// down, a tap the section has not taken yet (left for it to deliver), or a double tap.
bool MyEditControl::touchEndsEdit() {
    const bool changed = tracker->takeChange();
    if (!changed && !tracker->flinging) {
        return false;
    }
    const bool newTap = !tracker->tapConsumed && tracker->tapPending;
    if (!tracker->tapCandidate && !newTap && !tracker->doubleTap) {
        return false;
    }
    const LONG y = tracker->curPoint.y + clientRect.top;
    return y < clientRect.bottom || (savedViewRect.top < y && y < savedViewRect.bottom);
}

void MyEditControl::openEditor() {
    frameHasFocus = 0;
    editorOpen = true;
    if (backBuffer != nullptr && primarySurface != nullptr) {
        const HRESULT hr =
            backBuffer->Blt(nullptr, primarySurface, nullptr, DDBLT_WAITNOTBUSY, nullptr);
        if (FAILED(hr)) {
            traceFailure(hr, L"MyEditControl Blt(backBuffer);");
        }
    }
    showInputPanel();
    RECT underPanel{viewRect.left, panelRect().bottom, viewRect.right, viewRect.bottom};
    if (!isEmpty(underPanel) && primarySurface != nullptr) {
        colourFill(primarySurface, &underPanel, tunables::screenFillBlack);
    }
    screenRect.bottom = screenRect.top + inputImageHeight;
    savedViewRect = viewRect;
    clientRect.bottom = viewRect.bottom;
    // Inside the frame, whose edges stay in sight around it.
    const int side = scaled(tunables::editorSideInsetPx);
    const int above = scaled(tunables::editorTopInsetPx);
    const int below = scaled(tunables::editorBottomInsetPx);
    MoveWindow(editWindow, screenRect.left + side, screenRect.top + above - clientRect.top,
               (right - left) - 2 * side, inputImageHeight - above - below, TRUE);
    SendMessageW(editWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(label->text.c_str()));
    ShowWindow(editWindow, SW_SHOW);
    UpdateWindow(editWindow);
    SetFocus(editWindow);
    SHFullScreen(mainWindow, tunables::fullScreenWithSipButton);
    showInputPanel();
    setPanelFlags(tunables::sipOnAndDocked);
}

void MyEditControl::unselect() {
    endEdit(false);
}

void MyEditControl::endEdit(bool touchGoesOn) {
    slidingIn = 0;
    const bool wasPressed = visualState == 1;
    if (wasPressed) {
        visualState = 0;
    }
    if (previousTarget != nullptr) {
        handInputBack(touchGoesOn);
        previousTarget = nullptr;
        hideInputPanel();
        // Only an editor opened for this field holds its text; a slide cut short leaves the
        // field's own text alone.
        if (std::exchange(editorOpen, false)) {
            std::array<wchar_t, tunables::editTextBufferChars> text{};
            GetWindowTextW(editWindow, text.data(), static_cast<int>(text.size()));
            label->setText(text.data(), true);
            PostMessageW(nullptr, WM_USER, widgetNotification, reinterpret_cast<LPARAM>(this));
        }
        ShowWindow(editWindow, SW_HIDE);
        InvalidateRect(mainWindow, nullptr, FALSE);
    }
    if (wasPressed) {
        setMustRedraw();
    }
}

void MyEditControl::hideInputPanel() {
    if (!SipShowIM(SIPF_OFF)) {
        failInput(kInputFailure, L"SipShowIM(SIPF_OFF)");
    }
    SHFullScreen(mainWindow, tunables::fullScreenFlags);
    setPanelFlags(0);
}

void MyEditControl::childResized(Element* child, int width, int height) {
    if (child == nullptr || child != label) {
        return;
    }
    if (width > right - left) {
        label->right = label->left + (right - left);
    }
    if (height > bottom - top) {
        label->bottom = label->top + (bottom - top);
    }
}

// A text set while the editor is open (a MAC address found for the host just typed) goes into
// the editor too: the editor's text is the one the end of the edit keeps.
void MyEditControl::setText(const std::wstring& text) {
    label->setText(text, true);
    if (editorOpen) {
        SendMessageW(editWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

std::wstring MyEditControl::getText() const {
    return label->text;
}

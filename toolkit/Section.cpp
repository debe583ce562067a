#include "Section.h"

#include "DisplayFrame.h"
#include "ImageLoader.h"
#include "MotionTracker.h"
#include "Rect.h"
#include "ResourceManager.h"
#include "TraceFailure.h"
#include "Tunables.h"

#include <algorithm>
#include <cwchar>
#include <optional>
#include <utility>

namespace {

int screenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}

int screenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}

// The header caption's font: the display's default font, made 12 points of the thin face.
HFONT createTitleFont() {
    IDirectDrawSurface* gdiSurface = nullptr;
    const HRESULT hr = theFrame != nullptr && theFrame->directDraw != nullptr
                           ? theFrame->directDraw->GetGDISurface(&gdiSurface)
                           : E_POINTER;
    if (FAILED(hr) || gdiSurface == nullptr) {
        traceFailure(hr, L"GetGDISurface(gdiSurface)");
        return nullptr;
    }
    HFONT font = nullptr;
    HDC dc = nullptr;
    if (SUCCEEDED(gdiSurface->GetDC(&dc))) {
        LOGFONTW description{};
        if (GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof description, &description) != 0) {
            description.lfHeight = -(GetDeviceCaps(dc, LOGPIXELSY) * tunables::sectionTitlePoints) /
                                   tunables::pointsPerInch;
            description.lfWeight = tunables::sectionTitleWeight;
            description.lfCharSet = tunables::sectionTitleCharSet;
            description.lfQuality = tunables::sectionTitleQuality;
            std::wmemset(description.lfFaceName, L'\0', LF_FACESIZE);
            std::wcsncpy(description.lfFaceName, thinFontFile, LF_FACESIZE - 1);
            font = CreateFontIndirectW(&description);
        }
        gdiSurface->ReleaseDC(dc);
    }
    gdiSurface->Release();
    return font;
}

// The motion timer may outlive what started it: a text field leaves it running when its edit
// ends, so that the touch that ended the edit is delivered. Once the finger is up and nothing
// moves, it is stopped, so that the idle program does not wake every 30 ms.
void stopTimerWhenIdle(const MotionTracker& tracker) {
    if (!tracker.buttonDown && !tracker.flinging) {
        MotionTracker::stopMotionTimer();
    }
}

} // namespace

Section::Section(int id, int x, int y, int width, const std::wstring& sectionTitle)
    : Element(id, x, y, kindSection, false), title(sectionTitle) {
    if (headerImage == nullptr) {
        loadSurf();
    }
    right = left + width;
    bottom = top + headerImageHeight;
    headerRect = screenRect = RECT{left, top, right, top + headerImageHeight};
    if (titleFont == nullptr) {
        titleFont = createTitleFont();
    }
    {
        MotionLockGuard lock;
        tracker->setScrollTargetIfNone(this);
    }
    viewRect.top = clientRect.top + headerImageHeight;
    fullRedraw = 1;
}

Section::~Section() {
    for (Element* child : children) {
        delete child;
    }
    if (headerPicture != nullptr) {
        headerPicture->Release();
    }
}

void Section::loadSurf() {
    if (backBuffer == nullptr) {
        const HRESULT hr = createDisplaySurface(static_cast<DWORD>(screenWidth()),
                                                static_cast<DWORD>(screenHeight()), 0, &backBuffer);
        if (FAILED(hr)) {
            backBuffer = nullptr;
            traceFailure(hr, L"Section::loadSurf 0");
        }
    }
    if (headerImage == nullptr) {
        loadHeaderImage();
    }
    scrollBar.create();
    // After a turn, a section as wide as the old screen becomes as wide as the new one. (A
    // column keeps its place: its screen lays the columns out.)
    if (!isColumn && right == screenHeight()) {
        right = headerRect.right = screenWidth();
    }
    viewRect.top = clientRect.top + headerImageHeight;
}

void Section::loadHeaderImage() {
    headerImage = loadImage(imagePaths[imageTitleBar]);
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (headerImage != nullptr && SUCCEEDED(headerImage->GetSurfaceDesc(&desc))) {
        headerImageWidth = static_cast<int>(desc.dwWidth);
        headerImageHeight = static_cast<int>(desc.dwHeight);
    }
}

void Section::add(Element* child, int /*minHeight*/, int index) {
    if (child == nullptr) {
        return;
    }
    bottom += child->bottom;
    child->parent = this;
    if (index < 0 || static_cast<size_t>(index) >= children.size()) {
        children.push_back(child);
    } else {
        children.insert(children.begin() + index, child);
    }
    if (theFrame != nullptr) {
        theFrame->redraw(false);
    }
}

void Section::childResized(Element* child, int /*width*/, int height) {
    if (child == nullptr) {
        return;
    }
    const int present = child->bottom - child->top;
    if (present < height) {
        bottom += height - present;
    }
}

Element* Section::hitTest(int x, int y) {
    // Content scrolled up under the header is covered by it; a touch there is the header's.
    if (y + clientRect.top < viewRect.top) {
        return nullptr;
    }
    return firstChildHit(children, x, y);
}

void Section::paint(IDirectDrawSurface* target, int originX, int /*originY*/) {
    paintRows(target, originX);
    paintFrameParts(target, *this);
}

void Section::paintRows(IDirectDrawSurface* target, int originX) {
    int rowTop = viewRect.top + scrollOffset;
    for (Element* child : children) {
        if (child != nullptr) {
            child->paint(target, originX + left, rowTop);
            rowTop += child->bottom;
        }
    }
}

void Section::paintFrameParts(IDirectDrawSurface* target, const Section& shown) {
    if (fullRedraw == 1) {
        dirtyRect.left = clientRect.left;
        dirtyRect.right = clientRect.right;
        fullRedraw = 0;
    }
    scrollBar.update(shown.scrollOffset, shown.bottom - shown.top - headerImageHeight);
    if (dirtyRect.top < clientRect.top + headerImageHeight && dirtyRect.bottom > dirtyRect.top) {
        paintHeader(target);
    }
}

RECT Section::view() const {
    if (!isColumn) {
        return viewRect;
    }
    return RECT{viewRect.left + left, viewRect.top, viewRect.left + right, viewRect.bottom};
}

void Section::pressAt(int x, int y) {
    pressedChild = hitTest(x, y);
}

Section* sectionHolding(const Element* element) {
    for (Element* above = element != nullptr ? element->parent : nullptr; above != nullptr;
         above = above->parent) {
        if (auto* section = dynamic_cast<Section*>(above)) {
            return section;
        }
    }
    return nullptr;
}

// The header (image, then caption) is composed once into a picture of its own and copied to the
// target from there; it is composed again when its size, image, font or title changed. Without
// that picture (no memory for it), it is composed in the back buffer at every paint.
void Section::paintHeader(IDirectDrawSurface* target) {
    const LONG headerTop = viewRect.top - headerImageHeight;
    screenRect = RECT{viewRect.left, headerTop, viewRect.right, headerTop + headerRect.bottom};
    headerSrcRect = RECT{0, 0, headerImageWidth, headerImageHeight};
    const RECT whole{0, 0, screenRect.right - screenRect.left, screenRect.bottom - screenRect.top};
    if (isEmpty(whole)) {
        return;
    }
    if (!headerPictureShows(whole)) {
        composeHeaderPicture(whole);
    }
    IDirectDrawSurface* canvas = headerPicture;
    RECT from = whole;
    if (canvas == nullptr) {
        canvas = backBuffer != nullptr ? backBuffer : target;
        from = screenRect;
        composeHeader(canvas, screenRect);
    }
    if (canvas != target) {
        const HRESULT hr = target->Blt(&screenRect, canvas, &from, 0, nullptr);
        if (FAILED(hr)) {
            traceFailure(hr, L"lpDDraw->Blt(backBuffer)");
        }
    }
}

bool Section::headerPictureShows(const RECT& whole) const {
    return headerPicture != nullptr && sameRect(headerPictureShown.area, whole) &&
           headerPictureShown.image == headerImage && headerPictureShown.font == titleFont &&
           headerPictureShown.title == title;
}

void Section::composeHeaderPicture(const RECT& whole) {
    if (headerPicture != nullptr && !sameRect(headerPictureShown.area, whole)) {
        headerPicture->Release();
        headerPicture = nullptr;
    }
    if (headerPicture == nullptr &&
        FAILED(createDisplaySurface(static_cast<DWORD>(whole.right),
                                    static_cast<DWORD>(whole.bottom), 0, &headerPicture))) {
        headerPicture = nullptr;
        return;
    }
    composeHeader(headerPicture, whole);
    headerPictureShown = {whole, headerImage, titleFont, title};
}

void Section::composeHeader(IDirectDrawSurface* canvas, const RECT& place) {
    if (headerImage != nullptr) {
        RECT to = place;
        const HRESULT hr = canvas->Blt(&to, headerImage, &headerSrcRect, 0, nullptr);
        if (FAILED(hr)) {
            traceFailure(hr, L"backBuffer->Blt(&bkgSurface)");
        }
    }
    drawCaption(canvas, place);
}

void Section::drawCaption(IDirectDrawSurface* canvas, const RECT& place) {
    HDC dc = nullptr;
    const HRESULT hr = canvas->GetDC(&dc);
    if (FAILED(hr)) {
        traceFailure(hr, L"Section::paint : GetDC(&hdc);");
        return;
    }
    HGDIOBJ previous = titleFont != nullptr ? SelectObject(dc, titleFont) : nullptr;
    SetTextColor(dc, tunables::sectionTitleColour);
    SetBkMode(dc, TRANSPARENT);
    RECT area = place;
    DrawTextW(dc, title.c_str(), -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (previous != nullptr) {
        SelectObject(dc, previous);
    }
    canvas->ReleaseDC(dc);
}

void Section::forgetPressedChild(bool unselectIt) {
    Element* child = std::exchange(pressedChild, nullptr);
    if (unselectIt && child != nullptr) {
        child->unselect();
    }
}

// Delivers a completed tap to the child it landed on; true when the child ends the step.
bool Section::deliverTap() {
    if (!tracker->takeTap()) {
        return false;
    }
    Element* child = std::exchange(pressedChild, nullptr);
    return child != nullptr && child->onClick() != 0;
}

int Section::onTimer() {
    MotionLockGuard lock;
    scrolledArea = view(); // what a step returned here moves
    if (tracker->doubleTap) {
        forgetPressedChild(true);
        // The second press may have pulled the content a little past an end (within the tap
        // slop): it must not stay there once the finger is up.
        if (!tracker->buttonDown) {
            if (const std::optional<int> delta = springBack(0)) {
                return *delta;
            }
        }
        stopTimerWhenIdle(*tracker);
        return 0;
    }
    const bool fingerDown = tracker->buttonDown;
    if (deliverTap()) {
        return 0;
    }
    if (tracker->tapCandidate) {
        if (pressedChild == nullptr) {
            pressedChild = hitTest(tracker->curPoint.x, tracker->curPoint.y);
        }
    } else {
        forgetPressedChild(true);
    }
    if (fullRedraw == 1) {
        return 0;
    }
    if (tracker->swipe && parent != nullptr) {
        parent->onClick();
        return 0;
    }
    const int step = tracker->nextScrollStep();
    if (!fingerDown) {
        if (const std::optional<int> delta = springBack(step)) {
            return *delta;
        }
    }
    scrollOffset += step;
    markUncoveredRows(step);
    if (step == 0) {
        stopTimerWhenIdle(*tracker);
    }
    return step;
}

int Section::lowestOffset() const {
    const int contentHeight = bottom - top;
    const int viewHeight = std::min<int>(contentHeight, viewRect.bottom - clientRect.top);
    return viewHeight - contentHeight;
}

void Section::unselect() {
    Element::unselect();
    MotionLockGuard lock;
    scrollOffset = std::clamp(scrollOffset, lowestOffset(), 0);
}

void Section::replaceChild(Element* child, Element* replacement) {
    MotionLockGuard lock;
    const auto place = std::find(children.begin(), children.end(), child);
    if (place == children.end() || replacement == nullptr) {
        return;
    }
    // The finger may rest on something inside the child: it must not be reached once gone.
    pressedChild = nullptr;
    *place = replacement;
    replacement->parent = this;
    bottom += replacement->bottom - child->bottom;
    delete child;
    scrollOffset = std::clamp(scrollOffset, lowestOffset(), 0);
    fullRedraw = 1;
    dirtyRect = RECT{viewRect.left, viewRect.top, viewRect.right, viewRect.bottom};
    if (theFrame != nullptr) {
        theFrame->redraw(true);
    }
}

void Section::letGoOfPressedChild() {
    MotionLockGuard lock;
    forgetPressedChild(true);
}

void Section::showTop() {
    MotionLockGuard lock;
    tracker->stopFling();
    scrollOffset = 0;
    fullRedraw = 1;
    dirtyRect = RECT{viewRect.left, viewRect.top, viewRect.right, viewRect.bottom};
    if (theFrame != nullptr) {
        theFrame->redraw(true);
    }
}

void Section::bringIntoSight(const Element* child) {
    MotionLockGuard lock;
    int rowTop = 0;
    const auto row = std::find(children.begin(), children.end(), child);
    if (row == children.end()) {
        return;
    }
    for (auto above = children.begin(); above != row; ++above) {
        rowTop += (*above)->bottom;
    }
    const int viewHeight = viewRect.bottom - viewRect.top;
    int offset = std::min(scrollOffset, viewHeight - (rowTop + child->bottom));
    offset = std::clamp(std::max(offset, -rowTop), lowestOffset(), 0);
    if (offset == scrollOffset) {
        return;
    }
    tracker->stopFling();
    scrollOffset = offset;
    fullRedraw = 1;
    dirtyRect = RECT{viewRect.left, viewRect.top, viewRect.right, viewRect.bottom};
    if (theFrame != nullptr) {
        theFrame->redraw(true);
    }
}

// With the finger up the content may not leave its bounds: a step that would is replaced by
// the one that lands exactly on the nearer bound, and a running fling ends there.
std::optional<int> Section::springBack(int step) {
    const int lowest = lowestOffset();
    int delta = 0;
    if (scrollOffset + step < lowest) {
        delta = lowest - scrollOffset;
        scrollOffset = lowest;
    } else if (scrollOffset + step >= 1) {
        delta = -scrollOffset;
        scrollOffset = 0;
    } else {
        return std::nullopt;
    }
    tracker->stopFling();
    if (delta > 0) {
        dirtyRect.top = viewRect.top;
        dirtyRect.bottom = std::max<LONG>(dirtyRect.bottom, viewRect.top + delta);
    } else if (delta < 0) {
        dirtyRect.bottom = screenHeight();
        dirtyRect.top = std::min<LONG>(dirtyRect.top, screenHeight() + delta);
    }
    return delta;
}

void Section::markUncoveredRows(int step) {
    if (step > 0) {
        dirtyRect.top = viewRect.top;
        dirtyRect.bottom = viewRect.top + step;
    } else if (step < 0) {
        dirtyRect.top = screenHeight() + step;
        dirtyRect.bottom = screenHeight();
    }
}

#include "Element.h"

#include "DisplayFrame.h"
#include "MotionTracker.h"
#include "Rect.h"
#include "ResourceManager.h"
#include "Tunables.h"

#include <algorithm>

namespace {

int scaled(int designPx) {
    return static_cast<int>(designPx * scaleFactor);
}

// The element's rectangle placed at its screenRect origin and cut to the visible screen.
RECT visibleRect(const Element& element) {
    const RECT& at = element.screenRect;
    const RECT placed{at.left, at.top, at.left + (element.right - element.left),
                      at.top + (element.bottom - element.top)};
    return intersection(placed, RECT{0, viewRect.top, GetSystemMetrics(SM_CXSCREEN),
                                     GetSystemMetrics(SM_CYSCREEN)});
}

} // namespace

Element::Element(int id, int x, int y, int kindCode, bool alreadyScaled)
    : elementId(id), kind(kindCode) {
    if (!alreadyScaled) {
        x = scaled(x);
        y = scaled(y);
    }
    left = right = x;
    top = bottom = y;
    tracker = sharedTracker(); // first: it makes motionLock usable
    // The registry is shared with the thread that asks a modal box, which builds its buttons.
    MotionLockGuard lock;
    allElements.push_back(this);
}

Element::~Element() {
    MotionLockGuard lock;
    // A destroyed element must not be asked for scroll steps.
    if (tracker != nullptr) {
        tracker->restoreScrollTarget(this, nullptr);
    }
    const auto it = std::find(allElements.begin(), allElements.end(), this);
    if (it != allElements.end()) {
        allElements.erase(it);
    }
}

void Element::setMustRedraw() {
    screenRect = visibleRect(*this);
    if (isEmpty(screenRect)) {
        return;
    }
    dirtyRect = screenRect;
    fullRedraw = 1;
    eraseRect(dirtyRect);
    if (theFrame != nullptr) {
        theFrame->redraw(false);
    }
}

int Element::onClick() {
    PostMessageW(nullptr, WM_USER, widgetTapped, reinterpret_cast<LPARAM>(this));
    return 0;
}

void Element::add(Element* /*child*/, int /*minHeight*/, int /*index*/) {
    MessageBoxW(nullptr,
                L"You try to add an element to another element witch can not contain other "
                L"component !",
                L"Error : Element.add virtual !", MB_ICONEXCLAMATION);
}

int Element::onTimer() {
    return 0;
}

void Element::unselect() {
    selected = 0;
}

void Element::childResized(Element* /*child*/, int width, int height) {
    right = left + width;
    bottom = top + height;
}

bool Element::touchLandsOn(int x, int y, LONG width) const {
    const LONG clientTop = screenRect.top - clientRect.top;
    const RECT target{
        screenRect.left - tunables::hitMarginSidePx, clientTop - tunables::hitMarginAbovePx,
        screenRect.left + width + tunables::hitMarginSidePx, clientTop + (bottom - top)};
    return strictlyInside(target, x, y);
}

Element* firstChildHit(const std::vector<Element*>& children, int x, int y) {
    for (Element* child : children) {
        if (child == nullptr) {
            continue;
        }
        if (Element* hit = child->hitTest(x, y)) {
            return hit;
        }
    }
    return nullptr;
}

Element* findElementById(int id) {
    MotionLockGuard lock;
    const auto it = std::find_if(allElements.begin(), allElements.end(),
                                 [id](const Element* e) { return e->elementId == id; });
    return it == allElements.end() ? nullptr : *it;
}

void redrawAllElements() {
    MotionLockGuard lock;
    // A redraw may not add or remove elements, but index access stays valid even if it did.
    for (size_t i = 0; i < allElements.size(); ++i) {
        allElements[i]->setMustRedraw();
    }
}

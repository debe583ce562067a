// The base of every widget the toolkit draws, the interface through which the toolkit reaches
// the application, and the registry of every live element.
#pragma once

#include "ToolkitState.h"

#include <ddraw.h>
#include <windows.h>

#include <vector>

class MotionTracker;

// Kind codes fixed by each widget class; stored only.
enum ElementKind : int {
    kindEditControl = 2,
    kindItem = 3,
    kindLabel = 4,
    kindPanel = 5,
    kindSection = 8,
};

class Element {
public:
    // x and y are in the 480-pixel design space unless alreadyScaled; they are multiplied by
    // scaleFactor and truncated toward zero.
    Element(int elementId, int x, int y, int kind, bool alreadyScaled);

    // The virtual operations, in slot order.
    virtual void loadSurf() = 0;  // (re)create the widget's surfaces
    virtual ~Element();           // leaves the registry
    virtual void setMustRedraw(); // erase the visible rectangle, mark it dirty, ask for a frame
    virtual void paint(IDirectDrawSurface* target, int originX, int originY) = 0;
    // x, y in window-client coordinates; returns the element hit or null.
    virtual Element* hitTest(int x, int y) = 0;
    virtual int onClick(); // posts the tap notification; returns 0
    // Containers take the child and their own layout arguments; other widgets refuse with a box.
    virtual void add(Element* child, int minHeight, int index);
    virtual int onTimer(); // scroll step; 0 here
    virtual void unselect();
    virtual void childResized(Element* child, int width, int height);

    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;

    int left = 0; // in the parent's coordinate space
    int top = 0;
    int right = 0;
    int bottom = 0;
    RECT screenRect{}; // where the element last was on the display (clipped to what is visible)
    BYTE selected = 0;
    MotionTracker* tracker = nullptr; // the shared tracker, not owned
    int elementId = -1;
    int auxValue = 0; // for the subclass's own use
    int kind = 0;
    Element* parent = nullptr; // not owned; set by the container's add

protected:
    // Whether a touch at (x, y), client coordinates, lands on the element's place on the screen
    // as its last paint left it (screenRect's left and top) with `width`, taking the margins a
    // finger needs: a few pixels at the sides and more above, where the finger hides the target.
    bool touchLandsOn(int x, int y, LONG width) const;
};

// The first answer of the children's hit tests, in their order; null children are skipped.
Element* firstChildHit(const std::vector<Element*>& children, int x, int y);

// Thread messages between the toolkit and the application: WM_USER posted without a window to
// the user-interface thread, wParam telling what it is.
enum ApplicationRequest : WPARAM {
    buildScreenRequest = 0, // build the screen and draw it the first time
    widgetTapped = 1,       // lParam: the tapped widget
    widgetNotification = 2, // lParam: the widget; a text field whose editing ended
    screenTurned = 3,       // the screen turned between portrait and landscape
    // Sets the message-box event. A message box also posts it to its own window when answered.
    messageBoxAnswered = 1280,
};

// The application side: widget notifications and the request to build the screen.
class EventHandler {
public:
    virtual void onEvent(Element* element, int code) = 0;
    virtual void buildScreen() = 0;

protected:
    ~EventHandler() = default;
};

// Every live element, in construction order; not owning. Changed and searched under motionLock
// (a modal box asked on another thread builds and deletes its buttons there).
inline std::vector<Element*>& allElements = toolkitState.allElements;

// The first element in construction order with this id, or null.
Element* findElementById(int id);
// setMustRedraw on every element, in registry order.
void redrawAllElements();

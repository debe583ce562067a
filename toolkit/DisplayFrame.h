// The toolkit's single display frame: the main window, the DirectDraw object and the primary
// surface, the list of screens, and the window procedure where touch input, the motion timer,
// focus, repaint requests and rotation arrive. Also the process-wide display state that every
// widget reads.
#pragma once

#include "MotionTracker.h"
#include "ToolkitState.h"

#include <ddraw.h>
#include <windows.h>

#include <string>
#include <vector>

class Element;
class MessageBoxSense;

class DisplayFrame {
public:
    // Opens the main window (class name and window name = title) with its primary surface.
    // Failures of DirectDraw set-up and of hiding the input panel end the process.
    DisplayFrame(HINSTANCE instance, const wchar_t* title);
    // Releases the primary surface and the DirectDraw object, deletes the screens. The window,
    // the tracker and the other surfaces stay.
    ~DisplayFrame();
    DisplayFrame(const DisplayFrame&) = delete;
    DisplayFrame& operator=(const DisplayFrame&) = delete;

    // Takes ownership of the root; screen 0 becomes (or stays) current.
    void addScreen(Element* root);
    // Erases dirtyRect first when eraseDirty; then the modal box or one frame step draws. Nothing
    // at all while there is neither a screen nor a box. Under motionLock: the thread that asked
    // a modal box redraws too.
    void redraw(bool eraseDirty);
    // One frame step: a full repaint of the current screen, or a scroll by the target's step.
    void UpdateFrame();

    static LRESULT CALLBACK staticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // The diagnostic text of a failed scroll move: "UpdateFrame <bottom>,<top>" of the band.
    static std::wstring scrollFailureContext(const RECT& band);

    IDirectDraw* directDraw = nullptr;
    IDirectDrawSurface* primary = nullptr;
    const wchar_t* title = nullptr;  // the caller's; valid during construction only
    MotionTracker* motion = nullptr; // the shared tracker, not owned
    // The message box shown over the screen, or none. It may be asked on another thread: read
    // and written under motionLock only.
    MessageBoxSense* modalBox = nullptr;
    std::vector<Element*> screens; // root of each screen, owned
    int currentScreen = -1;

private:
    bool createWindow(HINSTANCE instance);
    void createDirectDraw();
    void placeViewInClientArea(int screenHeight);
    bool createPrimarySurface();
    void showAndHideInputPanel();
    void onActivate(WPARAM wParam);
    void onSetFocus();
    void onTimer(WPARAM timerId);
    void paintUpdateRegion();
    void repaintRegion(HRGN region);
    void checkRotation();
    void rebuildDisplaySurfaces();
    void scrollBy(int step);
};

// --- Display state, members of toolkitState (ToolkitState.h) -----------------------------------
inline DisplayFrame*& theFrame = toolkitState.theFrame;
inline HWND& mainWindow = toolkitState.mainWindow;
inline HINSTANCE& appInstance = toolkitState.appInstance;
// The screen; target of all painting.
inline IDirectDrawSurface*& primarySurface = toolkitState.primarySurface;
// Off-screen, the screen's size.
inline IDirectDrawSurface*& backBuffer = toolkitState.backBuffer;
inline ScrollBar& scrollBar = toolkitState.scrollBar;
// The bar's overlay: 6 px wide, the screen's height.
inline IDirectDrawSurface*& scrollBarSurface = toolkitState.scrollBar.surface;
// Where the current screen is drawn.
inline RECT& viewRect = toolkitState.viewRect;
// The client area in screen coordinates; top converts client y.
inline RECT& clientRect = toolkitState.clientRect;
// The band being repainted; every element clips to it.
inline RECT& dirtyRect = toolkitState.dirtyRect;
// The part of the view that the scroll target's last step moves: the whole view, or the column
// of it whose section scrolled. Empty: the whole view.
inline RECT& scrolledArea = toolkitState.scrolledArea;
inline BYTE& drawingReady = toolkitState.drawingReady;
inline BYTE& portrait = toolkitState.portrait;
inline BYTE& frameHasFocus = toolkitState.frameHasFocus;
inline BYTE& fullRedraw = toolkitState.fullRedraw;
// motionLock (MotionTracker.h) guards the tracker and its scroll target.

// Colour-fills a rectangle of the primary surface with the background colour, waiting for the
// blitter. Returns the Blt result (callers ignore it or trace it).
HRESULT eraseRect(const RECT& rect);
// Colour-fills `rect` (null: the whole surface) with a raw pixel value, waiting for the blitter.
HRESULT colourFill(IDirectDrawSurface* surface, RECT* rect, DWORD colour);
// A surface of the display's format made by the frame's DirectDraw object: off-screen when caps
// is 0, else with those caps (DDSCAPS_OVERLAY ...). E_POINTER while there is no frame.
HRESULT createDisplaySurface(DWORD width, DWORD height, DWORD caps, IDirectDrawSurface** surface);

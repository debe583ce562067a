// The toolkit's own modal message box: a caption, a word-wrapped text and one or two buttons,
// drawn from the box image over a dimmed copy of the screen. showMessageBoxSense asks and waits
// for the answer in a message loop of its own on the calling thread, so a worker thread may ask
// while the user-interface thread keeps running: while the box is up the frame paints the box
// instead of the current screen, and the touches that reach the frame's window move its buttons.
//
// Threads: the box is painted by whichever thread calls the frame's redraw (the asking thread
// after each message its loop dispatches, the user-interface thread on touches and ticks).
// The box, its buttons, the frame's modalBox, the display rectangles it draws into and the
// tracker's flags are touched only under motionLock, and no window call that could wait for the
// other thread is made while it is held.
#pragma once

#include "MyItem.h"
#include "SharedResources.h"
#include "ToolkitState.h"

#include <ddraw.h>
#include <imaging.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

enum MessageBoxButtons : int {
    messageBoxOk = 1,         // "OK"
    messageBoxYesNo = 2,      // "Yes", "No"
    messageBoxOkCancel = 3,   // "OK", "Cancel"
    messageBoxRetryAbort = 4, // "Retry", "Abort"
};

// The box image and the translucent backdrop stretched over the screen behind it: loaded by the
// first box, shared by every later one (SharedResources.h).
inline IImage*& boxImage = sharedResources.boxImage;
inline IImage*& backdropImage = sharedResources.backdropImage;
inline int& boxImageWidth = sharedResources.boxImageWidth; // pixels
inline int& boxImageHeight = sharedResources.boxImageHeight;
// 0.01 mm per pixel of the box image, across and down: the Imaging API takes source rectangles
// in those units.
inline double& boxUnitsPerPixelX = sharedResources.boxUnitsPerPixelX;
inline double& boxUnitsPerPixelY = sharedResources.boxUnitsPerPixelY;
// The answer of the last box: 1 when its button with element id 1 was tapped, else 0.
inline int& boxResult = toolkitState.boxResult;

class MessageBoxSense final {
public:
    // Creates the box's window (a child of mainWindow, owned by the calling thread), its buttons,
    // and lays it out. A bad button set or a window that can't be created leave `window` null
    // and the box without buttons: such a box must not be shown.
    MessageBoxSense(const std::wstring& caption, const std::wstring& text, int buttons);
    // Hides and destroys the window; the buttons go with the box.
    ~MessageBoxSense();
    MessageBoxSense(const MessageBoxSense&) = delete;
    MessageBoxSense& operator=(const MessageBoxSense&) = delete;

    // Loads the shared images if needed and lays the box out again in the current view (after a
    // rotation); the next paint draws it whole.
    void loadSurf();
    // Draws the whole box when it was not drawn since the last layout or focus change, then
    // follows the finger on the buttons. Called by the frame's redraw while the box is shown.
    void paintBox(IDirectDrawSurface* target);
    // Where button `index` is painted, in screen pixels.
    RECT buttonPlace(size_t index) const;
    // The first failed image draw since the last call (S_OK if none). The asking thread reports
    // it, outside every lock: the report's message box may need the user-interface thread.
    HRESULT takeDrawFailure();

    static LRESULT CALLBACK boxStaticWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam);
    LRESULT boxWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    int left = 0; // the box, screen pixels
    int top = 0;
    int right = 0;
    int bottom = 0;
    BYTE painted = 0; // drawn whole since the last layout, focus change or rotation
    BYTE active = 0;  // 1 from construction until the question is answered or given up
    MyItem* pressedButton = nullptr; // the button under the finger, one of buttonItems
    int buttons = 0;                 // the button set, MessageBoxButtons
    int textHeight = 0;              // of the word-wrapped text, pixels
    std::wstring caption;
    std::wstring text;
    std::vector<std::unique_ptr<MyItem>> buttonItems; // element ids 1 and 2
    HWND window = nullptr;                            // the box's own child window
    bool answered = false; // a tap chose a button; later touches change nothing

private:
    void createButtons();
    void measureText();
    void layOut();
    void drawWhole(IDirectDrawSurface* target);
    void repaintScreenBeneath(const RECT& area);
    void drawBand(HDC dc, const RECT& destination, int firstRow, int endRow);
    void drawCaptionAndText(HDC dc);
    void paintButton(size_t index, IDirectDrawSurface* target);
    void followTouch(IDirectDrawSurface* target);
    void answer();
    void noteDrawFailure(HRESULT hr);
    // Forgets the drawing and has the frame draw the box again, if it is the one shown.
    void redrawWhole();
    RECT textArea() const;

    bool insidePaint_ = false;   // a button's own redraw request comes back into paintBox
    HRESULT drawFailure_ = S_OK; // under motionLock
};

// Shows the box and waits, in a message loop on the calling thread, until a button is tapped:
// 1 for the button with element id 1 ("OK", "Yes", "Retry"), 0 for the other one. WM_QUIT ends
// the wait too and gives the previous answer. WM_CLOSE for mainWindow ends it with 0. Other
// WM_USER messages and that WM_CLOSE are held, and posted again in their order once the box is
// gone, for the caller's loop to handle. Afterwards the screen is repainted. A bad button set, no
// display frame, or a window that can't be created: nothing is shown and 0 comes back at once. Safe
// to unwind (TerminateThread of the asking thread): the frame no longer shows the box and the
// screen is asked back.
int showMessageBoxSense(const std::wstring& caption, const std::wstring& text, int buttons);

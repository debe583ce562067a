// The thin scroll bar at the right edge of the screen. It lives in a DirectDraw overlay, so that
// it lies above the screen's pixels without being part of them: scrolling moves the pixels and
// leaves the bar alone. There is one for the display. The screen's section places it after each
// paint; the frame hides it when its window loses the activation and makes it anew when the
// screen turns; a message box hides it while it is up.
#pragma once

#include <ddraw.h>
#include <windows.h>

class ScrollBar {
public:
    // Creates the overlay when it is missing: 6 pixels wide, as tall as the screen, filled with
    // the bar's colour. Without a display the toolkit works without a bar.
    void create();
    // Releases the overlay (a turned screen needs a new one). It is not hidden first.
    void release();
    // Shows the bar where it tells which part of `contentHeight` pixels of content the view
    // shows at `scrollOffset` (0 at the top, negative further down), or hides it when everything
    // fits. Nothing is shown while the window is inactive or a message box is up: the overlay
    // would lie above them. Nothing at all happens without the overlay.
    void update(int scrollOffset, int contentHeight);
    // Hides the bar if it is shown. The next update shows it again.
    void hide();

    IDirectDrawSurface* surface = nullptr; // the overlay, owned
    BYTE shown = 0;                        // the overlay is believed to be visible
    bool windowInactive = false;           // the frame's window lost the activation
    RECT place{};                          // where the bar was last shown; empty: not placed
};

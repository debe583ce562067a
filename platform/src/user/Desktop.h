// What the device asks of the window manager: input routing, rotation, the main window for the
// backend's title and close button, and starting afresh.
#pragma once

#include "platform/Device.h"
#include "winuser.h"

#include <string>

namespace platform::user {

// The area below the task bar, where top-level windows go by default.
RECT workArea();

// Forgets every window, queue, timer and class of the program (system classes stay). Threads
// still waiting in GetMessageW get WM_QUIT.
void resetWindowManager();

// Pointer input in screen coordinates: to the capture window, else to the window under the
// point; a press captures until the release. Returns whether a window took it.
bool routePointer(PointerAction action, int x, int y);
// Whether a visible window lies under the screen point.
bool windowAt(int x, int y);
// Keys and characters go to the focus window (else the foreground window).
void routeKey(UINT virtualKey, bool down);
void routeCharacter(wchar_t c);

// After the screen turned: top-level windows that filled the old work area (or screen) now fill
// the new one, and every top-level window gets WM_WINDOWPOSCHANGED.
void screenRotated(int oldWidth, int oldHeight);

// The window that stands for the program: the foreground window, else the first top-level one.
HWND mainWindow();
std::wstring mainWindowTitle(); // empty without a window

} // namespace platform::user

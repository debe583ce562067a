// The program's single message loop and its native message boxes.
#pragma once

#include <windows.h>

// Thread messages of the toolkit-application protocol: WM_USER posted without a window to the
// user-interface thread, wParam telling what it is.
inline constexpr WPARAM buildScreenRequest = 0; // build the screen and draw it the first time
inline constexpr WPARAM widgetTapped = 1;       // lParam: the tapped widget
inline constexpr WPARAM widgetNotification = 2; // lParam: the widget; nothing posts it here
inline constexpr WPARAM wakeMessageBox = 1280;  // set the message-box event

// Runs until WM_QUIT, or WM_CLOSE for any window, is taken from the queue.
void runMessageLoop();

// A native box owned by the main window (none before it exists) with the exclamation icon and
// an OK button. A fatal message ends the process with the fatal exit status once the box is
// answered, without tearing anything down.
void showMessage(const wchar_t* text, const wchar_t* caption, bool fatal);

// The program's single message loop and its native message boxes.
#pragma once

#include <windows.h>

// Runs until WM_QUIT, or WM_CLOSE for any window, is taken from the queue.
void runMessageLoop();

// A native box owned by the main window (none before it exists) with the exclamation icon and
// an OK button. A fatal message ends the process with the fatal exit status once the box is
// answered, without tearing anything down.
void showMessage(const wchar_t* text, const wchar_t* caption, bool fatal);

// The shell service inside the platform: its state, the native EDIT class, and what tests need.
#pragma once

#include "shell/OnScreenKeyboard.h"

namespace platform::shell {

// Registers the native "EDIT" window class with the window manager (once per process; later
// calls do nothing). Done when the program starts, before its first CreateWindowExW.
void registerEditClass();
// Drops the state of every EDIT window (their device is gone).
void forgetEditFields();

// Forgets the input panel's and the shell's state: panel off and docked, task bar shown. Tests
// call it after starting a device.
void resetShell();

// The input panel's keyboard (tests tap its keys).
OnScreenKeyboard& keyboard();

} // namespace platform::shell

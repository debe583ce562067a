// The device's millisecond clock behind GetTickCount. It runs on the host's monotonic clock;
// tests switch it to a manual clock that only moves when they advance it.
#pragma once

#include "wintypes.h"

namespace platform::clock {

DWORD now();

// Switches to the manual clock, starting at `start` milliseconds.
void useManual(DWORD start = 0);
// Back to the host's monotonic clock.
void useSystem();
bool isManual();
// Manual clock only: moves time on and wakes every thread waiting in the platform, so that
// timers and timed waits see the new time.
void advance(DWORD ms);

} // namespace platform::clock

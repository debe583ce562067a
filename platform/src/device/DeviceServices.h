// Services of the platform that keep state for one device (the input panel, the EDIT fields)
// register a reset here. The device runs every reset when it starts and again when it stops, so
// a new device (a new test) never sees what the last one left.
#pragma once

namespace platform {

void registerDeviceReset(void (*reset)());
void runDeviceResets();

} // namespace platform

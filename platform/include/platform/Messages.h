// Test hooks of the message queue. The program itself never includes this header.
#pragma once

namespace platform {

// Dispatches everything pending for the calling thread without blocking: sent messages, posted
// and input messages (through TranslateMessage and DispatchMessageW), paints and due timers.
// A pending WM_QUIT stays pending. Returns the number of messages dispatched.
int pumpMessages();

// The next GetMessageW, on any thread, fails and returns -1 (the program's fatal path).
void failNextGetMessage();

} // namespace platform

// The toolkit's one-line text field. Typing happens in one native EDIT window for the whole
// process, laid over the field while it is edited; the message loop watches it for
// tap-and-hold.
#pragma once

#include <windows.h>

// The native editor shared by every field; null until the first field needs it.
extern HWND editWindow;

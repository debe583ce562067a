// Window classes that the platform itself provides (the native EDIT control). They belong to no
// program: the device keeps them from one start to the next. CreateWindowExW finds them like the
// program's own classes (a program class of the same name comes first).
#pragma once

#include "winuser.h"

namespace platform::user {

// Registers a platform class once; a second call with the same name returns 0 and changes
// nothing, so a service may call it every time it starts.
ATOM registerSystemClass(const WNDCLASSW& windowClass);

} // namespace platform::user

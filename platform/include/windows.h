// The Windows CE API as the program sees it: kernel, registry, window manager and GDI.
#pragma once

#include "wintypes.h"
#include "winbase.h"
#include "winreg.h"
#include "winuser.h"
#include "wingdi.h"

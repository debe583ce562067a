#include "MyEditControl.h"

HWND editWindow = nullptr;

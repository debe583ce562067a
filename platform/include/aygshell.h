// The Windows Mobile shell: full-screen windows, the tap-and-hold gesture and the input panel.
#pragma once

#include "sipapi.h"
#include "wintypes.h"

// SHFullScreen states.
#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
#define SHFS_SHOWSTARTICON 0x0010
#define SHFS_HIDESTARTICON 0x0020

// Shows or hides the task bar, the input panel's button and the start icon.
BOOL SHFullScreen(HWND hwndRequester, DWORD dwState);

struct SHRGINFO {
    DWORD cbSize; // sizeof(SHRGINFO)
    HWND hwndClient;
    POINT ptDown;
    DWORD dwFlags;
};
using PSHRGINFO = SHRGINFO*;

#define SHRG_RETURNCMD 0x00000001
#define SHRG_NOTIFYPARENT 0x00000002
#define SHRG_LONGDELAY 0x00000008

#define GN_CONTEXTMENU 1000

// Called on a stylus press: follows the stylus until it lifts or moves away (0), or stays down
// long enough for a tap-and-hold (GN_CONTEXTMENU).
DWORD SHRecognizeGesture(SHRGINFO* shrg);

// SPI_GETSIPINFO / SPI_SETSIPINFO with a SIPINFO in pvParam: reads or sets the panel's state.
BOOL SHSipInfo(UINT uiAction, UINT uiParam, PVOID pvParam, UINT fWinIni);

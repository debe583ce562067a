// The software input panel: an on-screen keyboard docked at the bottom of the screen.
#pragma once

#include "wintypes.h"

#define SIPF_OFF 0x00000000
#define SIPF_ON 0x00000001
#define SIPF_DOCKED 0x00000002
#define SIPF_LOCKED 0x00000004

// Actions of SHSipInfo (and of SystemParametersInfo on the platform).
#ifndef SPI_SETSIPINFO
#define SPI_SETSIPINFO 224
#endif
#ifndef SPI_GETSIPINFO
#define SPI_GETSIPINFO 225
#endif

struct SIPINFO {
    DWORD cbSize; // sizeof(SIPINFO)
    DWORD fdwFlags;
    RECT rcVisibleDesktop; // the screen above the panel, below the task bar
    RECT rcSipRect;        // where the panel is (or appears when shown)
    DWORD dwImDataSize;
    void* pvImData;
};
using PSIPINFO = SIPINFO*;

// Shows (SIPF_ON) or hides (SIPF_OFF) the panel.
BOOL SipShowIM(DWORD dwFlag);
// Fills the panel's state; FALSE if pSipInfo is null or its cbSize is not sizeof(SIPINFO).
BOOL SipGetInfo(SIPINFO* pSipInfo);

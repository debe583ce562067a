// Connection Manager: the destinations the device can reach and bringing a connection up.
#pragma once

#include "connmgr_status.h"
#include "wintypes.h"

// The Internet destination network.
inline constexpr GUID IID_DestNetInternet = {
    0x436ef144, 0xb4fb, 0x4863, {0xa0, 0x41, 0x8f, 0x90, 0x5a, 0x62, 0xc5, 0x72}};

// Which members of CONNMGR_CONNECTIONINFO are given (its dwParams).
#define CONNMGR_PARAM_GUIDDESTNET 0x1

#define CONNMGR_PRIORITY_USERINTERACTIVE 0x08000

struct CONNMGR_CONNECTIONINFO {
    DWORD cbSize; // sizeof(CONNMGR_CONNECTIONINFO)
    DWORD dwParams;
    DWORD dwFlags;
    DWORD dwPriority;
    BOOL bExclusive;
    BOOL bDisabled;
    GUID guidDestNet;
    HWND hWnd;
    UINT uMsg;
    LPARAM lParam;
    ULONG ulMaxCost;
    ULONG ulMinRcvBw;
    ULONG ulMaxConnLatency;
};

// Asks for a connection to pConnInfo->guidDestNet and waits up to dwTimeout milliseconds for it
// to be connected. S_OK with a connection handle (held until the process ends) once connected;
// otherwise an error: E_FAIL when the connection can't be made, HRESULT_FROM_WIN32(ERROR_TIMEOUT)
// when the time ran out. *pdwStatus (if given) receives the final status.
HRESULT ConnMgrEstablishConnectionSync(CONNMGR_CONNECTIONINFO* pConnInfo, HANDLE* phConnection,
                                       DWORD dwTimeout, DWORD* pdwStatus);

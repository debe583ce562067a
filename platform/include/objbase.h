// COM as the program uses it: IUnknown, library start, object creation and task memory.
// Interfaces are C++ abstract classes whose virtual methods follow the platform's method order.
#pragma once

#include "wintypes.h"

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)

#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110L)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154L)

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    // Objects end through Release, never through delete on an interface pointer.
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object);
LPVOID CoTaskMemAlloc(SIZE_T bytes);
void CoTaskMemFree(LPVOID memory);

// COM as far as the program needs it: the library start per thread, the one in-process class
// (the Imaging factory) and task memory.
#include "imaging.h"
#include "objbase.h"

#include <cstdlib>

namespace platform::imaging {
IImagingFactory* createImagingFactory();
}

namespace {
thread_local int initialisations = 0; // CoInitializeEx calls not yet balanced on this thread
}

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) {
    if (reserved != nullptr ||
        (coInit != COINIT_MULTITHREADED && coInit != COINIT_APARTMENTTHREADED)) {
        return E_INVALIDARG;
    }
    return initialisations++ == 0 ? S_OK : S_FALSE;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    if (!(clsid == CLSID_ImagingFactory) || (context & CLSCTX_INPROC_SERVER) == 0) {
        return REGDB_E_CLASSNOTREG;
    }
    IImagingFactory* factory = platform::imaging::createImagingFactory();
    if (factory == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

LPVOID CoTaskMemAlloc(SIZE_T bytes) {
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void CoTaskMemFree(LPVOID memory) {
    std::free(memory);
}

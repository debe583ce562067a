// The common base of every GDI object that a handle stands for: regions (window manager), fonts
// and brushes (GDI). DeleteObject, which lives with the window manager, deletes any of them
// through the virtual destructor, so each service only derives from this class.
//
// A handle is the object's GdiObject address. Make one with handleAs<HFONT>() (or handle()),
// and turn a handle back with fromHandle / fromHandleAs<T>, which give nullptr for a handle that
// is not (or no longer) a live object, so a stale or foreign handle is refused rather than used.
#pragma once

#include "wintypes.h"

namespace platform {

class GdiObject {
public:
    GdiObject();
    virtual ~GdiObject();
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    // Stock objects (GetStockObject) survive DeleteObject, which still answers TRUE.
    virtual bool isStock() const { return false; }

    HGDIOBJ handle() { return static_cast<void*>(this); }
    template <class Handle>
    Handle handleAs() {
        return reinterpret_cast<Handle>(handle());
    }

    // The live object behind `handle` (any handle type), or nullptr.
    static GdiObject* fromHandle(const void* handle);
    template <class T>
    static T* fromHandleAs(const void* handle) {
        return dynamic_cast<T*>(fromHandle(handle));
    }
};

// DeleteObject's work: deletes a live, non-stock object. False for an unknown handle.
bool deleteGdiObject(HGDIOBJ handle);

} // namespace platform

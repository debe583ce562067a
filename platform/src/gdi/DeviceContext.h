// A device context: where GDI draws (a surface, the screen or a buffer) and the drawing state
// that SelectObject, SetTextColor and SetBkMode change. A context is used by one
// thread at a time; its target guards the pixels against the other threads.
#pragma once

#include "ddraw/PixelView.h"
#include "wintypes.h"

#include <functional>
#include <memory>

namespace platform::gdi {

class DrawTarget {
public:
    virtual ~DrawTarget() = default;
    // Runs `draw` on the pixels while holding the target's lock. False when the target has no
    // pixels now (a surface whose device is gone).
    virtual bool withPixels(const std::function<void(const gfx::PixelView&)>& draw) = 0;
    // Tells the target what was drawn (the screen then presents it). Called without the lock.
    virtual void changed(const RECT& area) { (void)area; }
};

class DeviceContext {
public:
    explicit DeviceContext(std::unique_ptr<DrawTarget> target);
    ~DeviceContext();
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    HDC handle() { return reinterpret_cast<HDC>(this); }
    // The live context behind `dc`, or nullptr for a stale or foreign handle.
    static DeviceContext* fromHandle(HDC dc);

    DrawTarget& target() { return *target_; }
    // Draws through `draw`, which returns the area it changed; the target is told afterwards.
    bool paint(const std::function<RECT(const gfx::PixelView&)>& draw);

    HGDIOBJ font() const { return font_; }
    HGDIOBJ brush() const { return brush_; }
    HGDIOBJ selectFont(HGDIOBJ font);
    HGDIOBJ selectBrush(HGDIOBJ brush);

    COLORREF textColour = 0x000000;
    COLORREF backgroundColour = 0xFFFFFF;
    int backgroundMode = 2; // OPAQUE

private:
    std::unique_ptr<DrawTarget> target_;
    HGDIOBJ font_;
    HGDIOBJ brush_;
};

} // namespace platform::gdi

// GDI's stock objects: brushes and the system font. They are made on first use and never
// deleted (DeleteObject leaves them alone).
#pragma once

#include "user/GdiObject.h"
#include "wintypes.h"

namespace platform::gdi {

class Brush : public GdiObject {
public:
    Brush(COLORREF colour, bool hollow, bool stock)
        : colour_(colour), hollow_(hollow), stock_(stock) {}
    COLORREF colour() const { return colour_; }
    bool hollow() const { return hollow_; } // NULL_BRUSH paints nothing
    bool isStock() const override { return stock_; }

private:
    COLORREF colour_;
    bool hollow_;
    bool stock_;
};

// The stock object `which` (WHITE_BRUSH ... SYSTEM_FONT), or nullptr for an unknown index.
HGDIOBJ stockObject(int which);

} // namespace platform::gdi

// The DirectDraw blitter on RGB565 views: colour fill and copies with source colour key and
// nearest-neighbour stretching. Rectangles are already checked against their views.
#pragma once

#include "ddraw/PixelView.h"

#include <optional>

namespace platform::gfx {

// A source colour key: pixels inside [low, high] (both inclusive) are not copied.
struct ColourKey {
    DWORD low;
    DWORD high;
    bool excludes(std::uint16_t pixel) const { return pixel >= low && pixel <= high; }
};

void fillRect(const PixelView& dest, const RECT& rect, std::uint16_t colour);

// Copies `srcRect` of `source` onto `dstRect` of `dest`. Different sizes stretch by nearest
// neighbour, stepping through the source in 16.16 fixed point. `dest` and `source` may be the
// same view with overlapping rectangles (scrolling).
void copyRect(const PixelView& dest, const RECT& dstRect, const PixelView& source,
              const RECT& srcRect, std::optional<ColourKey> key);

} // namespace platform::gfx

// Shapes on an RGB565 pixel buffer for the shell's own drawing (keys, the edit field): filled
// rectangles, rounded rectangles with smoothed corners, frames.
#pragma once

#include "wintypes.h"

#include <cstdint>

namespace platform::shell {

struct Colour {
    std::uint8_t r, g, b;
};

constexpr std::uint16_t toRgb565(Colour c) {
    return static_cast<std::uint16_t>(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
}

class Canvas {
public:
    Canvas(std::uint16_t* pixels, int width, int height, int pitch)
        : pixels_(pixels), width_(width), height_(height), pitch_(pitch) {}

    void fill(const RECT& area, Colour colour);
    // Corners of `radius` pixels, their edge pixels blended by coverage.
    void fillRoundRect(const RECT& area, int radius, Colour colour);
    void frame(const RECT& area, int thickness, Colour colour);

private:
    // Mixes `colour` into the pixel with `alpha` in 0..255.
    void blend(int x, int y, Colour colour, int alpha);
    RECT clipped(const RECT& area) const;

    std::uint16_t* pixels_;
    int width_;
    int height_;
    int pitch_;
};

} // namespace platform::shell

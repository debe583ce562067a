// An RGBA picture in floating point, kept premultiplied so that layers composite exactly.
#pragma once

#include "Colour.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace imagegen {

class Canvas {
public:
    Canvas(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }

    // Straight colour of a pixel; outside the canvas it is transparent.
    Rgba pixel(int x, int y) const;
    // Lays a colour over the pixel ("source over"), its alpha scaled by the coverage.
    void blend(int x, int y, Rgba colour, float coverage);
    // Lays another canvas over this one with its top-left corner at (x, y).
    void draw(const Canvas& layer, int x, int y, float opacity = 1.0f);
    // Replaces every pixel's straight colour by what the function makes of it.
    void transform(const std::function<Rgba(Rgba)>& change);

    // Straight RGBA, 8 bits a channel, rows top to bottom without padding; fully transparent
    // pixels get the colour of transparentFill.
    std::vector<std::uint8_t> toRgba8(Rgba transparentFill) const;

private:
    struct Premultiplied {
        float r = 0, g = 0, b = 0, a = 0;
    };
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    void compose(int x, int y, Premultiplied top);

    int width_;
    int height_;
    std::vector<Premultiplied> pixels_;
};

} // namespace imagegen

// Decoded pixels as the Imaging objects keep them: 8-bit red, green, blue and alpha (not
// premultiplied), row after row, with the resolution the file gave.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::imaging {

struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba; // width x height x 4
    double xdpi = 96.0;
    double ydpi = 96.0;
    bool realDpi = false; // the resolution came from the file

    RgbaImage() = default;
    RgbaImage(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w) * h * 4, 0) {}
    std::uint8_t* pixel(int x, int y) {
        return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    }
    const std::uint8_t* pixel(int x, int y) const {
        return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    }
};

// The largest image the loaders accept (pixels), so that a damaged header cannot ask for
// gigabytes.
inline constexpr std::size_t largestImagePixels = std::size_t{4096} * 4096;

} // namespace platform::imaging

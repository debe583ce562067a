// A view of RGB565 pixels that some lock guards (a surface, the device screen, a buffer), and the
// colour arithmetic that the blitter, text drawing and image drawing share.
#pragma once

#include "wintypes.h"

#include <cstddef>
#include <cstdint>

namespace platform::gfx {

struct PixelView {
    std::uint16_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int pitch = 0; // pixels per row

    std::uint16_t* row(int y) const { return pixels + static_cast<std::ptrdiff_t>(y) * pitch; }
    RECT bounds() const { return {0, 0, width, height}; }
};

inline bool isEmpty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

inline RECT intersect(const RECT& a, const RECT& b) {
    RECT r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
           a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
    if (isEmpty(r)) {
        return {0, 0, 0, 0};
    }
    return r;
}

inline RECT unite(const RECT& a, const RECT& b) {
    if (isEmpty(a)) {
        return b;
    }
    if (isEmpty(b)) {
        return a;
    }
    return {a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
            a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom};
}

struct Rgb8 {
    int r, g, b;
};

inline Rgb8 fromColorRef(COLORREF c) {
    return {static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
            static_cast<int>((c >> 16) & 0xFF)};
}

// 5 and 6 bit channels widened by repeating their high bits, so that 0x1F becomes 0xFF.
inline Rgb8 unpack565(std::uint16_t p) {
    int r5 = p >> 11;
    int g6 = (p >> 5) & 0x3F;
    int b5 = p & 0x1F;
    return {(r5 << 3) | (r5 >> 2), (g6 << 2) | (g6 >> 4), (b5 << 3) | (b5 >> 2)};
}

inline std::uint16_t pack565(int r, int g, int b) {
    return static_cast<std::uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

inline std::uint16_t pack565(const Rgb8& c) {
    return pack565(c.r, c.g, c.b);
}

// `colour` with coverage or opacity `alpha` (0..255) over the pixel `dst`, rounded per channel.
inline std::uint16_t blend565(std::uint16_t dst, const Rgb8& colour, int alpha) {
    if (alpha >= 255) {
        return pack565(colour);
    }
    if (alpha <= 0) {
        return dst;
    }
    Rgb8 d = unpack565(dst);
    int rest = 255 - alpha;
    return pack565((colour.r * alpha + d.r * rest + 127) / 255,
                   (colour.g * alpha + d.g * rest + 127) / 255,
                   (colour.b * alpha + d.b * rest + 127) / 255);
}

} // namespace platform::gfx

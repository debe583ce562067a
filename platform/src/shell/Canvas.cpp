#include "shell/Canvas.h"

#include <algorithm>
#include <cmath>

namespace platform::shell {

// The part of `area` on the canvas; empty (never reversed) for an area wholly off it.
RECT Canvas::clipped(const RECT& area) const {
    const LONG left = std::max<LONG>(area.left, 0);
    const LONG top = std::max<LONG>(area.top, 0);
    return {left, top, std::max(left, std::min<LONG>(area.right, width_)),
            std::max(top, std::min<LONG>(area.bottom, height_))};
}

void Canvas::fill(const RECT& area, Colour colour) {
    const RECT r = clipped(area);
    const std::uint16_t pixel = toRgb565(colour);
    for (int y = r.top; y < r.bottom; ++y)
        std::fill(pixels_ + y * pitch_ + r.left, pixels_ + y * pitch_ + r.right, pixel);
}

void Canvas::blend(int x, int y, Colour colour, int alpha) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || alpha <= 0)
        return;
    std::uint16_t& pixel = pixels_[y * pitch_ + x];
    if (alpha >= 255) {
        pixel = toRgb565(colour);
        return;
    }
    const int r = ((pixel >> 11) & 0x1f) * 255 / 31;
    const int g = ((pixel >> 5) & 0x3f) * 255 / 63;
    const int b = (pixel & 0x1f) * 255 / 31;
    auto mix = [alpha](int under, int over) {
        return static_cast<std::uint8_t>((over * alpha + under * (255 - alpha) + 127) / 255);
    };
    pixel = toRgb565({mix(r, colour.r), mix(g, colour.g), mix(b, colour.b)});
}

void Canvas::fillRoundRect(const RECT& area, int radius, Colour colour) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    radius = std::clamp(radius, 0, std::min(width, height) / 2);
    if (radius == 0) {
        fill(area, colour);
        return;
    }
    fill({area.left + radius, area.top, area.right - radius, area.bottom}, colour);
    fill({area.left, area.top + radius, area.left + radius, area.bottom - radius}, colour);
    fill({area.right - radius, area.top + radius, area.right, area.bottom - radius}, colour);
    // The four corners: coverage of each pixel by the circle around the corner's centre.
    for (int dy = 0; dy < radius; ++dy) {
        for (int dx = 0; dx < radius; ++dx) {
            const double px = dx + 0.5;
            const double py = dy + 0.5;
            const double distance = std::hypot(radius - px, radius - py);
            const double coverage = std::clamp(radius - distance + 0.5, 0.0, 1.0);
            const int alpha = static_cast<int>(coverage * 255 + 0.5);
            blend(area.left + dx, area.top + dy, colour, alpha);
            blend(area.right - 1 - dx, area.top + dy, colour, alpha);
            blend(area.left + dx, area.bottom - 1 - dy, colour, alpha);
            blend(area.right - 1 - dx, area.bottom - 1 - dy, colour, alpha);
        }
    }
}

void Canvas::frame(const RECT& area, int thickness, Colour colour) {
    fill({area.left, area.top, area.right, area.top + thickness}, colour);
    fill({area.left, area.bottom - thickness, area.right, area.bottom}, colour);
    fill({area.left, area.top, area.left + thickness, area.bottom}, colour);
    fill({area.right - thickness, area.top, area.right, area.bottom}, colour);
}

} // namespace platform::shell

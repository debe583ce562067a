#include "Canvas.h"

#include <cmath>

namespace imagegen {

namespace {

std::uint8_t toByte(float value) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

} // namespace

Canvas::Canvas(int width, int height)
    : width_(width), height_(height),
      pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {}

Rgba Canvas::pixel(int x, int y) const {
    if (!contains(x, y)) {
        return {};
    }
    const Premultiplied& p = pixels_[static_cast<std::size_t>(y) * width_ + x];
    if (p.a <= 0.0f) {
        return {};
    }
    return {p.r / p.a, p.g / p.a, p.b / p.a, p.a};
}

void Canvas::compose(int x, int y, Premultiplied top) {
    Premultiplied& p = pixels_[static_cast<std::size_t>(y) * width_ + x];
    const float keep = 1.0f - top.a;
    p = {top.r + p.r * keep, top.g + p.g * keep, top.b + p.b * keep, top.a + p.a * keep};
}

void Canvas::blend(int x, int y, Rgba colour, float coverage) {
    const float alpha = colour.a * std::clamp(coverage, 0.0f, 1.0f);
    if (!contains(x, y) || alpha <= 0.0f) {
        return;
    }
    compose(x, y, {colour.r * alpha, colour.g * alpha, colour.b * alpha, alpha});
}

void Canvas::draw(const Canvas& layer, int x, int y, float opacity) {
    for (int ly = 0; ly < layer.height_; ++ly) {
        for (int lx = 0; lx < layer.width_; ++lx) {
            if (!contains(x + lx, y + ly)) {
                continue;
            }
            Premultiplied p = layer.pixels_[static_cast<std::size_t>(ly) * layer.width_ + lx];
            compose(x + lx, y + ly, {p.r * opacity, p.g * opacity, p.b * opacity, p.a * opacity});
        }
    }
}

void Canvas::transform(const std::function<Rgba(Rgba)>& change) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const Rgba c = change(pixel(x, y));
            const float a = std::clamp(c.a, 0.0f, 1.0f);
            pixels_[static_cast<std::size_t>(y) * width_ + x] = {c.r * a, c.g * a, c.b * a, a};
        }
    }
}

std::vector<std::uint8_t> Canvas::toRgba8(Rgba transparentFill) const {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(pixels_.size() * 4);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const Rgba c = pixel(x, y);
            const std::uint8_t alpha = toByte(c.a);
            // A fully transparent pixel takes the colour it will be blended onto, so that a
            // resampler working on straight colours bleeds nothing darker into the edges.
            const Rgba shown = alpha ? c : transparentFill;
            bytes.push_back(toByte(shown.r));
            bytes.push_back(toByte(shown.g));
            bytes.push_back(toByte(shown.b));
            bytes.push_back(alpha);
        }
    }
    return bytes;
}

} // namespace imagegen

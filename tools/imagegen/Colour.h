// Colours of the generator: straight (not premultiplied) sRGB components and alpha, 0 to 1.
#pragma once

#include <algorithm>
#include <cstdint>

namespace imagegen {

struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};

// 0xRRGGBB with an opacity.
constexpr Rgba hex(std::uint32_t rgb, float alpha = 1.0f) {
    return {static_cast<float>((rgb >> 16) & 0xFF) / 255.0f,
            static_cast<float>((rgb >> 8) & 0xFF) / 255.0f, static_cast<float>(rgb & 0xFF) / 255.0f,
            alpha};
}

// The 24-bit colour that a 16-bit RGB 5-6-5 pixel value shows.
constexpr Rgba fromRgb565(std::uint16_t pixel) {
    const auto r5 = static_cast<float>((pixel >> 11) & 0x1F);
    const auto g6 = static_cast<float>((pixel >> 5) & 0x3F);
    const auto b5 = static_cast<float>(pixel & 0x1F);
    return {r5 / 31.0f, g6 / 63.0f, b5 / 31.0f, 1.0f};
}

constexpr Rgba withAlpha(Rgba c, float alpha) {
    c.a = alpha;
    return c;
}

constexpr Rgba mix(Rgba from, Rgba to, float t) {
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
            from.b + (to.b - from.b) * t, from.a + (to.a - from.a) * t};
}

// Moves the colour towards white (amount > 0) or black (amount < 0), keeping its alpha.
constexpr Rgba shade(Rgba c, float amount) {
    const Rgba target = amount > 0 ? Rgba{1, 1, 1, c.a} : Rgba{0, 0, 0, c.a};
    return mix(c, target, amount > 0 ? amount : -amount);
}

// The same colour with its saturation scaled (0 = grey, 1 = unchanged).
constexpr Rgba saturate(Rgba c, float amount) {
    const float grey = 0.30f * c.r + 0.59f * c.g + 0.11f * c.b;
    return mix(Rgba{grey, grey, grey, c.a}, c, amount);
}

} // namespace imagegen

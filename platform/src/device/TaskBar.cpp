#include "device/TaskBar.h"

#include <algorithm>

namespace platform::device {
namespace {

constexpr std::uint16_t rgb565(int r, int g, int b) {
    return static_cast<std::uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// Top and bottom colours of the strip's gradient.
constexpr int kTop[3] = {0x4A, 0x55, 0x6B};
constexpr int kBottom[3] = {0x10, 0x14, 0x20};

struct Box {
    int left, top, right, bottom;
    std::uint16_t colour;
};

void fill(std::uint16_t* frame, int pitch, const RECT& clip, const Box& box) {
    const int left = std::max<int>(box.left, clip.left);
    const int right = std::min<int>(box.right, clip.right);
    const int top = std::max<int>(box.top, clip.top);
    const int bottom = std::min<int>(box.bottom, clip.bottom);
    for (int y = top; y < bottom; ++y) {
        std::fill(frame + y * pitch + left, frame + y * pitch + std::max(left, right), box.colour);
    }
}

} // namespace

void TaskBar::paint(std::uint16_t* frame, int pitch, const RECT& clip) {
    const RECT strip = bounds();
    const int height = strip.bottom;
    for (int y = std::max<int>(clip.top, 0); y < std::min<int>(clip.bottom, height); ++y) {
        const int t = height > 1 ? y * 255 / (height - 1) : 0;
        auto mix = [t](int a, int b) { return a + (b - a) * t / 255; };
        const std::uint16_t colour =
            rgb565(mix(kTop[0], kBottom[0]), mix(kTop[1], kBottom[1]), mix(kTop[2], kBottom[2]));
        fill(frame, pitch, clip, Box{clip.left, y, clip.right, y + 1, colour});
    }

    // The start flag: four coloured panes.
    const int unit = std::max(2, height / 5);
    const int flagLeft = unit;
    const int flagTop = (height - 2 * unit - 1) / 2;
    const std::uint16_t panes[4] = {rgb565(0xF2, 0x50, 0x22), rgb565(0x7F, 0xBA, 0x00),
                                    rgb565(0x00, 0xA4, 0xEF), rgb565(0xFF, 0xB9, 0x00)};
    for (int i = 0; i < 4; ++i) {
        const int x = flagLeft + (i % 2) * (unit + 1);
        const int y = flagTop + (i / 2) * (unit + 1);
        fill(frame, pitch, clip, Box{x, y, x + unit, y + unit, panes[i]});
    }

    // Signal strength: four rising white bars at the right.
    const int barWidth = std::max(2, height / 10);
    const int baseline = height - unit;
    for (int i = 0; i < 4; ++i) {
        const int x = strip.right - unit - (4 - i) * (barWidth + barWidth / 2 + 1);
        const int barHeight = (i + 1) * (height - 2 * unit) / 4;
        fill(frame, pitch, clip,
             Box{x, baseline - barHeight, x + barWidth, baseline, rgb565(0xF0, 0xF0, 0xF0)});
    }
}

} // namespace platform::device

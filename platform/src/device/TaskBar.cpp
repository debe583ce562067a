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

// Digits 3 units wide and 5 high, one row per nibble (bit 2 is the left column); 10 is the colon.
constexpr std::uint8_t kGlyphs[11][5] = {{7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7},
                                         {7, 1, 3, 1, 7}, {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7},
                                         {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2}, {7, 5, 7, 5, 7},
                                         {7, 5, 7, 1, 7}, {0, 2, 0, 2, 0}};

// Draws glyph `index` with its top left at (x, y), each dot `dot` pixels square.
void glyph(std::uint16_t* frame, int pitch, const RECT& clip, int index, int x, int y, int dot,
           std::uint16_t colour) {
    for (int row = 0; row < 5; ++row) {
        for (int column = 0; column < 3; ++column) {
            if ((kGlyphs[index][row] >> (2 - column)) & 1) {
                const int left = x + column * dot;
                const int top = y + row * dot;
                fill(frame, pitch, clip, Box{left, top, left + dot, top + dot, colour});
            }
        }
    }
}

} // namespace

bool TaskBar::setStatus(TaskBarStatus status) {
    const bool minuteChanged = minuteOfDay_.exchange(status.minuteOfDay) != status.minuteOfDay;
    const bool connectionChanged = connected_.exchange(status.connected) != status.connected;
    return minuteChanged || connectionChanged;
}

TaskBarStatus TaskBar::status() const {
    return TaskBarStatus{std::max(0, minuteOfDay_.load()), connected_.load()};
}

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

    const int unit = std::max(2, height / 5);

    // The clock at the right: "H:MM" or "HH:MM" in white.
    const TaskBarStatus shown = status();
    const std::uint16_t white = rgb565(0xF0, 0xF0, 0xF0);
    const int dot = std::max(1, (height - 2 * unit) * 3 / 20);
    const int advance = 4 * dot;
    const int hours = shown.minuteOfDay / 60;
    const int minutes = shown.minuteOfDay % 60;
    int glyphs[5] = {hours / 10, hours % 10, 10, minutes / 10, minutes % 10};
    const int first = hours < 10 ? 1 : 0;
    const int clockWidth = (5 - first) * advance - dot;
    const int clockLeft = strip.right - unit - clockWidth;
    const int glyphTop = (height - 5 * dot) / 2;
    for (int i = first; i < 5; ++i) {
        glyph(frame, pitch, clip, glyphs[i], clockLeft + (i - first) * advance, glyphTop, dot,
              white);
    }

    // Signal strength left of the clock: four rising bars, dim without a data connection.
    const std::uint16_t barColour = shown.connected ? white : rgb565(0x5A, 0x60, 0x70);
    const int barWidth = std::max(2, height / 10);
    const int baseline = height - unit;
    for (int i = 0; i < 4; ++i) {
        const int x = clockLeft - unit - (4 - i) * (barWidth + barWidth / 2 + 1);
        const int barHeight = (i + 1) * (height - 2 * unit) / 4;
        fill(frame, pitch, clip, Box{x, baseline - barHeight, x + barWidth, baseline, barColour});
    }
}

} // namespace platform::device

#include "imaging/ImageDraw.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace platform::imaging {
namespace {

struct Sample {
    int first;
    int second;
    double weight; // of `second`
};

// Where destination column (or row) `d` of `destSize` reads from a source span, clamped to the
// source pixels the span touches.
Sample sampleAt(int d, int destSize, double from, double to) {
    const double position = from + (d + 0.5) * (to - from) / destSize - 0.5;
    const int low = static_cast<int>(std::floor(from));
    const int high = std::max(low, static_cast<int>(std::ceil(to)) - 1);
    const double clamped =
        std::clamp(position, static_cast<double>(low), static_cast<double>(high));
    const int first = static_cast<int>(std::floor(clamped));
    const double weight = clamped - first;
    return {first, std::min(first + 1, high), weight};
}

void blendPixel(std::uint16_t& target, const RgbaImage& image, const Sample& sx, const Sample& sy) {
    const std::uint8_t* corners[4] = {
        image.pixel(sx.first, sy.first), image.pixel(sx.second, sy.first),
        image.pixel(sx.first, sy.second), image.pixel(sx.second, sy.second)};
    const double weights[4] = {(1 - sx.weight) * (1 - sy.weight), sx.weight * (1 - sy.weight),
                               (1 - sx.weight) * sy.weight, sx.weight * sy.weight};
    double alpha = 0, r = 0, g = 0, b = 0;
    for (int i = 0; i < 4; ++i) {
        const double wa = weights[i] * corners[i][3];
        alpha += wa;
        r += wa * corners[i][0];
        g += wa * corners[i][1];
        b += wa * corners[i][2];
    }
    const int opacity = static_cast<int>(std::lround(alpha));
    if (opacity <= 0) {
        return;
    }
    const gfx::Rgb8 colour{static_cast<int>(std::lround(r / alpha)),
                           static_cast<int>(std::lround(g / alpha)),
                           static_cast<int>(std::lround(b / alpha))};
    target = gfx::blend565(target, colour, opacity);
}

} // namespace

void drawImage(gdi::DeviceContext& dc, const RgbaImage& image, const RECT& dest,
               const SourceArea& source) {
    const int destWidth = dest.right - dest.left;
    const int destHeight = dest.bottom - dest.top;
    if (destWidth <= 0 || destHeight <= 0 || image.width == 0 || image.height == 0) {
        return;
    }
    dc.paint([&](const gfx::PixelView& view) {
        const RECT area = gfx::intersect(dest, view.bounds());
        std::vector<Sample> columns;
        columns.reserve(static_cast<std::size_t>(std::max(0, area.right - area.left)));
        for (int x = area.left; x < area.right; ++x) {
            columns.push_back(sampleAt(x - dest.left, destWidth, source.left, source.right));
        }
        for (int y = area.top; y < area.bottom; ++y) {
            const Sample sy = sampleAt(y - dest.top, destHeight, source.top, source.bottom);
            std::uint16_t* row = view.row(y);
            for (int x = area.left; x < area.right; ++x) {
                blendPixel(row[x], image, columns[static_cast<std::size_t>(x - area.left)], sy);
            }
        }
        return area;
    });
}

} // namespace platform::imaging

#include "imaging/Resample.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace platform::imaging {
namespace {

struct Filter {
    double support; // radius in source pixels at scale 1
    std::function<double(double)> weight;
};

double catmullRom(double x) {
    x = std::fabs(x);
    if (x < 1.0) {
        return 1.5 * x * x * x - 2.5 * x * x + 1.0;
    }
    if (x < 2.0) {
        return -0.5 * x * x * x + 2.5 * x * x - 4.0 * x + 2.0;
    }
    return 0.0;
}

Filter filterFor(InterpolationHint hint) {
    switch (hint) {
    case InterpolationHintBilinear:
        return {1.0, [](double x) { return std::max(0.0, 1.0 - std::fabs(x)); }};
    case InterpolationHintAveraging:
        return {0.5, [](double x) { return std::fabs(x) <= 0.5 ? 1.0 : 0.0; }};
    default:
        return {2.0, catmullRom};
    }
}

// For each destination index, the source indexes and weights that make it (weights sum to 1).
struct Taps {
    int first = 0;
    std::vector<double> weights;
};

std::vector<Taps> tapsFor(int sourceSize, int destSize, const Filter& filter) {
    const double scale = static_cast<double>(destSize) / sourceSize;
    const double widen = std::max(1.0, 1.0 / scale);
    const double radius = filter.support * widen;
    std::vector<Taps> all(static_cast<std::size_t>(destSize));
    for (int i = 0; i < destSize; ++i) {
        const double centre = (i + 0.5) / scale;
        const int left = static_cast<int>(std::floor(centre - radius));
        const int right = static_cast<int>(std::ceil(centre + radius));
        Taps& taps = all[static_cast<std::size_t>(i)];
        taps.first = std::clamp(left, 0, sourceSize - 1);
        const int last = std::clamp(right, 0, sourceSize - 1);
        taps.weights.assign(static_cast<std::size_t>(last - taps.first + 1), 0.0);
        double sum = 0.0;
        for (int j = left; j <= right; ++j) {
            const double w = filter.weight((j + 0.5 - centre) / widen);
            const int at = std::clamp(j, 0, sourceSize - 1); // edges repeat
            taps.weights[static_cast<std::size_t>(at - taps.first)] += w;
            sum += w;
        }
        if (sum != 0.0) {
            for (double& w : taps.weights) {
                w /= sum;
            }
        }
    }
    return all;
}

RgbaImage nearest(const RgbaImage& source, int width, int height) {
    RgbaImage out(width, height);
    for (int y = 0; y < height; ++y) {
        const int sy =
            std::min(source.height - 1, static_cast<int>((y + 0.5) * source.height / height));
        for (int x = 0; x < width; ++x) {
            const int sx =
                std::min(source.width - 1, static_cast<int>((x + 0.5) * source.width / width));
            std::copy_n(source.pixel(sx, sy), 4, out.pixel(x, y));
        }
    }
    return out;
}

using Premultiplied = std::vector<double>; // 4 channels per pixel

Premultiplied premultiply(const RgbaImage& image) {
    Premultiplied out(image.rgba.size());
    for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
        const double a = image.rgba[i + 3] / 255.0;
        out[i] = image.rgba[i] * a;
        out[i + 1] = image.rgba[i + 1] * a;
        out[i + 2] = image.rgba[i + 2] * a;
        out[i + 3] = image.rgba[i + 3];
    }
    return out;
}

std::uint8_t toByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

} // namespace

RgbaImage resample(const RgbaImage& source, int width, int height, InterpolationHint hint) {
    if (hint == InterpolationHintNearestNeighbor) {
        return nearest(source, width, height);
    }
    const Filter filter = filterFor(hint);
    const auto columns = tapsFor(source.width, width, filter);
    const auto rows = tapsFor(source.height, height, filter);
    const Premultiplied in = premultiply(source);

    // Horizontal pass: source rows, destination columns.
    Premultiplied across(static_cast<std::size_t>(width) * source.height * 4, 0.0);
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Taps& taps = columns[static_cast<std::size_t>(x)];
            double* out = &across[(static_cast<std::size_t>(y) * width + x) * 4];
            for (std::size_t k = 0; k < taps.weights.size(); ++k) {
                const double* p =
                    &in[(static_cast<std::size_t>(y) * source.width + taps.first + k) * 4];
                for (int c = 0; c < 4; ++c) {
                    out[c] += p[c] * taps.weights[k];
                }
            }
        }
    }
    // Vertical pass, then back to straight alpha.
    RgbaImage out(width, height);
    out.xdpi = source.xdpi;
    out.ydpi = source.ydpi;
    out.realDpi = source.realDpi;
    for (int y = 0; y < height; ++y) {
        const Taps& taps = rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < width; ++x) {
            double sum[4] = {0, 0, 0, 0};
            for (std::size_t k = 0; k < taps.weights.size(); ++k) {
                const double* p = &across[((taps.first + k) * width + x) * 4];
                for (int c = 0; c < 4; ++c) {
                    sum[c] += p[c] * taps.weights[k];
                }
            }
            std::uint8_t* o = out.pixel(x, y);
            const double alpha = std::clamp(sum[3], 0.0, 255.0);
            o[3] = toByte(alpha);
            for (int c = 0; c < 3; ++c) {
                o[c] = alpha > 0.0 ? toByte(sum[c] * 255.0 / alpha) : 0;
            }
        }
    }
    return out;
}

} // namespace platform::imaging

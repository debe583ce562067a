#include "Draw.h"

#include <algorithm>
#include <cmath>

namespace imagegen {

namespace {

Rgba colourAt(const std::vector<Stop>& stops, double t) {
    if (stops.empty()) {
        return {};
    }
    if (t <= stops.front().at) {
        return stops.front().colour;
    }
    for (std::size_t i = 1; i < stops.size(); ++i) {
        if (t <= stops[i].at) {
            const double span = stops[i].at - stops[i - 1].at;
            const double f = span > 0 ? (t - stops[i - 1].at) / span : 1.0;
            return mix(stops[i - 1].colour, stops[i].colour, static_cast<float>(f));
        }
    }
    return stops.back().colour;
}

double ratio(double value, double from, double to) {
    return to != from ? (value - from) / (to - from) : 0.0;
}

double smoothstep(double edge0, double edge1, double x) {
    const double t = std::clamp(ratio(x, edge0, edge1), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

template <typename Coverage>
void cover(Canvas& canvas, const Sdf& shape, const Paint& paint, Coverage coverage) {
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            const double cx = x + 0.5, cy = y + 0.5;
            const double c = coverage(shape(cx, cy));
            if (c > 0) {
                canvas.blend(x, y, paint(cx, cy), static_cast<float>(c));
            }
        }
    }
}

} // namespace

Paint solid(Rgba colour) {
    return [colour](double, double) { return colour; };
}

Paint vertical(double top, double bottom, std::vector<Stop> stops) {
    return [=, stops = std::move(stops)](double, double y) {
        return colourAt(stops, ratio(y, top, bottom));
    };
}

Paint horizontal(double left, double right, std::vector<Stop> stops) {
    return [=, stops = std::move(stops)](double x, double) {
        return colourAt(stops, ratio(x, left, right));
    };
}

Paint radial(Point centre, double radius, std::vector<Stop> stops) {
    return [=, stops = std::move(stops)](double x, double y) {
        return colourAt(stops, std::hypot(x - centre.x, y - centre.y) / radius);
    };
}

Paint fadeVertically(Paint paint, double top, double bottom, float opacityTop,
                     float opacityBottom) {
    return [=, paint = std::move(paint)](double x, double y) {
        Rgba c = paint(x, y);
        const auto t = static_cast<float>(std::clamp(ratio(y, top, bottom), 0.0, 1.0));
        c.a *= opacityTop + (opacityBottom - opacityTop) * t;
        return c;
    };
}

void fill(Canvas& canvas, const Sdf& shape, const Paint& paint) {
    cover(canvas, shape, paint, [](double d) { return std::clamp(0.5 - d, 0.0, 1.0); });
}

void fillSoft(Canvas& canvas, const Sdf& shape, Rgba colour, double softness) {
    cover(canvas, shape, solid(colour),
          [softness](double d) { return 1.0 - smoothstep(-softness, softness, d); });
}

} // namespace imagegen

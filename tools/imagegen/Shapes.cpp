#include "Shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace imagegen {

namespace {

double length(double x, double y) {
    return std::sqrt(x * x + y * y);
}

double segmentDistance(Point p, Point a, Point b) {
    const double bx = b.x - a.x, by = b.y - a.y;
    const double px = p.x - a.x, py = p.y - a.y;
    const double lengthSquared = bx * bx + by * by;
    const double t =
        lengthSquared > 0 ? std::clamp((px * bx + py * by) / lengthSquared, 0.0, 1.0) : 0.0;
    return length(px - bx * t, py - by * t);
}

} // namespace

Sdf roundedRect(Box box, double radius) {
    return roundedRect(box, Corners::all(radius));
}

Sdf roundedRect(Box box, Corners radii) {
    return [box, radii](double x, double y) {
        const double cx = box.centreX(), cy = box.centreY();
        const double halfW = box.width() / 2, halfH = box.height() / 2;
        const double px = x - cx, py = y - cy;
        double r = 0;
        if (px < 0) {
            r = py < 0 ? radii.topLeft : radii.bottomLeft;
        } else {
            r = py < 0 ? radii.topRight : radii.bottomRight;
        }
        r = std::min({r, halfW, halfH});
        const double qx = std::abs(px) - halfW + r;
        const double qy = std::abs(py) - halfH + r;
        return length(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - r;
    };
}

Sdf circle(Point centre, double radius) {
    return [centre, radius](double x, double y) {
        return length(x - centre.x, y - centre.y) - radius;
    };
}

Sdf capsule(Point from, Point to, double radius) {
    return [from, to, radius](double x, double y) {
        return segmentDistance({x, y}, from, to) - radius;
    };
}

Sdf polyline(const std::vector<Point>& points, double radius) {
    return [points, radius](double x, double y) {
        double best = 1e9;
        for (std::size_t i = 1; i < points.size(); ++i) {
            best = std::min(best, segmentDistance({x, y}, points[i - 1], points[i]));
        }
        return best - radius;
    };
}

Sdf polygon(std::vector<Point> points) {
    return [points = std::move(points)](double x, double y) {
        double best = 1e9;
        bool inside = false;
        for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
            const Point a = points[j], b = points[i];
            best = std::min(best, segmentDistance({x, y}, a, b));
            if ((b.y > y) != (a.y > y) && x < (a.x - b.x) * (y - b.y) / (a.y - b.y) + b.x) {
                inside = !inside;
            }
        }
        return inside ? -best : best;
    };
}

Sdf arc(Point centre, double radius, double direction, double halfOpening, double halfThickness) {
    const Point end1{centre.x + radius * std::cos(direction - halfOpening),
                     centre.y + radius * std::sin(direction - halfOpening)};
    const Point end2{centre.x + radius * std::cos(direction + halfOpening),
                     centre.y + radius * std::sin(direction + halfOpening)};
    return [=](double x, double y) {
        double angle = std::atan2(y - centre.y, x - centre.x) - direction;
        angle = std::remainder(angle, 2 * std::numbers::pi);
        if (std::abs(angle) <= halfOpening) {
            return std::abs(length(x - centre.x, y - centre.y) - radius) - halfThickness;
        }
        return std::min(length(x - end1.x, y - end1.y), length(x - end2.x, y - end2.y)) -
               halfThickness;
    };
}

Sdf unite(Sdf a, Sdf b) {
    return [a = std::move(a), b = std::move(b)](double x, double y) {
        return std::min(a(x, y), b(x, y));
    };
}

Sdf intersect(Sdf a, Sdf b) {
    return [a = std::move(a), b = std::move(b)](double x, double y) {
        return std::max(a(x, y), b(x, y));
    };
}

Sdf subtract(Sdf from, Sdf cut) {
    return [from = std::move(from), cut = std::move(cut)](double x, double y) {
        return std::max(from(x, y), -cut(x, y));
    };
}

Sdf grow(Sdf shape, double by) {
    return [shape = std::move(shape), by](double x, double y) { return shape(x, y) - by; };
}

Sdf innerBand(Sdf shape, double width) {
    return [shape = std::move(shape), width](double x, double y) {
        return std::abs(shape(x, y) + width / 2) - width / 2;
    };
}

} // namespace imagegen

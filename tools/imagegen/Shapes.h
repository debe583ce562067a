// Shapes as signed distance functions: negative inside, positive outside, in pixels. Pixel
// (x, y) covers the square from (x, y) to (x + 1, y + 1); its centre is (x + 0.5, y + 0.5).
#pragma once

#include <functional>
#include <vector>

namespace imagegen {

using Sdf = std::function<double(double x, double y)>;

struct Point {
    double x = 0, y = 0;
};

struct Box {
    double left = 0, top = 0, right = 0, bottom = 0;

    double width() const { return right - left; }
    double height() const { return bottom - top; }
    double centreX() const { return (left + right) / 2; }
    double centreY() const { return (top + bottom) / 2; }
    Box inset(double by) const { return {left + by, top + by, right - by, bottom - by}; }
    Box inset(double dx, double dy) const { return {left + dx, top + dy, right - dx, bottom - dy}; }
    Box moved(double dx, double dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
};

// Radius of each corner of a rounded rectangle.
struct Corners {
    double topLeft = 0, topRight = 0, bottomRight = 0, bottomLeft = 0;
    static Corners all(double r) { return {r, r, r, r}; }
};

Sdf roundedRect(Box box, double radius);
Sdf roundedRect(Box box, Corners radii);
Sdf circle(Point centre, double radius);
// A segment with round ends, as thick as twice the radius.
Sdf capsule(Point from, Point to, double radius);
// Consecutive capsules through the points.
Sdf polyline(const std::vector<Point>& points, double radius);
// A closed polygon (any winding, may be concave).
Sdf polygon(std::vector<Point> points);
// A circular arc with round ends: centre, radius, direction of its middle (radians, 0 = right,
// growing clockwise on screen), half its opening angle and half its thickness.
Sdf arc(Point centre, double radius, double direction, double halfOpening, double halfThickness);

Sdf unite(Sdf a, Sdf b);
Sdf intersect(Sdf a, Sdf b);
Sdf subtract(Sdf from, Sdf cut);
// The shape grown (positive) or shrunk (negative) by a distance.
Sdf grow(Sdf shape, double by);
// A band of the given width lying just inside the shape's edge.
Sdf innerBand(Sdf shape, double width);

} // namespace imagegen

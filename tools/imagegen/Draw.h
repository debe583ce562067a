// Painting shapes onto a canvas: anti-aliased fills with solid colours or gradients, and soft
// fills for shadows and glows.
#pragma once

#include "Canvas.h"
#include "Shapes.h"

#include <functional>
#include <vector>

namespace imagegen {

using Paint = std::function<Rgba(double x, double y)>;

// A colour at a position from 0 (start of the gradient) to 1 (its end).
struct Stop {
    double at = 0;
    Rgba colour;
};

Paint solid(Rgba colour);
// Top to bottom between rows top and bottom; clamped beyond them.
Paint vertical(double top, double bottom, std::vector<Stop> stops);
// Left to right between columns left and right.
Paint horizontal(double left, double right, std::vector<Stop> stops);
// From the centre outwards to the radius.
Paint radial(Point centre, double radius, std::vector<Stop> stops);
// The paint with its opacity multiplied by a vertical ramp (for highlights that fade out).
Paint fadeVertically(Paint paint, double top, double bottom, float opacityTop, float opacityBottom);

// Covers each pixel by the part of it inside the shape (one pixel of anti-aliasing).
void fill(Canvas& canvas, const Sdf& shape, const Paint& paint);
// Fully covered deep inside, fading out over `softness` pixels on both sides of the edge.
void fillSoft(Canvas& canvas, const Sdf& shape, Rgba colour, double softness);

} // namespace imagegen

// The rectangle arithmetic every widget paints and hit-tests with, on the platform's RECT: right
// and bottom lie just outside, so a rectangle whose right is not past its left holds no pixel.
#pragma once

#include "wintypes.h"

#include <algorithm>

constexpr bool isEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

// Empty (see isEmpty) when the two do not meet.
constexpr RECT intersection(const RECT& a, const RECT& b) {
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

// Whether the spans cross on both axes; rectangles that only touch do not overlap.
constexpr bool overlaps(const RECT& a, const RECT& b) {
    return a.top < b.bottom && a.bottom > b.top && a.left < b.right && a.right > b.left;
}

constexpr bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

constexpr RECT translated(const RECT& r, LONG dx, LONG dy) {
    return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

// A touch target takes no point on its edges.
constexpr bool strictlyInside(const RECT& r, LONG x, LONG y) {
    return r.left < x && x < r.right && r.top < y && y < r.bottom;
}

// A copy from `source` to `place`, both the same size, cut to `clip`: the source loses on each
// side what the place loses there. The place is empty when it misses the clip.
struct PlaceAndSource {
    RECT place;
    RECT source;
};

constexpr PlaceAndSource clipPlaceAndSource(const RECT& place, const RECT& source,
                                            const RECT& clip) {
    const RECT cut = intersection(place, clip);
    return {cut, RECT{source.left + (cut.left - place.left), source.top + (cut.top - place.top),
                      source.right - (place.right - cut.right),
                      source.bottom - (place.bottom - cut.bottom)}};
}

// Regions as the window manager keeps them: a set of non-overlapping rectangles in the platform's
// banded order (rows of equal top and bottom, sorted by top, then by left; touching rectangles of
// a row joined; vertically adjacent rows with the same spans joined). This canonical form is
// what GetRegionData hands out.
#pragma once

#include "user/GdiObject.h"

#include <vector>

namespace platform::user {

class RectSet {
public:
    RectSet() = default;
    explicit RectSet(const RECT& rect);

    bool empty() const { return rects_.empty(); }
    const std::vector<RECT>& rects() const { return rects_; }
    RECT bounds() const; // all zero when empty
    // NULLREGION, SIMPLEREGION or COMPLEXREGION.
    int type() const;

    enum class Op { intersect, unite, subtract };
    static RectSet combine(const RectSet& a, const RectSet& b, Op op);

    void unite(const RECT& rect) { *this = combine(*this, RectSet(rect), Op::unite); }
    void subtract(const RECT& rect) { *this = combine(*this, RectSet(rect), Op::subtract); }
    void intersect(const RECT& rect) { *this = combine(*this, RectSet(rect), Op::intersect); }
    void offset(int dx, int dy);
    void clear() { rects_.clear(); }

private:
    std::vector<RECT> rects_;
};

bool isEmptyRect(const RECT& rect);

// The GDI object behind an HRGN.
class Region : public GdiObject {
public:
    RectSet shape;
};

} // namespace platform::user

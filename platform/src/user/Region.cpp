#include "user/Region.h"

#include "winuser.h"

#include <algorithm>

namespace platform::user {
namespace {

struct Span {
    LONG left;
    LONG right;
    bool operator==(const Span&) const = default;
};

// The spans of `rects` that cover the row band [top, bottom), sorted and joined.
std::vector<Span> spansInBand(const std::vector<RECT>& rects, LONG top, LONG bottom) {
    std::vector<Span> spans;
    for (const RECT& r : rects) {
        if (r.top <= top && r.bottom >= bottom) {
            spans.push_back({r.left, r.right});
        }
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.left < b.left; });
    std::vector<Span> joined;
    for (const Span& s : spans) {
        if (!joined.empty() && s.left <= joined.back().right) {
            joined.back().right = std::max(joined.back().right, s.right);
        } else {
            joined.push_back(s);
        }
    }
    return joined;
}

bool keeps(RectSet::Op op, bool inA, bool inB) {
    switch (op) {
    case RectSet::Op::intersect:
        return inA && inB;
    case RectSet::Op::unite:
        return inA || inB;
    case RectSet::Op::subtract:
        return inA && !inB;
    }
    return false;
}

bool covers(const std::vector<Span>& spans, LONG left, LONG right) {
    return std::any_of(spans.begin(), spans.end(),
                       [&](const Span& s) { return s.left <= left && s.right >= right; });
}

std::vector<Span> combineSpans(const std::vector<Span>& a, const std::vector<Span>& b,
                               RectSet::Op op) {
    std::vector<LONG> edges;
    for (const auto* spans : {&a, &b}) {
        for (const Span& s : *spans) {
            edges.push_back(s.left);
            edges.push_back(s.right);
        }
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::vector<Span> result;
    for (size_t i = 0; i + 1 < edges.size(); ++i) {
        LONG left = edges[i];
        LONG right = edges[i + 1];
        if (!keeps(op, covers(a, left, right), covers(b, left, right))) {
            continue;
        }
        if (!result.empty() && result.back().right == left) {
            result.back().right = right;
        } else {
            result.push_back({left, right});
        }
    }
    return result;
}

} // namespace

bool isEmptyRect(const RECT& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

RectSet::RectSet(const RECT& rect) {
    if (!isEmptyRect(rect)) {
        rects_.push_back(rect);
    }
}

RECT RectSet::bounds() const {
    if (rects_.empty()) {
        return RECT{0, 0, 0, 0};
    }
    RECT b = rects_.front();
    for (const RECT& r : rects_) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

int RectSet::type() const {
    if (rects_.empty()) {
        return NULLREGION;
    }
    return rects_.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

RectSet RectSet::combine(const RectSet& a, const RectSet& b, Op op) {
    std::vector<LONG> rows;
    for (const auto* set : {&a, &b}) {
        for (const RECT& r : set->rects_) {
            rows.push_back(r.top);
            rows.push_back(r.bottom);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

    RectSet result;
    std::vector<Span> previous;
    size_t previousFirst = 0; // index of the previous band's first rectangle
    LONG previousBottom = 0;
    for (size_t i = 0; i + 1 < rows.size(); ++i) {
        LONG top = rows[i];
        LONG bottom = rows[i + 1];
        std::vector<Span> spans = combineSpans(spansInBand(a.rects_, top, bottom),
                                               spansInBand(b.rects_, top, bottom), op);
        if (spans.empty()) {
            previous.clear();
            continue;
        }
        if (!previous.empty() && previousBottom == top && spans == previous) {
            for (size_t k = previousFirst; k < result.rects_.size(); ++k) {
                result.rects_[k].bottom = bottom;
            }
        } else {
            previousFirst = result.rects_.size();
            for (const Span& s : spans) {
                result.rects_.push_back(RECT{s.left, top, s.right, bottom});
            }
            previous = std::move(spans);
        }
        previousBottom = bottom;
    }
    return result;
}

void RectSet::offset(int dx, int dy) {
    for (RECT& r : rects_) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
}

} // namespace platform::user

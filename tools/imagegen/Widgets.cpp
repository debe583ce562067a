#include "Widgets.h"

#include "Design.h"
#include "Draw.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace imagegen {

namespace {

using namespace design::palette;

Box whole(const Canvas& canvas) {
    return {0, 0, static_cast<double>(canvas.width()), static_cast<double>(canvas.height())};
}

Sdf rect(Box box) {
    return roundedRect(box, 0.0);
}

// A rounded body: a one-pixel border around a face.
void body(Canvas& canvas, Box box, double radius, const Paint& border, const Paint& face) {
    fill(canvas, roundedRect(box, radius), border);
    fill(canvas, roundedRect(box.inset(1), radius - 1), face);
}

void dropShadow(Canvas& canvas, const Sdf& shape, float opacity, double softness) {
    fillSoft(canvas, shape, withAlpha(black, opacity), softness);
}

// A one-pixel light line along the inside of the face's top edge, fading out downwards.
void topHighlight(Canvas& canvas, Box face, double radius, float opacity) {
    fill(canvas, innerBand(roundedRect(face, radius), 1.0),
         fadeVertically(solid(white), face.top, face.centreY(), opacity, 0));
}

// A lighter line just below a recessed shape, as if light caught the lower edge of the hole.
void lowerLip(Canvas& canvas, Box box, double radius, float opacity) {
    fill(canvas, roundedRect(box.moved(0, 1), radius), solid(withAlpha(white, opacity)));
}

Paint twoTone(Box face, Rgba top, Rgba upperMiddle, Rgba lowerMiddle, Rgba bottom) {
    return vertical(face.top, face.bottom,
                    {{0, top}, {0.5, upperMiddle}, {0.5, lowerMiddle}, {1, bottom}});
}

// A face recessed into its surroundings: darker along the top, then its own colour.
Paint recessed(Box face, Rgba shadowTop, Rgba colour, double shadowDepth) {
    return vertical(face.top, face.top + shadowDepth,
                    {{0, shadowTop}, {0.35, mix(shadowTop, colour, 0.7f)}, {1, colour}});
}

void drawFaded(Canvas& target, const Canvas& picture) {
    target.draw(faded(picture), 0, 0);
}

void drawKnob(Canvas& canvas, Point centre, double radius, bool pressed) {
    dropShadow(canvas, circle({centre.x, centre.y + 1.5}, radius), 0.35f, 1.8);
    const Rgba rim = pressed ? hex(0x66646A) : hex(0x7E7C82);
    fill(canvas, circle(centre, radius), solid(rim));
    const double top = centre.y - radius, bottom = centre.y + radius;
    const Paint face =
        pressed
            ? vertical(top, bottom, {{0, hex(0xD2D0D5)}, {1, hex(0xB4B2B8)}})
            : vertical(top, bottom, {{0, hex(0xFFFFFF)}, {0.6, hex(0xF0EFF2)}, {1, hex(0xDAD8DD)}});
    fill(canvas, circle(centre, radius - 1), face);
    fill(canvas, innerBand(circle(centre, radius - 1), 1.0),
         fadeVertically(solid(white), top, centre.y, pressed ? 0.4f : 0.9f, 0));
}

std::vector<Point> scaled(Box box, std::initializer_list<Point> unitPoints) {
    std::vector<Point> points;
    for (Point p : unitPoints) {
        points.push_back({box.left + p.x * box.width(), box.top + p.y * box.height()});
    }
    return points;
}

} // namespace

Canvas faded(const Canvas& picture) {
    Canvas copy(picture.width(), picture.height());
    copy.draw(picture, 0, 0);
    copy.transform([](Rgba c) {
        const float alpha = c.a;
        Rgba pale = mix(saturate(c, 0.3f), toolkitBackground, 0.5f);
        pale.a = alpha;
        return pale;
    });
    return copy;
}

void drawPushButton(Canvas& canvas, Look look) {
    const Box frame = whole(canvas);
    const Box box{2, 1, frame.right - 2, frame.bottom - 3};
    const Box face = box.inset(1);
    const double r = std::round(box.height() * 0.18);
    switch (look) {
    case Look::pressed:
        // Pushed in: no shadow, light catching the lower edge instead, and a dark face around
        // the pressed caption key.
        lowerLip(canvas, box, r, 0.8f);
        body(canvas, box, r, solid(hex(0x1B1B1D)),
             twoTone(face, hex(0x4C4C4E), hex(0x363637), hex(0x2F2F30), hex(0x252526)));
        fill(canvas, innerBand(roundedRect(face, r - 1), 3.0),
             fadeVertically(solid(black), face.top, face.top + 7, 0.5f, 0));
        break;
    case Look::disabled:
        body(canvas, box, r, solid(borderPale),
             vertical(face.top, face.bottom, {{0, hex(0xF4F2F4)}, {1, hex(0xE0DEE0)}}));
        topHighlight(canvas, face, r - 1, 0.7f);
        break;
    case Look::normal:
    case Look::focused:
        dropShadow(canvas, roundedRect(box.moved(0, 1.5), r), 0.3f, 1.5);
        body(canvas, box, r,
             vertical(box.top, box.bottom, {{0, hex(0x9E9CA2)}, {1, hex(0x727077)}}),
             twoTone(face, hex(0xFDFDFD), hex(0xEDEBED), hex(0xE2E0E2), hex(0xD2D0D3)));
        topHighlight(canvas, face, r - 1, 1.0f);
        if (look == Look::focused) {
            fill(canvas, innerBand(roundedRect(box, r), 2.5),
                 vertical(box.top, box.bottom, {{0, accentLight}, {1, accentDark}}));
        }
        break;
    }
}

void drawCheckBox(Canvas& canvas, Mark mark, Look look) {
    if (look == Look::disabled) {
        Canvas enabled(canvas.width(), canvas.height());
        drawCheckBox(enabled, mark, Look::normal);
        drawFaded(canvas, enabled);
        return;
    }
    const Box frame = whole(canvas);
    const double size = std::round(frame.height() * 0.7);
    const double left = std::round((frame.width() - size) / 2);
    const double top = std::round((frame.height() - size) / 2) - 1; // room for the shadow below
    const Box square{left, top, left + size, top + size};
    const Box face = square.inset(1);
    const double r = std::round(size * 0.17);
    const bool pressed = look == Look::pressed;
    dropShadow(canvas, roundedRect(square.moved(0, 1.2), r), 0.22f, 1.2);
    if (mark == Mark::off) {
        body(canvas, square, r, solid(pressed ? borderDark : border),
             pressed ? recessed(face, hex(0xA9A7AD), hex(0xCFCDD2), size * 0.4)
                     : recessed(face, hex(0xD4D2D8), hex(0xFFFFFF), size * 0.3));
    } else {
        body(canvas, square, r, solid(pressed ? hex(0x8C4A00) : accentDark),
             pressed ? vertical(face.top, face.bottom, {{0, hex(0xC06800)}, {1, hex(0xDA8210)}})
                     : vertical(face.top, face.bottom,
                                {{0, accentLight}, {0.5, accent}, {1, hex(0xE4860C)}}));
        if (!pressed) {
            topHighlight(canvas, face, r - 1, 0.7f);
        }
    }
    const double stroke = size * 0.068;
    Sdf symbol;
    if (mark == Mark::on) {
        symbol = polyline(scaled(square, {{0.25, 0.52}, {0.43, 0.70}, {0.76, 0.31}}), stroke);
    } else if (mark == Mark::mixed) {
        symbol =
            capsule(scaled(square, {{0.28, 0.5}})[0], scaled(square, {{0.72, 0.5}})[0], stroke);
    }
    if (symbol) {
        fill(
            canvas, [&](double x, double y) { return symbol(x, y - 1.0); },
            solid(withAlpha(black, 0.25f)));
        fill(canvas, symbol, solid(white));
    }
}

void drawSwitch(Canvas& canvas, KnobAt knob, Look look) {
    if (look == Look::disabled) {
        Canvas enabled(canvas.width(), canvas.height());
        drawSwitch(enabled, knob, Look::normal);
        drawFaded(canvas, enabled);
        return;
    }
    const Box frame = whole(canvas);
    const Box track{4, 9, frame.right - 4, frame.bottom - 9};
    const Box face = track.inset(1);
    const double r = track.height() / 2;
    const double depth = track.height() * 0.45;
    const Paint offFace = recessed(face, hex(0xA9A7AE), hex(0xE2E0E5), depth);
    const Paint onFace = recessed(face, hex(0xC46400), accentLight, depth);
    const double middle = track.centreX();
    Paint trackFace = knob == KnobAt::right ? onFace : offFace;
    Rgba rim = knob == KnobAt::right ? accentDark : border;
    if (knob == KnobAt::middle) {
        // Half way between off and on: the lit part follows the knob.
        trackFace = [=](double x, double y) { return x < middle ? onFace(x, y) : offFace(x, y); };
        rim = borderDark;
    }
    lowerLip(canvas, track, r, 0.85f);
    body(canvas, track, r, solid(rim), trackFace);

    const double cy = track.centreY();
    const double symbolX = r * 0.95;
    if (knob == KnobAt::right) {
        fill(canvas, capsule({track.left + symbolX, cy - 7}, {track.left + symbolX, cy + 7}, 1.6),
             solid(withAlpha(white, 0.95f)));
    } else if (knob == KnobAt::left) {
        fill(canvas, innerBand(circle({track.right - symbolX, cy}, 7.5), 2.4), solid(border));
    }
    double kx = middle;
    if (knob == KnobAt::left) {
        kx = track.left + r;
    } else if (knob == KnobAt::right) {
        kx = track.right - r;
    }
    drawKnob(canvas, {kx, cy}, r + 1, look == Look::pressed);
}

void drawInputTile(Canvas& canvas, Look look) {
    const Box tile = whole(canvas);
    const Box box{0, 0, tile.right, tile.bottom - 2};
    const double r = 8;
    lowerLip(canvas, box, r, 0.9f);
    switch (look) {
    case Look::focused:
        body(canvas, box, r, solid(accentDark), solid(accentDark));
        fill(canvas, roundedRect(box.inset(2), r - 2), solid(fieldKey));
        fill(canvas, innerBand(roundedRect(box.inset(2), r - 2), 2.0),
             solid(withAlpha(accent, 0.3f)));
        break;
    case Look::disabled:
        body(canvas, box, r, solid(borderPale), solid(hex(0xF5F4F5)));
        break;
    case Look::normal:
    case Look::pressed:
        body(canvas, box, r,
             vertical(box.top, box.bottom, {{0, hex(0x807E84)}, {1, hex(0xA8A6AC)}}),
             recessed(box.inset(1), hex(0xDCDADF), fieldKey, 5));
        break;
    }
}

void drawListItem(Canvas& canvas, bool roundTop, bool roundBottom, Look look) {
    const Box frame = whole(canvas);
    const double r = 12;
    const Corners corners{roundTop ? r : 0, roundTop ? r : 0, roundBottom ? r : 0,
                          roundBottom ? r : 0};
    const bool pressed = look == Look::pressed;
    fill(canvas, roundedRect(frame, corners), solid(hex(0xB8B6BC)));
    const Box face = frame.inset(1);
    const Corners inner{corners.topLeft ? r - 1 : 0, corners.topRight ? r - 1 : 0,
                        corners.bottomRight ? r - 1 : 0, corners.bottomLeft ? r - 1 : 0};
    fill(canvas, roundedRect(face, inner),
         pressed ? vertical(face.top, face.bottom, {{0, accentLight}, {1, accent}})
                 : vertical(face.top, face.bottom, {{0, hex(0xFFFFFF)}, {1, hex(0xF1F0F3)}}));
}

void drawPivotArrow(Canvas& canvas, bool pointsLeft) {
    const Box frame = whole(canvas);
    const Point centre{frame.centreX(), frame.centreY()};
    const double radius = frame.width() * 0.42;
    dropShadow(canvas, circle({centre.x, centre.y + 1.2}, radius), 0.3f, 1.4);
    fill(canvas, circle(centre, radius), solid(slateEdge));
    fill(canvas, circle(centre, radius - 1),
         vertical(centre.y - radius, centre.y + radius,
                  {{0, slateLight}, {0.5, slate}, {1, slateDark}}));
    const double s = radius * 0.42, dir = pointsLeft ? -1 : 1;
    const double tip = centre.x + dir * s * 0.55;
    fill(canvas,
         polyline({{tip - dir * s, centre.y - s}, {tip, centre.y}, {tip - dir * s, centre.y + s}},
                  2.2),
         solid(white));
}

void drawComboButton(Canvas& canvas, Look look) {
    drawPushButton(canvas, look);
    const Box frame = whole(canvas);
    const double cx = frame.centreX(), cy = frame.centreY() - 1, s = frame.width() * 0.16;
    fill(canvas,
         polyline({{cx - s, cy - s * 0.5}, {cx, cy + s * 0.5}, {cx + s, cy - s * 0.5}}, 2.6),
         solid(look == Look::pressed ? hex(0xE4E2E6) : hex(0x3A393D)));
}

void drawSliderTrack(Canvas& canvas) {
    const Box frame = whole(canvas);
    const double h = 12;
    const Box track{2, std::round((frame.height() - h) / 2), frame.right - 2, 0};
    const Box box{track.left, track.top, track.right, track.top + h};
    lowerLip(canvas, box, h / 2, 0.85f);
    body(canvas, box, h / 2, solid(border),
         recessed(box.inset(1), hex(0xA9A7AE), hex(0xE2E0E5), 5));
}

void drawSliderKnob(Canvas& canvas) {
    const Box frame = whole(canvas);
    drawKnob(canvas, {frame.centreX(), frame.centreY() - 1}, frame.width() * 0.4, false);
}

void drawTitleBar(Canvas& canvas) {
    const double w = canvas.width();
    const double bar = canvas.height() - 4; // then a dark line and a band of dawn colour
    fill(canvas, rect({0, 0, w, bar}),
         vertical(
             0, bar,
             {{0, white}, {1.0 / bar, hex(0xF7F7F9)}, {0.5, hex(0xE8E8EC)}, {1, hex(0xD3D4D9)}}));
    fill(canvas, rect({0, bar, w, bar + 1}), solid(hex(0x9A9CA2)));
    fill(canvas, rect({0, bar + 1, w, bar + 4}),
         vertical(bar + 1, bar + 4, {{0, accentLight}, {1, accentDark}}));
}

void drawSectionDivider(Canvas& canvas) {
    const double w = canvas.width();
    const double bar = design::dividerBarHeight;
    fill(canvas, rect({0, 0, w, bar}),
         vertical(0, bar, {{0, slateLight}, {1.0 / bar, slate}, {1, slateDark}}));
    fill(canvas, rect({0, bar - 1, w, bar}), solid(slateEdge));
    // A tab of dawn colour in front of the caption, which starts ten pixels in.
    fill(canvas, rect({0, 0, 5, bar - 1}), vertical(0, bar, {{0, accentLight}, {1, accentDark}}));
    const float shadow[] = {0.28f, 0.15f, 0.07f, 0.02f};
    for (int row = 0; row < canvas.height() - static_cast<int>(bar) && row < 4; ++row) {
        fill(canvas, rect({0, bar + row, w, bar + row + 1}), solid(withAlpha(black, shadow[row])));
    }
}

void drawDotLine(Canvas& canvas) {
    for (int x = 0; x < canvas.width(); ++x) {
        if (x % 4 < 2) {
            canvas.blend(x, 0, dot, 1.0f);
        }
    }
}

void drawMessageBox(Canvas& canvas) {
    const Box frame = whole(canvas);
    // The text starts a fiftieth of the width in, so the sides keep no room for a shadow.
    const Box box{1, 1, frame.right - 1, frame.bottom - 5};
    const Box inner = box.inset(1);
    const double r = 14;
    const double band = design::messageBoxCaptionBand;
    dropShadow(canvas, roundedRect(box.moved(0, 2.5), r), 0.5f, 2.0);
    fill(canvas, roundedRect(box, r), solid(hex(0x3E4550)));
    // The body is exactly the toolkit's background, on which the buttons' corners are blended.
    fill(canvas, roundedRect(inner, r - 1), solid(toolkitBackground));
    fill(canvas, innerBand(roundedRect(inner, r - 1), 1.0), solid(withAlpha(white, 0.6f)));
    const Sdf caption = intersect(roundedRect(inner, r - 1), rect({0, 0, frame.right, band - 2}));
    fill(canvas, caption,
         vertical(inner.top, band - 2, {{0, slateLight}, {1.5 / band, slate}, {1, slateDark}}));
    fill(canvas, rect({inner.left, band - 2, inner.right, band}),
         vertical(band - 2, band, {{0, accent}, {1, accentDark}}));
    fill(canvas, rect({inner.left, band, inner.right, band + 6}),
         fadeVertically(solid(black), band, band + 6, 0.16f, 0));
}

void drawBackdrop(Canvas& canvas) {
    fill(canvas, rect(whole(canvas)), solid(backdrop));
}

void drawAppIcon(Canvas& canvas) {
    const double s = canvas.width();
    const auto at = [s](double x, double y) { return Point{x * s, y * s}; };
    const Box tile{0.04 * s, 0.04 * s, 0.96 * s, 0.96 * s};
    const double r = 0.2 * s;
    dropShadow(canvas, roundedRect(tile.moved(0, 0.015 * s), r), 0.4f, 0.02 * s + 0.5);
    fill(canvas, roundedRect(tile, r),
         vertical(tile.top, tile.bottom,
                  {{0, hex(0x22386A)},
                   {0.45, hex(0x6A4F8A)},
                   {0.75, hex(0xE0795A)},
                   {1, hex(0xF9B450)}}));
    // The sun coming up behind the bell.
    fill(canvas, intersect(roundedRect(tile, r), circle(at(0.5, 1.0), 0.55 * s)),
         radial(at(0.5, 1.0), 0.55 * s,
                {{0, hex(0xFFF1B8, 0.9f)}, {0.6, hex(0xFFD27A, 0.45f)}, {1, hex(0xFFB040, 0)}}));

    const double wave = std::max(0.028 * s, 1.0);
    const Point waveCentre = at(0.5, 0.45);
    for (double radius : {0.27, 0.37}) {
        for (double direction : {0.0, std::numbers::pi}) {
            fill(canvas, arc(waveCentre, radius * s, direction, 0.55, wave),
                 solid(withAlpha(white, 0.95f)));
        }
    }

    std::vector<Point> profile;
    std::vector<Point> left;
    for (int i = 0; i <= 40; ++i) {
        const double y = 0.25 + (0.64 - 0.25) * i / 40.0;
        double half = 0;
        if (y < 0.37) {
            half = std::sqrt(std::max(0.0, 0.12 * 0.12 - (y - 0.37) * (y - 0.37)));
        } else {
            const double t = (y - 0.37) / 0.27;
            half = 0.12 + 0.035 * t + 0.075 * t * t * t;
        }
        profile.push_back(at(0.5 + half, y));
        left.push_back(at(0.5 - half, y));
    }
    profile.insert(profile.end(), left.rbegin(), left.rend());
    const Sdf bell =
        unite(unite(polygon(profile),
                    roundedRect(Box{0.25 * s, 0.615 * s, 0.75 * s, 0.69 * s}, 0.035 * s)),
              circle(at(0.5, 0.235), 0.04 * s));
    const Sdf clapper = circle(at(0.5, 0.725), 0.055 * s);
    const double outline = std::max(0.018 * s, 1.0);
    const Rgba bronze = hex(0x6B3C04);
    fill(canvas, grow(clapper, outline), solid(bronze));
    fill(canvas, clapper,
         radial(at(0.48, 0.71), 0.06 * s, {{0, hex(0xFFE39A)}, {1, hex(0xC98414)}}));
    fill(canvas, grow(bell, outline), solid(bronze));
    fill(
        canvas, bell,
        horizontal(
            0.25 * s, 0.75 * s,
            {{0, hex(0xC47F12)}, {0.3, hex(0xFFE8A3)}, {0.55, hex(0xF7C24C)}, {1, hex(0xB06C08)}}));
    fill(canvas, intersect(bell, capsule(at(0.41, 0.38), at(0.37, 0.6), 0.022 * s)),
         solid(withAlpha(white, 0.55f)));
}

} // namespace imagegen

#include "gdi/DrawText.h"

#include "gdi/Font.h"
#include "gdi/StockObjects.h"
#include "gdi/TextLayout.h"
#include "wingdi.h"

#include <algorithm>

namespace platform::gdi {
namespace {

Font& selectedFont(const DeviceContext& dc) {
    if (Font* font = GdiObject::fromHandleAs<Font>(dc.font())) {
        return *font;
    }
    return *GdiObject::fromHandleAs<Font>(stockObject(SYSTEM_FONT));
}

struct Layout {
    std::wstring text;
    ShapedText shaped;
    std::vector<LineSpan> lines;
    LineMetrics metrics;
    int lineHeight = 0;

    int lineWidth(const LineSpan& line) const { return shaped.width(line.begin, line.end); }
    int widest() const {
        int widest = 0;
        for (const LineSpan& line : lines) {
            widest = std::max(widest, lineWidth(line));
        }
        return widest;
    }
};

Layout layOut(const DeviceContext& dc, std::wstring_view text, const RECT& rect, UINT format) {
    Layout layout;
    layout.text = removePrefixes(text, format);
    Font& font = selectedFont(dc);
    if (FontFace* face = font.face()) {
        const GlyphStyle style = font.glyphStyle();
        layout.metrics = face->metrics(style);
        layout.shaped = face->shape(layout.text, style);
    } else {
        layout.shaped.glyphs.assign(layout.text.size(), nullptr);
        layout.shaped.pen.assign(layout.text.size() + 1, 0);
    }
    layout.lineHeight = layout.metrics.height() +
                        ((format & DT_EXTERNALLEADING) ? layout.metrics.externalLeading : 0);
    layout.lines =
        breakLines(layout.text, format, rect.right - rect.left,
                   [&](std::size_t b, std::size_t e) { return layout.shaped.width(b, e); });
    return layout;
}

int firstLineTop(const Layout& layout, const RECT& rect, UINT format) {
    if (!(format & DT_SINGLELINE)) {
        return rect.top;
    }
    if (format & DT_VCENTER) {
        return rect.top + (rect.bottom - rect.top) / 2 - layout.lineHeight / 2;
    }
    if (format & DT_BOTTOM) {
        return rect.bottom - layout.lineHeight;
    }
    return rect.top;
}

int lineLeft(int width, const RECT& rect, UINT format) {
    if (format & DT_CENTER) {
        return (rect.left + rect.right - width) / 2;
    }
    if (format & DT_RIGHT) {
        return rect.right - width;
    }
    return rect.left;
}

void fillArea(const gfx::PixelView& view, const RECT& area, std::uint16_t colour) {
    for (int y = area.top; y < area.bottom; ++y) {
        std::fill(view.row(y) + area.left, view.row(y) + area.right, colour);
    }
}

// Blends one glyph's coverage in `colour` with its top-left corner at (x, y); returns the area.
RECT drawGlyph(const gfx::PixelView& view, const GlyphImage& glyph, int x, int y,
               const gfx::Rgb8& colour, const RECT& clip) {
    const RECT area = gfx::intersect({x, y, x + glyph.width, y + glyph.rows}, clip);
    for (int py = area.top; py < area.bottom; ++py) {
        const std::uint8_t* coverage =
            glyph.coverage.data() + static_cast<std::size_t>(py - y) * glyph.width - x;
        std::uint16_t* row = view.row(py);
        for (int px = area.left; px < area.right; ++px) {
            if (coverage[px] != 0) {
                row[px] = gfx::blend565(row[px], colour, coverage[px]);
            }
        }
    }
    return area;
}

RECT drawLines(const gfx::PixelView& view, const DeviceContext& dc, const Layout& layout,
               const RECT& rect, UINT format) {
    const RECT clip = (format & DT_NOCLIP) ? view.bounds() : gfx::intersect(rect, view.bounds());
    const gfx::Rgb8 colour = gfx::fromColorRef(dc.textColour);
    const std::uint16_t background = gfx::pack565(gfx::fromColorRef(dc.backgroundColour));
    RECT changed{0, 0, 0, 0};
    int y = firstLineTop(layout, rect, format);
    for (const LineSpan& line : layout.lines) {
        const int width = layout.lineWidth(line);
        const int x = lineLeft(width, rect, format);
        if (dc.backgroundMode == OPAQUE) {
            const RECT box = gfx::intersect({x, y, x + width, y + layout.lineHeight}, clip);
            fillArea(view, box, background);
            changed = gfx::unite(changed, box);
        }
        const int baseline = y + layout.metrics.ascent;
        for (std::size_t i = line.begin; i < line.end; ++i) {
            const GlyphImage* glyph = layout.shaped.glyphs[i];
            if (glyph == nullptr || glyph->coverage.empty()) {
                continue;
            }
            const int pen =
                static_cast<int>((layout.shaped.pen[i] - layout.shaped.pen[line.begin] + 32) >> 6);
            changed = gfx::unite(changed, drawGlyph(view, *glyph, x + pen + glyph->left,
                                                    baseline - glyph->top, colour, clip));
        }
        y += layout.lineHeight;
    }
    return changed;
}

} // namespace

int drawText(DeviceContext& dc, std::wstring_view text, RECT& rect, UINT format) {
    const Layout layout = layOut(dc, text, rect, format);
    const int height = (format & DT_SINGLELINE)
                           ? layout.lineHeight
                           : static_cast<int>(layout.lines.size()) * layout.lineHeight;
    if (format & DT_CALCRECT) {
        rect.right = rect.left + layout.widest();
        rect.bottom = rect.top + height;
    } else {
        dc.paint(
            [&](const gfx::PixelView& view) { return drawLines(view, dc, layout, rect, format); });
    }
    return height > 0 ? height : 1;
}

} // namespace platform::gdi

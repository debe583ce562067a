#include "MyLabel.h"

#include "DisplayFrame.h"
#include "Rect.h"
#include "TraceFailure.h"
#include "Tunables.h"

#include <algorithm>

namespace {

constexpr const wchar_t* kLabelFace = L"HelveticaNeueOTS.ttf";

LONG fontHeight(int points, int dotsPerInch) {
    return -(points * dotsPerInch) / tunables::pointsPerInch;
}

void setFaceName(LOGFONTW& description, const wchar_t* face) {
    size_t i = 0;
    for (; face[i] != L'\0' && i + 1 < LF_FACESIZE; ++i) {
        description.lfFaceName[i] = face[i];
    }
    std::fill(description.lfFaceName + i, description.lfFaceName + LF_FACESIZE, L'\0');
}

HFONT createIfMissing(HFONT font, const LOGFONTW& description) {
    return font != nullptr ? font : CreateFontIndirectW(&description);
}

// The fonts take everything but the fields set here from the display's current font.
void createFontsFrom(HDC dc) {
    LOGFONTW description{};
    GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof description, &description);
    const int dotsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
    setFaceName(description, kLabelFace);
    description.lfQuality = tunables::labelFontQuality;
    description.lfOutPrecision = tunables::labelFontPrecision;
    description.lfPitchAndFamily = tunables::labelFontPitchAndFamily;
    description.lfCharSet = tunables::labelFontCharSet;
    description.lfHeight = fontHeight(tunables::labelLargePoints, dotsPerInch);
    fontLarge = createIfMissing(fontLarge, description);
    description.lfHeight = fontHeight(tunables::labelNormalPoints, dotsPerInch);
    fontNormal = createIfMissing(fontNormal, description);
    description.lfItalic = TRUE;
    fontItalic = createIfMissing(fontItalic, description);
    description.lfItalic = FALSE;
    description.lfHeight = fontHeight(tunables::labelSmallPoints, dotsPerInch);
    fontSmall = createIfMissing(fontSmall, description);
}

// Needs the display's GDI surface; without it (no display yet) the fonts stay missing.
void createSharedFonts() {
    if ((fontLarge != nullptr && fontNormal != nullptr && fontItalic != nullptr &&
         fontSmall != nullptr) ||
        theFrame == nullptr || theFrame->directDraw == nullptr) {
        return;
    }
    IDirectDrawSurface* gdiSurface = nullptr;
    if (FAILED(theFrame->directDraw->GetGDISurface(&gdiSurface)) || gdiSurface == nullptr) {
        return;
    }
    HDC dc = nullptr;
    if (SUCCEEDED(gdiSurface->GetDC(&dc))) {
        createFontsFrom(dc);
        gdiSurface->ReleaseDC(dc);
    }
    gdiSurface->Release();
}

HFONT sharedFont(int fontKind) {
    switch (fontKind) {
    case labelFontLarge:
        return fontLarge;
    case labelFontItalic:
        return fontItalic;
    case labelFontSmall:
        return fontSmall;
    default:
        return fontNormal;
    }
}

// A device context to measure text on: backBuffer's when it exists, else the screen's, else the
// display's GDI surface's. All of them have the display's resolution.
class MeasuringContext {
public:
    MeasuringContext() {
        if (use(backBuffer)) {
            onBackBuffer = true;
        } else if (!use(primarySurface) && theFrame != nullptr && theFrame->directDraw != nullptr &&
                   SUCCEEDED(theFrame->directDraw->GetGDISurface(&gdiSurface_))) {
            use(gdiSurface_);
        }
    }
    ~MeasuringContext() {
        if (dc != nullptr) {
            surface_->ReleaseDC(dc);
        }
        if (gdiSurface_ != nullptr) {
            gdiSurface_->Release();
        }
    }
    MeasuringContext(const MeasuringContext&) = delete;
    MeasuringContext& operator=(const MeasuringContext&) = delete;

    HDC dc = nullptr;
    bool onBackBuffer = false;

private:
    bool use(IDirectDrawSurface* surface) {
        if (surface == nullptr || FAILED(surface->GetDC(&dc)) || dc == nullptr) {
            dc = nullptr;
            return false;
        }
        surface_ = surface;
        return true;
    }

    IDirectDrawSurface* surface_ = nullptr;
    IDirectDrawSurface* gdiSurface_ = nullptr;
};

// Word-wrapped extent of `text` within `width`, measured as DrawTextW will draw it.
RECT measureWithin(HDC dc, const std::wstring& text, LONG width) {
    RECT extent{0, 0, width, 1};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent, DT_CALCRECT | DT_WORDBREAK);
    return extent;
}

LONG singleLineWidth(HDC dc, const std::wstring& text) {
    RECT extent{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent,
              DT_CALCRECT | DT_SINGLELINE);
    return extent.right - extent.left;
}

} // namespace

MyLabel::MyLabel(int id, int x, int y, const std::wstring& initialText, int kindOfFont,
                 COLORREF colour, bool alreadyScaled)
    : Element(id, x, y, kindLabel, alreadyScaled), text(initialText), fontKind(kindOfFont) {
    right = viewRect.right;
    createSharedFonts();
    screenRect = RECT{left, top, right, bottom};
    textColour = colour;
    lastColour = ~colour;
    font = sharedFont(fontKind);
    loadSurf();
    right = left + textRect.right;
    bottom = top + textRect.bottom;
}

MyLabel::~MyLabel() {
    releaseSurface();
}

void MyLabel::releaseSurface() {
    if (surface != nullptr) {
        surface->Release();
        surface = nullptr;
    }
}

bool MyLabel::needsMeasuring() const {
    return surface == nullptr || (!measuredOnBackBuffer && backBuffer != nullptr);
}

void MyLabel::loadSurf() {
    if (needsMeasuring()) {
        setText(text, false);
    }
    // A label that spanned the whole width before the screen turned spans it again.
    if (right == GetSystemMetrics(SM_CYSCREEN)) {
        right = GetSystemMetrics(SM_CXSCREEN);
    }
}

bool MyLabel::measure() {
    if (font == nullptr) {
        // Built before the display existed: the fonts can be made now.
        createSharedFonts();
        font = sharedFont(fontKind);
    }
    MeasuringContext context;
    if (context.dc == nullptr) {
        return false;
    }
    // Without the shared fonts the text is measured, and later drawn, in the context's font.
    HGDIOBJ previous = font != nullptr ? SelectObject(context.dc, font) : nullptr;
    // The surface is wider than the text by its padding: the text wraps early enough for the
    // padded surface to end inside the view, not beyond its right edge.
    const LONG edge = wrapWidth > 0 ? left + wrapWidth : viewRect.right;
    textRect = measureWithin(context.dc, text, edge - left - tunables::labelTextPaddingPx);
    if (textRect.right > edge) {
        textRect = measureWithin(context.dc, text, right - left);
    }
    if (previous != nullptr) {
        SelectObject(context.dc, previous);
    }
    measuredOnBackBuffer = context.onBackBuffer;
    return true;
}

void MyLabel::setText(const std::wstring& newText, bool redraw) {
    // A box asked on another thread may be painting the screen, this label with it.
    MotionLockGuard lock;
    const int heightBefore = bottom - top;
    text = newText;
    releaseSurface();
    lastColour = ~textColour;
    if (!measure()) {
        return; // nothing to measure on yet: loadSurf or the next paint measures it
    }
    textRect.right += tunables::labelTextPaddingPx;
    createDisplaySurface(
        static_cast<DWORD>(std::max<LONG>(textRect.right, tunables::labelMinSurfacePx)),
        static_cast<DWORD>(std::max<LONG>(textRect.bottom, tunables::labelMinSurfacePx)), 0,
        &surface);
    if (parent != nullptr) {
        parent->childResized(this, textRect.right, textRect.bottom);
    }
    if (textRect.right > right - left) {
        right = left + textRect.right;
    }
    if (textRect.bottom > bottom - top) {
        bottom = top + textRect.bottom;
    }
    if (redraw) {
        // Grown taller, the label pushed down whatever follows it in its container: all of that
        // is drawn again where it now lies, and nothing is left where it lay.
        if (parent != nullptr && bottom - top > heightBefore) {
            parent->setMustRedraw();
        } else {
            setMustRedraw();
        }
    }
}

void MyLabel::wrapWithin(LONG width) {
    wrapWidth = width;
    // Measured afresh: the label may now be narrower and taller than it was.
    right = left;
    bottom = top;
    setText(text, false);
}

void MyLabel::setTextOnOneLine(const std::wstring& newText, LONG width) {
    static constexpr wchar_t ellipsis[] = L"...";
    std::wstring fitted = newText;
    MeasuringContext context;
    if (context.dc != nullptr && font != nullptr) {
        HGDIOBJ previous = SelectObject(context.dc, font);
        const LONG room = width - tunables::labelTextPaddingPx;
        if (singleLineWidth(context.dc, newText) > room) {
            // The longest start that fits with the ellipsis after it.
            size_t fits = 0;
            size_t tooLong = newText.size();
            while (tooLong - fits > 1) {
                const size_t middle = fits + (tooLong - fits) / 2;
                if (singleLineWidth(context.dc, newText.substr(0, middle) + ellipsis) <= room) {
                    fits = middle;
                } else {
                    tooLong = middle;
                }
            }
            fitted = newText.substr(0, fits) + ellipsis;
        }
        SelectObject(context.dc, previous);
    }
    // Line breaks would make more lines: a one-line text shows them as spaces.
    for (wchar_t& c : fitted) {
        if (c == L'\n' || c == L'\r') {
            c = L' ';
        }
    }
    setText(fitted, false);
}

void MyLabel::paint(IDirectDrawSurface* target, int originX, int originY) {
    COLORREF colour = textColour;
    WORD key = tunables::labelKeyColour;
    if (clickable != 0) {
        const bool pressed = state == labelPressed || state == labelTapped;
        colour = pressed ? tunables::pressedTextColour : tunables::clickableTextColour;
        key = pressed ? tunables::pressedKeyColour : tunables::labelKeyColour;
    }
    paint(target, originX, originY, colour, key);
    // Hit tests use the label's own place, without the owner's offsets.
    screenRect.left = originX + left;
    screenRect.top = originY + top;
}

void MyLabel::paint(IDirectDrawSurface* target, int originX, int originY, COLORREF colour,
                    WORD key) {
    if (needsMeasuring()) {
        setText(text, false);
    }
    const LONG x = originX + offsetX + left;
    const LONG y = originY + offsetY + top;
    screenRect = translated(textRect, x, y);
    if (!overlaps(screenRect, dirtyRect)) {
        return;
    }
    const auto [place, source] = clipPlaceAndSource(screenRect, textRect, dirtyRect);
    screenRect = place;
    srcRect = source;
    if (isEmpty(srcRect) || surface == nullptr) {
        return;
    }
    // The key is part of what the surface holds: text drawn over one key and copied with
    // another would bring its whole background along.
    const bool rendered = colour == lastColour && key == keyColour.dwColorSpaceLowValue;
    if (!rendered) {
        render(colour, key);
    }
    DDBLTFX effects{};
    effects.dwSize = sizeof effects;
    effects.ddckSrcColorkey = keyColour;
    const HRESULT hr = target->Blt(&screenRect, surface, &srcRect,
                                   DDBLT_KEYSRCOVERRIDE | DDBLT_WAITNOTBUSY, &effects);
    if (FAILED(hr)) {
        traceFailure(hr, rendered ? L"MyLabel Blt(previousColor);" : L"MyLabel Blt(newColor);");
    }
}

void MyLabel::render(COLORREF colour, WORD key) {
    lastColour = colour;
    keyColour = DDCOLORKEY{key, key};
    colourFill(surface, nullptr, key);
    HDC dc = nullptr;
    const HRESULT hr = surface->GetDC(&dc);
    if (FAILED(hr)) {
        traceFailure(hr, L"MyLabel::paint GetDC(&hdc);");
    } else {
        HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
        SetTextColor(dc, colour);
        SetBkMode(dc, TRANSPARENT);
        RECT area = textRect;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, DT_WORDBREAK);
        if (previous != nullptr) {
            SelectObject(dc, previous);
        }
        surface->ReleaseDC(dc);
    }
}

Element* MyLabel::hitTest(int x, int y) {
    if (clickable == 0) {
        return nullptr;
    }
    screenRect.right = screenRect.left + (right - left);
    if (!touchLandsOn(x, y, right - left)) {
        return nullptr;
    }
    selected = 1;
    if (state == labelNormal || state == labelTapped) {
        state = labelPressed;
        setMustRedraw();
    }
    return this;
}

int MyLabel::onClick() {
    Element::onClick();
    if (state == labelNormal || state == labelPressed) {
        state = labelTapped;
        setMustRedraw();
    }
    return 0;
}

void MyLabel::unselect() {
    if (state == labelPressed || state == labelTapped) {
        state = labelNormal;
        setMustRedraw();
    }
}

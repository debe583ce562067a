#include "MyPanel.h"

#include "DisplayFrame.h"
#include "ImageLoader.h"
#include "Rect.h"
#include "ResourceManager.h"
#include "TraceFailure.h"
#include "Tunables.h"

#include <algorithm>
#include <cwchar>
#include <utility>

namespace {

// What of `r` lies in the band being repainted (and on the screen).
RECT clippedToDirty(const RECT& r) {
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return intersection(intersection(r, dirtyRect), screen);
}

int scaled(int designPx) {
    return static_cast<int>(designPx * scaleFactor);
}

int surfaceWidth(IDirectDrawSurface* surface, int* height = nullptr) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (surface == nullptr || FAILED(surface->GetSurfaceDesc(&desc))) {
        return 0;
    }
    if (height != nullptr) {
        *height = static_cast<int>(desc.dwHeight);
    }
    return static_cast<int>(desc.dwWidth);
}

HFONT createCaptionFont(HDC dc) {
    LOGFONTW font{};
    font.lfHeight =
        -(GetDeviceCaps(dc, LOGPIXELSY) * tunables::panelCaptionPoints) / tunables::pointsPerInch;
    font.lfWeight = tunables::panelCaptionWeight;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    std::wcsncpy(font.lfFaceName, labelFontFile, LF_FACESIZE - 1);
    return CreateFontIndirectW(&font);
}

} // namespace

MyPanel::MyPanel(int id, int x, int y, int width, const std::wstring& panelTitle, BYTE withTitle,
                 BYTE withSeparators)
    : Element(id, x, y, kindPanel, false), title(panelTitle), hasTitle(withTitle),
      showSeparators(withSeparators) {
    right = left + (width < 1 ? viewRect.right : width);
    if (titleImage == nullptr) {
        loadSurf();
    }
    bottom = top + (hasTitle ? titleImageHeight : 0);
    titleRect = RECT{left, top, right, top + titleImageHeight};
}

MyPanel::~MyPanel() {
    for (Element* child : children) {
        delete child;
    }
    if (bkgSurface != nullptr) {
        bkgSurface->Release();
    }
}

void MyPanel::loadSurf() {
    if (titleImage == nullptr) {
        titleImage = loadImage(imagePaths[imageDividerSection]);
        titleImageWidth = surfaceWidth(titleImage, &titleImageHeight);
        separatorImage = loadImage(imagePaths[imageDotLine]);
        separatorImageWidth = surfaceWidth(separatorImage);
        buildSeparatorLine();
    }
    // After a turn, a panel as wide as the old screen becomes as wide as the new one.
    if (right == GetSystemMetrics(SM_CYSCREEN)) {
        right = titleRect.right = GetSystemMetrics(SM_CXSCREEN);
    }
    if (bkgSurface == nullptr) {
        computeSurface();
    }
}

void MyPanel::buildSeparatorLine() {
    const int tile = separatorImageWidth;
    if (tile <= 0 || separatorImage == nullptr) {
        return;
    }
    const int longest = std::max(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    const int width = (longest + tile - 1) / tile * tile;
    if (FAILED(createDisplaySurface(static_cast<DWORD>(width), 1, 0, &separatorLine))) {
        separatorLine = nullptr; // separators are then tiled from the image itself
        return;
    }
    RECT source{0, 0, tile, 1};
    for (LONG x = 0; x < width; x += tile) {
        RECT dest{x, 0, x + tile, 1};
        separatorLine->Blt(&dest, separatorImage, &source, DDBLT_WAITNOTBUSY, nullptr);
    }
    separatorLineWidth = width;
}

void MyPanel::computeSurface() {
    if (bkgSurface != nullptr) {
        std::exchange(bkgSurface, nullptr)->Release();
    }
    if (titleImage == nullptr) {
        return;
    }
    HRESULT hr = createDisplaySurface(static_cast<DWORD>(titleImageWidth),
                                      static_cast<DWORD>(titleImageHeight), 0, &bkgSurface);
    if (FAILED(hr)) {
        bkgSurface = nullptr;
        traceFailure(hr, L"computeSurface(bkgSurface);");
        return;
    }
    RECT whole{0, 0, titleImageWidth, titleImageHeight};
    hr = bkgSurface->Blt(nullptr, titleImage, &whole, DDBLT_WAITNOTBUSY, nullptr);
    if (FAILED(hr)) {
        traceFailure(hr, L"computeSurface(Blt);");
    }
    HDC dc = nullptr;
    hr = bkgSurface->GetDC(&dc);
    if (FAILED(hr)) {
        traceFailure(hr, L"Section::paint : GetDC(&hdc);");
        return;
    }
    drawCaption(dc);
    bkgSurface->ReleaseDC(dc);
}

// White, left-aligned, its capitals centred on the dark part of the bar (the last rows of the
// bar are a shadow).
void MyPanel::drawCaption(HDC dc) {
    if (captionFont == nullptr) {
        captionFont = createCaptionFont(dc);
    }
    HGDIOBJ previous = captionFont != nullptr ? SelectObject(dc, captionFont) : nullptr;
    SetTextColor(dc, tunables::panelCaptionColour);
    SetBkMode(dc, TRANSPARENT);
    RECT caption{scaled(tunables::panelCaptionLeftPx), scaled(tunables::panelCaptionTopPx),
                 right - left, titleImageHeight};
    DrawTextW(dc, title.c_str(), -1, &caption, DT_SINGLELINE | DT_VCENTER);
    if (previous != nullptr) {
        SelectObject(dc, previous);
    }
}

int MyPanel::claimedHeight(const Element* child, int minHeight) const {
    const int own = child != nullptr ? child->bottom : 0;
    return std::max(own, static_cast<int>(minHeight * scaleFactor));
}

void MyPanel::add(Element* child, int minHeight, int index) {
    const int claimed = claimedHeight(child, minHeight);
    if (child != nullptr) {
        child->parent = this;
    }
    if (index < 0 || static_cast<size_t>(index) >= children.size()) {
        appendChild(child, claimed);
        growBy(claimed + (showSeparators ? 1 : 0));
    } else {
        growBy(insertChild(child, claimed, static_cast<size_t>(index)));
    }
}

void MyPanel::appendChild(Element* child, int claimed) {
    children.push_back(child);
    rowHeights.push_back(claimed);
    newRow.push_back(true);
}

// Puts the child right after `index`, in the same row; returns how much the row grew.
int MyPanel::insertChild(Element* child, int claimed, size_t index) {
    size_t rowStart = index;
    while (rowStart > 0 && !newRow[rowStart]) {
        --rowStart;
    }
    size_t rowEnd = index + 1;
    while (rowEnd < children.size() && !newRow[rowEnd]) {
        ++rowEnd;
    }
    const int rowMax = *std::max_element(rowHeights.begin() + static_cast<long>(rowStart),
                                         rowHeights.begin() + static_cast<long>(rowEnd));
    const auto at = static_cast<long>(index + 1);
    children.insert(children.begin() + at, child);
    rowHeights.insert(rowHeights.begin() + at, claimed);
    newRow.insert(newRow.begin() + at, false);
    return std::max(0, claimed - rowMax);
}

// The panel and its container grow together, so the container's content height stays true.
void MyPanel::growBy(int pixels) {
    bottom += pixels;
    if (parent != nullptr) {
        parent->bottom += pixels;
    }
}

// A child's own y is its top margin inside its row, so the row must hold y + height.
void MyPanel::childResized(Element* child, int /*width*/, int height) {
    const auto it = std::find(children.begin(), children.end(), child);
    if (it == children.end() || child == nullptr) {
        return;
    }
    int& claimed = rowHeights[static_cast<size_t>(it - children.begin())];
    const int needed = child->top + height;
    if (claimed < needed) {
        growBy(needed - claimed);
        claimed = needed;
    }
}

Element* MyPanel::hitTest(int x, int y) {
    return firstChildHit(children, x, y);
}

void MyPanel::paint(IDirectDrawSurface* target, int originX, int originY) {
    if (bkgSurface == nullptr) {
        computeSurface();
    }
    // The whole panel on the screen, so that setMustRedraw on it repaints exactly the panel.
    screenRect = RECT{originX + left, originY + top,
                      std::min<LONG>(originX + right, viewRect.right), originY + bottom};
    int rowTop = originY + top;
    if (hasTitle) {
        const RECT bar{originX + titleRect.left, originY + titleRect.top, originX + titleRect.right,
                       originY + titleRect.bottom};
        if (!paintTitle(target, bar)) {
            return;
        }
        rowTop += titleImageHeight;
    }
    int rowHeight = 0;
    for (size_t i = 0; i < children.size(); ++i) {
        if (i > 0) {
            rowHeight = std::max(rowHeight, rowHeights[i - 1]);
            if (newRow[i]) {
                rowTop += rowHeight;
                rowHeight = 0;
                if (showSeparators) {
                    paintSeparator(target, rowTop);
                    rowTop += 1;
                }
            }
        }
        if (children[i] != nullptr) {
            children[i]->paint(target, originX + left, rowTop);
        }
    }
}

// Returns false when painting must stop (a failed extension of the bar).
bool MyPanel::paintTitle(IDirectDrawSurface* target, const RECT& bar) {
    RECT dest = clippedToDirty(bar);
    if (isEmpty(dest)) {
        return true;
    }
    const LONG imageEnd = bar.left + titleImageWidth;
    if (dest.right > imageEnd && titleImage != nullptr) {
        // The bar keeps one colour along each row: past the image, the image's right half is
        // copied so that its last column lands on the panel's last column, and a bar wider than
        // one and a half images is filled between with the middle column. (Copied from further
        // left, the image's left edge showed as a seam in the bar.)
        const LONG half = titleImageWidth / 2;
        const LONG rightPart = std::max(imageEnd, bar.right - (titleImageWidth - half));
        const RECT pieces[] = {RECT{imageEnd, dest.top, rightPart, dest.bottom},
                               RECT{rightPart, dest.top, bar.right, dest.bottom}};
        for (const RECT& piece : pieces) {
            RECT to = intersection(piece, dest);
            if (isEmpty(to)) {
                continue;
            }
            RECT source = translated(to, titleImageWidth - bar.right, -bar.top);
            if (&piece == &pieces[0]) {
                source.left = half;
                source.right = half + 1;
            }
            const HRESULT hr = target->Blt(&to, titleImage, &source, DDBLT_WAITNOTBUSY, nullptr);
            if (FAILED(hr)) {
                traceFailure(hr, L"MyPanel Blt(bkgSurface);");
                return false;
            }
        }
        dest.right = std::max(dest.left, std::min(dest.right, imageEnd));
    }
    if (isEmpty(dest) || bkgSurface == nullptr) {
        return true;
    }
    titleSrcRect = translated(dest, -bar.left, -bar.top);
    const HRESULT hr = target->Blt(&dest, bkgSurface, &titleSrcRect, DDBLT_WAITNOTBUSY, nullptr);
    if (FAILED(hr)) {
        traceFailure(hr, L"MyPanel:paint Blt");
    }
    return true;
}

// The dotted line across the panel at screen row `row`, tiled from the panel's left edge.
void MyPanel::paintSeparator(IDirectDrawSurface* target, int row) {
    const RECT line = clippedToDirty(RECT{screenRect.left, row, screenRect.right, row + 1});
    IDirectDrawSurface* pattern = separatorLine != nullptr ? separatorLine : separatorImage;
    const int tile = separatorLine != nullptr ? separatorLineWidth : separatorImageWidth;
    if (isEmpty(line) || tile <= 0 || pattern == nullptr) {
        return;
    }
    for (LONG x = line.left; x < line.right;) {
        const LONG phase = (x - screenRect.left) % tile;
        const LONG end = std::min<LONG>(line.right, x - phase + tile);
        RECT dest{x, row, end, row + 1};
        RECT source{phase, 0, phase + (end - x), 1};
        const HRESULT hr = target->Blt(&dest, pattern, &source, DDBLT_WAITNOTBUSY, nullptr);
        if (FAILED(hr)) {
            traceFailure(hr, L"MyPanel::paint Blt");
            return;
        }
        x = end;
    }
}

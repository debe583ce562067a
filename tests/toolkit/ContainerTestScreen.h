// Stand-ins for leaf widgets (labels, text fields, image buttons) that the container tests put
// into a Section and a MyPanel, and a screen laid out like the program's main screen, built from
// real labels and items with stand-ins for its text fields, for the container tests, the
// container benchmarks and the documentation picture. Like the real widgets, each stand-in keeps
// its picture in a surface of its own made by loadSurf, copies only what lies in dirtyRect, and
// is hit-tested on the screenRect its last paint stored.
#pragma once

#include "DisplayFrame.h"
#include "Element.h"
#include "MyItem.h"
#include "MyLabel.h"
#include "MyPanel.h"
#include "ResourceManager.h"
#include "Section.h"
#include "TraceFailure.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <string>
#include <utility>

namespace toolkit_test {

// A leaf widget that shows the picture in its own surface and counts what the containers ask
// of it. x and y are in the design space, like a real widget's.
class PictureWidget : public Element {
public:
    PictureWidget(int id, int x, int y) : Element(id, x, y, kindLabel, false) {}
    ~PictureWidget() override {
        if (surface_ != nullptr) {
            surface_->Release();
        }
    }

    void loadSurf() override {
        if (surface_ != nullptr) {
            std::exchange(surface_, nullptr)->Release();
        }
        const SIZE size = measure();
        right = left + size.cx;
        bottom = top + size.cy;
        if (SUCCEEDED(createDisplaySurface(static_cast<DWORD>(size.cx), static_cast<DWORD>(size.cy),
                                           0, &surface_))) {
            draw(surface_);
        } else {
            surface_ = nullptr;
        }
    }

    void paint(IDirectDrawSurface* target, int originX, int originY) override {
        screenRect = RECT{originX + left, originY + top, originX + right, originY + bottom};
        RECT dest{std::max(screenRect.left, dirtyRect.left),
                  std::max(screenRect.top, dirtyRect.top),
                  std::min(screenRect.right, dirtyRect.right),
                  std::min(screenRect.bottom, dirtyRect.bottom)};
        if (surface_ == nullptr || dest.right <= dest.left || dest.bottom <= dest.top) {
            return;
        }
        RECT source{dest.left - screenRect.left, dest.top - screenRect.top,
                    dest.right - screenRect.left, dest.bottom - screenRect.top};
        DDBLTFX fx{};
        fx.dwSize = sizeof fx;
        fx.ddckSrcColorkey = DDCOLORKEY{colourKey_, colourKey_};
        const DWORD flags = DDBLT_WAITNOTBUSY | (keyed_ ? DDBLT_KEYSRCOVERRIDE : 0);
        const HRESULT hr = target->Blt(&dest, surface_, &source, flags, keyed_ ? &fx : nullptr);
        if (FAILED(hr)) {
            traceFailure(hr, L"PictureWidget Blt");
        }
    }

    Element* hitTest(int x, int y) override {
        const int screenY = y + clientRect.top;
        if (x < screenRect.left || x >= screenRect.right || screenY < screenRect.top ||
            screenY >= screenRect.bottom) {
            return nullptr;
        }
        ++hits;
        selected = 1;
        return this;
    }
    int onClick() override {
        ++clicks;
        return Element::onClick();
    }
    void unselect() override {
        ++unselects;
        Element::unselect();
    }

    int hits = 0;
    int clicks = 0;
    int unselects = 0;

protected:
    virtual SIZE measure() = 0;
    virtual void draw(IDirectDrawSurface* surface) = 0;

    // Copied with this colour left out, as labels are.
    void useColourKey(std::uint16_t key) {
        keyed_ = true;
        colourKey_ = key;
    }

    IDirectDrawSurface* surface_ = nullptr;

private:
    bool keyed_ = false;
    DWORD colourKey_ = 0;
};

// A font of the label face at `points` on this screen.
inline HFONT labelFont(HDC dc, int points, LONG weight = FW_NORMAL) {
    LOGFONTW font{};
    font.lfHeight = -(GetDeviceCaps(dc, LOGPIXELSY) * points) / 72;
    font.lfWeight = weight;
    font.lfQuality = CLEARTYPE_QUALITY;
    std::wcsncpy(font.lfFaceName, labelFontFile, LF_FACESIZE - 1);
    return CreateFontIndirectW(&font);
}

// Draws `text` on a device context of `surface` in the label face.
template <typename Work>
void withTextContext(IDirectDrawSurface* surface, int points, Work work) {
    HDC dc = nullptr;
    if (surface == nullptr || FAILED(surface->GetDC(&dc))) {
        return;
    }
    HFONT font = labelFont(dc, points);
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    work(dc);
    SelectObject(dc, previous);
    DeleteObject(font);
    surface->ReleaseDC(dc);
}

// A label: one line of dark text in the label face, keyed onto what lies behind it.
class TextLine : public PictureWidget {
public:
    TextLine(int id, int x, int y, std::wstring text)
        : PictureWidget(id, x, y), text_(std::move(text)) {
        useColourKey(0xFFFF);
        loadSurf();
    }

protected:
    static constexpr int kPoints = 9;

    SIZE measure() override {
        RECT extent{0, 0, 0, 0};
        if (backBuffer != nullptr) {
            withTextContext(backBuffer, kPoints, [&](HDC dc) {
                DrawTextW(dc, text_.c_str(), -1, &extent, DT_CALCRECT | DT_SINGLELINE);
            });
        }
        return SIZE{std::max<LONG>(extent.right + 5, 16), std::max<LONG>(extent.bottom, 16)};
    }
    void draw(IDirectDrawSurface* surface) override {
        colourFill(surface, nullptr, 0xFFFF);
        withTextContext(surface, kPoints, [&](HDC dc) {
            SetTextColor(dc, 0x000000);
            RECT all{0, 0, right - left, bottom - top};
            DrawTextW(dc, text_.c_str(), -1, &all, DT_SINGLELINE);
        });
    }

private:
    std::wstring text_;
};

// How a box shows its face: every pixel different (for pixel-exact comparisons and for
// benchmarks), or plainly, as a field or a button looks (for pictures).
enum class BoxFace { distinct, plain };

// A text field or an image button: a box of the design size (scaled like the images), with an
// optional centred caption.
class Box : public PictureWidget {
public:
    Box(int id, int x, int y, int width, int designHeight, BoxFace face, std::wstring caption = {})
        : PictureWidget(id, x, y), width_(width),
          height_(static_cast<int>(designHeight * scaleFactor)), face_(face),
          caption_(std::move(caption)) {
        loadSurf();
    }

    // The colour of pixel (x, y) of a distinct box: a hash, so that any shifted, stale or
    // missing band shows.
    std::uint16_t distinctPixel(int x, int y) const {
        std::uint32_t h = static_cast<std::uint32_t>(elementId * 7919 + x * 131 + y * 1031);
        h ^= h >> 13;
        h *= 0x5bd1e995u;
        h ^= h >> 15;
        return static_cast<std::uint16_t>(h);
    }

protected:
    SIZE measure() override { return SIZE{width_, height_}; }
    void draw(IDirectDrawSurface* surface) override {
        if (face_ == BoxFace::distinct) {
            drawDistinct(surface);
        } else {
            drawPlain(surface);
        }
    }

private:
    void drawDistinct(IDirectDrawSurface* surface) {
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof desc;
        if (FAILED(surface->Lock(nullptr, &desc, DDLOCK_WAITNOTBUSY, nullptr))) {
            return;
        }
        for (int y = 0; y < height_; ++y) {
            auto* row = reinterpret_cast<std::uint16_t*>(static_cast<BYTE*>(desc.lpSurface) +
                                                         static_cast<size_t>(y) * desc.lPitch);
            for (int x = 0; x < width_; ++x) {
                row[x] = distinctPixel(x, y);
            }
        }
        surface->Unlock(nullptr);
    }

    void drawPlain(IDirectDrawSurface* surface) {
        const bool button = !caption_.empty();
        colourFill(surface, nullptr, button ? 0x8C71 : 0x9CD3); // the border
        RECT inside{2, 2, width_ - 2, height_ - 2};
        colourFill(surface, &inside, button ? 0xE71C : 0xFFFF);
        withTextContext(surface, 9, [&](HDC dc) {
            SetTextColor(dc, 0x202020);
            RECT all{0, 0, width_, height_};
            DrawTextW(dc, caption_.c_str(), -1, &all, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
        });
    }

    int width_;
    int height_;
    BoxFace face_;
    std::wstring caption_;
};

// The widgets of a screen like the program's main screen, all owned by the section.
struct ContainerScreen {
    Section* section = nullptr;
    MyPanel* panel = nullptr;
    Box* hostField = nullptr;
    MyItem* sendButton = nullptr;
    MyLabel* status = nullptr;
    MyItem* quitButton = nullptr;
};

// A section "Dawnbell" holding a titled panel of three captions with their fields, a send
// button, a status line and a quit button: taller than the view, so it scrolls. The fields are
// stand-ins whose faces are `face`; everything else is the real widgets. Needs an open frame and
// the resource set loaded.
inline ContainerScreen buildContainerScreen(BoxFace face, BYTE separators) {
    const int width = viewRect.right;
    const auto caption = [](int x, int y, const wchar_t* text, int id = -1) {
        return new MyLabel(id, x, y, text, labelFontNormal, 0x000000, false);
    };
    ContainerScreen screen;
    screen.section = new Section(100, 0, 0, width, L"Dawnbell");
    screen.panel = new MyPanel(-1, 0, 0, width, L"Host information :", 1, separators);
    const int fieldWidth = width - static_cast<int>(60 * scaleFactor);
    screen.panel->add(caption(10, 15, L"Host IP or name :"), -1, -1);
    screen.panel->add(screen.hostField = new Box(1, 30, 0, fieldWidth, 56, face), -1, -1);
    screen.panel->add(caption(10, 10, L"Mac address :"), -1, -1);
    screen.panel->add(new Box(2, 30, 0, fieldWidth, 56, face), -1, -1);
    screen.panel->add(caption(10, 5, L"Port :"), -1, -1);
    screen.panel->add(new Box(3, 30, 0, fieldWidth, 56, face), -1, -1);
    screen.section->add(screen.panel, -1, -1);
    screen.sendButton = new MyItem(4, 10, 30, itemButton, itemOff, L"Send magic packet !");
    screen.section->add(screen.sendButton, -1, -1);
    screen.status = caption(10, 30, L"Trying to connect...", 6);
    screen.section->add(screen.status, -1, -1);
    screen.quitButton = new MyItem(5, 150, 150, itemSmallBoxButton, itemOff, L"Quit");
    screen.section->add(screen.quitButton, -1, -1);
    return screen;
}

} // namespace toolkit_test

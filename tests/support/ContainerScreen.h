// A stand-in for text fields, and a screen laid out like the program's main screen, built from
// real labels and items with the stand-ins for its text fields, for the container tests, the
// container benchmarks and the documentation pictures.
#pragma once

#include "DisplayFrame.h"
#include "Element.h"
#include "MyEditControl.h"
#include "MyItem.h"
#include "MyLabel.h"
#include "MyPanel.h"
#include "ResourceManager.h"
#include "Section.h"
#include "Rect.h"
#include "support/Gfx.h"

#include <array>
#include <cstdint>
#include <utility>

namespace toolkit_test {

// How a box shows its face: every pixel different (for pixel-exact comparisons and for
// benchmarks), or plainly, as a field looks (for pictures). Or no box: the real text field.
enum class BoxFace { distinct, plain, textField };

// A text field: a box of the design size, scaled like the images, that counts what the
// containers ask of it. x and y are in the design space, like a real widget's.
class Box : public Element {
public:
    Box(int id, int x, int y, int width, int designHeight, BoxFace face)
        : Element(id, x, y, kindLabel, false), face_(face) {
        right = left + width;
        bottom = top + static_cast<int>(designHeight * scaleFactor);
        loadSurf();
    }
    ~Box() override {
        if (surface_ != nullptr) {
            surface_->Release();
        }
    }

    void loadSurf() override {
        if (surface_ != nullptr) {
            std::exchange(surface_, nullptr)->Release();
        }
        const int width = right - left;
        const int height = bottom - top;
        if (FAILED(createDisplaySurface(static_cast<DWORD>(width), static_cast<DWORD>(height), 0,
                                        &surface_))) {
            surface_ = nullptr;
            return;
        }
        colourFill(surface_, nullptr, 0x9CD3); // the plain face's border
        RECT inside{2, 2, width - 2, height - 2};
        colourFill(surface_, &inside, 0xFFFF);
        if (face_ == BoxFace::distinct) { // a hash: a shifted or stale band shows
            gfxtest::Pixels hashed(static_cast<size_t>(width * height));
            for (int i = 0; i < width * height; ++i) {
                auto h = static_cast<std::uint32_t>(elementId * 7919 + i % width * 131 +
                                                    i / width * 1031);
                h = (h ^ (h >> 13)) * 0x5bd1e995u;
                hashed[static_cast<size_t>(i)] = static_cast<std::uint16_t>(h ^ (h >> 15));
            }
            gfxtest::pixelsOf(*surface_, &hashed);
        }
    }

    // Copies only what lies in dirtyRect, as the real widgets do.
    void paint(IDirectDrawSurface* target, int originX, int originY) override {
        screenRect = RECT{originX + left, originY + top, originX + right, originY + bottom};
        auto [dest, source] =
            clipPlaceAndSource(screenRect, RECT{0, 0, right - left, bottom - top}, dirtyRect);
        if (surface_ != nullptr && !isEmpty(dest)) {
            target->Blt(&dest, surface_, &source, DDBLT_WAITNOTBUSY, nullptr);
        }
    }

    Element* hitTest(int x, int y) override {
        const int screenY = y + clientRect.top;
        if (!overlaps(screenRect, RECT{x, screenY, x + 1, screenY + 1})) {
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

private:
    BoxFace face_;
    IDirectDrawSurface* surface_ = nullptr;
};

// The widgets of a screen like the program's main screen, all owned by the section.
struct ContainerScreen {
    Section* section = nullptr;
    MyPanel* panel = nullptr;
    std::array<Element*, 3> fields{}; // host, MAC address, port
    MyItem* sendButton = nullptr;
    MyLabel* status = nullptr;
    MyItem* quitButton = nullptr;
};

// A section "Dawnbell" holding a titled panel of three captions with their fields, a send
// button, a status line and a quit button: taller than the view, so it scrolls. The fields are
// stand-ins whose faces are `face`, or real text fields; everything else is the real widgets. Needs
// an open frame and the resource set loaded.
inline ContainerScreen buildContainerScreen(BoxFace face, BYTE separators) {
    const int width = viewRect.right;
    const auto caption = [](int x, int y, const wchar_t* text, int id = -1) {
        return new MyLabel(id, x, y, text, labelFontNormal, 0x000000, false);
    };
    ContainerScreen screen;
    screen.section = new Section(100, 0, 0, width, L"Dawnbell");
    screen.panel = new MyPanel(-1, 0, 0, width, L"Host information :", 1, separators);
    const int fieldWidth = width - static_cast<int>(60 * scaleFactor);
    const wchar_t* const captions[] = {L"Host IP or name :", L"Mac address :", L"Port :"};
    for (int i = 0; i < 3; ++i) {
        screen.panel->add(caption(10, 15 - 5 * i, captions[i]), -1, -1);
        screen.fields[static_cast<size_t>(i)] =
            face == BoxFace::textField
                ? static_cast<Element*>(new MyEditControl(i + 1, 30, 0, fieldWidth))
                : new Box(i + 1, 30, 0, fieldWidth, 56, face);
        screen.panel->add(screen.fields[static_cast<size_t>(i)], -1, -1);
    }
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

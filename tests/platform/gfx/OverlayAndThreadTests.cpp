// Overlay surfaces composed above the screen while shown, and surfaces used from several
// threads at once (the worker that updates a label while the user-interface thread scrolls).
#include "support/Gfx.h"

#include <thread>
#include <tuple>

using namespace gfxtest;

namespace {

class OverlayTest : public ::testing::Test {
protected:
    platform::ScopedTestDevice device{480, 640, 192};
    ComPtr<IDirectDraw> dd = makeDirectDraw();
    ComPtr<IDirectDrawSurface> primary = makeSurface(*dd, 0, 0, DDSCAPS_PRIMARYSURFACE);

    Pixels presented(RECT area) { return platform::Device::instance().compose(area); }
    std::uint16_t presented(int x, int y) { return presented(RECT{x, y, x + 1, y + 1}).at(0); }
    HRESULT show(IDirectDrawSurface& overlay, RECT* source, RECT* dest, DWORD flags = DDOVER_SHOW,
                 IDirectDrawSurface* on = nullptr) {
        return overlay.UpdateOverlay(source, on ? on : primary.get(), dest, flags, nullptr);
    }
};

TEST_F(OverlayTest, ShownOverlayStretchesItsSourceAboveTheScreenUntilHidden) {
    ASSERT_EQ(fill(*primary, nullptr, 0xEF5D), DD_OK);
    auto overlay = makeSurface(*dd, 4, 3, DDSCAPS_OVERLAY);
    const Pixels pixels{9, 9, 9, 9, 9, 0x1111, 0x2222, 9, 9, 0x3333, 0x4444, 9};
    pixelsOf(*overlay, &pixels);
    RECT source{1, 1, 3, 3}; // in 16.16 steps of 2 / 228 the second row starts at 115
    RECT dest{474, 100, 478, 328};
    ASSERT_EQ(show(*overlay, &source, &dest), DD_OK);
    EXPECT_EQ(presented(RECT{474, 100, 478, 101}), (Pixels{0x1111, 0x1111, 0x2222, 0x2222}));
    EXPECT_EQ(presented(RECT{476, 214, 477, 216}), (Pixels{0x2222, 0x4444}));
    for (POINT outside : {POINT{478, 200}, POINT{476, 328}, POINT{473, 200}, POINT{476, 99}})
        EXPECT_EQ(presented(outside.x, outside.y), 0xEF5D) << outside.x << "," << outside.y;
    EXPECT_EQ(pixelsOf(*primary)[200 * 480 + 476], 0xEF5D) << "the screen keeps its own pixels";
    ASSERT_EQ(show(*overlay, nullptr, nullptr, DDOVER_HIDE), DD_OK);
    EXPECT_EQ(presented(476, 200), 0xEF5D);
    RECT same{476, 100, 478, 102}; // as wide as its source: its rows as they are
    ASSERT_EQ(show(*overlay, &source, &same), DD_OK);
    EXPECT_EQ(presented(RECT{477, 101, 478, 102}), (Pixels{0x4444}));
    ASSERT_EQ(show(*overlay, &source, &dest), DD_OK);
    overlay.reset();
    EXPECT_EQ(presented(476, 200), 0xEF5D) << "released, the overlay left the screen";
}

// A worker updating a label (keyed blits onto the primary, text in a shared font, the scroll
// bar overlay) while the user-interface thread scrolls, measures and composes the screen. Run
// under the address and thread sanitizers this catches surfaces, overlays or font faces used
// by two threads at once, and deadlocks between a surface's lock and the screen's.
TEST_F(OverlayTest, AWorkerAndTheInterfaceThreadShareSurfacesAFontAndTheScreen) {
    HFONT font = makeFont(-24);
    auto label = makeSurface(*dd, 200, 40);
    auto bar = makeSurface(*dd, 6, 640, DDSCAPS_OVERLAY);
    RECT barDest{474, 0, 480, 640}, dest{10, 500, 210, 540}, moved{0, 60, 480, 640};
    RECT from{0, 50, 480, 630}, view{0, 50, 480, 640};
    ASSERT_EQ(show(*bar, nullptr, &barDest), DD_OK);
    const auto measureAndDraw = [&](IDirectDrawSurface& surface) {
        HDC dc = nullptr;
        EXPECT_EQ(surface.GetDC(&dc), DD_OK);
        SelectObject(dc, font);
        RECT box = measure(dc, L"Connecting to the Internet...", DT_WORDBREAK, {0, 0, 200, 1});
        DrawTextW(dc, L"Connecting to the Internet...", -1, &box, DT_WORDBREAK);
        EXPECT_EQ(surface.ReleaseDC(dc), DD_OK);
        return std::tuple(box.right, box.bottom);
    };
    std::tuple<LONG, LONG> fromWorker, fromUi;
    std::thread worker([&] {
        DDBLTFX fx = effects(0, 0xFFFF, 0xFFFF);
        for (int i = 0; i < 100; ++i) {
            fill(*label, nullptr, 0xFFFF);
            fromWorker = measureAndDraw(*label);
            primary->Blt(&dest, label.get(), nullptr, DDBLT_KEYSRCOVERRIDE, &fx);
            fill(*bar, nullptr, static_cast<DWORD>(i));
        }
    });
    for (int i = 0; i < 100; ++i) {
        primary->Blt(&moved, primary.get(), &from, DDBLT_WAITNOTBUSY, nullptr);
        fill(*primary, &view, 0xEF5D);
        fromUi = measureAndDraw(*label);
        presented(RECT{0, 0, 480, 640});
    }
    worker.join();
    EXPECT_EQ(fromWorker, fromUi);
    EXPECT_EQ(presented(0, 60), 0xEF5D);
    DeleteObject(font);
}

} // namespace

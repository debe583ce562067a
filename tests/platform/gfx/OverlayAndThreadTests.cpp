// Overlay surfaces composed above the screen while shown, and surfaces used from several
// threads at once (the worker that updates a label while the user-interface thread scrolls).
#include "GfxTestSupport.h"

#include <thread>

using namespace gfxtest;

namespace {

class OverlayTest : public ::testing::Test {
protected:
    platform::ScopedTestDevice device{480, 640, 192};
    ComPtr<IDirectDraw> dd = makeDirectDraw();
    ComPtr<IDirectDrawSurface> primary = makePrimary(*dd);

    std::uint16_t presented(int x, int y) {
        return platform::Device::instance().compose(RECT{x, y, x + 1, y + 1}).at(0);
    }
};

TEST_F(OverlayTest, ShownOverlayIsComposedAboveTheScreenAtItsDestination) {
    ASSERT_EQ(fill(*primary, nullptr, 0xEF5D), DD_OK);
    auto bar = makeSurface(*dd, 6, 640, DDSCAPS_OVERLAY);
    ASSERT_EQ(fill(*bar, nullptr, 0xA515), DD_OK);
    RECT source{0, 0, 5, 228};
    RECT dest{474, 100, 479, 328};
    ASSERT_EQ(bar->UpdateOverlay(&source, primary.get(), &dest, DDOVER_SHOW, nullptr), DD_OK);
    EXPECT_EQ(presented(474, 100), 0xA515);
    EXPECT_EQ(presented(478, 327), 0xA515);
    EXPECT_EQ(presented(479, 200), 0xEF5D);
    EXPECT_EQ(presented(476, 328), 0xEF5D);
    EXPECT_EQ(presented(473, 200), 0xEF5D);
    // The screen underneath keeps its own pixels.
    EXPECT_EQ(pixelsOf(*primary)[200 * 480 + 476], 0xEF5D);

    ASSERT_EQ(bar->UpdateOverlay(nullptr, primary.get(), nullptr, DDOVER_HIDE, nullptr), DD_OK);
    EXPECT_EQ(presented(476, 200), 0xEF5D);
}

TEST_F(OverlayTest, ShowingStretchesTheSourceOverTheDestination) {
    auto overlay = makeSurface(*dd, 2, 1, DDSCAPS_OVERLAY);
    writePixels(*overlay, {0x1111, 0x2222});
    RECT dest{10, 210, 14, 212}; // below the task bar
    ASSERT_EQ(overlay->UpdateOverlay(nullptr, primary.get(), &dest, DDOVER_SHOW, nullptr), DD_OK);
    EXPECT_EQ(platform::Device::instance().compose(RECT{10, 211, 14, 212}),
              (std::vector<std::uint16_t>{0x1111, 0x1111, 0x2222, 0x2222}));
}

TEST_F(OverlayTest, OnlyOverlaySurfacesTakeUpdateOverlay) {
    auto plain = makeSurface(*dd, 6, 10);
    EXPECT_EQ(plain->UpdateOverlay(nullptr, primary.get(), nullptr, DDOVER_SHOW, nullptr),
              DDERR_NOTAOVERLAYSURFACE);
    EXPECT_EQ(primary->UpdateOverlay(nullptr, primary.get(), nullptr, DDOVER_HIDE, nullptr),
              DDERR_NOTAOVERLAYSURFACE);
    auto overlay = makeSurface(*dd, 6, 10, DDSCAPS_OVERLAY);
    RECT outside{470, 630, 480, 641};
    EXPECT_EQ(overlay->UpdateOverlay(nullptr, primary.get(), &outside, DDOVER_SHOW, nullptr),
              DDERR_INVALIDRECT);
    EXPECT_EQ(overlay->UpdateOverlay(nullptr, plain.get(), nullptr, DDOVER_SHOW, nullptr),
              DDERR_INVALIDPARAMS);
}

TEST_F(OverlayTest, ReleasingAShownOverlayTakesItOffTheScreen) {
    ASSERT_EQ(fill(*primary, nullptr, 0x0000), DD_OK);
    auto overlay = makeSurface(*dd, 4, 4, DDSCAPS_OVERLAY);
    ASSERT_EQ(fill(*overlay, nullptr, 0xFFFF), DD_OK);
    RECT dest{0, 300, 4, 304};
    ASSERT_EQ(overlay->UpdateOverlay(nullptr, primary.get(), &dest, DDOVER_SHOW, nullptr), DD_OK);
    EXPECT_EQ(presented(1, 301), 0xFFFF);
    overlay.reset();
    EXPECT_EQ(presented(1, 301), 0x0000);
}

TEST_F(OverlayTest, TwoThreadsDrawOnThePrimaryWhileTheScreenIsComposed) {
    auto label = makeSurface(*dd, 200, 40);
    ASSERT_EQ(fill(*label, nullptr, 0xFFFF), DD_OK);
    auto bar = makeSurface(*dd, 6, 640, DDSCAPS_OVERLAY);
    RECT barDest{474, 0, 480, 640};
    ASSERT_EQ(bar->UpdateOverlay(nullptr, primary.get(), &barDest, DDOVER_SHOW, nullptr), DD_OK);
    constexpr int rounds = 200;
    std::thread worker([&] {
        for (int i = 0; i < rounds; ++i) {
            RECT dest{10, 500, 210, 540};
            DDBLTFX fx{};
            fx.dwSize = sizeof(fx);
            fx.ddckSrcColorkey = {0xFFFF, 0xFFFF};
            label->Blt(&dest, label.get(), nullptr, 0, nullptr);
            primary->Blt(&dest, label.get(), nullptr, DDBLT_KEYSRCOVERRIDE, &fx);
            fill(*bar, nullptr, static_cast<DWORD>(i));
        }
    });
    for (int i = 0; i < rounds; ++i) {
        RECT view{0, 50, 480, 640};
        RECT moved{0, 60, 480, 640};
        RECT from{0, 50, 480, 630};
        primary->Blt(&moved, primary.get(), &from, DDBLT_WAITNOTBUSY, nullptr);
        fill(*primary, &view, 0xEF5D);
        label->Blt(nullptr, primary.get(), &from, 0, nullptr);
        platform::Device::instance().compose(RECT{0, 0, 480, 640});
    }
    worker.join();
    SUCCEED();
}

TEST_F(OverlayTest, TwoThreadsMeasureAndDrawTextWithOneFontOnOneSurface) {
    LOGFONTW description{};
    description.lfHeight = -24;
    std::wcsncpy(description.lfFaceName, L"DejaVu Sans", LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectW(&description);
    auto backBuffer = makeSurface(*dd, 480, 640);
    auto measureAndDraw = [&](const wchar_t* text, RECT& measured) {
        for (int i = 0; i < 30; ++i) {
            HDC dc = nullptr;
            ASSERT_EQ(backBuffer->GetDC(&dc), DD_OK);
            SelectObject(dc, font);
            measured = RECT{0, 0, 200, 1};
            DrawTextW(dc, text, -1, &measured, DT_CALCRECT | DT_WORDBREAK);
            RECT box{0, 0, 480, 80};
            DrawTextW(dc, text, -1, &box, DT_WORDBREAK);
            ASSERT_EQ(backBuffer->ReleaseDC(dc), DD_OK);
        }
    };
    RECT fromWorker{};
    RECT fromUi{};
    std::thread worker([&] { measureAndDraw(L"Connecting to the Internet...", fromWorker); });
    measureAndDraw(L"Connecting to the Internet...", fromUi);
    worker.join();
    EXPECT_EQ(fromWorker.right, fromUi.right);
    EXPECT_EQ(fromWorker.bottom, fromUi.bottom);
    DeleteObject(font);
}

} // namespace

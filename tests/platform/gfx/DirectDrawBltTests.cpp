// Blt on DirectDraw surfaces: colour fill, source colour keys, stretching, overlapping moves
// (the toolkit's scroll) and the platform's rectangle checks.
#include "support/Gfx.h"

#include <functional>
#include <numeric>
#include <tuple>

using namespace gfxtest;

namespace {

bool inside(const RECT& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

Pixels grid(int width, int height, const std::function<int(int, int)>& pixel) {
    Pixels out;
    for (int i = 0; i < width * height; ++i)
        out.push_back(static_cast<std::uint16_t>(pixel(i % width, i / width)));
    return out;
}

class BltTest : public ::testing::Test {
protected:
    platform::ScopedTestDevice device{480, 640, 192};
    ComPtr<IDirectDraw> dd = makeDirectDraw();

    // Pixel (x, y) of a numbered surface of `width` columns is y * width + x + 1: every pixel
    // tells where it came from.
    ComPtr<IDirectDrawSurface> numbered(int width, int height) {
        Pixels values(static_cast<std::size_t>(width) * height);
        std::iota(values.begin(), values.end(), std::uint16_t{1});
        return holding(values, width);
    }
    ComPtr<IDirectDrawSurface> holding(const Pixels& pixels, int width = 0) {
        width = width == 0 ? static_cast<int>(pixels.size()) : width;
        auto surface = makeSurface(*dd, width, static_cast<int>(pixels.size()) / width);
        pixelsOf(*surface, &pixels);
        return surface;
    }
};

TEST_F(BltTest, ColourFillWritesTheRawPixelValueIntoTheRectangleOnly) {
    // An odd width puts every other row start off a 4-byte boundary; the fill writes pixel pairs.
    for (RECT band : {RECT{2, 1, 5, 3}, {1, 0, 2, 4}, {0, 1, 7, 3}, {3, 0, 7, 4}, {0, 0, 6, 4}}) {
        auto surface = makeSurface(*dd, 7, 4);
        ASSERT_EQ(fill(*surface, nullptr, 0x1234), DD_OK);
        RECT target = band;
        ASSERT_EQ(fill(*surface, &target, 0xEF5D), DD_OK);
        EXPECT_EQ(pixelsOf(*surface),
                  grid(7, 4, [&](int x, int y) { return inside(band, x, y) ? 0xEF5D : 0x1234; }))
            << band.left << "," << band.top;
    }
}

TEST_F(BltTest, SourceColourKeyRangeSkipsItsBothEndsAndNothingOutsideAlsoInASelfBlit) {
    const std::tuple<DWORD, DWORD, Pixels, Pixels> cases[] = {
        {0x1000,
         0x2000,
         {0x0FFF, 0x1000, 0x1001, 0x1FFF, 0x2000, 0x2001},
         {0x0FFF, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0x2001}},
        {0xFFFF, 0xFFFF, {0xFFFF, 0xFFFE, 0x0000}, {0xAAAA, 0xFFFE, 0x0000}},
        {0x2000, 0x1000, {0x1000, 0x2000, 0x1800}, {0x1000, 0x2000, 0x1800}}, // empty: none skipped
    };
    for (const auto& [low, high, source, expected] : cases) {
        auto dest = holding(Pixels(source.size(), 0xAAAA));
        DDBLTFX fx = effects(0, low, high);
        ASSERT_EQ(dest->Blt(nullptr, holding(source).get(), nullptr,
                            DDBLT_KEYSRCOVERRIDE | DDBLT_WAITNOTBUSY, &fx),
                  DD_OK);
        EXPECT_EQ(pixelsOf(*dest), expected) << std::hex << low;
    }
    auto surface = holding({1, 2, 3, 4, 0, 0});
    RECT source{0, 0, 4, 1}, dest{2, 0, 6, 1};
    DDBLTFX fx = effects(0, 3, 3);
    ASSERT_EQ(surface->Blt(&dest, surface.get(), &source, DDBLT_KEYSRCOVERRIDE, &fx), DD_OK);
    EXPECT_EQ(pixelsOf(*surface), (Pixels{1, 2, 1, 2, 0, 4})) << "reads the original pixels";
    surface = holding({0, 0, 1, 2, 3, 4, 7, 8});
    ASSERT_EQ(surface->Blt(&source, surface.get(), &dest, DDBLT_KEYSRCOVERRIDE, &fx), DD_OK);
    EXPECT_EQ(pixelsOf(*surface), (Pixels{1, 2, 1, 4, 3, 4, 7, 8})) << "moved left";
}

TEST_F(BltTest, StretchingPicksColumnsAndRowsInSixteenDotSixteenSteps) {
    struct Case {
        int sourceWidth, sourceHeight, destWidth, destHeight;
        std::vector<int> columns, rows;
    };
    // Growing 3 x 2 to 5 x 3: step x = (3 << 16) / 5 = 39321, step y = (2 << 16) / 3.
    // A single column across a width (a text field's middle) takes the row steps alone.
    const Case cases[] = {{3, 2, 5, 3, {0, 0, 1, 1, 2}, {0, 0, 1}},
                          {4, 4, 2, 2, {0, 2}, {0, 2}},
                          {1, 3, 6, 5, {0, 0, 0, 0, 0, 0}, {0, 0, 1, 1, 2}}};
    for (const Case& c : cases) {
        auto dest = makeSurface(*dd, c.destWidth, c.destHeight);
        ASSERT_EQ(dest->Blt(nullptr, numbered(c.sourceWidth, c.sourceHeight).get(), nullptr,
                            DDBLT_WAITNOTBUSY, nullptr),
                  DD_OK);
        EXPECT_EQ(pixelsOf(*dest),
                  grid(c.destWidth, c.destHeight,
                       [&](int x, int y) { return c.rows[y] * c.sourceWidth + c.columns[x] + 1; }))
            << c.destWidth;
    }
    // Stretched with a source key, the keyed pixel (2) leaves the destination as it was.
    for (const Case& c : {cases[0], cases[2]}) {
        auto dest = holding(Pixels(static_cast<std::size_t>(c.destWidth) * c.destHeight, 0xAAAA),
                            c.destWidth);
        DDBLTFX fx = effects(0, 2, 2);
        ASSERT_EQ(dest->Blt(nullptr, numbered(c.sourceWidth, c.sourceHeight).get(), nullptr,
                            DDBLT_KEYSRCOVERRIDE, &fx),
                  DD_OK);
        EXPECT_EQ(pixelsOf(*dest), grid(c.destWidth, c.destHeight, [&](int x, int y) {
                      const int p = c.rows[y] * c.sourceWidth + c.columns[x] + 1;
                      return p == 2 ? 0xAAAA : p;
                  }));
    }
    // Stretched over itself, it reads the original pixels.
    auto surface = numbered(4, 1);
    RECT half{0, 0, 2, 1};
    ASSERT_EQ(surface->Blt(nullptr, surface.get(), &half, 0, nullptr), DD_OK);
    EXPECT_EQ(pixelsOf(*surface), (Pixels{1, 1, 2, 2}));
}

TEST_F(BltTest, OverlappingSelfBlitCopiesTheOriginalPixelsInEveryDirection) {
    const std::pair<RECT, RECT> moves[] = {{{0, 0, 10, 20}, {0, 10, 10, 30}},
                                           {{0, 10, 10, 30}, {0, 0, 10, 20}},
                                           {{3, 0, 7, 30}, {6, 0, 10, 30}},
                                           {{3, 0, 7, 30}, {0, 0, 4, 30}},
                                           {{2, 0, 8, 20}, {2, 10, 8, 30}}};
    for (const auto& move : moves) {
        RECT source = move.first, dest = move.second; // clang 14 cannot capture a binding
        auto surface = numbered(10, 30);
        ASSERT_EQ(surface->Blt(&dest, surface.get(), &source, DDBLT_WAITNOTBUSY, nullptr), DD_OK);
        const int dx = source.left - dest.left, dy = source.top - dest.top;
        EXPECT_EQ(pixelsOf(*surface),
                  grid(10, 30,
                       [&](int x, int y) {
                           return inside(dest, x, y) ? (y + dy) * 10 + x + dx + 1 : y * 10 + x + 1;
                       }))
            << "moved by " << -dx << "," << -dy;
    }
}

TEST_F(BltTest, RectanglesOutsideOrInsideOutAreRefused) {
    auto source = makeSurface(*dd, 10, 10);
    auto dest = makeSurface(*dd, 10, 10);
    const RECT bad[] = {{0, 0, 0, 5},  {2, 2, 2, 2},  {5, 0, 4, 5},  {0, 5, 5, 4}, {0, 5, 5, 5},
                        {-1, 0, 5, 5}, {0, -1, 5, 5}, {0, 0, 11, 5}, {0, 0, 5, 11}};
    for (RECT r : bad) {
        EXPECT_EQ(dest->Blt(&r, source.get(), nullptr, 0, nullptr), DDERR_INVALIDRECT);
        EXPECT_EQ(dest->Blt(nullptr, source.get(), &r, 0, nullptr), DDERR_INVALIDRECT);
        EXPECT_EQ(fill(*dest, &r, 0), DDERR_INVALIDRECT);
    }
    RECT whole{0, 0, 10, 10};
    EXPECT_EQ(dest->Blt(&whole, source.get(), &whole, 0, nullptr), DD_OK);
}

TEST_F(BltTest, DirectDrawMakesRgb565SurfacesOnlyRefusesBadArgumentsAndAnswersForItsInterfaces) {
    const DDPIXELFORMAT rgb565{sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0};
    std::vector<DDPIXELFORMAT> others(5, rgb565);
    others[0].dwFlags = 0;
    others[1].dwRGBBitCount = 32;
    others[2].dwRBitMask = 0x7C00;
    others[3].dwGBitMask = 0x03E0;
    others[4].dwBBitMask = 0x003F;
    DDSURFACEDESC desc{sizeof(desc), DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, 2, 2};
    desc.ddpfPixelFormat = rgb565;
    LPDIRECTDRAWSURFACE made = nullptr;
    ASSERT_EQ(dd->CreateSurface(&desc, &made, nullptr), DD_OK);
    const ComPtr<IDirectDrawSurface> surface(made);
    for (const DDPIXELFORMAT& format : others) {
        desc.ddpfPixelFormat = format;
        EXPECT_EQ(dd->CreateSurface(&desc, &made, nullptr), DDERR_UNSUPPORTED);
    }
    EXPECT_EQ(dd->CreateSurface(nullptr, &made, nullptr), DDERR_INVALIDPARAMS);
    DDSURFACEDESC unsized = desc;
    unsized.dwSize = 0;
    EXPECT_EQ(dd->CreateSurface(&unsized, &made, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->GetGDISurface(nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_FULLSCREEN), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_FULLSCREEN << 1), DDERR_INVALIDPARAMS)
        << "no other level";
    // No side longer than 16384 pixels.
    desc.dwFlags = DDSD_WIDTH | DDSD_HEIGHT;
    for (const auto& [width, height, result] : {std::tuple(16384u, 1u, DD_OK),
                                                {16385u, 1u, DDERR_INVALIDPARAMS},
                                                {1u, 16384u, DD_OK},
                                                {1u, 16385u, DDERR_INVALIDPARAMS}}) {
        std::tie(desc.dwWidth, desc.dwHeight) = std::tuple(width, height);
        EXPECT_EQ(dd->CreateSurface(&desc, &made, nullptr), result) << width << " x " << height;
        if (made != nullptr)
            made->Release();
    }
    for (IUnknown* object :
         {static_cast<IUnknown*>(dd.get()), static_cast<IUnknown*>(surface.get())}) {
        IUnknown* asked = nullptr;
        ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&asked)), S_OK);
        EXPECT_EQ(asked->Release(), 1u) << "asked, it had one more owner";
        EXPECT_EQ(object->QueryInterface(IID_IImage, reinterpret_cast<void**>(&asked)),
                  E_NOINTERFACE);
        EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    }
}

TEST_F(BltTest, AContextDrawsNothingWhileItsSurfaceIsLockedRatherThanWaitForItself) {
    auto surface = makeSurface(*dd, 40, 40);
    HDC dc = nullptr;
    ASSERT_EQ(surface->GetDC(&dc), DD_OK);
    DDSURFACEDESC desc{sizeof(desc)};
    ASSERT_EQ(surface->Lock(nullptr, &desc, 0, nullptr), DD_OK);
    RECT box{0, 0, 40, 40};
    DrawTextW(dc, L"W", -1, &box, 0);
    ASSERT_EQ(surface->Unlock(nullptr), DD_OK);
    EXPECT_EQ(pixelsOf(*surface), Pixels(40 * 40, 0));
    DrawTextW(dc, L"W", -1, &box, 0);
    EXPECT_NE(pixelsOf(*surface), Pixels(40 * 40, 0));
    EXPECT_EQ(surface->ReleaseDC(dc), DD_OK);
}

TEST_F(BltTest, PrimarySurfaceIsTheScreenAndFollowsRotation) {
    auto primary = makeSurface(*dd, 0, 0, DDSCAPS_PRIMARYSURFACE);
    DDSURFACEDESC desc{sizeof(desc)};
    ASSERT_EQ(primary->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(std::tuple(desc.dwWidth, desc.dwHeight), std::tuple(480u, 640u));

    auto& screen = platform::Device::instance();
    screen.presentChanges([](const RECT&, const std::uint16_t*, int) {}); // the first frame
    RECT band{0, 100, 480, 140};
    ASSERT_EQ(fill(*primary, &band, 0xEF5D), DD_OK);
    EXPECT_EQ(screen.compose(RECT{10, 120, 11, 121}), Pixels{0xEF5D});
    LONG top = 640, bottom = 0;
    ASSERT_TRUE(screen.presentChanges([&](const RECT& area, const std::uint16_t*, int) {
        top = std::min(top, area.top);
        bottom = std::max(bottom, area.bottom);
    }));
    EXPECT_EQ(std::pair(top, bottom), std::pair(100, 140));
    screen.rotate();
    ASSERT_EQ(primary->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(std::tuple(desc.dwWidth, desc.dwHeight), std::tuple(640u, 480u));
    RECT wide{600, 0, 640, 10}, tooLow{0, 470, 10, 481};
    EXPECT_EQ(fill(*primary, &wide, 0x1111), DD_OK);
    EXPECT_EQ(fill(*primary, &tooLow, 0x1111), DDERR_INVALIDRECT);
}

} // namespace

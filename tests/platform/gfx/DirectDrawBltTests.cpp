// Blt on DirectDraw surfaces: colour fill, source colour keys, stretching, overlapping moves
// (the toolkit's scroll) and the platform's rectangle checks and error codes.
#include "GfxTestSupport.h"

#include <functional>
#include <numeric>
#include <tuple>

using namespace gfxtest;

namespace {

using Pixels = std::vector<std::uint16_t>;

// Pixel (x, y) of a numbered surface of `width` columns: every pixel tells where it came from.
std::uint16_t numberAt(int width, int x, int y) {
    return static_cast<std::uint16_t>(y * width + x + 1);
}

Pixels grid(int width, int height, const std::function<std::uint16_t(int, int)>& pixel) {
    Pixels out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out.push_back(pixel(x, y));
        }
    }
    return out;
}

class BltTest : public ::testing::Test {
protected:
    platform::ScopedTestDevice device{480, 640, 192};
    ComPtr<IDirectDraw> dd = makeDirectDraw();

    ComPtr<IDirectDrawSurface> numbered(int width, int height) {
        auto surface = makeSurface(*dd, width, height);
        Pixels values(static_cast<std::size_t>(width) * height);
        std::iota(values.begin(), values.end(), std::uint16_t{1});
        writePixels(*surface, values);
        return surface;
    }
    ComPtr<IDirectDrawSurface> holding(const Pixels& row) {
        auto surface = makeSurface(*dd, static_cast<int>(row.size()), 1);
        writePixels(*surface, row);
        return surface;
    }
};

TEST_F(BltTest, ColourFillWritesTheRawPixelValueIntoTheRectangleOnly) {
    // An odd width puts every other row start off a 4-byte boundary; the fill writes pixel pairs.
    const RECT bands[] = {{2, 1, 5, 3}, {1, 0, 2, 4}, {0, 1, 7, 3}, {3, 0, 7, 4}, {0, 0, 6, 4}};
    for (const RECT& band : bands) {
        auto surface = makeSurface(*dd, 7, 4);
        ASSERT_EQ(fill(*surface, nullptr, 0x1234), DD_OK);
        RECT target = band;
        ASSERT_EQ(fill(*surface, &target, 0xEF5D), DD_OK);
        EXPECT_EQ(pixelsOf(*surface), grid(7, 4,
                                           [&](int x, int y) {
                                               const bool inside = x >= band.left &&
                                                                   x < band.right &&
                                                                   y >= band.top && y < band.bottom;
                                               return inside ? 0xEF5D : 0x1234;
                                           }))
            << "band " << band.left << "," << band.top << "," << band.right << "," << band.bottom;
    }
}

TEST_F(BltTest, SourceColourKeyRangeSkipsItsBothEndsAndNothingOutside) {
    struct Case {
        DWORD low, high;
        Pixels source, expected;
    };
    const Case cases[] = {
        {0x1000,
         0x2000,
         {0x0FFF, 0x1000, 0x1001, 0x1FFF, 0x2000, 0x2001},
         {0x0FFF, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0x2001}},
        {0xFFFF, 0xFFFF, {0xFFFF, 0xFFFE, 0x0000}, {0xAAAA, 0xFFFE, 0x0000}},
    };
    for (const Case& c : cases) {
        auto source = holding(c.source);
        auto dest = makeSurface(*dd, static_cast<int>(c.source.size()), 1);
        ASSERT_EQ(fill(*dest, nullptr, 0xAAAA), DD_OK);
        DDBLTFX fx = keyEffects(c.low, c.high);
        ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr,
                            DDBLT_KEYSRCOVERRIDE | DDBLT_WAITNOTBUSY, &fx),
                  DD_OK);
        EXPECT_EQ(pixelsOf(*dest), c.expected) << std::hex << c.low;
    }
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
        auto source = numbered(c.sourceWidth, c.sourceHeight);
        auto dest = makeSurface(*dd, c.destWidth, c.destHeight);
        ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAITNOTBUSY, nullptr), DD_OK);
        EXPECT_EQ(pixelsOf(*dest), grid(c.destWidth, c.destHeight,
                                        [&](int x, int y) {
                                            return numberAt(c.sourceWidth, c.columns[x], c.rows[y]);
                                        }))
            << c.destWidth;
    }
}

TEST_F(BltTest, OverlappingSelfBlitCopiesTheOriginalPixelsInEveryDirection) {
    struct Move {
        RECT source, dest;
    };
    const Move moves[] = {{{0, 0, 10, 20}, {0, 10, 10, 30}},
                          {{0, 10, 10, 30}, {0, 0, 10, 20}},
                          {{3, 0, 7, 30}, {6, 0, 10, 30}},
                          {{3, 0, 7, 30}, {0, 0, 4, 30}}};
    for (Move m : moves) {
        auto surface = numbered(10, 30);
        ASSERT_EQ(surface->Blt(&m.dest, surface.get(), &m.source, DDBLT_WAITNOTBUSY, nullptr),
                  DD_OK);
        const auto pixels = pixelsOf(*surface);
        const int dx = m.source.left - m.dest.left;
        const int dy = m.source.top - m.dest.top;
        for (int y = m.dest.top; y < m.dest.bottom; ++y) {
            for (int x = m.dest.left; x < m.dest.right; ++x) {
                ASSERT_EQ(pixels[y * 10 + x], numberAt(10, x + dx, y + dy))
                    << "moved by " << -dx << "," << -dy << " at " << x << "," << y;
            }
        }
    }
}

TEST_F(BltTest, KeyedSelfBlitToTheRightReadsTheOriginalPixels) {
    auto surface = holding({1, 2, 3, 4, 0, 0});
    RECT source{0, 0, 4, 1};
    RECT dest{2, 0, 6, 1};
    DDBLTFX fx = keyEffects(3, 3);
    ASSERT_EQ(surface->Blt(&dest, surface.get(), &source, DDBLT_KEYSRCOVERRIDE, &fx), DD_OK);
    EXPECT_EQ(pixelsOf(*surface), (Pixels{1, 2, 1, 2, 0, 4}));
}

TEST_F(BltTest, BadRectanglesAndArgumentsFailWithTheirOwnErrorCodes) {
    auto source = makeSurface(*dd, 10, 10);
    auto dest = makeSurface(*dd, 10, 10);
    const RECT bad[] = {{0, 0, 0, 5},  {2, 2, 2, 2},  {5, 0, 4, 5},  {0, 5, 5, 4},
                        {-1, 0, 5, 5}, {0, -1, 5, 5}, {0, 0, 11, 5}, {0, 0, 5, 11}};
    for (RECT r : bad) {
        EXPECT_EQ(dest->Blt(&r, source.get(), nullptr, 0, nullptr), DDERR_INVALIDRECT);
        EXPECT_EQ(dest->Blt(nullptr, source.get(), &r, 0, nullptr), DDERR_INVALIDRECT);
        EXPECT_EQ(fill(*dest, &r, 0), DDERR_INVALIDRECT);
    }
    RECT whole{0, 0, 10, 10};
    EXPECT_EQ(dest->Blt(&whole, source.get(), &whole, 0, nullptr), DD_OK);

    DDBLTFX fx = fillEffects(0);
    EXPECT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dest->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_KEYSRCOVERRIDE, nullptr),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(dest->Blt(nullptr, nullptr, nullptr, DDBLT_WAITNOTBUSY, nullptr),
              DDERR_INVALIDPARAMS);
    fx.dwSize = sizeof(fx) + 4;
    EXPECT_EQ(dest->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_KEYSRC, nullptr), DDERR_NOCOLORKEY);
}

TEST_F(BltTest, SurfaceDescriptionsAreCheckedAndDescribeRgb565) {
    struct Bad {
        DWORD size, flags, caps, width;
    };
    // The 32-bit platform's size (108), a missing height, a primary surface given a size.
    const Bad refused[] = {
        {108, DDSD_WIDTH | DDSD_HEIGHT, 0, 4},
        {sizeof(DDSURFACEDESC), DDSD_WIDTH, 0, 4},
        {sizeof(DDSURFACEDESC), DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_PRIMARYSURFACE, 480}};
    for (const Bad& bad : refused) {
        DDSURFACEDESC desc{};
        desc.dwSize = bad.size;
        desc.dwFlags = bad.flags;
        desc.ddsCaps.dwCaps = bad.caps;
        desc.dwWidth = desc.dwHeight = bad.width;
        LPDIRECTDRAWSURFACE surface = nullptr;
        EXPECT_EQ(dd->CreateSurface(&desc, &surface, nullptr), DDERR_INVALIDPARAMS) << bad.width;
        EXPECT_EQ(surface, nullptr);
    }
    auto made = makeSurface(*dd, 7, 3);
    DDSURFACEDESC read{};
    read.dwSize = 108;
    EXPECT_EQ(made->GetSurfaceDesc(&read), DDERR_INVALIDPARAMS);
    read.dwSize = sizeof(read);
    ASSERT_EQ(made->GetSurfaceDesc(&read), DD_OK);
    const DDPIXELFORMAT& format = read.ddpfPixelFormat;
    EXPECT_EQ(std::tuple(read.dwWidth, read.dwHeight, format.dwRGBBitCount),
              std::tuple(7u, 3u, 16u));
    EXPECT_EQ(std::tuple(format.dwRBitMask, format.dwGBitMask, format.dwBBitMask),
              std::tuple(0xF800u, 0x07E0u, 0x001Fu));
}

TEST_F(BltTest, PrimarySurfaceIsTheScreenAndFollowsRotation) {
    auto primary = makePrimary(*dd);
    DDSURFACEDESC desc = sizedDesc();
    ASSERT_EQ(primary->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(std::tuple(desc.dwWidth, desc.dwHeight), std::tuple(480u, 640u));
    EXPECT_EQ(desc.ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE, DWORD{DDSCAPS_PRIMARYSURFACE});

    RECT band{0, 100, 480, 140};
    ASSERT_EQ(fill(*primary, &band, 0xEF5D), DD_OK);
    auto& screen = platform::Device::instance();
    EXPECT_EQ(screen.compose(RECT{10, 120, 11, 121}), Pixels{0xEF5D});
    RECT changed{480, 640, 0, 0};
    ASSERT_TRUE(screen.presentChanges([&](const RECT& area, const std::uint16_t*, int) {
        changed = RECT{std::min(changed.left, area.left), std::min(changed.top, area.top),
                       std::max(changed.right, area.right), std::max(changed.bottom, area.bottom)};
    }));
    EXPECT_LE(changed.top, 100);
    EXPECT_GE(changed.bottom, 140);

    screen.rotate();
    ASSERT_EQ(primary->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(std::tuple(desc.dwWidth, desc.dwHeight), std::tuple(640u, 480u));
    RECT wide{600, 0, 640, 10};
    EXPECT_EQ(fill(*primary, &wide, 0x1111), DD_OK);
    RECT tooLow{0, 470, 10, 481};
    EXPECT_EQ(fill(*primary, &tooLow, 0x1111), DDERR_INVALIDRECT);
}

TEST_F(BltTest, SurfacesCountReferencesAndRefuseBlitsWhileTheCallerHoldsTheLock) {
    auto surface = makeSurface(*dd, 2, 2);
    EXPECT_EQ(surface->AddRef(), 2u);
    EXPECT_EQ(surface->Release(), 1u);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(surface->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    void* other = nullptr;
    EXPECT_EQ(surface->QueryInterface(IID_IImage, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    DDSURFACEDESC desc = sizedDesc();
    ASSERT_EQ(surface->Lock(nullptr, &desc, 0, nullptr), DD_OK);
    EXPECT_EQ(fill(*surface, nullptr, 0), DDERR_SURFACEBUSY);
    EXPECT_EQ(surface->Unlock(nullptr), DD_OK);
    EXPECT_EQ(surface->Unlock(nullptr), DDERR_NOTLOCKED);
    EXPECT_EQ(fill(*surface, nullptr, 0), DD_OK);
}

TEST_F(BltTest, CooperativeLevelTakesOnlyThePlatformLevels) {
    EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_FULLSCREEN), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->SetCooperativeLevel(nullptr, 0x8), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->RestoreAllSurfaces(), DD_OK);
}

} // namespace

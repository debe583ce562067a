// Blt on DirectDraw surfaces: colour fill, source colour keys, stretching, overlapping moves
// (the toolkit's scroll) and the platform's rectangle checks and error codes.
#include "GfxTestSupport.h"

#include <numeric>

using namespace gfxtest;

namespace {

class BltTest : public ::testing::Test {
protected:
    platform::ScopedTestDevice device{480, 640, 192};
    ComPtr<IDirectDraw> dd = makeDirectDraw();

    // A surface whose pixel (x, y) is y * width + x + 1: every pixel tells where it came from.
    ComPtr<IDirectDrawSurface> numbered(int width, int height) {
        auto surface = makeSurface(*dd, width, height);
        std::vector<std::uint16_t> values(static_cast<std::size_t>(width) * height);
        std::iota(values.begin(), values.end(), std::uint16_t{1});
        writePixels(*surface, values);
        return surface;
    }
};

std::uint16_t numberAt(int width, int x, int y) {
    return static_cast<std::uint16_t>(y * width + x + 1);
}

TEST_F(BltTest, ColourFillWritesTheRawPixelValueIntoTheRectangleOnly) {
    auto surface = makeSurface(*dd, 8, 4);
    ASSERT_EQ(fill(*surface, nullptr, 0x1234), DD_OK);
    RECT band{2, 1, 5, 3};
    ASSERT_EQ(fill(*surface, &band, 0xEF5D), DD_OK);
    const auto pixels = pixelsOf(*surface);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
            EXPECT_EQ(pixels[y * 8 + x], inside ? 0xEF5D : 0x1234) << x << "," << y;
        }
    }
}

TEST_F(BltTest, SourceColourKeyRangeIsInclusiveAtBothEnds) {
    auto source = makeSurface(*dd, 6, 1);
    writePixels(*source, {0x0FFF, 0x1000, 0x1001, 0x1FFF, 0x2000, 0x2001});
    auto dest = makeSurface(*dd, 6, 1);
    ASSERT_EQ(fill(*dest, nullptr, 0xAAAA), DD_OK);
    DDBLTFX fx{};
    fx.dwSize = sizeof(fx);
    fx.ddckSrcColorkey = {0x1000, 0x2000};
    ASSERT_EQ(
        dest->Blt(nullptr, source.get(), nullptr, DDBLT_KEYSRCOVERRIDE | DDBLT_WAITNOTBUSY, &fx),
        DD_OK);
    EXPECT_EQ(pixelsOf(*dest),
              (std::vector<std::uint16_t>{0x0FFF, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0x2001}));
}

TEST_F(BltTest, SingleValueKeySkipsOnlyThatValue) {
    auto source = makeSurface(*dd, 3, 1);
    writePixels(*source, {0xFFFF, 0xFFFE, 0x0000});
    auto dest = makeSurface(*dd, 3, 1);
    ASSERT_EQ(fill(*dest, nullptr, 0x5555), DD_OK);
    DDBLTFX fx{};
    fx.dwSize = sizeof(fx);
    fx.ddckSrcColorkey = {0xFFFF, 0xFFFF};
    ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_KEYSRCOVERRIDE, &fx), DD_OK);
    EXPECT_EQ(pixelsOf(*dest), (std::vector<std::uint16_t>{0x5555, 0xFFFE, 0x0000}));
}

TEST_F(BltTest, StretchingPicksColumnsAndRowsInSixteenDotSixteenSteps) {
    auto source = numbered(3, 2);
    auto dest = makeSurface(*dd, 5, 3);
    ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAITNOTBUSY, nullptr), DD_OK);
    // step x = (3 << 16) / 5 = 39321: columns 0,0,1,1,2; step y = (2 << 16) / 3: rows 0,0,1.
    const int columns[5] = {0, 0, 1, 1, 2};
    const int rows[3] = {0, 0, 1};
    const auto pixels = pixelsOf(*dest);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(pixels[y * 5 + x], numberAt(3, columns[x], rows[y])) << x << "," << y;
        }
    }
}

TEST_F(BltTest, ShrinkingSkipsSourcePixels) {
    auto source = numbered(4, 4);
    auto dest = makeSurface(*dd, 2, 2);
    ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr, 0, nullptr), DD_OK);
    EXPECT_EQ(pixelsOf(*dest), (std::vector<std::uint16_t>{numberAt(4, 0, 0), numberAt(4, 2, 0),
                                                           numberAt(4, 0, 2), numberAt(4, 2, 2)}));
}

TEST_F(BltTest, SelfBlitMovingDownCopiesTheOriginalRows) {
    auto surface = numbered(4, 30);
    RECT dest{0, 10, 4, 30};
    RECT source{0, 0, 4, 20};
    ASSERT_EQ(surface->Blt(&dest, surface.get(), &source, DDBLT_WAITNOTBUSY, nullptr), DD_OK);
    const auto pixels = pixelsOf(*surface);
    for (int y = 10; y < 30; ++y) {
        for (int x = 0; x < 4; ++x) {
            ASSERT_EQ(pixels[y * 4 + x], numberAt(4, x, y - 10)) << x << "," << y;
        }
    }
}

TEST_F(BltTest, SelfBlitMovingUpCopiesTheOriginalRows) {
    auto surface = numbered(4, 30);
    RECT dest{0, 0, 4, 20};
    RECT source{0, 10, 4, 30};
    ASSERT_EQ(surface->Blt(&dest, surface.get(), &source, DDBLT_WAITNOTBUSY, nullptr), DD_OK);
    const auto pixels = pixelsOf(*surface);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 4; ++x) {
            ASSERT_EQ(pixels[y * 4 + x], numberAt(4, x, y + 10)) << x << "," << y;
        }
    }
}

TEST_F(BltTest, SelfBlitWithinTheSameRowsMovesSidewaysBothWays) {
    for (int shift : {3, -3}) {
        auto surface = numbered(10, 2);
        RECT source{3, 0, 7, 2};
        RECT dest{3 + shift, 0, 7 + shift, 2};
        ASSERT_EQ(surface->Blt(&dest, surface.get(), &source, 0, nullptr), DD_OK);
        const auto pixels = pixelsOf(*surface);
        for (int y = 0; y < 2; ++y) {
            for (int x = 3; x < 7; ++x) {
                EXPECT_EQ(pixels[y * 10 + x + shift], numberAt(10, x, y)) << shift << ":" << x;
            }
        }
    }
}

TEST_F(BltTest, KeyedSelfBlitToTheRightReadsTheOriginalPixels) {
    auto surface = makeSurface(*dd, 6, 1);
    writePixels(*surface, {1, 2, 3, 4, 0, 0});
    RECT source{0, 0, 4, 1};
    RECT dest{2, 0, 6, 1};
    DDBLTFX fx{};
    fx.dwSize = sizeof(fx);
    fx.ddckSrcColorkey = {3, 3};
    ASSERT_EQ(surface->Blt(&dest, surface.get(), &source, DDBLT_KEYSRCOVERRIDE, &fx), DD_OK);
    EXPECT_EQ(pixelsOf(*surface), (std::vector<std::uint16_t>{1, 2, 1, 2, 0, 4}));
}

TEST_F(BltTest, InvalidRectanglesFailWithInvalidRect) {
    auto source = makeSurface(*dd, 10, 10);
    auto dest = makeSurface(*dd, 10, 10);
    const RECT bad[] = {{0, 0, 0, 5},  {2, 2, 2, 2},  {5, 0, 4, 5},  {0, 5, 5, 4},
                        {-1, 0, 5, 5}, {0, -1, 5, 5}, {0, 0, 11, 5}, {0, 0, 5, 11}};
    for (RECT r : bad) {
        RECT copy = r;
        EXPECT_EQ(dest->Blt(&copy, source.get(), nullptr, 0, nullptr), DDERR_INVALIDRECT);
        EXPECT_EQ(dest->Blt(nullptr, source.get(), &copy, 0, nullptr), DDERR_INVALIDRECT);
        EXPECT_EQ(fill(*dest, &copy, 0), DDERR_INVALIDRECT);
    }
    RECT whole{0, 0, 10, 10};
    EXPECT_EQ(dest->Blt(&whole, source.get(), &whole, 0, nullptr), DD_OK);
}

TEST_F(BltTest, MissingOrContradictoryArgumentsFailWithInvalidParams) {
    auto source = makeSurface(*dd, 4, 4);
    auto dest = makeSurface(*dd, 4, 4);
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
    DDSURFACEDESC desc{};
    desc.dwSize = 108; // the 32-bit platform's size is not this platform's
    desc.dwFlags = DDSD_WIDTH | DDSD_HEIGHT;
    desc.dwWidth = desc.dwHeight = 4;
    LPDIRECTDRAWSURFACE surface = nullptr;
    EXPECT_EQ(dd->CreateSurface(&desc, &surface, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(surface, nullptr);
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_WIDTH;
    EXPECT_EQ(dd->CreateSurface(&desc, &surface, nullptr), DDERR_INVALIDPARAMS);

    auto made = makeSurface(*dd, 7, 3);
    DDSURFACEDESC read{};
    read.dwSize = 108;
    EXPECT_EQ(made->GetSurfaceDesc(&read), DDERR_INVALIDPARAMS);
    read.dwSize = sizeof(read);
    ASSERT_EQ(made->GetSurfaceDesc(&read), DD_OK);
    EXPECT_EQ(read.dwWidth, 7u);
    EXPECT_EQ(read.dwHeight, 3u);
    EXPECT_EQ(read.ddpfPixelFormat.dwRGBBitCount, 16u);
    EXPECT_EQ(read.ddpfPixelFormat.dwRBitMask, 0xF800u);
    EXPECT_EQ(read.ddpfPixelFormat.dwGBitMask, 0x07E0u);
    EXPECT_EQ(read.ddpfPixelFormat.dwBBitMask, 0x001Fu);
}

TEST_F(BltTest, PrimarySurfaceIsTheScreenAndFollowsRotation) {
    auto primary = makePrimary(*dd);
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    ASSERT_EQ(primary->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(desc.dwWidth, 480u);
    EXPECT_EQ(desc.dwHeight, 640u);
    EXPECT_EQ(desc.ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE, DWORD{DDSCAPS_PRIMARYSURFACE});

    RECT band{0, 100, 480, 140};
    ASSERT_EQ(fill(*primary, &band, 0xEF5D), DD_OK);
    auto& screen = platform::Device::instance();
    EXPECT_EQ(screen.compose(RECT{10, 120, 11, 121}), std::vector<std::uint16_t>{0xEF5D});
    RECT changed{};
    ASSERT_TRUE(screen.takeInvalidArea(changed));
    EXPECT_LE(changed.top, 100);
    EXPECT_GE(changed.bottom, 140);

    screen.rotate();
    ASSERT_EQ(primary->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(desc.dwWidth, 640u);
    EXPECT_EQ(desc.dwHeight, 480u);
    RECT wide{600, 0, 640, 10};
    EXPECT_EQ(fill(*primary, &wide, 0x1111), DD_OK);
    RECT tooLow{0, 470, 10, 481};
    EXPECT_EQ(fill(*primary, &tooLow, 0x1111), DDERR_INVALIDRECT);
}

TEST_F(BltTest, PrimaryCreationRefusesAGivenSize) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    desc.dwWidth = 480;
    desc.dwHeight = 640;
    LPDIRECTDRAWSURFACE surface = nullptr;
    EXPECT_EQ(dd->CreateSurface(&desc, &surface, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(BltTest, ReferenceCountingKeepsTheSurfaceUntilTheLastRelease) {
    auto surface = makeSurface(*dd, 2, 2);
    EXPECT_EQ(surface->AddRef(), 2u);
    EXPECT_EQ(surface->Release(), 1u);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(surface->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    void* other = nullptr;
    EXPECT_EQ(surface->QueryInterface(IID_IImage, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

TEST_F(BltTest, BlitsOnASurfaceLockedByTheCallerReportBusy) {
    auto surface = makeSurface(*dd, 2, 2);
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
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

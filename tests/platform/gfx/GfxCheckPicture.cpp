// Draws a screen the way the toolkit does (both resource fonts, a stretched half-transparent
// PNG, the scroll-bar overlay) and saves it as gfx_check.png beside the test program, so that a
// person can look at it.
#include "GfxTestSupport.h"

#include <cmath>

using namespace gfxtest;

namespace {

HFONT toolkitFont(int points, const wchar_t* face, LONG weight, BYTE italic) {
    LOGFONTW description = describeFont(-(points * 192) / 72, face, weight, italic);
    description.lfQuality = CLEARTYPE_QUALITY;
    return CreateFontIndirectW(&description);
}

// A 48 x 48 disc, opaque in the middle and fading out to its rim, blue to orange.
void writeDisc(const std::filesystem::path& file) {
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            const double d = std::hypot(x - 23.5, y - 23.5) / 24.0;
            const auto alpha =
                static_cast<std::uint8_t>(d >= 1.0 ? 0 : 255 * std::min(1.0, 2.0 * (1.0 - d)));
            pixels.insert(pixels.end(), {static_cast<std::uint8_t>(x * 5), 90,
                                         static_cast<std::uint8_t>(255 - x * 5), alpha});
        }
    }
    writePng(file, 48, 48, pixels, true);
}

void drawText(HDC dc, HFONT font, COLORREF colour, const wchar_t* text, RECT box, UINT format) {
    SelectObject(dc, font);
    SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text, -1, &box, format);
}

TEST(GfxCheckPicture, ScreenWithBothFontsAndAStretchedImageIsSaved) {
    platform::ScopedTestDevice device(480, 640, 192);
    const auto windows = windowsFolder();
    const std::filesystem::path dejavu = "/usr/share/fonts/truetype/dejavu";
    std::filesystem::copy_file(dejavu / "DejaVuSans.ttf", windows / "HelveticaNeueOTS.TTF");
    std::filesystem::copy_file(dejavu / "DejaVuSans-ExtraLight.ttf",
                               windows / "HelveticaNeue LT 35 Thin.ttf");
    writeDisc(windows / "disc.png");

    auto dd = makeDirectDraw();
    auto primary = makePrimary(*dd);
    ASSERT_EQ(fill(*primary, nullptr, 0xEF5D), DD_OK);
    RECT header{0, 52, 480, 132};
    ASSERT_EQ(fill(*primary, &header, 0xFFFF), DD_OK);

    HFONT title = toolkitFont(12, L"HelveticaNeue LT 35 Thin.ttf", FW_LIGHT, 0);
    HFONT large = toolkitFont(10, L"HelveticaNeueOTS.ttf", FW_NORMAL, 0);
    HFONT italic = toolkitFont(9, L"HelveticaNeueOTS.ttf", FW_NORMAL, 1);
    HDC dc = nullptr;
    ASSERT_EQ(primary->GetDC(&dc), DD_OK);
    drawText(dc, title, 0x202020, L"Dawnbell", header, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    drawText(dc, large, 0x000000, L"Host information :", RECT{10, 150, 470, 200}, DT_SINGLELINE);
    drawText(dc, italic, 0x404040,
             L"The computer wakes when its network card sees the magic packet: six bytes of "
             L"0xFF, then its MAC address sixteen times.",
             RECT{10, 200, 470, 400}, DT_WORDBREAK);
    drawText(dc, large, 0xC4C4C4, L"Send magic packet !", RECT{0, 330, 480, 380},
             DT_CENTER | DT_SINGLELINE);

    auto factory = makeImagingFactory();
    IImage* disc = nullptr;
    ASSERT_EQ(factory->CreateImageFromFile(L"\\windows\\disc.png", &disc), S_OK);
    RECT stretched{40, 400, 440, 600};
    EXPECT_EQ(disc->Draw(dc, &stretched, nullptr), S_OK);
    drawText(dc, large, 0xFFFFFF, L"alpha", stretched, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    disc->Release();
    ASSERT_EQ(primary->ReleaseDC(dc), DD_OK);

    auto bar = makeSurface(*dd, 6, 640, DDSCAPS_OVERLAY);
    ASSERT_EQ(fill(*bar, nullptr, 0xA515), DD_OK);
    RECT barSource{0, 0, 5, 228};
    RECT barDest{474, 132, 479, 360};
    ASSERT_EQ(bar->UpdateOverlay(&barSource, primary.get(), &barDest, DDOVER_SHOW, nullptr), DD_OK);

    const auto file = programFolder() / "gfx_check.png";
    ASSERT_TRUE(platform::Device::instance().saveScreenshot(file));
    EXPECT_GT(std::filesystem::file_size(file), 1000u);
    // Text reached the header and the image its rectangle.
    const auto headerPixels = platform::Device::instance().compose(header);
    EXPECT_NE(std::count(headerPixels.begin(), headerPixels.end(), 0xFFFF),
              static_cast<long>(headerPixels.size()));
    DeleteObject(title);
    DeleteObject(large);
    DeleteObject(italic);
}

} // namespace

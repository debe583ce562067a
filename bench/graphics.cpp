// The graphics paths the toolkit leans on, each against a plain-memory reference measured in the
// same run (the "ratio" counter is the operation's median time over the reference's):
//   colour fill of the screen        vs memset of the same bytes
//   scroll self-blit by 10 rows       vs memmove of the same bytes (goal: ratio <= 1.3)
//   colour-keyed copy of a text label vs memcpy of its rows
//   DrawTextW of a 50-character label vs memcpy of the label's pixels
//   decoding a 480-wide PNG           vs libpng decoding the same bytes directly
#include "ddraw.h"
#include "imaging.h"
#include "kernel/Paths.h"
#include "platform/Device.h"
#include "support/ScopedTestDevice.h"
#include "windows.h"

#include "SameRunRatio.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace {

constexpr int screenWidth = 480;
constexpr int screenHeight = 640;

using bench::compareInOneRun;

struct Screen {
    platform::ScopedTestDevice device{screenWidth, screenHeight, 192};
    LPDIRECTDRAW dd = nullptr;
    LPDIRECTDRAWSURFACE primary = nullptr;

    Screen() {
        DirectDrawCreate(nullptr, &dd, nullptr);
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        dd->CreateSurface(&desc, &primary, nullptr);
    }
    ~Screen() {
        primary->Release();
        dd->Release();
    }
    LPDIRECTDRAWSURFACE surface(int width, int height) {
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DDSD_WIDTH | DDSD_HEIGHT;
        desc.dwWidth = static_cast<DWORD>(width);
        desc.dwHeight = static_cast<DWORD>(height);
        LPDIRECTDRAWSURFACE made = nullptr;
        dd->CreateSurface(&desc, &made, nullptr);
        return made;
    }
};

DDBLTFX fillWith(DWORD colour) {
    DDBLTFX fx{};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = colour;
    return fx;
}

void ColourFillScreen(benchmark::State& state) {
    Screen screen;
    DDBLTFX fx = fillWith(0xEF5D);
    std::vector<std::uint16_t> memory(screenWidth * screenHeight);
    compareInOneRun(
        state,
        [&] {
            screen.primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAITNOTBUSY,
                                &fx);
        },
        [&] {
            std::memset(memory.data(), 0x5D, memory.size() * sizeof(std::uint16_t));
            benchmark::DoNotOptimize(memory.data());
        });
}

void ScrollSelfBlit(benchmark::State& state) {
    Screen screen;
    RECT dest{0, 10, screenWidth, screenHeight};
    RECT source{0, 0, screenWidth, screenHeight - 10};
    std::vector<std::uint16_t> memory(screenWidth * screenHeight, 1);
    const std::size_t moved =
        std::size_t{screenWidth} * (screenHeight - 10) * sizeof(std::uint16_t);
    compareInOneRun(
        state,
        [&] { screen.primary->Blt(&dest, screen.primary, &source, DDBLT_WAITNOTBUSY, nullptr); },
        [&] {
            std::memmove(memory.data() + 10 * screenWidth, memory.data(), moved);
            benchmark::DoNotOptimize(memory.data());
        });
}

void KeyedLabelCopy(benchmark::State& state) {
    Screen screen;
    LPDIRECTDRAWSURFACE label = screen.surface(400, 40);
    DDBLTFX white = fillWith(0xFFFF);
    label->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &white);
    HDC dc = nullptr;
    label->GetDC(&dc);
    SetBkMode(dc, TRANSPARENT);
    RECT box{0, 0, 400, 40};
    DrawTextW(dc, L"Magic packet sent to 192.168.1.20", -1, &box, DT_SINGLELINE);
    label->ReleaseDC(dc);
    DDBLTFX key{};
    key.dwSize = sizeof(key);
    key.ddckSrcColorkey = {0xFFFF, 0xFFFF};
    RECT dest{40, 500, 440, 540};
    std::vector<std::uint16_t> from(400 * 40), to(screenWidth * 40);
    compareInOneRun(
        state,
        [&] {
            screen.primary->Blt(&dest, label, nullptr, DDBLT_KEYSRCOVERRIDE | DDBLT_WAITNOTBUSY,
                                &key);
        },
        [&] {
            for (int y = 0; y < 40; ++y) {
                std::memcpy(to.data() + y * screenWidth + 40, from.data() + y * 400,
                            400 * sizeof(std::uint16_t));
            }
            benchmark::DoNotOptimize(to.data());
        });
    label->Release();
}

void DrawLabelText(benchmark::State& state) {
    Screen screen;
    LPDIRECTDRAWSURFACE label = screen.surface(480, 80);
    LOGFONTW description{};
    description.lfHeight = -24;
    std::wcsncpy(description.lfFaceName, L"DejaVu Sans", LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectW(&description);
    const wchar_t* text = L"Connection established, ready to wake the host !!";
    std::vector<std::uint16_t> from(480 * 80), to(480 * 80);
    compareInOneRun(
        state,
        [&] {
            HDC dc = nullptr;
            label->GetDC(&dc);
            SelectObject(dc, font);
            SetBkMode(dc, TRANSPARENT);
            RECT box{0, 0, 480, 80};
            DrawTextW(dc, text, -1, &box, DT_WORDBREAK);
            label->ReleaseDC(dc);
        },
        [&] {
            std::memcpy(to.data(), from.data(), from.size() * sizeof(std::uint16_t));
            benchmark::DoNotOptimize(to.data());
        });
    DeleteObject(font);
    label->Release();
}

std::vector<std::uint8_t> photoLikePng(int width, int height) {
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels.insert(pixels.end(),
                          {static_cast<std::uint8_t>(x * 7 + y), static_cast<std::uint8_t>(y * 3),
                           static_cast<std::uint8_t>(x ^ y), static_cast<std::uint8_t>(255 - y)});
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
    std::vector<std::uint8_t> bytes(size);
    png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.data(), 0, nullptr);
    bytes.resize(size);
    return bytes;
}

void DecodePng(benchmark::State& state) {
    Screen screen;
    const auto bytes = photoLikePng(480, 120);
    const auto file = platform::paths::toHost(L"\\bench.png");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    IImagingFactory* factory = nullptr;
    CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                     reinterpret_cast<void**>(&factory));
    std::vector<std::uint8_t> decoded(480 * 120 * 4);
    compareInOneRun(
        state,
        [&] {
            IImage* image = nullptr;
            factory->CreateImageFromFile(L"\\bench.png", &image);
            image->Release();
        },
        [&] {
            png_image image{};
            image.version = PNG_IMAGE_VERSION;
            png_image_begin_read_from_memory(&image, bytes.data(), bytes.size());
            image.format = PNG_FORMAT_RGBA;
            png_image_finish_read(&image, nullptr, decoded.data(), 0, nullptr);
            benchmark::DoNotOptimize(decoded.data());
        });
    factory->Release();
}

} // namespace

BENCHMARK(ColourFillScreen)->UseManualTime();
BENCHMARK(ScrollSelfBlit)->UseManualTime();
BENCHMARK(KeyedLabelCopy)->UseManualTime();
BENCHMARK(DrawLabelText)->UseManualTime();
BENCHMARK(DecodePng)->UseManualTime();

BENCHMARK_MAIN();

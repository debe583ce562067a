// Helpers shared by the graphics tests: a DirectDraw object on a headless device, surfaces,
// pixel access through Lock, device contexts on buffers and PNG files written on the spot.
#pragma once

#include "ddraw.h"
#include "imaging.h"
#include "kernel/Paths.h"
#include "platform/Device.h"
#include "support/ScopedTestDevice.h"
#include "gdi/BufferDC.h"
#include "windows.h"
#include "support/Files.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <vector>

namespace gfxtest {

using Pixels = std::vector<std::uint16_t>;

struct ReleaseCom {
    void operator()(IUnknown* object) const { object->Release(); } // never given null
};
template <class T>
using ComPtr = std::unique_ptr<T, ReleaseCom>;

inline ComPtr<IDirectDraw> makeDirectDraw() {
    LPDIRECTDRAW dd = nullptr;
    EXPECT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    return ComPtr<IDirectDraw>(dd);
}

// A surface of the given size, or with width 0 one of the caps' own size (the primary).
inline ComPtr<IDirectDrawSurface> makeSurface(IDirectDraw& dd, int width, int height,
                                              DWORD caps = 0) {
    DDSURFACEDESC desc{sizeof(desc)};
    desc.dwFlags = (width != 0 ? DDSD_WIDTH | DDSD_HEIGHT : 0) | (caps != 0 ? DDSD_CAPS : 0);
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(height);
    desc.ddsCaps.dwCaps = caps;
    LPDIRECTDRAWSURFACE surface = nullptr;
    EXPECT_EQ(dd.CreateSurface(&desc, &surface, nullptr), DD_OK);
    return ComPtr<IDirectDrawSurface>(surface);
}

// Blt effects filling with `colour` and skipping source pixels from `low` to `high`.
inline DDBLTFX effects(DWORD colour, DWORD low = 0, DWORD high = 0) {
    DDBLTFX fx{sizeof(fx)};
    fx.dwFillColor = colour;
    fx.ddckSrcColorkey = {low, high};
    return fx;
}

inline HRESULT fill(IDirectDrawSurface& surface, RECT* rect, DWORD colour) {
    DDBLTFX fx = effects(colour);
    return surface.Blt(rect, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAITNOTBUSY, &fx);
}

// Reads the surface's pixels, row after row, through Lock; with `write`, writes them first.
// None when the surface cannot be locked. (Free of the test framework: benchmarks use it too.)
inline Pixels pixelsOf(IDirectDrawSurface& surface, const Pixels* write = nullptr) {
    DDSURFACEDESC desc{sizeof(desc)};
    Pixels out;
    if (surface.Lock(nullptr, &desc, 0, nullptr) != DD_OK)
        return out;
    for (DWORD y = 0; y < desc.dwHeight; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(static_cast<std::uint8_t*>(desc.lpSurface) +
                                                     y * desc.lPitch);
        if (write != nullptr)
            std::copy_n(write->begin() + y * desc.dwWidth, desc.dwWidth, row);
        out.insert(out.end(), row, row + desc.dwWidth);
    }
    surface.Unlock(nullptr);
    return out;
}

// A pixel buffer with a device context drawing into it.
struct BufferCanvas {
    int width;
    int height;
    Pixels pixels;
    HDC dc;
    BufferCanvas(int w, int h, std::uint16_t background, HGDIOBJ font = nullptr)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, background),
          dc(platform::gdi::createBufferDC(pixels.data(), w, h, w)) {
        if (font != nullptr)
            SelectObject(dc, font);
    }
    BufferCanvas(const BufferCanvas&) = delete;
    BufferCanvas& operator=(const BufferCanvas&) = delete;
    ~BufferCanvas() { platform::gdi::deleteBufferDC(dc); }
    std::uint16_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    // The smallest rectangle holding every pixel of rows [fromRow, height) that differs from
    // `background`.
    RECT ink(std::uint16_t background, int fromRow = 0) const {
        RECT r{width, height, 0, 0};
        for (int i = fromRow * width; i < width * height; ++i) {
            const LONG x = i % width, y = i / width;
            if (pixels[static_cast<std::size_t>(i)] != background)
                r = {std::min(r.left, x), std::min(r.top, y), std::max(r.right, x + 1),
                     std::max(r.bottom, y + 1)};
        }
        return r;
    }
};

inline HFONT makeFont(LONG height, const wchar_t* face = L"DejaVu Sans", LONG weight = FW_NORMAL,
                      BYTE italic = 0) {
    LOGFONTW description{height, 0, 0, 0, weight, italic};
    std::wcsncpy(description.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectW(&description);
}

// DrawTextW's DT_CALCRECT answer for `text` starting from `start`.
inline RECT measure(HDC dc, const wchar_t* text, UINT format, RECT start = {0, 0, 1000, 1}) {
    DrawTextW(dc, text, -1, &start, format | DT_CALCRECT);
    return start;
}

using testsupport::writeBytes;

// Writes an RGBA (or RGB) PNG file; returns its bytes too.
inline std::vector<std::uint8_t> writePng(const std::filesystem::path& file, int width, int height,
                                          const std::vector<std::uint8_t>& pixels, bool alpha) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    std::vector<std::uint8_t> bytes(size);
    EXPECT_TRUE(
        png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.data(), 0, nullptr));
    bytes.resize(size);
    writeBytes(file, std::string(bytes.begin(), bytes.end()));
    return bytes;
}

} // namespace gfxtest

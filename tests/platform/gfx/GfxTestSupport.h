// Helpers shared by the graphics tests: a DirectDraw object on a headless device, surfaces,
// pixel access through Lock, device contexts on buffers and PNG files written on the spot.
#pragma once

#include "ddraw.h"
#include "imaging.h"
#include "kernel/Paths.h"
#include "platform/Device.h"
#include "windows.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace gfxtest {

struct ReleaseCom {
    void operator()(IUnknown* object) const {
        if (object != nullptr) {
            object->Release();
        }
    }
};
template <class T>
using ComPtr = std::unique_ptr<T, ReleaseCom>;

inline ComPtr<IDirectDraw> makeDirectDraw() {
    LPDIRECTDRAW dd = nullptr;
    EXPECT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    return ComPtr<IDirectDraw>(dd);
}

inline ComPtr<IDirectDrawSurface> makeSurface(IDirectDraw& dd, int width, int height,
                                              DWORD caps = 0) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_WIDTH | DDSD_HEIGHT | (caps != 0 ? DDSD_CAPS : 0);
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(height);
    desc.ddsCaps.dwCaps = caps;
    LPDIRECTDRAWSURFACE surface = nullptr;
    EXPECT_EQ(dd.CreateSurface(&desc, &surface, nullptr), DD_OK);
    return ComPtr<IDirectDrawSurface>(surface);
}

inline ComPtr<IDirectDrawSurface> makePrimary(IDirectDraw& dd) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    LPDIRECTDRAWSURFACE surface = nullptr;
    EXPECT_EQ(dd.CreateSurface(&desc, &surface, nullptr), DD_OK);
    return ComPtr<IDirectDrawSurface>(surface);
}

inline DDBLTFX fillEffects(DWORD colour) {
    DDBLTFX fx{};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = colour;
    return fx;
}

inline HRESULT fill(IDirectDrawSurface& surface, RECT* rect, DWORD colour) {
    DDBLTFX fx = fillEffects(colour);
    return surface.Blt(rect, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAITNOTBUSY, &fx);
}

// The surface's pixels, row after row, read through Lock.
inline std::vector<std::uint16_t> pixelsOf(IDirectDrawSurface& surface) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    EXPECT_EQ(surface.Lock(nullptr, &desc, DDLOCK_READONLY, nullptr), DD_OK);
    std::vector<std::uint16_t> out;
    for (DWORD y = 0; y < desc.dwHeight; ++y) {
        const auto* row = reinterpret_cast<const std::uint16_t*>(
            static_cast<const std::uint8_t*>(desc.lpSurface) + y * desc.lPitch);
        out.insert(out.end(), row, row + desc.dwWidth);
    }
    surface.Unlock(nullptr);
    return out;
}

inline void writePixels(IDirectDrawSurface& surface, const std::vector<std::uint16_t>& pixels) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    ASSERT_EQ(surface.Lock(nullptr, &desc, DDLOCK_WRITEONLY, nullptr), DD_OK);
    for (DWORD y = 0; y < desc.dwHeight; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(static_cast<std::uint8_t*>(desc.lpSurface) +
                                                     y * desc.lPitch);
        std::copy_n(pixels.begin() + y * desc.dwWidth, desc.dwWidth, row);
    }
    surface.Unlock(nullptr);
}

// A pixel buffer with a device context drawing into it.
struct BufferCanvas {
    int width;
    int height;
    std::vector<std::uint16_t> pixels;
    HDC dc;
    BufferCanvas(int w, int h, std::uint16_t background);
    ~BufferCanvas();
    std::uint16_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    // The smallest rectangle holding every pixel that differs from `background`.
    RECT ink(std::uint16_t background) const;
};

// Writes an RGBA (or RGB) PNG file; returns its bytes too.
std::vector<std::uint8_t> writePng(const std::filesystem::path& file, int width, int height,
                                   const std::vector<std::uint8_t>& pixels, bool alpha);

// The \windows folder of the running test device, created if needed.
std::filesystem::path windowsFolder();

// Where the test program lies (checks write their pictures there).
std::filesystem::path programFolder();

} // namespace gfxtest

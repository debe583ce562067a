// Shared pieces of the toolkit tests: a headless device with a program folder of its own and a
// fresh toolkit state, a display frame, message pumping, pixels, a counting test element, PNG
// files written and read with libpng, and the message boxes of death tests.
#pragma once

#include "DisplayFrame.h"
#include "Element.h"
#include "ImageLoader.h"
#include "MotionTracker.h"
#include "ResourceManager.h"
#include "Tunables.h"

#include "kernel/Paths.h"

#include <platform/Clock.h>
#include <platform/Device.h>

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace toolkit_test {

using platform::paths::narrow;

constexpr std::uint16_t kBlack = 0x0000;

// An element that paints nothing and counts its paints; loadOrder lists every reload of any
// block, in order.
class TestBlock : public Element {
public:
    explicit TestBlock(int id, int width = 1, int height = 1, int x = 0, int y = 0,
                       bool alreadyScaled = true)
        : Element(id, x, y, kindLabel, alreadyScaled) {
        right = left + width;
        bottom = top + height;
    }
    void loadSurf() override { loadOrder.push_back(this); }
    void paint(IDirectDrawSurface*, int, int) override { ++paintCount; }
    Element* hitTest(int, int) override { return nullptr; }

    int paintCount = 0;
    static inline std::vector<const Element*> loadOrder;
};

// A headless device with the manual clock and a fresh program folder that the device sees as
// "\Program Files\Dawnbell\". Resets the toolkit's process-wide state on both ends, so that
// every test starts from a program that has just begun.
class ToolkitDevice {
public:
    explicit ToolkitDevice(int width = 480, int height = 640, int dpi = 192)
        : device_(width, height, dpi), programDir_(device_.folder() / "program") {
        std::filesystem::create_directories(programDir_);
        platform::paths::configure(platform::paths::deviceDir(), programDir_);
        std::filesystem::create_directories(platform::paths::toHost(L"\\windows\\"));
        platform::clock::useManual(1000);
        resetToolkitState();
    }
    ~ToolkitDevice() {
        resetToolkitState();
        platform::clock::useSystem();
    }
    const std::filesystem::path& programDir() const { return programDir_; }

private:
    static void resetToolkitState() {
        for (IDirectDrawSurface** surface : {&backBuffer, &scrollBarSurface}) {
            if (*surface != nullptr) {
                std::exchange(*surface, nullptr)->Release();
            }
        }
        theFrame = nullptr;
        mainWindow = nullptr;
        appInstance = nullptr;
        primarySurface = nullptr;
        viewRect = clientRect = dirtyRect = RECT{};
        drawingReady = portrait = 0;
        frameHasFocus = fullRedraw = 1;
        hideScrollBarHook = nullptr;
        modalBoxHooks = ModalBoxHooks{};
        *sharedTracker() = MotionTracker();
        scaleFactor = 1.0;
        resourceDir.clear();
        rescaleStepHook = nullptr;
        TestBlock::loadOrder.clear();
    }

    platform::ScopedTestDevice device_;
    std::filesystem::path programDir_;
};

// Dispatches every pending message of the calling thread.
inline void pumpMessages() {
    MSG msg;
    // A window that never validates would keep WM_PAINT coming; no test needs that many.
    for (int count = 0; count < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++count) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A frame opened on the device, ready to draw.
class OpenFrame {
public:
    OpenFrame() {
        // As the resource manager leaves it before the frame exists.
        portrait = GetSystemMetrics(SM_CXSCREEN) < GetSystemMetrics(SM_CYSCREEN) ? 1 : 0;
        frame_ = std::make_unique<DisplayFrame>(GetModuleHandleW(nullptr), L"Dawnbell");
        pumpMessages();
        drawingReady = 1;
    }
    DisplayFrame* operator->() const { return frame_.get(); }

private:
    std::unique_ptr<DisplayFrame> frame_;
};

// A pixel as presented.
inline std::uint16_t pixelAt(int x, int y) {
    return platform::Device::instance().compose(RECT{x, y, x + 1, y + 1}).at(0);
}

inline void fillScreen(std::uint16_t colour) {
    colourFill(primarySurface, nullptr, colour);
}

// Whether every pixel of the screen buffer is `inside` within `area` and `outside` elsewhere.
inline ::testing::AssertionResult screenShows(const RECT& area, std::uint16_t inside,
                                              std::uint16_t outside) {
    platform::Device& screen = platform::Device::instance();
    std::lock_guard lock(screen.screenLock());
    for (LONG y = 0; y < GetSystemMetrics(SM_CYSCREEN); ++y) {
        for (LONG x = 0; x < GetSystemMetrics(SM_CXSCREEN); ++x) {
            const bool in = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
            const std::uint16_t pixel =
                screen.pixels()[static_cast<size_t>(y) * screen.pitch() + x];
            if (pixel != (in ? inside : outside)) {
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << ": " << pixel;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

inline std::vector<platform::Device::MessageBoxRecord> shownBoxes() {
    return platform::Device::instance().messageBoxes();
}

inline std::array<LONG, 4> edges(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

struct SurfaceShot {
    LONG width = 0;
    LONG height = 0;
    std::vector<std::uint16_t> firstRow;
};

inline SurfaceShot inspect(IDirectDrawSurface* surface) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    SurfaceShot shot;
    if (SUCCEEDED(surface->Lock(nullptr, &desc, DDLOCK_READONLY | DDLOCK_WAITNOTBUSY, nullptr))) {
        const auto* row = static_cast<const std::uint16_t*>(desc.lpSurface);
        shot = SurfaceShot{static_cast<LONG>(desc.dwWidth),
                           static_cast<LONG>(desc.dwHeight),
                           {row, row + desc.dwWidth}};
        surface->Unlock(nullptr);
    }
    return shot;
}

inline std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// RGBA pixels row by row; empty: an opaque colour ramp.
inline void writePng(const std::filesystem::path& file, unsigned width, unsigned height,
                     std::vector<std::uint8_t> pixels = {}) {
    for (size_t i = pixels.size(); i < static_cast<size_t>(width) * height * 4; ++i) {
        pixels.push_back(i % 4 == 3 ? 255 : static_cast<std::uint8_t>(i * (i % 4 + 1)));
    }
    std::FILE* out = std::fopen(file.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, out);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (unsigned y = 0; y < height; ++y) {
        png_write_row(png, pixels.data() + static_cast<size_t>(y) * width * 4);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
}

struct PngSize {
    unsigned width = 0;
    unsigned height = 0;
    bool valid = false; // the whole file decodes
};

inline PngSize readPngSize(const std::filesystem::path& file) {
    PngSize size;
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) {
        return size;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, in);
        png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
        size = PngSize{png_get_image_width(png, info), png_get_image_height(png, info), true};
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(in);
    return size;
}

// In a child process on a fresh device, `action` must show a message box matching `box`
// ("<caption>|<type as hex>|<text>", a regular expression) and end the program with exit code 0.
inline void expectBoxAndExit(void (*action)(), const std::string& box) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ToolkitDevice device;
            std::atexit([] {
                for (const auto& shown : shownBoxes()) {
                    std::fprintf(stderr, "BOX %s|%x|%s\n", narrow(shown.caption).c_str(),
                                 shown.type, narrow(shown.text).c_str());
                }
            });
            action();
        },
        ::testing::ExitedWithCode(0), "BOX " + box);
}

} // namespace toolkit_test

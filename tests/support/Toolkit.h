// Shared pieces of the toolkit tests: a headless device with a program folder of its own and a
// fresh toolkit state, a display frame, message pumping, pixels, a counting test element, PNG
// files, and the child processes of the program's fatal and non-fatal paths.
#pragma once

#include "DisplayFrame.h"
#include "FatalExit.h"
#include "Element.h"
#include "ImageLoader.h"
#include "MessageBoxSense.h"
#include "MotionTracker.h"
#include "MyItem.h"
#include "MyLabel.h"
#include "MyPanel.h"
#include "ResourceManager.h"
#include "Section.h"
#include "ToolkitState.h"
#include "Tunables.h"
#include "support/Files.h"
#include "support/Gfx.h"

#include "imaging/PngCodec.h"
#include "kernel/Paths.h"

#include <platform/Clock.h>
#include <platform/Device.h>
#include <platform/Messages.h>
#include "support/LabelRenders.h"
#include "support/RescaleStops.h"
#include "support/ScopedTestDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace toolkit_test {

using platform::paths::narrow;

constexpr std::uint16_t kBlack = 0x0000;
constexpr std::uint16_t kBackdrop = 0x07E0; // pure green: no widget here draws it

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
    explicit ToolkitDevice(int width = 480, int height = 640, int dpi = 192, bool native = false)
        : device_(width, height, dpi, native), programDir_(device_.folder() / "program") {
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
        ::resetToolkitState();
        TestBlock::loadOrder.clear();
    }

    platform::ScopedTestDevice device_;
    std::filesystem::path programDir_;
};

// The build's real resource set (the 21 images and the two fonts) in the device's program folder,
// loaded as the program does at start: fonts installed into \windows, image paths set, images
// shrunk once on a small screen.
inline void installResourceSet(const ToolkitDevice& device) {
    const char* bin = std::getenv("DAWNBELL_TEST_BIN");
    ASSERT_NE(bin, nullptr) << "DAWNBELL_TEST_BIN names the build's bin folder";
    const std::filesystem::path target = device.programDir() / "resources" / "VGA";
    std::filesystem::create_directories(target);
    std::filesystem::copy(std::filesystem::path(bin) / "resources" / "VGA", target,
                          std::filesystem::copy_options::overwrite_existing |
                              std::filesystem::copy_options::recursive);
    std::filesystem::remove(target / narrow(scaledMarkerFile));
    std::filesystem::remove(target / narrow(rescaleProgressFile));
    loadResources();
}

using platform::pumpMessages;

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

// The off-screen buffer that the screen's Section makes in the program.
inline void createBackBuffer() {
    if (backBuffer == nullptr) {
        createDisplaySurface(static_cast<DWORD>(GetSystemMetrics(SM_CXSCREEN)),
                             static_cast<DWORD>(GetSystemMetrics(SM_CYSCREEN)), 0, &backBuffer);
    }
}

// A pixel as presented.
inline std::uint16_t pixelAt(int x, int y) {
    return platform::Device::instance().compose(RECT{x, y, x + 1, y + 1}).at(0);
}

// Pixels of a surface or of an area of the screen buffer (without what is drawn above it:
// overlays, task bar), row by row.
struct Pixels {
    LONG width = 0;
    LONG height = 0;
    std::vector<std::uint16_t> data;
    std::uint16_t at(LONG x, LONG y) const { return data[static_cast<size_t>(y * width + x)]; }
};

inline Pixels surfacePixels(IDirectDrawSurface* surface) {
    DDSURFACEDESC desc{sizeof desc};
    surface->GetSurfaceDesc(&desc);
    return {static_cast<LONG>(desc.dwWidth), static_cast<LONG>(desc.dwHeight),
            gfxtest::pixelsOf(*surface)};
}

inline Pixels screenPixels(const RECT& area) {
    platform::Device& screen = platform::Device::instance();
    std::lock_guard lock(screen.screenLock());
    Pixels pixels{area.right - area.left, area.bottom - area.top, {}};
    for (LONG y = area.top; y < area.bottom; ++y) {
        const std::uint16_t* row = screen.pixels() + static_cast<size_t>(y) * screen.pitch();
        pixels.data.insert(pixels.data.end(), row + area.left, row + area.right);
    }
    return pixels;
}

// The smallest rectangle around the pixels that `isInk(x, y)` picks; inside out when none is.
template <typename IsInk>
RECT inkBounds(const Pixels& pixels, IsInk isInk) {
    RECT ink{pixels.width, pixels.height, 0, 0};
    for (LONG y = 0; y < pixels.height; ++y) {
        for (LONG x = 0; x < pixels.width; ++x) {
            if (isInk(x, y)) {
                ink = RECT{std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x + 1),
                           std::max(ink.bottom, y + 1)};
            }
        }
    }
    return ink;
}

inline std::vector<std::uint16_t> screenBuffer() {
    return screenPixels(RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)})
        .data;
}

// Whether the screen buffer shows `expected` (a screenBuffer() taken before) inside `area` and
// black everywhere else.
inline ::testing::AssertionResult screenMatches(const std::vector<std::uint16_t>& expected,
                                                const RECT& area) {
    const std::vector<std::uint16_t> now = screenBuffer();
    const auto width = static_cast<size_t>(GetSystemMetrics(SM_CXSCREEN));
    size_t wrong = 0;
    size_t first = 0;
    for (size_t i = 0; i < now.size(); ++i) {
        const auto x = static_cast<LONG>(i % width);
        const auto y = static_cast<LONG>(i / width);
        const bool in = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
        if (now[i] != (in ? expected[i] : kBlack) && wrong++ == 0) {
            first = i;
        }
    }
    if (wrong == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << wrong << " pixels differ, the first at " << first % width << "," << first / width;
}

// Whether the screen buffer is `colour` within `area` and black elsewhere.
inline ::testing::AssertionResult screenShows(const RECT& area, std::uint16_t colour) {
    return screenMatches(std::vector<std::uint16_t>(screenBuffer().size(), colour), area);
}

// The whole screen painted again, as the message loop paints it after building the screen.
inline void paintWhole() {
    dirtyRect = RECT{viewRect.left, clientRect.top, viewRect.right, GetSystemMetrics(SM_CYSCREEN)};
    fullRedraw = 1;
    theFrame->redraw(true);
}

inline void fillScreen(std::uint16_t colour) {
    colourFill(primarySurface, nullptr, colour);
}

inline std::vector<platform::Device::MessageBoxRecord> shownBoxes() {
    return platform::Device::instance().messageBoxes();
}

inline std::array<LONG, 4> edges(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

inline std::array<LONG, 4> bounds(const Element& e) {
    return {e.left, e.top, e.right, e.bottom};
}

// Whether the screen below the task bar is what a fresh whole paint draws: no stale band, no seam,
// nothing moved by a wrong amount.
inline ::testing::AssertionResult showsAFreshPaint() {
    const std::vector<std::uint16_t> shown = screenBuffer();
    fillScreen(kBlack);
    paintWhole();
    return screenMatches(shown, RECT{0, clientRect.top, GetSystemMetrics(SM_CXSCREEN),
                                     GetSystemMetrics(SM_CYSCREEN)});
}

using testsupport::fileBytes, testsupport::writeBytes;

// A PNG file of RGBA pixels given row by row (repeated to fill it), or of an opaque colour ramp;
// without `alpha`, a file of 24-bit pixels.
inline void writePng(const std::filesystem::path& file, int width, int height,
                     const std::vector<std::uint8_t>& rgba = {}, bool alpha = true) {
    platform::imaging::RgbaImage image(width, height);
    for (size_t i = 0; i < image.rgba.size(); ++i) {
        const auto ramp = static_cast<std::uint8_t>(i % 4 == 3 ? 255 : i * (i % 4 + 1));
        image.rgba[i] = rgba.empty() ? ramp : rgba[i % rgba.size()];
    }
    std::vector<std::uint8_t> bytes;
    platform::imaging::encodePng(image, alpha, bytes);
    writeBytes(file, std::string(bytes.begin(), bytes.end()));
}

// The size of a PNG file, {0, 0} unless the whole file decodes.
inline std::pair<unsigned, unsigned> pngSize(const std::filesystem::path& file) {
    platform::imaging::DecodedPng png;
    if (FAILED(platform::imaging::decodePngFile(file, png))) {
        return {};
    }
    return {static_cast<unsigned>(png.image.width), static_cast<unsigned>(png.image.height)};
}

// In a child process on a fresh device, `action` must show a message box matching `box`
// ("<caption>|<type as hex>|<text>", a regular expression) and end the program with the fatal exit
// status.
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
        ::testing::ExitedWithCode(fatalExitStatus), "BOX " + box);
}

// A finger at a screen point; mainWindow's thread takes it from its queue.
inline void touch(platform::PointerAction action, POINT at) {
    platform::Device::instance().pointer(action, at.x, at.y);
}

// A finger at a point of the frame window's client area, and the messages it brings handled.
inline void stylus(platform::PointerAction action, int clientX, int clientY) {
    POINT p{clientX, clientY};
    ClientToScreen(mainWindow, &p);
    touch(action, p);
    pumpMessages();
}

inline POINT centreOf(const RECT& r) {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The box the frame shows now, or null, read as the frame's painters read it.
inline MessageBoxSense* shownBox() {
    MotionLockGuard lock;
    return theFrame != nullptr ? theFrame->modalBox : nullptr;
}

// The program's scrolling screen before its widgets come: the resource set loaded, a frame open,
// and an empty section of the screen's width as the frame's screen.
class SectionScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        installResourceSet(device);
        frame.emplace();
        section = new Section(100, 0, 0, GetSystemMetrics(SM_CXSCREEN), L"Dawnbell");
        (*frame)->addScreen(section);
    }

    ToolkitDevice device;
    std::optional<OpenFrame> frame;
    Section* section = nullptr;
};

} // namespace toolkit_test

#include "ToolkitTestSupport.h"

#include "ImageLoader.h"
#include "ResourceManager.h"
#include "Tunables.h"

#include "kernel/Paths.h"

#include <platform/Clock.h>

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace toolkit_test {

namespace {

void releaseSurface(IDirectDrawSurface*& surface) {
    if (surface != nullptr) {
        surface->Release();
        surface = nullptr;
    }
}

void pointerAt(platform::PointerAction action, int clientX, int clientY) {
    POINT p{clientX, clientY};
    ClientToScreen(mainWindow, &p);
    platform::Device::instance().pointer(action, p.x, p.y);
    pumpMessages();
}

} // namespace

std::string narrow(const std::wstring& text) {
    return platform::paths::narrow(text);
}

// ---- Device ------------------------------------------------------------------------------------

ToolkitDevice::ToolkitDevice(int width, int height, int dpi) : device_(width, height, dpi) {
    programDir_ = device_.folder() / "program";
    std::filesystem::create_directories(programDir_);
    platform::paths::configure(platform::paths::deviceDir(), programDir_);
    std::filesystem::create_directories(platform::paths::toHost(L"\\windows\\"));
    platform::clock::useManual(1000);
    resetToolkitState();
}

ToolkitDevice::~ToolkitDevice() {
    resetToolkitState();
    platform::clock::useSystem();
}

std::filesystem::path ToolkitDevice::host(const std::wstring& devicePath) {
    return platform::paths::toHost(devicePath);
}

void ToolkitDevice::resetToolkitState() {
    releaseSurface(backBuffer);
    releaseSurface(scrollBarSurface);
    theFrame = nullptr;
    mainWindow = nullptr;
    appInstance = nullptr;
    primarySurface = nullptr;
    viewRect = clientRect = dirtyRect = RECT{};
    drawingReady = 0;
    portrait = 0;
    frameHasFocus = 1;
    fullRedraw = 1;
    hideScrollBarHook = nullptr;
    modalBoxHooks = ModalBoxHooks{};
    *sharedTracker() = MotionTracker();
    scaleFactor = 1.0;
    resourceDir.clear();
    rescaleStepHook = nullptr;
    TestBlock::loadOrder.clear();
}

OpenFrame::OpenFrame() {
    // As the resource manager leaves it before the frame exists.
    portrait = GetSystemMetrics(SM_CXSCREEN) < GetSystemMetrics(SM_CYSCREEN) ? 1 : 0;
    frame_ = std::make_unique<DisplayFrame>(GetModuleHandleW(nullptr), L"Dawnbell");
    pumpMessages();
    drawingReady = 1;
}

OpenFrame::~OpenFrame() {
    frame_.reset();
    releaseSurface(backBuffer);
    releaseSurface(scrollBarSurface);
}

// ---- Messages and input ------------------------------------------------------------------------

int pumpMessages() {
    int count = 0;
    MSG msg;
    // A window that never validates would keep WM_PAINT coming; no test needs that many.
    while (count < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        ++count;
    }
    return count;
}

void advanceAndPump(DWORD ms) {
    platform::clock::advance(ms);
    pumpMessages();
}

void stylusDown(int x, int y) {
    pointerAt(platform::PointerAction::down, x, y);
}
void stylusMove(int x, int y) {
    pointerAt(platform::PointerAction::move, x, y);
}
void stylusUp(int x, int y) {
    pointerAt(platform::PointerAction::up, x, y);
}

std::uint16_t pixelAt(int x, int y) {
    return platform::Device::instance().compose(RECT{x, y, x + 1, y + 1}).at(0);
}

std::uint16_t bufferPixelAt(int x, int y) {
    platform::Device& screen = platform::Device::instance();
    std::lock_guard lock(screen.screenLock());
    return screen.pixels()[static_cast<size_t>(y) * screen.pitch() + x];
}

void fillScreen(std::uint16_t colour) {
    colourFill(primarySurface, nullptr, colour);
}

// ---- Test elements -----------------------------------------------------------------------------

std::vector<const Element*> TestBlock::loadOrder;

TestBlock::TestBlock(int id, int x, int y, int width, int height, std::uint16_t fill,
                     bool alreadyScaled)
    : Element(id, x, y, kindLabel, alreadyScaled), colour(fill) {
    right = left + width;
    bottom = top + height;
}

void TestBlock::loadSurf() {
    ++loadCount;
    loadOrder.push_back(this);
}

namespace {

// `r` cut to dirtyRect and to the screen; false when nothing is left.
bool clipToDirty(RECT& r) {
    r.left = std::max({r.left, dirtyRect.left, LONG{0}});
    r.top = std::max({r.top, dirtyRect.top, LONG{0}});
    r.right = std::min<LONG>({r.right, dirtyRect.right, GetSystemMetrics(SM_CXSCREEN)});
    r.bottom = std::min<LONG>({r.bottom, dirtyRect.bottom, GetSystemMetrics(SM_CYSCREEN)});
    return r.right > r.left && r.bottom > r.top;
}

} // namespace

void TestBlock::paint(IDirectDrawSurface* target, int originX, int originY) {
    ++paintCount;
    RECT r{originX + left, originY + top, originX + right, originY + bottom};
    screenRect = r;
    if (clipToDirty(r)) {
        colourFill(target, &r, colour);
    }
}

Element* TestBlock::hitTest(int x, int y) {
    const int screenY = y + clientRect.top;
    if (x >= screenRect.left && x < screenRect.right && screenY >= screenRect.top &&
        screenY < screenRect.bottom) {
        selected = 1;
        return this;
    }
    return nullptr;
}

std::uint16_t stripeColour(int contentRow) {
    return static_cast<std::uint16_t>((contentRow + 4000) * 3 + 1);
}

StripedScreen::StripedScreen() : Element(100, 0, 0, kindSection, true) {
    right = GetSystemMetrics(SM_CXSCREEN);
    bottom = GetSystemMetrics(SM_CYSCREEN);
}

void StripedScreen::paint(IDirectDrawSurface* target, int originX, int originY) {
    painted.push_back(dirtyRect);
    RECT area{originX + left, originY, originX + right, viewRect.bottom};
    if (clipToDirty(area)) {
        for (LONG y = area.top; y < area.bottom; ++y) {
            RECT row{area.left, y, area.right, y + 1};
            colourFill(target, &row, stripeColour(y - originY - offset));
        }
    }
    fullRedraw = 0;
}

int StripedScreen::onTimer() {
    ++timerCalls;
    int step;
    if (!scripted.empty()) {
        step = scripted.front();
        scripted.erase(scripted.begin());
    } else {
        step = tracker->nextScrollStep();
    }
    offset += step;
    return step;
}

// ---- PNG files ---------------------------------------------------------------------------------

void writePng(const std::filesystem::path& file, unsigned width, unsigned height,
              const std::vector<std::uint8_t>& rgba) {
    std::vector<std::uint8_t> pixels = rgba;
    if (pixels.empty()) {
        pixels.resize(static_cast<size_t>(width) * height * 4);
        for (size_t i = 0; i < pixels.size(); i += 4) {
            pixels[i] = static_cast<std::uint8_t>(i * 7);
            pixels[i + 1] = static_cast<std::uint8_t>(i * 3);
            pixels[i + 2] = static_cast<std::uint8_t>(i);
            pixels[i + 3] = 255;
        }
    }
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr) {
        std::abort();
    }
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

PngSize readPngSize(const std::filesystem::path& file) {
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
        size.width = png_get_image_width(png, info);
        size.height = png_get_image_height(png, info);
        size.valid = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(in);
    return size;
}

// ---- Message boxes in death tests --------------------------------------------------------------

namespace {

std::string escaped(const std::wstring& text) {
    std::string out;
    for (char c : narrow(text)) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

void printBoxes() {
    if (!platform::Device::running()) {
        return;
    }
    for (const auto& box : platform::Device::instance().messageBoxes()) {
        std::fprintf(stderr, "BOX %s|%x|%s\n", escaped(box.caption).c_str(), box.type,
                     escaped(box.text).c_str());
    }
    std::fflush(stderr);
}

} // namespace

void printMessageBoxesAtExit() {
    std::atexit(printBoxes);
}

} // namespace toolkit_test

// Shared pieces of the toolkit tests: a headless device with a program folder of its own, a
// display frame, message pumping on the manual clock, small test elements, and PNG files written
// and read with libpng.
#pragma once

#include "DisplayFrame.h"
#include "Element.h"
#include "MotionTracker.h"

#include <platform/Device.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace toolkit_test {

// A headless device of the given size, with the manual clock and a fresh program folder that
// the device sees as "\Program Files\Dawnbell\". Resets the toolkit's process-wide state on
// both ends, so that every test starts from a program that has just begun.
class ToolkitDevice {
public:
    explicit ToolkitDevice(int width = 480, int height = 640, int dpi = 192);
    ~ToolkitDevice();
    ToolkitDevice(const ToolkitDevice&) = delete;
    ToolkitDevice& operator=(const ToolkitDevice&) = delete;

    const std::filesystem::path& programDir() const { return programDir_; }
    // Host path of a device path.
    static std::filesystem::path host(const std::wstring& devicePath);

private:
    void resetToolkitState();
    platform::ScopedTestDevice device_;
    std::filesystem::path programDir_;
};

// A frame opened on the device, ready to draw (drawingReady set, no full redraw pending).
class OpenFrame {
public:
    OpenFrame();
    ~OpenFrame();
    OpenFrame(const OpenFrame&) = delete;
    OpenFrame& operator=(const OpenFrame&) = delete;
    DisplayFrame* operator->() const { return frame_.get(); }
    DisplayFrame& get() const { return *frame_; }

private:
    std::unique_ptr<DisplayFrame> frame_;
};

// Dispatches every pending message of the calling thread; returns how many there were.
int pumpMessages();
// Moves the manual clock on, then dispatches what became due.
void advanceAndPump(DWORD ms);

// Stylus input in client coordinates of the main window, dispatched at once.
void stylusDown(int x, int y);
void stylusMove(int x, int y);
void stylusUp(int x, int y);

// Pixels as presented.
std::uint16_t pixelAt(int x, int y);
// A pixel of the screen buffer itself, below any layer (the task bar, overlays).
std::uint16_t bufferPixelAt(int x, int y);
// Fills the whole primary surface with one pixel value.
void fillScreen(std::uint16_t colour);

// A solid block that paints itself clipped to dirtyRect and counts what happens to it.
class TestBlock : public Element {
public:
    TestBlock(int id, int x, int y, int width, int height, std::uint16_t colour,
              bool alreadyScaled = true);
    void loadSurf() override;
    void paint(IDirectDrawSurface* target, int originX, int originY) override;
    Element* hitTest(int x, int y) override;

    std::uint16_t colour;
    int loadCount = 0;
    int paintCount = 0;
    static std::vector<const Element*> loadOrder; // every loadSurf of any block, in order
};

// The colour a striped screen shows on a content row.
std::uint16_t stripeColour(int contentRow);

// A screen root whose content is one stripe colour per row, scrolled by the tracker's steps
// (or by scripted steps), painted only inside dirtyRect. Clears fullRedraw when it paints, as
// the scrolling screen does.
class StripedScreen : public Element {
public:
    StripedScreen();
    void loadSurf() override {}
    void paint(IDirectDrawSurface* target, int originX, int originY) override;
    Element* hitTest(int, int) override { return nullptr; }
    int onTimer() override;

    int offset = 0;            // content row shown at the top of the view is -offset
    std::vector<int> scripted; // steps handed out before the tracker's, first first
    std::vector<RECT> painted; // dirtyRect at every paint
    int timerCalls = 0;
};

// PNG files on the host.
struct PngSize {
    unsigned width = 0;
    unsigned height = 0;
    bool valid = false;
};
// RGBA pixels, row by row; empty: a plain opaque colour ramp.
void writePng(const std::filesystem::path& file, unsigned width, unsigned height,
              const std::vector<std::uint8_t>& rgba = {});
PngSize readPngSize(const std::filesystem::path& file);

// Prints the recorded native message boxes to standard error when the process exits, so that
// death tests can match them: one line "BOX <caption>|<type as hex>|<text>" each, with CR and
// LF written as \r and \n.
void printMessageBoxesAtExit();

std::string narrow(const std::wstring& text);

} // namespace toolkit_test

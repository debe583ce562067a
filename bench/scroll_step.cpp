// One scroll frame step of the display frame (the self-blit of the view on the primary surface,
// the erase of the uncovered band, the tree repainting only that band) on a screen full of
// elements, against the least any scroll must do: one memmove of the view's pixels. Reported as
// the ratio of the two, measured in one run on the headless device.
#include "DisplayFrame.h"
#include "Element.h"
#include "Tunables.h"

#include <platform/Device.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kStepPx = 30;

// A solid block that paints only what lies in the dirty band.
class Block : public Element {
public:
    Block(int x, int y, int width, int height, DWORD colour)
        : Element(-1, x, y, kindLabel, true), colour_(colour) {
        right = left + width;
        bottom = top + height;
    }
    void loadSurf() override {}
    Element* hitTest(int, int) override { return nullptr; }
    void paint(IDirectDrawSurface* target, int originX, int originY) override {
        RECT r{std::max<LONG>(originX + left, dirtyRect.left),
               std::max<LONG>(originY + top, dirtyRect.top),
               std::min<LONG>(originX + right, dirtyRect.right),
               std::min<LONG>(originY + bottom, dirtyRect.bottom)};
        if (r.right > r.left && r.bottom > r.top) {
            colourFill(target, &r, colour_);
        }
    }

private:
    DWORD colour_;
};

// A screen of rows of blocks that scrolls down and up by one step in turn.
class Board : public Element {
public:
    Board() : Element(100, 0, 0, kindSection, true) {
        right = GetSystemMetrics(SM_CXSCREEN);
        for (int y = 0; y < GetSystemMetrics(SM_CYSCREEN) + kStepPx; y += 40) {
            for (int x = 0; x < right; x += 120) {
                blocks_.push_back(std::make_unique<Block>(x + 4, y + 4, 112, 32, 0x1234 + y + x));
            }
        }
    }
    void loadSurf() override {}
    Element* hitTest(int, int) override { return nullptr; }
    void paint(IDirectDrawSurface* target, int originX, int originY) override {
        for (auto& block : blocks_) {
            block->paint(target, originX, originY + offset_);
        }
        fullRedraw = 0;
    }
    int onTimer() override {
        const int step = offset_ == 0 ? kStepPx : -kStepPx;
        offset_ += step;
        return step;
    }

private:
    std::vector<std::unique_ptr<Block>> blocks_;
    int offset_ = 0;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ScrollStepAgainstMemmoveOfTheView(benchmark::State& state) {
    platform::ScopedTestDevice device;
    {
        DisplayFrame frame(GetModuleHandleW(nullptr), L"Dawnbell");
        frame.addScreen(new Board());
        sharedTracker()->scrollTarget = frame.screens[0];
        drawingReady = 1;
        fullRedraw = 1;
        dirtyRect = viewRect;
        frame.redraw(true);

        const int width = GetSystemMetrics(SM_CXSCREEN);
        const int viewRows = viewRect.bottom - viewRect.top;
        std::vector<std::uint16_t> view(static_cast<size_t>(width) * viewRows, 0x5555);
        const size_t movedBytes = static_cast<size_t>(width) * (viewRows - kStepPx) * 2;

        double stepSeconds = 0;
        double memmoveSeconds = 0;
        for (auto _ : state) {
            auto start = std::chrono::steady_clock::now();
            frame.UpdateFrame();
            const double step = secondsSince(start);

            start = std::chrono::steady_clock::now();
            std::memmove(view.data() + static_cast<size_t>(width) * kStepPx, view.data(),
                         movedBytes);
            benchmark::DoNotOptimize(view.data());
            benchmark::ClobberMemory();
            memmoveSeconds += secondsSince(start);

            stepSeconds += step;
            state.SetIterationTime(step);
        }
        const auto iterations = static_cast<double>(state.iterations());
        if (iterations > 0 && memmoveSeconds > 0) {
            state.counters["step_us"] = 1e6 * stepSeconds / iterations;
            state.counters["memmove_us"] = 1e6 * memmoveSeconds / iterations;
            state.counters["ratio"] = stepSeconds / memmoveSeconds;
        }
        sharedTracker()->scrollTarget = nullptr;
    }
    theFrame = nullptr;
    mainWindow = nullptr;
}
BENCHMARK(BM_ScrollStepAgainstMemmoveOfTheView)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

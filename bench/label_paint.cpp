// A label of about 400 x 40 pixels (two lines of the 9-point label font: 386 x 42) on the
// headless phone:
//   painting it once it is rendered (the colour-keyed copy onto the screen; goal: ratio <= 1.5)
//   re-rendering it (fill, DrawTextW into its surface, then the copy), as a change of colour does
// each against a plain memcpy of its pixels, row by row into a buffer of the screen's width,
// measured in the same run (bench/SameRunRatio.h).
#include "DisplayFrame.h"
#include "MyLabel.h"

#include <platform/Device.h>
#include "support/LabelRenders.h"
#include "support/ScopedTestDevice.h"

#include "SameRunRatio.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr int kScreenWidth = 480;
constexpr int kScreenHeight = 640;
constexpr int kDpi = 136;        // where a line of the 9-point font is 20 pixels high
constexpr int kLabelLeftPx = 85; // text wraps within the 395 pixels right of it

const wchar_t* const kText =
    L"Magic packet sent to the computer at 192.168.1.20, port 9; it should wake up soon";

// The phone with its display frame and back buffer; the shared fonts go with it.
class Phone {
public:
    Phone() : device_(kScreenWidth, kScreenHeight, kDpi) {
        frame_ = new DisplayFrame(GetModuleHandleW(nullptr), L"Dawnbell");
        drawingReady = 1;
        createDisplaySurface(kScreenWidth, kScreenHeight, 0, &backBuffer);
    }
    ~Phone() {
        delete frame_;
        resetToolkitState();
    }
    Phone(const Phone&) = delete;
    Phone& operator=(const Phone&) = delete;

private:
    platform::ScopedTestDevice device_;
    DisplayFrame* frame_ = nullptr;
};

// Times `operation` and a memcpy of the label's pixels alternately, as the screen's rows take
// them: row by row into a buffer of the screen's width.
template <typename Operation>
void againstMemcpy(benchmark::State& state, const MyLabel& label, Operation&& operation) {
    const int width = label.textRect.right;
    const int height = label.textRect.bottom;
    std::vector<std::uint16_t> from(static_cast<size_t>(width) * height, 0x1234);
    std::vector<std::uint16_t> to(static_cast<size_t>(kScreenWidth) * height);
    bench::compareInOneRun(state, operation, [&] {
        for (int y = 0; y < height; ++y) {
            std::memcpy(to.data() + static_cast<size_t>(y) * kScreenWidth,
                        from.data() + static_cast<size_t>(y) * width,
                        static_cast<size_t>(width) * sizeof(std::uint16_t));
        }
        benchmark::DoNotOptimize(to.data());
    });
    state.counters["width"] = width;
    state.counters["height"] = height;
}

void BM_PaintRenderedLabelAgainstMemcpy(benchmark::State& state) {
    Phone phone;
    MyLabel label(-1, kLabelLeftPx, 200, kText, labelFontNormal, RGB(0, 0, 0), true);
    dirtyRect = viewRect;
    label.paint(primarySurface, viewRect.left, viewRect.top);
    toolkit_test::markLabelSurface(label);
    againstMemcpy(state, label, [&] { label.paint(primarySurface, viewRect.left, viewRect.top); });
    // 0: every timed paint only copied the text drawn before.
    state.counters["drawn again"] = toolkit_test::labelRenderedSinceMark(label) ? 1 : 0;
}
BENCHMARK(BM_PaintRenderedLabelAgainstMemcpy)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same copy made straight through the blitter, without the label: what painting costs
// beyond the platform's colour-keyed blit is the gap between this ratio and the first.
void BM_KeyedBltOfTheLabelPixelsAgainstMemcpy(benchmark::State& state) {
    Phone phone;
    MyLabel label(-1, kLabelLeftPx, 200, kText, labelFontNormal, RGB(0, 0, 0), true);
    dirtyRect = viewRect;
    label.paint(primarySurface, viewRect.left, viewRect.top);
    RECT source = label.srcRect;
    RECT place = label.screenRect;
    DDBLTFX effects{};
    effects.dwSize = sizeof effects;
    effects.ddckSrcColorkey = label.keyColour;
    againstMemcpy(state, label, [&] {
        primarySurface->Blt(&place, label.surface, &source,
                            DDBLT_KEYSRCOVERRIDE | DDBLT_WAITNOTBUSY, &effects);
    });
}
BENCHMARK(BM_KeyedBltOfTheLabelPixelsAgainstMemcpy)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_RerenderLabelAgainstMemcpy(benchmark::State& state) {
    Phone phone;
    MyLabel label(-1, kLabelLeftPx, 200, kText, labelFontNormal, RGB(0, 0, 0), true);
    dirtyRect = viewRect;
    againstMemcpy(state, label, [&] {
        label.textColour ^= RGB(0, 0, 0x80); // every paint finds a new colour
        label.paint(primarySurface, viewRect.left, viewRect.top);
    });
}
BENCHMARK(BM_RerenderLabelAgainstMemcpy)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

// The containers at work on a screen laid out like the main one (a section with its header, a
// titled panel of captions and fields, a button, a status line, on the VGA phone), each figure
// against a plain reference measured in the same run (the "ratio" counter, bench/SameRunRatio.h):
//   one scroll frame step by 10 px (self-blit of the view, erase and repaint of the band the
//   move uncovered, every child clipping itself)  vs  memmove of the view's moved bytes
//                                                    (goal: ratio <= 1.3)
//   the self-blit of the view alone (the floor of the scroll step)  vs  the same memmove
//   a full repaint of the screen                   vs  a colour fill of the whole screen
//                                                    (goal: ratio <= 4)
#include "support/ContainerScreen.h"
#include "DisplayFrame.h"
#include "MotionTracker.h"
#include "ResourceManager.h"
#include "ToolkitState.h"

#include "kernel/Paths.h"

#include <platform/Clock.h>
#include <platform/Device.h>
#include "support/ScopedTestDevice.h"

#include <benchmark/benchmark.h>

#include "SameRunRatio.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int kStepPx = 10;

std::filesystem::path resourceSet() {
    const char* bin = std::getenv("DAWNBELL_TEST_BIN");
    return std::filesystem::path(bin != nullptr ? bin : DAWNBELL_BIN_DIR) / "resources" / "VGA";
}

// The VGA phone with the program's resource set, its frame and the screen drawn once.
class Phone {
public:
    Phone() {
        std::filesystem::create_directories(device_.folder() / "program");
        platform::paths::configure(platform::paths::deviceDir(), device_.folder() / "program");
        std::filesystem::create_directories(platform::paths::toHost(L"\\windows\\"));
        const std::filesystem::path images = device_.folder() / "program" / "resources" / "VGA";
        std::filesystem::create_directories(images);
        std::filesystem::copy(resourceSet(), images, std::filesystem::copy_options::recursive);
        platform::clock::useManual(1000);
        loadResources();
        portrait = 1;
        frame_ = std::make_unique<DisplayFrame>(GetModuleHandleW(nullptr), L"Dawnbell");
        screen = toolkit_test::buildContainerScreen(toolkit_test::BoxFace::distinct, 1);
        frame_->addScreen(screen.section);
        drawingReady = 1;
        repaintWhole();
    }
    ~Phone() {
        frame_.reset();
        // The surfaces and fonts the widgets share belong to one device; the next benchmark
        // starts a new one.
        resetToolkitState();
        platform::clock::useSystem();
    }
    Phone(const Phone&) = delete;
    Phone& operator=(const Phone&) = delete;

    void repaintWhole() {
        dirtyRect =
            RECT{viewRect.left, clientRect.top, viewRect.right, GetSystemMetrics(SM_CYSCREEN)};
        fullRedraw = 1;
        frame_->redraw(true);
    }
    DisplayFrame& frame() { return *frame_; }

    toolkit_test::ContainerScreen screen;

private:
    platform::ScopedTestDevice device_;
    std::unique_ptr<DisplayFrame> frame_;
};

void BM_ScrollStepOfTheScreenAgainstMemmoveOfTheView(benchmark::State& state) {
    Phone phone;
    MotionTracker& tracker = *sharedTracker();
    // A finger resting mid-list moves 10 px up and down in turn; every move is one frame step.
    int y = 400;
    tracker.onPress(240, y);
    platform::clock::advance(5);
    tracker.onMove(240, y -= 80); // out of the tap slop, 80 px into the list
    phone.frame().UpdateFrame();
    int direction = -1;

    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int viewRows = viewRect.bottom - viewRect.top;
    std::vector<std::uint16_t> view(static_cast<size_t>(width) * viewRows, 0x5555);
    const size_t movedBytes = static_cast<size_t>(width) * (viewRows - kStepPx) * 2;
    const size_t stepPixels = static_cast<size_t>(width) * kStepPx;
    int referenceDirection = -1;
    bench::compareInOneRun(
        state,
        [&] {
            platform::clock::advance(5);
            tracker.onMove(240, y += direction * kStepPx);
            direction = -direction;
        },
        [&] { phone.frame().UpdateFrame(); },
        [&] {
            // Up and down in turn as the finger goes: a move towards the top and one towards
            // the bottom do not cost the same.
            if (referenceDirection > 0) {
                std::memmove(view.data() + stepPixels, view.data(), movedBytes);
            } else {
                std::memmove(view.data(), view.data() + stepPixels, movedBytes);
            }
            referenceDirection = -referenceDirection;
            benchmark::DoNotOptimize(view.data());
            benchmark::ClobberMemory();
        });
    if (phone.screen.section->scrollOffset > -80 || phone.screen.section->scrollOffset < -90) {
        state.SkipWithError("the screen did not scroll by the finger's steps");
    }
}
BENCHMARK(BM_ScrollStepOfTheScreenAgainstMemmoveOfTheView)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// What the frame's scroll costs before any widget paints: the self-blit of the view by the
// same 10 px. The scroll step above can come no closer to the memmove than this.
void BM_SelfBlitOfTheViewAgainstMemmoveOfTheView(benchmark::State& state) {
    Phone phone;
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int viewRows = viewRect.bottom - viewRect.top;
    RECT moved{viewRect.left, viewRect.top + kStepPx, viewRect.right, viewRect.bottom};
    RECT from{viewRect.left, viewRect.top, viewRect.right, viewRect.bottom - kStepPx};
    std::vector<std::uint16_t> view(static_cast<size_t>(width) * viewRows, 0x5555);
    const size_t movedBytes = static_cast<size_t>(width) * (viewRows - kStepPx) * 2;
    bench::compareInOneRun(
        state,
        [&] { primarySurface->Blt(&moved, primarySurface, &from, DDBLT_WAITNOTBUSY, nullptr); },
        [&] {
            std::memmove(view.data() + static_cast<size_t>(width) * kStepPx, view.data(),
                         movedBytes);
            benchmark::DoNotOptimize(view.data());
            benchmark::ClobberMemory();
        });
}
BENCHMARK(BM_SelfBlitOfTheViewAgainstMemmoveOfTheView)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_FullRepaintAgainstAColourFillOfTheScreen(benchmark::State& state) {
    Phone phone;
    bench::compareInOneRun(
        state, [] {}, [&] { phone.repaintWhole(); },
        [] { colourFill(primarySurface, nullptr, 0x1234); });
}
BENCHMARK(BM_FullRepaintAgainstAColourFillOfTheScreen)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

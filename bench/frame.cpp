// The whole frame as the user sees it, on the program's real main screen on the VGA phone: from
// the touch to the picture presented in the window, each against the least such a frame needs
// done with SDL alone (the "ratio" counter, bench/SameRunRatio.h):
//   ScrollFrame: a finger moving 10 px in the list (the move's message, the frame step with its
//     self-blit and band repaint, the changed areas composed, uploaded to the texture and
//     presented)  vs  a memmove of the view, the view's rows uploaded and presented
//                                                                      (goal: ratio <= 1.3)
//   FlingFrames: with the list of recent computers full, a drag released into a fling, then 60
//     frames of it (it scrolls for 45 of them); its median frame against the median reference
//     frame of ScrollFrame's kind, and its slowest frame against the 16.7 ms a frame has at 60
//     frames a second ("budget_margin": goal >= 10)
//   FieldTapFrame: a tap on the host field and every frame after it until its input panel is up
//     (the field's repaint, the screen sliding, the panel coming in)  vs  the same frames' changed
//     areas uploaded from a buffer and presented
// Each runs on the SDL backend when there is a display (`make bench` gives it a virtual one),
// then on the headless one, whose present copies the changed areas into its picture in memory
// and whose reference does the same with memcpy.
#include "DisplayFrame.h"
#include "MainScreen.h"
#include "MotionTracker.h"
#include "MyEditControl.h"
#include "RecentComputers.h"
#include "RecentPanel.h"
#include "ResourceManager.h"
#include "Section.h"
#include "ToolkitState.h"
#include "Tunables.h"

#include "kernel/Paths.h"

#include <platform/Clock.h>
#include <platform/Device.h>

#include <SDL.h>
#include <benchmark/benchmark.h>

#include "SameRunRatio.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using platform::PointerAction;

constexpr int stepPx = 10;
constexpr DWORD tickMs = tunables::motionTimerPeriodMs;
constexpr int tapFrames = 40; // ticks from the tap until the panel is surely up (1.2 s)

std::filesystem::path resourceSet() {
    const char* bin = std::getenv("DAWNBELL_TEST_BIN");
    return std::filesystem::path(bin != nullptr ? bin : DAWNBELL_BIN_DIR) / "resources" / "VGA";
}

bool isSdl(const char* backend) {
    return std::strcmp(backend, "sdl") == 0;
}

// The SDL backend needs a display; without one its figures are skipped, said so.
bool backendAvailable(benchmark::State& state, const char* backend) {
    const char* display = std::getenv("DISPLAY");
    if (isSdl(backend) && (display == nullptr || *display == '\0')) {
        state.SkipWithError("no display: run under Xvfb (make bench does)");
        return false;
    }
    return true;
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The VGA phone on the chosen backend, showing the program's main screen.
class Phone {
public:
    // With `recentRows`, the list of recent computers holds that many, as after a while of use.
    explicit Phone(const char* backend, int recentRows = 0) {
        char pattern[] = "/tmp/dawnbell-bench-XXXXXX";
        folder_ = mkdtemp(pattern);
        platform::DeviceConfig config;
        config.backend = backend;
        config.deviceDir = folder_ / "device";
        config.programDir = folder_ / "program";
        std::filesystem::create_directories(config.programDir / "resources");
        std::filesystem::copy(resourceSet(), config.programDir / "resources" / "VGA",
                              std::filesystem::copy_options::recursive);
        platform::Device::start(config);
        platform::clock::useManual(1000);
        loadResources();
        for (int i = 0; i < recentRows; ++i) {
            recentComputers().remember(
                {L"computer" + std::to_wstring(i) + L".home", L"00:11:22:33:44:55", L""});
        }
        frame_ = std::make_unique<DisplayFrame>(GetModuleHandleW(nullptr), L"Dawnbell");
        buildMainScreen();
        drawingReady = 1;
        dirtyRect =
            RECT{viewRect.left, clientRect.top, viewRect.right, GetSystemMetrics(SM_CYSCREEN)};
        fullRedraw = 1;
        frame_->redraw(true);
        fullRedraw = 0;
        pumpMessages();
        present();
    }
    ~Phone() {
        frame_.reset();
        resetToolkitState();
        platform::clock::useSystem();
        platform::Device::stop();
        std::error_code error;
        std::filesystem::remove_all(folder_, error);
    }
    Phone(const Phone&) = delete;
    Phone& operator=(const Phone&) = delete;

    // What the backend does once the program's loop has nothing else to do.
    static void present() {
        platform::Backend& backend = platform::Device::instance().backend();
        if (backend.ownsThread()) {
            backend.waitForEvents(0);
        } else {
            backend.present();
        }
    }
    static void touch(PointerAction action, int x, int y) {
        platform::Device::instance().pointer(action, x, y);
        pumpMessages();
    }
    // One tick of the motion timer, as the loop runs it, and the picture it leaves.
    static void tick() {
        platform::clock::advance(tickMs);
        pumpMessages();
        present();
    }

private:
    std::filesystem::path folder_;
    std::unique_ptr<DisplayFrame> frame_;
};

// What the least frame costs: rows of a screen buffer to the window, with SDL alone when the
// phone is in a window, else to a picture in memory.
class Reference {
public:
    explicit Reference(bool sdl)
        : width_(GetSystemMetrics(SM_CXSCREEN)), height_(GetSystemMetrics(SM_CYSCREEN)),
          screen_(static_cast<size_t>(width_) * height_, 0x5555), picture_(screen_.size()) {
        if (sdl) {
            window_ = SDL_CreateWindow("reference", 0, 0, width_, height_, 0);
            renderer_ = SDL_CreateRenderer(window_, -1, 0);
            texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB565,
                                         SDL_TEXTUREACCESS_STREAMING, width_, height_);
        }
    }
    ~Reference() {
        if (window_ != nullptr) {
            SDL_DestroyTexture(texture_);
            SDL_DestroyRenderer(renderer_);
            SDL_DestroyWindow(window_);
        }
    }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    // The view's content moves `step` rows, down when positive, as a finger's move does.
    void moveView(const RECT& view, int step) {
        const size_t rowBytes = static_cast<size_t>(width_) * sizeof(std::uint16_t);
        const size_t bytes =
            rowBytes * static_cast<size_t>(view.bottom - view.top - std::abs(step));
        if (step > 0) {
            std::memmove(row(view.top + step), row(view.top), bytes);
        } else {
            std::memmove(row(view.top), row(view.top - step), bytes);
        }
    }
    void upload(const RECT& area) {
        if (texture_ != nullptr) {
            const SDL_Rect rect{area.left, area.top, area.right - area.left,
                                area.bottom - area.top};
            SDL_UpdateTexture(texture_, &rect, row(area.top) + area.left,
                              width_ * static_cast<int>(sizeof(std::uint16_t)));
            return;
        }
        for (int y = area.top; y < area.bottom; ++y) {
            const size_t at = static_cast<size_t>(y) * width_ + area.left;
            std::memcpy(picture_.data() + at, screen_.data() + at,
                        static_cast<size_t>(area.right - area.left) * sizeof(std::uint16_t));
        }
    }
    void present() {
        if (renderer_ != nullptr) {
            SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
            SDL_RenderClear(renderer_);
            SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
            SDL_RenderPresent(renderer_);
        }
        benchmark::DoNotOptimize(picture_.data());
        benchmark::ClobberMemory();
    }

private:
    std::uint16_t* row(int y) { return screen_.data() + static_cast<ptrdiff_t>(y) * width_; }

    int width_;
    int height_;
    std::vector<std::uint16_t> screen_;
    std::vector<std::uint16_t> picture_;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
};

void scrollFrame(benchmark::State& state, const char* backend) {
    if (!backendAvailable(state, backend)) {
        return;
    }
    Phone phone(backend);
    Reference reference(isSdl(backend));
    // A finger resting mid-list moves 10 px up and down in turn; every move is one frame.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    int y = 400;
    Phone::touch(PointerAction::down, x, y);
    platform::clock::advance(5);
    Phone::touch(PointerAction::move, x, y -= 80);
    Phone::present();
    int direction = -1;
    int referenceDirection = -1;
    const RECT view = viewRect;
    bench::compareInOneRun(
        state, [] { platform::clock::advance(5); },
        [&] {
            Phone::touch(PointerAction::move, x, y += direction * stepPx);
            Phone::present();
            direction = -direction;
        },
        [&] {
            // Up and down in turn as the finger goes: the order a move leaves the rows in the
            // caches in is part of what the upload after it costs.
            reference.moveView(view, referenceDirection * stepPx);
            referenceDirection = -referenceDirection;
            reference.upload(view);
            reference.present();
        });
    Phone::touch(PointerAction::up, x, y);
    const auto* section = dynamic_cast<Section*>(findElementById(screenSectionId));
    if (section == nullptr || section->scrollOffset > -70 || section->scrollOffset < -90) {
        state.SkipWithError("the screen did not scroll by the finger's steps");
    }
}

// A tap on the host field, then the ticks until its panel is up; the edit is ended beside the
// field, untimed, before the next tap.
void fieldTapFrame(benchmark::State& state, const char* backend) {
    if (!backendAvailable(state, backend)) {
        return;
    }
    Phone phone(backend);
    Reference reference(isSdl(backend));
    const RECT field = findElementById(hostFieldId)->screenRect;
    const int x = (field.left + field.right) / 2;
    const int y = (field.top + field.bottom) / 2;
    auto* host = dynamic_cast<MyEditControl*>(findElementById(hostFieldId));
    auto tapField = [&] {
        Phone::touch(PointerAction::down, x, y);
        platform::clock::advance(50);
        Phone::touch(PointerAction::up, x, y);
    };
    auto endEdit = [&] {
        const int headerY = clientRect.top + 10;
        Phone::touch(PointerAction::down, x, headerY);
        platform::clock::advance(50);
        Phone::touch(PointerAction::up, x, headerY);
        for (int i = 0; i < tapFrames; ++i) {
            Phone::tick();
        }
    };
    // One untimed round tells which areas each frame changes; the reference uploads the same.
    std::vector<std::vector<RECT>> frames(tapFrames);
    tapField();
    for (auto& areas : frames) {
        platform::clock::advance(tickMs);
        pumpMessages();
        platform::Device::instance().presentChanges(
            [&](const RECT& area, const std::uint16_t*, int) { areas.push_back(area); });
    }
    const bool opened = host != nullptr && host->editorOpen;
    endEdit();
    bench::compareInOneRun(
        state, [&] { endEdit(); },
        [&] {
            tapField();
            for (int i = 0; i < tapFrames; ++i) {
                Phone::tick();
            }
        },
        [&] {
            for (const auto& areas : frames) {
                for (const RECT& area : areas) {
                    reference.upload(area);
                }
                if (!areas.empty()) { // an unchanged frame is not presented again
                    reference.present();
                }
            }
        });
    if (!opened || !host->editorOpen) {
        state.SkipWithError("the tap did not open the field's editor");
    }
}

// A drag of 6 moves of 10 px released, then the fling's frames, down and up in turn. A faster
// drag flings the list to its end within a few frames: the rest would be idle ticks.
void flingFrames(benchmark::State& state, const char* backend) {
    if (!backendAvailable(state, backend)) {
        return;
    }
    constexpr int frames = 60;
    constexpr double frameBudgetSeconds = 1.0 / 60;
    Phone phone(backend, static_cast<int>(RecentComputers::maxRows));
    Reference reference(isSdl(backend));
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const RECT view = viewRect;
    int dy = -10;
    // Each frame of the fling has its own median over the runs, so that a time slice lost to
    // another process on this shared machine does not pass for a slow frame. The flings down and
    // up draw different rows, so each direction keeps its own: a median over both would fall
    // between the two, wherever the run's noise put it.
    std::vector<std::vector<double>> frameTimes(2 * frames);
    std::vector<double> referenceFrames;
    for (auto _ : state) {
        const int startY = dy < 0 ? 600 : 150;
        Phone::touch(PointerAction::down, x, startY);
        for (int move = 1; move <= 6; ++move) {
            platform::clock::advance(10);
            Phone::touch(PointerAction::move, x, startY + move * dy);
        }
        Phone::touch(PointerAction::up, x, startY + 6 * dy);
        // A reference frame follows each frame of the fling, so that both meet the caches and
        // the machine as they are at that moment.
        double total = 0;
        for (int i = 0; i < frames; ++i) {
            const double seconds = bench::secondsOf([] { Phone::tick(); });
            frameTimes[static_cast<size_t>(dy < 0 ? i : frames + i)].push_back(seconds);
            total += seconds;
            referenceFrames.push_back(bench::secondsOf([&] {
                reference.moveView(view, stepPx);
                reference.upload(view);
                reference.present();
            }));
        }
        state.SetIterationTime(total);
        platform::clock::advance(1000); // the fling is over, and no double tap
        dy = -dy;
    }
    std::vector<double> frameMedians;
    for (auto& times : frameTimes) {
        frameMedians.push_back(bench::median(times));
    }
    const double slowest = *std::max_element(frameMedians.begin(), frameMedians.end());
    // The ratio is the fling's usual frame: the slowest is one frame, the first after the
    // release, whose cost varies with what the caches kept from the drag. Frames after the fling
    // has stopped change nothing and cost next to nothing.
    std::erase_if(frameMedians, [&](double frame) { return frame < slowest / 4; });
    const double typical = bench::median(frameMedians);
    const double ref = bench::median(referenceFrames);
    state.counters["slowest_frame_us"] = slowest * 1e6;
    state.counters["frame_us"] = typical * 1e6;
    state.counters["ref_us"] = ref * 1e6;
    state.counters["ratio"] = ref > 0 ? typical / ref : 0;
    state.counters["budget_margin"] = slowest > 0 ? frameBudgetSeconds / slowest : 0;
}

void BM_FlingFrames(benchmark::State& state, const char* backend) {
    flingFrames(state, backend);
}
void BM_ScrollFrame(benchmark::State& state, const char* backend) {
    scrollFrame(state, backend);
}
void BM_FieldTapFrame(benchmark::State& state, const char* backend) {
    fieldTapFrame(state, backend);
}

BENCHMARK_CAPTURE(BM_ScrollFrame, sdl, "sdl")->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ScrollFrame, headless, "headless")
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
// A fling on SDL takes a quarter of a second with its reference frames: a fixed count of them
// gives each of its frames eight samples a direction, whatever the time asked for.
BENCHMARK_CAPTURE(BM_FlingFrames, sdl, "sdl")
    ->Iterations(16)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FlingFrames, headless, "headless")
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FieldTapFrame, sdl, "sdl")->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FieldTapFrame, headless, "headless")
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

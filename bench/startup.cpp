// The program as a whole process, against the least an SDL program does to show a picture of
// the same size (bench/reference/sdl_window.c), in the same run on the same X display:
//   time from start to the first presented picture of the main screen   (goal: ratio <= 1.5)
//   peak resident memory of the process up to then                      (goal: ratio <= 1.5)
// The program runs as a user who answered the data-connection question before, with the
// Connection Manager reporting a connection, and ends once its first picture is shown
// (DAWNBELL_END_AFTER_FIRST_PICTURE). Needs an X display: `make bench` runs it under xvfb-run.
#include "SameRunRatio.h"
#include "WholeProcess.h"
#include "SettingsStore.h"

#include "kernel/Paths.h"
#include "registry/Registry.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using bench::Run;
using bench::runProcess;

// A device folder whose settings say the question was answered.
std::filesystem::path answeredDevice() {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("dawnbell-startup-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    platform::paths::configure(folder, folder);
    platform::registry::reload();
    if (auto settings = SettingsKey::open()) {
        settings->clearShowInfo();
    }
    return folder;
}

double median(std::vector<double> values) {
    return bench::median(values);
}

void BM_FirstPictureOfTheMainScreenAgainstAnSdlWindow(benchmark::State& state) {
    if (std::getenv("DISPLAY") == nullptr) {
        state.SkipWithError("needs an X display: run it under xvfb-run");
        return;
    }
    const std::filesystem::path device = answeredDevice();
    const std::string program = std::string(DAWNBELL_BIN_DIR) + "/dawnbell";
    const std::vector<std::string> environment{"DAWNBELL_DEVICE_DIR=" + device.string(),
                                               "DAWNBELL_BACKEND=sdl",
                                               "DAWNBELL_CONNMGR=connected",
                                               "DAWNBELL_END_AFTER_FIRST_PICTURE=1",
                                               "DAWNBELL_SCREEN=480x640",
                                               "DAWNBELL_DPI=192"};
    const std::string reference = DAWNBELL_REFERENCE_WINDOW;
    const std::vector<std::string> size{"480", "640"};
    runProcess(program, {}, environment); // the first start of a device installs its fonts
    std::vector<double> programTimes, referenceTimes;
    long programPeak = 0, referencePeak = 0;
    for (auto _ : state) {
        const Run ours = runProcess(program, {}, environment);
        const Run theirs = runProcess(reference, size, {});
        if (!ours.ended || !theirs.ended) {
            state.SkipWithError("a process did not end by itself with status 0");
            break;
        }
        programTimes.push_back(ours.seconds);
        referenceTimes.push_back(theirs.seconds);
        programPeak = std::max(programPeak, ours.peakKilobytes);
        referencePeak = std::max(referencePeak, theirs.peakKilobytes);
        state.SetIterationTime(ours.seconds);
    }
    std::filesystem::remove_all(device);
    const double ours = median(programTimes);
    const double theirs = median(referenceTimes);
    state.counters["program_ms"] = ours * 1e3;
    state.counters["reference_ms"] = theirs * 1e3;
    state.counters["ratio"] = theirs > 0 ? ours / theirs : 0;
    state.counters["program_peak_mb"] = static_cast<double>(programPeak) / 1024;
    state.counters["reference_peak_mb"] = static_cast<double>(referencePeak) / 1024;
    state.counters["peak_ratio"] =
        referencePeak > 0 ? static_cast<double>(programPeak) / static_cast<double>(referencePeak)
                          : 0;
}
BENCHMARK(BM_FirstPictureOfTheMainScreenAgainstAnSdlWindow)
    ->UseManualTime()
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

// Times an operation against a reference in the same run, interleaved so that both see the same
// machine, and reports the ratio of their median times as the "ratio" counter. Medians
// keep the figure steady on a shared, noisy machine: a burst of other work lengthens a few
// samples of either side, not the middle one.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace bench {

template <typename Work>
double secondsOf(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double median(std::vector<double>& samples) {
    if (samples.empty()) {
        return 0;
    }
    const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
    std::nth_element(samples.begin(), middle, samples.end());
    return *middle;
}

// The benchmark's iteration time is the operation's; "op_us" and "ref_us" are the medians.
// `prepare` runs untimed before each operation. The order alternates from one iteration to the
// next (operation first, then reference first), so that neither always finds the caches warmed
// by the other.
template <typename Prepare, typename Operation, typename Reference>
void compareInOneRun(benchmark::State& state, Prepare&& prepare, Operation&& operation,
                     Reference&& reference) {
    std::vector<double> operationTimes;
    std::vector<double> referenceTimes;
    for (auto _ : state) {
        const bool referenceFirst = operationTimes.size() % 2 == 1;
        if (referenceFirst) {
            referenceTimes.push_back(secondsOf(reference));
        }
        prepare();
        const double op = secondsOf(operation);
        operationTimes.push_back(op);
        if (!referenceFirst) {
            referenceTimes.push_back(secondsOf(reference));
        }
        state.SetIterationTime(op);
    }
    const double op = median(operationTimes);
    const double ref = median(referenceTimes);
    state.counters["op_us"] = op * 1e6;
    state.counters["ref_us"] = ref * 1e6;
    state.counters["ratio"] = ref > 0 ? op / ref : 0;
}

template <typename Operation, typename Reference>
void compareInOneRun(benchmark::State& state, Operation&& operation, Reference&& reference) {
    compareInOneRun(
        state, [] {}, operation, reference);
}

} // namespace bench

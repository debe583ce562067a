// A message round trip between two threads through the window manager's queues
// (PostThreadMessageW there, GetMessageW back here), against the least any hand-off between two
// threads costs: a bare mutex + condition variable ping-pong measured in the same run. The
// "ratio" counter is the round trip's time over the reference's; one iteration is 100 trips,
// and "trips" counts round trips per second.
#include "platform/Device.h"
#include "support/ScopedTestDevice.h"
#include "windows.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace {

constexpr int kTripsPerSample = 100;

using Clock = std::chrono::steady_clock;

double secondsOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A thread that answers every WM_USER thread message with one of its own.
class MessageEcho {
public:
    MessageEcho() : mainThread_(GetCurrentThreadId()) {
        MSG msg{};
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // this thread's queue
        echo_ = std::thread([this] {
            MSG m{};
            PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
            echoThread_ = GetCurrentThreadId();
            while (GetMessageW(&m, nullptr, 0, 0) > 0) {
                PostThreadMessageW(mainThread_, WM_USER, m.wParam, 0);
            }
        });
        while (echoThread_ == 0) {
            std::this_thread::yield();
        }
    }
    ~MessageEcho() {
        PostThreadMessageW(echoThread_, WM_QUIT, 0, 0);
        echo_.join();
    }
    void roundTrip() {
        PostThreadMessageW(echoThread_, WM_USER, 0, 0);
        MSG msg{};
        GetMessageW(&msg, nullptr, 0, 0);
    }

private:
    DWORD mainThread_;
    std::atomic<DWORD> echoThread_{0};
    std::thread echo_;
};

// The same exchange with nothing but a mutex and a condition variable.
class ConditionEcho {
public:
    ConditionEcho()
        : echo_([this] {
              std::unique_lock lock(mutex_);
              for (;;) {
                  changed_.wait(lock, [this] { return turn_ != 0; });
                  if (turn_ < 0) {
                      return;
                  }
                  turn_ = 0;
                  changed_.notify_all();
              }
          }) {}
    ~ConditionEcho() {
        {
            std::lock_guard guard(mutex_);
            turn_ = -1;
        }
        changed_.notify_all();
        echo_.join();
    }
    void roundTrip() {
        std::unique_lock lock(mutex_);
        turn_ = 1;
        changed_.notify_all();
        changed_.wait(lock, [this] { return turn_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int turn_ = 0;
    std::thread echo_;
};

void BM_MessageRoundTrip(benchmark::State& state) {
    platform::ScopedTestDevice device;
    MessageEcho messages;
    ConditionEcho reference;
    double messageTotal = 0;
    double referenceTotal = 0;
    for (auto _ : state) {
        const double trips = secondsOf([&] {
            for (int i = 0; i < kTripsPerSample; ++i) {
                messages.roundTrip();
            }
        });
        referenceTotal += secondsOf([&] {
            for (int i = 0; i < kTripsPerSample; ++i) {
                reference.roundTrip();
            }
        });
        messageTotal += trips;
        state.SetIterationTime(trips);
    }
    state.counters["ratio"] = referenceTotal > 0 ? messageTotal / referenceTotal : 0;
    state.counters["trips"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kTripsPerSample, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MessageRoundTrip)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

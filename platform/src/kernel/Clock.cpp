// The tick count: milliseconds of the host's monotonic clock (like the platform's time since
// boot, it wraps after 49.7 days), or a manual clock that tests move by hand.
#include "platform/Clock.h"

#include "kernel/Wait.h"

#include <atomic>
#include <chrono>

namespace platform::clock {
namespace {

std::atomic<bool> manual{false};
std::atomic<DWORD> manualNow{0};

DWORD systemNow() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

} // namespace

DWORD now() {
    return manual.load() ? manualNow.load() : systemNow();
}

void useManual(DWORD start) {
    manualNow.store(start);
    manual.store(true);
    kernel::wakeAllWaiters();
}

void useSystem() {
    manual.store(false);
    kernel::wakeAllWaiters();
}

bool isManual() {
    return manual.load();
}

void advance(DWORD ms) {
    if (!manual.load()) {
        return;
    }
    manualNow.fetch_add(ms);
    kernel::wakeAllWaiters();
}

} // namespace platform::clock

// Re-entrant critical sections. Entering is an interruptible wait, so a thread that
// TerminateThread ends while it waits for a section still stops.
#include "kernel/Wait.h"
#include "winbase.h"

#include <thread>

namespace platform::kernel {

class CriticalSection {
public:
    void enter() {
        auto self = std::this_thread::get_id();
        std::unique_lock lock(mutex_);
        waitUntil(lock, released_, std::nullopt, [&] { return depth_ == 0 || owner_ == self; });
        owner_ = self;
        ++depth_;
    }

    // Leaving a section the thread does not own does nothing.
    void leave() {
        std::lock_guard guard(mutex_);
        if (depth_ == 0 || owner_ != std::this_thread::get_id()) {
            return;
        }
        if (--depth_ == 0) {
            owner_ = {};
            released_.notify_all();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id owner_;
    unsigned depth_ = 0;
};

} // namespace platform::kernel

using platform::kernel::CriticalSection;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    lpCriticalSection->impl = new CriticalSection;
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    delete lpCriticalSection->impl;
    lpCriticalSection->impl = nullptr;
}

// A section that was never initialised (or was deleted) is ignored rather than crashing.
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    platform::kernel::cancellationPoint();
    if (lpCriticalSection->impl) {
        lpCriticalSection->impl->enter();
    }
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (lpCriticalSection->impl) {
        lpCriticalSection->impl->leave();
    }
}

// How every blocking wait of the platform is made: interruptible by TerminateThread and woken
// when the manual clock moves. Used by events, threads, Sleep, message queues and the
// Connection Manager.
#pragma once

#include "wintypes.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

namespace platform::kernel {

// Unwinds a thread that TerminateThread ended. Thrown only by the platform at a platform call or
// wait of the terminated thread and caught by the thread's start routine; not a std::exception,
// so no handler in the program takes it by mistake.
struct ThreadTerminated {};

// Ends the calling thread (throws ThreadTerminated) if TerminateThread was called on it.
void cancellationPoint();

// Registers `wake` as the way to wake the calling thread while it blocks outside a condition
// variable (for example in the SDL event wait). Removed when the object goes away.
class ScopedWaker {
public:
    explicit ScopedWaker(std::function<void()> wake);
    ~ScopedWaker();
    ScopedWaker(const ScopedWaker&) = delete;
    ScopedWaker& operator=(const ScopedWaker&) = delete;
};

// Wakes every thread that is blocked in a platform wait right now (the clock moved).
void wakeAllWaiters();

// Waits on `cv` (with `lock` held on entry and exit) until `ready()` is true or the tick count
// reaches `deadline` (none = no deadline). Returns ready(). Throws ThreadTerminated when the
// thread is terminated meanwhile. With the manual clock the deadline is checked each time the
// clock advances.
bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
               std::optional<DWORD> deadline, const std::function<bool()>& ready);

} // namespace platform::kernel

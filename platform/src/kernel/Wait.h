// How every blocking wait of the platform is made: interruptible by TerminateThread and woken
// when the manual clock moves. Used by events, threads, Sleep, message queues and the
// Connection Manager.
//
// How a service blocks (GetMessageW, ConnMgrEstablishConnectionSync, a sent message waiting for
// its reply):
//   - Keep the state the thread waits for under one std::mutex with one condition variable, and
//     wait only through waitUntil, never with cv.wait directly:
//         std::unique_lock lock(queue.mutex);
//         bool got = waitUntil(lock, queue.cv, deadline, [&] { return !queue.empty(); });
//     Whoever changes the state takes the same mutex and notifies the condition variable.
//   - Deadlines are tick counts: platform::clock::now() + timeout (DWORD arithmetic wraps as
//     the tick count does); std::nullopt waits without end. With the manual clock the wait does
//     not sleep on the host at all: it ends when clock::advance reaches the deadline. A
//     predicate may depend on the clock itself (a timer that becomes due): every advance makes
//     all waiting threads evaluate their predicates again.
//   - A wait outside a condition variable (the SDL event wait) holds a ScopedWaker whose
//     function makes that wait return (SDL_PushEvent); after it returns, the service calls
//     cancellationPoint() and re-checks its clock deadlines.
//   - Call cancellationPoint() at the entry of every API function that starts work, never in one
//     that only releases something (CloseHandle, Release, DestroyWindow, EndPaint ...): those
//     run in destructors, where a throw would end the process.
//   - Don't hold a mutex that a waiting thread waits with while calling wakeAllWaiters or
//     clock::advance: waking takes each waiter's mutex.
// ThreadTerminated then unwinds the terminated thread through its RAII destructors to the
// start routine that CreateThread runs. While it unwinds, waits no longer block and
// cancellationPoint() no longer throws.
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

// For tests: whether the thread (a GetCurrentThreadId value) is blocked in waitUntil right now,
// having seen every wake so far (after clock::advance it counts as blocked again only once it
// has looked at the new time and decided to wait on). Lets a test advance the manual clock
// exactly when another thread waits, without sleeping.
bool isBlocked(DWORD threadId);

// Waits on `cv` (with `lock` held on entry and exit) until `ready()` is true or the tick count
// reaches `deadline` (none = no deadline). Returns ready(). Throws ThreadTerminated when the
// thread is terminated meanwhile. With the manual clock the deadline is checked each time the
// clock advances.
bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
               std::optional<DWORD> deadline, const std::function<bool()>& ready);

} // namespace platform::kernel

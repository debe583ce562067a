// What the kernel knows about each thread that calls it: its id, whether TerminateThread asked
// it to stop, and how to wake it while it waits.
#pragma once

#include "wintypes.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace platform::kernel {

class ThreadState {
public:
    explicit ThreadState(DWORD id) : id_(id) {}

    DWORD id() const { return id_; }

    // Marks the thread as terminated (the first exit code wins) and wakes it.
    void requestTermination(DWORD exitCode);
    std::optional<DWORD> terminationCode() const;

    // Wakes the thread if it waits now, and makes a wait it is about to begin look again.
    void wake();

    // For waitUntil: the wake count seen before checking the wait's conditions, then the
    // registration of the condition variable the thread is about to block on. beginWait refuses
    // (returns false) when a wake came in between.
    std::uint64_t wakeCount() const;
    bool beginWait(std::condition_variable& cv, std::mutex& mutex, std::uint64_t seenWakes);
    void endWait(std::unique_lock<std::mutex>& lock);
    // Registered in a wait and no wake since.
    bool isBlocked() const;

    // For ScopedWaker.
    void setWaker(std::function<void()> wake);
    void clearWaker();

private:
    // Blocks (with `guard` on state_) until no other thread is inside wake() for this thread,
    // so that the condition variable or waker it took stays valid.
    void waitForWakersToLeave(std::unique_lock<std::mutex>& guard);

    const DWORD id_;
    mutable std::mutex state_;
    std::condition_variable wakersLeft_;
    std::optional<DWORD> terminationCode_;
    std::uint64_t wakes_ = 0;
    std::condition_variable* waitingOn_ = nullptr;
    std::mutex* waitingWith_ = nullptr;
    std::uint64_t wakesAtWait_ = 0;
    std::shared_ptr<std::function<void()>> waker_;
    int wakersInside_ = 0;
};

// The calling thread's state, created on first use.
ThreadState& currentThread();
std::shared_ptr<ThreadState> currentThreadShared();
// A new id for a thread (process-wide, never reused).
DWORD allocateThreadId();
// Called first thing in a thread started by CreateThread: it takes over the state that
// CreateThread prepared (so TerminateThread works even before the thread ran).
void adoptThreadState(std::shared_ptr<ThreadState> state);

} // namespace platform::kernel

#include "kernel/Wait.h"

#include "kernel/ThreadState.h"
#include "platform/Clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <vector>

namespace platform::kernel {
namespace {

// Every thread that has used the kernel, so that a clock step can wake them all. Never
// destroyed: detached threads may still use it while the process exits.
struct LiveThreads {
    std::mutex mutex;
    std::vector<std::shared_ptr<ThreadState>> states;

    void add(std::shared_ptr<ThreadState> state) {
        std::lock_guard guard(mutex);
        states.push_back(std::move(state));
    }
    void remove(const ThreadState* state) {
        std::lock_guard guard(mutex);
        std::erase_if(states, [&](const auto& s) { return s.get() == state; });
    }
    std::vector<std::shared_ptr<ThreadState>> snapshot() {
        std::lock_guard guard(mutex);
        return states;
    }
};

LiveThreads& liveThreads() {
    static auto* threads = new LiveThreads;
    return *threads;
}

// Owns the calling thread's state; leaves the live list when the thread ends.
struct CurrentThreadHolder {
    std::shared_ptr<ThreadState> state;
    ~CurrentThreadHolder() {
        if (state) {
            liveThreads().remove(state.get());
        }
    }
};

thread_local CurrentThreadHolder holder;

bool isTerminated() {
    return currentThread().terminationCode().has_value();
}

// While ThreadTerminated unwinds the thread, nothing may throw again and nothing may block.
bool unwinding() {
    return std::uncaught_exceptions() > 0;
}

bool reached(DWORD deadline) {
    return static_cast<std::int32_t>(platform::clock::now() - deadline) >= 0;
}

std::chrono::steady_clock::time_point hostTimeOf(DWORD deadline) {
    auto remaining = static_cast<std::int32_t>(deadline - platform::clock::now());
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(remaining, 0));
}

} // namespace

// ---- ThreadState ---------------------------------------------------------------------------

void ThreadState::requestTermination(DWORD exitCode) {
    {
        std::lock_guard guard(state_);
        if (!terminationCode_) {
            terminationCode_ = exitCode;
        }
    }
    wake();
}

std::optional<DWORD> ThreadState::terminationCode() const {
    std::lock_guard guard(state_);
    return terminationCode_;
}

void ThreadState::wake() {
    std::unique_lock guard(state_);
    ++wakes_;
    auto* cv = waitingOn_;
    auto* mutex = waitingWith_;
    auto waker = waker_;
    if (!cv && !waker) {
        return;
    }
    ++wakersInside_;
    guard.unlock();
    if (cv) {
        // Taking the waiter's mutex orders this notification after its cv.wait began.
        std::lock_guard waiterLock(*mutex);
        cv->notify_all();
    }
    if (waker) {
        (*waker)();
    }
    guard.lock();
    if (--wakersInside_ == 0) {
        wakersLeft_.notify_all();
    }
}

std::uint64_t ThreadState::wakeCount() const {
    std::lock_guard guard(state_);
    return wakes_;
}

bool ThreadState::beginWait(std::condition_variable& cv, std::mutex& mutex,
                            std::uint64_t seenWakes) {
    std::lock_guard guard(state_);
    if (wakes_ != seenWakes) {
        return false;
    }
    waitingOn_ = &cv;
    waitingWith_ = &mutex;
    wakesAtWait_ = seenWakes;
    return true;
}

bool ThreadState::isBlocked() const {
    std::lock_guard guard(state_);
    return waitingOn_ && wakesAtWait_ == wakes_;
}

void ThreadState::endWait(std::unique_lock<std::mutex>& lock) {
    std::unique_lock guard(state_);
    waitingOn_ = nullptr;
    waitingWith_ = nullptr;
    if (wakersInside_ == 0) {
        return;
    }
    // A waker is about to take the waiter's mutex: let it, then take it back.
    lock.unlock();
    waitForWakersToLeave(guard);
    guard.unlock();
    lock.lock();
}

void ThreadState::setWaker(std::function<void()> wake) {
    std::lock_guard guard(state_);
    waker_ = std::make_shared<std::function<void()>>(std::move(wake));
}

void ThreadState::clearWaker() {
    std::unique_lock guard(state_);
    waker_.reset();
    waitForWakersToLeave(guard);
}

void ThreadState::waitForWakersToLeave(std::unique_lock<std::mutex>& guard) {
    wakersLeft_.wait(guard, [this] { return wakersInside_ == 0; });
}

// ---- The calling thread --------------------------------------------------------------------

DWORD allocateThreadId() {
    static std::atomic<DWORD> next{0x100};
    return next.fetch_add(4);
}

std::shared_ptr<ThreadState> currentThreadShared() {
    if (!holder.state) {
        adoptThreadState(std::make_shared<ThreadState>(allocateThreadId()));
    }
    return holder.state;
}

ThreadState& currentThread() {
    return *currentThreadShared();
}

void adoptThreadState(std::shared_ptr<ThreadState> state) {
    if (holder.state) {
        liveThreads().remove(holder.state.get());
    }
    holder.state = state;
    liveThreads().add(std::move(state));
}

// ---- Wait.h --------------------------------------------------------------------------------

void cancellationPoint() {
    if (isTerminated() && !unwinding()) {
        throw ThreadTerminated{};
    }
}

ScopedWaker::ScopedWaker(std::function<void()> wake) {
    currentThread().setWaker(std::move(wake));
}

ScopedWaker::~ScopedWaker() {
    currentThread().clearWaker();
}

void wakeAllWaiters() {
    for (const auto& state : liveThreads().snapshot()) {
        state->wake();
    }
}

bool isBlocked(DWORD threadId) {
    for (const auto& state : liveThreads().snapshot()) {
        if (state->id() == threadId) {
            return state->isBlocked();
        }
    }
    return false;
}

bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
               std::optional<DWORD> deadline, const std::function<bool()>& ready) {
    ThreadState& self = currentThread();
    for (;;) {
        std::uint64_t seenWakes = self.wakeCount();
        if (self.terminationCode()) {
            if (unwinding()) {
                return ready();
            }
            throw ThreadTerminated{};
        }
        if (ready()) {
            return true;
        }
        if (deadline && reached(*deadline)) {
            return false;
        }
        if (!self.beginWait(cv, *lock.mutex(), seenWakes)) {
            continue;
        }
        if (deadline && !platform::clock::isManual()) {
            cv.wait_until(lock, hostTimeOf(*deadline));
        } else {
            cv.wait(lock);
        }
        self.endWait(lock);
    }
}

} // namespace platform::kernel

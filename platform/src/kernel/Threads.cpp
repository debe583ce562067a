// Threads: CreateThread runs the start routine on a std::thread; TerminateThread asks the thread
// to stop, wakes it, and waits until it has unwound (ThreadTerminated thrown at its next kernel
// call or wait, caught here). Threads are never cancelled by the host.
#include "kernel/KernelObject.h"
#include "kernel/ThreadState.h"
#include "kernel/Wait.h"
#include "winbase.h"

#include <system_error>
#include <thread>
#include <unistd.h>

namespace platform::kernel {
namespace {

class Thread : public Waitable {
public:
    explicit Thread(std::shared_ptr<ThreadState> threadState) : state(std::move(threadState)) {}

    const std::shared_ptr<ThreadState> state;

    bool isSignalled() const override { return finished_; }

    DWORD exitCode() {
        std::lock_guard guard(mutex);
        return finished_ ? exitCode_ : STILL_ACTIVE;
    }

    // A thread that was asked to terminate ends with the code TerminateThread gave, even if
    // its routine returned first.
    void finish(DWORD returned) {
        std::lock_guard guard(mutex);
        exitCode_ = state->terminationCode().value_or(returned);
        finished_ = true;
        changed.notify_all();
    }

    void awaitEnd() {
        std::unique_lock lock(mutex);
        waitUntil(lock, changed, std::nullopt, [this] { return finished_; });
    }

private:
    bool finished_ = false;
    DWORD exitCode_ = STILL_ACTIVE;
};

// Constructed first in a new thread, so destroyed last: the thread counts as ended only after
// every per-thread object of the platform (message queues, windows) is gone.
struct ThreadEndNotice {
    std::shared_ptr<Thread> thread;
    DWORD returned = 0;
    ~ThreadEndNotice() {
        if (thread) {
            thread->finish(returned);
        }
    }
};

void runThread(const std::shared_ptr<Thread>& thread, LPTHREAD_START_ROUTINE routine,
               LPVOID parameter) {
    thread_local ThreadEndNotice notice;
    notice.thread = thread;
    adoptThreadState(thread->state);
    try {
        cancellationPoint();
        notice.returned = routine(parameter);
    } catch (const ThreadTerminated&) {
        // Unwound by TerminateThread; the exit code is the one it gave.
    }
}

} // namespace
} // namespace platform::kernel

using namespace platform::kernel;

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    cancellationPoint();
    if (!lpStartAddress || (dwCreationFlags & ~STACK_SIZE_PARAM_IS_A_RESERVATION) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<Thread>(std::make_shared<ThreadState>(allocateThreadId()));
    HANDLE handle = handles::insert(thread);
    try {
        std::thread(runThread, thread, lpStartAddress, lpParameter).detach();
    } catch (const std::system_error&) {
        handles::remove(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (lpThreadId) {
        *lpThreadId = thread->state->id();
    }
    return handle;
}

BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode) {
    cancellationPoint();
    auto thread = handles::findAs<Thread>(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    thread->state->requestTermination(dwExitCode);
    if (thread->state.get() == &currentThread()) {
        cancellationPoint(); // ends the calling thread here
        return TRUE;
    }
    thread->awaitEnd();
    return TRUE;
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    cancellationPoint();
    auto thread = handles::findAs<Thread>(hThread);
    if (!thread || !lpExitCode) {
        SetLastError(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = thread->exitCode();
    return TRUE;
}

DWORD WINAPI GetCurrentThreadId() {
    return currentThread().id();
}

DWORD WINAPI GetCurrentProcessId() {
    return static_cast<DWORD>(::getpid());
}

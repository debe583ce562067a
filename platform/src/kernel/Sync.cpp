// Events, waits on handles, Sleep, the tick count and the calling thread's last error.
#include "kernel/KernelObject.h"
#include "kernel/Wait.h"
#include "platform/Clock.h"
#include "winbase.h"

#include <algorithm>
#include <thread>

namespace platform::kernel {
namespace {

class Event : public Waitable {
public:
    Event(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}

    void set() {
        std::lock_guard guard(mutex);
        signalled_ = true;
        changed.notify_all();
    }
    void reset() {
        std::lock_guard guard(mutex);
        signalled_ = false;
    }
    bool isSignalled() const override { return signalled_; }
    void onWaitSatisfied() override {
        if (!manualReset_) {
            signalled_ = false;
        }
    }

private:
    const bool manualReset_;
    bool signalled_;
};

thread_local DWORD lastError = ERROR_SUCCESS;

// Timeouts beyond half the tick range would look like deadlines in the past.
constexpr DWORD longestTimeout = 0x7FFFFFFF;

std::optional<DWORD> deadlineAfter(DWORD milliseconds) {
    if (milliseconds == INFINITE) {
        return std::nullopt;
    }
    return platform::clock::now() + std::min(milliseconds, longestTimeout);
}

BOOL withEvent(HANDLE handle, void (Event::*action)()) {
    cancellationPoint();
    auto event = handles::findAs<Event>(handle);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ((*event).*action)();
    return TRUE;
}

} // namespace
} // namespace platform::kernel

using namespace platform::kernel;

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName) {
    cancellationPoint();
    if (lpName) { // named events are not part of this platform
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return handles::insert(std::make_shared<Event>(bManualReset != FALSE, bInitialState != FALSE));
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    return withEvent(hEvent, &Event::set);
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    return withEvent(hEvent, &Event::reset);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    cancellationPoint();
    auto object = handles::findAs<Waitable>(hHandle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    std::unique_lock lock(object->mutex);
    if (!waitUntil(lock, object->changed, deadlineAfter(dwMilliseconds),
                   [&] { return object->isSignalled(); })) {
        return WAIT_TIMEOUT;
    }
    object->onWaitSatisfied();
    return WAIT_OBJECT_0;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (!handles::remove(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    cancellationPoint();
    if (dwMilliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::mutex mutex;
    std::condition_variable never;
    std::unique_lock lock(mutex);
    waitUntil(lock, never, deadlineAfter(dwMilliseconds), [] { return false; });
}

DWORD WINAPI GetTickCount() {
    return platform::clock::now();
}

DWORD WINAPI GetLastError() {
    return lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}

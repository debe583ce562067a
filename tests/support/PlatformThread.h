// Helpers shared by every platform test program: a platform thread a test can watch wait, and a
// yielding spin.
#pragma once

#include "kernel/Wait.h"
#include "platform/Clock.h"
#include "windows.h"

#include <functional>
#include <thread>
#include <type_traits>

namespace platformtest {

// Yields (never sleeps) until `done` holds.
template <typename Done>
void spinUntil(Done done) {
    while (!done())
        std::this_thread::yield();
}

// `work` on a platform thread, so that a test can move the clock while it waits, or terminate
// it; its result (if any) is the thread's exit code. The destructor waits for the thread's end.
class PlatformThread {
public:
    template <class Work>
    explicit PlatformThread(Work work) {
        if constexpr (std::is_void_v<std::invoke_result_t<Work&>>)
            work_ = [work = std::move(work)]() mutable { return work(), DWORD{0}; };
        else
            work_ = std::move(work);
        handle_ = CreateThread(nullptr, 0, &PlatformThread::run, this, 0, &id_);
    }
    ~PlatformThread() {
        join();
        CloseHandle(handle_);
    }
    PlatformThread(const PlatformThread&) = delete;
    PlatformThread& operator=(const PlatformThread&) = delete;

    bool finished() const { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }
    // Returns once the thread waits, having seen every clock step so far (or has ended).
    void settle() const {
        spinUntil([this] { return platform::kernel::isBlocked(id_) || finished(); });
    }
    DWORD join() const {
        WaitForSingleObject(handle_, INFINITE);
        DWORD code = 0;
        GetExitCodeThread(handle_, &code);
        return code;
    }
    HANDLE handle() const { return handle_; }
    DWORD id() const { return id_; }

private:
    static DWORD WINAPI run(LPVOID self) { return static_cast<PlatformThread*>(self)->work_(); }
    std::function<DWORD()> work_;
    DWORD id_ = 0;
    HANDLE handle_ = nullptr;
};

} // namespace platformtest

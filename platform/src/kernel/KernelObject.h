// Kernel objects behind HANDLEs: events, threads and open files, shared between the handle
// table and whoever uses them at the moment (a thread keeps its own object while it runs).
#pragma once

#include "wintypes.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform::kernel {

class KernelObject {
public:
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject() = default;
};

// An object WaitForSingleObject can wait on. Its state lives under `mutex`; whoever signals it
// notifies `signalled`.
class Waitable : public KernelObject {
public:
    std::mutex mutex;
    std::condition_variable changed;

    // Both called with `mutex` held.
    virtual bool isSignalled() const = 0;
    // A successful wait takes the signal (an auto-reset event resets itself).
    virtual void onWaitSatisfied() {}
};

// HANDLE -> object. Handles are never reused within a process.
namespace handles {

HANDLE insert(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> find(HANDLE handle);
bool remove(HANDLE handle);

template <typename T>
std::shared_ptr<T> findAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(find(handle));
}

} // namespace handles
} // namespace platform::kernel

#include "kernel/KernelObject.h"

#include <unordered_map>

namespace platform::kernel::handles {
namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<DWORD_PTR, std::shared_ptr<KernelObject>> objects;
    DWORD_PTR next = 0x1000;
};

// Never destroyed: detached threads may close handles while the process exits.
HandleTable& table() {
    static auto* instance = new HandleTable;
    return *instance;
}

DWORD_PTR key(HANDLE handle) {
    return reinterpret_cast<DWORD_PTR>(handle);
}

} // namespace

HANDLE insert(std::shared_ptr<KernelObject> object) {
    auto& t = table();
    std::lock_guard guard(t.mutex);
    DWORD_PTR value = t.next;
    t.next += 4;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> find(HANDLE handle) {
    auto& t = table();
    std::lock_guard guard(t.mutex);
    auto it = t.objects.find(key(handle));
    return it == t.objects.end() ? nullptr : it->second;
}

bool remove(HANDLE handle) {
    std::shared_ptr<KernelObject> object; // released outside the lock
    auto& t = table();
    std::lock_guard guard(t.mutex);
    auto it = t.objects.find(key(handle));
    if (it == t.objects.end()) {
        return false;
    }
    object = std::move(it->second);
    t.objects.erase(it);
    return true;
}

} // namespace platform::kernel::handles

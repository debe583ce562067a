#include "user/GdiObject.h"

#include <mutex>
#include <unordered_set>

namespace platform {
namespace {

struct LiveObjects {
    std::mutex lock;
    std::unordered_set<const void*> handles;
};

LiveObjects& liveObjects() {
    static auto* objects = new LiveObjects; // outlives every static object that holds a handle
    return *objects;
}

} // namespace

GdiObject::GdiObject() {
    auto& live = liveObjects();
    std::lock_guard guard(live.lock);
    live.handles.insert(static_cast<const void*>(this));
}

GdiObject::~GdiObject() {
    auto& live = liveObjects();
    std::lock_guard guard(live.lock);
    live.handles.erase(static_cast<const void*>(this));
}

GdiObject* GdiObject::fromHandle(const void* handle) {
    if (handle == nullptr) {
        return nullptr;
    }
    auto& live = liveObjects();
    std::lock_guard guard(live.lock);
    if (!live.handles.contains(handle)) {
        return nullptr;
    }
    return static_cast<GdiObject*>(const_cast<void*>(handle));
}

bool deleteGdiObject(HGDIOBJ handle) {
    GdiObject* object = GdiObject::fromHandle(handle);
    if (object == nullptr) {
        return false;
    }
    if (!object->isStock()) {
        delete object;
    }
    return true;
}

} // namespace platform

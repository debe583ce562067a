#include "gdi/DeviceContext.h"

#include "gdi/StockObjects.h"
#include "wingdi.h"

#include <mutex>
#include <unordered_set>

namespace platform::gdi {
namespace {

struct LiveContexts {
    std::mutex lock;
    std::unordered_set<const DeviceContext*> contexts;
};

LiveContexts& liveContexts() {
    static auto* live = new LiveContexts; // outlives static objects that end contexts
    return *live;
}

} // namespace

DeviceContext::DeviceContext(std::unique_ptr<DrawTarget> target)
    : target_(std::move(target)), font_(stockObject(SYSTEM_FONT)),
      brush_(stockObject(WHITE_BRUSH)) {
    auto& live = liveContexts();
    std::lock_guard guard(live.lock);
    live.contexts.insert(this);
}

DeviceContext::~DeviceContext() {
    auto& live = liveContexts();
    std::lock_guard guard(live.lock);
    live.contexts.erase(this);
}

DeviceContext* DeviceContext::fromHandle(HDC dc) {
    auto* context = reinterpret_cast<DeviceContext*>(dc);
    auto& live = liveContexts();
    std::lock_guard guard(live.lock);
    return live.contexts.contains(context) ? context : nullptr;
}

bool DeviceContext::paint(const std::function<RECT(const gfx::PixelView&)>& draw) {
    RECT changed{0, 0, 0, 0};
    bool drawn = target_->withPixels([&](const gfx::PixelView& view) { changed = draw(view); });
    if (drawn && !gfx::isEmpty(changed)) {
        target_->changed(changed);
    }
    return drawn;
}

HGDIOBJ DeviceContext::selectFont(HGDIOBJ font) {
    HGDIOBJ previous = font_;
    font_ = font;
    return previous;
}

HGDIOBJ DeviceContext::selectBrush(HGDIOBJ brush) {
    HGDIOBJ previous = brush_;
    brush_ = brush;
    return previous;
}

} // namespace platform::gdi

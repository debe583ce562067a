#include "ddraw/Surface.h"

#include "gdi/DeviceContext.h"
#include "platform/Device.h"

#include <algorithm>

namespace platform::gfx {

// The overlay as the screen compositor sees it: drawn at its destination rectangle, stretched
// from its source rectangle, while shown.
class OverlayLayer : public Layer {
public:
    explicit OverlayLayer(Surface& surface) : surface_(surface) {}

    int zOrder() const override { return 10; }
    bool opaque() const override { return true; } // a stretched copy of the surface, no key
    bool visible() const override {
        std::lock_guard guard(stateLock_);
        return shown_;
    }
    RECT bounds() const override {
        std::lock_guard guard(stateLock_);
        return shown_ ? dest_ : RECT{0, 0, 0, 0};
    }

    void paint(std::uint16_t* frame, int pitch, const RECT& clip) override {
        RECT source;
        RECT dest;
        {
            std::lock_guard guard(stateLock_);
            if (!shown_) {
                return;
            }
            source = source_;
            dest = dest_;
        }
        const RECT area = intersect(dest, clip);
        if (isEmpty(area)) {
            return;
        }
        const std::int64_t stepX = (static_cast<std::int64_t>(source.right - source.left) << 16) /
                                   (dest.right - dest.left);
        const std::int64_t stepY = (static_cast<std::int64_t>(source.bottom - source.top) << 16) /
                                   (dest.bottom - dest.top);
        std::lock_guard guard(surface_.pixelLock());
        const PixelView view = surface_.view();
        for (int y = area.top; y < area.bottom; ++y) {
            const std::uint16_t* src =
                view.row(source.top + static_cast<int>(((y - dest.top) * stepY) >> 16));
            std::uint16_t* out = frame + static_cast<std::ptrdiff_t>(y) * pitch;
            if (stepX == std::int64_t{1} << 16) { // as wide as its source: the row as it is
                const std::uint16_t* from = src + source.left + (area.left - dest.left);
                std::copy(from, from + (area.right - area.left), out + area.left);
                continue;
            }
            for (int x = area.left; x < area.right; ++x) {
                out[x] = src[source.left + static_cast<int>(((x - dest.left) * stepX) >> 16)];
            }
        }
    }

    // Both return the area the screen must present again.
    RECT show(const RECT& source, const RECT& dest) {
        std::lock_guard guard(stateLock_);
        const RECT before = shown_ ? dest_ : RECT{0, 0, 0, 0};
        shown_ = true;
        source_ = source;
        dest_ = dest;
        return unite(before, dest);
    }
    RECT hide() {
        std::lock_guard guard(stateLock_);
        const RECT before = shown_ ? dest_ : RECT{0, 0, 0, 0};
        shown_ = false;
        source_ = dest_ = RECT{0, 0, 0, 0};
        return before;
    }

private:
    Surface& surface_;
    mutable std::mutex stateLock_; // innermost: nothing else is taken while it is held
    bool shown_ = false;
    RECT source_{};
    RECT dest_{};
};

namespace {

// A null rectangle is the whole surface; any other must lie inside it and not be empty.
HRESULT resolveRect(const RECT* given, int width, int height, RECT& out) {
    if (given == nullptr) {
        out = {0, 0, width, height};
        return isEmpty(out) ? DDERR_INVALIDRECT : DD_OK;
    }
    const RECT& r = *given;
    if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom || r.right > width ||
        r.bottom > height) {
        return DDERR_INVALIDRECT;
    }
    out = r;
    return DD_OK;
}

void describe(const Surface& surface, DDSURFACEDESC& desc) {
    const DWORD size = desc.dwSize;
    desc = DDSURFACEDESC{};
    desc.dwSize = size;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    desc.dwWidth = static_cast<DWORD>(surface.width());
    desc.dwHeight = static_cast<DWORD>(surface.height());
    desc.lXPitch = sizeof(std::uint16_t);
    desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    desc.ddpfPixelFormat.dwFlags = DDPF_RGB;
    desc.ddpfPixelFormat.dwRGBBitCount = 16;
    desc.ddpfPixelFormat.dwRBitMask = 0xF800;
    desc.ddpfPixelFormat.dwGBitMask = 0x07E0;
    desc.ddpfPixelFormat.dwBBitMask = 0x001F;
    switch (surface.kind()) {
    case Surface::Kind::primary:
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        break;
    case Surface::Kind::overlay:
        desc.ddsCaps.dwCaps = DDSCAPS_OVERLAY;
        break;
    case Surface::Kind::offscreen:
        break;
    }
}

class SurfaceTarget : public gdi::DrawTarget {
public:
    explicit SurfaceTarget(Surface& surface) : surface_(surface) {}
    bool withPixels(const std::function<void(const PixelView&)>& draw) override {
        if (!surface_.available() || surface_.lockedByCaller()) {
            return false;
        }
        std::lock_guard guard(surface_.pixelLock());
        draw(surface_.view());
        return true;
    }
    void changed(const RECT& area) override { surface_.changed(area); }

private:
    Surface& surface_;
};

} // namespace

PixelLocks::PixelLocks(Surface& a, Surface& b) {
    std::mutex* first = &a.pixelLock();
    std::mutex* second = &b.pixelLock();
    const bool secondGoesFirst =
        b.kind() == Surface::Kind::primary
            ? a.kind() != Surface::Kind::primary
            : a.kind() != Surface::Kind::primary && std::less<std::mutex*>()(second, first);
    if (secondGoesFirst) {
        std::swap(first, second);
    }
    first_ = std::unique_lock(*first);
    if (second != first) {
        second_ = std::unique_lock(*second);
    }
}

Surface::Surface(Kind kind, int width, int height)
    : kind_(kind), width_(kind == Kind::primary ? 0 : width),
      height_(kind == Kind::primary ? 0 : height) {
    if (kind_ != Kind::primary) {
        pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0);
    }
    if (kind_ == Kind::overlay) {
        overlay_ = std::make_unique<OverlayLayer>(*this);
        if (Device::running()) {
            Device::instance().addLayer(overlay_.get());
        }
    }
}

Surface::~Surface() {
    if (overlay_ && Device::running()) {
        const RECT shown = overlay_->hide();
        Device::instance().removeLayer(overlay_.get());
        if (!isEmpty(shown)) {
            Device::instance().invalidate(shown);
        }
    }
}

HRESULT Surface::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IDirectDrawSurface) {
        AddRef();
        *object = static_cast<IDirectDrawSurface*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Surface::AddRef() {
    return ++references_;
}

ULONG Surface::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

bool Surface::available() const {
    return kind_ != Kind::primary || Device::running();
}

std::mutex& Surface::pixelLock() {
    return kind_ == Kind::primary ? Device::instance().screenLock() : mutex_;
}

PixelView Surface::view() {
    if (kind_ == Kind::primary) {
        Device& device = Device::instance();
        return {device.pixels(), device.width(), device.height(), device.pitch()};
    }
    return {pixels_.data(), width_, height_, width_};
}

int Surface::width() const {
    if (kind_ == Kind::primary) {
        return Device::running() ? Device::instance().width() : 0;
    }
    return width_;
}

int Surface::height() const {
    if (kind_ == Kind::primary) {
        return Device::running() ? Device::instance().height() : 0;
    }
    return height_;
}

void Surface::changed(const RECT& area) const {
    if (kind_ == Kind::primary && Device::running() && !isEmpty(area)) {
        Device::instance().invalidate(area);
    }
}

HRESULT Surface::checkUsable() const {
    if (!available()) {
        return DDERR_SURFACELOST;
    }
    if (lockedByCaller()) {
        return DDERR_SURFACEBUSY;
    }
    return DD_OK;
}

HRESULT Surface::Blt(LPRECT destRect, LPDIRECTDRAWSURFACE source, LPRECT sourceRect, DWORD flags,
                     LPDDBLTFX effects) {
    if (HRESULT usable = checkUsable(); FAILED(usable)) {
        return usable;
    }
    if (effects != nullptr && effects->dwSize != sizeof(DDBLTFX)) {
        return DDERR_INVALIDPARAMS;
    }
    if (flags & DDBLT_COLORFILL) {
        if (source != nullptr || effects == nullptr) {
            return DDERR_INVALIDPARAMS;
        }
        std::unique_lock guard(pixelLock());
        RECT dest;
        if (HRESULT valid = resolveRect(destRect, view().width, view().height, dest);
            FAILED(valid)) {
            return valid;
        }
        fillRect(view(), dest, static_cast<std::uint16_t>(effects->dwFillColor));
        guard.unlock();
        changed(dest);
        return DD_OK;
    }
    if (source == nullptr || ((flags & DDBLT_KEYSRCOVERRIDE) && effects == nullptr)) {
        return DDERR_INVALIDPARAMS;
    }
    auto& from = *static_cast<Surface*>(source);
    if (HRESULT usable = from.checkUsable(); FAILED(usable)) {
        return usable;
    }
    RECT dest{};
    HRESULT result = DD_OK;
    {
        PixelLocks locks(*this, from);
        const PixelView to = view();
        const PixelView src = from.view();
        RECT srcArea;
        result = resolveRect(destRect, to.width, to.height, dest);
        if (SUCCEEDED(result)) {
            result = resolveRect(sourceRect, src.width, src.height, srcArea);
        }
        std::optional<ColourKey> key;
        if (SUCCEEDED(result) && (flags & DDBLT_KEYSRCOVERRIDE)) {
            key = ColourKey{effects->ddckSrcColorkey.dwColorSpaceLowValue,
                            effects->ddckSrcColorkey.dwColorSpaceHighValue};
        } else if (SUCCEEDED(result) && (flags & DDBLT_KEYSRC)) {
            key = from.sourceKey_;
            if (!key) {
                result = DDERR_NOCOLORKEY;
            }
        }
        if (SUCCEEDED(result)) {
            copyRect(to, dest, src, srcArea, key);
        }
    }
    if (SUCCEEDED(result)) {
        changed(dest);
    }
    return result;
}

HRESULT Surface::GetDC(HDC* dc) {
    if (dc == nullptr) {
        return DDERR_INVALIDPARAMS;
    }
    *dc = nullptr;
    if (HRESULT usable = checkUsable(); FAILED(usable)) {
        return usable;
    }
    auto* context = new gdi::DeviceContext(std::make_unique<SurfaceTarget>(*this));
    AddRef(); // the context keeps its surface alive until ReleaseDC
    {
        std::lock_guard guard(contextsLock_);
        contexts_.push_back(context->handle());
    }
    *dc = context->handle();
    return DD_OK;
}

HRESULT Surface::ReleaseDC(HDC dc) {
    {
        std::lock_guard guard(contextsLock_);
        auto found = std::find(contexts_.begin(), contexts_.end(), dc);
        if (found == contexts_.end()) {
            return DDERR_NODC;
        }
        contexts_.erase(found);
    }
    delete gdi::DeviceContext::fromHandle(dc);
    Release();
    return DD_OK;
}

HRESULT Surface::GetSurfaceDesc(LPDDSURFACEDESC desc) {
    if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC)) {
        return DDERR_INVALIDPARAMS;
    }
    if (!available()) {
        return DDERR_SURFACELOST;
    }
    describe(*this, *desc);
    desc->lPitch = static_cast<LONG>(sizeof(std::uint16_t)) *
                   (kind_ == Kind::primary ? Device::instance().pitch() : width_);
    return DD_OK;
}

HRESULT Surface::Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags, HANDLE unused) {
    (void)flags;
    (void)unused;
    if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC)) {
        return DDERR_INVALIDPARAMS;
    }
    if (HRESULT usable = checkUsable(); FAILED(usable)) {
        return usable;
    }
    std::unique_lock guard(pixelLock());
    const PixelView pixels = view();
    RECT area;
    if (HRESULT valid = resolveRect(rect, pixels.width, pixels.height, area); FAILED(valid)) {
        return valid;
    }
    describe(*this, *desc);
    desc->lPitch = static_cast<LONG>(sizeof(std::uint16_t)) * pixels.pitch;
    desc->lpSurface = pixels.row(area.top) + area.left;
    lockedPixels_ = std::move(guard);
    lockedRect_ = area;
    lockOwner_ = std::this_thread::get_id();
    return DD_OK;
}

HRESULT Surface::Unlock(LPRECT rect) {
    (void)rect;
    if (!lockedByCaller()) {
        return DDERR_NOTLOCKED;
    }
    const RECT area = lockedRect_;
    lockOwner_ = std::thread::id();
    lockedPixels_.unlock();
    changed(area);
    return DD_OK;
}

HRESULT Surface::UpdateOverlay(LPRECT sourceRect, LPDIRECTDRAWSURFACE destSurface, LPRECT destRect,
                               DWORD flags, LPDDOVERLAYFX effects) {
    (void)effects;
    if (!overlay_) {
        return DDERR_NOTAOVERLAYSURFACE;
    }
    if ((flags & DDOVER_SHOW) && (flags & DDOVER_HIDE)) {
        return DDERR_INVALIDPARAMS;
    }
    RECT toPresent{0, 0, 0, 0};
    if (flags & DDOVER_HIDE) {
        toPresent = overlay_->hide();
    } else {
        auto* screen = static_cast<Surface*>(destSurface);
        if (screen == nullptr || screen->kind() != Kind::primary) {
            return DDERR_INVALIDPARAMS;
        }
        if (!screen->available()) {
            return DDERR_SURFACELOST;
        }
        RECT source;
        RECT dest;
        if (FAILED(resolveRect(sourceRect, width_, height_, source)) ||
            FAILED(resolveRect(destRect, screen->width(), screen->height(), dest))) {
            return DDERR_INVALIDRECT;
        }
        if (!(flags & DDOVER_SHOW) && !overlay_->visible()) {
            return DD_OK; // a shown overlay moves; a hidden one stays hidden
        }
        toPresent = overlay_->show(source, dest);
    }
    if (Device::running() && !isEmpty(toPresent)) {
        Device::instance().invalidate(toPresent);
    }
    return DD_OK;
}

} // namespace platform::gfx

// The DirectDraw object: creates the primary (the device screen), off-screen and overlay
// surfaces.
#include "ddraw.h"
#include "ddraw/Surface.h"
#include "platform/Device.h"

#include <atomic>
#include <new>

namespace platform::gfx {
namespace {

constexpr DWORD largestSide = 16384;

bool isRgb565(const DDPIXELFORMAT& format) {
    return (format.dwFlags & DDPF_RGB) && format.dwRGBBitCount == 16 &&
           format.dwRBitMask == 0xF800 && format.dwGBitMask == 0x07E0 &&
           format.dwBBitMask == 0x001F;
}

class DirectDraw final : public IDirectDraw {
public:
    virtual ~DirectDraw() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == IID_IDirectDraw) {
            AddRef();
            *object = static_cast<IDirectDraw*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface,
                                            IUnknown* outer) override {
        if (surface == nullptr) {
            return DDERR_INVALIDPARAMS;
        }
        *surface = nullptr;
        if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC)) {
            return DDERR_INVALIDPARAMS;
        }
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        const DWORD caps = (desc->dwFlags & DDSD_CAPS) ? desc->ddsCaps.dwCaps : 0;
        if ((caps & DDSCAPS_PRIMARYSURFACE) && (caps & DDSCAPS_OVERLAY)) {
            return DDERR_INVALIDPARAMS;
        }
        if (caps & DDSCAPS_PRIMARYSURFACE) {
            return createPrimary(*desc, surface);
        }
        return createInMemory(*desc, caps, surface);
    }

    HRESULT STDMETHODCALLTYPE GetGDISurface(LPDIRECTDRAWSURFACE* surface) override {
        if (surface == nullptr) {
            return DDERR_INVALIDPARAMS;
        }
        *surface = nullptr;
        if (!Device::running()) {
            return DDERR_NOTFOUND;
        }
        *surface = new Surface(Surface::Kind::primary);
        return DD_OK;
    }

    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override {
        if (flags != DDSCL_NORMAL && flags != DDSCL_FULLSCREEN) {
            return DDERR_INVALIDPARAMS;
        }
        if (flags == DDSCL_FULLSCREEN && window == nullptr) {
            return DDERR_INVALIDPARAMS;
        }
        return DD_OK;
    }

    HRESULT STDMETHODCALLTYPE RestoreAllSurfaces() override { return DD_OK; }

private:
    static HRESULT createPrimary(const DDSURFACEDESC& desc, LPDIRECTDRAWSURFACE* surface) {
        if (desc.dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT)) {
            return DDERR_INVALIDPARAMS; // the screen's size and format are not the caller's
        }
        if (!Device::running()) {
            return DDERR_GENERIC;
        }
        *surface = new Surface(Surface::Kind::primary);
        return DD_OK;
    }

    static HRESULT createInMemory(const DDSURFACEDESC& desc, DWORD caps,
                                  LPDIRECTDRAWSURFACE* surface) {
        if ((desc.dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT) ||
            desc.dwWidth == 0 || desc.dwHeight == 0 || desc.dwWidth > largestSide ||
            desc.dwHeight > largestSide) {
            return DDERR_INVALIDPARAMS;
        }
        if ((desc.dwFlags & DDSD_PIXELFORMAT) && !isRgb565(desc.ddpfPixelFormat)) {
            return DDERR_UNSUPPORTED;
        }
        const auto kind =
            (caps & DDSCAPS_OVERLAY) ? Surface::Kind::overlay : Surface::Kind::offscreen;
        Surface* created = nullptr;
        try {
            created =
                new Surface(kind, static_cast<int>(desc.dwWidth), static_cast<int>(desc.dwHeight));
        } catch (const std::bad_alloc&) {
            return DDERR_OUTOFMEMORY;
        }
        if (desc.dwFlags & DDSD_CKSRCBLT) {
            created->setSourceKey(ColourKey{desc.ddckCKSrcBlt.dwColorSpaceLowValue,
                                            desc.ddckCKSrcBlt.dwColorSpaceHighValue});
        }
        *surface = created;
        return DD_OK;
    }

    std::atomic<ULONG> references_{1};
};

} // namespace
} // namespace platform::gfx

HRESULT WINAPI DirectDrawCreate(GUID* driver, LPDIRECTDRAW* directDraw, IUnknown* outer) {
    (void)driver;
    if (directDraw == nullptr) {
        return DDERR_INVALIDPARAMS;
    }
    *directDraw = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    if (!platform::Device::running()) {
        return DDERR_GENERIC;
    }
    *directDraw = new platform::gfx::DirectDraw;
    return DD_OK;
}

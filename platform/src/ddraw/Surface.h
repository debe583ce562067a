// A DirectDraw surface: RGB565 pixels that blits, device contexts and overlays work on. The
// primary surface is the device screen itself (its size follows rotation); off-screen and
// overlay surfaces own their pixels, and an overlay is drawn above the screen while shown.
//
// Locking: the primary surface is guarded by the device's screen lock, every other surface by
// its own mutex. A blit between two surfaces takes both locks in one global order: the screen
// lock first, then the surface mutexes by address. The screen compositor (which holds the screen
// lock while it asks the overlays to paint) follows the same order. Device calls (invalidate,
// layers) are made after the locks are released.
#pragma once

#include "ddraw.h"
#include "ddraw/Blitter.h"
#include "ddraw/PixelView.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace platform::gfx {

class OverlayLayer;

class Surface final : public IDirectDrawSurface {
public:
    enum class Kind { primary, offscreen, overlay };

    // A primary surface, or an off-screen / overlay surface of the given size (zero-filled).
    explicit Surface(Kind kind, int width = 0, int height = 0);
    virtual ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Blt(LPRECT destRect, LPDIRECTDRAWSURFACE source, LPRECT sourceRect,
                                  DWORD flags, LPDDBLTFX effects) override;
    HRESULT STDMETHODCALLTYPE GetDC(HDC* dc) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC desc) override;
    HRESULT STDMETHODCALLTYPE Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags,
                                   HANDLE unused) override;
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC dc) override;
    HRESULT STDMETHODCALLTYPE Unlock(LPRECT rect) override;
    HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT sourceRect, LPDIRECTDRAWSURFACE destSurface,
                                            LPRECT destRect, DWORD flags,
                                            LPDDOVERLAYFX effects) override;

    Kind kind() const { return kind_; }
    // False for a primary surface while no device runs.
    bool available() const;
    // The lock that guards the pixels, and the pixels (only while holding it).
    std::mutex& pixelLock();
    PixelView view();
    // Current size (the primary's follows the screen).
    int width() const;
    int height() const;
    // Tells the screen what changed on the primary surface; nothing for the others.
    void changed(const RECT& area) const;
    // The key DDBLT_KEYSRC uses when this surface is the source.
    void setSourceKey(std::optional<ColourKey> key) { sourceKey_ = key; }
    // True while the calling thread holds the pixels through Lock.
    bool lockedByCaller() const { return lockOwner_.load() == std::this_thread::get_id(); }

private:
    HRESULT checkUsable() const;
    HRESULT fill(const RECT& dest, DWORD colour);
    HRESULT copyFrom(Surface& source, const RECT& dest, const RECT& sourceRect, DWORD flags,
                     const DDBLTFX* effects);

    const Kind kind_;
    std::atomic<ULONG> references_{1};
    std::vector<std::uint16_t> pixels_;
    int width_;
    int height_;
    std::mutex mutex_;
    std::optional<ColourKey> sourceKey_;
    std::unique_ptr<OverlayLayer> overlay_;
    std::unique_lock<std::mutex> lockedPixels_; // held between Lock and Unlock
    RECT lockedRect_{};
    std::atomic<std::thread::id> lockOwner_{};
    std::vector<HDC> contexts_; // device contexts handed out by GetDC
    std::mutex contextsLock_;
};

// Both pixel locks of a blit, taken in the documented order (once if they are the same lock).
class PixelLocks {
public:
    PixelLocks(Surface& a, Surface& b);

private:
    std::unique_lock<std::mutex> first_;
    std::unique_lock<std::mutex> second_;
};

} // namespace platform::gfx

// DirectDraw of Windows Mobile: the DirectDraw object, RGB565 surfaces (the primary surface is
// the device screen), blits with colour fill, colour keys and stretching, device contexts of
// surfaces and overlays. The values are the Windows Mobile ones, which differ from the desktop.
#pragma once

#include "objbase.h"
#include "wintypes.h"

#define DD_OK S_OK
#define DD_FALSE S_FALSE

#define MAKE_DDHRESULT(code) static_cast<HRESULT>(0x88760000u + (code))
#define DDERR_INVALIDOBJECT MAKE_DDHRESULT(130)
#define DDERR_INVALIDRECT MAKE_DDHRESULT(150)
#define DDERR_NOCOLORKEY MAKE_DDHRESULT(215)
#define DDERR_NOTFOUND MAKE_DDHRESULT(255)
#define DDERR_SURFACEBUSY MAKE_DDHRESULT(430)
#define DDERR_SURFACELOST MAKE_DDHRESULT(450)
#define DDERR_NODC MAKE_DDHRESULT(523)
#define DDERR_NOTAOVERLAYSURFACE MAKE_DDHRESULT(580)
#define DDERR_NOTLOCKED MAKE_DDHRESULT(584)
#define DDERR_DCALREADYCREATED MAKE_DDHRESULT(620)
#define DDERR_INVALIDPARAMS E_INVALIDARG
#define DDERR_UNSUPPORTED E_NOTIMPL
#define DDERR_OUTOFMEMORY E_OUTOFMEMORY
#define DDERR_GENERIC E_FAIL

// Cooperative levels.
#define DDSCL_NORMAL 0x00000000
#define DDSCL_FULLSCREEN 0x00000001

// Surface capabilities.
#define DDSCAPS_OVERLAY 0x00000010
#define DDSCAPS_PRIMARYSURFACE 0x00000040

// Valid members of DDSURFACEDESC.
#define DDSD_CAPS 0x00000001
#define DDSD_HEIGHT 0x00000002
#define DDSD_WIDTH 0x00000004
#define DDSD_PITCH 0x00000008
#define DDSD_PIXELFORMAT 0x00001000
#define DDSD_CKSRCBLT 0x00010000

// Pixel format flags.
#define DDPF_RGB 0x00000040

// Blt flags.
#define DDBLT_COLORFILL 0x00000400
#define DDBLT_KEYSRC 0x00008000
#define DDBLT_KEYSRCOVERRIDE 0x00010000
#define DDBLT_WAITNOTBUSY 0x01000000

// Lock flags.
#define DDLOCK_READONLY 0x00000001
#define DDLOCK_WRITEONLY 0x00000002
#define DDLOCK_WAITNOTBUSY 0x00000008

// UpdateOverlay flags.
#define DDOVER_HIDE 0x00000020
#define DDOVER_SHOW 0x00000400

// A colour key range; both ends are inclusive.
struct DDCOLORKEY {
    DWORD dwColorSpaceLowValue;
    DWORD dwColorSpaceHighValue;
};
using LPDDCOLORKEY = DDCOLORKEY*;

struct DDPIXELFORMAT {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwFourCC;
    DWORD dwRGBBitCount;
    DWORD dwRBitMask;
    DWORD dwGBitMask;
    DWORD dwBBitMask;
    DWORD dwRGBAlphaBitMask;
};
using LPDDPIXELFORMAT = DDPIXELFORMAT*;

struct DDSCAPS {
    DWORD dwCaps;
};
using LPDDSCAPS = DDSCAPS*;

struct DDSURFACEDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    LONG lPitch;  // bytes per row
    LONG lXPitch; // bytes per pixel
    DWORD dwBackBufferCount;
    DWORD dwRefreshRate;
    LPVOID lpSurface;
    DDCOLORKEY ddckCKDestOverlay;
    DDCOLORKEY ddckCKDestBlt;
    DDCOLORKEY ddckCKSrcOverlay;
    DDCOLORKEY ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS ddsCaps;
    DWORD dwSurfaceSize;
};
using LPDDSURFACEDESC = DDSURFACEDESC*;

struct DDBLTFX {
    DWORD dwSize;
    DWORD dwROP;
    DWORD dwFillColor; // a raw pixel of the destination's format
    DDCOLORKEY ddckDestColorkey;
    DDCOLORKEY ddckSrcColorkey;
};
using LPDDBLTFX = DDBLTFX*;

struct DDOVERLAYFX {
    DWORD dwSize;
    DWORD dwAlphaConstBitDepth;
    DWORD dwAlphaConst;
    DDCOLORKEY dckDestColorkey;
    DDCOLORKEY dckSrcColorkey;
};
using LPDDOVERLAYFX = DDOVERLAYFX*;

// {6C14DB80-A733-11CE-A521-0020AF0BE560}
inline constexpr IID IID_IDirectDraw = {
    0x6C14DB80, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
// {6C14DB81-A733-11CE-A521-0020AF0BE560}
inline constexpr IID IID_IDirectDrawSurface = {
    0x6C14DB81, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};

struct IDirectDrawSurface;
using LPDIRECTDRAWSURFACE = IDirectDrawSurface*;

struct IDirectDrawSurface : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Blt(LPRECT destRect, LPDIRECTDRAWSURFACE source,
                                          LPRECT sourceRect, DWORD flags, LPDDBLTFX effects) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDC(HDC* dc) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC desc) = 0;
    virtual HRESULT STDMETHODCALLTYPE Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags,
                                           HANDLE unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReleaseDC(HDC dc) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unlock(LPRECT rect) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT sourceRect,
                                                    LPDIRECTDRAWSURFACE destSurface,
                                                    LPRECT destRect, DWORD flags,
                                                    LPDDOVERLAYFX effects) = 0;

protected:
    ~IDirectDrawSurface() = default;
};

struct IDirectDraw : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC desc,
                                                    LPDIRECTDRAWSURFACE* surface,
                                                    IUnknown* outer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGDISurface(LPDIRECTDRAWSURFACE* surface) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE RestoreAllSurfaces() = 0;

protected:
    ~IDirectDraw() = default;
};
using LPDIRECTDRAW = IDirectDraw*;

HRESULT WINAPI DirectDrawCreate(GUID* driver, LPDIRECTDRAW* directDraw, IUnknown* outer);

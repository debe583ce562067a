// The Imaging API's image objects: images decoded from files and bitmaps (new, rescaled or
// thumbnails). Both keep RGBA pixels; a bitmap also carries the pixel format it stands for and
// can be locked in any supported format.
#pragma once

#include "imaging.h"
#include "imaging/RgbaImage.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::imaging {

// IImage over kept pixels.
class ImageObject : public IImage {
public:
    virtual ~ImageObject() = default;

    HRESULT STDMETHODCALLTYPE GetPhysicalDimension(SIZE* size) override;
    HRESULT STDMETHODCALLTYPE GetImageInfo(ImageInfo* info) override;
    HRESULT STDMETHODCALLTYPE SetImageFlags(UINT flags) override;
    HRESULT STDMETHODCALLTYPE Draw(HDC dc, const RECT* dstRect, const RECT* srcRect) override;
    HRESULT STDMETHODCALLTYPE PushIntoSink(IImageSink* sink) override;
    HRESULT STDMETHODCALLTYPE GetThumbnail(UINT width, UINT height, IImage** image) override;

    virtual const RgbaImage& pixels() const = 0;
    virtual ImageInfo info() const = 0;

protected:
    UINT extraFlags_ = 0; // set by SetImageFlags
};

class DecodedImage final : public ImageObject {
public:
    DecodedImage(RgbaImage pixels, bool hasAlpha);
    virtual ~DecodedImage() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override;

    const RgbaImage& pixels() const override { return pixels_; }
    ImageInfo info() const override;

private:
    std::atomic<ULONG> references_{1};
    RgbaImage pixels_;
    bool hasAlpha_;
};

class Bitmap final : public ImageObject, public IBitmapImage {
public:
    // Pixels in a format without alpha are made opaque.
    Bitmap(RgbaImage pixels, PixelFormatID format);
    virtual ~Bitmap() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetSize(SIZE* size) override;
    HRESULT STDMETHODCALLTYPE GetPixelFormatID(PixelFormatID* pixelFormat) override;
    HRESULT STDMETHODCALLTYPE LockBits(const RECT* rect, UINT flags, PixelFormatID pixelFormat,
                                       BitmapData* lockedBitmapData) override;
    HRESULT STDMETHODCALLTYPE UnlockBits(const BitmapData* lockedBitmapData) override;
    HRESULT STDMETHODCALLTYPE GetPalette(ColorPalette** palette) override;
    HRESULT STDMETHODCALLTYPE SetPalette(const ColorPalette* palette) override;

    const RgbaImage& pixels() const override { return pixels_; }
    ImageInfo info() const override;

private:
    struct LockState {
        RECT area;
        UINT flags;
        PixelFormatID format;
        std::vector<std::uint8_t> buffer; // empty when the caller gave its own
    };

    std::atomic<ULONG> references_{1};
    RgbaImage pixels_;
    PixelFormatID format_;
    std::mutex lock_;
    std::unique_ptr<LockState> locked_;
};

} // namespace platform::imaging

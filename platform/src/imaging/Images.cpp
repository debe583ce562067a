#include "imaging/Images.h"

#include "gdi/DeviceContext.h"
#include "imaging/ImageDraw.h"
#include "imaging/PixelFormats.h"
#include "imaging/Resample.h"

#include <cmath>
#include <new>

namespace platform::imaging {
namespace {

constexpr double hundredthsOfMmPerInch = 2540.0;

bool hasTranslucency(const RgbaImage& image) {
    for (std::size_t i = 3; i < image.rgba.size(); i += 4) {
        if (image.rgba[i] != 0 && image.rgba[i] != 255) {
            return true;
        }
    }
    return false;
}

// A source rectangle in 0.01 mm as pixels; false when it is empty or leaves the image.
bool sourceInPixels(const RECT& units, const RgbaImage& image, SourceArea& area) {
    area = {units.left * image.xdpi / hundredthsOfMmPerInch,
            units.top * image.ydpi / hundredthsOfMmPerInch,
            units.right * image.xdpi / hundredthsOfMmPerInch,
            units.bottom * image.ydpi / hundredthsOfMmPerInch};
    constexpr double slack = 0.5; // units rounded by the caller
    if (area.left >= area.right || area.top >= area.bottom || area.left < -slack ||
        area.top < -slack || area.right > image.width + slack ||
        area.bottom > image.height + slack) {
        return false;
    }
    // The caller's units were rounded from whole pixels: snap edges that lie that close to one.
    for (double* edge : {&area.left, &area.top, &area.right, &area.bottom}) {
        const double whole = std::round(*edge);
        if (std::fabs(*edge - whole) < 0.1) {
            *edge = whole;
        }
    }
    area.left = std::max(0.0, area.left);
    area.top = std::max(0.0, area.top);
    area.right = std::min<double>(image.width, area.right);
    area.bottom = std::min<double>(image.height, area.bottom);
    return true;
}

ImageInfo describe(const RgbaImage& image, const GUID& format, PixelFormatID pixelFormat,
                   UINT flags) {
    ImageInfo info{};
    info.RawDataFormat = format;
    info.PixelFormat = pixelFormat;
    info.Width = static_cast<UINT>(image.width);
    info.Height = static_cast<UINT>(image.height);
    info.TileWidth = info.Width;
    info.TileHeight = info.Height;
    info.Xdpi = image.xdpi;
    info.Ydpi = image.ydpi;
    info.Flags = flags | ImageFlagsColorSpaceRGB | ImageFlagsHasRealPixelSize |
                 (image.realDpi ? ImageFlagsHasRealDPI : 0);
    return info;
}

} // namespace

HRESULT ImageObject::GetPhysicalDimension(SIZE* size) {
    if (size == nullptr) {
        return E_INVALIDARG;
    }
    const RgbaImage& image = pixels();
    size->cx = static_cast<LONG>(std::lround(image.width * hundredthsOfMmPerInch / image.xdpi));
    size->cy = static_cast<LONG>(std::lround(image.height * hundredthsOfMmPerInch / image.ydpi));
    return S_OK;
}

HRESULT ImageObject::GetImageInfo(ImageInfo* result) {
    if (result == nullptr) {
        return E_INVALIDARG;
    }
    *result = info();
    result->Flags |= extraFlags_;
    return S_OK;
}

HRESULT ImageObject::SetImageFlags(UINT flags) {
    extraFlags_ = flags & (ImageFlagsCaching | ImageFlagsReadOnly);
    return S_OK;
}

HRESULT ImageObject::Draw(HDC dc, const RECT* dstRect, const RECT* srcRect) {
    gdi::DeviceContext* context = gdi::DeviceContext::fromHandle(dc);
    if (context == nullptr || dstRect == nullptr) {
        return E_INVALIDARG;
    }
    const RgbaImage& image = pixels();
    SourceArea source{0, 0, static_cast<double>(image.width), static_cast<double>(image.height)};
    if (srcRect != nullptr && !sourceInPixels(*srcRect, image, source)) {
        return E_INVALIDARG;
    }
    drawImage(*context, image, *dstRect, source);
    return S_OK;
}

HRESULT ImageObject::PushIntoSink(IImageSink* sink) {
    if (sink == nullptr) {
        return E_INVALIDARG;
    }
    ImageInfo sinkInfo = info();
    HRESULT result = sink->BeginSink(&sinkInfo, nullptr);
    if (FAILED(result)) {
        return result;
    }
    // The sink may ask for another pixel format by changing the one it was offered.
    const PixelFormatID format =
        isSupportedFormat(sinkInfo.PixelFormat) ? sinkInfo.PixelFormat : PixelFormat32bppARGB;
    const RgbaImage& image = pixels();
    const int stride = strideFor(format, image.width);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stride) * image.height);
    for (int y = 0; y < image.height; ++y) {
        exportRow(image, 0, y, image.width, format,
                  buffer.data() + static_cast<std::size_t>(y) * stride);
    }
    BitmapData data{static_cast<UINT>(image.width),
                    static_cast<UINT>(image.height),
                    stride,
                    format,
                    buffer.data(),
                    0};
    const RECT whole{0, 0, image.width, image.height};
    result = sink->PushPixelData(&whole, &data, TRUE);
    const HRESULT ended = sink->EndSink(result);
    return FAILED(result) ? result : ended;
}

HRESULT ImageObject::GetThumbnail(UINT width, UINT height, IImage** image) {
    if (image == nullptr) {
        return E_INVALIDARG;
    }
    *image = nullptr;
    if (width == 0 || height == 0 || std::size_t{width} * height > largestImagePixels) {
        return E_INVALIDARG;
    }
    auto* thumbnail =
        new (std::nothrow) Bitmap(resample(pixels(), static_cast<int>(width),
                                           static_cast<int>(height), InterpolationHintBicubic),
                                  PixelFormat32bppARGB);
    if (thumbnail == nullptr) {
        return E_OUTOFMEMORY;
    }
    *image = thumbnail;
    return S_OK;
}

DecodedImage::DecodedImage(RgbaImage pixels, bool hasAlpha)
    : pixels_(std::move(pixels)), hasAlpha_(hasAlpha) {}

HRESULT DecodedImage::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IImage) {
        AddRef();
        *object = static_cast<IImage*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG DecodedImage::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

ImageInfo DecodedImage::info() const {
    UINT flags = ImageFlagsReadOnly;
    if (hasAlpha_) {
        flags |= ImageFlagsHasAlpha | (hasTranslucency(pixels_) ? ImageFlagsHasTranslucent : 0);
    }
    return describe(pixels_, ImageFormatPNG, hasAlpha_ ? PixelFormat32bppARGB : PixelFormat24bppRGB,
                    flags);
}

Bitmap::Bitmap(RgbaImage pixels, PixelFormatID format)
    : pixels_(std::move(pixels)), format_(format) {
    if (!hasAlpha(format_)) {
        for (std::size_t i = 3; i < pixels_.rgba.size(); i += 4) {
            pixels_.rgba[i] = 255;
        }
    }
}

HRESULT Bitmap::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IBitmapImage) {
        AddRef();
        *object = static_cast<IBitmapImage*>(this);
        return S_OK;
    }
    if (iid == IID_IImage) {
        AddRef();
        *object = static_cast<IImage*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Bitmap::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

ImageInfo Bitmap::info() const {
    UINT flags = 0;
    if (hasAlpha(format_)) {
        flags |= ImageFlagsHasAlpha | (hasTranslucency(pixels_) ? ImageFlagsHasTranslucent : 0);
    }
    return describe(pixels_, ImageFormatMemoryBMP, format_, flags);
}

HRESULT Bitmap::GetSize(SIZE* size) {
    if (size == nullptr) {
        return E_INVALIDARG;
    }
    size->cx = pixels_.width;
    size->cy = pixels_.height;
    return S_OK;
}

HRESULT Bitmap::GetPixelFormatID(PixelFormatID* pixelFormat) {
    if (pixelFormat == nullptr) {
        return E_INVALIDARG;
    }
    *pixelFormat = format_;
    return S_OK;
}

HRESULT Bitmap::LockBits(const RECT* rect, UINT flags, PixelFormatID pixelFormat,
                         BitmapData* data) {
    if (data == nullptr || (flags & (ImageLockModeRead | ImageLockModeWrite)) == 0) {
        return E_INVALIDARG;
    }
    const RECT area = rect != nullptr ? *rect : RECT{0, 0, pixels_.width, pixels_.height};
    if (area.left < 0 || area.top < 0 || area.left >= area.right || area.top >= area.bottom ||
        area.right > pixels_.width || area.bottom > pixels_.height) {
        return E_INVALIDARG;
    }
    const PixelFormatID format = pixelFormat == PixelFormatDontCare ? format_ : pixelFormat;
    if (!isSupportedFormat(format)) {
        return IMGERR_NOCONVERSION;
    }
    std::lock_guard guard(lock_);
    if (locked_) {
        return IMGERR_OBJECTBUSY;
    }
    auto state = std::make_unique<LockState>(LockState{area, flags, format, {}});
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (!(flags & ImageLockModeUserInputBuf)) {
        data->Stride = strideFor(format, width);
        state->buffer.resize(static_cast<std::size_t>(data->Stride) * height);
        data->Scan0 = state->buffer.data();
    } else if (data->Scan0 == nullptr) {
        return E_INVALIDARG;
    }
    data->Width = static_cast<UINT>(width);
    data->Height = static_cast<UINT>(height);
    data->PixelFormat = format;
    if (flags & ImageLockModeRead) {
        for (int y = 0; y < height; ++y) {
            exportRow(pixels_, area.left, area.top + y, width, format,
                      static_cast<std::uint8_t*>(data->Scan0) +
                          static_cast<std::ptrdiff_t>(y) * data->Stride);
        }
    }
    data->Reserved = reinterpret_cast<UINT_PTR>(state.get());
    locked_ = std::move(state);
    return S_OK;
}

HRESULT Bitmap::UnlockBits(const BitmapData* data) {
    std::lock_guard guard(lock_);
    if (data == nullptr || !locked_ ||
        data->Reserved != reinterpret_cast<UINT_PTR>(locked_.get())) {
        return IMGERR_BADUNLOCK;
    }
    const LockState& state = *locked_;
    if (state.flags & ImageLockModeWrite) {
        const int width = state.area.right - state.area.left;
        for (int y = 0; y < state.area.bottom - state.area.top; ++y) {
            importRow(pixels_, state.area.left, state.area.top + y, width, state.format,
                      static_cast<const std::uint8_t*>(data->Scan0) +
                          static_cast<std::ptrdiff_t>(y) * data->Stride);
        }
        if (!hasAlpha(format_)) {
            for (std::size_t i = 3; i < pixels_.rgba.size(); i += 4) {
                pixels_.rgba[i] = 255;
            }
        }
    }
    locked_.reset();
    return S_OK;
}

HRESULT Bitmap::GetPalette(ColorPalette** palette) {
    if (palette != nullptr) {
        *palette = nullptr;
    }
    return IMGERR_NOPALETTE;
}

HRESULT Bitmap::SetPalette(const ColorPalette* palette) {
    (void)palette;
    return IMGERR_NOPALETTE;
}

} // namespace platform::imaging

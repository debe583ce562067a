#include "imaging/PngEncoder.h"

#include "imaging/PixelFormats.h"
#include "imaging/PngCodec.h"

namespace platform::imaging {

PngEncoder::PngEncoder(std::filesystem::path file) : file_(std::move(file)) {}

HRESULT PngEncoder::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IImageEncoder) {
        AddRef();
        *object = static_cast<IImageEncoder*>(this);
        return S_OK;
    }
    if (iid == IID_IImageSink) {
        AddRef();
        *object = static_cast<IImageSink*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG PngEncoder::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT PngEncoder::InitEncoder(IStream* stream) {
    (void)stream;
    return E_NOTIMPL; // this encoder was made for its file
}

HRESULT PngEncoder::TerminateEncoder() {
    if (terminated_) {
        return S_OK;
    }
    if (!complete_) {
        return IMGERR_NOFRAME;
    }
    terminated_ = true;
    std::vector<std::uint8_t> bytes;
    if (!encodePng(frame_, withAlpha_, bytes) || !replaceFileAtomically(file_, bytes)) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT PngEncoder::GetEncodeSink(IImageSink** sink) {
    if (sink == nullptr) {
        return E_INVALIDARG;
    }
    if (terminated_) {
        *sink = nullptr;
        return E_FAIL;
    }
    AddRef();
    *sink = static_cast<IImageSink*>(this);
    return S_OK;
}

HRESULT PngEncoder::SetFrameDimension(const GUID* dimensionID) {
    return dimensionID != nullptr && *dimensionID == FrameDimensionPage ? S_OK : E_INVALIDARG;
}

HRESULT PngEncoder::GetEncoderParameterListSize(UINT* size) {
    (void)size;
    return E_NOTIMPL;
}

HRESULT PngEncoder::GetEncoderParameterList(UINT size, EncoderParameters* params) {
    (void)size;
    (void)params;
    return E_NOTIMPL;
}

HRESULT PngEncoder::SetEncoderParameters(const EncoderParameters* param) {
    (void)param;
    return E_NOTIMPL;
}

HRESULT PngEncoder::BeginSink(ImageInfo* info, RECT* subarea) {
    if (info == nullptr || info->Width == 0 || info->Height == 0 ||
        std::size_t{info->Width} * info->Height > largestImagePixels) {
        return E_INVALIDARG;
    }
    if (terminated_) {
        return E_FAIL;
    }
    if (!isSupportedFormat(info->PixelFormat)) {
        info->PixelFormat = PixelFormat32bppARGB; // what this sink takes instead
    }
    withAlpha_ = hasAlpha(info->PixelFormat);
    frame_ = RgbaImage(static_cast<int>(info->Width), static_cast<int>(info->Height));
    frame_.xdpi = info->Xdpi;
    frame_.ydpi = info->Ydpi;
    if (subarea != nullptr) {
        *subarea = RECT{0, 0, frame_.width, frame_.height}; // the whole frame is encoded
    }
    begun_ = true;
    complete_ = false;
    return S_OK;
}

HRESULT PngEncoder::EndSink(HRESULT status) {
    if (!begun_) {
        return E_FAIL;
    }
    begun_ = false;
    complete_ = SUCCEEDED(status);
    return S_OK;
}

HRESULT PngEncoder::SetPalette(const ColorPalette* palette) {
    (void)palette;
    return S_OK; // pixels arrive as colours, never as palette indexes
}

HRESULT PngEncoder::checkArea(const RECT* rect, RECT& area) const {
    if (!begun_) {
        return E_FAIL;
    }
    area = rect != nullptr ? *rect : RECT{0, 0, frame_.width, frame_.height};
    if (area.left < 0 || area.top < 0 || area.left >= area.right || area.top >= area.bottom ||
        area.right > frame_.width || area.bottom > frame_.height) {
        return E_INVALIDARG;
    }
    return S_OK;
}

void PngEncoder::store(const RECT& area, const BitmapData& data) {
    for (int y = area.top; y < area.bottom; ++y) {
        importRow(frame_, area.left, y, area.right - area.left, data.PixelFormat,
                  static_cast<const std::uint8_t*>(data.Scan0) +
                      static_cast<std::ptrdiff_t>(y - area.top) * data.Stride);
    }
}

HRESULT PngEncoder::GetPixelDataBuffer(const RECT* rect, PixelFormatID pixelFormat, BOOL lastPass,
                                       BitmapData* bitmapData) {
    (void)lastPass;
    RECT area;
    if (HRESULT valid = checkArea(rect, area); FAILED(valid)) {
        return valid;
    }
    if (bitmapData == nullptr || !isSupportedFormat(pixelFormat)) {
        return E_INVALIDARG;
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    bitmapData->Width = static_cast<UINT>(width);
    bitmapData->Height = static_cast<UINT>(height);
    bitmapData->Stride = strideFor(pixelFormat, width);
    bitmapData->PixelFormat = pixelFormat;
    buffer_.assign(static_cast<std::size_t>(bitmapData->Stride) * height, 0);
    bitmapData->Scan0 = buffer_.data();
    bitmapData->Reserved = 0;
    bufferArea_ = area;
    return S_OK;
}

HRESULT PngEncoder::ReleasePixelDataBuffer(const BitmapData* bitmapData) {
    if (bitmapData == nullptr || buffer_.empty() || bitmapData->Scan0 != buffer_.data()) {
        return E_INVALIDARG;
    }
    store(bufferArea_, *bitmapData);
    buffer_.clear();
    return S_OK;
}

HRESULT PngEncoder::PushPixelData(const RECT* rect, const BitmapData* bitmapData, BOOL lastPass) {
    (void)lastPass;
    RECT area;
    if (HRESULT valid = checkArea(rect, area); FAILED(valid)) {
        return valid;
    }
    if (bitmapData == nullptr || bitmapData->Scan0 == nullptr ||
        !isSupportedFormat(bitmapData->PixelFormat) ||
        bitmapData->Width != static_cast<UINT>(area.right - area.left) ||
        bitmapData->Height != static_cast<UINT>(area.bottom - area.top)) {
        return E_INVALIDARG;
    }
    store(area, *bitmapData);
    return S_OK;
}

HRESULT PngEncoder::PushRawData(const void* buffer, UINT bufferSize) {
    (void)buffer;
    (void)bufferSize;
    return E_NOTIMPL; // this sink takes pixels, not encoded data
}

HRESULT PngEncoder::GetPropertyBuffer(UINT totalBufferSize, PropertyItem** propertyBuffer) {
    (void)totalBufferSize;
    if (propertyBuffer != nullptr) {
        *propertyBuffer = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT PngEncoder::PushPropertyItems(UINT numOfProperties, UINT totalBufferSize,
                                      PropertyItem* allItems) {
    (void)numOfProperties;
    (void)totalBufferSize;
    (void)allItems;
    return E_NOTIMPL;
}

} // namespace platform::imaging

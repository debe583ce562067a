// The Imaging factory (CoCreateInstance of CLSID_ImagingFactory): images from PNG files, new
// and rescaled bitmaps, and the one installed encoder, PNG.
#include "imaging.h"
#include "imaging/Images.h"
#include "imaging/PixelFormats.h"
#include "imaging/PngCodec.h"
#include "imaging/PngEncoder.h"
#include "imaging/Resample.h"
#include "kernel/Paths.h"

#include <atomic>
#include <cstring>
#include <cwchar>
#include <new>

namespace platform::imaging {
namespace {

struct CodecText {
    const WCHAR* name = L"Built-in PNG Codec";
    const WCHAR* description = L"PNG";
    const WCHAR* extension = L"*.PNG";
    const WCHAR* mime = L"image/png";
};

constexpr BYTE pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr BYTE fullMask[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The encoder list as one block of task memory: the record, then its texts and signature, so
// that one CoTaskMemFree releases everything.
ImageCodecInfo* makeEncoderList() {
    const CodecText text;
    const WCHAR* texts[] = {text.name, text.description, text.extension, text.mime};
    std::size_t size = sizeof(ImageCodecInfo) + sizeof pngSignature + sizeof fullMask;
    for (const WCHAR* t : texts) {
        size += (std::wcslen(t) + 1) * sizeof(WCHAR);
    }
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (block == nullptr) {
        return nullptr;
    }
    auto* info = new (block) ImageCodecInfo{};
    BYTE* next = block + sizeof(ImageCodecInfo);
    auto place = [&](const WCHAR* t) {
        const std::size_t bytes = (std::wcslen(t) + 1) * sizeof(WCHAR);
        std::memcpy(next, t, bytes);
        const auto* placed = reinterpret_cast<const WCHAR*>(next);
        next += bytes;
        return placed;
    };
    info->Clsid = pngEncoderClsid;
    info->FormatID = ImageFormatPNG;
    info->CodecName = place(text.name);
    info->DllName = nullptr;
    info->FormatDescription = place(text.description);
    info->FilenameExtension = place(text.extension);
    info->MimeType = place(text.mime);
    info->Flags = ImageCodecFlagsEncoder | ImageCodecFlagsSupportBitmap | ImageCodecFlagsBuiltin;
    info->Version = 1;
    info->SigCount = 1;
    info->SigSize = sizeof pngSignature;
    std::memcpy(next, pngSignature, sizeof pngSignature);
    info->SigPattern = next;
    next += sizeof pngSignature;
    std::memcpy(next, fullMask, sizeof fullMask);
    info->SigMask = next;
    return info;
}

class ImagingFactory final : public IImagingFactory {
public:
    virtual ~ImagingFactory() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == IID_IImagingFactory) {
            AddRef();
            *object = static_cast<IImagingFactory*>(this);
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

    HRESULT STDMETHODCALLTYPE CreateImageFromStream(IStream*, IImage** image) override {
        return notImplemented(image);
    }

    HRESULT STDMETHODCALLTYPE CreateImageFromFile(const WCHAR* filename, IImage** image) override {
        if (image == nullptr || filename == nullptr) {
            return E_INVALIDARG;
        }
        *image = nullptr;
        DecodedPng decoded;
        if (HRESULT result = decodePngFile(paths::toHost(filename), decoded); FAILED(result)) {
            return result;
        }
        auto* created = new (std::nothrow) DecodedImage(std::move(decoded.image), decoded.hasAlpha);
        if (created == nullptr) {
            return E_OUTOFMEMORY;
        }
        *image = created;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CreateImageFromBuffer(const void*, UINT, BufferDisposalFlag,
                                                    IImage** image) override {
        return notImplemented(image);
    }

    HRESULT STDMETHODCALLTYPE CreateNewBitmap(UINT width, UINT height, PixelFormatID pixelFormat,
                                              IBitmapImage** bitmap) override {
        if (bitmap == nullptr) {
            return E_INVALIDARG;
        }
        *bitmap = nullptr;
        if (HRESULT valid = checkSize(width, height); FAILED(valid)) {
            return valid;
        }
        if (!isSupportedFormat(pixelFormat)) {
            return IMGERR_NOCONVERSION;
        }
        return make(RgbaImage(static_cast<int>(width), static_cast<int>(height)), pixelFormat,
                    bitmap);
    }

    HRESULT STDMETHODCALLTYPE CreateBitmapFromImage(IImage* image, UINT width, UINT height,
                                                    PixelFormatID pixelFormat,
                                                    InterpolationHint hints,
                                                    IBitmapImage** bitmap) override {
        if (bitmap == nullptr || image == nullptr) {
            return E_INVALIDARG;
        }
        *bitmap = nullptr;
        auto* source = dynamic_cast<ImageObject*>(image);
        if (source == nullptr) {
            return E_NOTIMPL;
        }
        const RgbaImage& pixels = source->pixels();
        width = width == 0 ? static_cast<UINT>(pixels.width) : width; // 0: the image's own size
        height = height == 0 ? static_cast<UINT>(pixels.height) : height;
        if (HRESULT valid = checkSize(width, height); FAILED(valid)) {
            return valid;
        }
        const PixelFormatID format =
            pixelFormat == PixelFormatDontCare ? source->info().PixelFormat : pixelFormat;
        if (!isSupportedFormat(format)) {
            return IMGERR_NOCONVERSION;
        }
        RgbaImage scaled =
            static_cast<int>(width) == pixels.width && static_cast<int>(height) == pixels.height
                ? pixels
                : resample(pixels, static_cast<int>(width), static_cast<int>(height), hints);
        scaled.xdpi = pixels.xdpi;
        scaled.ydpi = pixels.ydpi;
        scaled.realDpi = pixels.realDpi;
        return make(std::move(scaled), format, bitmap);
    }

    HRESULT STDMETHODCALLTYPE CreateBitmapFromBuffer(BitmapData*, IBitmapImage** bitmap) override {
        return notImplemented(bitmap);
    }
    HRESULT STDMETHODCALLTYPE CreateImageDecoder(IStream*, DecoderInitFlag,
                                                 IImageDecoder** decoder) override {
        return notImplemented(decoder);
    }
    HRESULT STDMETHODCALLTYPE CreateImageEncoderToStream(const CLSID*, IStream*,
                                                         IImageEncoder** encoder) override {
        return notImplemented(encoder);
    }

    HRESULT STDMETHODCALLTYPE CreateImageEncoderToFile(const CLSID* clsid, const WCHAR* filename,
                                                       IImageEncoder** encoder) override {
        if (encoder == nullptr || clsid == nullptr || filename == nullptr) {
            return E_INVALIDARG;
        }
        *encoder = nullptr;
        if (!(*clsid == pngEncoderClsid)) {
            return IMGERR_CODECNOTFOUND;
        }
        auto* created = new (std::nothrow) PngEncoder(paths::toHost(filename));
        if (created == nullptr) {
            return E_OUTOFMEMORY;
        }
        *encoder = created;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetInstalledDecoders(UINT* count,
                                                   ImageCodecInfo** decoders) override {
        if (count != nullptr) {
            *count = 0;
        }
        return notImplemented(decoders);
    }

    HRESULT STDMETHODCALLTYPE GetInstalledEncoders(UINT* count,
                                                   ImageCodecInfo** encoders) override {
        if (count == nullptr || encoders == nullptr) {
            return E_INVALIDARG;
        }
        *count = 0;
        *encoders = makeEncoderList();
        if (*encoders == nullptr) {
            return E_OUTOFMEMORY;
        }
        *count = 1;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE InstallImageCodec(const ImageCodecInfo*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UninstallImageCodec(const WCHAR*, UINT) override { return E_NOTIMPL; }

private:
    template <class T>
    static HRESULT notImplemented(T** out) {
        if (out != nullptr) {
            *out = nullptr;
        }
        return E_NOTIMPL;
    }

    static HRESULT checkSize(UINT width, UINT height) {
        if (width == 0 || height == 0) {
            return E_INVALIDARG;
        }
        if (std::size_t{width} * height > largestImagePixels) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    static HRESULT make(RgbaImage pixels, PixelFormatID format, IBitmapImage** bitmap) {
        auto* created = new (std::nothrow) Bitmap(std::move(pixels), format);
        if (created == nullptr) {
            return E_OUTOFMEMORY;
        }
        *bitmap = created;
        return S_OK;
    }

    std::atomic<ULONG> references_{1};
};

} // namespace

IImagingFactory* createImagingFactory() {
    return new (std::nothrow) ImagingFactory;
}

} // namespace platform::imaging

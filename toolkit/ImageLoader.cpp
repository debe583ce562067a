#include "ImageLoader.h"

#include "DisplayFrame.h"
#include "FatalExit.h"
#include "ResourceManager.h"
#include "TraceFailure.h"
#include "Tunables.h"

#include <objbase.h>

#include <utility>

namespace {

constexpr GUID kImagingFactoryClass = {
    0x327ABDA8, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID kImagingFactoryInterface = {
    0x327ABDA7, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID kImageInterface = {
    0x327ABDA9, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID kPngFormat = {
    0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// Owns one reference to a COM-style object.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T** out() {
        reset();
        return &object_;
    }
    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    T* release() { return std::exchange(object_, nullptr); }
    void reset() {
        if (object_ != nullptr) {
            std::exchange(object_, nullptr)->Release();
        }
    }

private:
    T* object_ = nullptr;
};

struct KnownCode {
    HRESULT code;
    const wchar_t* name;
};

constexpr KnownCode kKnownCodes[] = {
    {static_cast<HRESULT>(0x8000000A), L"E_PENDING"},
    {static_cast<HRESULT>(0x80004001), L"E_NOTIMPL"},
    {static_cast<HRESULT>(0x80070005), L"E_ACCESSDENIED"},
    {static_cast<HRESULT>(0x8007000E), L"E_OUTOFMEMORY"},
    {static_cast<HRESULT>(0x80070057), L"E_INVALIDARG"},
    {static_cast<HRESULT>(0x887B0001), L"IMGERR_OBJECTBUSY"},
    {static_cast<HRESULT>(0x887B0002), L"IMGERR_NOPALETTE"},
    {static_cast<HRESULT>(0x887B0003), L"IMGERR_BADLOCK"},
    {static_cast<HRESULT>(0x887B0004), L"IMGERR_BADUNLOCK"},
    {static_cast<HRESULT>(0x887B0005), L"IMGERR_NOCONVERSION"},
    {static_cast<HRESULT>(0x887B0006), L"IMGERR_CODECNOTFOUND"},
    {static_cast<HRESULT>(0x887B0007), L"IMGERR_NOFRAME"},
    {static_cast<HRESULT>(0x887B0008), L"IMGERR_ABORT"},
    {static_cast<HRESULT>(0x887B0009), L"IMGERR_FAILLOADCODEC"},
    {static_cast<HRESULT>(0x887B000A), L"IMGERR_PROPERTYNOTFOUND"},
    {static_cast<HRESULT>(0x887B000B), L"IMGERR_PROPERTYNOTSUPPORTED"},
};

void ensureFactory() {
    if (imagingFactory == nullptr) {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoCreateInstance(kImagingFactoryClass, nullptr, CLSCTX_INPROC_SERVER,
                         kImagingFactoryInterface, reinterpret_cast<void**>(&imagingFactory));
    }
}

void showImageNotFound(const std::wstring& path) {
    const std::wstring text =
        std::wstring(L"Image not found!\r\nPlease contact : ") + supportAddress;
    MessageBoxW(mainWindow, text.c_str(), pathTail(path).c_str(), MB_ICONEXCLAMATION);
}

// The image in the file, or null after the "Image not found!" box.
IImage* openImage(const std::wstring& path) {
    ensureFactory();
    IImage* image = nullptr;
    if (imagingFactory != nullptr) {
        imagingFactory->CreateImageFromFile(path.c_str(), &image);
    }
    if (image == nullptr) {
        showImageNotFound(path);
    }
    return image;
}

void drawOverBackground(IDirectDrawSurface* surface, IImage* image, const ImageInfo& info,
                        const std::wstring& path) {
    colourFill(surface, nullptr, tunables::backgroundColour);
    HDC dc = nullptr;
    const HRESULT hr = surface->GetDC(&dc);
    if (FAILED(hr)) {
        traceFailure(hr, L"loadImage GetDC(&hdc);");
        return;
    }
    RECT whole{0, 0, static_cast<LONG>(info.Width), static_cast<LONG>(info.Height)};
    const HRESULT drawn = image->Draw(dc, &whole, nullptr);
    if (drawn != S_OK) {
        reportImagingError(drawn, pathTail(path));
    }
    surface->ReleaseDC(dc);
}

UINT scaledSide(UINT side) {
    return static_cast<UINT>(side * scaleFactor);
}

// The PNG encoder's class among the installed encoders, if there is one.
bool findPngEncoder(CLSID& encoder) {
    UINT count = 0;
    ImageCodecInfo* codecs = nullptr;
    if (FAILED(imagingFactory->GetInstalledEncoders(&count, &codecs)) || codecs == nullptr) {
        return false;
    }
    bool found = false;
    for (UINT i = 0; i < count && !found; ++i) {
        if (codecs[i].FormatID == kPngFormat) {
            encoder = codecs[i].Clsid;
            found = true;
        }
    }
    CoTaskMemFree(codecs);
    return found;
}

// Each failing step is reported under its own name; the first failure ends the encoding.
bool checked(HRESULT hr, const wchar_t* step) {
    if (FAILED(hr)) {
        reportImagingError(hr, step);
        return false;
    }
    return true;
}

void encodePng(const CLSID& encoderClass, IImage* bitmapImage, ImageInfo& info,
               const std::wstring& destination) {
    ComRef<IImageEncoder> encoder;
    ComRef<IImageSink> sink;
    if (!checked(imagingFactory->CreateImageEncoderToFile(&encoderClass, destination.c_str(),
                                                          encoder.out()),
                 L"CreateImageEncoderToFile") ||
        !checked(encoder->GetEncodeSink(sink.out()), L"GetEncodeSink") ||
        !checked(sink->BeginSink(&info, nullptr), L"BeginSink") ||
        !checked(bitmapImage->PushIntoSink(sink.get()), L"PushIntoSink")) {
        return;
    }
    encoder->TerminateEncoder();
}

} // namespace

std::wstring pathTail(const std::wstring& path) {
    return path.size() <= tunables::pathTailChars
               ? path
               : path.substr(path.size() - tunables::pathTailChars);
}

IDirectDrawSurface* loadImage(const std::wstring& path) {
    ComRef<IImage> image;
    *image.out() = openImage(path);
    IDirectDrawSurface* surface = nullptr;
    if (!image) {
        createDisplaySurface(tunables::placeholderImagePx, tunables::placeholderImagePx, 0,
                             &surface);
        return surface;
    }
    ImageInfo info{};
    image->GetImageInfo(&info);
    if (FAILED(createDisplaySurface(info.Width, info.Height, 0, &surface))) {
        return nullptr;
    }
    drawOverBackground(surface, image.get(), info, path);
    return surface;
}

IImage* loadImageObject(const std::wstring& path) {
    if (IImage* image = openImage(path)) {
        return image;
    }
    if (imagingFactory == nullptr) {
        return nullptr;
    }
    ComRef<IBitmapImage> bitmap;
    imagingFactory->CreateNewBitmap(tunables::placeholderImagePx, tunables::placeholderImagePx,
                                    PixelFormat16bppRGB565, bitmap.out());
    IImage* placeholder = nullptr;
    if (bitmap) {
        bitmap->QueryInterface(kImageInterface, reinterpret_cast<void**>(&placeholder));
    }
    return placeholder;
}

void rescaleImageFile(const std::wstring& path) {
    rescaleImageFileTo(path, path);
}

void rescaleImageFileTo(const std::wstring& source, const std::wstring& destination) {
    ComRef<IBitmapImage> bitmap;
    ImageInfo info{};
    {
        ComRef<IImage> image;
        *image.out() = openImage(source);
        if (!image) {
            return;
        }
        image->GetImageInfo(&info);
        imagingFactory->CreateBitmapFromImage(image.get(), scaledSide(info.Width),
                                              scaledSide(info.Height), info.PixelFormat,
                                              InterpolationHintBicubic, bitmap.out());
    } // the decoded image is released here, so the file is no longer in use
    if (!bitmap) {
        return;
    }
    ComRef<IImage> bitmapImage;
    if (FAILED(
            bitmap->QueryInterface(kImageInterface, reinterpret_cast<void**>(bitmapImage.out())))) {
        return;
    }
    ImageInfo scaledInfo{};
    bitmapImage->GetImageInfo(&scaledInfo);
    CLSID encoderClass{};
    if (findPngEncoder(encoderClass)) {
        encodePng(encoderClass, bitmapImage.get(), scaledInfo, destination);
    }
}

const wchar_t* imagingErrorName(HRESULT code) {
    for (const KnownCode& known : kKnownCodes) {
        if (known.code == code) {
            return known.name;
        }
    }
    return nullptr;
}

void reportImagingError(HRESULT code, const std::wstring& context) {
    const wchar_t* name = imagingErrorName(code);
    if (name == nullptr) {
        return;
    }
    MessageBoxW(mainWindow, name, context.c_str(), MB_ICONEXCLAMATION);
    exitAfterFatalMessage();
}

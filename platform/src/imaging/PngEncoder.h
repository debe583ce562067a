// The PNG encoder: an image encoder writing one file, and the sink that collects the frame's
// pixels. The file is written by TerminateEncoder, whole and atomically, and only when a frame
// was completed (BeginSink, pixels, EndSink with success).
#pragma once

#include "imaging.h"
#include "imaging/RgbaImage.h"

#include <atomic>
#include <filesystem>
#include <vector>

namespace platform::imaging {

// {557CF406-1A04-11D3-9A73-0000F81EF32E}
inline constexpr CLSID pngEncoderClsid = {
    0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

class PngEncoder final : public IImageEncoder, public IImageSink {
public:
    explicit PngEncoder(std::filesystem::path file);
    virtual ~PngEncoder() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE InitEncoder(IStream* stream) override;
    HRESULT STDMETHODCALLTYPE TerminateEncoder() override;
    HRESULT STDMETHODCALLTYPE GetEncodeSink(IImageSink** sink) override;
    HRESULT STDMETHODCALLTYPE SetFrameDimension(const GUID* dimensionID) override;
    HRESULT STDMETHODCALLTYPE GetEncoderParameterListSize(UINT* size) override;
    HRESULT STDMETHODCALLTYPE GetEncoderParameterList(UINT size,
                                                      EncoderParameters* params) override;
    HRESULT STDMETHODCALLTYPE SetEncoderParameters(const EncoderParameters* param) override;

    HRESULT STDMETHODCALLTYPE BeginSink(ImageInfo* info, RECT* subarea) override;
    HRESULT STDMETHODCALLTYPE EndSink(HRESULT status) override;
    HRESULT STDMETHODCALLTYPE SetPalette(const ColorPalette* palette) override;
    HRESULT STDMETHODCALLTYPE GetPixelDataBuffer(const RECT* rect, PixelFormatID pixelFormat,
                                                 BOOL lastPass, BitmapData* bitmapData) override;
    HRESULT STDMETHODCALLTYPE ReleasePixelDataBuffer(const BitmapData* bitmapData) override;
    HRESULT STDMETHODCALLTYPE PushPixelData(const RECT* rect, const BitmapData* bitmapData,
                                            BOOL lastPass) override;
    HRESULT STDMETHODCALLTYPE PushRawData(const void* buffer, UINT bufferSize) override;
    HRESULT STDMETHODCALLTYPE GetPropertyBuffer(UINT totalBufferSize,
                                                PropertyItem** propertyBuffer) override;
    HRESULT STDMETHODCALLTYPE PushPropertyItems(UINT numOfProperties, UINT totalBufferSize,
                                                PropertyItem* allItems) override;

private:
    HRESULT checkArea(const RECT* rect, RECT& area) const;
    void store(const RECT& area, const BitmapData& data);

    std::atomic<ULONG> references_{1};
    std::filesystem::path file_;
    RgbaImage frame_;
    bool withAlpha_ = false;
    bool begun_ = false;
    bool complete_ = false;
    bool terminated_ = false;
    RECT bufferArea_{};
    std::vector<std::uint8_t> buffer_; // handed out by GetPixelDataBuffer
};

} // namespace platform::imaging

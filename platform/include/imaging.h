// The Imaging API of Windows Mobile: a COM-style factory that decodes PNG files into image
// objects, draws them onto device contexts with alpha blending and stretching, rescales them into
// bitmaps and encodes bitmaps into PNG files. Interfaces follow the platform's method order.
#pragma once

#include "objbase.h"
#include "wintypes.h"

struct IStream;
struct IImageDecoder;
struct IImageSink;
struct IImageEncoder;
struct IImage;
struct IBitmapImage;

using PixelFormatID = INT;
using ARGB = DWORD;
using PROPID = ULONG;

#define PixelFormatDontCare 0x00000000
#define PixelFormat16bppRGB555 0x00021005
#define PixelFormat16bppRGB565 0x00021006
#define PixelFormat24bppRGB 0x00021808
#define PixelFormat32bppRGB 0x00022009
#define PixelFormat32bppARGB 0x0026200A
#define PixelFormat32bppPARGB 0x000E200B

// Imaging errors (facility 0x87B).
#define IMGERR_OBJECTBUSY static_cast<HRESULT>(0x887B0001L)
#define IMGERR_NOPALETTE static_cast<HRESULT>(0x887B0002L)
#define IMGERR_BADLOCK static_cast<HRESULT>(0x887B0003L)
#define IMGERR_BADUNLOCK static_cast<HRESULT>(0x887B0004L)
#define IMGERR_NOCONVERSION static_cast<HRESULT>(0x887B0005L)
#define IMGERR_CODECNOTFOUND static_cast<HRESULT>(0x887B0006L)
#define IMGERR_NOFRAME static_cast<HRESULT>(0x887B0007L)
#define IMGERR_ABORT static_cast<HRESULT>(0x887B0008L)
#define IMGERR_FAILLOADCODEC static_cast<HRESULT>(0x887B0009L)
#define IMGERR_PROPERTYNOTFOUND static_cast<HRESULT>(0x887B000AL)
#define IMGERR_PROPERTYNOTSUPPORTED static_cast<HRESULT>(0x887B000BL)

enum InterpolationHint {
    InterpolationHintDefault = 0,
    InterpolationHintNearestNeighbor = 1,
    InterpolationHintBilinear = 2,
    InterpolationHintAveraging = 3,
    InterpolationHintBicubic = 4,
};

enum BufferDisposalFlag {
    BufferDisposalFlagNone = 0,
    BufferDisposalFlagGlobalFree = 1,
    BufferDisposalFlagCoTaskMemFree = 2,
    BufferDisposalFlagUnmapView = 3,
};

enum DecoderInitFlag {
    DecoderInitFlagNone = 0,
    DecoderInitFlagNoBlock = 1,
    DecoderInitFlagBuiltIn1st = 2,
};

enum ImageFlags {
    ImageFlagsNone = 0,
    ImageFlagsScalable = 0x0001,
    ImageFlagsHasAlpha = 0x0002,
    ImageFlagsHasTranslucent = 0x0004,
    ImageFlagsPartiallyScalable = 0x0008,
    ImageFlagsColorSpaceRGB = 0x0010,
    ImageFlagsColorSpaceGRAY = 0x0040,
    ImageFlagsHasRealDPI = 0x1000,
    ImageFlagsHasRealPixelSize = 0x2000,
    ImageFlagsReadOnly = 0x00010000,
    ImageFlagsCaching = 0x00020000,
};

enum ImageLockMode {
    ImageLockModeRead = 0x0001,
    ImageLockModeWrite = 0x0002,
    ImageLockModeUserInputBuf = 0x0004,
};

enum ImageCodecFlags {
    ImageCodecFlagsEncoder = 0x00000001,
    ImageCodecFlagsDecoder = 0x00000002,
    ImageCodecFlagsSupportBitmap = 0x00000004,
    ImageCodecFlagsSupportVector = 0x00000008,
    ImageCodecFlagsSeekableEncode = 0x00000010,
    ImageCodecFlagsBlockingDecode = 0x00000020,
    ImageCodecFlagsBuiltin = 0x00010000,
    ImageCodecFlagsSystem = 0x00020000,
    ImageCodecFlagsUser = 0x00040000,
};

struct ImageInfo {
    GUID RawDataFormat;
    PixelFormatID PixelFormat;
    UINT Width;
    UINT Height;
    UINT TileWidth;
    UINT TileHeight;
    double Xdpi;
    double Ydpi;
    UINT Flags;
};

struct BitmapData {
    UINT Width;
    UINT Height;
    LONG Stride; // bytes per row
    PixelFormatID PixelFormat;
    void* Scan0;
    UINT_PTR Reserved;
};

struct ColorPalette {
    UINT Flags;
    UINT Count;
    ARGB Entries[1];
};

struct ImageCodecInfo {
    CLSID Clsid;
    GUID FormatID;
    const WCHAR* CodecName;
    const WCHAR* DllName;
    const WCHAR* FormatDescription;
    const WCHAR* FilenameExtension;
    const WCHAR* MimeType;
    DWORD Flags;
    DWORD Version;
    DWORD SigCount;
    DWORD SigSize;
    const BYTE* SigPattern;
    const BYTE* SigMask;
};

struct EncoderParameter {
    GUID Guid;
    ULONG NumberOfValues;
    ULONG Type;
    void* Value;
};

struct EncoderParameters {
    UINT Count;
    EncoderParameter Parameter[1];
};

struct PropertyItem {
    PROPID id;
    ULONG length;
    WORD type;
    void* value;
};

// {327ABDA7-072B-11D3-9D7B-0000F81EF32E}
inline constexpr IID IID_IImagingFactory = {
    0x327ABDA7, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
// {327ABDA8-072B-11D3-9D7B-0000F81EF32E}
inline constexpr CLSID CLSID_ImagingFactory = {
    0x327ABDA8, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
// {327ABDA9-072B-11D3-9D7B-0000F81EF32E}
inline constexpr IID IID_IImage = {
    0x327ABDA9, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
// {327ABDAA-072B-11D3-9D7B-0000F81EF32E}
inline constexpr IID IID_IBitmapImage = {
    0x327ABDAA, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
// {327ABDAC-072B-11D3-9D7B-0000F81EF32E}
inline constexpr IID IID_IImageEncoder = {
    0x327ABDAC, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
// {327ABDAE-072B-11D3-9D7B-0000F81EF32E}
inline constexpr IID IID_IImageSink = {
    0x327ABDAE, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
// {B96B3CAA-0728-11D3-9D7B-0000F81EF32E}
inline constexpr GUID ImageFormatMemoryBMP = {
    0xB96B3CAA, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
// {B96B3CAF-0728-11D3-9D7B-0000F81EF32E}
inline constexpr GUID ImageFormatPNG = {
    0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
// {7462DC86-6180-4C7E-8E3F-EE7333A7A483}
inline constexpr GUID FrameDimensionPage = {
    0x7462DC86, 0x6180, 0x4C7E, {0x8E, 0x3F, 0xEE, 0x73, 0x33, 0xA7, 0xA4, 0x83}};

struct IImageSink : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BeginSink(ImageInfo* info, RECT* subarea) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndSink(HRESULT status) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPalette(const ColorPalette* palette) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPixelDataBuffer(const RECT* rect,
                                                         PixelFormatID pixelFormat, BOOL lastPass,
                                                         BitmapData* bitmapData) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReleasePixelDataBuffer(const BitmapData* bitmapData) = 0;
    virtual HRESULT STDMETHODCALLTYPE PushPixelData(const RECT* rect, const BitmapData* bitmapData,
                                                    BOOL lastPass) = 0;
    virtual HRESULT STDMETHODCALLTYPE PushRawData(const void* buffer, UINT bufferSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyBuffer(UINT totalBufferSize,
                                                        PropertyItem** propertyBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE PushPropertyItems(UINT numOfProperties, UINT totalBufferSize,
                                                        PropertyItem* allItems) = 0;

protected:
    ~IImageSink() = default;
};

struct IImage : IUnknown {
    // Size in units of 0.01 mm.
    virtual HRESULT STDMETHODCALLTYPE GetPhysicalDimension(SIZE* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImageInfo(ImageInfo* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetImageFlags(UINT flags) = 0;
    // Draws the image (or `srcRect` of it, in units of 0.01 mm) into `dstRect` of `dc`.
    virtual HRESULT STDMETHODCALLTYPE Draw(HDC dc, const RECT* dstRect, const RECT* srcRect) = 0;
    virtual HRESULT STDMETHODCALLTYPE PushIntoSink(IImageSink* sink) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetThumbnail(UINT width, UINT height, IImage** image) = 0;

protected:
    ~IImage() = default;
};

struct IBitmapImage : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSize(SIZE* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPixelFormatID(PixelFormatID* pixelFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockBits(const RECT* rect, UINT flags,
                                               PixelFormatID pixelFormat,
                                               BitmapData* lockedBitmapData) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnlockBits(const BitmapData* lockedBitmapData) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPalette(ColorPalette** palette) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPalette(const ColorPalette* palette) = 0;

protected:
    ~IBitmapImage() = default;
};

struct IImageEncoder : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE InitEncoder(IStream* stream) = 0;
    // Finishes the file: written whole, or not at all.
    virtual HRESULT STDMETHODCALLTYPE TerminateEncoder() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEncodeSink(IImageSink** sink) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFrameDimension(const GUID* dimensionID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEncoderParameterListSize(UINT* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEncoderParameterList(UINT size,
                                                              EncoderParameters* params) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEncoderParameters(const EncoderParameters* param) = 0;

protected:
    ~IImageEncoder() = default;
};

struct IImagingFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateImageFromStream(IStream* stream, IImage** image) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateImageFromFile(const WCHAR* filename,
                                                          IImage** image) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateImageFromBuffer(const void* buffer, UINT size,
                                                            BufferDisposalFlag disposalFlag,
                                                            IImage** image) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateNewBitmap(UINT width, UINT height,
                                                      PixelFormatID pixelFormat,
                                                      IBitmapImage** bitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmapFromImage(IImage* image, UINT width, UINT height,
                                                            PixelFormatID pixelFormat,
                                                            InterpolationHint hints,
                                                            IBitmapImage** bitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmapFromBuffer(BitmapData* bitmapData,
                                                             IBitmapImage** bitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateImageDecoder(IStream* stream, DecoderInitFlag flags,
                                                         IImageDecoder** decoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateImageEncoderToStream(const CLSID* clsid,
                                                                 IStream* stream,
                                                                 IImageEncoder** encoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateImageEncoderToFile(const CLSID* clsid,
                                                               const WCHAR* filename,
                                                               IImageEncoder** encoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInstalledDecoders(UINT* count,
                                                           ImageCodecInfo** decoders) = 0;
    // `*encoders` is one block: free it with CoTaskMemFree.
    virtual HRESULT STDMETHODCALLTYPE GetInstalledEncoders(UINT* count,
                                                           ImageCodecInfo** encoders) = 0;
    virtual HRESULT STDMETHODCALLTYPE InstallImageCodec(const ImageCodecInfo* codecInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE UninstallImageCodec(const WCHAR* codecName, UINT flags) = 0;

protected:
    ~IImagingFactory() = default;
};

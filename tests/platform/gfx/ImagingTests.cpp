// The Imaging API: decoding PNG files (and refusing bad ones), image information, drawing with
// alpha blending and stretching onto RGB565, bicubic rescaling and the PNG encoder.
#include "support/Gfx.h"

#include <zlib.h>

#include <cmath>
#include <tuple>

using namespace gfxtest;

namespace {

constexpr std::uint16_t toolkitGrey = 0xEF5D;
using Bytes = std::vector<std::uint8_t>;
using Ints = std::vector<int>;

class ImagingTest : public ::testing::Test {
protected:
    platform::ScopedTestDevice device{480, 640, 192};
    ComPtr<IImagingFactory> factory = [] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IImagingFactory* made = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IImagingFactory, reinterpret_cast<void**>(&made)),
                  S_OK);
        return ComPtr<IImagingFactory>(made);
    }();
    // Files are named by device paths, as the program names them.
    std::filesystem::path folder = platform::paths::toHost(L"\\images");

    void SetUp() override { std::filesystem::create_directories(folder); }

    std::wstring path(const char* name) { return L"\\images\\" + platform::paths::widen(name); }

    ComPtr<IImage> load(const char* name, HRESULT expected = S_OK) {
        IImage* image = nullptr;
        EXPECT_EQ(factory->CreateImageFromFile(path(name).c_str(), &image), expected) << name;
        return ComPtr<IImage>(image);
    }
    ComPtr<IBitmapImage> rescaled(const char* name, int width, int height, PixelFormatID format,
                                  InterpolationHint hint) {
        IBitmapImage* bitmap = nullptr;
        EXPECT_EQ(
            factory->CreateBitmapFromImage(load(name).get(), width, height, format, hint, &bitmap),
            S_OK);
        return ComPtr<IBitmapImage>(bitmap);
    }
    // An encoder to `name` made with the one installed encoder's class.
    ComPtr<IImageEncoder> pngEncoder(const char* name) {
        UINT count = 0;
        ImageCodecInfo* encoders = nullptr;
        EXPECT_EQ(factory->GetInstalledEncoders(&count, &encoders), S_OK);
        EXPECT_EQ(count, 1u);
        EXPECT_STREQ(encoders[0].MimeType, L"image/png");
        const ImageCodecInfo& png = encoders[0];
        EXPECT_EQ(std::tuple(png.SigCount, png.SigSize), std::tuple(1u, 8u));
        EXPECT_EQ(Bytes(png.SigPattern, png.SigPattern + 8),
                  (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
        EXPECT_EQ(Bytes(png.SigMask, png.SigMask + 8), Bytes(8, 0xFF));
        IImageEncoder* encoder = nullptr;
        EXPECT_EQ(
            factory->CreateImageEncoderToFile(&encoders[0].Clsid, path(name).c_str(), &encoder),
            S_OK);
        CoTaskMemFree(encoders);
        return ComPtr<IImageEncoder>(encoder);
    }
};

// The image drawn over the whole of a `width` x `height` buffer of `background`.
Pixels drawn(IUnknown& object, int width, int height, std::uint16_t background = 0) {
    IImage* image = nullptr;
    EXPECT_EQ(object.QueryInterface(IID_IImage, reinterpret_cast<void**>(&image)), S_OK);
    BufferCanvas canvas(width, height, background);
    RECT dest{0, 0, width, height};
    EXPECT_EQ(image->Draw(canvas.dc, &dest, nullptr), S_OK);
    image->Release();
    return canvas.pixels;
}

// The `size` bytes of pixel (x, y) of `bitmap` read in `format`.
Ints pixelBytes(IBitmapImage& bitmap, PixelFormatID format, int x, int y, int size = 4) {
    BitmapData data{};
    EXPECT_EQ(bitmap.LockBits(nullptr, ImageLockModeRead, format, &data), S_OK);
    const auto* p = static_cast<const std::uint8_t*>(data.Scan0) + y * data.Stride + x * size;
    const Ints bytes(p, p + size);
    EXPECT_EQ(bitmap.UnlockBits(&data), S_OK);
    EXPECT_EQ(bitmap.UnlockBits(&data), IMGERR_BADUNLOCK);
    return bytes;
}

// A pHYs chunk of `dpi` inserted after the IHDR chunk.
Bytes withResolution(Bytes png, double dpi) {
    const auto perMetre = static_cast<std::uint32_t>(dpi / 0.0254 + 0.5);
    Bytes chunk = {0, 0, 0, 9, 'p', 'H', 'Y', 's'};
    const auto append = [&chunk](std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            chunk.push_back(static_cast<std::uint8_t>(value >> shift));
    };
    append(perMetre);
    append(perMetre);
    chunk.push_back(1);
    append(static_cast<std::uint32_t>(crc32(0, chunk.data() + 4, 13)));
    png.insert(png.begin() + 33, chunk.begin(), chunk.end());
    return png;
}

TEST_F(ImagingTest, ImageInformationComesFromTheFile) {
    writePng(folder / "alpha.png", 3, 2, Bytes(3 * 2 * 4, 128), true);
    writePng(folder / "cutout.png", 3, 1, {255, 0, 0, 255, 9, 9, 9, 0, 9, 9, 9, 255}, true);
    // 1920 dpi is 75591 pixels a metre: its second byte counts too.
    const Bytes marked =
        withResolution(writePng(folder / "tmp.png", 40, 5, Bytes(40 * 5 * 3, 9), false), 1920.0);
    writeBytes(folder / "plain.png", std::string(marked.begin(), marked.end()));
    ImageInfo info{};
    ASSERT_EQ(load("alpha.png")->GetImageInfo(&info), S_OK);
    EXPECT_EQ(std::tuple(info.Width, info.Height, info.PixelFormat, info.Xdpi),
              std::tuple(3u, 2u, PixelFormat32bppARGB, 96.0));
    EXPECT_TRUE(info.RawDataFormat == ImageFormatPNG);
    EXPECT_EQ(info.Flags & (ImageFlagsHasAlpha | ImageFlagsHasTranslucent),
              ImageFlagsHasAlpha | ImageFlagsHasTranslucent);
    ASSERT_EQ(load("cutout.png")->GetImageInfo(&info), S_OK);
    EXPECT_EQ(info.Flags & (ImageFlagsHasAlpha | ImageFlagsHasTranslucent), ImageFlagsHasAlpha)
        << "only wholly opaque and wholly transparent pixels";

    auto plain = load("plain.png");
    ASSERT_EQ(plain->GetImageInfo(&info), S_OK);
    EXPECT_EQ(std::tuple(info.PixelFormat, std::lround(info.Xdpi), std::lround(info.Ydpi)),
              std::tuple(PixelFormat24bppRGB, 1920, 1920));
    EXPECT_FALSE(info.Flags & ImageFlagsHasAlpha);
    SIZE size{};
    ASSERT_EQ(plain->GetPhysicalDimension(&size), S_OK);
    EXPECT_EQ(size.cx, 40 * 2540 / 1920 + 1); // 52.9 rounds to 53
}

TEST_F(ImagingTest, MissingCorruptTruncatedAndForeignFilesFailWithoutAnObject) {
    const auto good = writePng(folder / "good.png", 8, 8, Bytes(8 * 8 * 3, 200), false);
    auto corrupt = good;
    for (std::size_t i = 41; i < corrupt.size() - 12; ++i)
        corrupt[i] ^= 0x5A; // the image data and its checksum no longer agree
    writeBytes(folder / "corrupt.png", std::string(corrupt.begin(), corrupt.end()));
    writeBytes(folder / "truncated.png",
               std::string(good.begin(), good.begin() + long(good.size() / 2)));
    writeBytes(folder / "text.png", "hello");
    writeBytes(folder / "empty.png", "");
    writeBytes(folder / "signature.png", "\x89PNG\r\n\x1a\n");

    EXPECT_EQ(load("missing.png", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), nullptr);
    for (const char* name : {"text.png", "empty.png", "truncated.png", "corrupt.png"}) {
        IImage* image = nullptr;
        EXPECT_TRUE(FAILED(factory->CreateImageFromFile(path(name).c_str(), &image))) << name;
        EXPECT_EQ(image, nullptr) << name;
    }
    EXPECT_EQ(load("text.png", IMGERR_CODECNOTFOUND), nullptr);
    auto huge = good; // 5000 x 5000 in its header: more pixels than an image may have
    huge[18] = huge[22] = 0x13;
    huge[19] = huge[23] = 0x88;
    const auto sum = crc32(0, huge.data() + 12, 17);
    for (int i = 0; i < 4; ++i)
        huge[29 + i] = static_cast<std::uint8_t>(sum >> (24 - 8 * i));
    writeBytes(folder / "huge.png", std::string(huge.begin(), huge.end()));
    EXPECT_EQ(load("huge.png", E_OUTOFMEMORY), nullptr);
    EXPECT_EQ(load("signature.png", E_FAIL), nullptr) << "a PNG with nothing after its signature";
    EXPECT_TRUE(load("good.png"));
}

TEST_F(ImagingTest, DrawBlendsHalfTransparentPixelsExactlyIntoRgb565) {
    // Opaque red, 50 % red, transparent, 50 % white.
    writePng(folder / "blend.png", 4, 1,
             {255, 0, 0, 255, 255, 0, 0, 128, 0, 255, 0, 0, 255, 255, 255, 128}, true);
    // 0xEF5D widens to (239, 235, 239); red at 128/255 over it gives (247, 117, 119) and white
    // gives (247, 245, 247).
    EXPECT_EQ(drawn(*load("blend.png"), 4, 1, toolkitGrey),
              (Pixels{0xF800, 0xF3AE, toolkitGrey, 0xF7BE}));
}

TEST_F(ImagingTest, DrawStretchesAndTakesSourceRectanglesInHundredthsOfAMillimetre) {
    writePng(folder / "two.png", 2, 1, {255, 0, 0, 255, 0, 0, 255, 255}, true);
    auto image = load("two.png");
    const Pixels stretched = drawn(*image, 8, 2);
    EXPECT_EQ(std::tuple(stretched[0], stretched[8], stretched[15]),
              std::tuple(0xF800, 0xF800, 0x001F));
    EXPECT_NE(stretched[4], 0xF800) << "the middle is interpolated";

    // At 96 dpi a pixel is 2540 / 96 = 26.46 hundredths of a millimetre: take the right pixel.
    BufferCanvas right(4, 1, 0);
    RECT rightHalf{26, 0, 53, 26}, small{0, 0, 4, 1}, outside{0, 0, 200, 26}, lastTwo{2, 0, 4, 1};
    ASSERT_EQ(image->Draw(right.dc, &small, &rightHalf), S_OK);
    EXPECT_EQ(right.pixels, Pixels(4, 0x001F));
    ASSERT_EQ(image->Draw(right.dc, &lastTwo, nullptr), S_OK); // the whole image, further right
    EXPECT_EQ(right.pixels, (Pixels{0x001F, 0x001F, 0xF800, 0x001F}));
    for (RECT refused : {outside, RECT{26, 0, 26, 26}, RECT{0, 26, 26, 26}})
        EXPECT_EQ(image->Draw(right.dc, &small, &refused), E_INVALIDARG);
}

TEST_F(ImagingTest, ABicubicRescaledBitmapKeepsFlatColoursAndRepeatsItsEdges) {
    // Left half opaque orange, right half half-transparent blue, 100 x 41.
    Bytes pixels;
    for (int i = 0; i < 100 * 41; ++i)
        pixels.insert(pixels.end(), i % 100 < 50
                                        ? std::initializer_list<std::uint8_t>{255, 64, 0, 255}
                                        : std::initializer_list<std::uint8_t>{0, 0, 255, 128});
    writePng(folder / "button.png", 100, 41, pixels, true);
    auto bitmap = rescaled("button.png", 50, 20, PixelFormat32bppARGB, InterpolationHintBicubic);
    EXPECT_EQ(pixelBytes(*bitmap, PixelFormat32bppARGB, 2, 10), (Ints{0, 64, 255, 255}))
        << "B, G, R, A";
    EXPECT_EQ(pixelBytes(*bitmap, PixelFormat32bppPARGB, 47, 10), (Ints{128, 0, 0, 128}))
        << "premultiplied B, G, R, then A";
    const Pixels scaled = drawn(*bitmap, 50, 20);
    EXPECT_EQ(scaled[10 * 50 + 2], 0xFA00) << "flat areas keep their exact colour";
    EXPECT_EQ(scaled[10 * 50 + 47], 0x0010) << "half-transparent blue over black";
    EXPECT_EQ(scaled[10], scaled[19 * 50 + 10]) << "edges repeat, they don't darken";

    // Bilinear, red and blue (both half green) to four: the inner pixels take 3 : 1 of their nearer
    // neighbour.
    writePng(folder / "bilinear.png", 2, 1, {255, 128, 0, 255, 0, 128, 255, 255}, true);
    bitmap = rescaled("bilinear.png", 4, 1, PixelFormat24bppRGB, InterpolationHintBilinear);
    const auto second = pixelBytes(*bitmap, PixelFormat24bppRGB, 1, 0, 3);
    EXPECT_NEAR(second[2], 191, 1);
    EXPECT_NEAR(second[0], 64, 1);
    EXPECT_EQ(pixelBytes(*bitmap, PixelFormat24bppRGB, 3, 0, 3), (Ints{255, 128, 0})) << "B, G, R";
    // Bicubic (Catmull-Rom) leans further to the nearer one: 0.797 : 0.203.
    bitmap = rescaled("bilinear.png", 4, 1, PixelFormat24bppRGB, InterpolationHintBicubic);
    EXPECT_EQ(pixelBytes(*bitmap, PixelFormat24bppRGB, 1, 0, 3), (Ints{52, 128, 203}));

    // Nearest, four to two: each takes the source pixel under its centre, the last one included.
    writePng(folder / "nearest.png", 4, 1, {1, 1, 1, 255, 2, 2, 2, 255, 3, 3, 3, 255, 4, 4, 4, 255},
             true);
    bitmap = rescaled("nearest.png", 2, 1, PixelFormat24bppRGB, InterpolationHintNearestNeighbor);
    EXPECT_EQ(pixelBytes(*bitmap, PixelFormat24bppRGB, 0, 0, 6), (Ints{2, 2, 2, 4, 4, 4}));
    // Averaging, three to two: each the mean of the source pixels its span reaches, both ends
    // included.
    writePng(folder / "average.png", 3, 1, {0, 0, 0, 255, 30, 30, 30, 255, 90, 90, 90, 255}, true);
    bitmap = rescaled("average.png", 2, 1, PixelFormat24bppRGB, InterpolationHintAveraging);
    EXPECT_EQ(pixelBytes(*bitmap, PixelFormat24bppRGB, 0, 0, 6), (Ints{15, 15, 15, 60, 60, 60}));
}

TEST_F(ImagingTest, PixelsWrittenInEachFormatReadBackAsTheSameColours) {
    // Two pixels written through a lock in `written`, read back as B, G, R, A.
    const auto roundTrip = [this](PixelFormatID kept, PixelFormatID written, Bytes bytes) {
        IBitmapImage* made = nullptr;
        EXPECT_EQ(factory->CreateNewBitmap(2, 1, kept, &made), S_OK);
        const ComPtr<IBitmapImage> bitmap(made);
        BitmapData data{};
        EXPECT_EQ(bitmap->LockBits(nullptr, ImageLockModeWrite, written, &data), S_OK);
        std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t*>(data.Scan0));
        EXPECT_EQ(bitmap->UnlockBits(&data), S_OK);
        return pixelBytes(*bitmap, PixelFormat32bppARGB, 0, 0, 8);
    };
    constexpr PixelFormatID argb = PixelFormat32bppARGB;
    // Five and six bits widen by repeating their top bits, so white stays white.
    EXPECT_EQ(roundTrip(argb, PixelFormat16bppRGB565, {0x10, 0x84, 0xFF, 0xFF}),
              (Ints{132, 130, 132, 255, 255, 255, 255, 255}));
    EXPECT_EQ(roundTrip(argb, PixelFormat16bppRGB555, {0x10, 0x42, 0x00, 0x7C}),
              (Ints{132, 132, 132, 255, 0, 0, 255, 255}));
    EXPECT_EQ(roundTrip(argb, PixelFormat24bppRGB, {1, 2, 3, 4, 5, 6}),
              (Ints{1, 2, 3, 255, 4, 5, 6, 255}));
    EXPECT_EQ(roundTrip(argb, PixelFormat32bppRGB, {1, 2, 3, 9, 4, 5, 6, 0}),
              (Ints{1, 2, 3, 255, 4, 5, 6, 255}))
        << "the fourth byte of 32 bpp RGB is no alpha";
    EXPECT_EQ(roundTrip(argb, PixelFormat32bppPARGB, {64, 0, 0, 128, 5, 5, 5, 0}),
              (Ints{128, 0, 0, 128, 0, 0, 0, 0}))
        << "premultiplied colours are divided by their alpha";
    // What a bitmap keeps of alpha depends on its own format, not on the lock's.
    EXPECT_EQ(roundTrip(PixelFormat32bppPARGB, argb, {0, 0, 255, 128, 0, 0, 255, 255}),
              (Ints{0, 0, 255, 128, 0, 0, 255, 255}));
    EXPECT_EQ(roundTrip(PixelFormat24bppRGB, argb, {0, 0, 255, 128, 0, 0, 255, 255}),
              (Ints{0, 0, 255, 255, 0, 0, 255, 255}));

    // Read in 16 bits, each channel keeps its top bits.
    writePng(folder / "orange.png", 1, 1, {255, 130, 132, 255}, true);
    const auto orange = rescaled("orange.png", 1, 1, argb, InterpolationHintNearestNeighbor);
    EXPECT_EQ(pixelBytes(*orange, PixelFormat16bppRGB555, 0, 0, 2), (Ints{0x10, 0x7E}));
    EXPECT_EQ(pixelBytes(*orange, PixelFormat16bppRGB565, 0, 0, 2), (Ints{0x10, 0xFC}));
}

TEST_F(ImagingTest, BitmapsThumbnailsAndTheFactoryAnswerWhatTheyHaveAndRefuseBadArguments) {
    IBitmapImage* made = nullptr;
    for (const auto& [width, height, result] : {std::tuple(4097u, 4096u, E_OUTOFMEMORY),
                                                {4096u, 4096u, S_OK},
                                                {0u, 3u, E_INVALIDARG},
                                                {5u, 0u, E_INVALIDARG}}) {
        EXPECT_EQ(factory->CreateNewBitmap(width, height, PixelFormat32bppARGB, &made), result);
        if (made != nullptr)
            made->Release();
    }
    ASSERT_EQ(factory->CreateNewBitmap(5, 3, PixelFormat24bppRGB, &made), S_OK);
    const ComPtr<IBitmapImage> bitmap(made);
    SIZE size{};
    PixelFormatID format{};
    ASSERT_EQ(bitmap->GetSize(&size), S_OK);
    ASSERT_EQ(bitmap->GetPixelFormatID(&format), S_OK);
    EXPECT_EQ(std::tuple(size.cx, size.cy, format), std::tuple(5, 3, PixelFormat24bppRGB));
    EXPECT_EQ(bitmap->GetSize(nullptr), E_INVALIDARG);
    EXPECT_EQ(bitmap->GetPixelFormatID(nullptr), E_INVALIDARG);
    auto* palette = reinterpret_cast<ColorPalette*>(&size);
    EXPECT_EQ(bitmap->GetPalette(&palette), IMGERR_NOPALETTE);
    EXPECT_EQ(palette, nullptr);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(bitmap->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u) << "asked, it had one more owner";

    writePng(folder / "wide.png", 8, 2, Bytes(8 * 2 * 4, 255), true);
    const auto image = load("wide.png");
    IImage* thumbnail = image.get();
    EXPECT_EQ(image->GetThumbnail(2, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(image->GetThumbnail(0, 1, &thumbnail), E_INVALIDARG);
    EXPECT_EQ(thumbnail, nullptr);
    EXPECT_EQ(image->GetThumbnail(1, 0, &thumbnail), E_INVALIDARG);
    EXPECT_EQ(image->GetThumbnail(4097, 4096, &thumbnail), E_INVALIDARG);
    ASSERT_EQ(image->GetThumbnail(4, 1, &thumbnail), S_OK);
    const ComPtr<IImage> owner(thumbnail);
    ImageInfo info{};
    ASSERT_EQ(thumbnail->GetImageInfo(&info), S_OK);
    EXPECT_EQ(std::tuple(info.Width, info.Height), std::tuple(4u, 1u));

    // COM starts once per thread (the fixture started it); the factory decodes no streams.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | 1), E_INVALIDARG);
    UINT count = 1;
    ImageCodecInfo* decoders = nullptr;
    EXPECT_EQ(factory->GetInstalledDecoders(&count, &decoders), E_NOTIMPL);
    EXPECT_EQ(std::tuple(count, decoders), std::tuple(0u, nullptr));
    thumbnail = image.get();
    EXPECT_EQ(factory->CreateImageFromStream(nullptr, &thumbnail), E_NOTIMPL);
    EXPECT_EQ(thumbnail, nullptr);
    EXPECT_EQ(factory->CreateImageFromFile(nullptr, &thumbnail), E_INVALIDARG);
    EXPECT_EQ(factory->CreateImageFromFile(path("wide.png").c_str(), nullptr), E_INVALIDARG);
    EXPECT_EQ(factory->CreateBitmapFromImage(nullptr, 1, 1, PixelFormat24bppRGB,
                                             InterpolationHintDefault, &made),
              E_INVALIDARG);
    void* object = &object;
    EXPECT_EQ(
        CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImage, &object),
        E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(
        CoCreateInstance(IID_IImage, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory, &object),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_LOCAL_SERVER,
                               IID_IImagingFactory, &object),
              REGDB_E_CLASSNOTREG);
    factory->AddRef();
    EXPECT_EQ(factory->Release(), 1u) << "the fixture is its only owner";
    EXPECT_EQ(factory->GetInstalledEncoders(nullptr, &decoders), E_INVALIDARG);
    EXPECT_EQ(factory->GetInstalledEncoders(&count, nullptr), E_INVALIDARG);
}

TEST_F(ImagingTest, AnEncoderWithoutACompleteFrameWritesNothing) {
    const auto encoder = pngEncoder("never.png");
    void* asked = &asked;
    EXPECT_EQ(encoder->QueryInterface(IID_IImage, &asked), E_NOINTERFACE);
    EXPECT_EQ(asked, nullptr);
    ASSERT_EQ(encoder->QueryInterface(IID_IImageEncoder, &asked), S_OK);
    EXPECT_EQ(static_cast<IImageEncoder*>(asked)->Release(), 1u) << "asked, it had one more owner";
    IImageSink* sink = nullptr;
    ASSERT_EQ(encoder->GetEncodeSink(&sink), S_OK);
    const ComPtr<IImageSink> sinkOwner(sink);
    ImageInfo info{};
    info.PixelFormat = PixelFormat16bppRGB565;
    // At most 4096 x 4096 pixels, as for every image.
    for (const auto& [width, height, result] : {std::tuple(4097u, 4096u, E_INVALIDARG),
                                                {4096u, 4096u, S_OK},
                                                {0u, 4u, E_INVALIDARG},
                                                {4u, 0u, E_INVALIDARG},
                                                {4u, 4u, S_OK}}) {
        std::tie(info.Width, info.Height) = std::tuple(width, height);
        EXPECT_EQ(sink->BeginSink(&info, nullptr), result) << width << " x " << height;
    }
    EXPECT_EQ(encoder->TerminateEncoder(), IMGERR_NOFRAME);
    EXPECT_FALSE(std::filesystem::exists(folder / "never.png"));
    const CLSID wrong = CLSID_ImagingFactory;
    IImageEncoder* other = nullptr;
    EXPECT_EQ(factory->CreateImageEncoderToFile(&wrong, path("never.png").c_str(), &other),
              IMGERR_CODECNOTFOUND);
}

TEST_F(ImagingTest, AnEncodedFileHoldsEveryPixelPushedOrWrittenIntoTheSinksBuffer) {
    writePng(folder / "source.png", 3, 2, {10, 20, 30, 255, 40, 50, 60, 128, 0, 0, 0, 0,
                                           1,  2,  3,  255, 4,  5,  6,  255, 7, 8, 9, 255},
             true);
    const auto source = rescaled("source.png", 0, 0, PixelFormatDontCare, InterpolationHintDefault);
    const auto encoder = pngEncoder("copy.png");
    EXPECT_EQ(encoder->SetFrameDimension(&FrameDimensionPage), S_OK);
    EXPECT_EQ(encoder->SetFrameDimension(&ImageFormatPNG), E_INVALIDARG);
    EXPECT_EQ(encoder->SetFrameDimension(nullptr), E_INVALIDARG);
    IImageSink* sink = nullptr;
    ASSERT_EQ(encoder->QueryInterface(IID_IImageSink, reinterpret_cast<void**>(&sink)), S_OK);
    const ComPtr<IImageSink> sinkOwner(sink);
    ImageInfo info{};
    info.Width = 3;
    info.Height = 2;
    info.PixelFormat = PixelFormat32bppARGB;
    ASSERT_EQ(sink->BeginSink(&info, nullptr), S_OK);
    BitmapData whole{};
    ASSERT_EQ(source->LockBits(nullptr, ImageLockModeRead, PixelFormat32bppARGB, &whole), S_OK);
    EXPECT_EQ(sink->PushPixelData(nullptr, &whole, TRUE), S_OK);
    EXPECT_EQ(source->UnlockBits(&whole), S_OK);

    // The second row's last two pixels pushed again by their rectangle, then written over through
    // the sink's own buffer.
    RECT lastTwo{1, 1, 3, 2};
    BitmapData part{};
    ASSERT_EQ(source->LockBits(&lastTwo, ImageLockModeRead, PixelFormat32bppARGB, &part), S_OK);
    EXPECT_EQ(sink->PushPixelData(&lastTwo, &part, TRUE), S_OK);
    EXPECT_EQ(sink->PushPixelData(nullptr, &part, TRUE), E_INVALIDARG) << "not the frame's size";
    EXPECT_EQ(source->UnlockBits(&part), S_OK);
    for (RECT outside :
         {RECT{1, 1, 1, 2}, {1, 1, 3, 1}, {-1, 0, 1, 1}, {0, -1, 1, 1}, {0, 0, 4, 1}, {0, 0, 1, 3}})
        EXPECT_EQ(sink->GetPixelDataBuffer(&outside, PixelFormat24bppRGB, TRUE, &part),
                  E_INVALIDARG);
    ASSERT_EQ(sink->GetPixelDataBuffer(&lastTwo, PixelFormat24bppRGB, TRUE, &part), S_OK);
    EXPECT_EQ(std::tuple(part.Width, part.Height, part.Stride), std::tuple(2u, 1u, 8))
        << "rows of whole 4-byte words";
    const Bytes bgr{0xAA, 0xBB, 0xCC, 0x11, 0x22, 0x33};
    std::copy(bgr.begin(), bgr.end(), static_cast<std::uint8_t*>(part.Scan0));
    BitmapData elsewhere = part;
    elsewhere.Scan0 = &elsewhere;
    EXPECT_EQ(sink->ReleasePixelDataBuffer(&elsewhere), E_INVALIDARG);
    EXPECT_EQ(sink->ReleasePixelDataBuffer(&part), S_OK);
    EXPECT_EQ(sink->ReleasePixelDataBuffer(&part), E_INVALIDARG) << "released already";
    EXPECT_EQ(sink->GetPixelDataBuffer(&lastTwo, PixelFormatDontCare, TRUE, &part), E_INVALIDARG);
    PropertyItem* properties = reinterpret_cast<PropertyItem*>(&info);
    EXPECT_EQ(sink->GetPropertyBuffer(64, &properties), E_NOTIMPL);
    EXPECT_EQ(properties, nullptr);
    ASSERT_EQ(sink->EndSink(S_OK), S_OK);
    EXPECT_EQ(sink->EndSink(S_OK), E_FAIL) << "ended already";
    ASSERT_EQ(encoder->TerminateEncoder(), S_OK);
    EXPECT_EQ(encoder->TerminateEncoder(), S_OK) << "a finished file stays finished";
    EXPECT_EQ(encoder->GetEncodeSink(&sink), E_FAIL);
    EXPECT_EQ(sinkOwner->BeginSink(&info, nullptr), E_FAIL);

    const auto copy = rescaled("copy.png", 0, 0, PixelFormatDontCare, InterpolationHintDefault);
    EXPECT_EQ(pixelBytes(*copy, PixelFormat32bppARGB, 0, 0, 12),
              (Ints{30, 20, 10, 255, 60, 50, 40, 128, 0, 0, 0, 0}));
    EXPECT_EQ(pixelBytes(*copy, PixelFormat32bppARGB, 0, 1, 12),
              (Ints{3, 2, 1, 255, 0xAA, 0xBB, 0xCC, 255, 0x11, 0x22, 0x33, 255}));
}

} // namespace

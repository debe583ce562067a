// The Imaging API: decoding PNG files (and refusing bad ones), image information, drawing with
// alpha blending and stretching onto RGB565, bicubic rescaling and the PNG encoder.
#include "GfxTestSupport.h"

#include "gdi/BufferDC.h"

#include <zlib.h>

using namespace gfxtest;

namespace {

constexpr std::uint16_t toolkitGrey = 0xEF5D;

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

    ComPtr<IImage> load(const std::wstring& file, HRESULT expected = S_OK) {
        IImage* image = nullptr;
        EXPECT_EQ(factory->CreateImageFromFile(file.c_str(), &image), expected);
        return ComPtr<IImage>(image);
    }
};

std::vector<std::uint8_t> solid(int width, int height, std::uint8_t r, std::uint8_t g,
                                std::uint8_t b, std::uint8_t a) {
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < width * height; ++i) {
        pixels.insert(pixels.end(), {r, g, b, a});
    }
    return pixels;
}

// A pHYs chunk of `dpi` inserted after the IHDR chunk.
std::vector<std::uint8_t> withResolution(std::vector<std::uint8_t> png, double dpi) {
    const auto perMetre = static_cast<std::uint32_t>(dpi / 0.0254 + 0.5);
    std::vector<std::uint8_t> chunk = {0, 0, 0, 9, 'p', 'H', 'Y', 's'};
    for (int i = 0; i < 2; ++i) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            chunk.push_back(static_cast<std::uint8_t>(perMetre >> shift));
        }
    }
    chunk.push_back(1);
    const uLong crc = crc32(0, chunk.data() + 4, 13);
    for (int shift = 24; shift >= 0; shift -= 8) {
        chunk.push_back(static_cast<std::uint8_t>(crc >> shift));
    }
    png.insert(png.begin() + 33, chunk.begin(), chunk.end());
    return png;
}

void save(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

TEST_F(ImagingTest, FactoryComesOnlyFromItsClassAndInterface) {
    void* object = nullptr;
    EXPECT_EQ(
        CoCreateInstance(IID_IImage, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory, &object),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(
        CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImage, &object),
        E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    IImage* image = nullptr;
    EXPECT_EQ(factory->CreateImageFromBuffer("x", 1, BufferDisposalFlagNone, &image), E_NOTIMPL);
}

TEST_F(ImagingTest, ImageInformationComesFromTheFile) {
    writePng(folder / "alpha.png", 3, 2, solid(3, 2, 1, 2, 3, 128), true);
    save(folder / "plain.png",
         withResolution(writePng(folder / "tmp.png", 4, 5, solid(4, 5, 9, 9, 9, 255), false),
                        192.0));
    auto alpha = load(path("alpha.png"));
    ASSERT_TRUE(alpha);
    ImageInfo info{};
    ASSERT_EQ(alpha->GetImageInfo(&info), S_OK);
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(info.Height, 2u);
    EXPECT_EQ(info.PixelFormat, PixelFormat32bppARGB);
    EXPECT_TRUE(info.RawDataFormat == ImageFormatPNG);
    EXPECT_DOUBLE_EQ(info.Xdpi, 96.0);
    EXPECT_TRUE(info.Flags & ImageFlagsHasAlpha);

    auto plain = load(path("plain.png"));
    ASSERT_TRUE(plain);
    ASSERT_EQ(plain->GetImageInfo(&info), S_OK);
    EXPECT_EQ(info.PixelFormat, PixelFormat24bppRGB);
    EXPECT_NEAR(info.Xdpi, 192.0, 0.01);
    EXPECT_NEAR(info.Ydpi, 192.0, 0.01);
    EXPECT_FALSE(info.Flags & ImageFlagsHasAlpha);
    SIZE size{};
    ASSERT_EQ(plain->GetPhysicalDimension(&size), S_OK);
    EXPECT_EQ(size.cx, 4 * 2540 / 192 + 1); // 52.9 rounds to 53
}

TEST_F(ImagingTest, MissingCorruptTruncatedAndForeignFilesFailWithoutAnObject) {
    const auto good = writePng(folder / "good.png", 8, 8, solid(8, 8, 200, 10, 10, 255), false);
    std::vector<std::uint8_t> truncated(good.begin(),
                                        good.begin() + static_cast<long>(good.size() / 2));
    save(folder / "truncated.png", truncated);
    std::vector<std::uint8_t> corrupt = good;
    for (std::size_t i = 41; i < corrupt.size() - 12; ++i) {
        corrupt[i] ^= 0x5A; // the image data and its checksum no longer agree
    }
    save(folder / "corrupt.png", corrupt);
    save(folder / "text.png", {'h', 'e', 'l', 'l', 'o'});
    save(folder / "empty.png", {});

    EXPECT_EQ(load(path("missing.png"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), nullptr);
    EXPECT_EQ(load(path("text.png"), IMGERR_CODECNOTFOUND), nullptr);
    EXPECT_EQ(load(path("empty.png"), IMGERR_CODECNOTFOUND), nullptr);
    for (const char* name : {"truncated.png", "corrupt.png"}) {
        IImage* image = nullptr;
        EXPECT_TRUE(FAILED(factory->CreateImageFromFile(path(name).c_str(), &image))) << name;
        EXPECT_EQ(image, nullptr) << name;
    }
    EXPECT_TRUE(load(path("good.png")));
}

TEST_F(ImagingTest, DrawBlendsHalfTransparentPixelsExactlyOntoRgb565) {
    // Opaque red, 50 % red, transparent, 50 % white.
    std::vector<std::uint8_t> pixels = {255, 0,   0, 255, 255, 0,   0,   128,
                                        0,   255, 0, 0,   255, 255, 255, 128};
    writePng(folder / "blend.png", 4, 1, pixels, true);
    auto image = load(path("blend.png"));
    ASSERT_TRUE(image);
    BufferCanvas canvas(4, 1, toolkitGrey);
    RECT dest{0, 0, 4, 1};
    ASSERT_EQ(image->Draw(canvas.dc, &dest, nullptr), S_OK);
    // 0xEF5D widens to (239, 235, 239); red at 128/255 over it gives (247, 117, 119).
    EXPECT_EQ(canvas.at(0, 0), 0xF800);
    EXPECT_EQ(canvas.at(1, 0), 0xF3AE);
    EXPECT_EQ(canvas.at(2, 0), toolkitGrey);
    // White at 128/255 over (239, 235, 239) gives (247, 245, 247).
    EXPECT_EQ(canvas.at(3, 0), 0xF7BE);
}

TEST_F(ImagingTest, DrawStretchesAndTakesSourceRectanglesInHundredthsOfAMillimetre) {
    std::vector<std::uint8_t> pixels = {255, 0, 0, 255, 0, 0, 255, 255};
    writePng(folder / "two.png", 2, 1, pixels, true);
    auto image = load(path("two.png"));
    ASSERT_TRUE(image);
    BufferCanvas canvas(8, 2, 0);
    RECT dest{0, 0, 8, 2};
    ASSERT_EQ(image->Draw(canvas.dc, &dest, nullptr), S_OK);
    EXPECT_EQ(canvas.at(0, 0), 0xF800);
    EXPECT_EQ(canvas.at(0, 1), 0xF800);
    EXPECT_EQ(canvas.at(7, 1), 0x001F);
    EXPECT_NE(canvas.at(4, 0), 0xF800) << "the middle is interpolated";

    // At 96 dpi a pixel is 2540 / 96 = 26.46 hundredths of a millimetre: take the right pixel.
    BufferCanvas right(4, 1, 0);
    RECT rightHalf{26, 0, 53, 26};
    RECT small{0, 0, 4, 1};
    ASSERT_EQ(image->Draw(right.dc, &small, &rightHalf), S_OK);
    EXPECT_EQ(right.pixels, (std::vector<std::uint16_t>(4, 0x001F)));
    RECT outside{0, 0, 200, 26};
    EXPECT_EQ(image->Draw(right.dc, &small, &outside), E_INVALIDARG);
    EXPECT_EQ(image->Draw(nullptr, &small, nullptr), E_INVALIDARG);
}

TEST_F(ImagingTest, DrawOntoASurfaceShowsTransparentPartsInTheFillColour) {
    auto dd = makeDirectDraw();
    auto surface = makeSurface(*dd, 2, 1);
    ASSERT_EQ(fill(*surface, nullptr, toolkitGrey), DD_OK);
    writePng(folder / "hole.png", 2, 1, {0, 0, 0, 0, 0, 0, 0, 255}, true);
    auto image = load(path("hole.png"));
    HDC dc = nullptr;
    ASSERT_EQ(surface->GetDC(&dc), DD_OK);
    RECT dest{0, 0, 2, 1};
    EXPECT_EQ(image->Draw(dc, &dest, nullptr), S_OK);
    EXPECT_EQ(surface->ReleaseDC(dc), DD_OK);
    EXPECT_EQ(surface->ReleaseDC(dc), DDERR_NODC);
    EXPECT_EQ(pixelsOf(*surface), (std::vector<std::uint16_t>{toolkitGrey, 0x0000}));
}

// The toolkit's shrinking of an image file in place: decode, bicubic bitmap, PNG encoder.
HRESULT rescaleInPlace(IImagingFactory& factory, const std::wstring& file, UINT width,
                       UINT height) {
    IImage* image = nullptr;
    HRESULT result = factory.CreateImageFromFile(file.c_str(), &image);
    if (FAILED(result)) {
        return result;
    }
    ImageInfo info{};
    image->GetImageInfo(&info);
    IBitmapImage* bitmap = nullptr;
    result = factory.CreateBitmapFromImage(image, width, height, info.PixelFormat,
                                           InterpolationHintBicubic, &bitmap);
    image->Release();
    if (FAILED(result)) {
        return result;
    }
    IImage* scaled = nullptr;
    bitmap->QueryInterface(IID_IImage, reinterpret_cast<void**>(&scaled));
    scaled->GetImageInfo(&info);
    UINT count = 0;
    ImageCodecInfo* encoders = nullptr;
    factory.GetInstalledEncoders(&count, &encoders);
    const ImageCodecInfo* png = nullptr;
    for (UINT i = 0; i < count; ++i) {
        if (encoders[i].FormatID == ImageFormatPNG) {
            png = &encoders[i];
        }
    }
    IImageEncoder* encoder = nullptr;
    IImageSink* sink = nullptr;
    result = png == nullptr ? E_FAIL
                            : factory.CreateImageEncoderToFile(&png->Clsid, file.c_str(), &encoder);
    if (SUCCEEDED(result)) {
        result = encoder->GetEncodeSink(&sink);
    }
    if (SUCCEEDED(result)) {
        result = sink->BeginSink(&info, nullptr);
    }
    if (SUCCEEDED(result)) {
        result = scaled->PushIntoSink(sink);
    }
    if (SUCCEEDED(result)) {
        result = encoder->TerminateEncoder();
    }
    if (sink != nullptr) {
        sink->Release();
    }
    if (encoder != nullptr) {
        encoder->Release();
    }
    CoTaskMemFree(encoders);
    scaled->Release();
    bitmap->Release();
    return result;
}

TEST_F(ImagingTest, ABicubicRescaledImageRoundTripsThroughTheEncoder) {
    // Left half opaque red, right half half-transparent blue, 100 x 41.
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < 41; ++y) {
        for (int x = 0; x < 100; ++x) {
            if (x < 50) {
                pixels.insert(pixels.end(), {255, 0, 0, 255});
            } else {
                pixels.insert(pixels.end(), {0, 0, 255, 128});
            }
        }
    }
    writePng(folder / "button.png", 100, 41, pixels, true);
    // What the toolkit computes for a scale of 0.5: trunc(100 x 0.5), trunc(41 x 0.5).
    ASSERT_EQ(rescaleInPlace(*factory, path("button.png"), 50, 20), S_OK);

    auto scaled = load(path("button.png"));
    ASSERT_TRUE(scaled);
    ImageInfo info{};
    ASSERT_EQ(scaled->GetImageInfo(&info), S_OK);
    EXPECT_EQ(info.Width, 50u);
    EXPECT_EQ(info.Height, 20u);
    EXPECT_EQ(info.PixelFormat, PixelFormat32bppARGB);

    BufferCanvas canvas(50, 20, 0x0000);
    RECT dest{0, 0, 50, 20};
    ASSERT_EQ(scaled->Draw(canvas.dc, &dest, nullptr), S_OK);
    EXPECT_EQ(canvas.at(2, 10), 0xF800) << "flat areas keep their exact colour";
    EXPECT_EQ(canvas.at(47, 10), 0x0010) << "half-transparent blue over black";
    EXPECT_EQ(canvas.at(10, 0), canvas.at(10, 19)) << "edges repeat, they don't darken";
    EXPECT_FALSE(std::filesystem::exists(folder / ".button.png.tmp"));
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1) << "no temporary file is left beside the image";
}

TEST_F(ImagingTest, RescalingAtTheSameSizeRewritesTheSamePixels) {
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < 12 * 7; ++i) {
        pixels.insert(pixels.end(), {static_cast<std::uint8_t>(i * 3), 40, 90});
    }
    writePng(folder / "same.png", 12, 7, pixels, false);
    ASSERT_EQ(rescaleInPlace(*factory, path("same.png"), 12, 7), S_OK);
    auto image = load(path("same.png"));
    ImageInfo info{};
    ASSERT_EQ(image->GetImageInfo(&info), S_OK);
    EXPECT_EQ(info.PixelFormat, PixelFormat24bppRGB);
    IBitmapImage* bitmap = nullptr;
    ASSERT_EQ(factory->CreateBitmapFromImage(image.get(), 0, 0, PixelFormat24bppRGB,
                                             InterpolationHintBicubic, &bitmap),
              S_OK);
    BitmapData data{};
    ASSERT_EQ(bitmap->LockBits(nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data), S_OK);
    const auto* row = static_cast<const std::uint8_t*>(data.Scan0) + 3 * data.Stride;
    EXPECT_EQ(row[5 * 3 + 2], (3 * 12 + 5) * 3); // red, stored after blue and green
    EXPECT_EQ(row[5 * 3 + 1], 40);
    EXPECT_EQ(row[5 * 3], 90);
    EXPECT_EQ(bitmap->UnlockBits(&data), S_OK);
    EXPECT_EQ(bitmap->UnlockBits(&data), IMGERR_BADUNLOCK);
    bitmap->Release();
}

TEST_F(ImagingTest, AnEncoderWithoutACompleteFrameWritesNothing) {
    const auto file = path("never.png");
    IImageEncoder* encoder = nullptr;
    ImageCodecInfo* encoders = nullptr;
    UINT count = 0;
    ASSERT_EQ(factory->GetInstalledEncoders(&count, &encoders), S_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(encoders[0].MimeType, L"image/png");
    ASSERT_EQ(factory->CreateImageEncoderToFile(&encoders[0].Clsid, file.c_str(), &encoder), S_OK);
    CoTaskMemFree(encoders);
    IImageSink* sink = nullptr;
    ASSERT_EQ(encoder->GetEncodeSink(&sink), S_OK);
    ImageInfo info{};
    info.Width = 4;
    info.Height = 4;
    info.PixelFormat = PixelFormat16bppRGB565;
    ASSERT_EQ(sink->BeginSink(&info, nullptr), S_OK);
    EXPECT_EQ(encoder->TerminateEncoder(), IMGERR_NOFRAME);
    EXPECT_FALSE(std::filesystem::exists(folder / "never.png"));
    sink->Release();
    encoder->Release();
    CLSID wrong = CLSID_ImagingFactory;
    EXPECT_EQ(factory->CreateImageEncoderToFile(&wrong, file.c_str(), &encoder),
              IMGERR_CODECNOTFOUND);
}

TEST_F(ImagingTest, ANewRgb565BitmapIsABlackImage) {
    IBitmapImage* bitmap = nullptr;
    ASSERT_EQ(factory->CreateNewBitmap(4, 4, PixelFormat16bppRGB565, &bitmap), S_OK);
    IImage* image = nullptr;
    ASSERT_EQ(bitmap->QueryInterface(IID_IImage, reinterpret_cast<void**>(&image)), S_OK);
    ImageInfo info{};
    ASSERT_EQ(image->GetImageInfo(&info), S_OK);
    EXPECT_EQ(info.Width, 4u);
    EXPECT_EQ(info.PixelFormat, PixelFormat16bppRGB565);
    BufferCanvas canvas(4, 4, 0xFFFF);
    RECT dest{0, 0, 4, 4};
    ASSERT_EQ(image->Draw(canvas.dc, &dest, nullptr), S_OK);
    EXPECT_EQ(canvas.pixels, std::vector<std::uint16_t>(16, 0x0000));
    image->Release();
    bitmap->Release();
    EXPECT_EQ(factory->CreateNewBitmap(0, 4, PixelFormat16bppRGB565, &bitmap), E_INVALIDARG);
}

} // namespace

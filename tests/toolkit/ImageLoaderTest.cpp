// Image loading: surfaces and image objects from PNG files, the placeholder and box for a
// missing file, rescaling a PNG file in place, and the Imaging error reporter.
#include "ToolkitTestSupport.h"

#include "ImageLoader.h"
#include "ResourceManager.h"
#include "Tunables.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace toolkit_test;

namespace {

const std::wstring kMissing = L"\\Program Files\\app\\resources\\VGA\\btn_common_normal.png";

class ImageLoaderTest : public ::testing::Test {
protected:
    ToolkitDevice device;
    OpenFrame frame;

    // A PNG in the program folder; returns its device path.
    std::wstring programPng(const std::wstring& name, unsigned width, unsigned height,
                            const std::vector<std::uint8_t>& rgba = {}) {
        writePng(device.programDir() / narrow(name), width, height, rgba);
        return L"\\Program Files\\Dawnbell\\" + name;
    }
};

using Box = platform::Device::MessageBoxRecord;
std::vector<Box> shownBoxes() {
    return platform::Device::instance().messageBoxes();
}

DDSURFACEDESC describe(IDirectDrawSurface* surface) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    surface->GetSurfaceDesc(&desc);
    return desc;
}

std::uint16_t surfacePixel(IDirectDrawSurface* surface, int x, int y) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (FAILED(surface->Lock(nullptr, &desc, DDLOCK_READONLY | DDLOCK_WAITNOTBUSY, nullptr))) {
        return 0;
    }
    const auto* row = reinterpret_cast<const std::uint8_t*>(desc.lpSurface) + y * desc.lPitch;
    const std::uint16_t pixel = reinterpret_cast<const std::uint16_t*>(row)[x];
    surface->Unlock(nullptr);
    return pixel;
}

TEST(PathTail, IsTheLastTwentyCharactersOrTheWholePath) {
    EXPECT_EQ(pathTail(kMissing), L"tn_common_normal.png");
    EXPECT_EQ(pathTail(L"\\a\\b.png"), L"\\a\\b.png");
    EXPECT_EQ(pathTail(L"12345678901234567890"), L"12345678901234567890");
}

TEST_F(ImageLoaderTest, MissingImageShowsTheBoxAndGivesAFourByFourSurface) {
    IDirectDrawSurface* surface = loadImage(kMissing);
    const auto boxes = shownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, L"tn_common_normal.png");
    EXPECT_EQ(boxes[0].text, L"Image not found!\r\nPlease contact : support@dawnbell.example");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONEXCLAMATION));
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(describe(surface).dwWidth, 4u);
    EXPECT_EQ(describe(surface).dwHeight, 4u);
    surface->Release();
}

TEST_F(ImageLoaderTest, ImageIsDrawnOverTheBackgroundColourOnASurfaceOfItsSize) {
    // Transparent red, opaque blue, opaque green.
    const std::vector<std::uint8_t> rgba{255, 0, 0, 0, 0, 0, 255, 255, 0, 255, 0, 255};
    IDirectDrawSurface* surface = loadImage(programPng(L"three.png", 3, 1, rgba));
    ASSERT_NE(surface, nullptr);
    EXPECT_TRUE(shownBoxes().empty());
    EXPECT_EQ(describe(surface).dwWidth, 3u);
    EXPECT_EQ(describe(surface).dwHeight, 1u);
    EXPECT_EQ(surfacePixel(surface, 0, 0), tunables::backgroundColour);
    EXPECT_EQ(surfacePixel(surface, 1, 0), 0x001F);
    EXPECT_EQ(surfacePixel(surface, 2, 0), 0x07E0);
    surface->Release();
}

TEST_F(ImageLoaderTest, CorruptImageIsTreatedAsMissing) {
    const std::wstring path = programPng(L"broken.png", 20, 20);
    std::filesystem::resize_file(device.programDir() / "broken.png", 30);
    IDirectDrawSurface* surface = loadImage(path);
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].caption, pathTail(path));
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(describe(surface).dwWidth, 4u);
    surface->Release();
}

TEST_F(ImageLoaderTest, ImageObjectOfAFileOrABlankFourByFourAfterTheBox) {
    ImageInfo info{};
    IImage* image = loadImageObject(programPng(L"box.png", 30, 12));
    ASSERT_NE(image, nullptr);
    image->GetImageInfo(&info);
    EXPECT_EQ(info.Width, 30u);
    EXPECT_EQ(info.Height, 12u);
    image->Release();
    EXPECT_TRUE(shownBoxes().empty());

    IImage* blank = loadImageObject(kMissing);
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].caption, L"tn_common_normal.png");
    ASSERT_NE(blank, nullptr);
    blank->GetImageInfo(&info);
    EXPECT_EQ(info.Width, 4u);
    EXPECT_EQ(info.Height, 4u);
    blank->Release();
}

TEST_F(ImageLoaderTest, RescalingDropsFractions) {
    scaleFactor = 0.5;
    const std::wstring path = programPng(L"wide.png", 100, 41);
    rescaleImageFile(path);
    const PngSize size = readPngSize(device.programDir() / "wide.png");
    ASSERT_TRUE(size.valid);
    EXPECT_EQ(size.width, 50u);
    EXPECT_EQ(size.height, 20u);
    EXPECT_TRUE(shownBoxes().empty());
}

TEST_F(ImageLoaderTest, RescalingAtFullScaleRewritesTheFileAtItsOwnSize) {
    const std::wstring path = programPng(L"same.png", 33, 17);
    const auto before = std::filesystem::last_write_time(device.programDir() / "same.png");
    std::filesystem::last_write_time(device.programDir() / "same.png",
                                     before - std::chrono::hours(1));
    rescaleImageFile(path);
    const PngSize size = readPngSize(device.programDir() / "same.png");
    ASSERT_TRUE(size.valid);
    EXPECT_EQ(size.width, 33u);
    EXPECT_EQ(size.height, 17u);
    EXPECT_GT(std::filesystem::last_write_time(device.programDir() / "same.png"),
              before - std::chrono::hours(1));
}

// The encoder writes the new file aside and renames it over the old one: a reader that opened
// the old file keeps reading it whole, and the path never names a partial PNG.
TEST_F(ImageLoaderTest, RescalingInPlaceReplacesTheFileWholeInsteadOfRewritingIt) {
    scaleFactor = 0.5;
    const std::wstring path = programPng(L"inplace.png", 64, 64);
    const auto hostPath = device.programDir() / "inplace.png";
    std::ifstream openedBefore(hostPath, std::ios::binary);
    std::ifstream copy(hostPath, std::ios::binary);
    const std::string original{std::istreambuf_iterator<char>(copy), {}};

    rescaleImageFile(path);

    const std::string seenByOldReader{std::istreambuf_iterator<char>(openedBefore), {}};
    EXPECT_EQ(seenByOldReader, original);
    const PngSize size = readPngSize(hostPath);
    ASSERT_TRUE(size.valid);
    EXPECT_EQ(size.width, 32u);
    for (const auto& entry : std::filesystem::directory_iterator(device.programDir())) {
        EXPECT_EQ(entry.path().filename().string().find("inplace.png."), std::string::npos)
            << "left behind: " << entry.path();
    }
}

TEST_F(ImageLoaderTest, RescalingIntoAnotherFileLeavesTheSourceAlone) {
    scaleFactor = 0.5;
    const std::wstring path = programPng(L"source.png", 40, 20);
    rescaleImageFileTo(path, L"\\Program Files\\Dawnbell\\copy.png");
    EXPECT_EQ(readPngSize(device.programDir() / "source.png").width, 40u);
    EXPECT_EQ(readPngSize(device.programDir() / "copy.png").width, 20u);
}

TEST_F(ImageLoaderTest, RescalingAMissingImageOnlyShowsTheBox) {
    scaleFactor = 0.5;
    rescaleImageFile(kMissing);
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].caption, L"tn_common_normal.png");
}

// ---- Error reporter ----------------------------------------------------------------------------

TEST(ImagingErrorNames, KnownCodesHaveTheirNamesAndOthersNone) {
    EXPECT_STREQ(imagingErrorName(static_cast<HRESULT>(0x8000000A)), L"E_PENDING");
    EXPECT_STREQ(imagingErrorName(static_cast<HRESULT>(0x80070057)), L"E_INVALIDARG");
    EXPECT_STREQ(imagingErrorName(static_cast<HRESULT>(0x887B0001)), L"IMGERR_OBJECTBUSY");
    EXPECT_STREQ(imagingErrorName(static_cast<HRESULT>(0x887B000B)),
                 L"IMGERR_PROPERTYNOTSUPPORTED");
    EXPECT_EQ(imagingErrorName(static_cast<HRESULT>(0x80004005)), nullptr);
    EXPECT_EQ(imagingErrorName(static_cast<HRESULT>(0x887B000C)), nullptr);
    EXPECT_EQ(imagingErrorName(S_OK), nullptr);
}

TEST_F(ImageLoaderTest, UnknownOrSuccessCodesAreIgnored) {
    reportImagingError(static_cast<HRESULT>(0x80004005), L"BeginSink");
    reportImagingError(S_OK, L"BeginSink");
    reportImagingError(S_FALSE, L"BeginSink");
    EXPECT_TRUE(shownBoxes().empty());
}

TEST(ImagingErrorDeathTest, KnownCodeIsShownUnderItsContextAndEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ToolkitDevice device;
            printMessageBoxesAtExit();
            reportImagingError(static_cast<HRESULT>(0x887B0006), L"BeginSink");
        },
        ::testing::ExitedWithCode(0), "BOX BeginSink\\|30\\|IMGERR_CODECNOTFOUND");
}

} // namespace

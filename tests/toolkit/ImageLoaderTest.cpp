// Image loading: surfaces and image objects from PNG files, the box and the placeholder for a
// missing or corrupt file, rescaling a PNG file in place, and the Imaging error reporter.
#include "support/Toolkit.h"

using namespace toolkit_test;

namespace {

const std::wstring kMissing = L"\\Program Files\\app\\resources\\VGA\\btn_common_normal.png";

class ImageLoaderTest : public ::testing::Test {
protected:
    ToolkitDevice device;
    OpenFrame frame;

    // A PNG in the program folder; returns its device path.
    std::wstring programPng(const std::string& name, int width, int height,
                            const std::vector<std::uint8_t>& rgba = {}, bool alpha = true) {
        writePng(device.programDir() / name, width, height, rgba, alpha);
        return L"\\Program Files\\Dawnbell\\" + std::wstring(name.begin(), name.end());
    }
};

// The latest of `count` boxes shown says that a file was not found, named by `caption`.
void expectImageNotFoundBox(const std::wstring& caption, size_t count = 1) {
    const auto boxes = shownBoxes();
    ASSERT_EQ(boxes.size(), count);
    EXPECT_EQ(boxes.back().caption, caption);
    EXPECT_EQ(boxes.back().text, L"Image not found!\r\nPlease contact : support@dawnbell.example");
    EXPECT_EQ(boxes.back().type, static_cast<UINT>(MB_ICONEXCLAMATION));
}

TEST_F(ImageLoaderTest, MissingOrCorruptImageIsNamedByItsLast20CharactersAndGetsA4x4Surface) {
    const std::wstring corrupt = programPng("broken.png", 20, 20);
    std::filesystem::resize_file(device.programDir() / "broken.png", 30);
    const std::pair<std::wstring, std::wstring> cases[] = {{kMissing, L"tn_common_normal.png"},
                                                           {corrupt, L"\\Dawnbell\\broken.png"},
                                                           {L"\\b.png", L"\\b.png"}};
    size_t boxes = 0;
    for (const auto& [path, caption] : cases) {
        IDirectDrawSurface* surface = loadImage(path);
        expectImageNotFoundBox(caption, ++boxes);
        ASSERT_NE(surface, nullptr);
        const Pixels placeholder = surfacePixels(surface);
        EXPECT_EQ(std::make_pair(placeholder.width, placeholder.height), std::make_pair(4, 4));
        surface->Release();
    }
}

TEST_F(ImageLoaderTest, ImageIsDrawnOverTheBackgroundColourOnASurfaceOfItsSize) {
    // Transparent red, opaque blue, opaque green.
    const std::vector<std::uint8_t> rgba{255, 0, 0, 0, 0, 0, 255, 255, 0, 255, 0, 255};
    IDirectDrawSurface* surface = loadImage(programPng("three.png", 3, 1, rgba));
    ASSERT_NE(surface, nullptr);
    EXPECT_TRUE(shownBoxes().empty());
    EXPECT_EQ(surfacePixels(surface).data,
              std::vector<std::uint16_t>({tunables::backgroundColour, 0x001F, 0x07E0}));
    surface->Release();
}

TEST_F(ImageLoaderTest, ImageObjectOfAFileOrABlankFourByFourAfterTheBox) {
    const std::pair<std::wstring, UINT> cases[] = {{programPng("box.png", 30, 12), 30},
                                                   {kMissing, 4}};
    for (const auto& [path, width] : cases) {
        IImage* image = loadImageObject(path);
        ASSERT_NE(image, nullptr);
        ImageInfo info{};
        image->GetImageInfo(&info);
        EXPECT_EQ(info.Width, width);
        image->Release();
    }
    expectImageNotFoundBox(L"tn_common_normal.png");
}

// The file is replaced whole, even at full scale: a reader that opened it before keeps reading
// the old file, and no partial or temporary file is left. A file of 24-bit pixels in one colour
// keeps it.
TEST_F(ImageLoaderTest, RescalingRewritesTheFileWholeWithFractionsDropped) {
    const std::tuple<double, unsigned, unsigned> cases[] = {{0.5, 50, 20}, {1.0, 100, 41}};
    for (const auto& [scale, width, height] : cases) {
        scaleFactor = scale;
        const std::wstring path = programPng("wide.png", 100, 41, {40, 128, 220, 255}, false);
        const auto hostPath = device.programDir() / "wide.png";
        const auto anHourAgo = std::filesystem::last_write_time(hostPath) - std::chrono::hours(1);
        std::filesystem::last_write_time(hostPath, anHourAgo);
        std::ifstream openedBefore(hostPath, std::ios::binary);
        const std::string original = fileBytes(hostPath);
        rescaleImageFile(path);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(openedBefore), {}), original);
        EXPECT_EQ(pngSize(hostPath), std::make_pair(width, height));
        platform::imaging::DecodedPng png;
        ASSERT_EQ(platform::imaging::decodePngFile(hostPath, png), S_OK);
        const std::uint8_t* centre = png.image.pixel(width / 2, height / 2);
        EXPECT_EQ(std::vector<int>(centre, centre + 4), (std::vector<int>{40, 128, 220, 255}));
        EXPECT_GT(std::filesystem::last_write_time(hostPath), anHourAgo);
    }
    EXPECT_TRUE(shownBoxes().empty());
    for (const auto& entry : std::filesystem::directory_iterator(device.programDir())) {
        EXPECT_EQ(entry.path().filename(), "wide.png");
    }
}

TEST_F(ImageLoaderTest, AnUnknownOrSuccessImagingCodeReturnsWithoutABox) {
    for (HRESULT code : {static_cast<HRESULT>(0x80004005), S_OK, S_FALSE}) {
        reportImagingError(code, L"BeginSink"); // a fatal path would end this test's process
    }
    EXPECT_TRUE(shownBoxes().empty());
}

TEST(ImagingErrorDeathTest, KnownCodeIsShownUnderItsContextAndEndsTheProgram) {
    expectBoxAndExit([] { reportImagingError(static_cast<HRESULT>(0x887B0006), L"BeginSink"); },
                     "BeginSink\\|30\\|IMGERR_CODECNOTFOUND");
}

} // namespace

// The resource manager: resource directory, scale factor and orientation, the installation mark
// and the font copies, the image paths, the one-time rescaling on small screens (with its marker,
// and an interrupted first start finished without scaling anything twice), missing resources.
#include "ToolkitTestSupport.h"

#include "ImageLoader.h"
#include "ResourceManager.h"
#include "Tunables.h"

#include "registry/Registry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace toolkit_test;

namespace {

const std::wstring kImageDir = L"\\Program Files\\Dawnbell\\resources\\VGA\\";

// The size every test image starts with: distinct per image, odd sides to see truncation.
PngSize originalSize(int image) {
    return PngSize{41u + 2u * static_cast<unsigned>(image), 21u + static_cast<unsigned>(image),
                   true};
}

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeText(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

class ResourceManagerTest : public ::testing::Test {
protected:
    std::unique_ptr<ToolkitDevice> device;

    void startDevice(int width, int height, int dpi = 192) {
        device = std::make_unique<ToolkitDevice>(width, height, dpi);
    }

    std::filesystem::path imageDir() const { return device->programDir() / "resources" / "VGA"; }
    std::filesystem::path imageFile(int image) const {
        return imageDir() / narrow(imageFileNames[static_cast<size_t>(image)]);
    }
    static std::filesystem::path windowsFile(const wchar_t* name) {
        return ToolkitDevice::host(std::wstring(L"\\windows\\") + name);
    }

    void installResourceSet() {
        std::filesystem::create_directories(imageDir());
        for (int i = 0; i < toolkitImageCount; ++i) {
            writePng(imageFile(i), originalSize(i).width, originalSize(i).height);
        }
        writeText(imageDir() / narrow(thinFontFile), "thin font");
        writeText(imageDir() / narrow(labelFontFile), "label font");
    }

    // A later start of the program on the same device.
    static void restart() { platform::registry::reload(); }

    static HKEY openInstallKey() {
        HKEY key = nullptr;
        DWORD disposition = 0;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, installKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, &disposition);
        return key;
    }
    static void setInstallMark(DWORD value) {
        HKEY key = openInstallKey();
        RegSetValueExW(key, installValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
        RegCloseKey(key);
    }
    static bool readInstallMark(DWORD& value, DWORD& type) {
        HKEY key = openInstallKey();
        DWORD size = sizeof value;
        const bool read =
            RegQueryValueExW(key, installValue, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                             &size) == ERROR_SUCCESS &&
            size == sizeof value;
        RegCloseKey(key);
        return read;
    }

    void expectImagesScaledBy(int numerator, int denominator) {
        for (int i = 0; i < toolkitImageCount; ++i) {
            const PngSize size = readPngSize(imageFile(i));
            ASSERT_TRUE(size.valid) << narrow(imageFileNames[static_cast<size_t>(i)]);
            EXPECT_EQ(size.width, originalSize(i).width * numerator / denominator) << i;
            EXPECT_EQ(size.height, originalSize(i).height * numerator / denominator) << i;
        }
    }

    void expectNoWorkFilesLeft() {
        for (const auto& entry : std::filesystem::directory_iterator(imageDir())) {
            const std::string name = entry.path().filename().string();
            const bool expected = name.ends_with(".png") || name.ends_with(".ttf") ||
                                  name.ends_with(".TTF") || name == "AlreadyScalled.txt";
            EXPECT_TRUE(expected) << "left behind: " << name;
        }
    }
};

std::string markerBytes() {
    std::string bytes;
    for (const wchar_t* c = scaledMarkerText; *c != 0; ++c) {
        bytes.push_back(static_cast<char>(*c & 0xFF));
        bytes.push_back(static_cast<char>((*c >> 8) & 0xFF));
    }
    return bytes;
}

// ---- Directory, paths, scale and orientation ---------------------------------------------------

TEST_F(ResourceManagerTest, VgaScreenKeepsTheImagesAndBuildsThePathsInTableOrder) {
    startDevice(480, 640);
    installResourceSet();
    loadResources();
    EXPECT_EQ(resourceDir, L"\\Program Files\\Dawnbell\\resources\\");
    EXPECT_EQ(imageDirectory(), kImageDir);
    EXPECT_EQ(scaleFactor, 1.0);
    EXPECT_EQ(portrait, 1);
    EXPECT_EQ(imagePaths[0], kImageDir + L"bg_common_titlebar.png");
    EXPECT_EQ(imagePaths[14], kImageDir + L"bg_common_dotline.png");
    EXPECT_EQ(imagePaths[20], kImageDir + L"sliderBtn.png");
    EXPECT_FALSE(std::filesystem::exists(imageDir() / "AlreadyScalled.txt"));
    expectImagesScaledBy(1, 1);
    expectNoWorkFilesLeft();
}

TEST_F(ResourceManagerTest, MessageBoxEventIsAManualResetEventCreatedSignalled) {
    startDevice(480, 640);
    installResourceSet();
    loadResources();
    ASSERT_NE(messageBoxEvent, nullptr);
    EXPECT_EQ(WaitForSingleObject(messageBoxEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(messageBoxEvent, 0), WAIT_OBJECT_0);
    ResetEvent(messageBoxEvent);
    EXPECT_EQ(WaitForSingleObject(messageBoxEvent, 0), WAIT_TIMEOUT);
}

TEST_F(ResourceManagerTest, LandscapeSmallScreenUsesItsShorterSide) {
    startDevice(320, 240, 96);
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 320);
    installResourceSet();
    loadResources();
    EXPECT_EQ(scaleFactor, 0.5);
    EXPECT_EQ(portrait, 0);
}

TEST_F(ResourceManagerTest, OnlyTheWidthIsComparedWith480) {
    startDevice(640, 480);
    installResourceSet();
    loadResources();
    EXPECT_EQ(scaleFactor, 1.0);
    EXPECT_EQ(portrait, 0);
    EXPECT_FALSE(std::filesystem::exists(imageDir() / "AlreadyScalled.txt"));
}

TEST_F(ResourceManagerTest, ScaleFactorIsTheShorterSideTimesTheNearestDoubleToOne480th) {
    startDevice(360, 640, 144);
    installResourceSet();
    loadResources();
    EXPECT_EQ(scaleFactor, 360 * (1.0 / 480));
}

// ---- One-time rescaling ------------------------------------------------------------------------

TEST_F(ResourceManagerTest, FirstStartOnASmallScreenHalvesEveryImageAndWritesTheMarker) {
    startDevice(240, 320, 96);
    installResourceSet();
    loadResources();
    EXPECT_EQ(scaleFactor, 0.5);
    EXPECT_EQ(portrait, 1);
    expectImagesScaledBy(1, 2);
    const std::string marker = fileText(imageDir() / "AlreadyScalled.txt");
    EXPECT_EQ(marker.size(), 70u);
    EXPECT_EQ(marker, markerBytes());
    EXPECT_EQ(marker.substr(0, 4), std::string("Y\0o\0", 4)); // no byte-order mark
    expectNoWorkFilesLeft();
}

TEST_F(ResourceManagerTest, SecondStartOnASmallScreenTouchesNoImage) {
    startDevice(240, 320, 96);
    installResourceSet();
    loadResources();
    std::vector<std::string> afterFirst;
    for (int i = 0; i < toolkitImageCount; ++i) {
        afterFirst.push_back(fileText(imageFile(i)));
    }
    restart();
    loadResources();
    for (int i = 0; i < toolkitImageCount; ++i) {
        EXPECT_EQ(fileText(imageFile(i)), afterFirst[static_cast<size_t>(i)]) << i;
    }
    expectImagesScaledBy(1, 2);
}

TEST_F(ResourceManagerTest, MissingImageOnTheFirstSmallStartIsReportedAndTheOthersAreScaled) {
    startDevice(240, 320, 96);
    installResourceSet();
    std::filesystem::remove(imageFile(imageSlider));
    loadResources();
    const auto boxes = platform::Device::instance().messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, pathTail(kImageDir + L"btn_common_slider.png"));
    EXPECT_EQ(readPngSize(imageFile(imageSliderButton)).width, originalSize(20).width / 2);
    EXPECT_TRUE(std::filesystem::exists(imageDir() / "AlreadyScalled.txt"));
}

struct Interruption {
    int image;
    RescaleStep step;
};

class InterruptedRescaleTest : public ResourceManagerTest,
                               public ::testing::WithParamInterface<Interruption> {};

Interruption stopAt;

bool stopAtTheChosenStep(int image, RescaleStep step) {
    return !(image == stopAt.image && step == stopAt.step);
}

// A first start cut off anywhere leaves no marker; the next start finishes the job, and every
// image ends up scaled exactly once.
TEST_P(InterruptedRescaleTest, NextStartFinishesWithoutScalingAnyImageTwice) {
    startDevice(240, 320, 96);
    installResourceSet();
    stopAt = GetParam();
    rescaleStepHook = stopAtTheChosenStep;
    loadResources();
    rescaleStepHook = nullptr;
    EXPECT_FALSE(std::filesystem::exists(imageDir() / "AlreadyScalled.txt"));
    for (int i = 0; i < toolkitImageCount; ++i) {
        EXPECT_TRUE(readPngSize(imageFile(i)).valid) << "image " << i << " is not a whole PNG";
    }

    restart();
    loadResources();
    expectImagesScaledBy(1, 2);
    EXPECT_EQ(fileText(imageDir() / "AlreadyScalled.txt"), markerBytes());
    expectNoWorkFilesLeft();

    restart();
    loadResources();
    expectImagesScaledBy(1, 2);
}

INSTANTIATE_TEST_SUITE_P(EveryStep, InterruptedRescaleTest,
                         ::testing::Values(Interruption{0, RescaleStep::scaledCopyWritten},
                                           Interruption{0, RescaleStep::progressRecorded},
                                           Interruption{7, RescaleStep::scaledCopyWritten},
                                           Interruption{7, RescaleStep::progressRecorded},
                                           Interruption{7, RescaleStep::imageReplaced},
                                           Interruption{7, RescaleStep::imageFinished},
                                           Interruption{20, RescaleStep::progressRecorded},
                                           Interruption{20, RescaleStep::imageReplaced},
                                           Interruption{20, RescaleStep::imageFinished}));

TEST_F(ResourceManagerTest, TwoInterruptedStartsInARowStillScaleEachImageOnce) {
    startDevice(240, 320, 96);
    installResourceSet();
    stopAt = {5, RescaleStep::imageReplaced};
    rescaleStepHook = stopAtTheChosenStep;
    loadResources();
    restart();
    stopAt = {12, RescaleStep::progressRecorded};
    loadResources();
    rescaleStepHook = nullptr;
    restart();
    loadResources();
    expectImagesScaledBy(1, 2);
}

// ---- Installation ------------------------------------------------------------------------------

TEST_F(ResourceManagerTest, FirstStartCopiesTheFontsAndWritesTheInstallationMark) {
    startDevice(480, 640);
    installResourceSet();
    loadResources();
    EXPECT_EQ(fileText(windowsFile(thinFontFile)), "thin font");
    EXPECT_EQ(fileText(windowsFile(labelFontFile)), "label font");
    DWORD value = 0;
    DWORD type = 0;
    ASSERT_TRUE(readInstallMark(value, type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 0x33333333u);
}

TEST_F(ResourceManagerTest, PresentMarkSkipsTheInstallation) {
    startDevice(480, 640);
    installResourceSet();
    setInstallMark(0x33333333);
    loadResources();
    EXPECT_FALSE(std::filesystem::exists(windowsFile(thinFontFile)));
    EXPECT_FALSE(std::filesystem::exists(windowsFile(labelFontFile)));
}

TEST_F(ResourceManagerTest, OtherMarkValueIsRewrittenAndTheFontsCopied) {
    startDevice(480, 640);
    installResourceSet();
    setInstallMark(0x33333334);
    loadResources();
    DWORD value = 0;
    DWORD type = 0;
    ASSERT_TRUE(readInstallMark(value, type));
    EXPECT_EQ(value, 0x33333333u);
    EXPECT_TRUE(std::filesystem::exists(windowsFile(labelFontFile)));
}

TEST_F(ResourceManagerTest, AbsentMarkCopiesTheFontsButLeavesExistingCopiesAlone) {
    startDevice(480, 640);
    installResourceSet();
    HKEY key = openInstallKey(); // the key exists, the value does not
    RegCloseKey(key);
    writeText(windowsFile(labelFontFile), "already installed");
    loadResources();
    EXPECT_EQ(fileText(windowsFile(labelFontFile)), "already installed");
    EXPECT_EQ(fileText(windowsFile(thinFontFile)), "thin font");
    DWORD value = 0;
    DWORD type = 0;
    EXPECT_TRUE(readInstallMark(value, type));
}

TEST_F(ResourceManagerTest, MissingFontsAreNoObstacle) {
    startDevice(480, 640);
    installResourceSet();
    std::filesystem::remove(imageDir() / narrow(thinFontFile));
    loadResources();
    EXPECT_FALSE(std::filesystem::exists(windowsFile(thinFontFile)));
    DWORD value = 0;
    DWORD type = 0;
    EXPECT_TRUE(readInstallMark(value, type));
}

TEST_F(ResourceManagerTest, LaterStartWithoutTheDirectoryIsNotStoppedHere) {
    startDevice(480, 640);
    setInstallMark(0x33333333);
    loadResources(); // the widgets will report the missing images one by one
    EXPECT_EQ(imagePaths[4], kImageDir + L"btn_common_normal.png");
}

TEST(ResourceManagerDeathTest, MissingDirectoryOnTheFirstStartShowsTheBoxAndEnds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ToolkitDevice device;
            printMessageBoxesAtExit();
            loadResources();
        },
        ::testing::ExitedWithCode(0),
        "BOX Resource not available!\\|10\\|Could not find resources for your "
        "application\\.\\.\\.\\\\r\\\\nCheck this directory:\\\\r\\\\n.Program "
        "Files.Dawnbell.resources.VGA.");
}

} // namespace

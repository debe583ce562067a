// The resource manager: scale factor and orientation per screen, the image paths, the one-time
// rescaling on small screens with its marker (also after an interrupted first start), the
// installation mark with the font copies, and missing resources.
#include "support/Toolkit.h"

#include "registry/Registry.h"

using namespace toolkit_test;

namespace {

const std::wstring kImageDir = L"\\Program Files\\Dawnbell\\resources\\VGA\\";
constexpr DWORD kMark = 0x33333333;

// Every test image starts distinct in size, with odd sides to see truncation.
std::pair<unsigned, unsigned> originalSize(int image, double scale = 1.0) {
    return {static_cast<unsigned>((41 + 2 * image) * scale),
            static_cast<unsigned>((21 + image) * scale)};
}

std::filesystem::path windowsFile(const wchar_t* name) {
    return platform::paths::toHost(std::wstring(L"\\windows\\") + name);
}

// The marker text in UTF-16LE (as this little-endian host stores it), without byte-order mark or
// terminator.
const std::u16string kMarkerText = u"Your resources are already scalled!";
const std::string kMarkerBytes(reinterpret_cast<const char*>(kMarkerText.data()), 2 * 35);

// The installation mark: -2 no key, -1 the key without the value, else a REG_DWORD value.
void setInstallMark(long long mark) {
    if (mark < -1) {
        return;
    }
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, installKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    const auto value = static_cast<DWORD>(mark);
    if (mark >= 0) {
        RegSetValueExW(key, installValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
    }
    RegCloseKey(key);
}

long long installMark() {
    HKEY key = nullptr;
    DWORD value = 0, type = 0, size = sizeof value;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, installKey, 0, KEY_ALL_ACCESS, &key);
    const bool read = RegQueryValueExW(key, installValue, nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return read && type == REG_DWORD && size == sizeof value ? value : -1;
}

class ResourceManagerTest : public ::testing::Test {
protected:
    std::unique_ptr<ToolkitDevice> device;

    // A device whose program folder holds the whole resource set.
    void startDevice(int width, int height, int dpi = 192) {
        device.reset(); // the device before goes first
        device = std::make_unique<ToolkitDevice>(width, height, dpi);
        std::filesystem::create_directories(imageDir());
        for (int i = 0; i < toolkitImageCount; ++i) {
            writePng(imageFile(i), static_cast<int>(originalSize(i).first),
                     static_cast<int>(originalSize(i).second));
        }
        std::ofstream(imageDir() / narrow(thinFontFile)) << "thin font";
        std::ofstream(imageDir() / narrow(labelFontFile)) << "label font";
    }

    std::filesystem::path imageDir() const { return device->programDir() / "resources" / "VGA"; }
    std::filesystem::path imageFile(int image) const {
        return imageDir() / narrow(imageFileNames[static_cast<size_t>(image)]);
    }
    bool markerExists() const { return std::filesystem::exists(imageDir() / "AlreadyScalled.txt"); }

    void expectImagesScaledBy(double factor) {
        for (int i = 0; i < toolkitImageCount; ++i) {
            EXPECT_EQ(pngSize(imageFile(i)), originalSize(i, factor)) << i;
        }
    }

    // Only the resource set and the marker are left, no copy or progress file.
    void expectNoWorkFilesLeft() {
        const auto entries = std::distance(std::filesystem::directory_iterator(imageDir()), {});
        EXPECT_EQ(entries, toolkitImageCount + 2 + (markerExists() ? 1 : 0));
    }
};

TEST_F(ResourceManagerTest, ScaleIsTheShorterSideOver480OnlyBelow480WideAndImagesFollowIt) {
    // Width, height, dpi, then the scale factor and portrait flag they give.
    const std::tuple<int, int, int, double, BYTE> screens[] = {
        {480, 640, 192, 1.0, 1},
        {320, 240, 96, 0.5, 0}, // the height is shorter
        {640, 480, 192, 1.0, 0},
        {640, 360, 192, 1.0, 0}, // only the width counts
        {360, 640, 144, 0.75, 1}};
    for (const auto& [width, height, dpi, scale, isPortrait] : screens) {
        SCOPED_TRACE(width);
        startDevice(width, height, dpi);
        loadResources();
        EXPECT_EQ(scaleFactor, scale);
        EXPECT_EQ(portrait, isPortrait);
        expectImagesScaledBy(scale);
        EXPECT_EQ(markerExists(), scale != 1.0);
        expectNoWorkFilesLeft();
    }
}

// Where each start is cut off, as a power cut would: one entry per interrupted start.
using Interruptions = std::vector<std::pair<int, RescaleStep>>;
Interruptions stops;

bool goOnUnlessStoppedHere(int image, RescaleStep step) {
    return stops.empty() || stops.front() != std::pair{image, step};
}

TEST_F(ResourceManagerTest, AStartCutOffWhileRescalingIsFinishedByTheNextWithoutScalingTwice) {
    const Interruptions cases[] = {
        {{0, RescaleStep::scaledCopyWritten}},
        {{7, RescaleStep::progressRecorded}},
        {{7, RescaleStep::imageReplaced}},
        {{20, RescaleStep::imageFinished}},
        {{5, RescaleStep::imageReplaced}, {12, RescaleStep::progressRecorded}}};
    const RescaleStops cutOff(goOnUnlessStoppedHere);
    for (const Interruptions& interruptions : cases) {
        SCOPED_TRACE(interruptions.front().first);
        startDevice(240, 320, 96);
        for (stops = interruptions; !stops.empty(); stops.erase(stops.begin())) {
            loadResources();
            EXPECT_FALSE(markerExists());
            for (int i = 0; i < toolkitImageCount; ++i) {
                EXPECT_NE(pngSize(imageFile(i)).first, 0u) << "image " << i << " is not whole";
            }
            platform::registry::reload(); // a later start on the same device
        }
        for (int start = 0; start < 2; ++start) { // the marker keeps the next from scaling again
            loadResources();
            expectImagesScaledBy(0.5);
            platform::registry::reload();
        }
        EXPECT_EQ(fileBytes(imageDir() / "AlreadyScalled.txt"), kMarkerBytes);
        expectNoWorkFilesLeft();
    }
}

TEST_F(ResourceManagerTest, FontsAreCopiedAndTheMarkWrittenUnlessThisProgramsMarkIsPresent) {
    // The mark before (-2: no key, -1: the key without the value), whether the label font was
    // installed before, whether the thin font is shipped, whether the program installs.
    const std::tuple<long long, bool, bool, bool> cases[] = {
        {-2, false, true, true},     {-1, true, true, true},   {0x33333334, false, true, true},
        {kMark, false, true, false}, {-2, false, false, true},
    };
    for (const auto& [markBefore, labelFontBefore, thinFontShipped, installs] : cases) {
        SCOPED_TRACE(markBefore);
        startDevice(480, 640);
        setInstallMark(markBefore);
        if (labelFontBefore) {
            std::ofstream(windowsFile(labelFontFile)) << "already installed";
        }
        if (!thinFontShipped) {
            std::filesystem::remove(imageDir() / narrow(thinFontFile));
        }
        loadResources();
        EXPECT_EQ(installMark(), installs ? kMark : markBefore);
        EXPECT_EQ(fileBytes(windowsFile(thinFontFile)),
                  installs && thinFontShipped ? "thin font" : "");
        EXPECT_EQ(fileBytes(windowsFile(labelFontFile)), labelFontBefore ? "already installed"
                                                         : installs      ? "label font"
                                                                         : "");
    }
}

TEST(ResourceManagerNoDirectory, ALaterStartLeavesItToTheWidgets) {
    ToolkitDevice device;
    setInstallMark(kMark);
    loadResources(); // a fatal path would end this test's process; the widgets report the images
    EXPECT_EQ(imagePaths[4], kImageDir + L"btn_common_normal.png");
}

TEST(ResourceManagerDeathTest, MissingDirectoryOnTheFirstStartShowsTheBoxAndEnds) {
    expectBoxAndExit([] { loadResources(); },
                     "Resource not available!\\|10\\|Could not find resources for your application"
                     "\\.\\.\\...Check this directory:...Program Files.Dawnbell.resources.VGA.");
}

} // namespace

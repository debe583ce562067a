// The first start on a small screen under kills: the program copying its images for the device
// and rescaling that copy is killed at a random moment, then started again without a kill. That
// start must finish the job: every image of the copy a whole PNG at exactly half its size (never
// left full, never halved twice), the marker written with its text, no half-made copy,
// scaled copy, progress list or temporary left behind, and the program's own set as shipped.
#include "support/Kill.h"
#include "ResourceManager.h"
#include "imaging/PngCodec.h"
#include "kernel/Paths.h"

#include <algorithm>

namespace {

using namespace killtest;
using platform::paths::narrow;

using Size = std::pair<int, int>; // width, height

// The size of a PNG file that decodes whole; {0, 0} otherwise.
Size decodedSize(const fs::path& file) {
    platform::imaging::DecodedPng png;
    if (FAILED(platform::imaging::decodePngFile(file, png)))
        return {};
    return {png.image.width, png.image.height};
}

class FirstSmallStartKillTest : public ::testing::Test {
protected:
    const std::uint64_t startValue = randomStartValue();
    TemporaryFolder folder;
    const fs::path program = folder.path / "program";
    const fs::path device = folder.path / "device";
    const fs::path images = program / "resources" / "VGA";
    // The device's own copy, which the small screen rescales.
    const fs::path scaled = device / "resources" / "240x320-96dpi" / "VGA";
    const fs::path marker = scaled / narrow(scaledMarkerFile);
    const std::vector<std::string> environment{"DAWNBELL_DEVICE_DIR=" + device.string(),
                                               "DAWNBELL_SCREEN=240x320", "DAWNBELL_DPI=96"};
    // The program's resource set, as the build made it.
    const fs::path shipped =
        fs::path(setting("DAWNBELL_TEST_BIN", DAWNBELL_PROGRAM_DIR)) / "resources" / "VGA";

    // A device that has never run the program, with the full-size images beside it.
    void freshDevice() const {
        fs::remove_all(program);
        fs::remove_all(device);
        fs::create_directories(images);
        for (const wchar_t* name : imageFileNames)
            fs::copy_file(shipped / narrow(name), images / narrow(name));
    }

    // Every image at half its size, the marker's text, and nothing else in the folder; no
    // temporary in the device's folder. Returns how many images are damaged or wrongly sized.
    int checkFinished() const {
        int wrong = 0;
        for (const wchar_t* name : imageFileNames) {
            const Size full = decodedSize(shipped / narrow(name));
            // Only then do full, half and quarter size differ.
            EXPECT_GE(std::max(full.first, full.second), 4) << narrow(name);
            EXPECT_EQ(decodedSize(images / narrow(name)), full) << "the program's own image";
            // No side shrinks below one pixel (the dotted line is one pixel high).
            const Size half{std::max(full.first / 2, 1), std::max(full.second / 2, 1)};
            const Size found = decodedSize(scaled / narrow(name));
            EXPECT_EQ(found, half) << narrow(name);
            wrong += found != half;
        }
        const std::wstring text = scaledMarkerText;
        std::u16string expected(text.begin(), text.end());
        EXPECT_EQ(fileBytes(marker),
                  std::string(reinterpret_cast<const char*>(expected.data()), expected.size() * 2));
        EXPECT_EQ(std::distance(fs::directory_iterator(scaled), {}), toolkitImageCount + 1)
            << "a work file is left";
        EXPECT_EQ(std::distance(fs::directory_iterator(scaled.parent_path().parent_path()), {}), 1)
            << "a half-made copy is left";
        EXPECT_EQ(temporariesIn(device), 0);
        return wrong;
    }
};

TEST_F(FirstSmallStartKillTest, AfterEveryKillACleanStartHalvesEachImageOnceAndMarksItOnce) {
    const int kills = std::atoi(setting("DAWNBELL_RESCALE_KILLS", DAWNBELL_RESCALE_KILL_COUNT));
    if (kills == 0)
        GTEST_SKIP() << "this build asks for no kills";
    std::mt19937_64 random(startValue);

    // How long the rescaling takes here (the shorter of two runs: the first one also loads the
    // program from disk); the kills fall anywhere in it and a little after.
    Clock::duration window = Clock::duration::max();
    for (int run = 0; run < 2; ++run) {
        freshDevice();
        Child first({"first-start", program.string()}, environment);
        ASSERT_TRUE(first.waitFor('S'));
        const auto started = Clock::now();
        ASSERT_TRUE(first.waitFor('D'));
        window = std::min(window, (Clock::now() - started) * 11 / 10);
        EXPECT_TRUE(first.wait());
        checkFinished();
    }

    int damaged = 0;
    for (int kill = 0; kill < kills && !HasFailure(); ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        freshDevice();
        {
            Child cut({"first-start", program.string()}, environment);
            ASSERT_TRUE(cut.waitFor('S'));
            waitRandomly(random, window);
        }
        Child clean({"first-start", program.string()}, environment);
        EXPECT_EQ(clean.output(), "SD");
        ASSERT_TRUE(clean.wait());
        damaged += checkFinished();
    }
    std::printf("First small start: %d kills, %d damaged or wrongly sized images\n", kills,
                damaged);
    EXPECT_EQ(damaged, 0);
}

} // namespace

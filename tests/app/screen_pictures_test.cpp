// The screens as a user sees them, pixel for pixel, against reference pictures kept in
// tests/app/pictures: the main screen at start on both phones, its end with the recent rows,
// the search and Quit, a field being typed into above the keyboard, and the question a held row
// asks. A caption a pixel off, a wrong colour, a lost frame line or a glyph drawn in the wrong
// face all show here, where the tests of single widgets look at a few pixels each.
//
// A change of the look that is meant: run the test with DAWNBELL_UPDATE_PICTURES=1, open the
// rewritten PNG files and look at them as a user would before committing them. On a difference
// the picture seen is written beside the test's temporary files, and named in the failure.
#include "support/Program.h"

#include "RecentComputers.h"
#include "RecentPanel.h"

#include <cstdlib>

using namespace program_test;

namespace {

std::filesystem::path referencePicture(const std::string& name) {
    return std::filesystem::path(DAWNBELL_TEST_PICTURES) / (name + ".png");
}

// The whole screen as composed now, as 8-bit RGBA widened from RGB565 the way the display does.
platform::imaging::RgbaImage screenNow() {
    auto& device = platform::Device::instance();
    const auto pixels = device.compose(RECT{0, 0, device.width(), device.height()});
    platform::imaging::RgbaImage image(device.width(), device.height());
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const int r5 = pixels[i] >> 11, g6 = (pixels[i] >> 5) & 0x3F, b5 = pixels[i] & 0x1F;
        image.rgba[i * 4] = static_cast<std::uint8_t>((r5 << 3) | (r5 >> 2));
        image.rgba[i * 4 + 1] = static_cast<std::uint8_t>((g6 << 2) | (g6 >> 4));
        image.rgba[i * 4 + 2] = static_cast<std::uint8_t>((b5 << 3) | (b5 >> 2));
        image.rgba[i * 4 + 3] = 255;
    }
    return image;
}

void writePicture(const platform::imaging::RgbaImage& image, const std::filesystem::path& file) {
    std::vector<std::uint8_t> bytes;
    platform::imaging::encodePng(image, false, bytes);
    writeBytes(file, std::string(bytes.begin(), bytes.end()));
}

// The screen must equal the reference picture `name`; the differing pixels' count and the box
// around them say where it does not.
void expectPicture(const std::string& name) {
    const auto seen = screenNow();
    const auto reference = referencePicture(name);
    if (std::getenv("DAWNBELL_UPDATE_PICTURES") != nullptr) {
        writePicture(seen, reference);
        return;
    }
    platform::imaging::DecodedPng expected;
    ASSERT_TRUE(SUCCEEDED(platform::imaging::decodePngFile(reference, expected)))
        << reference << " can't be read";
    ASSERT_EQ(std::pair(expected.image.width, expected.image.height),
              std::pair(seen.width, seen.height))
        << name;
    int differing = 0;
    RECT box{seen.width, seen.height, -1, -1};
    for (int y = 0; y < seen.height; ++y) {
        for (int x = 0; x < seen.width; ++x) {
            const std::size_t at = (static_cast<std::size_t>(y) * seen.width + x) * 4;
            if (!std::equal(&seen.rgba[at], &seen.rgba[at] + 3, &expected.image.rgba[at])) {
                ++differing;
                box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y),
                       std::max<LONG>(box.right, x + 1), std::max<LONG>(box.bottom, y + 1)};
            }
        }
    }
    if (differing > 0) {
        const auto written = std::filesystem::path(::testing::TempDir()) / (name + ".seen.png");
        writePicture(seen, written);
        ADD_FAILURE() << name << ": " << differing << " pixels differ, within (" << box.left << ", "
                      << box.top << ")-(" << box.right << ", " << box.bottom << "); seen in "
                      << written;
    }
}

Element* recentRow(std::size_t index) {
    return findElementById(static_cast<int>(recentRowFirstId + index));
}

class ScreenPicturesTest : public ProgramTest {
protected:
    // Two computers woken before and the fields of the last run, as a user who came back finds
    // them.
    static void cameBack() {
        questionAnsweredBefore();
        RecentComputers recent;
        recent.load();
        ASSERT_TRUE(recent.remember({L"nas.local", L"00:11:32:0a:bc:de", L""}));
        ASSERT_TRUE(recent.remember({L"192.168.1.20", L"00:1A:2B:3C:4D:5E", L"9"}));
        ASSERT_TRUE(
            SettingsKey::open()->writeFields({L"192.168.1.20", L"00:1A:2B:3C:4D:5E", L"9"}));
    }
};

TEST_F(ScreenPicturesTest, TheMainScreenOnTheVgaPhoneFromStartToTheQuestionOfAHeldRow) {
    cameBack();
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend)).then([] { expectPicture("vga_start"); });
    tap(script, [] { return centreOfElement(macFieldId); });
    script
        .waitFor(bounded([] { return program_harness::field(macFieldId)->editorOpen; },
                         "the editor of the MAC address"))
        .then([] { expectPicture("vga_typing"); });
    script.then([] { endEditing(); });
    scrollToTheEnd(script);
    script.then([] { expectPicture("vga_end"); });
    auto held = std::make_shared<POINT>();
    script.then([held] { touch(PointerAction::down, *held = centreOf(recentRow(1)->screenRect)); })
        .then([] { platform::clock::advance(600); })
        .waitFor(bounded([] { return boxButton(1).has_value(); }, "the question"))
        .then([held] {
            touch(PointerAction::up, *held);
            expectPicture("vga_forget");
        })
        .then([] { platform::clock::advance(400); });
    tapBoxButton(script, 1); // No
    script.waitFor(bounded([] { return shownBox() == nullptr; }, "the answer"));
    quitNow(script);
    EXPECT_TRUE(runProgram(script));
}

TEST_F(ScreenPicturesTest, TheSmallPhoneShowsTheSameScreenAtHalfItsSize) {
    ToolkitDevice phone(240, 320, 96);
    installResourceSet(phone);
    cameBack();
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend)).then([] { expectPicture("qvga_start"); });
    scrollToTheEnd(script);
    script.then([] { expectPicture("qvga_end"); });
    quitNow(script);
    EXPECT_TRUE(runProgram(script));
}

} // namespace

// The device's own copy of the program's images for a small screen: what cleaning the copies'
// folder may touch, when a copy is made again, and what happens when none can be made.
#include "support/User.h"

#include "device/ImageSet.h"
#include "support/Files.h"
#include "support/SecondUser.h"

#include <sys/stat.h>
#include <sys/wait.h>

using namespace usertest;
namespace fs = std::filesystem;
using platform::device::ownImageSet;
using testsupport::fileBytes, testsupport::writeBytes;

namespace {

struct ImageFolders {
    testsupport::TemporaryFolder folder;
    fs::path program = folder.path / "resources" / "VGA", device = folder.path / "device",
             copies = device / "resources", copy = copies / "240x320-96dpi" / "VGA";
    ImageFolders() {
        fs::create_directories(program);
        fs::create_directories(device);
        writeBytes(program / "a.png", "full");
        fs::permissions(folder.path, fs::perms::all); // for the second user
    }
    fs::path ownCopy() const { return ownImageSet(device, program, "240x320-96dpi"); }
};

// The names in a folder, and the bytes of the files in it, "name=bytes" or "name/" for a folder.
std::set<std::string> contents(const fs::path& folder) {
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        found.insert(entry.is_symlink() || !entry.is_regular_file()
                         ? name + "/"
                         : name + "=" + fileBytes(entry.path()));
    }
    return found;
}

// Runs `steps` in a child process as the second user where one can be made (the folders are
// given to it), otherwise as this user; true when they all held.
template <typename Steps>
bool asTheUser(const testsupport::SecondUser& user, const fs::path& root, Steps steps) {
    if (user.made()) {
        for (const auto& entry : fs::recursive_directory_iterator(root))
            lchown(entry.path().c_str(), user.uid, user.gid);
    }
    const pid_t child = fork();
    if (child == 0)
        _exit((!user.made() || user.become()) && steps() ? 0 : 1);
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A link where the copies go, or in the copies' folder, is never followed: what it points to
// stays as it is. Of the entries there, only the program's copies for other screens and its
// copies cut off half made go; other files stay.
TEST(DeviceImageCopyTest, CleaningFollowsNoLinkAndRemovesOnlyTheProgramsOwnCopies) {
    const testsupport::SecondUser user;
    ImageFolders folders;
    const fs::path documents = folders.folder.path / "documents";
    fs::create_directories(documents / "480x800-192dpi");
    writeBytes(documents / "letter.txt", "dear");
    const std::set<std::string> kept{"480x800-192dpi/", "letter.txt=dear"};

    fs::create_directory_symlink(documents, folders.copies);
    EXPECT_TRUE(asTheUser(user, folders.folder.path, [&] { return folders.ownCopy().empty(); }))
        << "a link in the copies' place: no copy";
    EXPECT_EQ(contents(documents), kept);

    fs::remove(folders.copies);
    fs::create_directories(folders.copies / "480x800-192dpi" / "VGA");
    fs::create_directory_symlink(documents, folders.copies / "480x800-192dpi" / "VGA" / "inner");
    fs::create_directory_symlink(documents, folders.copies / "320x480-96dpi"); // a copy's name
    fs::create_directories(folders.copies / ".240x320-96dpi.partial-999999999-0" / "VGA");
    writeBytes(folders.copies / "notes.txt", "mine");
    fs::create_directories(folders.copies / ".320x480-96dpi.partial-999999999"); // an older name
    // Not the program's, or still being made: kept.
    const std::string keptNames[] = {"photos",
                                     "x480-96dpi",
                                     "320x480-96dpix",
                                     ".320x480.partial-999999999-1",
                                     "320x480-96dpi.partial-999999999-1",
                                     ".320x480-96dpi.partial-9999999999-1",
                                     ".320x480-96dpi.partial-999999999-",
                                     ".320x480-96dpi.partial-99999999x-1",
                                     ".240x320-96dpi.partial-" + std::to_string(getpid()) + "-1"};
    std::set<std::string> others{"240x320-96dpi/", "notes.txt=mine"};
    for (const std::string& name : keptNames) {
        fs::create_directories(folders.copies / name);
        others.insert(name + "/");
    }
    for (const char* rescaling : // what a rescaling leaves beside the images is never copied
         {"AlreadyScalled.txt", "RescaleProgress.txt", "a.png.part", "b.png.tmp", ".a.png"})
        writeBytes(folders.program / rescaling, "");
    EXPECT_TRUE(
        asTheUser(user, folders.folder.path, [&] { return folders.ownCopy() == folders.copy; }));
    EXPECT_EQ(contents(documents), kept);
    EXPECT_EQ(contents(folders.copies), others);
    EXPECT_EQ(contents(folders.copy), std::set<std::string>{"a.png=full"});
    if (!user.made())
        GTEST_SKIP() << "ran as this user only: " << user.why;
}

// A copy cut short (an image its user may not read) leaves nothing half made behind.
TEST(DeviceImageCopyTest, ACopyThatCannotBeMadeWholeLeavesNothingBehind) {
    const testsupport::SecondUser user;
    if (!user.made())
        GTEST_SKIP() << "needs a user who may be refused a file: " << user.why;
    ImageFolders folders;
    fs::create_directories(folders.copies);
    writeBytes(folders.program / "b.png", "unread");
    EXPECT_TRUE(asTheUser(user, folders.folder.path, [&] {
        fs::permissions(folders.program / "b.png", fs::perms::none);
        return folders.ownCopy().empty() && fs::is_empty(folders.copies);
    }));
}

// A copy, once rescaled, serves every later start until the program's images change (another
// build or install): then a new copy is made from them.
TEST(DeviceImageCopyTest, ACopyIsMadeAgainWhenTheProgramsImagesChange) {
    ImageFolders folders;
    ASSERT_EQ(folders.ownCopy(), folders.copy);
    writeBytes(folders.copy / "a.png", "half"); // the program's rescaling
    writeBytes(folders.copy / "AlreadyScalled.txt", "done");
    ASSERT_EQ(folders.ownCopy(), folders.copy);
    EXPECT_EQ(fileBytes(folders.copy / "a.png"), "half") << "the same images: the same copy";

    writeBytes(folders.program / "a.png", "newer"); // another size
    ASSERT_EQ(folders.ownCopy(), folders.copy);
    EXPECT_EQ(contents(folders.copy), std::set<std::string>{"a.png=newer"});
    writeBytes(folders.copy / "a.png", "half");
    writeBytes(folders.program / "b.png", "added");
    ASSERT_EQ(folders.ownCopy(), folders.copy);
    EXPECT_EQ(contents(folders.copy), (std::set<std::string>{"a.png=newer", "b.png=added"}));
    writeBytes(folders.copy / "a.png", "half");
    fs::last_write_time(folders.program / "b.png",
                        fs::file_time_type::clock::now() + std::chrono::hours(1)); // same size
    ASSERT_EQ(folders.ownCopy(), folders.copy);
    EXPECT_EQ(fileBytes(folders.copy / "a.png"), "newer");
}

// Where no copy can be made, the program's own images (the build's, an install's) would be
// rescaled in place for every later start: the device ends instead, saying why.
TEST(DeviceImageCopyDeathTest, WithoutACopyASmallScreenEndsSayingWhyAndTheProgramsImagesStay) {
    ImageFolders folders;
    writeBytes(folders.copies, "a file where the copies go");
    platform::DeviceConfig config;
    config.backend = "headless";
    config.width = 240;
    config.height = 320;
    config.dpi = 96;
    config.ownImageSet = true;
    config.deviceDir = folders.device;
    config.programDir = folders.folder.path;
    EXPECT_EXIT(platform::Device::start(config), ::testing::ExitedWithCode(1),
                "images for this screen cannot be copied to .*resources \\(it is a link or a "
                "file, not a folder\\); the program's own images are never rescaled");
    EXPECT_EQ(contents(folders.program), std::set<std::string>{"a.png=full"});
}

} // namespace

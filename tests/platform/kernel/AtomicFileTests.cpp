// Replacing a file in one step: the new bytes and permissions on success; on failure the target
// untouched, no temporary left beside it, and errno telling why.
#include "support/Kernel.h"
#include "kernel/AtomicFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace kerneltest;
using platform::kernel::replaceFileAtomically;

namespace {

mode_t permissions(const fs::path& file) {
    struct stat info {};
    ::stat(file.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(AtomicFileTest, ReplacementHasTheNewBytesAndTheOldFilesPermissionsOrFailsSayingWhy) {
    const TemporaryDevice device;
    const fs::path folder = device.program, file = folder / "settings.reg";
    ASSERT_TRUE(replaceFileAtomically(file, "first"));
    EXPECT_EQ(permissions(file), 0644u) << "a new file is readable by all, not private";
    ::chmod(file.c_str(), 0600);
    ASSERT_TRUE(replaceFileAtomically(file, std::string_view("sec\0nd", 6)));
    EXPECT_EQ(std::tuple(fileBytes(file), permissions(file)),
              std::tuple(std::string("sec\0nd", 6), 0600u));
    ASSERT_TRUE(replaceFileAtomically(file, "third", 0640));
    EXPECT_EQ(permissions(file), 0640u);

    const fs::path target = folder / "picture.png";
    fs::create_directory(target);
    writeBytes(target / "inside", "kept");
    errno = 0;
    EXPECT_FALSE(replaceFileAtomically(target, "bytes"));
    EXPECT_TRUE(errno == EISDIR || errno == ENOTEMPTY || errno == EEXIST) << errno;
    EXPECT_EQ(fileBytes(target / "inside"), "kept");
    EXPECT_EQ(entriesIn(folder), 2u) << "no temporary file is left beside the targets";
    errno = 0;
    EXPECT_FALSE(replaceFileAtomically(folder / "missing" / "file", "bytes"));
    EXPECT_EQ(errno, ENOENT);
}

TEST(AtomicFileTest, OnlyTemporariesOfEndedWritersAreRemovedAlsoInFoldersBelow) {
    const TemporaryDevice device;
    const fs::path folder = device.program;
    std::string ours;
    ::close(platform::kernel::createTemporaryFor(folder / "registry.reg", 0644, ours));
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string ended = std::to_string(child), parent = std::to_string(::getppid());
    fs::create_directories(folder / "resources" / "VGA" / "a" / "b" / "c");
    const std::vector<std::pair<fs::path, bool>> files = {
        {ours, false}, // this process still writes it
        {folder / (".registry.reg.writing-" + ended + "-a1b2c3"), true},
        {folder / "resources" / "VGA" / (".sliderBtn.png.part.writing-" + ended + "-zz0099"), true},
        {folder / (".registry.reg.writing-" + parent + "-a1b2c3"), false}, // still running
        {folder / ("registry.reg.writing-" + ended + "-a1b2c3"), false},   // not hidden
        {folder / (".registry.reg.writing-" + ended + "-a1b2c"), false},   // not the same shape
        {folder / (".registry.reg.writing-1000000000-a1b2c3"), false},     // no process's number
        {folder / "resources/VGA/a/b/c" / (".deep.writing-" + ended + "-a1b2c3"), false},
    };
    for (const auto& [file, removed] : files)
        writeBytes(file, "part");
    fs::create_directory(folder / (".folder.writing-" + ended + "-a1b2c3"));

    EXPECT_EQ(platform::kernel::removeAbandonedTemporaries(folder), 2);
    for (const auto& [file, removed] : files)
        EXPECT_EQ(fs::exists(file), !removed) << file;
    EXPECT_TRUE(fs::is_directory(folder / (".folder.writing-" + ended + "-a1b2c3")));
}

} // namespace

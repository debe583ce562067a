// Replacing a file in one step: the new bytes and permissions on success; on failure the target
// untouched, no temporary left beside it, and errno telling why.
#include "kernel/AtomicFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using platform::kernel::replaceFileAtomically;

class AtomicFileTest : public ::testing::Test {
protected:
    AtomicFileTest() {
        std::string pattern = (fs::temp_directory_path() / "dawnbell-atomic-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
    }
    ~AtomicFileTest() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    static std::string contents(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static mode_t permissions(const fs::path& file) {
        struct stat info {};
        ::stat(file.c_str(), &info);
        return info.st_mode & 07777;
    }
    int entries() const {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(folder)) {
            (void)entry;
            ++count;
        }
        return count;
    }

    fs::path folder;
};

TEST_F(AtomicFileTest, ReplacementHasTheNewBytesAndTheOldFilesPermissions) {
    fs::path file = folder / "settings.reg";
    ASSERT_TRUE(replaceFileAtomically(file, "first"));
    EXPECT_EQ(permissions(file), 0644u) << "a new file is readable by all, not private";
    ::chmod(file.c_str(), 0600);

    ASSERT_TRUE(replaceFileAtomically(file, std::string_view("sec\0nd", 6)));
    EXPECT_EQ(contents(file), std::string("sec\0nd", 6));
    EXPECT_EQ(permissions(file), 0600u);
    ASSERT_TRUE(replaceFileAtomically(file, "third", 0640));
    EXPECT_EQ(permissions(file), 0640u);
    EXPECT_EQ(entries(), 1) << "no temporary file is left beside the target";
}

TEST_F(AtomicFileTest, FailedReplacementLeavesTheTargetAndNoTemporaryAndSaysWhy) {
    fs::path target = folder / "picture.png";
    fs::create_directory(target);
    std::ofstream(target / "inside") << "kept";

    errno = 0;
    EXPECT_FALSE(replaceFileAtomically(target, "bytes"));
    EXPECT_TRUE(errno == EISDIR || errno == ENOTEMPTY || errno == EEXIST) << errno;
    EXPECT_EQ(contents(target / "inside"), "kept");
    EXPECT_EQ(entries(), 1) << "the temporary file is removed";

    errno = 0;
    EXPECT_FALSE(replaceFileAtomically(folder / "missing" / "file", "bytes"));
    EXPECT_EQ(errno, ENOENT);
}

// The pid of a process that has ended.
pid_t endedProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST_F(AtomicFileTest, OnlyTemporariesOfEndedWritersAreRemovedAlsoInFoldersBelow) {
    using platform::kernel::createTemporaryFor;
    std::string ours;
    const int fd = createTemporaryFor(folder / "registry.reg", 0644, ours);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const std::string ended = std::to_string(endedProcess());
    const std::string parent = std::to_string(::getppid());
    fs::create_directories(folder / "resources" / "VGA" / "a" / "b" / "c");
    const std::vector<std::pair<fs::path, bool>> files = {
        {ours, false}, // this process still writes it
        {folder / (".registry.reg.writing-" + ended + "-a1b2c3"), true},
        {folder / "resources" / "VGA" / (".sliderBtn.png.part.writing-" + ended + "-zz0099"), true},
        {folder / "resources" / "VGA" / (".AlreadyScalled.txt.writing-" + ended + "-000000"), true},
        {folder / (".registry.reg.writing-" + parent + "-a1b2c3"), false}, // still running
        {folder / ("registry.reg.writing-" + ended + "-a1b2c3"), false},   // not hidden
        {folder / (".registry.reg.writing-" + ended + "-a1b2c"), false},   // not the same shape
        {folder / (".registry.reg.writing-x" + ended + "-a1b2c3"), false},
        {folder / ".writing-1-a1b2c3", false},
        {folder / "resources/VGA/a/b/c" / (".deep.writing-" + ended + "-a1b2c3"), false},
    };
    for (const auto& [file, removed] : files) {
        std::ofstream(file) << "part";
    }
    fs::create_directory(folder / (".folder.writing-" + ended + "-a1b2c3"));

    EXPECT_EQ(platform::kernel::removeAbandonedTemporaries(folder), 3);
    for (const auto& [file, removed] : files) {
        EXPECT_EQ(fs::exists(file), !removed) << file;
    }
    EXPECT_TRUE(fs::is_directory(folder / (".folder.writing-" + ended + "-a1b2c3")));
}

} // namespace

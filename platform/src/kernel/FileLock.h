// An advisory lock shared by every process that changes one file: an flock(2) on a lock file
// beside it ("<file>.lock", owner-only), which stays while the file itself is replaced by
// renames. Held from construction to destruction; a process that ends releases it whatever ends it.
#pragma once

#include <filesystem>

namespace platform::kernel {

class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Waits until the lock of `file` is held; false with errno set when the lock file cannot be
    // opened (its folder is missing or closed to this user, or a link lies in its place).
    bool acquire(const std::filesystem::path& file);
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace platform::kernel

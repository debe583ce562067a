#include "kernel/FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform::kernel {

FileLock::~FileLock() {
    if (fd_ >= 0) {
        ::close(fd_); // releases the lock
    }
}

bool FileLock::acquire(const std::filesystem::path& file) {
    std::filesystem::path name = file;
    name += ".lock";
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW); // flock needs no write
    }
    if (fd < 0) {
        return false;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return false;
        }
    }
    fd_ = fd;
    return true;
}

} // namespace platform::kernel

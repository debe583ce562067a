#include "kernel/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::kernel {
namespace {

namespace fs = std::filesystem;

mode_t modeFor(const fs::path& target, std::optional<mode_t> mode) {
    struct stat old {};
    if (mode) {
        return *mode;
    }
    return ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
}

// Writes, flushes and closes the temporary; the descriptor is closed either way and errno tells
// why the first step that failed did.
bool finish(int fd, std::string_view bytes) {
    bool written = writeAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    int error = errno;
    bool closed = ::close(fd) == 0;
    if (!written) {
        errno = error;
    }
    return written && closed;
}

// Removes the temporary of an unfinished replacement, keeping errno.
void discard(const std::string& temporary) {
    int saved = errno;
    ::unlink(temporary.c_str());
    errno = saved;
}

} // namespace

bool writeAll(int fd, const void* data, std::size_t size, std::size_t* written) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    bool ok = true;
    while (done < size) {
        ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO; // no progress and no reason given: never loop forever
            }
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (written) {
        *written = done;
    }
    return ok;
}

bool replaceFileAtomically(const fs::path& target, std::string_view bytes,
                           std::optional<mode_t> mode) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    // A unique name, so that two writers of the same file never share a temporary.
    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // mkostemp makes the file private; set the permissions the replacement is meant to have.
    ::fchmod(fd, modeFor(target, mode));
    if (!finish(fd, bytes) || ::rename(temporary.c_str(), target.c_str()) != 0) {
        discard(temporary);
        return false;
    }
    syncFolder(folder);
    return true;
}

void syncFolder(const fs::path& folder) {
    int saved = errno;
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    errno = saved;
}

} // namespace platform::kernel

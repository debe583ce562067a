#include "kernel/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
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

constexpr std::string_view writingTag = ".writing-";
constexpr size_t uniquePartLength = 6;
// Folders below a swept folder that are looked into: the device's and the program's own.
constexpr int deepestSweptFolder = 4;

// Six characters that differ between the temporaries of one process.
std::string uniquePart() {
    static std::atomic<unsigned> counter{0};
    static constexpr char letters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    unsigned long long value =
        counter.fetch_add(1) * 0x9E3779B97F4A7C15ull ^ static_cast<unsigned long long>(::gettid());
    std::string part;
    for (size_t i = 0; i < uniquePartLength; ++i, value /= 36) {
        part += letters[value % 36];
    }
    return part;
}

// The process that wrote a temporary of createTemporaryFor, or 0 for any other name.
pid_t writerOf(const std::string& name) {
    const size_t tag = name.rfind(writingTag);
    if (name.size() < 2 || name.front() != '.' || tag == std::string::npos || tag == 0) {
        return 0;
    }
    const size_t digits = tag + writingTag.size();
    const size_t dash = name.find('-', digits);
    if (dash == std::string::npos || dash == digits || dash - digits > 9 ||
        name.size() - dash - 1 != uniquePartLength) {
        return 0;
    }
    pid_t pid = 0;
    for (size_t i = digits; i < dash; ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return 0;
        }
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

bool hasEnded(pid_t pid) {
    return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
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
    std::string temporary;
    const int fd = createTemporaryFor(target, 0600, temporary);
    if (fd < 0) {
        return false;
    }
    ::fchmod(fd, modeFor(target, mode));
    if (!finish(fd, bytes) || ::rename(temporary.c_str(), target.c_str()) != 0) {
        discard(temporary);
        return false;
    }
    syncFolder(target.has_parent_path() ? target.parent_path() : fs::path("."));
    return true;
}

int createTemporaryFor(const fs::path& target, mode_t mode, std::string& name) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string prefix = "." + target.filename().string() + std::string(writingTag) +
                               std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = (folder / (prefix + uniquePart())).string();
        const int fd =
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

int removeAbandonedTemporaries(const fs::path& folder) {
    int removed = 0;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        if (it.depth() >= deepestSweptFolder) {
            it.disable_recursion_pending();
        }
        const pid_t writer = writerOf(it->path().filename().string());
        std::error_code ignored;
        if (writer > 0 && hasEnded(writer) && it->is_regular_file(ignored) &&
            ::unlink(it->path().c_str()) == 0) {
            ++removed;
        }
    }
    return removed;
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

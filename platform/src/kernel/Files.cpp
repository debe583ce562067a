// Files at device paths, over POSIX file descriptors.
#include "kernel/AtomicFile.h"
#include "kernel/HostErrors.h"
#include "kernel/KernelObject.h"
#include "kernel/Paths.h"
#include "kernel/Wait.h"
#include "winbase.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::kernel {
namespace {

namespace fs = std::filesystem;

class File : public KernelObject {
public:
    explicit File(int descriptor) : fd(descriptor) {}
    ~File() override { ::close(fd); }
    const int fd;
};

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL failFromErrno(const fs::path& path) {
    return fail(errorFromErrno(errno, path));
}

int openFlags(DWORD access, DWORD disposition) {
    int flags = O_CLOEXEC;
    bool reads = access & GENERIC_READ;
    bool writes = access & GENERIC_WRITE;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
    case CREATE_NEW:
        return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
        return flags | O_CREAT | O_TRUNC;
    case OPEN_EXISTING:
        return flags;
    case OPEN_ALWAYS:
        return flags | O_CREAT;
    case TRUNCATE_EXISTING:
        return writes ? flags | O_TRUNC : -1;
    default:
        return -1;
    }
}

bool hostFileExists(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool copyContents(int from, int to) {
    BYTE buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0;
        }
        if (!writeAll(to, buffer, static_cast<size_t>(n))) {
            return false;
        }
    }
}

// Removes the temporary file of an unfinished copy, keeping errno.
void discard(const fs::path& temporary) {
    int saved = errno;
    ::unlink(temporary.c_str());
    errno = saved;
}

// Copies into a temporary file beside the destination, then puts it in place in one step: an
// interrupted copy never leaves a partial file under the destination's name (a partial font
// that a later fail-if-exists copy would never replace).
BOOL copyFile(const fs::path& source, const fs::path& target, bool failIfExists) {
    int from = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0) {
        return failFromErrno(source);
    }
    struct stat info {};
    if (::fstat(from, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(from);
        return fail(ERROR_ACCESS_DENIED);
    }
    if (failIfExists && hostFileExists(target)) {
        ::close(from);
        return fail(ERROR_FILE_EXISTS);
    }
    std::string temporaryName;
    int to = createTemporaryFor(target, info.st_mode & 0777, temporaryName);
    const fs::path temporary = temporaryName;
    if (to < 0) {
        int saved = errno;
        ::close(from);
        errno = saved;
        return failFromErrno(target);
    }
    bool copied = copyContents(from, to) && ::fsync(to) == 0;
    copied = ::close(to) == 0 && copied;
    ::close(from);
    if (!copied) {
        discard(temporary);
        return failFromErrno(target);
    }
    // link() refuses to replace an existing file, so fail-if-exists holds even against a race.
    int placed = failIfExists ? ::link(temporary.c_str(), target.c_str())
                              : ::rename(temporary.c_str(), target.c_str());
    if (placed != 0) {
        discard(temporary);
        return failFromErrno(target);
    }
    if (failIfExists) {
        ::unlink(temporary.c_str());
    }
    syncFolder(target.has_parent_path() ? target.parent_path() : fs::path("."));
    return TRUE;
}

} // namespace
} // namespace platform::kernel

using namespace platform::kernel;
namespace paths = platform::paths;

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD, HANDLE) {
    cancellationPoint();
    int flags = openFlags(dwDesiredAccess, dwCreationDisposition);
    if (!lpFileName || flags < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto path = paths::toHost(lpFileName);
    bool existed = hostFileExists(path);
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        failFromErrno(path);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    bool reportsExisting =
        dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handles::insert(std::make_shared<File>(fd));
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    cancellationPoint();
    if (lpNumberOfBytesWritten) {
        *lpNumberOfBytesWritten = 0;
    }
    auto file = handles::findAs<File>(hFile);
    if (!file) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (lpOverlapped || (!lpBuffer && nNumberOfBytesToWrite > 0)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    size_t written = 0;
    bool ok = writeAll(file->fd, lpBuffer, nNumberOfBytesToWrite, &written);
    if (lpNumberOfBytesWritten) {
        *lpNumberOfBytesWritten = static_cast<DWORD>(written);
    }
    return ok ? TRUE : fail(errno == ENOSPC ? ERROR_DISK_FULL : errorFromErrno(errno, {}));
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    cancellationPoint();
    if (lpNumberOfBytesRead) {
        *lpNumberOfBytesRead = 0;
    }
    auto file = handles::findAs<File>(hFile);
    if (!file) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (lpOverlapped || (!lpBuffer && nNumberOfBytesToRead > 0)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    auto* out = static_cast<BYTE*>(lpBuffer);
    DWORD total = 0;
    while (total < nNumberOfBytesToRead) {
        ssize_t n = ::read(file->fd, out + total, nNumberOfBytesToRead - total);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return fail(errorFromErrno(errno, {}));
        }
        if (n == 0) {
            break;
        }
        total += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesRead) {
        *lpNumberOfBytesRead = total;
    }
    return TRUE;
}

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
    cancellationPoint();
    if (!lpExistingFileName || !lpNewFileName) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    return copyFile(paths::toHost(lpExistingFileName), paths::toHost(lpNewFileName),
                    bFailIfExists != FALSE);
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
    cancellationPoint();
    if (!lpFileName) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    auto path = paths::toHost(lpFileName);
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return fail(ERROR_ACCESS_DENIED);
    }
    return ::unlink(path.c_str()) == 0 ? TRUE : failFromErrno(path);
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
    cancellationPoint();
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    auto path = paths::toHost(lpFileName);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        failFromErrno(path);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(info.st_mode)) {
        return FILE_ATTRIBUTE_DIRECTORY;
    }
    return (info.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

// The platform's error code for a failed host file call.
#pragma once

#include "winbase.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace platform::kernel {

// `path` tells a missing file (ERROR_FILE_NOT_FOUND) from a missing folder on the way to it
// (ERROR_PATH_NOT_FOUND).
inline DWORD errorFromErrno(int error, const std::filesystem::path& path) {
    switch (error) {
    case ENOENT: {
        std::error_code ignored;
        return std::filesystem::is_directory(path.parent_path(), ignored) ? ERROR_FILE_NOT_FOUND
                                                                          : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EIO:
        return ERROR_WRITE_FAULT;
    case EBADF:
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    default:
        return ERROR_ACCESS_DENIED;
    }
}

} // namespace platform::kernel

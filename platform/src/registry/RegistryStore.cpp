#include "registry/RegistryStore.h"

#include "kernel/AtomicFile.h"
#include "kernel/Paths.h"
#include "registry/Registry.h"
#include "winbase.h"
#include "winreg.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform::registry {
namespace {

namespace fs = std::filesystem;

constexpr size_t longestKeyName = 255;
constexpr size_t longestValueName = 16383;

const std::pair<DWORD_PTR, const wchar_t*> roots[] = {
    {0x80000000u, L"HKEY_CLASSES_ROOT"},
    {0x80000001u, L"HKEY_CURRENT_USER"},
    {0x80000002u, L"HKEY_LOCAL_MACHINE"},
    {0x80000003u, L"HKEY_USERS"},
};

DWORD_PTR key(HKEY handle) {
    return reinterpret_cast<DWORD_PTR>(handle);
}

// Splits "SOFTWARE\Dawnbell" into its parts; a trailing '\' is allowed, empty parts are not.
std::optional<std::vector<std::wstring>> splitSubKey(LPCWSTR subKey) {
    std::vector<std::wstring> parts;
    std::wstring_view rest = subKey ? subKey : L"";
    if (!rest.empty() && rest.back() == L'\\') {
        rest.remove_suffix(1);
    }
    if (rest.empty()) {
        return parts;
    }
    for (size_t start = 0;;) {
        size_t end = rest.find(L'\\', start);
        auto part = rest.substr(start, end == std::wstring_view::npos ? end : end - start);
        if (part.empty() || part.size() > longestKeyName || !isValidName(part)) {
            return std::nullopt;
        }
        parts.emplace_back(part);
        if (end == std::wstring_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::optional<std::wstring> valueName(LPCWSTR name) {
    std::wstring_view view = name ? name : L"";
    if (view.size() > longestValueName || !isValidName(view)) {
        return std::nullopt;
    }
    return std::wstring(view);
}

std::vector<BYTE> storedBytes(DWORD type, const BYTE* data, DWORD size) {
    if (isTextType(type)) {
        size -= size % sizeof(WCHAR); // whole characters only
    }
    return data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>{};
}

bool readWholeFile(const fs::path& path, std::string& text, int& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    char buffer[16 * 1024];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = errno;
            ::close(fd);
            return false;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

LONG writeError(int error) {
    return error == ENOSPC || error == EDQUOT ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
}

// Whenever the process stops, the file holds either the old or the new registry. It is the
// user's alone.
LONG writeAtomically(const fs::path& file, const std::string& text) {
    return kernel::replaceFileAtomically(file, text, 0600) ? ERROR_SUCCESS : writeError(errno);
}

long long nanoseconds(const timespec& time) {
    return time.tv_sec * 1'000'000'000LL + time.tv_nsec;
}

std::string timestamp() {
    std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
    return text;
}

fs::path freeAsideName(const fs::path& file) {
    fs::path base = file;
    base += ".damaged-";
    base += timestamp();
    fs::path candidate = base;
    std::error_code ignored;
    for (int n = 2; fs::exists(candidate, ignored); ++n) {
        candidate = base;
        candidate += "-";
        candidate += std::to_string(n);
    }
    return candidate;
}

} // namespace

fs::path filePath() {
    return paths::deviceDir() / "registry.reg";
}

void reload() {
    Store::instance().reload();
}

Store& Store::instance() {
    static auto* store = new Store; // never destroyed: detached threads may use it at exit
    return *store;
}

void Store::reload() {
    std::lock_guard guard(mutex_);
    loaded_ = false;
    tree_.clear();
    openKeys_.clear();
}

Store::Stamp Store::stampOf(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return {};
    }
    return {true,
            info.st_dev,
            info.st_ino,
            info.st_size,
            nanoseconds(info.st_mtim),
            nanoseconds(info.st_ctim)};
}

void Store::ensureLoaded() {
    if (!loaded_ || file_ != filePath()) {
        load();
    } else if (persistent_ && stampOf(file_) != stamp_) {
        kernel::FileLock lock;
        lock.acquire(file_); // without it the file is still read whole: it is only ever renamed
        reread();
    }
}

void Store::load() {
    file_ = filePath();
    loaded_ = true;
    persistent_ = true;
    writeFailureTold_ = false;
    tree_.clear();
    text_.reset();
    openKeys_.clear();
    kernel::FileLock lock;
    lock.acquire(file_);
    reread();
}

void Store::reread() {
    stamp_ = stampOf(file_); // taken first: a change while reading is seen next time
    std::string text;
    int error = 0;
    if (!readWholeFile(file_, text, error)) {
        if (error != ENOENT) {
            setAside(std::string("it cannot be read: ") + std::strerror(error));
        } else {
            tree_.clear();
            text_.reset();
        }
        return;
    }
    if (text_ == text) {
        return;
    }
    auto result = parse(text);
    if (!result.error.empty()) {
        setAside(result.error);
        return;
    }
    tree_ = std::move(result.tree);
    text_ = std::move(text);
}

// The damaged file is kept for the user; if it cannot be moved, the registry is not written
// at all, so the damaged file is never overwritten.
void Store::setAside(const std::string& reason) {
    tree_.clear();
    text_.reset();
    fs::path aside = freeAsideName(file_);
    if (::rename(file_.c_str(), aside.c_str()) == 0) {
        stamp_ = stampOf(file_);
        std::fprintf(stderr,
                     "dawnbell: the registry file %s is damaged (%s); it was moved to %s and the "
                     "registry starts empty.\n",
                     file_.c_str(), reason.c_str(), aside.c_str());
        return;
    }
    persistent_ = false;
    std::fprintf(stderr,
                 "dawnbell: the registry file %s is damaged (%s) and could not be moved aside "
                 "(%s); the registry starts empty and changes will not be saved.\n",
                 file_.c_str(), reason.c_str(), std::strerror(errno));
}

LONG Store::beginChange(kernel::FileLock& lock) {
    if (!persistent_) {
        return ERROR_SUCCESS; // changes stay in memory
    }
    paths::createPrivateFolders(file_.parent_path());
    if (!lock.acquire(file_)) {
        const int error = errno;
        reportWriteFailure(error);
        return writeError(error);
    }
    reread();
    return ERROR_SUCCESS;
}

// The caller may say nothing (the settings are saved on the way out): the user learns at least
// here that the file still holds what it held.
void Store::reportWriteFailure(int error) {
    if (!std::exchange(writeFailureTold_, true)) {
        std::fprintf(stderr,
                     "dawnbell: the registry file %s could not be written (%s); it keeps its "
                     "previous contents.\n",
                     file_.c_str(), std::strerror(error));
    }
}

LONG Store::commit(Tree next) {
    if (persistent_) {
        std::string text = format(next);
        if (LONG error = writeAtomically(file_, text); error != ERROR_SUCCESS) {
            reportWriteFailure(errno);
            return error;
        }
        text_ = std::move(text);
        stamp_ = stampOf(file_);
    }
    tree_ = std::move(next);
    return ERROR_SUCCESS;
}

std::optional<Store::Path> Store::pathOf(HKEY handle) const {
    for (auto [value, name] : roots) {
        if (key(handle) == value) {
            return Path{name};
        }
    }
    auto it = openKeys_.find(key(handle));
    if (it == openKeys_.end()) {
        return std::nullopt;
    }
    return it->second;
}

const Key* Store::find(const Path& path) const {
    auto it = tree_.find(fold(path));
    return it == tree_.end() ? nullptr : &it->second;
}

HKEY Store::newHandle(Path path) {
    DWORD_PTR value = nextHandle_;
    nextHandle_ += 4;
    openKeys_.emplace(value, std::move(path));
    return reinterpret_cast<HKEY>(value);
}

LONG Store::keyPath(HKEY base, LPCWSTR subKey, HKEY* result, Path& path) const {
    auto basePath = pathOf(base);
    if (!basePath) {
        return ERROR_INVALID_HANDLE;
    }
    auto parts = splitSubKey(subKey);
    if (!parts || !result) {
        return ERROR_INVALID_PARAMETER;
    }
    path = std::move(*basePath);
    path.insert(path.end(), parts->begin(), parts->end());
    return ERROR_SUCCESS;
}

LONG Store::createKey(HKEY base, LPCWSTR subKey, HKEY* result, DWORD* disposition) {
    std::lock_guard guard(mutex_);
    ensureLoaded();
    Path path;
    if (LONG error = keyPath(base, subKey, result, path); error != ERROR_SUCCESS) {
        return error;
    }
    DWORD outcome = REG_OPENED_EXISTING_KEY;
    if (!find(path) && path.size() > 1) {
        kernel::FileLock lock;
        if (LONG error = beginChange(lock); error != ERROR_SUCCESS) {
            return error;
        }
        if (!find(path)) {
            Tree next = tree_;
            addKey(next, path);
            if (LONG error = commit(std::move(next)); error != ERROR_SUCCESS) {
                return error;
            }
            outcome = REG_CREATED_NEW_KEY;
        }
    }
    if (const Key* existing = find(path)) {
        path = existing->path;
    }
    *result = newHandle(std::move(path));
    if (disposition) {
        *disposition = outcome;
    }
    return ERROR_SUCCESS;
}

LONG Store::openKey(HKEY base, LPCWSTR subKey, HKEY* result) {
    std::lock_guard guard(mutex_);
    ensureLoaded();
    Path path;
    if (LONG error = keyPath(base, subKey, result, path); error != ERROR_SUCCESS) {
        return error;
    }
    if (const Key* existing = find(path)) {
        path = existing->path;
    } else if (path.size() > 1) {
        return ERROR_FILE_NOT_FOUND;
    }
    *result = newHandle(std::move(path));
    return ERROR_SUCCESS;
}

LONG Store::closeKey(HKEY handle) {
    std::lock_guard guard(mutex_);
    for (auto [value, name] : roots) {
        if (key(handle) == value) {
            return ERROR_SUCCESS;
        }
    }
    return openKeys_.erase(key(handle)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG Store::queryValue(HKEY handle, LPCWSTR name, DWORD* type, BYTE* data, DWORD* size) {
    std::lock_guard guard(mutex_);
    ensureLoaded();
    auto path = pathOf(handle);
    if (!path) {
        return ERROR_INVALID_HANDLE;
    }
    if (data && !size) {
        return ERROR_INVALID_PARAMETER;
    }
    const Key* owner = find(*path);
    if (!owner) {
        return ERROR_FILE_NOT_FOUND;
    }
    auto it = owner->values.find(fold(name ? name : L""));
    if (it == owner->values.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    const Value& value = it->second;
    auto needed = static_cast<DWORD>(value.data.size());
    if (type) {
        *type = value.type;
    }
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data && needed > 0) {
        std::memcpy(data, value.data.data(), needed);
    }
    if (size) {
        *size = needed;
    }
    return ERROR_SUCCESS;
}

LONG Store::setValue(HKEY handle, LPCWSTR name, DWORD type, const BYTE* data, DWORD size) {
    std::lock_guard guard(mutex_);
    ensureLoaded();
    auto path = pathOf(handle);
    if (!path) {
        return ERROR_INVALID_HANDLE;
    }
    auto checkedName = valueName(name);
    if (!checkedName || (!data && size > 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    Value value{*checkedName, type, storedBytes(type, data, size)};
    kernel::FileLock lock;
    if (LONG error = beginChange(lock); error != ERROR_SUCCESS) {
        return error;
    }
    const Key* owner = find(*path);
    if (owner) {
        auto it = owner->values.find(fold(value.name));
        if (it != owner->values.end() && it->second.type == value.type &&
            it->second.data == value.data) {
            return ERROR_SUCCESS; // nothing changes
        }
    }
    Tree next = tree_;
    Key& target = addKey(next, owner ? owner->path : *path);
    auto folded = fold(value.name);
    target.values[folded] = std::move(value);
    return commit(std::move(next));
}

LONG Store::deleteValue(HKEY handle, LPCWSTR name) {
    std::lock_guard guard(mutex_);
    ensureLoaded();
    auto path = pathOf(handle);
    if (!path) {
        return ERROR_INVALID_HANDLE;
    }
    kernel::FileLock lock;
    if (LONG error = beginChange(lock); error != ERROR_SUCCESS) {
        return error;
    }
    const Key* owner = find(*path);
    auto folded = fold(name ? name : L"");
    if (!owner || !owner->values.contains(folded)) {
        return ERROR_FILE_NOT_FOUND;
    }
    Tree next = tree_;
    next[fold(owner->path)].values.erase(folded);
    return commit(std::move(next));
}

} // namespace platform::registry

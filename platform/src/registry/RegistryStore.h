// The registry behind the Reg* calls: the tree of keys loaded from the registry file on first
// use, the open key handles, and the atomic rewrite of the file after every change. Several
// processes share the file: each change is made under the file's lock, on the file as it is then
// (read again when another process changed it), and calls that only read see the file as it was
// at their start.
#pragma once

#include "kernel/FileLock.h"
#include "registry/RegistryText.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>

namespace platform::registry {

class Store {
public:
    static Store& instance();

    void reload();

    LONG createKey(HKEY base, LPCWSTR subKey, HKEY* result, DWORD* disposition);
    LONG openKey(HKEY base, LPCWSTR subKey, HKEY* result);
    LONG closeKey(HKEY key);
    LONG queryValue(HKEY key, LPCWSTR name, DWORD* type, BYTE* data, DWORD* size);
    LONG setValue(HKEY key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size);
    LONG deleteValue(HKEY key, LPCWSTR name);

private:
    using Path = std::vector<std::wstring>;

    // What tells a replaced or edited file from the one read last, without reading it.
    struct Stamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long modified = 0, changed = 0; // nanoseconds
        bool operator==(const Stamp&) const = default;
    };
    static Stamp stampOf(const std::filesystem::path& file);

    // Brings the tree up to the file as it is now: read first on first use, read again when its
    // stamp changed.
    void ensureLoaded();
    void load();
    // Reads the file; the tree is parsed again only when its bytes differ from those read or
    // written last. Called with the file's lock held where it can be had.
    void reread();
    void setAside(const std::string& reason);
    // Takes the file's lock for a change and brings the tree up to the file as it is now; an
    // error when the lock cannot be had (the change could not be written either).
    LONG beginChange(kernel::FileLock& lock);
    void reportWriteFailure(int error);
    // Writes `next` to the file (atomically) and makes it the registry; on failure nothing
    // changes and the error is returned.
    LONG commit(Tree next);

    std::optional<Path> pathOf(HKEY key) const;
    // The path of `subKey` below `base`, for opening or creating it.
    LONG keyPath(HKEY base, LPCWSTR subKey, HKEY* result, Path& path) const;
    const Key* find(const Path& path) const;
    HKEY newHandle(Path path);

    std::mutex mutex_;
    bool loaded_ = false;
    std::filesystem::path file_;
    bool persistent_ = true;        // false when a damaged file could not be set aside
    bool writeFailureTold_ = false; // a failed write has been reported since the last load
    Tree tree_;
    std::optional<std::string> text_; // the file's bytes as read or written last; none: no file
    Stamp stamp_;
    std::unordered_map<DWORD_PTR, Path> openKeys_;
    DWORD_PTR nextHandle_ = 0x40000000;
};

} // namespace platform::registry

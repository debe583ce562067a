// The registry behind the Reg* calls: the tree of keys loaded from the registry file on first
// use, the open key handles, and the atomic rewrite of the file after every change.
#pragma once

#include "registry/RegistryText.h"

#include <filesystem>
#include <mutex>
#include <optional>
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

    void ensureLoaded();
    void load();
    void setAside(const std::string& reason);
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
    std::unordered_map<DWORD_PTR, Path> openKeys_;
    DWORD_PTR nextHandle_ = 0x40000000;
};

} // namespace platform::registry

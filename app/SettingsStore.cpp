#include "SettingsStore.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr const wchar_t* showInfoName = L"showInfo";
constexpr const wchar_t* hostName = L"lastIP";
constexpr const wchar_t* macName = L"lastMAC";
constexpr const wchar_t* portName = L"lastPort";

} // namespace

std::optional<SettingsKey> SettingsKey::open() {
    HKEY key = nullptr;
    const LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                        nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS || key == nullptr) {
        return std::nullopt;
    }
    return SettingsKey(key);
}

SettingsKey::SettingsKey(SettingsKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}

SettingsKey& SettingsKey::operator=(SettingsKey&& other) noexcept {
    if (this != &other) {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
        key_ = std::exchange(other.key_, nullptr);
    }
    return *this;
}

SettingsKey::~SettingsKey() {
    if (key_ != nullptr) {
        RegCloseKey(key_);
    }
}

bool SettingsKey::showInfo() const {
    BYTE value = 1;
    DWORD size = sizeof value;
    const LONG result = RegQueryValueExW(key_, showInfoName, nullptr, nullptr, &value, &size);
    if (result != ERROR_SUCCESS || size != sizeof value) {
        return true;
    }
    return value != 0;
}

bool SettingsKey::clearShowInfo() {
    const BYTE value = 0;
    return RegSetValueExW(key_, showInfoName, 0, REG_BINARY, &value, sizeof value) == ERROR_SUCCESS;
}

StoredFields SettingsKey::readFields() const {
    return {readText(hostName, hostCapacity), readText(macName, macCapacity),
            readText(portName, portCapacity)};
}

bool SettingsKey::writeFields(const StoredFields& fields) {
    const bool host = writeText(hostName, fields.host);
    const bool mac = writeText(macName, fields.mac);
    const bool port = writeText(portName, fields.port);
    return host && mac && port;
}

std::wstring SettingsKey::readText(const wchar_t* name, std::size_t capacity) const {
    std::vector<WCHAR> buffer(capacity);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(capacity * sizeof(WCHAR));
    const LONG result =
        RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        return {};
    }
    std::wstring text(buffer.data(), std::min<std::size_t>(size / sizeof(WCHAR), capacity));
    // Texts stored by other tools may carry their terminator.
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

bool SettingsKey::writeText(const wchar_t* name, const std::wstring& text) {
    // Stored without a terminating NUL; readers take the length from the byte count.
    return RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                          static_cast<DWORD>(text.size() * sizeof(WCHAR))) == ERROR_SUCCESS;
}

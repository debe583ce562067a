#include "SettingsStore.h"

#include <array>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr const wchar_t* showInfoName = L"showInfo";
constexpr const wchar_t* fieldsName = L"lastFields";
// Where older versions kept the texts, one value each.
constexpr const wchar_t* hostName = L"lastIP";
constexpr const wchar_t* macName = L"lastMAC";
constexpr const wchar_t* portName = L"lastPort";

constexpr std::size_t lengthDigitsMax = 5;
// A value this long is no settings text: it reads as damaged rather than being taken in.
constexpr std::size_t storedTextMax = 65536;

// "<host length> <MAC length> <port length> [<password length> ]<host><MAC><port>[<password>]",
// with `lengthCount` lengths; NULs after the texts are a terminator another tool wrote.
std::optional<StoredFields> parseFields(std::wstring_view text, std::size_t lengthCount) {
    std::array<std::size_t, 4> lengths{};
    for (std::size_t i = 0; i < lengthCount; ++i) {
        std::size_t digits = 0;
        while (digits < text.size() && digits <= lengthDigitsMax && text[digits] >= L'0' &&
               text[digits] <= L'9') {
            lengths[i] = lengths[i] * 10 + static_cast<std::size_t>(text[digits] - L'0');
            ++digits;
        }
        if (digits == 0 || digits > lengthDigitsMax || digits == text.size() ||
            text[digits] != L' ') {
            return std::nullopt;
        }
        text.remove_prefix(digits + 1);
    }
    const std::size_t total = lengths[0] + lengths[1] + lengths[2] + lengths[3];
    if (text.size() < total || text.find_first_not_of(L'\0', total) != std::wstring_view::npos) {
        return std::nullopt;
    }
    StoredFields fields;
    std::wstring* const texts[] = {&fields.host, &fields.mac, &fields.port, &fields.password};
    for (std::size_t i = 0; i < lengthCount; ++i) {
        *texts[i] = text.substr(0, lengths[i]);
        text.remove_prefix(lengths[i]);
    }
    return fields;
}

// The texts must fill the value to its end (or its terminator) either way, so a host that starts
// with digits and a blank is never taken for a fourth length.
std::optional<StoredFields> parseFields(std::wstring_view text) {
    if (auto withPassword = parseFields(text, 4)) {
        return withPassword;
    }
    return parseFields(text, 3);
}

std::wstring fieldsText(const StoredFields& fields) {
    std::wstring text = std::to_wstring(fields.host.size()) + L" " +
                        std::to_wstring(fields.mac.size()) + L" " +
                        std::to_wstring(fields.port.size()) + L" ";
    // Without a password the value stays as versions before the password read it.
    if (!fields.password.empty()) {
        text += std::to_wstring(fields.password.size()) + L" ";
    }
    return text + fields.host + fields.mac + fields.port + fields.password;
}

// Longer texts than the reader takes read back empty, as each value of older versions did.
std::wstring within(const std::wstring& text, std::size_t capacity) {
    return text.size() <= capacity ? text : std::wstring();
}

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
    if (const std::optional<std::wstring> stored = readText(fieldsName, storedTextMax)) {
        const std::optional<StoredFields> fields = parseFields(*stored);
        if (!fields) {
            return {};
        }
        return {within(fields->host, hostCapacity), within(fields->mac, macCapacity),
                within(fields->port, portCapacity), within(fields->password, passwordCapacity)};
    }
    const auto oldText = [this](const wchar_t* name, std::size_t capacity) {
        std::wstring text = readText(name, storedTextMax).value_or(L"");
        // Texts stored by other tools may carry their terminator.
        while (!text.empty() && text.back() == L'\0') {
            text.pop_back();
        }
        return within(text, capacity);
    };
    return {oldText(hostName, hostCapacity), oldText(macName, macCapacity),
            oldText(portName, portCapacity)};
}

bool SettingsKey::writeFields(const StoredFields& fields) {
    const std::wstring text = fieldsText(fields);
    // Stored without a terminating NUL; readers take the length from the byte count.
    if (RegSetValueExW(key_, fieldsName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                       static_cast<DWORD>(text.size() * sizeof(WCHAR))) != ERROR_SUCCESS) {
        return false;
    }
    // Only now: a program killed before this point still finds the texts, in either form.
    bool removed = true;
    for (const wchar_t* name : {hostName, macName, portName}) {
        removed = removeValue(name) && removed;
    }
    return removed;
}

// Nothing when the value is missing; an empty text when it is no text or too long.
std::optional<std::wstring> SettingsKey::readText(const wchar_t* name, std::size_t capacity) const {
    // Another process may make the value longer between the two calls: it is read again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        const LONG sized = RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size);
        if (sized == ERROR_FILE_NOT_FOUND) {
            return std::nullopt;
        }
        if (sized != ERROR_SUCCESS || type != REG_SZ || size > capacity * sizeof(WCHAR)) {
            return std::wstring();
        }
        std::vector<WCHAR> buffer(size / sizeof(WCHAR) + 1);
        size = static_cast<DWORD>(buffer.size() * sizeof(WCHAR));
        const LONG result = RegQueryValueExW(key_, name, nullptr, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (result == ERROR_FILE_NOT_FOUND) {
            return std::nullopt;
        }
        if (result != ERROR_MORE_DATA) {
            return result == ERROR_SUCCESS && type == REG_SZ
                       ? std::wstring(buffer.data(), size / sizeof(WCHAR))
                       : std::wstring();
        }
    }
    return std::wstring();
}

bool SettingsKey::removeValue(const wchar_t* name) {
    if (RegQueryValueExW(key_, name, nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    return RegDeleteValueW(key_, name) == ERROR_SUCCESS;
}

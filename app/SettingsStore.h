// The settings kept between runs, in the registry key HKEY_LOCAL_MACHINE\SOFTWARE\Dawnbell:
// whether the data-connection question is still to be asked (showInfo) and the host, MAC, port
// and SecureOn password texts of the last Quit.
//
// The texts are one REG_SZ value, lastFields, so that they are stored in one atomic write (a
// program killed while saving never leaves the host of one computer with the MAC address of
// another): "<host length> <MAC length> <port length> <host><MAC><port>", lengths in UTF-16
// units, so that the texts may hold anything. A password adds its length as a fourth and its
// text at the end: "<host length> <MAC length> <port length> <password length> <host><MAC><port>
// <password>" (without the blank); a value with three lengths, as every value without a password
// and those of versions before the password are written, reads as an empty password. Older
// versions kept the texts as three values (lastIP, lastMAC, lastPort): those are read where
// lastFields is missing, and removed once lastFields is written.
//
// A SettingsKey is the open key; it is created when missing and closed when the object goes.
// The user is never told of a failure: a key that can't be opened is an empty optional, values
// that can't be read give the defaults. Writes tell their caller whether every value reached
// the store (a full disk refuses them and the previous values stay).
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

struct StoredFields {
    std::wstring host;
    std::wstring mac;
    std::wstring port;
    std::wstring password; // SecureOn; empty for none
    bool operator==(const StoredFields&) const = default;
};

class SettingsKey {
public:
    static constexpr const wchar_t* path = L"SOFTWARE\\Dawnbell";
    // The longest texts read back, in characters; longer stored texts read back empty.
    static constexpr std::size_t hostCapacity = 254;
    static constexpr std::size_t macCapacity = 24;
    static constexpr std::size_t portCapacity = 5;
    static constexpr std::size_t passwordCapacity = macCapacity;

    static std::optional<SettingsKey> open();

    SettingsKey(SettingsKey&& other) noexcept;
    SettingsKey& operator=(SettingsKey&& other) noexcept;
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;
    ~SettingsKey();

    // True until the question has been answered once; true when the value is missing.
    bool showInfo() const;
    bool clearShowInfo();

    StoredFields readFields() const;
    bool writeFields(const StoredFields& fields);

private:
    explicit SettingsKey(HKEY key) : key_(key) {}
    std::optional<std::wstring> readText(const wchar_t* name, std::size_t capacity) const;
    bool removeValue(const wchar_t* name);

    HKEY key_ = nullptr;
};

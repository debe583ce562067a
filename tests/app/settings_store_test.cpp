// The settings store: what a restart gives back, how texts are encoded, what doesn't fit.
#include "SettingsStore.h"

#include "kernel/Paths.h"
#include "registry/Registry.h"
#include "support/ScopedTestDevice.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using platform::paths::narrow;

class SettingsStore : public ::testing::Test {
protected:
    SettingsStore() { platform::registry::reload(); }

    // What the next run of the program finds.
    static SettingsKey reopenAfterRestart() {
        platform::registry::reload();
        auto key = SettingsKey::open();
        EXPECT_TRUE(key.has_value());
        return std::move(*key);
    }

    static StoredFields storeAndReadBack(const StoredFields& fields) {
        EXPECT_TRUE(SettingsKey::open()->writeFields(fields));
        return reopenAfterRestart().readFields();
    }

    static HKEY rawKey() {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }

    // The stored value as the registry holds it: its type and byte count.
    static std::pair<DWORD, DWORD> rawTypeAndSize(const wchar_t* name) {
        HKEY key = rawKey();
        DWORD type = 0;
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        RegCloseKey(key);
        return {type, size};
    }

    platform::ScopedTestDevice device;
};

TEST_F(SettingsStore, FirstRunCreatesTheKeyAndAClearedQuestionStaysClearedAsOneZeroByte) {
    auto key = SettingsKey::open();
    ASSERT_TRUE(key.has_value());
    EXPECT_TRUE(key->showInfo());
    EXPECT_EQ(key->readFields(), StoredFields{});
    HKEY created = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, KEY_READ, &created),
              ERROR_SUCCESS);
    RegCloseKey(created);

    EXPECT_TRUE(key->clearShowInfo());
    EXPECT_FALSE(reopenAfterRestart().showInfo());
    EXPECT_EQ(rawTypeAndSize(L"showInfo"), std::make_pair(DWORD{REG_BINARY}, DWORD{1}));
    HKEY raw = rawKey();
    const BYTE two = 2;
    RegSetValueExW(raw, L"showInfo", 0, REG_BINARY, &two, sizeof two);
    RegCloseKey(raw);
    EXPECT_TRUE(key->showInfo()) << "any byte but zero asks";
}

// Each text comes back exactly after a restart, stored without terminator, longer ones replaced
// without leftovers; one character beyond a reader's buffer reads back empty.
TEST_F(SettingsStore, TextsComeBackExactlyAsFarAsTheirBuffersHoldThem) {
    const StoredFields longest{std::wstring(254, L'h'), std::wstring(24, L'm'), L"12345"};
    const StoredFields cases[] = {
        {L"wake.example.org", L"00:11:22:33:44:55", L"40000"},
        {L"b\u00FCcher.example", L"\u00E9\u00E8", L"9"},
        longest,
        {L"h", L"m", L"9"},
        {},
        {longest.host + L"h", longest.mac + L"m", L"123456"},
    };
    for (const StoredFields& stored : cases) {
        const bool fits = stored.port.size() <= SettingsKey::portCapacity;
        EXPECT_EQ(storeAndReadBack(stored), fits ? stored : StoredFields{}) << narrow(stored.host);
        const std::pair<const wchar_t*, const std::wstring*> values[] = {
            {L"lastIP", &stored.host}, {L"lastMAC", &stored.mac}, {L"lastPort", &stored.port}};
        for (const auto& [name, text] : values) {
            EXPECT_EQ(rawTypeAndSize(name),
                      std::make_pair(DWORD{REG_SZ}, DWORD(text->size() * sizeof(WCHAR))))
                << narrow(name);
        }
    }
}

TEST_F(SettingsStore, WritingOneValueKeepsTheOthers) {
    const StoredFields fields{L"10.0.0.1", L"001122334455", L"7"};
    SettingsKey::open()->writeFields(fields);
    reopenAfterRestart().clearShowInfo();
    auto key = reopenAfterRestart();
    EXPECT_EQ(key.readFields(), fields);
    EXPECT_FALSE(key.showInfo());
    key.writeFields({L"10.0.0.2", L"", L""});
    EXPECT_FALSE(reopenAfterRestart().showInfo());
}

TEST_F(SettingsStore, ValuesOfAnotherTypeReadAsDefaults) {
    HKEY raw = rawKey();
    const BYTE bytes[4] = {'9', 0, 0, 0};
    RegSetValueExW(raw, L"lastPort", 0, REG_BINARY, bytes, sizeof bytes);
    const DWORD zero = 0;
    RegSetValueExW(raw, L"showInfo", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero),
                   sizeof zero);
    RegCloseKey(raw);
    auto key = reopenAfterRestart();
    EXPECT_EQ(key.readFields().port, L"");
    EXPECT_TRUE(key.showInfo());
}

} // namespace

// The settings store: what a restart gives back, how texts are encoded, what doesn't fit.
#include "SettingsStore.h"

#include "kernel/Paths.h"
#include "registry/Registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace {

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        folder = std::filesystem::temp_directory_path() /
                 ("dawnbell-settings-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(folder);
        platform::paths::configure(folder, folder);
        platform::registry::reload();
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // What the next run of the program finds.
    static SettingsKey reopenAfterRestart() {
        platform::registry::reload();
        auto key = SettingsKey::open();
        EXPECT_TRUE(key.has_value());
        return std::move(*key);
    }

    static StoredFields storeAndReadBack(const StoredFields& fields) {
        SettingsKey::open()->writeFields(fields);
        return reopenAfterRestart().readFields();
    }

    // The stored value as the registry holds it: its type and byte count.
    static std::pair<DWORD, DWORD> rawTypeAndSize(const wchar_t* name) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        DWORD type = 0;
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        RegCloseKey(key);
        return {type, size};
    }

    std::filesystem::path folder;
};

TEST_F(SettingsStore, FirstRunCreatesTheKeyAndAsksTheQuestion) {
    auto key = SettingsKey::open();
    ASSERT_TRUE(key.has_value());
    EXPECT_TRUE(key->showInfo());
    EXPECT_EQ(key->readFields(), StoredFields{});

    HKEY created = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, KEY_READ, &created),
              ERROR_SUCCESS);
    RegCloseKey(created);
}

TEST_F(SettingsStore, ClearedQuestionStaysClearedAsOneZeroByte) {
    SettingsKey::open()->clearShowInfo();
    EXPECT_FALSE(reopenAfterRestart().showInfo());
    EXPECT_EQ(rawTypeAndSize(L"showInfo"), std::make_pair(DWORD{REG_BINARY}, DWORD{1}));
}

TEST_F(SettingsStore, AnyNonZeroShowInfoAsksTheQuestion) {
    auto key = SettingsKey::open();
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, KEY_ALL_ACCESS, &raw),
              ERROR_SUCCESS);
    const BYTE two = 2;
    RegSetValueExW(raw, L"showInfo", 0, REG_BINARY, &two, sizeof two);
    RegCloseKey(raw);
    EXPECT_TRUE(key->showInfo());
}

TEST_F(SettingsStore, FieldsComeBackExactlyAfterARestart) {
    const StoredFields fields{L"wake.example.org", L"00:11:22:33:44:55", L"40000"};
    EXPECT_EQ(storeAndReadBack(fields), fields);
}

TEST_F(SettingsStore, NonAsciiTextsSurviveTheRegistryFile) {
    const StoredFields fields{L"b\u00FCcher.example", L"\u00E9\u00E8", L"9"};
    EXPECT_EQ(storeAndReadBack(fields), fields);
}

TEST_F(SettingsStore, ShorterTextsReplaceLongerOnesWithoutLeftovers) {
    storeAndReadBack({std::wstring(254, L'h'), std::wstring(24, L'm'), L"65535"});
    const StoredFields shorter{L"h", L"m", L"9"};
    EXPECT_EQ(storeAndReadBack(shorter), shorter);
}

TEST_F(SettingsStore, TextsAreStoredWithoutTerminator) {
    SettingsKey::open()->writeFields({L"host", L"00-11-22-33-44-55", L"7"});
    EXPECT_EQ(rawTypeAndSize(L"lastIP"), std::make_pair(DWORD{REG_SZ}, DWORD{4 * sizeof(WCHAR)}));
    EXPECT_EQ(rawTypeAndSize(L"lastMAC"), std::make_pair(DWORD{REG_SZ}, DWORD{17 * sizeof(WCHAR)}));
    EXPECT_EQ(rawTypeAndSize(L"lastPort"), std::make_pair(DWORD{REG_SZ}, DWORD{1 * sizeof(WCHAR)}));
}

TEST_F(SettingsStore, EmptyTextsAreStoredWithNoBytesAndReadBackEmpty) {
    storeAndReadBack({L"a", L"b", L"c"});
    EXPECT_EQ(storeAndReadBack(StoredFields{}), StoredFields{});
    for (const wchar_t* name : {L"lastIP", L"lastMAC", L"lastPort"}) {
        EXPECT_EQ(rawTypeAndSize(name), std::make_pair(DWORD{REG_SZ}, DWORD{0}));
    }
}

TEST_F(SettingsStore, TextsAtTheBufferSizesFitAndOneMoreReadsBackEmpty) {
    const StoredFields longest{std::wstring(254, L'h'), std::wstring(24, L'm'), L"12345"};
    EXPECT_EQ(storeAndReadBack(longest), longest);

    const StoredFields tooLong{longest.host + L"h", longest.mac + L"m", L"123456"};
    EXPECT_EQ(storeAndReadBack(tooLong), StoredFields{});
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
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &raw, nullptr),
              ERROR_SUCCESS);
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

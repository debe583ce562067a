// The settings store: the question's flag, and values a hand-edited file holds in another type.
// (The texts' round trip and limits: the faults, main screen and kill tests.)
#include "SettingsStore.h"

#include "registry/Registry.h"
#include "support/ScopedTestDevice.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What the next run of the program finds.
SettingsKey reopened() {
    platform::registry::reload();
    return std::move(*SettingsKey::open());
}

// A value as the registry holds it: its type and byte count (none where it is missing), or set.
std::pair<DWORD, DWORD> raw(const wchar_t* name, DWORD type = 0, const void* data = nullptr,
                            DWORD size = 0) {
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, KEY_ALL_ACCESS, &key);
    if (data != nullptr) {
        RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    }
    RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    RegCloseKey(key);
    return {type, size};
}

class SettingsStore : public ::testing::Test {
protected:
    SettingsStore() { platform::registry::reload(); }
    platform::ScopedTestDevice device;
};

// The question is asked until it is cleared, which is stored as one zero byte (any other byte
// asks) and kept when the texts are written; values of another type, and texts longer than the
// reader takes, read as the defaults.
TEST_F(SettingsStore, TheClearedQuestionIsOneZeroByteAndEachValueIsKeptByTheOthers) {
    auto key = SettingsKey::open();
    ASSERT_TRUE(key.has_value());
    EXPECT_TRUE(key->showInfo());
    EXPECT_EQ(key->readFields(), StoredFields{});
    const StoredFields fields{L"10.0.0.1", L"001122334455", L"7"};
    EXPECT_TRUE(key->writeFields(fields));
    EXPECT_TRUE(key->clearShowInfo());
    EXPECT_EQ(reopened().readFields(), fields);
    EXPECT_TRUE(reopened().writeFields({L"10.0.0.2", L"", L""}));
    EXPECT_FALSE(reopened().showInfo());
    EXPECT_EQ(raw(L"showInfo"), std::make_pair(DWORD{REG_BINARY}, DWORD{1}));
    const BYTE two = 2;
    raw(L"showInfo", REG_BINARY, &two, 1);
    EXPECT_TRUE(key->showInfo()) << "any byte but zero asks";
    const DWORD zero = 0;
    raw(L"showInfo", REG_DWORD, &zero, sizeof zero);
    const BYTE port[4] = {'9', 0, 0, 0};
    raw(L"lastPort", REG_BINARY, port, sizeof port);
    EXPECT_TRUE(reopened().showInfo());
    EXPECT_EQ(reopened().readFields().port, L"");
    // One character beyond the host reader's buffer reads back empty.
    EXPECT_TRUE(SettingsKey::open()->writeFields(
        {std::wstring(SettingsKey::hostCapacity + 1, L'h'), L"m", L"9"}));
    EXPECT_EQ(reopened().readFields(), (StoredFields{L"", L"m", L"9"}));
}

} // namespace

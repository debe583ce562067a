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
    const BYTE notText[4] = {'9', 0, 0, 0};
    raw(L"lastFields", REG_BINARY, notText, sizeof notText);
    EXPECT_TRUE(reopened().showInfo());
    EXPECT_EQ(reopened().readFields(), StoredFields{});
    // One character beyond the host reader's buffer reads back empty.
    EXPECT_TRUE(SettingsKey::open()->writeFields(
        {std::wstring(SettingsKey::hostCapacity + 1, L'h'), L"m", L"9"}));
    EXPECT_EQ(reopened().readFields(), (StoredFields{L"", L"m", L"9"}));
}

// The texts are one value, written at once, holding any characters; a password adds a fourth
// length, and a value without one (as older versions wrote it) reads as no password, even when
// its host starts with a number and a blank. The three values of older versions (here as regedit
// writes texts, with their terminator) are read where it is missing, and go when it is written.
// A damaged one reads as empty texts.
TEST_F(SettingsStore, TheTextsAreOneValueAndTheThreeValuesOfOlderVersionsAreReadUntilItIsWritten) {
    const auto setText = [](const wchar_t* name, const std::wstring& text) {
        raw(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    };
    ASSERT_TRUE(SettingsKey::open().has_value());
    setText(L"lastIP", L"old.host");
    setText(L"lastMAC", L"00:11:22:33:44:55");
    setText(L"lastPort", L"7");
    EXPECT_EQ(reopened().readFields(), (StoredFields{L"old.host", L"00:11:22:33:44:55", L"7"}));
    const StoredFields any{std::wstring(L"h 1\0x", 5), L"", std::wstring(L"9\0", 2)};
    EXPECT_TRUE(reopened().writeFields(any));
    EXPECT_EQ(reopened().readFields(), any);
    for (const wchar_t* old : {L"lastIP", L"lastMAC", L"lastPort"}) {
        EXPECT_EQ(raw(old).second, 0u) << "left behind: " << old;
    }
    EXPECT_EQ(raw(L"lastFields"), std::make_pair(DWORD{REG_SZ}, DWORD{13 * sizeof(WCHAR)}));
    setText(L"lastFields", L"3 17 2 new00:11:22:33:44:5512");
    EXPECT_EQ(reopened().readFields(), (StoredFields{L"new", L"00:11:22:33:44:55", L"12"}));
    const StoredFields secured{L"nas", L"00:11:22:33:44:55", L"9", L"192.168.1.1"};
    EXPECT_TRUE(reopened().writeFields(secured));
    EXPECT_EQ(reopened().readFields(), secured);
    EXPECT_EQ(raw(L"lastFields").second, std::wstring(L"3 17 1 11 ").size() * sizeof(WCHAR) +
                                             (3 + 17 + 1 + 11) * sizeof(WCHAR));
    setText(L"lastFields", L"6 0 0 12 345");
    EXPECT_EQ(reopened().readFields(), (StoredFields{L"12 345", L"", L""}));
    setText(L"lastFields", L"3 17 2 new00:11:22:33:44:5512");
    setText(L"lastIP", L"older.host");
    EXPECT_EQ(reopened().readFields().host, L"new") << "the older form is read only without it";
    for (const wchar_t* damaged :
         {L"3 17 2 new00:11", L"3 17 new", L"3 17 2 new00:11:22:33:44:55123", L"999999 0 0 x"}) {
        setText(L"lastFields", damaged);
        EXPECT_EQ(reopened().readFields(), StoredFields{}) << damaged;
    }
}

} // namespace

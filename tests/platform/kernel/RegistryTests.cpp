// Registry values keep their type and bytes across restarts, in a REGEDIT5 file.
#include "KernelTestSupport.h"

#include "registry/RegistryText.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kerneltest;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    TemporaryDevice device;
    fs::path file = device.device / "registry.reg";

    HKEY openSettings(DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, disposition),
                  ERROR_SUCCESS);
        return key;
    }

    // Writes a text the way the settings store does: its characters, without a terminator.
    void setText(HKEY key, const wchar_t* name, const std::wstring& text) {
        EXPECT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                                 static_cast<DWORD>(text.size() * sizeof(WCHAR))),
                  ERROR_SUCCESS);
    }

    // Reads a text into a buffer of `capacity` characters, as the settings store does.
    LONG readValueText(HKEY key, const wchar_t* name, size_t capacity, std::wstring& text,
                       DWORD& size) {
        std::vector<wchar_t> buffer(capacity, L'#');
        size = static_cast<DWORD>(capacity * sizeof(WCHAR));
        DWORD type = 0;
        LONG result = RegQueryValueExW(key, name, nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (result == ERROR_SUCCESS) {
            EXPECT_EQ(type, REG_SZ);
            text.assign(buffer.data(), size / sizeof(WCHAR));
        } else {
            text.assign(buffer.begin(), buffer.end());
        }
        return result;
    }

    // A restart: the registry is read again from the file.
    HKEY restart(HKEY key) {
        RegCloseKey(key);
        platform::registry::reload();
        return openSettings();
    }
};

} // namespace

TEST_F(RegistryTest, CreatingAKeyTellsWhetherItWasNewAndNamesIgnoreCase) {
    DWORD disposition = 0;
    HKEY first = openSettings(&disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    HKEY again = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"software\\DAWNBELL", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    setText(first, L"lastIP", L"10.0.0.1");
    std::wstring text;
    DWORD size = 0;
    EXPECT_EQ(readValueText(again, L"LASTip", 254, text, size), ERROR_SUCCESS);
    EXPECT_EQ(text, L"10.0.0.1");
    EXPECT_EQ(RegCloseKey(first), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
}

TEST_F(RegistryTest, TextWithoutTerminatorComesBackWithItsExactByteCountAfterARestart) {
    HKEY key = openSettings();
    setText(key, L"lastIP", L"192.168.1.5");
    key = restart(key);
    std::wstring text;
    DWORD size = 0;
    ASSERT_EQ(readValueText(key, L"lastIP", 254, text, size), ERROR_SUCCESS);
    EXPECT_EQ(size, 11 * sizeof(WCHAR));
    EXPECT_EQ(text, L"192.168.1.5");
    EXPECT_NE(readText(device.device / "registry.reg").find("\"lastIP\"=hex(1):31,00,39,00,32,00"),
              std::string::npos)
        << "two bytes per character on disk";
    RegCloseKey(key);
}

TEST_F(RegistryTest, TextWithTerminatorKeepsTheTerminator) {
    HKEY key = openSettings();
    const wchar_t withNul[] = L"ab";
    ASSERT_EQ(RegSetValueExW(key, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(withNul),
                             sizeof withNul),
              ERROR_SUCCESS);
    key = restart(key);
    std::wstring text;
    DWORD size = 0;
    ASSERT_EQ(readValueText(key, L"v", 10, text, size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3 * sizeof(WCHAR));
    EXPECT_EQ(text, std::wstring(L"ab\0", 3));
    RegCloseKey(key);
}

TEST_F(RegistryTest, EmptyTextIsStoredWithByteCountZero) {
    HKEY key = openSettings();
    setText(key, L"lastPort", L"");
    key = restart(key);
    std::wstring text;
    DWORD size = 99;
    ASSERT_EQ(readValueText(key, L"lastPort", 5, text, size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(text, L"");
    RegCloseKey(key);
}

TEST_F(RegistryTest, TextOutsideTheBasicPlaneAndPartialCharactersAreHandled) {
    HKEY key = openSettings();
    setText(key, L"emoji", L"a\U0001F600");
    const wchar_t two[] = L"xyz";
    ASSERT_EQ(RegSetValueExW(key, L"partial", 0, REG_SZ, reinterpret_cast<const BYTE*>(two),
                             2 * sizeof(WCHAR) + 1),
              ERROR_SUCCESS);
    key = restart(key);
    std::wstring text;
    DWORD size = 0;
    ASSERT_EQ(readValueText(key, L"emoji", 10, text, size), ERROR_SUCCESS);
    EXPECT_EQ(text, L"a\U0001F600");
    ASSERT_EQ(readValueText(key, L"partial", 10, text, size), ERROR_SUCCESS);
    EXPECT_EQ(text, L"xy") << "whole characters only";
    RegCloseKey(key);
}

TEST_F(RegistryTest, OneByteBinaryAndDwordKeepTheirTypesAndBytes) {
    HKEY key = openSettings();
    BYTE zero = 0;
    ASSERT_EQ(RegSetValueExW(key, L"showInfo", 0, REG_BINARY, &zero, 1), ERROR_SUCCESS);
    DWORD version = 0x33333333;
    ASSERT_EQ(RegSetValueExW(key, L"torvaneVersion", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&version), sizeof version),
              ERROR_SUCCESS);
    key = restart(key);

    BYTE showInfo = 1;
    DWORD size = 1;
    ASSERT_EQ(RegQueryValueExW(key, L"showInfo", nullptr, nullptr, &showInfo, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(showInfo, 0);
    EXPECT_EQ(size, 1u);

    DWORD read = 0;
    DWORD type = 0;
    size = sizeof read;
    ASSERT_EQ(RegQueryValueExW(key, L"torvaneVersion", nullptr, &type,
                               reinterpret_cast<BYTE*>(&read), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(read, 0x33333333u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, TooSmallBufferGivesMoreDataWithTheNeededSizeAndIsLeftAlone) {
    HKEY key = openSettings();
    setText(key, L"lastPort", L"123456");
    std::wstring text;
    DWORD size = 0;
    EXPECT_EQ(readValueText(key, L"lastPort", 5, text, size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6 * sizeof(WCHAR));
    EXPECT_EQ(text, L"#####");

    DWORD type = 0;
    size = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"lastPort", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6 * sizeof(WCHAR)) << "no buffer: the size is reported";
    EXPECT_EQ(type, REG_SZ);
    RegCloseKey(key);
}

TEST_F(RegistryTest, MissingKeysValuesAndBadHandlesAreReported) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    key = openSettings();
    BYTE data[4];
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExW(key, L"absent", nullptr, nullptr, data, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, L"absent"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, L"absent", nullptr, nullptr, data, &size),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExW(key, L"x", 0, REG_BINARY, data, 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeletedValueIsGoneAfterARestart) {
    HKEY key = openSettings();
    setText(key, L"lastMAC", L"00:11:22:33:44:55");
    EXPECT_EQ(RegDeleteValueW(key, L"LASTMAC"), ERROR_SUCCESS);
    key = restart(key);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"lastMAC", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, FileIsARegeditExportOfTheKeysAndValues) {
    HKEY key = openSettings();
    setText(key, L"lastIP", L"10");
    BYTE zero = 0;
    RegSetValueExW(key, L"showInfo", 0, REG_BINARY, &zero, 1);
    DWORD ten = 10;
    RegSetValueExW(key, L"a \"quoted\\\" name", 0, REG_DWORD, reinterpret_cast<BYTE*>(&ten),
                   sizeof ten);
    RegCloseKey(key);
    EXPECT_EQ(readText(file), "Windows Registry Editor Version 5.00\n"
                              "\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
                              "\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dawnbell]\n"
                              "\"a \\\"quoted\\\\\\\" name\"=dword:0000000a\n"
                              "; lastIP = \"10\"\n"
                              "\"lastIP\"=hex(1):31,00,30,00\n"
                              "\"showInfo\"=hex:00\n"
                              "\n");
    EXPECT_FALSE(fs::exists(device.device / "registry.reg.tmp"));
}

TEST_F(RegistryTest, NewKeyTakesTheSpellingOfTheKeysAboveIt) {
    RegCloseKey(openSettings());
    HKEY other = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"software\\Other", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &other, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(other);
    std::string text = readText(file);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]"), std::string::npos) << text;
    EXPECT_EQ(text.find("software"), std::string::npos) << text;
}

TEST_F(RegistryTest, LongValuesAreWrappedOnContinuationLinesAndReadBack) {
    HKEY key = openSettings();
    std::wstring host(254, L'h');
    setText(key, L"lastIP", host);
    std::string text = readText(file);
    EXPECT_NE(text.find(",\\\n  68,00"), std::string::npos);
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        if (text[start] != ';') { // the comment shows the whole text on one line
            EXPECT_LE(end - start, 80u);
        }
    }
    key = restart(key);
    std::wstring read;
    DWORD size = 0;
    ASSERT_EQ(readValueText(key, L"lastIP", 254, read, size), ERROR_SUCCESS);
    EXPECT_EQ(read, host);
    RegCloseKey(key);
}

TEST_F(RegistryTest, HandWrittenPlainStringReadsAsTextWithTerminator) {
    writeText(file, "Windows Registry Editor Version 5.00\r\n\r\n"
                    "; written by hand\r\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dawnbell]\r\n"
                    "; a comment that ends in a backslash \\\r\n"
                    "\"lastPort\"=\"9\"\r\n"
                    "; lastIP = \"what the comment says\"\r\n"
                    "\"lastIP\"=hex(1):31,00\r\n");
    HKEY key = openSettings();
    std::wstring text;
    DWORD size = 0;
    ASSERT_EQ(readValueText(key, L"lastPort", 5, text, size), ERROR_SUCCESS);
    EXPECT_EQ(text, std::wstring(L"9\0", 2)) << "the comment above does not continue";
    ASSERT_EQ(readValueText(key, L"lastIP", 5, text, size), ERROR_SUCCESS);
    EXPECT_EQ(text, L"1") << "the hex holds the value, never the comment";
    RegCloseKey(key);
}

// The text as it is written, and the comment line a person reads above its hex.
struct ShownText {
    const char* name;
    std::wstring text;
    std::string comment;
};

void PrintTo(const ShownText& shown, std::ostream* out) {
    *out << shown.name;
}

class RegistryCommentTest : public RegistryTest, public ::testing::WithParamInterface<ShownText> {};

TEST_P(RegistryCommentTest, TextShowsInOneCommentLineAndComesBackExactlyWithNothingAdded) {
    const ShownText& shown = GetParam();
    HKEY key = openSettings();
    setText(key, L"lastIP", shown.text);
    setText(key, L"lastMAC", L"00:11:22:33:44:55");
    const std::string written = readText(file);
    EXPECT_NE(written.find("\n; lastIP = \"" + shown.comment + "\"\n\"lastIP\"=hex(1):"),
              std::string::npos)
        << written;

    key = restart(key);
    std::wstring text;
    DWORD size = 0;
    ASSERT_EQ(readValueText(key, L"lastIP", 254, text, size), ERROR_SUCCESS);
    EXPECT_EQ(text, shown.text);
    ASSERT_EQ(readValueText(key, L"lastMAC", 24, text, size), ERROR_SUCCESS);
    EXPECT_EQ(text, L"00:11:22:33:44:55") << "the value below is still read";
    RegCloseKey(key);
    const auto parsed = platform::registry::parse(written);
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    size_t values = 0;
    for (const auto& [path, held] : parsed.tree) {
        values += held.values.size();
    }
    EXPECT_EQ(parsed.tree.size(), 2u) << "no key added";
    EXPECT_EQ(values, 2u) << "no value added";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RegistryCommentTest,
    ::testing::Values(
        ShownText{"Address", L"192.168.1.20", "192.168.1.20"}, ShownText{"Empty", L"", ""},
        ShownText{"LinesThatLookLikeAKeyAndAValue",
                  L"a\r\n[HKEY_LOCAL_MACHINE\\Evil]\r\n\"x\"=dword:1\n",
                  "a\\r\\n[HKEY_LOCAL_MACHINE\\\\Evil]\\r\\n\\\"x\\\"=dword:1\\n"},
        ShownText{"CommentMarksAndEquals", L"; lastIP = \"x\" ;", "; lastIP = \\\"x\\\" ;"},
        ShownText{"EndsInABackslash", L"C:\\", "C:\\\\"},
        ShownText{"NulAndControls", std::wstring(L"a\0b\tc\x1b\x7f\x85", 8),
                  "a\\x00b\\tc\\x1B\\x7F\\x85"},
        ShownText{"RightToLeft", L"\u05E9\u05DC\u05D5\u05DD 1", "\u05E9\u05DC\u05D5\u05DD 1"},
        ShownText{"DirectionOverrides", L"\u202Egpj.exe\u2066", "\\u202Egpj.exe\\u2066"},
        ShownText{"InvisibleAndLineSeparators", L"a\u200Bb\u2028c\uFEFF",
                  "a\\u200Bb\\u2028c\\uFEFF"},
        ShownText{"BeyondTheBasicPlane", L"\U0001F600\U00010348", "\U0001F600\U00010348"},
        ShownText{"UnpairedSurrogate", std::wstring(1, static_cast<wchar_t>(0xD83D)) + L"x",
                  "\\uD83Dx"},
        ShownText{"Tag", L"a\U000E0041", "a\\U000E0041"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(RegistryTest, DamagedFileIsSetAsideWithOneMessageAndTheRegistryStartsEmpty) {
    const std::string damaged = "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dawnbell]\n"
                                "\"lastIP\"=hex(1):31,0";
    writeText(file, damaged);
    ::testing::internal::CaptureStderr();
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1);
    EXPECT_NE(message.find("registry.reg"), std::string::npos);

    std::vector<fs::path> aside;
    for (const auto& entry : fs::directory_iterator(device.device)) {
        if (entry.path().filename().string().starts_with("registry.reg.damaged-")) {
            aside.push_back(entry.path());
        }
    }
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(readText(aside[0]), damaged);

    key = openSettings();
    setText(key, L"lastIP", L"1");
    RegCloseKey(key);
    EXPECT_EQ(readText(aside[0]), damaged) << "never overwritten";
    EXPECT_TRUE(platform::registry::parse(readText(file)).error.empty());
}

TEST_F(RegistryTest, FilesThatAreNotRegistriesAreRejected) {
    using platform::registry::parse;
    EXPECT_FALSE(parse("").error.empty());
    EXPECT_FALSE(parse("hello").error.empty());
    EXPECT_FALSE(parse("Windows Registry Editor Version 5.00\n\"v\"=dword:1\n").error.empty())
        << "value before a key";
    EXPECT_FALSE(parse("Windows Registry Editor Version 5.00\n[HKEY_NOWHERE\\x]\n").error.empty());
    EXPECT_FALSE(
        parse("Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\x]\n\"v\"=hex(1):31\n")
            .error.empty())
        << "odd UTF-16 byte count";
    EXPECT_FALSE(parse("Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\x]\n"
                       "\"v\"=dword:123456789\n")
                     .error.empty());
    EXPECT_TRUE(parse("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
                      "[hkey_local_machine\\x]\n@=hex(b):01,02\n")
                    .error.empty());
}

TEST_F(RegistryTest, WritersOnSeveralThreadsAllReachTheFile) {
    struct Run {
        HKEY key;
        int first;
    };
    HKEY key = openSettings();
    auto writer = [](LPVOID p) -> DWORD {
        auto* run = static_cast<Run*>(p);
        for (int i = 0; i < 20; ++i) {
            std::wstring name = L"v" + std::to_wstring(run->first + i);
            DWORD number = static_cast<DWORD>(i);
            RegSetValueExW(run->key, name.c_str(), 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&number), sizeof number);
        }
        return 0;
    };
    Run a{key, 0};
    Run b{key, 100};
    HANDLE ta = CreateThread(nullptr, 0, writer, &a, 0, nullptr);
    HANDLE tb = CreateThread(nullptr, 0, writer, &b, 0, nullptr);
    WaitForSingleObject(ta, INFINITE);
    WaitForSingleObject(tb, INFINITE);
    CloseHandle(ta);
    CloseHandle(tb);
    key = restart(key);
    for (int first : {0, 100}) {
        for (int i = 0; i < 20; ++i) {
            std::wstring name = L"v" + std::to_wstring(first + i);
            DWORD number = 99;
            DWORD size = sizeof number;
            EXPECT_EQ(RegQueryValueExW(key, name.c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&number), &size),
                      ERROR_SUCCESS);
            EXPECT_EQ(number, static_cast<DWORD>(i));
        }
    }
    RegCloseKey(key);
}

// Registry values keep their type and bytes across restarts, in a REGEDIT5 file.
#include "support/Kernel.h"

#include "registry/RegistryText.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

using namespace kerneltest;
namespace paths = platform::paths;

namespace {

std::string bytesOf(const std::wstring& text, size_t extra = 0) {
    return std::string(reinterpret_cast<const char*>(text.data()),
                       text.size() * sizeof(WCHAR) + extra);
}

class RegistryTest : public ::testing::Test {
protected:
    TemporaryDevice device;
    fs::path file = device.device / "registry.reg";

    HKEY openSettings(const wchar_t* path = L"SOFTWARE\\Dawnbell", DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, disposition),
                  ERROR_SUCCESS);
        return key;
    }
    static LONG set(HKEY key, const wchar_t* name, DWORD type, const std::string& bytes) {
        return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                              static_cast<DWORD>(bytes.size()));
    }
    // Writes a text the way the settings store does: its characters, without a terminator.
    static void setText(HKEY key, const wchar_t* name, const std::wstring& text) {
        EXPECT_EQ(set(key, name, REG_SZ, bytesOf(text)), ERROR_SUCCESS);
    }

    // Reads into a buffer of `capacity` bytes filled with '#': the result, the bytes read (or the
    // whole buffer when refused), and the type and size reported.
    struct Read {
        LONG result;
        std::string bytes;
        DWORD type = 0, size = 0;
    };
    static Read query(HKEY key, const wchar_t* name, size_t capacity = 1024) {
        Read read{0, std::string(capacity, '#'), 0, static_cast<DWORD>(capacity)};
        read.result = RegQueryValueExW(key, name, nullptr, &read.type,
                                       reinterpret_cast<BYTE*>(read.bytes.data()), &read.size);
        if (read.result == ERROR_SUCCESS)
            read.bytes.resize(read.size);
        return read;
    }

    // A restart: the registry is read again from the file.
    HKEY restart(HKEY key) {
        RegCloseKey(key);
        platform::registry::reload();
        return openSettings();
    }
};

} // namespace

TEST_F(RegistryTest, ValuesComeBackAfterARestartWithTheirTypeAndExactBytes) {
    struct Stored {
        const wchar_t* name;
        DWORD type;
        std::string written, read; // an empty `read`: as written
    };
    const Stored values[] = {
        {L"terminated", REG_SZ, bytesOf(std::wstring(L"ab\0", 3)), bytesOf(L"ab", sizeof(WCHAR))},
        {L"emoji", REG_SZ, bytesOf(L"a\U0001F600\u00e9\u0800")},
        {L"partial", REG_SZ, bytesOf(L"xyz").substr(0, 2 * sizeof(WCHAR) + 1), bytesOf(L"xy")},
        // No pair: the second is no low half.
        {L"unpaired", REG_SZ, bytesOf({L'x', wchar_t(0xD83D), wchar_t(0xE000)})},
        {L"beyond", REG_SZ, bytesOf({L'x', wchar_t(0x110000)}), bytesOf(L"x\uFFFD")},
        {L"showInfo", REG_BINARY, std::string(1, '\0')},
        {L"version", REG_DWORD, "3333"},
    };
    HKEY key = openSettings();
    for (const auto& v : values)
        EXPECT_EQ(set(key, v.name, v.type, v.written), ERROR_SUCCESS);
    setText(key, L"lastMAC", L"00:11:22:33:44:55");
    EXPECT_EQ(RegDeleteValueW(key, L"LASTMAC"), ERROR_SUCCESS);
    setText(key, L"lastPort", L"123456");
    key = restart(key);
    for (const auto& v : values) {
        const Read read = query(key, v.name);
        EXPECT_EQ(std::tuple(read.result, read.type, read.bytes),
                  std::tuple(ERROR_SUCCESS, v.type, v.read.empty() ? v.written : v.read))
            << v.name;
    }
    EXPECT_EQ(query(key, L"lastMAC").result, ERROR_FILE_NOT_FOUND) << "deleted stays deleted";

    // A buffer too small is left alone and told the size needed; no buffer is told it too.
    const Read small = query(key, L"lastPort", 5 * sizeof(WCHAR));
    EXPECT_EQ(std::tuple(small.result, small.size, small.bytes),
              std::tuple(ERROR_MORE_DATA, 6 * sizeof(WCHAR), std::string(5 * sizeof(WCHAR), '#')));
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"lastPort", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::tuple(type, size), std::tuple(REG_SZ, 6 * sizeof(WCHAR)));
    RegCloseKey(key);
}

TEST_F(RegistryTest, KeysTellWhetherTheyAreNewAndNamesIgnoreCaseWhileBadArgumentsFail) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    DWORD created = 0, opened = 0;
    HKEY first = openSettings(L"SOFTWARE\\Dawnbell", &created);
    key = openSettings(L"software\\DAWNBELL\\", &opened);
    EXPECT_EQ(std::tuple(created, opened),
              std::tuple(REG_CREATED_NEW_KEY, REG_OPENED_EXISTING_KEY));
    setText(first, L"lastIP", L"10.0.0.1");
    EXPECT_EQ(query(key, L"LASTip").bytes, bytesOf(L"10.0.0.1"));
    EXPECT_EQ(RegCloseKey(first), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, L"absent"), ERROR_FILE_NOT_FOUND);
    // Names end at 16,383 characters and hold no control character.
    for (const std::wstring& name : {std::wstring(16384, L'n'), std::wstring(L"a\tb")})
        EXPECT_EQ(set(key, name.c_str(), REG_BINARY, "1"), ERROR_INVALID_PARAMETER);
    // Key names end at 255 characters; no part of a path is empty.
    for (const std::wstring& path :
         {L"SOFTWARE\\" + std::wstring(256, L'k'), std::wstring(L"a\\\\b")})
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &first, nullptr),
                  ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, FileIsARegeditExportWithLongValuesWrappedAndKeysSpelledAsAbove) {
    fs::create_directories(file); // a folder in its place cannot be read: it is set aside
    HKEY key = openSettings();
    setText(key, L"lastIP", L"10");
    set(key, L"showInfo", REG_BINARY, std::string(1, '\0'));
    set(key, L"a \"quoted\\\" name", REG_DWORD, std::string("\x0a\0\0\0", 4));
    RegCloseKey(openSettings(L"software\\Other"));
    EXPECT_EQ(fileBytes(file), "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dawnbell]\n"
                               "\"a \\\"quoted\\\\\\\" name\"=dword:0000000a\n"
                               "; lastIP = \"10\"\n"
                               "\"lastIP\"=hex(1):31,00,30,00\n"
                               "\"showInfo\"=hex:00\n\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\n");
    EXPECT_EQ(entriesIn(device.device), 4u)
        << "the file, its lock, the folder set aside and windows";

    setText(key, L"lastIP", std::wstring(254, L'h'));
    RegCloseKey(key);
    const std::string text = fileBytes(file);
    EXPECT_NE(text.find(",\\\n  68,00"), std::string::npos);
    // Lines end by column 80; only the comment shows the whole text on one line.
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        EXPECT_TRUE(text[start] == ';' || end - start <= 80u) << text.substr(start, end - start);
}

TEST_F(RegistryTest, FileWrittenByHandMeanwhileIsReadAgainAndItsPlainStringHasATerminator) {
    RegCloseKey(openSettings());
    writeBytes(file, "Windows Registry Editor Version 5.00\r\n\r\n"
                     "; written by hand\r\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dawnbell]\r\n"
                     "; a comment that ends in a backslash \\\r\n"
                     "\"lastPort\"=\"9\"\r\n"
                     "; lastIP = \"what the comment says\"\r\n\r\n"
                     "\"lastIP\"=hex(1):31,00\r\n");
    HKEY key = openSettings();
    EXPECT_EQ(query(key, L"lastPort").bytes, bytesOf(L"9", sizeof(WCHAR)))
        << "the comment above does not continue";
    EXPECT_EQ(query(key, L"lastIP").bytes, bytesOf(L"1")) << "the hex holds it, not the comment";
    RegCloseKey(key);
}

TEST_F(RegistryTest, TextShowsInOneCommentLineAndComesBackExactlyWithNothingAdded) {
    // The text as it is written, and the comment line a person reads above its hex.
    const std::pair<std::wstring, std::string> texts[] = {
        {L"", ""},
        {L"a\r\n[HKEY_LOCAL_MACHINE\\Evil]\r\n\"x\"=dword:1\n",
         "a\\r\\n[HKEY_LOCAL_MACHINE\\\\Evil]\\r\\n\\\"x\\\"=dword:1\\n"},
        {L"; lastIP = \"x\" ;", "; lastIP = \\\"x\\\" ;"},
        {std::wstring(L"a\0b\tc\x1b\x7f\x85", 8), "a\\x00b\\tc\\x1B\\x7F\\x85"},
        {L"\u05E9\u05DC\u05D5\u05DD 1", "\u05E9\u05DC\u05D5\u05DD 1"}, // right to left
        {L"\u202Egpj.exe\u2066", "\\u202Egpj.exe\\u2066"},             // direction overrides
        {L"a\u200Bb\u2028c\uFEFF", "a\\u200Bb\\u2028c\\uFEFF"},
        {L"\U0001F600\U00010348", "\U0001F600\U00010348"},
        {std::wstring(1, static_cast<wchar_t>(0xD83D)) + L"x", "\\uD83Dx"},
        {L"a\U000E0041", "a\\U000E0041"}, // a tag character
    };
    // Each text is followed by another value, which must still be read.
    const auto name = [](size_t i) { return L"text" + std::to_wstring(i); };
    HKEY key = openSettings();
    for (size_t i = 0; i < std::size(texts); ++i)
        setText(key, name(i).c_str(), texts[i].first);
    const std::string written = fileBytes(file);
    key = restart(key);
    for (size_t i = 0; i < std::size(texts); ++i) {
        const std::string shown = paths::narrow(name(i));
        EXPECT_NE(written.find("\n; " + shown + " = \"" + texts[i].second + "\"\n\"" + shown +
                               "\"=hex(1):"),
                  std::string::npos)
            << texts[i].second;
        EXPECT_EQ(query(key, name(i).c_str()).bytes, bytesOf(texts[i].first)) << texts[i].second;
    }
    RegCloseKey(key);
    const auto parsed = platform::registry::parse(written);
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    EXPECT_EQ(std::tuple(parsed.tree.size(), parsed.tree.rbegin()->second.values.size()),
              std::tuple(2u, std::size(texts)))
        << "no key or value added";
}

// Each device folder has its registry: once another is configured, the calls reach its file.
TEST_F(RegistryTest, CallsReachTheRegistryOfTheDeviceFolderNowConfigured) {
    EXPECT_EQ(set(HKEY_LOCAL_MACHINE, L"v", REG_BINARY, "1"), ERROR_SUCCESS);
    paths::configure(device.root / "other", device.program);
    EXPECT_EQ(RegDeleteValueW(HKEY_LOCAL_MACHINE, L"v"), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(fileBytes(file).find("\"v\"=hex:31"), std::string::npos);
}

// As the user nobody where the test runs as root: a change with no lock to be had fails, saying so
// once; a lock file the user may only read locks as well.
TEST_F(RegistryTest, ChangesTakeEvenAReadOnlyLockAndWithoutOneFailSayingSoOnce) {
    using enum fs::perms;
    fs::permissions(device.root, all & ~others_write);
    fs::permissions(device.device, all & ~owner_write & ~group_write & ~others_write);
    const auto setAsNobody = [&](LONG expected) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            std::exit(3);
        const bool result = set(HKEY_LOCAL_MACHINE, L"v", REG_BINARY, "1") == expected &&
                            RegDeleteValueW(HKEY_LOCAL_MACHINE, L"w") ==
                                (expected ? expected : ERROR_FILE_NOT_FOUND);
        std::exit(result ? 0 : 4);
    };
    EXPECT_EXIT(setAsNobody(ERROR_WRITE_FAULT), ::testing::ExitedWithCode(0),
                "^dawnbell: the registry file [^\n]* could not be written [^\n]*\n$"); // once
    EXPECT_FALSE(fs::exists(file));

    fs::permissions(device.device, all);
    const fs::path lock = fs::path(file) += ".lock";
    writeBytes(lock, "");
    fs::permissions(lock, owner_read | group_read | others_read);
    EXPECT_EXIT(setAsNobody(ERROR_SUCCESS), ::testing::ExitedWithCode(0), "");
    EXPECT_NE(fileBytes(file).find("\"v\"=hex:31"), std::string::npos);
}

// Where the damaged file cannot be moved aside (its folder is read-only: the user nobody is
// made where the test runs as root), the registry works in memory and never writes the file.
TEST_F(RegistryTest, DamagedFileThatCannotBeMovedAsideIsNeverWritten) {
    writeBytes(file, "damaged");
    using enum fs::perms;
    fs::permissions(device.root, all & ~others_write);
    fs::permissions(device.device, all & ~owner_write & ~group_write & ~others_write);
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                std::exit(3);
            std::exit(set(openSettings(), L"lastIP", REG_BINARY, "1") == ERROR_SUCCESS ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "could not be moved aside .* changes will not be saved");
    fs::permissions(device.device, owner_all);
    EXPECT_EQ(fileBytes(file), "damaged");
}

TEST(RegistryText, FilesThatAreNotRegistriesAreRejected) {
    const std::string header = "Windows Registry Editor Version 5.00\n";
    for (const std::string& text : {
             std::string(),
             std::string("hello"),
             header + "\"v\"=dword:1\n", // a value before a key
             header + "[HKEY_NOWHERE\\x]\n",
             header + "[HKEY_LOCAL_MACHINE\\x]\n\"v\"=hex(1):31\n", // odd UTF-16 byte count
             header + "[HKEY_LOCAL_MACHINE\\x]\n\"v\"=dword:123456789\n",
             header + "[HKEY_LOCAL_MACHINE\\x\xFF]\n",               // a name not in UTF-8
             header + "[HKEY_LOCAL_MACHINE\\x]\n\"\xC3\"=dword:1\n", // cut off mid-character
             header + "[HKEY_LOCAL_MACHINE\\x]\n\"a\\q\"=dword:1\n", // no such escape
             header + "[HKEY_LOCAL_MACHINE\\x]\n\"v\"=hex:0g\n",
         })
        EXPECT_FALSE(platform::registry::parse(text).error.empty()) << text;
    const auto parsed = platform::registry::parse("\xEF\xBB\xBF" + header +
                                                  "\n[hkey_local_machine\\x]\n@=hex(b):0A,fF\n");
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    EXPECT_EQ(parsed.tree.begin()->second.values.begin()->second.data,
              (std::vector<BYTE>{0x0A, 0xFF}));
}

TEST_F(RegistryTest, WritersOnSeveralThreadsAllReachTheFile) {
    HKEY key = openSettings();
    const auto name = [](int i) { return L"v" + std::to_wstring(i); };
    const auto writer = [&](int first) {
        return [=] {
            for (int i = first; i < first + 20; ++i)
                set(key, name(i).c_str(), REG_DWORD, std::string(4, char(i)));
        };
    };
    { PlatformThread a(writer(0)), b(writer(100)); }
    key = restart(key);
    for (int i = 0; i < 120; i = i == 19 ? 100 : i + 1)
        EXPECT_EQ(query(key, name(i).c_str()).bytes, std::string(4, char(i)));
    RegCloseKey(key);
}

// The DWORD `name` of the Dawnbell key as the file holds it now, or -1.
long long storedNumber(const fs::path& file, const std::wstring& name) {
    const auto parsed = platform::registry::parse(fileBytes(file));
    for (const auto& [path, key] : parsed.tree) {
        for (const auto& [folded, value] : key.values) {
            if (value.name == name && value.data.size() == sizeof(DWORD))
                return *reinterpret_cast<const DWORD*>(value.data.data());
        }
    }
    return -1;
}

// Two processes count a value of their own up to 1,000, each change made while the other makes
// its own: before each change a process finds its last one in the file, and at the end both
// counts are there (each process once wrote the whole file from what it had read at its start,
// and the other's value vanished). In memory, as the lock is what is tried, not the disk.
TEST(RegistryProcessesTest, TwoProcessesChangingValuesAtOnceLoseNoneOfEachOthersChanges) {
    constexpr int changes = 1000;
    const fs::path memory = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
    testsupport::TemporaryFolder folder{(memory / "dawnbell-XXXXXX").string()};
    platform::paths::configure(folder.path / "device", folder.path);
    const fs::path file = platform::registry::filePath();
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> writers;
    for (const wchar_t* name : {L"a", L"b"}) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(go[1]);
            char start;
            [[maybe_unused]] auto ready = read(go[0], &start, 1); // both begin at once
            platform::registry::reload();
            HKEY key = nullptr;
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr);
            for (DWORD i = 0; i < changes; ++i) {
                if (i > 0 && storedNumber(file, name) != i - 1)
                    _exit(2); // the last change of this process is gone
                if (RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i),
                                   sizeof i) != ERROR_SUCCESS)
                    _exit(1);
            }
            _exit(0);
        }
        writers.push_back(pid);
    }
    close(go[0]);
    close(go[1]);
    for (const pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    EXPECT_EQ(std::pair(storedNumber(file, L"a"), storedNumber(file, L"b")),
              std::pair(changes - 1LL, changes - 1LL));
    platform::registry::reload();
}

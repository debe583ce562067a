// Device paths on the host, the module name, and the file calls.
#include "support/Kernel.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace kerneltest;
namespace paths = platform::paths;

namespace {

class PathsTest : public ::testing::Test {
protected:
    TemporaryDevice device;
};

HANDLE createFile(const wchar_t* path, DWORD access, DWORD disposition) {
    return CreateFileW(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

TEST_F(PathsTest, DevicePathsMapIntoTheProgramOrDeviceFolderAndNeverLeaveThem) {
    const std::pair<const wchar_t*, fs::path> mapped[] = {
        {L"\\Program Files\\Dawnbell\\resources\\VGA\\a.png",
         device.program / "resources" / "VGA" / "a.png"},
        {L"\\PROGRAM FILES\\dawnbell\\Resources\\x.TTF", device.program / "Resources" / "x.TTF"},
        {L"\\Windows\\Helvetica.TTF", device.device / "windows" / "Helvetica.TTF"},
        {L"\\My Documents\\notes.txt", device.device / "My Documents" / "notes.txt"},
        {L"\\Program Files\\Other\\x.exe", device.device / "Program Files" / "Other" / "x.exe"},
        {L"/windows//fonts\\.\\a.ttf", device.device / "windows" / "fonts" / "a.ttf"},
    };
    for (const auto& [path, host] : mapped)
        EXPECT_EQ(paths::toHost(path), host);
    paths::useImageFolder(device.root / "copy"); // the device's own copy of the images
    EXPECT_EQ(paths::toHost(L"\\Program Files\\Dawnbell\\Resources\\vga\\a.png"),
              device.root / "copy" / "a.png");
    EXPECT_EQ(paths::toHost(L"\\Program Files\\Dawnbell\\resources\\a.png"),
              device.program / "resources" / "a.png");
    EXPECT_EQ(GetFileAttributesW(L"\\windows"), FILE_ATTRIBUTE_DIRECTORY) << "configure makes it";

    for (const wchar_t* escape :
         {L"\\windows\\..\\..\\escaped.txt", L"\\Program Files\\Dawnbell\\..\\..\\escaped.txt",
          L"\\..\\escaped.txt", L"..\\escaped.txt"}) {
        auto rel = paths::toHost(escape).lexically_normal().lexically_relative(device.root);
        EXPECT_TRUE(rel.empty() || *rel.begin() == "..") << rel;
        EXPECT_EQ(createFile(escape, GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    }
    EXPECT_FALSE(fs::exists(device.root / "escaped.txt"));
    EXPECT_FALSE(fs::exists(device.root.parent_path() / "escaped.txt"));
}

// Without XDG_STATE_HOME and HOME the device folder is one of this user's alone, made or closed
// to 0700; a link, a file or another user's folder there is refused, saying why.
TEST_F(PathsTest, WithoutAHomeTheDeviceFolderIsAPrivateOneOrNoneSayingWhy) {
    const fs::path run = device.root / "run", tmp = device.root / "tmp",
                   gone = device.root / "gone",
                   own = tmp / ("dawnbell-" + std::to_string(geteuid()));
    fs::create_directories(run);
    fs::create_directories(tmp);
    struct Case {
        const char *runtime, *temporary;
        std::function<bool()> prepare; // false: the case cannot be made here
        fs::path folder;
        std::string problem;
    };
    const Case cases[] = {
        {run.c_str(), tmp.c_str(), [] { return true; }, run / "dawnbell", ""},
        {run.c_str(), tmp.c_str(), [&] { return mkdir((run / "dawnbell").c_str(), 0755) == 0; },
         run / "dawnbell", ""},
        {run.c_str(), tmp.c_str(),
         [&] { return symlink(tmp.c_str(), (run / "dawnbell").c_str()) == 0; }, own,
         " is a link or a file, not a folder"},
        {"", tmp.c_str(), [&] { return (writeBytes(own, ""), true); }, "",
         own.string() + " is a link or a file, not a folder"},
        {"", tmp.c_str(),
         [&] { return mkdir(own.c_str(), 0700) == 0 && chown(own.c_str(), 65534, 65534) == 0; }, "",
         own.string() + " belongs to another user"},
        {"", gone.c_str(), [] { return true; }, "",
         (gone / own.filename()).string() + " cannot be made (No such file or directory)"},
    };
    const char* names[] = {"XDG_STATE_HOME", "HOME", "XDG_RUNTIME_DIR", "TMPDIR"};
    std::vector<std::optional<std::string>> saved;
    for (const char* name : names)
        saved.push_back(getenv(name) ? std::optional<std::string>(getenv(name)) : std::nullopt);
    for (const Case& c : cases) {
        fs::remove_all(run / "dawnbell");
        fs::remove_all(own);
        if (!c.prepare())
            continue; // another user's folder needs root
        for (const auto& [name, value] : {std::pair{"XDG_STATE_HOME", ""},
                                          {"HOME", ""},
                                          {"XDG_RUNTIME_DIR", c.runtime},
                                          {"TMPDIR", c.temporary}})
            setenv(name, value, 1);
        std::string problem;
        EXPECT_EQ(paths::defaultDeviceFolder(problem), c.folder) << c.problem;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        struct stat info {};
        if (!c.folder.empty()) {
            EXPECT_TRUE(lstat(c.folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
                        (info.st_mode & 07777) == 0700)
                << c.folder;
        }
    }
    for (size_t i = 0; i < std::size(names); ++i)
        saved[i] ? setenv(names[i], saved[i]->c_str(), 1) : unsetenv(names[i]);

    writeBytes(device.root / "file", "");
    errno = 0;
    EXPECT_FALSE(paths::createPrivateFolders(device.root / "file" / "a" / "b"));
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_FALSE(paths::createPrivateFolders(device.root / "file"));
    EXPECT_EQ(errno, ENOTDIR);
}

// The program's module is found by its file name or its device path, in any case; its name is
// cut to fit a buffer too small, as the platform does.
TEST_F(PathsTest, ModuleIsTheProgramByNameOrPathInAnyCaseAndItsNameFillsTheBuffer) {
    const HMODULE program = GetModuleHandleW(nullptr);
    for (const wchar_t* name :
         {L"dawnbell.exe", L"DAWNBELL.EXE", L"\\program files\\DawnBell\\Dawnbell.Exe"})
        EXPECT_EQ(GetModuleHandleW(name), program) << name;
    for (const wchar_t* name : {L"dawnbell.ex", L"dawnbell.exe2", L"\\windows\\dawnbell.exe"}) {
        SetLastError(0);
        EXPECT_EQ(GetModuleHandleW(name), nullptr);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
    }
    const std::wstring path = L"\\Program Files\\Dawnbell\\dawnbell.exe";
    const auto size = static_cast<DWORD>(path.size());
    wchar_t name[64];
    EXPECT_EQ(GetModuleFileNameW(program, name, size + 1), size);
    EXPECT_EQ(name, path);
    const std::tuple<HMODULE, DWORD, DWORD, std::wstring, DWORD> calls[] = {
        {nullptr, size, size, path.substr(0, size - 1), ERROR_INSUFFICIENT_BUFFER},
        {nullptr, 5, 5, L"\\Pro", ERROR_INSUFFICIENT_BUFFER},
        {nullptr, 0, 0, L"kept", ERROR_INSUFFICIENT_BUFFER},
        {reinterpret_cast<HMODULE>(name), 64, 0, L"kept", ERROR_MOD_NOT_FOUND},
    };
    for (const auto& [module, capacity, result, text, error] : calls) {
        wcscpy(name, L"kept");
        SetLastError(0);
        EXPECT_EQ(GetModuleFileNameW(module, name, capacity), result) << capacity;
        EXPECT_EQ(std::tuple(name, GetLastError()), std::tuple(text, error)) << capacity;
    }
}

TEST_F(PathsTest, TextConvertsBetweenWideAndUtf8) {
    const std::wstring text = L"caf\u00e9 \u20ac \U0001F600";
    EXPECT_EQ(paths::narrow(text), "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(paths::widen(paths::narrow(text)), text);
    // A bad byte, overlong two- and three-byte forms, then the smallest forms.
    const std::pair<std::string, std::wstring> widened[] = {
        {"a\xFF\x62", L"a\uFFFDb"},
        {"\xC0\xAF", L"\uFFFD\uFFFD"},
        {"\xE0\x9F\xBF", L"\uFFFD\uFFFD\uFFFD"},
        {"\xE0\xA0\x80\xC2\x80", L"\u0800\u0080"},
    };
    for (const auto& [utf8, wide] : widened)
        EXPECT_EQ(paths::widen(utf8), wide);
    // Surrogates, first and last, are no characters; what follows them is, up to the last one.
    for (const auto& [unit, utf8] : {std::pair<wchar_t, const char*>{0xD800, "\xEF\xBF\xBD"},
                                     {0xDFFF, "\xEF\xBF\xBD"},
                                     {0xE000, "\xEE\x80\x80"},
                                     {0x10FFFF, "\xF4\x8F\xBF\xBF"}})
        EXPECT_EQ(paths::narrow(std::wstring(1, unit)), utf8);
}

TEST_F(PathsTest, FileWrittenAtADevicePathReadsBackAndTellsWhetherItExisted) {
    const std::string marker = "Your resources are already scalled!";
    const wchar_t* path = L"\\Program Files\\Dawnbell\\AlreadyScalled.txt";
    const fs::path host = device.program / "AlreadyScalled.txt";
    HANDLE file = createFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
    DWORD done = 0;
    char buffer[100] = {};
    EXPECT_TRUE(WriteFile(file, marker.data(), static_cast<DWORD>(marker.size()), &done, nullptr));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(fileBytes(host), marker);
    EXPECT_EQ(GetFileAttributesW(path), FILE_ATTRIBUTE_NORMAL);

    file = createFile(path, GENERIC_READ, OPEN_EXISTING);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), marker);
    EXPECT_FALSE(WriteFile(file, "x", 1, &done, nullptr)) << "a read-only handle cannot write";
    OVERLAPPED overlapped{};
    const auto invalid = [](BOOL ok) { return !ok && GetLastError() == ERROR_INVALID_PARAMETER; };
    EXPECT_TRUE(invalid(ReadFile(file, nullptr, 1, &done, nullptr)));
    EXPECT_TRUE(invalid(ReadFile(file, buffer, 1, &done, &overlapped)));
    EXPECT_TRUE(invalid(WriteFile(file, nullptr, 1, &done, nullptr)));
    EXPECT_TRUE(invalid(WriteFile(file, "x", 1, &done, &overlapped)));
    CloseHandle(file);

    file = createFile(path, GENERIC_WRITE, OPEN_ALWAYS);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
    CloseHandle(file);
    EXPECT_EQ(fs::file_size(host), marker.size()) << "kept";
    file = createFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
    CloseHandle(file);
    EXPECT_EQ(fs::file_size(host), 0u) << "truncated";
}

TEST_F(PathsTest, FileCallsReportTheReasonTheyFailed) {
    writeBytes(device.device / "windows" / "there.txt", "x");
    struct Failure {
        const wchar_t* path;
        DWORD access, disposition, error;
    };
    const Failure failures[] = {
        {L"\\windows\\missing.txt", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {L"\\nowhere\\x.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {L"\\windows\\there.txt", GENERIC_WRITE, CREATE_NEW, ERROR_FILE_EXISTS},
        {L"\\windows", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED}, // a folder is no file
        {L"\\windows\\there.txt", GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
        {L"\\windows\\there.txt", GENERIC_READ, 0, ERROR_INVALID_PARAMETER},
    };
    for (const auto& f : failures) {
        EXPECT_EQ(createFile(f.path, f.access, f.disposition), INVALID_HANDLE_VALUE) << f.error;
        EXPECT_EQ(GetLastError(), f.error);
    }
    EXPECT_EQ(GetFileAttributesW(L"\\windows\\missing.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(GetFileAttributesW(nullptr), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_TRUE(DeleteFileW(L"\\windows\\there.txt"));
    EXPECT_FALSE(DeleteFileW(L"\\windows\\there.txt"));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

TEST_F(PathsTest, CopyWithFailIfExistsNeverTouchesAnExistingFile) {
    const fs::path windows = device.device / "windows";
    writeBytes(device.program / "font.ttf", "new font");
    writeBytes(windows / "font.ttf", "installed font");
    const wchar_t* from = L"\\Program Files\\Dawnbell\\font.ttf";
    EXPECT_FALSE(CopyFileW(from, L"\\windows\\font.ttf", TRUE));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_EXISTS});
    EXPECT_EQ(fileBytes(windows / "font.ttf"), "installed font");
    EXPECT_TRUE(CopyFileW(from, L"\\windows\\font.ttf", FALSE));
    EXPECT_TRUE(CopyFileW(from, L"\\windows\\copy.ttf", TRUE));
    EXPECT_EQ(fileBytes(windows / "font.ttf") + fileBytes(windows / "copy.ttf"),
              "new fontnew font");
    EXPECT_FALSE(CopyFileW(L"\\Program Files\\Dawnbell\\gone.ttf", L"\\windows\\g.ttf", TRUE));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_FALSE(CopyFileW(L"\\windows", L"\\windows\\w", FALSE)) << "a folder is no file";
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    for (const auto& [source, target] :
         {std::pair<LPCWSTR, LPCWSTR>{from, nullptr}, {nullptr, from}}) {
        EXPECT_FALSE(CopyFileW(source, target, FALSE));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    }
    fs::create_directories(windows / "folder" / "inside");
    EXPECT_FALSE(CopyFileW(from, L"\\windows\\folder", FALSE)) << "a folder is never replaced";
    EXPECT_TRUE(fs::exists(windows / "folder" / "inside"));
    fs::create_symlink("/proc/self/mem", device.program / "unreadable"); // reading fails: EIO
    EXPECT_FALSE(CopyFileW(L"\\Program Files\\Dawnbell\\unreadable", L"\\windows\\u", FALSE));
    EXPECT_EQ(entriesIn(windows), 3u) << "no temporary copies left behind";
}

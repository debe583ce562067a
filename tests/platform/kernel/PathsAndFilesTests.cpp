// Device paths on the host, the module name, and the file calls.
#include "KernelTestSupport.h"

#include <gtest/gtest.h>

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

DWORD lastError() {
    return GetLastError();
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

TEST_F(PathsTest, TextConvertsBetweenWideAndUtf8) {
    std::wstring text = L"caf\u00e9 \u20ac \U0001F600";
    EXPECT_EQ(paths::narrow(text), "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(paths::widen(paths::narrow(text)), text);
    EXPECT_EQ(paths::widen("a\xFF"
                           "b"),
              L"a\uFFFD"
              L"b");
    EXPECT_EQ(paths::widen("\xC0\xAF"), L"\uFFFD\uFFFD") << "overlong form";
    EXPECT_EQ(paths::widen("\xE0\x9F\xBF"), L"\uFFFD\uFFFD\uFFFD") << "overlong three bytes";
    EXPECT_EQ(paths::widen("\xE0\xA0\x80\xC2\x80"), L"\u0800\u0080") << "the smallest forms";
    EXPECT_EQ(paths::narrow(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(paths::narrow(std::wstring(1, static_cast<wchar_t>(0xDFFF))), "\xEF\xBF\xBD")
        << "the last surrogate";
    EXPECT_EQ(paths::narrow(std::wstring(1, static_cast<wchar_t>(0xE000))), "\xEE\x80\x80");
}

TEST_F(PathsTest, ModuleFileNameIsTheProgramsDevicePathAndTruncatesWithATerminator) {
    const std::wstring full = L"\\Program Files\\Dawnbell\\dawnbell.exe";
    wchar_t buffer[MAX_PATH];
    HMODULE instance = GetModuleHandleW(nullptr);
    EXPECT_NE(instance, nullptr);
    EXPECT_EQ(GetModuleHandleW(L"DAWNBELL.EXE"), instance);
    EXPECT_EQ(GetModuleHandleW(L"other.dll"), nullptr);
    EXPECT_EQ(GetModuleFileNameW(instance, buffer, MAX_PATH), full.size());
    EXPECT_EQ(std::wstring(buffer), full);

    wchar_t small[11];
    std::fill(std::begin(small), std::end(small), L'#');
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 10), 10u);
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::wstring(small), full.substr(0, 9));
    EXPECT_EQ(small[10], L'#') << "nothing written past the buffer";
}

TEST_F(PathsTest, FileWrittenAtADevicePathReadsBackAndReportsItsCreation) {
    const std::string marker = "Your resources are already scalled!";
    const wchar_t* path = L"\\Program Files\\Dawnbell\\AlreadyScalled.txt";
    HANDLE file = createFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_SUCCESS));
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(file, marker.data(), static_cast<DWORD>(marker.size()), &done, nullptr));
    EXPECT_EQ(done, marker.size());
    char buffer[100] = {};
    EXPECT_FALSE(ReadFile(file, buffer, 1, &done, nullptr)) << "a write-only handle cannot read";
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(readText(device.program / "AlreadyScalled.txt"), marker);
    EXPECT_EQ(GetFileAttributesW(path), FILE_ATTRIBUTE_NORMAL);

    file = createFile(path, GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "only creation reports existing";
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), marker);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 0u) << "end of file";
    EXPECT_FALSE(WriteFile(file, "x", 1, &done, nullptr)) << "a read-only handle cannot write";
    CloseHandle(file);

    file = createFile(path, GENERIC_WRITE, OPEN_ALWAYS);
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(file);
    EXPECT_EQ(fs::file_size(device.program / "AlreadyScalled.txt"), marker.size()) << "kept";
    file = createFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(file);
    EXPECT_EQ(fs::file_size(device.program / "AlreadyScalled.txt"), 0u) << "truncated";
    EXPECT_FALSE(WriteFile(file, "x", 1, &done, nullptr)) << "closed";
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(PathsTest, FileCallsReportTheReasonTheyFailed) {
    writeText(device.device / "windows" / "there.txt", "x");
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
    };
    for (const auto& f : failures) {
        EXPECT_EQ(createFile(f.path, f.access, f.disposition), INVALID_HANDLE_VALUE) << f.error;
        EXPECT_EQ(lastError(), f.error);
    }
    EXPECT_EQ(GetFileAttributesW(L"\\windows\\missing.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(DeleteFileW(L"\\windows\\there.txt"));
    EXPECT_FALSE(DeleteFileW(L"\\windows\\there.txt"));
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(PathsTest, CopyWithFailIfExistsNeverTouchesAnExistingFile) {
    writeText(device.program / "font.ttf", "new font");
    writeText(device.device / "windows" / "font.ttf", "installed font");
    const wchar_t* from = L"\\Program Files\\Dawnbell\\font.ttf";
    EXPECT_FALSE(CopyFileW(from, L"\\windows\\font.ttf", TRUE));
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(readText(device.device / "windows" / "font.ttf"), "installed font");
    EXPECT_TRUE(CopyFileW(from, L"\\windows\\font.ttf", FALSE));
    EXPECT_EQ(readText(device.device / "windows" / "font.ttf"), "new font");
    EXPECT_TRUE(CopyFileW(from, L"\\windows\\copy.ttf", TRUE));
    EXPECT_EQ(readText(device.device / "windows" / "copy.ttf"), "new font");
    EXPECT_FALSE(CopyFileW(L"\\Program Files\\Dawnbell\\gone.ttf", L"\\windows\\g.ttf", TRUE));
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(CopyFileW(L"\\windows", L"\\windows\\w", FALSE)) << "a folder is no file";
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    fs::create_symlink("/proc/self/mem", device.program / "unreadable"); // reading fails: EIO
    EXPECT_FALSE(CopyFileW(L"\\Program Files\\Dawnbell\\unreadable", L"\\windows\\u", FALSE));
    EXPECT_EQ(entriesIn(device.device / "windows"), 2u) << "no temporary copies left behind";
}

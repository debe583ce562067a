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

bool isInside(const fs::path& path, const fs::path& folder) {
    auto rel = path.lexically_normal().lexically_relative(folder.lexically_normal());
    return !rel.empty() && *rel.begin() != "..";
}

const std::string markerText = "Your resources are already scalled!";

HANDLE createFile(const wchar_t* path, DWORD access, DWORD disposition) {
    return CreateFileW(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

TEST_F(PathsTest, ProgramFolderMapsToTheProgramsHostFolderWhateverItsCase) {
    EXPECT_EQ(paths::toHost(L"\\Program Files\\Dawnbell\\resources\\VGA\\a.png"),
              device.program / "resources" / "VGA" / "a.png");
    EXPECT_EQ(paths::toHost(L"\\PROGRAM FILES\\dawnbell\\Resources\\x.TTF"),
              device.program / "Resources" / "x.TTF");
}

TEST_F(PathsTest, WindowsFolderAndOtherDevicePathsMapIntoTheDeviceFolder) {
    EXPECT_EQ(paths::toHost(L"\\Windows\\HelveticaNeueOTS.TTF"),
              device.device / "windows" / "HelveticaNeueOTS.TTF");
    EXPECT_EQ(paths::toHost(L"\\My Documents\\notes.txt"),
              device.device / "My Documents" / "notes.txt");
    EXPECT_EQ(paths::toHost(L"\\Program Files\\Other\\x.exe"),
              device.device / "Program Files" / "Other" / "x.exe");
    EXPECT_EQ(paths::toHost(L"/windows//fonts\\.\\a.ttf"),
              device.device / "windows" / "fonts" / "a.ttf");
}

TEST_F(PathsTest, ConfigureCreatesTheDevicesWindowsFolder) {
    EXPECT_TRUE(fs::is_directory(device.device / "windows"));
    EXPECT_EQ(GetFileAttributesW(L"\\windows"), FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(PathsTest, ParentComponentsAreRefusedAndNeverLeaveTheFolders) {
    for (const wchar_t* escape :
         {L"\\windows\\..\\..\\escaped.txt", L"\\Program Files\\Dawnbell\\..\\..\\escaped.txt",
          L"\\..\\escaped.txt", L"..\\escaped.txt"}) {
        auto host = paths::toHost(escape);
        EXPECT_FALSE(isInside(host, device.root)) << host;
        HANDLE file = createFile(escape, GENERIC_WRITE, CREATE_ALWAYS);
        EXPECT_EQ(file, INVALID_HANDLE_VALUE);
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
    EXPECT_EQ(paths::narrow(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
}

TEST_F(PathsTest, ModuleFileNameIsTheProgramsDevicePathAndTruncatesWithATerminator) {
    const std::wstring full = L"\\Program Files\\Dawnbell\\dawnbell.exe";
    wchar_t buffer[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, MAX_PATH), full.size());
    EXPECT_EQ(std::wstring(buffer), full);

    wchar_t small[11];
    std::fill(std::begin(small), std::end(small), L'#');
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 10), 10u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::wstring(small), full.substr(0, 9));
    EXPECT_EQ(small[10], L'#') << "nothing written past the buffer";

    HMODULE instance = GetModuleHandleW(nullptr);
    EXPECT_NE(instance, nullptr);
    EXPECT_EQ(GetModuleHandleW(L"DAWNBELL.EXE"), instance);
    EXPECT_EQ(GetModuleFileNameW(instance, buffer, MAX_PATH), full.size());
    EXPECT_EQ(GetModuleHandleW(L"other.dll"), nullptr);
}

TEST_F(PathsTest, FileWrittenAtADevicePathReadsBackAndReportsItsCreation) {
    const wchar_t* path = L"\\Program Files\\Dawnbell\\AlreadyScalled.txt";
    HANDLE file = createFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, markerText.data(), static_cast<DWORD>(markerText.size()), &written,
                          nullptr));
    EXPECT_EQ(written, markerText.size());
    char one = 0;
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(file, &one, 1, &got, nullptr)) << "a write-only handle cannot read";
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(readText(device.program / "AlreadyScalled.txt"), markerText);
    EXPECT_EQ(GetFileAttributesW(path), FILE_ATTRIBUTE_NORMAL);

    file = createFile(path, GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[100] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), markerText);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u) << "end of file";
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr)) << "a read-only handle cannot write";
    CloseHandle(file);

    file = createFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(file);
    EXPECT_EQ(fs::file_size(device.program / "AlreadyScalled.txt"), 0u) << "truncated";
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr)) << "closed";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(PathsTest, FileCallsReportTheReasonTheyFailed) {
    EXPECT_EQ(createFile(L"\\windows\\missing.txt", GENERIC_READ, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(createFile(L"\\nowhere\\x.txt", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    writeText(device.device / "windows" / "there.txt", "x");
    EXPECT_EQ(createFile(L"\\windows\\there.txt", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(createFile(L"\\windows", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE)
        << "a folder is not a file";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    EXPECT_EQ(GetFileAttributesW(L"\\windows\\missing.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(DeleteFileW(L"\\windows\\there.txt"));
    EXPECT_FALSE(DeleteFileW(L"\\windows\\there.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(PathsTest, CopyWithFailIfExistsNeverTouchesAnExistingFile) {
    writeText(device.program / "font.ttf", "new font");
    writeText(device.device / "windows" / "font.ttf", "installed font");
    EXPECT_FALSE(CopyFileW(L"\\Program Files\\Dawnbell\\font.ttf", L"\\windows\\font.ttf", TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(readText(device.device / "windows" / "font.ttf"), "installed font");

    EXPECT_TRUE(CopyFileW(L"\\Program Files\\Dawnbell\\font.ttf", L"\\windows\\font.ttf", FALSE));
    EXPECT_EQ(readText(device.device / "windows" / "font.ttf"), "new font");

    EXPECT_TRUE(CopyFileW(L"\\Program Files\\Dawnbell\\font.ttf", L"\\windows\\copy.ttf", TRUE));
    EXPECT_EQ(readText(device.device / "windows" / "copy.ttf"), "new font");

    EXPECT_FALSE(CopyFileW(L"\\Program Files\\Dawnbell\\gone.ttf", L"\\windows\\gone.ttf", TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(device.device / "windows")) {
        ++files;
    }
    EXPECT_EQ(files, 2u) << "no temporary copies left behind";
}

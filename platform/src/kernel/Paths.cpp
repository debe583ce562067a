#include "kernel/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <system_error>
#include <vector>

namespace platform::paths {
namespace {

namespace fs = std::filesystem;

// A path below a character device: nothing can ever be created or found there.
fs::path nowhere() {
    return "/dev/null/dawnbell-refused-path";
}

const char* variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// Makes `folder` (0700) where it is missing, and takes it only as a real folder of this user's,
// closed to every other user.
bool isPrivateFolder(const fs::path& folder, std::string& problem) {
    struct stat info {};
    if ((::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) ||
        ::lstat(folder.c_str(), &info) != 0) {
        problem = folder.string() + " cannot be made (" + std::strerror(errno) + ")";
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        problem = folder.string() + " is a link or a file, not a folder";
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        problem = folder.string() + " belongs to another user";
        return false;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        problem = folder.string() + " is open to other users";
        return false;
    }
    return true;
}

fs::path defaultDeviceDir() {
    if (const char* dir = variable("DAWNBELL_DEVICE_DIR")) {
        return dir;
    }
    std::string problem;
    fs::path folder = defaultDeviceFolder(problem);
    return folder.empty() ? nowhere() : folder;
}

fs::path defaultProgramDir() {
    std::error_code error;
    fs::path exe = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path(error) : exe.parent_path();
}

void createWindowsFolder(const fs::path& deviceDir) {
    createPrivateFolders(deviceDir / "windows"); // a missing folder shows up as failing calls
}

struct Folders {
    fs::path device;
    fs::path program;
    fs::path images; // empty: the program's own
};

Folders& folders() {
    static Folders instance = [] {
        Folders defaults{defaultDeviceDir(), defaultProgramDir()};
        createWindowsFolder(defaults.device);
        return defaults;
    }();
    return instance;
}

bool equalsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](wchar_t x, wchar_t y) { return lower(x) == lower(y); });
}

std::vector<std::wstring_view> components(std::wstring_view path) {
    std::vector<std::wstring_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(L"\\/", start);
        if (end == std::wstring_view::npos) {
            end = path.size();
        }
        auto part = path.substr(start, end - start);
        if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    return parts;
}

bool refused(std::wstring_view part) {
    return part == L".." || part.find(L'\0') != std::wstring_view::npos;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isScalarValue(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// Decodes one UTF-8 sequence at `at`; returns U+FFFD and skips one byte when it is malformed.
char32_t decodeUtf8(std::string_view text, size_t& at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    int length = lead < 0x80           ? 1
                 : (lead >> 5) == 0x6  ? 2
                 : (lead >> 4) == 0xE  ? 3
                 : (lead >> 3) == 0x1E ? 4
                                       : 0;
    if (length == 1) {
        ++at;
        return lead;
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (length == 0 || at + length > text.size()) {
        ++at;
        return 0xFFFD;
    }
    char32_t c = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return 0xFFFD;
        }
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    if (c < smallest[length] || !isScalarValue(c)) {
        ++at;
        return 0xFFFD;
    }
    at += length;
    return c;
}

} // namespace

fs::path defaultDeviceFolder(std::string& problem) {
    if (const char* state = variable("XDG_STATE_HOME")) {
        return fs::path(state) / "dawnbell";
    }
    if (const char* home = variable("HOME")) {
        return fs::path(home) / ".local" / "state" / "dawnbell";
    }
    if (const char* runtime = variable("XDG_RUNTIME_DIR")) {
        if (fs::path folder = fs::path(runtime) / "dawnbell"; isPrivateFolder(folder, problem)) {
            return folder;
        }
    }
    const char* temporary = variable("TMPDIR");
    fs::path folder =
        fs::path(temporary ? temporary : "/tmp") / ("dawnbell-" + std::to_string(::geteuid()));
    return isPrivateFolder(folder, problem) ? folder : fs::path();
}

bool createPrivateFolders(const fs::path& folder) {
    if (folder.empty() || ::mkdir(folder.c_str(), 0700) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        struct stat info {};
        return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)
                   ? true
                   : (errno = ENOTDIR, false);
    }
    if (errno != ENOENT || folder.parent_path() == folder ||
        !createPrivateFolders(folder.parent_path())) {
        return false;
    }
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

void configure(const fs::path& deviceDir, const fs::path& programDir) {
    folders() = Folders{deviceDir, programDir, {}};
    createWindowsFolder(deviceDir);
}

void useImageFolder(const fs::path& folder) {
    folders().images = folder;
}

const fs::path& deviceDir() {
    return folders().device;
}

const fs::path& programDir() {
    return folders().program;
}

fs::path toHost(std::wstring_view devicePath) {
    auto parts = components(devicePath);
    for (auto part : parts) {
        if (refused(part)) {
            return nowhere();
        }
    }
    fs::path host = deviceDir();
    size_t first = 0;
    if (parts.size() >= 2 && equalsIgnoringAsciiCase(parts[0], L"Program Files") &&
        equalsIgnoringAsciiCase(parts[1], L"Dawnbell")) {
        host = programDir();
        first = 2;
        if (!folders().images.empty() && parts.size() >= 4 &&
            equalsIgnoringAsciiCase(parts[2], L"resources") &&
            equalsIgnoringAsciiCase(parts[3], L"VGA")) {
            host = folders().images;
            first = 4;
        }
    } else if (!parts.empty() && equalsIgnoringAsciiCase(parts[0], L"windows")) {
        host /= "windows";
        first = 1;
    }
    for (size_t i = first; i < parts.size(); ++i) {
        host /= narrow(parts[i]);
    }
    return host;
}

std::wstring moduleFileName() {
    return std::wstring(programFolder) + std::wstring(programFile);
}

std::string narrow(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        auto code = static_cast<char32_t>(c);
        appendUtf8(out, isScalarValue(code) ? code : 0xFFFD);
    }
    return out;
}

std::wstring widen(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        out += static_cast<wchar_t>(decodeUtf8(utf8, at));
    }
    return out;
}

} // namespace platform::paths

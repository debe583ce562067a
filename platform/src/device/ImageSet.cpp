#include "device/ImageSet.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

namespace platform::device {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPartialMark = ".partial-";
// Beside VGA in a copy: the fingerprint of the program's images it was copied from.
constexpr const char* kStampName = "images.stamp";

// A descriptor closed when it goes out of scope.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int value) : fd(value) {}
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

int openFolder(int parent, const char* name) {
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The files a rescaling writes beside the images: never part of a fresh copy.
bool isRescalingFile(const std::string& name) {
    auto endsWith = [&](std::string_view tail) {
        return name.size() >= tail.size() &&
               name.compare(name.size() - tail.size(), tail.size(), tail.data(), tail.size()) == 0;
    };
    return name == "AlreadyScalled.txt" || name == "RescaleProgress.txt" || endsWith(".part") ||
           endsWith(".tmp") || (!name.empty() && name[0] == '.');
}

struct Image {
    std::string name;
    fs::path path;
    std::uintmax_t size;
    long long modified; // nanoseconds
};

// The program's images in name order: its regular files, without those of a rescaling.
std::vector<Image> imagesOf(const fs::path& original, std::error_code& error) {
    std::vector<Image> images;
    for (const auto& entry : fs::directory_iterator(original, error)) {
        const std::string name = entry.path().filename().string();
        struct stat info {};
        if (isRescalingFile(name) || ::stat(entry.path().c_str(), &info) != 0 ||
            !S_ISREG(info.st_mode)) {
            continue;
        }
        images.push_back({name, entry.path(), static_cast<std::uintmax_t>(info.st_size),
                          info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec});
    }
    std::sort(images.begin(), images.end(),
              [](const Image& a, const Image& b) { return a.name < b.name; });
    return images;
}

// Names, sizes and times of the images (FNV-1a): another build or install changes it.
std::string fingerprint(const std::vector<Image>& images) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    const auto add = [&](const std::string& text) {
        for (const char c : text + '\n') {
            hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
        }
    };
    for (const Image& image : images) {
        add(image.name);
        add(std::to_string(image.size));
        add(std::to_string(image.modified));
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

bool isNumber(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Takes one or more digits and then `tail` from the front of `rest`.
bool take(std::string_view& rest, std::string_view tail) {
    size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
        ++digits;
    }
    if (digits == 0 || rest.substr(digits, tail.size()) != tail) {
        return false;
    }
    rest.remove_prefix(digits + tail.size());
    return true;
}

// "<width>x<height>-<dpi>dpi", as imageSetKey names a copy.
bool isKey(std::string_view name) {
    return take(name, "x") && take(name, "-") && take(name, "dpi") && name.empty();
}

// An entry of the copies' folder that the program made: a copy ("<key>"), or one being made or
// cut off half made (".<key>.partial-<pid>-<n>"), whose maker is then set.
bool isOwnEntry(std::string_view name, pid_t& maker) {
    maker = 0;
    if (isKey(name)) {
        return true;
    }
    const size_t mark = name.find(kPartialMark);
    if (name.empty() || name[0] != '.' || mark == std::string_view::npos ||
        !isKey(name.substr(1, mark - 1))) {
        return false;
    }
    // "<pid>-<n>", or "<pid>" as earlier versions named it.
    std::string_view rest = name.substr(mark + kPartialMark.size());
    const std::string_view pid = rest.substr(0, std::min(rest.find('-'), size_t{9}));
    rest.remove_prefix(pid.size());
    if (!isNumber(pid) || !(rest.empty() || (rest[0] == '-' && isNumber(rest.substr(1))))) {
        return false;
    }
    maker = static_cast<pid_t>(std::stol(std::string(pid)));
    return true;
}

bool isRunning(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

std::vector<std::string> entriesOf(int folder) {
    std::vector<std::string> names;
    const int fd = ::dup(folder);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

// Removes `name` from `parent` with what it holds. A link is removed, never followed.
void removeEntry(int parent, const std::string& name) {
    const Descriptor folder(openFolder(parent, name.c_str()));
    if (folder.fd < 0) {
        ::unlinkat(parent, name.c_str(), 0);
        return;
    }
    for (const std::string& inside : entriesOf(folder.fd)) {
        removeEntry(folder.fd, inside);
    }
    ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

// A new file `name` in `folder` (never an existing file or a link) with `bytes`, or a copy of
// the file `from`.
bool writeNewFile(int folder, const char* name, std::string_view bytes, const fs::path& from = {}) {
    const Descriptor to(
        ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (to.fd < 0) {
        return false;
    }
    if (from.empty()) {
        return ::write(to.fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    const Descriptor source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (source.fd < 0) {
        return false;
    }
    char buffer[64 * 1024];
    for (ssize_t n; (n = ::read(source.fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || ::write(to.fd, buffer, static_cast<size_t>(n)) != n) {
            return false;
        }
    }
    return ::fsync(to.fd) == 0;
}

// The copy `key` is there, whole, and made from the images of `stamp`.
bool isCurrentCopy(int copies, const std::string& key, const std::string& stamp) {
    const Descriptor copy(openFolder(copies, key.c_str()));
    const Descriptor images(copy.fd >= 0 ? openFolder(copy.fd, "VGA") : -1);
    const Descriptor file(
        copy.fd >= 0 ? ::openat(copy.fd, kStampName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1);
    char text[32] = {};
    return images.fd >= 0 && file.fd >= 0 &&
           ::read(file.fd, text, sizeof text - 1) == static_cast<ssize_t>(stamp.size()) &&
           stamp == text;
}

// Makes the copy in a new folder of its own, then renames it into place: a start cut off
// meanwhile leaves no half copy under the copy's name.
bool makeCopy(int copies, const std::vector<Image>& images, const std::string& key,
              const std::string& stamp) {
    std::string partial;
    for (int n = 0;; ++n) {
        partial = "." + key + std::string(kPartialMark) + std::to_string(::getpid()) + "-" +
                  std::to_string(n);
        if (::mkdirat(copies, partial.c_str(), 0700) == 0) {
            break;
        }
        if (errno != EEXIST || n > 100) {
            return false;
        }
    }
    bool made = false;
    {
        const Descriptor folder(openFolder(copies, partial.c_str()));
        const Descriptor set(folder.fd >= 0 && ::mkdirat(folder.fd, "VGA", 0700) == 0
                                 ? openFolder(folder.fd, "VGA")
                                 : -1);
        made = set.fd >= 0;
        for (const Image& image : images) {
            made = made && writeNewFile(set.fd, image.name.c_str(), {}, image.path);
        }
        made = made && writeNewFile(folder.fd, kStampName, stamp);
    }
    made = made && ::renameat(copies, partial.c_str(), copies, key.c_str()) == 0;
    if (!made) {
        const int error = errno;
        removeEntry(copies, partial);
        errno = error;
    }
    return made;
}

} // namespace

std::string imageSetKey(int width, int height, int dpi) {
    return std::to_string(width) + "x" + std::to_string(height) + "-" + std::to_string(dpi) + "dpi";
}

fs::path ownImageSet(const fs::path& deviceDir, const fs::path& original, const std::string& key) {
    std::error_code error;
    if (!fs::is_directory(original, error)) {
        return original; // the program reports its missing resources itself
    }
    const std::vector<Image> images = imagesOf(original, error);
    const std::string stamp = fingerprint(images);
    const fs::path copiesPath = deviceDir / "resources";
    ::mkdir(copiesPath.c_str(), 0700);
    const Descriptor copies(openFolder(AT_FDCWD, copiesPath.c_str()));
    std::string problem = error            ? error.message()
                          : copies.fd >= 0 ? std::string()
                          : errno == ELOOP || errno == ENOTDIR
                              ? std::string("it is a link or a file, not a folder")
                              : std::string(std::strerror(errno));
    if (problem.empty()) {
        // Copies for other screens or other images, and copies cut off half made, go; nothing
        // else does.
        for (const std::string& name : entriesOf(copies.fd)) {
            pid_t maker = 0;
            if (!(name == key && isCurrentCopy(copies.fd, key, stamp)) && isOwnEntry(name, maker) &&
                !isRunning(maker)) {
                removeEntry(copies.fd, name);
            }
        }
        if (!isCurrentCopy(copies.fd, key, stamp) && !makeCopy(copies.fd, images, key, stamp)) {
            problem = std::strerror(errno);
            if (isCurrentCopy(copies.fd, key, stamp)) { // made meanwhile by another start
                problem.clear();
            }
        }
    }
    if (!problem.empty()) {
        std::fprintf(stderr,
                     "Dawnbell: the images for this screen cannot be copied to %s (%s); the "
                     "program's own images are never rescaled. Make room there, or name another "
                     "folder in DAWNBELL_DEVICE_DIR, and start Dawnbell again.\n",
                     copiesPath.c_str(), problem.c_str());
        return {};
    }
    return copiesPath / key / "VGA";
}

} // namespace platform::device

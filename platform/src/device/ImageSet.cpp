#include "device/ImageSet.h"

#include <unistd.h>

#include <cstdio>
#include <string_view>
#include <system_error>

namespace platform::device {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPartialMark = ".partial-";

// The files a rescaling writes beside the images: never part of a fresh copy.
bool isRescalingFile(const std::string& name) {
    auto endsWith = [&](std::string_view tail) {
        return name.size() >= tail.size() &&
               name.compare(name.size() - tail.size(), tail.size(), tail.data(), tail.size()) == 0;
    };
    return name == "AlreadyScalled.txt" || name == "RescaleProgress.txt" || endsWith(".part") ||
           endsWith(".tmp") || (!name.empty() && name[0] == '.');
}

bool copySet(const fs::path& original, const fs::path& target, std::error_code& error) {
    fs::create_directories(target, error);
    if (error) {
        return false;
    }
    for (const auto& entry : fs::directory_iterator(original, error)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file(error) || isRescalingFile(name)) {
            continue;
        }
        fs::copy_file(entry.path(), target / name, fs::copy_options::overwrite_existing, error);
        if (error) {
            return false;
        }
    }
    return !error;
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
    const fs::path copies = deviceDir / "resources";
    const fs::path own = copies / key / "VGA";
    // Copies for other screens, and copies cut off half made, go.
    for (const auto& entry : fs::directory_iterator(copies, error)) {
        if (entry.path().filename() != key) {
            std::error_code ignored;
            fs::remove_all(entry.path(), ignored);
        }
    }
    error.clear();
    if (fs::is_directory(own, error)) {
        return own;
    }
    const fs::path partial =
        copies / ("." + key + std::string(kPartialMark) + std::to_string(::getpid()));
    if (copySet(original, partial / "VGA", error)) {
        fs::rename(partial, copies / key, error);
    }
    if (error) {
        std::fprintf(stderr,
                     "Dawnbell: no copy of the images for this screen in %s (%s); "
                     "using %s\n",
                     copies.c_str(), error.message().c_str(), original.c_str());
        std::error_code ignored;
        fs::remove_all(partial, ignored);
        return original;
    }
    return own;
}

} // namespace platform::device

// The device's configuration from the environment:
//   DAWNBELL_SCREEN      width x height in pixels, e.g. "480x640" (default) or "240x320", or
//                        "native": the display itself (the default without a window system
//                        and under the phone shells Phosh and Plasma Mobile)
//   DAWNBELL_DPI         dots per inch of the screen (default 192; 96 for the small phone)
//   DAWNBELL_BACKEND     "sdl" (a real window, default) or "headless" (memory only, for tests)
//   DAWNBELL_DEVICE_DIR  the device's own folder (\windows, the registry file); default
//                        $XDG_STATE_HOME/dawnbell, else ~/.local/state/dawnbell, else a
//                        folder of the user's alone (paths::defaultDeviceFolder)
// The program's folder is the folder of the running executable.
#include "platform/Device.h"

#include "kernel/Paths.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <system_error>

namespace platform {
namespace {

namespace paths = platform::paths;

const char* variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

void reject(const char* name, const char* value, const char* expected) {
    std::fprintf(stderr, "Dawnbell: %s=\"%s\" is not %s; using the default\n", name, value,
                 expected);
}

bool parseInt(std::string_view text, int low, int high, int& out) {
    if (text.empty() || text.size() > 6) {
        return false;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

void readScreen(DeviceConfig& config) {
    const char* value = variable("DAWNBELL_SCREEN");
    if (value == nullptr) {
        return;
    }
    const std::string_view text(value);
    if (text == "native") {
        config.native = true;
        return;
    }
    const size_t x = text.find_first_of("xX");
    int width = 0;
    int height = 0;
    if (x == std::string_view::npos || !parseInt(text.substr(0, x), 64, 4096, width) ||
        !parseInt(text.substr(x + 1), 64, 4096, height)) {
        reject("DAWNBELL_SCREEN", value, "WIDTHxHEIGHT (64 to 4096 pixels each) or native");
        return;
    }
    config.width = width;
    config.height = height;
}

void readDpi(DeviceConfig& config) {
    const char* value = variable("DAWNBELL_DPI");
    if (value != nullptr && !parseInt(value, 48, 960, config.dpi)) {
        reject("DAWNBELL_DPI", value, "a resolution from 48 to 960");
    }
}

void readBackend(DeviceConfig& config) {
    const char* value = variable("DAWNBELL_BACKEND");
    if (value == nullptr) {
        return;
    }
    const std::string_view name(value);
    if (name == "sdl" || name == "headless") {
        config.backend = std::string(name);
    } else {
        reject("DAWNBELL_BACKEND", value, "\"sdl\" or \"headless\"");
    }
}

std::filesystem::path defaultDeviceDir() {
    std::string problem;
    std::filesystem::path folder = paths::defaultDeviceFolder(problem);
    if (folder.empty()) {
        std::fprintf(stderr,
                     "Dawnbell: no folder of this user's own for the settings: %s. Set HOME, "
                     "XDG_STATE_HOME or DAWNBELL_DEVICE_DIR.\n",
                     problem.c_str());
        std::exit(1);
    }
    return folder;
}

std::filesystem::path executableDir() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : exe.parent_path();
}

// Phosh and Plasma Mobile: the shell gives the program the whole screen anyway.
bool onPhoneShell() {
    const char* desktop = variable("XDG_CURRENT_DESKTOP");
    const char* plasma = variable("PLASMA_PLATFORM");
    return (desktop != nullptr &&
            std::string_view(desktop).find("Phosh") != std::string_view::npos) ||
           (plasma != nullptr && std::string_view(plasma).starts_with("phone"));
}

} // namespace

DeviceConfig DeviceConfig::fromEnvironment() {
    DeviceConfig config;
    readScreen(config);
    readDpi(config);
    readBackend(config);
    // Without a window system the SDL device draws on the display itself (KMSDRM).
    const char* driver = variable("SDL_VIDEODRIVER");
    const bool windowSystem = driver != nullptr
                                  ? std::string_view(driver) != "KMSDRM"
                                  : variable("DISPLAY") || variable("WAYLAND_DISPLAY");
    if (config.backend == "sdl" && variable("DAWNBELL_SCREEN") == nullptr &&
        (!windowSystem || onPhoneShell())) {
        config.native = true;
    }
    config.ownImageSet = true;
    const char* dir = variable("DAWNBELL_DEVICE_DIR");
    config.deviceDir = dir != nullptr ? std::filesystem::path(dir) : defaultDeviceDir();
    config.programDir = executableDir();
    return config;
}

} // namespace platform

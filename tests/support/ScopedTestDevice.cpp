#include "support/ScopedTestDevice.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace platform {
namespace {

// A death test's child never runs the destructor: each folder carries its process's id, and a
// new device first removes the folders of processes that have gone.
std::filesystem::path makeTemporaryFolder() {
    const std::filesystem::path temporary = std::filesystem::temp_directory_path();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(temporary, error)) {
        int owner = 0;
        if (std::sscanf(entry.path().filename().c_str(), "dawnbell-test-%d-", &owner) == 1 &&
            owner > 0 && kill(owner, 0) != 0 && errno == ESRCH) {
            std::filesystem::remove_all(entry.path(), error);
        }
    }
    std::string pattern =
        (temporary / ("dawnbell-test-" + std::to_string(getpid()) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("Dawnbell: no temporary folder for the test device");
        std::abort();
    }
    return pattern;
}

} // namespace

ScopedTestDevice::ScopedTestDevice(int width, int height, int dpi, bool native)
    : folder_(makeTemporaryFolder()) {
    DeviceConfig config;
    config.width = width;
    config.height = height;
    config.dpi = dpi;
    config.native = native;
    config.backend = "headless";
    config.deviceDir = folder_ / "device";
    config.programDir = folder_ / "program";
    std::filesystem::create_directories(config.programDir);
    Device::start(config);
}

ScopedTestDevice::~ScopedTestDevice() {
    Device::stop();
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
}

} // namespace platform

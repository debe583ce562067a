#include "support/ScopedTestDevice.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace platform {
namespace {

std::filesystem::path makeTemporaryFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "dawnbell-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("Dawnbell: no temporary folder for the test device");
        std::abort();
    }
    return pattern;
}

} // namespace

ScopedTestDevice::ScopedTestDevice(int width, int height, int dpi)
    : folder_(makeTemporaryFolder()) {
    DeviceConfig config;
    config.width = width;
    config.height = height;
    config.dpi = dpi;
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

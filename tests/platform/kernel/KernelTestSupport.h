// Helpers shared by the kernel and registry tests.
#pragma once

#include "kernel/Paths.h"
#include "platform/PlatformTestSupport.h"
#include "registry/Registry.h"
#include "windows.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <string>

namespace kerneltest {

namespace fs = std::filesystem;

// A fresh temporary folder; configured as a device (a device folder and a program folder, the
// registry from scratch) unless `asDevice` is false.
class TemporaryDevice {
public:
    explicit TemporaryDevice(bool asDevice = true) : asDevice_(asDevice) {
        std::string pattern = (fs::temp_directory_path() / "dawnbell-kernel-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        device = root / "device";
        program = root / "program";
        if (asDevice) {
            fs::create_directories(program);
            platform::paths::configure(device, program);
            platform::registry::reload();
        }
    }
    ~TemporaryDevice() {
        if (asDevice_)
            platform::registry::reload();
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    TemporaryDevice(const TemporaryDevice&) = delete;
    TemporaryDevice& operator=(const TemporaryDevice&) = delete;

    fs::path root;
    fs::path device;
    fs::path program;

private:
    bool asDevice_;
};

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline size_t entriesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

using platformtest::PlatformThread;

} // namespace kerneltest

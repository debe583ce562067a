// Helpers shared by the kernel and registry tests.
#pragma once

#include "kernel/Paths.h"
#include "support/PlatformThread.h"
#include "registry/Registry.h"
#include "windows.h"
#include "support/Files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdlib.h>
#include <string>

namespace kerneltest {

namespace fs = std::filesystem;
using platformtest::PlatformThread;

// A fresh temporary folder configured as a device: a device folder, an empty program folder and
// the registry from scratch.
struct TemporaryDevice {
    fs::path root = [] {
        std::string pattern = (fs::temp_directory_path() / "dawnbell-kernel-XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();
    fs::path device = root / "device", program = root / "program";

    TemporaryDevice() {
        fs::create_directories(program);
        platform::paths::configure(device, program);
        platform::registry::reload();
    }
    ~TemporaryDevice() {
        platform::registry::reload();
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

using testsupport::fileBytes;
using testsupport::writeBytes;

inline size_t entriesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

} // namespace kerneltest

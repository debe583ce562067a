// Helpers shared by the kernel and registry tests.
#pragma once

#include "kernel/Paths.h"
#include "support/PlatformThread.h"
#include "registry/Registry.h"
#include "windows.h"
#include "support/Files.h"

#include <filesystem>
#include <iterator>
#include <string>

namespace kerneltest {

namespace fs = std::filesystem;
using platformtest::PlatformThread;

// A fresh temporary folder configured as a device: a device folder, an empty program folder and
// the registry from scratch.
struct TemporaryDevice {
    testsupport::TemporaryFolder folder;
    fs::path root = folder.path, device = root / "device", program = root / "program";

    TemporaryDevice() {
        fs::create_directories(program);
        platform::paths::configure(device, program);
        platform::registry::reload();
    }
    ~TemporaryDevice() { platform::registry::reload(); }
};

using testsupport::fileBytes, testsupport::writeBytes;

inline size_t entriesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

} // namespace kerneltest

// Helpers shared by the kernel and registry tests.
#pragma once

#include "kernel/Paths.h"
#include "kernel/Wait.h"
#include "platform/Clock.h"
#include "registry/Registry.h"
#include "windows.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <string>
#include <thread>

namespace kerneltest {

namespace fs = std::filesystem;

// A fresh device folder and program folder for one test; the registry starts from scratch.
class TemporaryDevice {
public:
    TemporaryDevice() {
        std::string pattern = (fs::temp_directory_path() / "dawnbell-kernel-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        device = root / "device";
        program = root / "program";
        fs::create_directories(program);
        platform::paths::configure(device, program);
        platform::registry::reload();
    }
    ~TemporaryDevice() {
        platform::registry::reload();
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    TemporaryDevice(const TemporaryDevice&) = delete;
    TemporaryDevice& operator=(const TemporaryDevice&) = delete;

    fs::path root;
    fs::path device;
    fs::path program;
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

inline bool hasEnded(HANDLE thread) {
    return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

// Until the thread blocks in a platform wait (having seen every clock step so far) or ends.
inline void waitUntilBlockedOrEnded(DWORD threadId, HANDLE thread) {
    while (!platform::kernel::isBlocked(threadId) && !hasEnded(thread)) {
        std::this_thread::yield();
    }
}

inline void waitUntilBlocked(DWORD threadId) {
    while (!platform::kernel::isBlocked(threadId)) {
        std::this_thread::yield();
    }
}

} // namespace kerneltest

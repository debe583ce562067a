// Helpers shared by the kernel and registry tests.
#pragma once

#include "kernel/Paths.h"
#include "kernel/Wait.h"
#include "platform/Clock.h"
#include "registry/Registry.h"
#include "windows.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdlib.h>
#include <string>
#include <thread>
#include <type_traits>

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

// `work` on a platform thread, so that a test can move the clock while it waits, or terminate
// it; its result (if any) is the thread's exit code. The thread is terminated if still running.
class PlatformThread {
public:
    template <class Work>
    explicit PlatformThread(Work work)
        : work_([work = std::move(work)]() mutable -> DWORD {
              if constexpr (std::is_void_v<std::invoke_result_t<Work&>>) {
                  work();
                  return 0;
              } else {
                  return work();
              }
          }) {
        handle_ = CreateThread(nullptr, 0, &PlatformThread::run, this, 0, &id_);
    }
    ~PlatformThread() {
        TerminateThread(handle_, 0);
        CloseHandle(handle_);
    }
    PlatformThread(const PlatformThread&) = delete;
    PlatformThread& operator=(const PlatformThread&) = delete;

    bool finished() const { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }
    // Returns once the thread waits, having seen every clock step so far (or has ended).
    void settle() const {
        while (!platform::kernel::isBlocked(id_) && !finished())
            std::this_thread::yield();
    }
    DWORD join() const {
        WaitForSingleObject(handle_, INFINITE);
        DWORD code = 0;
        GetExitCodeThread(handle_, &code);
        return code;
    }
    HANDLE handle() const { return handle_; }
    DWORD id() const { return id_; }

private:
    static DWORD WINAPI run(LPVOID self) { return static_cast<PlatformThread*>(self)->work_(); }
    std::function<DWORD()> work_;
    DWORD id_ = 0;
    HANDLE handle_ = nullptr;
};

} // namespace kerneltest

// A headless device for one test: started in the constructor, stopped in the destructor. Its
// device folder is folder()/"device" and the program's folder folder()/"program", both empty.
#pragma once

#include <platform/Device.h>

#include <filesystem>

namespace platform {

class ScopedTestDevice {
public:
    // A native device is the display itself: no emulated task bar.
    explicit ScopedTestDevice(int width = 480, int height = 640, int dpi = 192,
                              bool native = false);
    ~ScopedTestDevice();
    ScopedTestDevice(const ScopedTestDevice&) = delete;
    ScopedTestDevice& operator=(const ScopedTestDevice&) = delete;
    const std::filesystem::path& folder() const { return folder_; } // temporary device folder

private:
    std::filesystem::path folder_;
};

} // namespace platform

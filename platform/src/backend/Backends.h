// The two backends of the device.
#pragma once

#include "platform/Device.h"

#include <memory>

namespace platform::backend {

// Everything in memory, for tests: never owns a thread, records message boxes on the device.
std::unique_ptr<Backend> createHeadless();

// A real window through SDL2, owned by the calling thread. Without a display, says so on
// standard error and ends the process with exit code 1. A native device takes its width, height
// and dpi from the display into `config`.
std::unique_ptr<Backend> createSdl(DeviceConfig& config);

} // namespace platform::backend

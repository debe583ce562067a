// Before the device takes a display without a window system (KMSDRM) it checks that the user
// may use it: the display's card in /dev/dri and the touch and key devices in /dev/input. SDL
// would otherwise take the screen and leave the user with no input to end the program.
#pragma once

#include <filesystem>
#include <string>

namespace platform::backend {

struct KmsDevices {
    std::filesystem::path dri = "/dev/dri";
    std::filesystem::path input = "/dev/input";
};

enum class KmsAccess {
    usable,    // a card and at least one input device can be opened
    noDisplay, // there is no display card at all
    refused,   // no input device, or they may not be opened: `message` says what to do
};

struct KmsCheck {
    KmsAccess access = KmsAccess::usable;
    std::string message;
};

KmsCheck checkKmsAccess(const KmsDevices& devices);

} // namespace platform::backend

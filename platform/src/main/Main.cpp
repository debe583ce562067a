// The device's start: the emulated phone comes up as the environment describes it, then the
// program runs; its WinMain result becomes the process's exit code.
#include "platform/Device.h"
#include "windows.h"

int main() {
    platform::Device::start(platform::DeviceConfig::fromEnvironment());
    static WCHAR commandLine[] = L"";
    const int result = WinMain(GetModuleHandleW(nullptr), nullptr, commandLine, SW_SHOW);
    platform::Device::stop();
    return result;
}

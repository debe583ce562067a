// The device's start: the emulated phone comes up as the environment describes it, then the
// program runs; its WinMain result becomes the process's exit code.
#include "platform/Device.h"
#include "user/Desktop.h"
#include "windows.h"

#include <csignal>
#include <cstdlib>
#include <pthread.h>
#include <thread>

namespace {

// The end of a session (SIGTERM) closes the program as its window's close button does: the
// program's main window gets WM_CLOSE. The signal is blocked in every thread (they all inherit
// this thread's mask, so this runs before any other starts) and taken by a thread of its own,
// which can post the message as no signal handler could.
void closeOnTerminate() {
    static sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    if (pthread_sigmask(SIG_BLOCK, &terminate, nullptr) != 0) {
        return;
    }
    std::thread([] {
        int signal = 0;
        while (sigwait(&terminate, &signal) == 0) {
            if (HWND main = platform::user::mainWindow()) {
                PostMessageW(main, WM_CLOSE, 0, 0);
            } else {
                std::_Exit(0); // no window yet: nothing shown, nothing typed
            }
        }
    }).detach();
}

} // namespace

int main() {
    closeOnTerminate();
    platform::Device::start(platform::DeviceConfig::fromEnvironment());
    static WCHAR commandLine[] = L"";
    const int result = WinMain(GetModuleHandleW(nullptr), nullptr, commandLine, SW_SHOW);
    platform::Device::stop();
    return result;
}

// The program's entry point: Winsock, the application, the message loop, then the teardown.
#include "MagicPacketApp.h"
#include "MessageLoop.h"

#include <winsock2.h>

namespace {
constexpr WORD winsockVersion = 0x0202;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR /*commandLine*/,
                   int /*show*/) {
    WSADATA winsock{};
    if (WSAStartup(winsockVersion, &winsock) != 0) {
        showMessage(L"Can't start socket...", L"WSAStartup error", true);
    }
    if (winsock.wVersion != winsockVersion) {
        showMessage(L"Wrong version number...", L"WSAStartup error", true);
    }
    auto* application = new MagicPacketApp(instance);
    runMessageLoop();
    delete application;
    WSACleanup();
    return 0;
}

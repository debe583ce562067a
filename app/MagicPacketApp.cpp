#include "MagicPacketApp.h"

namespace {
constexpr const wchar_t* windowTitle = L"Dawnbell";
}

MagicPacketApp::MagicPacketApp(HINSTANCE instance) : Application(instance, windowTitle) {
    saveOnQuit = 1;
    workerThread = nullptr;
}

MagicPacketApp::~MagicPacketApp() {
    if (workerThread != nullptr) {
        TerminateThread(workerThread, 0);
    }
}

void MagicPacketApp::onEvent(Element* /*element*/, int /*code*/) {}

void MagicPacketApp::buildScreen() {}

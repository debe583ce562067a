#include "MagicPacketApp.h"

#include "AwakeCheck.h"
#include "ConnectionWorker.h"
#include "DisplayFrame.h"
#include "MainScreen.h"
#include "MessageLoop.h"
#include "NetworkSearch.h"
#include "RecentPanel.h"
#include "ScreenReport.h"
#include "SearchPanel.h"
#include "SettingsStore.h"
#include "StatusTexts.h"

#include <algorithm>

namespace {

constexpr const wchar_t* windowTitle = L"Dawnbell";

bool isLiveElement(const Element* element) {
    MotionLockGuard lock; // a box asked on the worker's thread adds and removes its buttons
    return std::find(allElements.begin(), allElements.end(), element) != allElements.end();
}

StoredFields typedFields() {
    return {fieldText(hostFieldId), fieldText(macFieldId), fieldText(portFieldId),
            fieldText(passwordFieldId)};
}

} // namespace

MagicPacketApp::MagicPacketApp(HINSTANCE instance) : Application(instance, windowTitle) {
    saveOnQuit = 1;
    workerThread = nullptr;
}

MagicPacketApp::~MagicPacketApp() {
    stopAwakeCheck();
    stopNetworkSearch();
    if (workerThread != nullptr) {
        TerminateThread(workerThread, 0);
    }
}

void MagicPacketApp::buildScreen() {
    buildMainScreen();
    StoredFields stored;
    if (auto settings = SettingsKey::open()) {
        startConnectionWorker(settings->showInfo());
        stored = settings->readFields();
    }
    // Without the key the connection is never brought up: Send stays disabled.
    setFieldText(hostFieldId, stored.host);
    setFieldText(macFieldId, stored.mac);
    setFieldText(portFieldId, stored.port);
    setFieldText(passwordFieldId, stored.password);
    startScreenReportIfAsked();
}

void MagicPacketApp::startConnectionWorker(bool askConsent) {
    workerAskConsent = askConsent ? 1 : 0;
    workerThread = CreateThread(nullptr, 0, connectionWorker, &workerAskConsent, 0, nullptr);
}

void MagicPacketApp::onEvent(Element* element, int code) {
    // A notification may outlive its widget (a message box deletes its buttons).
    if (!isLiveElement(element)) {
        return;
    }
    if (code == widgetNotification && element->elementId == hostFieldId) {
        askForMacOfTypedHost();
        return;
    }
    if (code != widgetTapped) {
        return;
    }
    switch (element->elementId) {
    case sendButtonId:
        sendPacket();
        break;
    case quitButtonId:
        quitAndSave();
        break;
    case searchButtonId:
        startSearchFromPanel();
        break;
    default:
        if (std::size_t row = 0; isRecentRow(element, row)) {
            fillFieldsFromRecentRow(row);
        } else if (isSearchRow(element, row)) {
            fillFieldsFromSearchRow(row);
        }
        break;
    }
}

void MagicPacketApp::sendPacket() {
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    // Four fields push the status line below the fold of a phone's screen: what the send says
    // must be seen.
    bringSendIntoSight();
    startWake(typedFields());
    SetCursor(nullptr);
    redrawAllElements();
}

void MagicPacketApp::quitAndSave() {
    stopAwakeCheck();
    stopNetworkSearch();
    showStatus(statusGoodbye);
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
}

void MagicPacketApp::onClose() {
    // Refusing the data connection ends the program before anything could be typed.
    if (saveOnQuit == 0 || consentRefused()) {
        return;
    }
    // Text still in an open editor was typed too (the close button, the session's end).
    endEditing();
    if (auto settings = SettingsKey::open()) {
        settings->writeFields(typedFields());
    }
}

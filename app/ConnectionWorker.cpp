#include "ConnectionWorker.h"

#include "DisplayFrame.h"
#include "MainScreen.h"
#include "MessageBoxSense.h"
#include "SettingsStore.h"
#include "StatusTexts.h"

#include <connmgr.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr wchar_t consentCaption[] = L"Warning !";
constexpr wchar_t consentText[] =
    L"OK for a data connection ?\n(be careful not exceed the plan limit)";

constexpr DWORD initialStatusBufferBytes = 192;
constexpr HRESULT bufferTooSmall = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

void reportToInterface(WPARAM code, const wchar_t* text = nullptr) {
    const DWORD interfaceThread = GetWindowThreadProcessId(mainWindow, nullptr);
    PostThreadMessageW(interfaceThread, WM_USER, code, reinterpret_cast<LPARAM>(text));
}

// The connection list in a buffer of its own, aligned for the entries it holds.
class StatusList {
public:
    // Asks for the list, growing the buffer to exactly the size the platform reports for as long
    // as it reports one larger than the last.
    HRESULT query() {
        DWORD size = initialStatusBufferBytes;
        for (;;) {
            buffer_.assign((size + sizeof(Word) - 1) / sizeof(Word), 0);
            const DWORD given = size;
            const HRESULT result = ConnMgrQueryDetailedStatus(first(), &size);
            if (result != bufferTooSmall) {
                bytes_ = result == S_OK ? size : 0;
                return result;
            }
            if (size <= given) {
                return result; // a platform that asks for no more room would loop forever
            }
        }
    }

    // The last entry for the Internet destination in list order, or null.
    const CONNMGR_CONNECTION_DETAILED_STATUS* lastInternetEntry() const {
        if (bytes_ < sizeof(CONNMGR_CONNECTION_DETAILED_STATUS)) {
            return nullptr;
        }
        const CONNMGR_CONNECTION_DETAILED_STATUS* kept = nullptr;
        for (auto* entry = first(); entry != nullptr; entry = entry->pNext) {
            if (std::memcmp(&entry->guidDestNet, &IID_DestNetInternet, sizeof(GUID)) == 0) {
                kept = entry;
            }
        }
        return kept;
    }

private:
    using Word = std::uint64_t;
    CONNMGR_CONNECTION_DETAILED_STATUS* first() const {
        return reinterpret_cast<CONNMGR_CONNECTION_DETAILED_STATUS*>(
            const_cast<Word*>(buffer_.data()));
    }

    std::vector<Word> buffer_;
    DWORD bytes_ = 0;
};

HRESULT establishInternetConnection(DWORD timeoutMs) {
    CONNMGR_CONNECTIONINFO info{};
    info.cbSize = sizeof info;
    info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
    info.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
    info.guidDestNet = IID_DestNetInternet;
    HANDLE connection = nullptr; // held for the rest of the program's life
    DWORD status = 0;
    return ConnMgrEstablishConnectionSync(&info, &connection, timeoutMs, &status);
}

constexpr HRESULT timedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

// The status text that ends the bring-up; statusReadyToSend once the Internet is reachable.
// `waitedInVain` tells whether no connection came within the time given.
const wchar_t* bringUpInternetConnection(bool& waitedInVain) {
    StatusList list;
    if (list.query() != S_OK) {
        return statusCantRetrieveConnections;
    }
    const CONNMGR_CONNECTION_DETAILED_STATUS* internet = list.lastInternetEntry();
    if (internet == nullptr) {
        return statusCantFindWebConnections;
    }
    // Suspended (0x11) and the other statuses with the connected bit count as connected.
    const bool connected = (internet->dwConnectionStatus & CONNMGR_STATUS_CONNECTED) != 0;
    if (!connected) {
        const HRESULT result = establishInternetConnection(connectionTimeoutMs);
        waitedInVain = result == timedOut;
        if (result != S_OK) {
            return statusCantEstablishConnection;
        }
    }
    return statusReadyToSend;
}

std::atomic<bool> refused{false};

} // namespace

bool consentRefused() {
    return refused;
}

DWORD WINAPI connectionWorker(LPVOID parameter) {
    const BYTE askConsent = *static_cast<const BYTE*>(parameter);
    refused = false;
    if (askConsent != 0 && showMessageBoxSense(consentCaption, consentText, messageBoxYesNo) == 0) {
        // Refused: the program ends, and the question stays for the next start.
        refused = true;
        PostMessageW(mainWindow, WM_CLOSE, 0, 0);
        return 0;
    }
    if (auto settings = SettingsKey::open()) {
        settings->clearShowInfo();
    }
    for (;;) {
        bool waitedInVain = false;
        const wchar_t* outcome = bringUpInternetConnection(waitedInVain);
        // Ready comes as one report, so that no moment shows the status ready with the Send
        // button still disabled (a tap then would go nowhere).
        if (outcome == statusReadyToSend) {
            reportToInterface(workerSendReady);
            return 0;
        }
        reportToInterface(workerStatusReport, outcome);
        // No network came in time. One that comes later (a router back up, a phone that finds
        // its Wi-Fi) is waited for, and the bring-up tried again as at the start.
        if (!waitedInVain || establishInternetConnection(INFINITE) != S_OK) {
            return 0;
        }
    }
}

void applyWorkerReport(WPARAM code, LPARAM text) {
    switch (code) {
    case workerStatusReport:
        showStatus(reinterpret_cast<const wchar_t*>(text));
        break;
    case workerSendReady:
        showStatus(statusReadyToSend);
        enableSendButton();
        break;
    default:
        break;
    }
}

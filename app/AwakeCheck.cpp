#include "AwakeCheck.h"

#include "MainScreen.h"
#include "MessageBoxSense.h"
#include "NoWakeReason.h"
#include "RecentComputers.h"
#include "RecentPanel.h"
#include "StatusTexts.h"

#include <memory>
#include <optional>
#include <string>

namespace {

using namespace awake_check;

// What the check's thread tells: the check's states, then the send's.
enum class Stage : std::uint8_t { waiting, awake, noAnswer, cantCheck, sendDone };

// A report packed into the 32 bits of lParam: the check it comes from (numbered modulo 256:
// only the reports of the last few checks can be in the queue), the stage and the seconds waited.
struct AwakeReport {
    std::uint8_t check = 0;
    Stage stage = Stage::waiting;
    std::uint16_t seconds = 0;

    LPARAM packed() const {
        return static_cast<LPARAM>((std::uint32_t{check} << 24) |
                                   (std::uint32_t{static_cast<std::uint8_t>(stage)} << 16) |
                                   seconds);
    }
    static AwakeReport unpacked(LPARAM value) {
        const auto bits = static_cast<std::uint32_t>(value);
        return {static_cast<std::uint8_t>(bits >> 24), static_cast<Stage>((bits >> 16) & 0xFF),
                static_cast<std::uint16_t>(bits & 0xFFFF)};
    }
};

struct CheckOrder {
    WakeRequest request;
    HostAddress address;
    std::uint8_t check;
    DWORD interfaceThread;
    CheckedSend sent; // written by the check's thread before it reports sendDone
    NoWakeFacts seen; // of the host, written before the thread reports how the check ended
};

// A name being looked up. Its thread holds it too and may outlive the program's interest in it:
// a resolver that waits for its servers can't be interrupted.
struct Lookup {
    WakeRequest request;
    std::uint32_t number;
    DWORD interfaceThread;
    std::optional<HostAddress> address; // written by the lookup's thread before it reports
};

// The user-interface thread's view of the wake in progress.
StoredFields typedAtSend; // what the user sent: the recent list takes it once the packet left
std::wstring sentLine;    // the send's confirmation, kept above the check's progress
HANDLE checkThread = nullptr;
// Owned here, not by the thread: a check stopped before its thread ran would leave it behind.
std::unique_ptr<CheckOrder> checkOrder;
std::uint8_t currentCheck = 0;
std::shared_ptr<Lookup> currentLookup;
std::uint32_t lookupCount = 0; // never reset: a late report of an earlier run finds no match

// The check's own thread: the probe before the send, the send, then the check. The ending is
// reported once everything the check held is released.
DWORD WINAPI runCheck(LPVOID parameter) {
    CheckOrder* order = static_cast<CheckOrder*>(parameter);
    const auto post = [order](Stage stage, DWORD elapsedMs) {
        const AwakeReport message{order->check, stage,
                                  static_cast<std::uint16_t>(elapsedMs / 1000)};
        PostThreadMessageW(order->interfaceThread, WM_USER, awakeCheckReport, message.packed());
    };
    order->sent = sendAfterProbe(order->request, order->address);
    if (order->sent.answeredBefore) {
        order->seen = factsNow(order->address);
    }
    post(Stage::sendDone, 0);
    if (order->sent.outcome != SendOutcome::sent || order->sent.answeredBefore) {
        return 0;
    }
    const AwakeEnding ending =
        watchForWake(order->address, checkDurationMs, [&post](AwakeState state, DWORD elapsed) {
            post(static_cast<Stage>(state), elapsed);
        });
    if (ending.state != AwakeState::cantCheck) {
        order->seen = factsNow(order->address);
    }
    post(static_cast<Stage>(ending.state), ending.elapsedMs);
    return 0;
}

DWORD WINAPI runLookup(LPVOID parameter) {
    const std::unique_ptr<std::shared_ptr<Lookup>> held(
        static_cast<std::shared_ptr<Lookup>*>(parameter));
    Lookup& lookup = **held;
    lookup.address = resolveHost(lookup.request.host);
    PostThreadMessageW(lookup.interfaceThread, WM_USER, hostLookupReport,
                       static_cast<LPARAM>(lookup.number));
    return 0;
}

void startCheck(const WakeRequest& request, const HostAddress& address) {
    checkOrder = std::make_unique<CheckOrder>(
        CheckOrder{request, address, currentCheck, GetCurrentThreadId(), {}});
    checkThread = CreateThread(nullptr, 0, runCheck, checkOrder.get(), 0, nullptr);
    if (checkThread == nullptr) {
        checkOrder.reset();
        showMessageBoxSense(sendFailedCaption, sendFailedMessage, messageBoxOk);
        showStatus(sendFailedMessage);
    }
}

void startLookup(const WakeRequest& request) {
    currentLookup =
        std::make_shared<Lookup>(Lookup{request, ++lookupCount, GetCurrentThreadId(), {}});
    auto* held = new std::shared_ptr<Lookup>(currentLookup);
    const HANDLE thread = CreateThread(nullptr, 0, runLookup, held, 0, nullptr);
    if (thread == nullptr) {
        delete held;
        currentLookup.reset();
        showStatus(statusHostNotFound);
        return;
    }
    CloseHandle(thread); // never waited for
    showStatus(lookingUpText(typedAtSend.host).c_str());
}

// What the host answered with now is kept with the recent computer; without an answer now, the
// one kept from before tells.
NoWakeFacts keepWhatWasSeen(NoWakeFacts seen) {
    if (seen.answeredAs) {
        noteRecentAnswer(typedAtSend.host, *seen.answeredAs);
    } else {
        seen.answeredAs = recentComputers().answeredMac(typedAtSend.host);
    }
    return seen;
}

void showSendDone(const CheckedSend& sent) {
    if (sent.outcome != SendOutcome::sent) {
        if (sent.outcome == SendOutcome::sendFailed) {
            // The network may come back: the user is told and can try again, losing nothing. The
            // toolkit's box, whose loop still takes the close button and the session's end.
            showMessageBoxSense(sendFailedCaption, sendFailedMessage, messageBoxOk);
        }
        showStatus(statusTextFor(sent.outcome));
        return;
    }
    rememberRecentComputer(typedAtSend);
    sentLine = sentStatusText(sent.delivery);
    if (sent.answeredBefore) {
        keepWhatWasSeen(checkOrder->seen);
        showStatus(underSentLine(sentLine, alreadyAnswersText(typedAtSend.host)).c_str());
    } else {
        showStatus(sentLine.c_str());
    }
}

} // namespace

void startWake(const StoredFields& typed) {
    stopAwakeCheck(); // what it would still say is about the last send
    const WakeInput input = parseWakeInput(typed.host, typed.mac, typed.port, typed.password);
    if (const auto* refusal = std::get_if<SendOutcome>(&input)) {
        showStatus(statusTextFor(*refusal));
        return;
    }
    typedAtSend = typed;
    const auto& request = std::get<WakeRequest>(input);
    if (isAddressText(request.host)) {
        const auto address = resolveHost(request.host); // at once: no name to look up
        if (!address) {
            showStatus(statusHostNotFound);
            return;
        }
        startCheck(request, *address);
    } else {
        startLookup(request);
    }
}

void stopAwakeCheck() {
    ++currentCheck; // reports of the stopped check still in the queue are stale
    currentLookup.reset();
    if (checkThread != nullptr) {
        TerminateThread(checkThread, 0); // returns once the thread has ended
        CloseHandle(checkThread);
        checkThread = nullptr;
    }
    checkOrder.reset();
}

void applyHostLookupReport(LPARAM report) {
    if (!currentLookup || static_cast<std::uint32_t>(report) != currentLookup->number) {
        return;
    }
    const std::shared_ptr<Lookup> lookup = std::move(currentLookup);
    if (!lookup->address) {
        showStatus(statusHostNotFound);
        return;
    }
    startCheck(lookup->request, *lookup->address);
}

void applyAwakeReport(LPARAM value) {
    const AwakeReport report = AwakeReport::unpacked(value);
    if (report.check != currentCheck || !checkOrder) {
        return;
    }
    switch (report.stage) {
    case Stage::sendDone:
        showSendDone(checkOrder->sent);
        break;
    case Stage::waiting:
        showStatus(underSentLine(sentLine, waitingForWakeText(report.seconds)).c_str());
        break;
    case Stage::awake:
        keepWhatWasSeen(checkOrder->seen);
        showStatus(underSentLine(sentLine, statusComputerAwake).c_str());
        break;
    case Stage::noAnswer: {
        const auto why = noWakeText(typedAtSend.host, checkOrder->request.mac,
                                    keepWhatWasSeen(checkOrder->seen));
        showStatus(underSentLine(sentLine, why.value_or(noAnswerText(report.seconds))).c_str());
        break;
    }
    case Stage::cantCheck:
        showStatus(underSentLine(sentLine, statusCantCheckAwake).c_str());
        break;
    }
}

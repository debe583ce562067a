#include "AwakeCheck.h"

#include "MainScreen.h"
#include "StatusTexts.h"

#include <icmpapi.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

using namespace awake_check;

enum class AwakeState : std::uint8_t { waiting, awake, noAnswer, cantCheck };

// A report packed into the 32 bits of lParam: the check it comes from (numbered modulo 256:
// only the reports of the last few checks can be in the queue), the state and the seconds waited.
struct AwakeReport {
    std::uint8_t check = 0;
    AwakeState state = AwakeState::waiting;
    std::uint16_t seconds = 0;

    LPARAM packed() const {
        return static_cast<LPARAM>((std::uint32_t{check} << 24) |
                                   (std::uint32_t{static_cast<std::uint8_t>(state)} << 16) |
                                   seconds);
    }
    static AwakeReport unpacked(LPARAM value) {
        const auto bits = static_cast<std::uint32_t>(value);
        return {static_cast<std::uint8_t>(bits >> 24), static_cast<AwakeState>((bits >> 16) & 0xFF),
                static_cast<std::uint16_t>(bits & 0xFFFF)};
    }
};

struct CheckOrder {
    std::uint32_t host;
    std::uint8_t check;
    DWORD interfaceThread;
};

// The user-interface thread's view of the check.
HANDLE checkThread = nullptr;
// Owned here, not by the thread: a check stopped before its thread ran would leave it behind.
std::unique_ptr<CheckOrder> checkOrder;
std::uint8_t currentCheck = 0;

enum class ProbeResult { answered, silent, impossible };

// One echo. Unreachable and unanswered are the same to a computer that sleeps; any other
// failure means no echo can tell whether it woke.
ProbeResult probe(HANDLE icmp, std::uint32_t host, DWORD timeoutMs) {
    char payload[] = "Dawnbell awake check";
    alignas(ICMP_ECHO_REPLY) unsigned char reply[sizeof(ICMP_ECHO_REPLY) + sizeof payload + 8];
    if (IcmpSendEcho(icmp, host, payload, sizeof payload, nullptr, reply, sizeof reply, timeoutMs) >
        0) {
        const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply);
        return echo->Status == IP_SUCCESS ? ProbeResult::answered : ProbeResult::silent;
    }
    const DWORD reason = GetLastError();
    return reason == IP_REQ_TIMED_OUT || reason == IP_DEST_HOST_UNREACHABLE
               ? ProbeResult::silent
               : ProbeResult::impossible;
}

class IcmpHandle {
public:
    IcmpHandle() : handle_(IcmpCreateFile()) {}
    ~IcmpHandle() {
        if (isOpen()) {
            IcmpCloseHandle(handle_);
        }
    }
    IcmpHandle(const IcmpHandle&) = delete;
    IcmpHandle& operator=(const IcmpHandle&) = delete;
    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

using Reporter = std::function<void(AwakeState, DWORD)>;

struct Ending {
    AwakeState state;
    DWORD elapsedMs;
};

// Probes until the computer answers or the check's time is up, reporting the seconds waited at
// every progress step; how it ended.
Ending watchForWake(std::uint32_t host, const Reporter& report) {
    const IcmpHandle icmp;
    if (!icmp.isOpen()) {
        return {AwakeState::cantCheck, 0};
    }
    const DWORD start = GetTickCount();
    DWORD nextProbe = start;
    DWORD shownStep = 0;
    for (;;) {
        const DWORD now = GetTickCount();
        const DWORD elapsed = now - start;
        if (elapsed >= checkDurationMs) {
            return {AwakeState::noAnswer, checkDurationMs};
        }
        const DWORD step = elapsed / progressStepMs;
        if (step > shownStep) {
            shownStep = step;
            report(AwakeState::waiting, elapsed);
        }
        if (static_cast<std::int32_t>(now - nextProbe) >= 0) {
            nextProbe = now + probeIntervalMs;
            const DWORD timeout = std::min(probeTimeoutMs, checkDurationMs - elapsed);
            switch (probe(icmp.get(), host, timeout)) {
            case ProbeResult::answered:
                return {AwakeState::awake, GetTickCount() - start};
            case ProbeResult::impossible:
                return {AwakeState::cantCheck, GetTickCount() - start};
            case ProbeResult::silent:
                continue;
            }
        }
        const DWORD toNextStep = (step + 1) * progressStepMs - elapsed;
        Sleep(std::min({toNextStep, nextProbe - now, checkDurationMs - elapsed}));
    }
}

// The check's own thread. The ending is reported once everything the check held is released.
DWORD WINAPI runCheck(LPVOID parameter) {
    const CheckOrder* order = static_cast<const CheckOrder*>(parameter);
    const Reporter report = [order](AwakeState state, DWORD elapsedMs) {
        const AwakeReport message{order->check, state,
                                  static_cast<std::uint16_t>(elapsedMs / 1000)};
        PostThreadMessageW(order->interfaceThread, WM_USER, awakeCheckReport, message.packed());
    };
    const Ending ending = watchForWake(order->host, report);
    report(ending.state, ending.elapsedMs);
    return 0;
}

} // namespace

void startAwakeCheck(std::uint32_t host) {
    stopAwakeCheck();
    checkOrder = std::make_unique<CheckOrder>(CheckOrder{host, currentCheck, GetCurrentThreadId()});
    checkThread = CreateThread(nullptr, 0, runCheck, checkOrder.get(), 0, nullptr);
    if (checkThread == nullptr) {
        checkOrder.reset();
        showStatus(statusCantCheckAwake);
    }
}

void stopAwakeCheck() {
    ++currentCheck; // reports of the stopped check still in the queue are stale
    if (checkThread != nullptr) {
        TerminateThread(checkThread, 0); // returns once the thread has ended
        CloseHandle(checkThread);
        checkThread = nullptr;
    }
    checkOrder.reset();
}

void applyAwakeReport(LPARAM value) {
    const AwakeReport report = AwakeReport::unpacked(value);
    if (report.check != currentCheck) {
        return;
    }
    switch (report.state) {
    case AwakeState::waiting:
        showStatus(waitingForWakeText(report.seconds).c_str());
        break;
    case AwakeState::awake:
        showStatus(statusComputerAwake);
        break;
    case AwakeState::noAnswer:
        showStatus(noAnswerText(report.seconds).c_str());
        break;
    case AwakeState::cantCheck:
        showStatus(statusCantCheckAwake);
        break;
    }
}

// The awake check's probing, apart from its threads and the status line: the command line runs
// it too, with no screen.
#include "AwakeCheck.h"

#include <icmpapi.h>

#include <algorithm>

namespace {

using namespace awake_check;

enum class ProbeResult {
    answered,  // the host itself replied
    silent,    // the echo left and nothing came back from the host
    unsent,    // the echo could not leave now (no route at this moment)
    impossible // no echo can ever leave for this address
};

// One echo. A reply counts only when it comes from the host: a router's word for it (its own
// echo reply, or its refusal in the host's name) says nothing about the host. Unreachable and
// unanswered are the same to a computer that sleeps.
ProbeResult probe(HANDLE icmp, std::uint32_t host, DWORD timeoutMs) {
    char payload[] = "Dawnbell awake check";
    alignas(ICMP_ECHO_REPLY) unsigned char reply[sizeof(ICMP_ECHO_REPLY) + sizeof payload + 8];
    if (IcmpSendEcho(icmp, host, payload, sizeof payload, nullptr, reply, sizeof reply, timeoutMs) >
        0) {
        const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply);
        return echo->Status == IP_SUCCESS && echo->Address == host ? ProbeResult::answered
                                                                   : ProbeResult::silent;
    }
    switch (GetLastError()) {
    case IP_REQ_TIMED_OUT:
    case IP_DEST_HOST_UNREACHABLE:
        return ProbeResult::silent;
    case IP_BAD_DESTINATION: // a broadcast address, which no echo may go to
    case IP_BUF_TOO_SMALL:
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_HANDLE:
        return ProbeResult::impossible;
    default: // no route, no address, no buffers: for now
        return ProbeResult::unsent;
    }
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

} // namespace

AwakeEnding watchForWake(std::uint32_t host, DWORD durationMs, const AwakeReporter& report) {
    const IcmpHandle icmp;
    if (!icmp.isOpen()) {
        return {AwakeState::cantCheck, 0};
    }
    const DWORD start = GetTickCount();
    DWORD nextProbe = start;
    DWORD shownStep = 0;
    bool anyProbeLeft = false;
    for (;;) {
        const DWORD now = GetTickCount();
        const DWORD elapsed = now - start;
        if (elapsed >= durationMs) {
            return {anyProbeLeft ? AwakeState::noAnswer : AwakeState::cantCheck, durationMs};
        }
        const DWORD step = elapsed / progressStepMs;
        if (step > shownStep) {
            shownStep = step;
            report(AwakeState::waiting, elapsed);
        }
        if (static_cast<std::int32_t>(now - nextProbe) >= 0) {
            nextProbe = now + probeIntervalMs;
            const DWORD timeout = std::min(probeTimeoutMs, durationMs - elapsed);
            switch (probe(icmp.get(), host, timeout)) {
            case ProbeResult::answered:
                return {AwakeState::awake, GetTickCount() - start};
            case ProbeResult::impossible:
                return {AwakeState::cantCheck, GetTickCount() - start};
            case ProbeResult::silent:
                anyProbeLeft = true;
                continue;
            case ProbeResult::unsent:
                continue;
            }
        }
        const DWORD toNextStep = (step + 1) * progressStepMs - elapsed;
        Sleep(std::min({toNextStep, nextProbe - now, durationMs - elapsed}));
    }
}

CheckedSend sendAfterProbe(const WakeRequest& request, std::uint32_t address) {
    CheckedSend sent;
    {
        const IcmpHandle icmp;
        sent.answeredBefore =
            icmp.isOpen() && probe(icmp.get(), address, probeTimeoutMs) == ProbeResult::answered;
    }
    sent.outcome = sendMagicPacketTo(request, address, &sent.delivery);
    return sent;
}

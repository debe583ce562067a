// The awake check's probing, apart from its threads and the status line: the command line runs
// it too, with no screen.
#include "AwakeCheck.h"

#include <icmpapi.h>
#include <winsock2.h>

#include <algorithm>
#include <cstring>

namespace {

using namespace awake_check;

enum class ProbeResult {
    answered,  // the host itself replied
    silent,    // the echo left and nothing came back from the host
    unsent,    // the echo could not leave now (no route at this moment)
    impossible // no echo can ever leave for this address
};

class IcmpHandle {
public:
    explicit IcmpHandle(bool ipv6) : handle_(ipv6 ? Icmp6CreateFile() : IcmpCreateFile()) {}
    explicit IcmpHandle(const HostAddress& host)
        : IcmpHandle(std::holds_alternative<Ipv6Address>(host)) {}
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

char payload[] = "Dawnbell awake check";

// One echo to an IPv4 host: whether its own reply came back, and why not. Nothing replied: 0,
// with the reason in GetLastError.
DWORD echo(HANDLE icmp, std::uint32_t host, DWORD timeoutMs, bool& fromHost) {
    alignas(ICMP_ECHO_REPLY) unsigned char reply[sizeof(ICMP_ECHO_REPLY) + sizeof payload + 8];
    const DWORD replies =
        IcmpSendEcho(icmp, host, payload, sizeof payload, nullptr, reply, sizeof reply, timeoutMs);
    const auto* answer = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply);
    fromHost = replies > 0 && answer->Status == IP_SUCCESS && answer->Address == host;
    return replies;
}

// The same to an IPv6 host.
DWORD echo(HANDLE icmp, const Ipv6Address& host, DWORD timeoutMs, bool& fromHost) {
    alignas(ICMPV6_ECHO_REPLY) unsigned char reply[sizeof(ICMPV6_ECHO_REPLY) + sizeof payload + 8];
    sockaddr_in6 source{};
    source.sin6_family = AF_INET6;
    sockaddr_in6 destination = source;
    std::memcpy(&destination.sin6_addr, host.bytes.data(), host.bytes.size());
    destination.sin6_scope_id = host.scopeId;
    const DWORD replies =
        Icmp6SendEcho2(icmp, nullptr, nullptr, nullptr, &source, &destination, payload,
                       sizeof payload, nullptr, reply, sizeof reply, timeoutMs) > 0
            ? Icmp6ParseReplies(reply, sizeof reply)
            : 0;
    const auto* answer = reinterpret_cast<const ICMPV6_ECHO_REPLY*>(reply);
    fromHost = replies > 0 && answer->Status == IP_SUCCESS &&
               std::memcmp(answer->Address.sin6_addr, host.bytes.data(), host.bytes.size()) == 0;
    return replies;
}

// One echo. A reply counts only when it comes from the host: a router's word for it (its own
// echo reply, or its refusal in the host's name) says nothing about the host. Unreachable and
// unanswered are the same to a computer that sleeps.
ProbeResult probe(HANDLE icmp, const HostAddress& host, DWORD timeoutMs) {
    const auto* ipv6 = std::get_if<Ipv6Address>(&host);
    if (ipv6 != nullptr && ipv6->bytes[0] == 0xff) {
        return ProbeResult::impossible; // a group: no one computer answers for it
    }
    bool fromHost = false;
    const DWORD replies = ipv6 != nullptr
                              ? echo(icmp, *ipv6, timeoutMs, fromHost)
                              : echo(icmp, std::get<std::uint32_t>(host), timeoutMs, fromHost);
    if (replies > 0) {
        return fromHost ? ProbeResult::answered : ProbeResult::silent;
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

} // namespace

AwakeEnding watchForWake(const HostAddress& host, DWORD durationMs, const AwakeReporter& report) {
    const IcmpHandle icmp(host);
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

CheckedSend sendAfterProbe(const WakeRequest& request, const HostAddress& address) {
    CheckedSend sent;
    {
        const IcmpHandle icmp(address);
        sent.answeredBefore =
            icmp.isOpen() && probe(icmp.get(), address, probeTimeoutMs) == ProbeResult::answered;
    }
    sent.outcome = sendMagicPacketTo(request, address, &sent.delivery);
    return sent;
}

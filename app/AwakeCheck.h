// The awake check: once a magic packet has left, the computer is asked whether it is up, by an
// ICMP echo (icmpapi.h) every few seconds, until it answers or the check gives up. An address
// that answers already before the packet leaves is no computer that woke: it is probed once
// before the send.
//
// The probing and the send it frames need no screen (AwakeProbe.cpp): the command line runs
// them as they are. On the screen (AwakeCheck.cpp) a name is looked up, and the probe, the send
// and the check run, each on a thread of its own; the status line belongs to the user-interface
// thread, so they only report, as thread messages to that thread, and the message loop hands
// them to applyHostLookupReport and applyAwakeReport. Start, stop and apply run on the
// user-interface thread.
#pragma once

#include "SettingsStore.h"
#include "WakePacket.h"

#include <windows.h>

#include <cstdint>
#include <functional>

// Tunables of the check.
namespace awake_check {
inline constexpr DWORD probeIntervalMs = 2000;  // one echo at most this often
inline constexpr DWORD probeTimeoutMs = 1000;   // how long one echo waits for its reply
inline constexpr DWORD checkDurationMs = 60000; // then the check gives up
inline constexpr DWORD progressStepMs = 1000;   // the waiting time shown moves on in these steps
} // namespace awake_check

// ---- The check itself, without the screen ----

enum class AwakeState : std::uint8_t { waiting, awake, noAnswer, cantCheck };

struct AwakeEnding {
    AwakeState state;
    DWORD elapsedMs;
};
// Told the state and the time waited so far.
using AwakeReporter = std::function<void(AwakeState, DWORD)>;

// The check, synchronous and on the device clock: probes `host` (by ICMP or ICMPv6 echo) until
// it answers or `durationMs` is up, reporting the time waited at every progress step; how it
// ended. Only a reply from `host` itself counts. A probe that can't leave for a moment (no route
// while the device roams) counts as unanswered; the check can't tell (cantCheck) only when no
// probe can ever leave.
AwakeEnding watchForWake(const HostAddress& host, DWORD durationMs, const AwakeReporter& report);

// How a send framed by the check went.
struct CheckedSend {
    SendOutcome outcome = SendOutcome::sendFailed;
    WakeDelivery delivery;
    bool answeredBefore = false; // the address answered before the packet left
};
// Probes `address` once, then sends the magic packet of `request` to it (sendMagicPacketTo).
// Synchronous: the probe waits up to probeTimeoutMs.
CheckedSend sendAfterProbe(const WakeRequest& request, const HostAddress& address);

// ---- On the screen ----

// Thread messages (WM_USER, no window) to the user-interface thread; lParam holds the report.
inline constexpr WPARAM awakeCheckReport = 1288;
inline constexpr WPARAM hostLookupReport = 1289;

// Starts waking the computer of the typed texts: refused texts are told at once; a name is
// looked up first ("Looking up <host>..."); then the probe, the send and the check run. What
// was started before is stopped first, and whatever it reported but was not yet shown dropped.
void startWake(const StoredFields& typed);
// Ends the running check, if any, at once; a lookup still running is forgotten (its thread
// ends by itself once the resolver answers).
void stopAwakeCheck();
// On the user-interface thread: carries out a report of the lookup or of the check.
void applyHostLookupReport(LPARAM report);
void applyAwakeReport(LPARAM report);

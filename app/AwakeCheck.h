// The awake check: once a magic packet has left, the computer is asked whether it is up, by an
// ICMP echo (icmpapi.h) every few seconds, until it answers or the check gives up. It runs on a
// thread of its own; the status line belongs to the user-interface thread, so the check only
// reports, as thread messages to that thread, and the message loop hands them to
// applyAwakeReport. Start, stop and apply run on the user-interface thread.
#pragma once

#include <windows.h>

#include <cstdint>

// Tunables of the check.
namespace awake_check {
inline constexpr DWORD probeIntervalMs = 2000;  // one echo at most this often
inline constexpr DWORD probeTimeoutMs = 1000;   // how long one echo waits for its reply
inline constexpr DWORD checkDurationMs = 60000; // then the check gives up
inline constexpr DWORD progressStepMs = 1000;   // the waiting time shown moves on in these steps
} // namespace awake_check

// Thread message (WM_USER, no window) from the check to the user-interface thread; lParam holds
// the report.
inline constexpr WPARAM awakeCheckReport = 1288;

// Starts checking `host` (IPv4, network byte order); a check still running is stopped first and
// whatever it reported but was not yet shown is dropped.
void startAwakeCheck(std::uint32_t host);
// Ends the running check, if any, at once.
void stopAwakeCheck();
// On the user-interface thread: shows a report of the check in the status line.
void applyAwakeReport(LPARAM report);

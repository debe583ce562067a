// The data-connection worker. A data connection may cost money, so it asks the user once whether
// one may be used; then it finds the phone's connection to the Internet through Connection
// Manager, brings it up if it isn't up yet, and lets the user send. When none comes in time, it
// waits for one and tries again.
//
// It runs on a thread of its own, but the status line and the Send button belong to the
// user-interface thread, which paints them: the worker only reports what it found, as thread
// messages to that thread, and the message loop hands them to applyWorkerReport.
#pragma once

#include <windows.h>

// Thread messages (WM_USER, no window) from the worker to the user-interface thread, numbered
// after the toolkit's own.
inline constexpr WPARAM workerStatusReport = 1281; // lParam: the status text, a static string
inline constexpr WPARAM workerSendReady = 1282;    // ready: that status, the Send button enabled

// How long bringing the connection up may take.
inline constexpr DWORD connectionTimeoutMs = 30000;

// The thread procedure. `parameter` points to a BYTE, non-zero when the consent question is to be
// asked; the starter keeps it alive while the worker runs (a worker ended before it ran would
// leave a BYTE of its own behind). Returns 0 on every path.
DWORD WINAPI connectionWorker(LPVOID parameter);

// Whether the user refused the data connection (the program then ends without keeping anything).
bool consentRefused();

// On the user-interface thread: carries out a report of the worker taken from the queue.
void applyWorkerReport(WPARAM code, LPARAM text);

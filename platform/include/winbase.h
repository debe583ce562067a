// The Windows CE kernel as the program sees it: threads, events, critical sections, the tick
// count, the calling thread's last error, the module, files and process exit.
//
// A thread ended by TerminateThread stops at its next kernel call or blocking wait (which
// TerminateThread wakes); calls that only release something (CloseHandle,
// LeaveCriticalSection, DeleteCriticalSection) never stop a thread, so they are safe in
// destructors.
#pragma once

#include "wintypes.h"

using ULONG_PTR = std::uintptr_t;

namespace platform::kernel {
class CriticalSection;
}

// ---- Error codes the kernel reports beyond the common ones --------------------------------

#ifndef ERROR_SHARING_VIOLATION
#define ERROR_SHARING_VIOLATION 32L
#endif
#ifndef ERROR_HANDLE_EOF
#define ERROR_HANDLE_EOF 38L
#endif
#ifndef ERROR_DISK_FULL
#define ERROR_DISK_FULL 112L
#endif
#ifndef ERROR_MOD_NOT_FOUND
#define ERROR_MOD_NOT_FOUND 126L
#endif

// ---- Handles, waits and events ------------------------------------------------------------

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

BOOL WINAPI CloseHandle(HANDLE hObject);
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

// Only unnamed events: lpName must be null.
HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCWSTR lpName);
BOOL WINAPI SetEvent(HANDLE hEvent);
BOOL WINAPI ResetEvent(HANDLE hEvent);

// ---- Threads ------------------------------------------------------------------------------

using LPTHREAD_START_ROUTINE = DWORD(WINAPI*)(LPVOID lpThreadParameter);
using PTHREAD_START_ROUTINE = LPTHREAD_START_ROUTINE;

#define STILL_ACTIVE 0x00000103u
// The only creation flag: the stack size is a reservation (the host sizes stacks itself).
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000u

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId);
// Returns once the thread has stopped (unless the thread terminates itself: then it does not
// return). The thread's exit code becomes dwExitCode.
BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode);
// STILL_ACTIVE while the thread runs.
BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);

DWORD WINAPI GetCurrentThreadId();
DWORD WINAPI GetCurrentProcessId();

// ---- Critical sections (re-entrant) -------------------------------------------------------

struct CRITICAL_SECTION {
    platform::kernel::CriticalSection* impl;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// ---- Time and errors ----------------------------------------------------------------------

DWORD WINAPI GetTickCount();
void WINAPI Sleep(DWORD dwMilliseconds);

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD dwErrCode);

// ---- Module and process -------------------------------------------------------------------

// GetModuleFileNameW truncates a name that does not fit to nSize - 1 characters plus the
// terminator, returns nSize and sets ERROR_INSUFFICIENT_BUFFER.
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
// Null (or the program's file name) gives the program's instance handle.
HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);

// ---- Files --------------------------------------------------------------------------------

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

// Windows CE has no overlapped file access; the parameter must be null.
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

// Paths are device paths ("\windows\x.ttf", "\Program Files\Dawnbell\resources\..."); the share
// mode is accepted and not enforced.
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
// The copy appears whole or not at all.
BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists);
BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);

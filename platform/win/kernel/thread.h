// Threads over pthreads: CreateThread (the id is known before the routine runs), GetExitCodeThread
// (STILL_ACTIVE while running), waits on a thread, ExitThread; and ExitProcess, which flushes stdio,
// removes the process's folder and ends the process with status code & 0xFF, running no exit handler.
// A thread handle may be closed while the thread runs.
// Not provided: suspended creation, priorities, TerminateThread.
#pragma once

#include <cstddef>

#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);

constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD CREATE_SUSPENDED = 0x4;  // refused with ERROR_INVALID_PARAMETER

// Null on failure (GetLastError tells why); `threadId`, when given, receives the new thread's id.
HANDLE CreateThread(SECURITY_ATTRIBUTES* attributes, size_t stackSize, LPTHREAD_START_ROUTINE startAddress,
                    void* parameter, DWORD creationFlags, DWORD* threadId);
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
// Ends the calling thread with `exitCode`, unwinding its stack. On a thread not made by CreateThread
// it ends that thread all the same (no code is kept).
[[noreturn]] void ExitThread(DWORD exitCode);
[[noreturn]] void ExitProcess(UINT exitCode);

}  // namespace plat

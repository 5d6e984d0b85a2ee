// Events, waits, critical sections and thread ids. Events are manual- or auto-reset; every timed wait
// follows the plat clock, so a virtual deadline passes only when virtual time passes it. Critical
// sections are recursive and owned by a thread. Thread ids are 32-bit, never 0, stable per thread.
// Not provided: semaphores, mutex objects, waits on several objects.
#pragma once

#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/kernel_object.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

// Named events are shared inside the process by name; a second CreateEventA of a name returns a new
// handle to the same event with ERROR_ALREADY_EXISTS.
HANDLE CreateEventA(SECURITY_ATTRIBUTES* attributes, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT after `milliseconds` of clock time (0 polls, INFINITE
// waits without limit), WAIT_FAILED for a bad handle or one that cannot be waited on.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

struct CriticalSectionImpl;
// Opaque, plain data: a record holding one may be cleared with memset before initialisation.
struct CRITICAL_SECTION {
  CriticalSectionImpl* impl;
};

void InitializeCriticalSection(CRITICAL_SECTION* section);
// Recursive: the owner may enter again and must leave as often. Leaving a section the calling thread
// does not own does nothing.
void EnterCriticalSection(CRITICAL_SECTION* section);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);

DWORD GetCurrentThreadId();

// For the thread stand-in: ids are handed out before a thread starts, so CreateThread can report it.
namespace thread_ids {
DWORD Allocate();
void AdoptForCurrentThread(DWORD id);
}  // namespace thread_ids

}  // namespace plat

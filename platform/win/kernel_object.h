// The base of every object a HANDLE names (events, threads, files, find searches): CloseHandle deletes
// it through its virtual destructor, and WaitForSingleObject asks it whether it is signalled. Every live
// object is registered from construction to destruction, so a call given a closed or foreign handle
// refuses it instead of following a stale pointer.
#pragma once

#include "platform/win/win_types.h"

namespace plat {

struct KernelObject {
  KernelObject();
  virtual ~KernelObject();
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  // Waits until the object is signalled or `timeoutMs` of clock time pass; the kernel's wait calls it.
  // Objects that cannot be waited on return WAIT_FAILED.
  virtual DWORD Wait(DWORD timeoutMs);
};

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// True while `object` is a live kernel object (constructed and not yet destroyed).
bool IsLiveKernelObject(const KernelObject* object);

}  // namespace plat

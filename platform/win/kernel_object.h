// The base of every object a HANDLE names (events, threads, files, find searches): CloseHandle deletes
// it through its virtual destructor, and WaitForSingleObject asks it whether it is signalled.
#pragma once

#include "platform/win/win_types.h"

namespace plat {

struct KernelObject {
  virtual ~KernelObject() = default;
  // Waits until the object is signalled or `timeoutMs` of clock time pass; the kernel's wait calls it.
  // Objects that cannot be waited on return WAIT_FAILED.
  virtual DWORD Wait(DWORD timeoutMs);
};

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

inline DWORD KernelObject::Wait(DWORD) { return WAIT_FAILED; }

}  // namespace plat

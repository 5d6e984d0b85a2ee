// Test controls of the kernel stand-ins: the debug-output sink, heap faults, and (further down) the
// settings of threads, system identity, CPU report and COM. Reset restores every default.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win/kernel/win_types.h"

namespace plat::test {

// Everything OutputDebugStringA received since the last clear (the most recent 4 MiB at most).
std::string DebugOutputText();
void ClearDebugOutput();

// Lets `successesFirst` heap allocations (HeapAlloc or HeapReAlloc) succeed, then fails the next one
// once. FailHeapAllocation() fails the very next one; -1 cancels.
void FailHeapAllocation(int successesFirst = 0);
// Blocks currently allocated from the process heap.
long HeapLiveBlocks();
void ResetHeap();

// The next CreateEventA / CreateThread fails (null, ERROR_NOT_ENOUGH_MEMORY) without side effects.
void FailNextCreateEvent();
void FailNextCreateThread();
void ResetSync();
void ResetThreads();

// The OS that GetVersionExA reports (default: NT 5.1 build 2600, CSD = host kernel name and release).
struct OsIdentity {
  DWORD platformId = 2;
  DWORD major = 5;
  DWORD minor = 1;
  DWORD build = 2600;
  std::string csdVersion;
};
void SetOsIdentity(const OsIdentity& identity);
void SetOemCodePage(UINT codePage);  // default 932
// Physical memory GlobalMemoryStatus starts from (bytes, before clamping); 0 total restores the host's.
void SetPhysicalMemory(uint64_t totalBytes, uint64_t availableBytes);
// CoInitialize successes not yet matched by CoUninitialize.
int ComInitDepth();
// The next CoInitialize fails with E_FAIL and counts nothing.
void FailNextCoInitialize();
void ResetSystemInfo();

// A processor report in place of the real one. Vendor is 12 characters (shorter is NUL-padded); an
// empty brand means no brand leaves; tscMhz non-zero makes the time-stamp counter run at that many
// ticks per microsecond of plat clock time (0 keeps the real counter).
struct CpuReport {
  bool hasCpuid = true;
  uint32_t maxLeaf = 1;
  std::string vendor = "GenuineIntel";
  uint32_t featureEdx = 0;
  std::string brand;
  uint32_t tscMhz = 0;
};
void SetCpuReport(const CpuReport& report);
void ResetCpu();  // back to the real processor

// Fixes the wall clock that GetSystemTime / GetLocalTime read (UTC); null returns to the real one.
void SetSystemTimeForTest(const FILETIME* utc);

void ResetKernel();

}  // namespace plat::test

// The system report of start-up: library version, operating system and processor written to the log,
// the OS code later start-up steps test, the processor clock measured over 100 ms of the millisecond
// timer, and the instruction-set flags the clock and the software renderer read.
// Depends on: platform/win/kernel/system_info.h, cpu.h, clock.h; core log and string routines.
#pragma once

#include <cstdint>

namespace orbel {

constexpr const char kLibraryVersionText[] = "2.25b";

// OS codes.
constexpr int kOsWindows31 = 0;
constexpr int kOsWindows95 = 1;
constexpr int kOsWindows98 = 2;
constexpr int kOsWindowsMe = 3;
constexpr int kOsWindowsNT351 = 0x104;
constexpr int kOsWindowsNT4 = 0x105;
constexpr int kOsWindows2000 = 0x106;
constexpr int kOsWindowsXP = 0x107;
constexpr int kOsWindowsVista = 0x108;

// The system-information block (GetSystemInfoBlock): filled by the report, by window creation
// (memory) and by the DirectDraw set-up (display fields).
struct SystemInfoBlock {
  char osDescription[512];        // "%s ( Build %d %s )"
  char cpuName[256];              // brand string, empty when the processor reports none
  int32_t cpuClockMHz;            // when the time-stamp counter exists
  uint32_t availablePhysicalMemory;  // bytes
  uint32_t totalPhysicalMemory;      // bytes
  char displayDriverDescription[256];
  char displayDriverName[256];
  uint32_t videoMemoryTotal;      // bytes
  uint32_t videoMemoryFree;       // bytes
};

// Writes the report to the log and records its results; raises the timer period to its minimum (lowered
// again by EndSystemReport). Always returns 0.
int OutputSystemInfo();
// Lowers the timer period the report raised; nothing when it did not.
void EndSystemReport();

SystemInfoBlock* GetSystemInfoBlock();
// The OS code of the last report (0 before any report).
int GetOsCode();
// 1 when the processor has MMX: the report's finding, or CPUID's answer before any report.
int GetMmxAvailableFlag();
int GetSseAvailableFlag();
int GetSse2AvailableFlag();
// 1 when the processor has a time-stamp counter; its ticks per 10 ms and per second as measured.
int GetTimeStampCounterFlag();
uint64_t GetTimeStampTicksPer10ms();
uint64_t GetTimeStampFrequency();

// Tests: forget the report's results (the MMX flag goes back to CPUID's answer).
void ResetSystemReportForTest();

}  // namespace orbel

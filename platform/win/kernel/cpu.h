// The processor report: CPUID and the time-stamp counter, native on x86-64 and absent elsewhere
// (level 0). Tests may replace the report with any vendor, brand, feature bits or "no CPUID", and give
// the counter a fixed rate on the plat clock (kernel_test_controls.h).
#pragma once

#include <cstdint>

namespace plat {

struct CpuidRegisters {
  uint32_t eax;
  uint32_t ebx;
  uint32_t ecx;
  uint32_t edx;
};

// Leaf 1 EDX feature bits the library reads.
constexpr uint32_t kCpuidEdxTsc = 1u << 4;
constexpr uint32_t kCpuidEdxMmx = 1u << 23;
constexpr uint32_t kCpuidEdxSse = 1u << 25;
constexpr uint32_t kCpuidEdxSse2 = 1u << 26;

// The answer of the EFLAGS bit-21 probe: can CPUID be executed at all.
bool CpuidAvailable();
// Executes CPUID for `leaf` (sub-leaf 0). False, with zeroed registers, when there is no CPUID.
// Leaves above the reported maximum give zeros.
bool Cpuid(uint32_t leaf, CpuidRegisters* registers);
// The time-stamp counter (RDTSC); 0 where there is none.
uint64_t ReadTimeStampCounter();
// Whether this processor runs AVX2 code: the one question every vector road asks, answered once from
// the real processor (a test's replaced CPUID report describes the system report, not what can run).
bool ProcessorHasAvx2();

}  // namespace plat

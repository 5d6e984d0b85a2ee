// CPUID and RDTSC: native on x86-64 (<cpuid.h>, __rdtsc), level 0 elsewhere, or a report set by tests.
#include "platform/win/kernel/cpu.h"

#include <cstring>
#include <mutex>

#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/kernel_test_controls.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define ORBEL_NATIVE_CPUID 1
#else
#define ORBEL_NATIVE_CPUID 0
#endif

namespace plat {
namespace {

struct CpuState {
  std::mutex mutex;
  bool fake = false;  // a test report replaces the processor
  test::CpuReport report;
};

CpuState& Cpu() {
  static CpuState* state = new CpuState;
  return *state;
}

// Packs up to four bytes of `text` from `offset` into a register, little-endian, NUL past the end.
uint32_t PackBytes(const std::string& text, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    const size_t at = offset + i;
    const uint32_t byte = at < text.size() ? static_cast<unsigned char>(text[at]) : 0;
    value |= byte << (8 * i);
  }
  return value;
}

void FakeCpuid(const test::CpuReport& report, uint32_t leaf, CpuidRegisters* r) {
  const uint32_t maxExtended = report.brand.empty() ? 0x80000000u : 0x80000004u;
  const std::string brand = report.brand.substr(0, 47);
  if (leaf == 0) {
    r->eax = report.maxLeaf;
    r->ebx = PackBytes(report.vendor, 0);  // vendor order: EBX, EDX, ECX
    r->edx = PackBytes(report.vendor, 4);
    r->ecx = PackBytes(report.vendor, 8);
  } else if (leaf == 1 && report.maxLeaf >= 1) {
    r->eax = 0x00000F12u;  // a family/model signature; the library does not read it
    r->edx = report.featureEdx;
  } else if (leaf == 0x80000000u) {
    r->eax = maxExtended;
  } else if (leaf >= 0x80000002u && leaf <= maxExtended) {
    const size_t base = (leaf - 0x80000002u) * 16;
    r->eax = PackBytes(brand, base);
    r->ebx = PackBytes(brand, base + 4);
    r->ecx = PackBytes(brand, base + 8);
    r->edx = PackBytes(brand, base + 12);
  }
}

}  // namespace

bool CpuidAvailable() {
  CpuState& s = Cpu();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.fake) return s.report.hasCpuid;
  return ORBEL_NATIVE_CPUID != 0;
}

bool Cpuid(uint32_t leaf, CpuidRegisters* registers) {
  if (registers == nullptr) return false;
  std::memset(registers, 0, sizeof(*registers));
  {
    CpuState& s = Cpu();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.fake) {
      if (!s.report.hasCpuid) return false;
      FakeCpuid(s.report, leaf, registers);
      return true;
    }
  }
#if ORBEL_NATIVE_CPUID
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(leaf, &a, &b, &c, &d) != 0) {  // zero when the leaf is above the maximum
    *registers = CpuidRegisters{a, b, c, d};
  }
  return true;
#else
  return false;
#endif
}

uint64_t ReadTimeStampCounter() {
  {
    CpuState& s = Cpu();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.fake && s.report.tscMhz != 0) return clock::NowMicroseconds() * s.report.tscMhz;
  }
#if ORBEL_NATIVE_CPUID
  return __rdtsc();
#else
  return 0;
#endif
}

namespace test {

void SetCpuReport(const CpuReport& report) {
  CpuState& s = Cpu();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.report = report;
  s.fake = true;
}

void ResetCpu() {
  CpuState& s = Cpu();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.fake = false;
  s.report = CpuReport{};
}

}  // namespace test
bool ProcessorHasAvx2() {
#if ORBEL_NATIVE_CPUID
  static const bool has = [] {
    __builtin_cpu_init();  // may run before the constructors that would set it up
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
#else
  return false;
#endif
}

}  // namespace plat

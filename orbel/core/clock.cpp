// The library's clocks: the millisecond timer and a microsecond count from the best source measured
// at start-up (the processor's time-stamp counter on request, else the performance counter, else the
// millisecond timer). Counts are scaled with a 128-bit intermediate so that no source overflows.
// Depends on: platform/win/kernel/clock.h, the processor's counter (platform/win/kernel/cpu.h).
#include "orbel/core/clock_random.h"

#include <atomic>

#include "orbel/core/string_routines.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/cpu.h"

namespace orbel {

namespace {

constexpr uint64_t kMicrosecondsPerSecond = 1000000;

// Filled in by start-up; read by any thread (the sound and movie clocks), hence atomics.
struct ClockSources {
  std::atomic<int> processorAvailable{0};          // 1: the time-stamp counter may be used
  std::atomic<uint64_t> processorFrequency{0};     // counts per second
  std::atomic<int> performanceAvailable{0};        // 1: QueryPerformanceCounter is the source
  std::atomic<uint64_t> performanceFrequency{0};   // counts per second
};

constinit ClockSources g_clock;


uint64_t ScaleToMicroseconds(uint64_t count, uint64_t frequency) {
  return Div128By64(Mul64To128(count, kMicrosecondsPerSecond), frequency);
}

}  // namespace

uint32_t GetNowMilliCount() { return plat::timeGetTime(); }

uint64_t GetHighResolutionCount(int useProcessorCounter) {
  if (useProcessorCounter == 1 && g_clock.processorAvailable.load(std::memory_order_relaxed) == 1) {
    const uint64_t frequency = g_clock.processorFrequency.load(std::memory_order_relaxed);
    if (frequency != 0) return ScaleToMicroseconds(plat::ReadTimeStampCounter(), frequency);
  }
  const uint64_t frequency = g_clock.performanceFrequency.load(std::memory_order_relaxed);
  if (g_clock.performanceAvailable.load(std::memory_order_relaxed) == 0 || frequency == 0) {
    return uint64_t{plat::timeGetTime()} * 1000;
  }
  plat::LARGE_INTEGER count{};
  plat::QueryPerformanceCounter(&count);
  return ScaleToMicroseconds(static_cast<uint64_t>(count.QuadPart), frequency);
}

void SetPerformanceCounterSource(int available, uint64_t frequencyPerSecond) {
  g_clock.performanceFrequency.store(frequencyPerSecond, std::memory_order_relaxed);
  g_clock.performanceAvailable.store(available, std::memory_order_relaxed);
}

void SetProcessorCounterSource(int available, uint64_t frequencyPerSecond) {
  g_clock.processorFrequency.store(frequencyPerSecond, std::memory_order_relaxed);
  g_clock.processorAvailable.store(available, std::memory_order_relaxed);
}

int GetPerformanceCounterFlag() { return g_clock.performanceAvailable.load(std::memory_order_relaxed); }

uint64_t GetPerformanceCounterFrequency() { return g_clock.performanceFrequency.load(std::memory_order_relaxed); }

}  // namespace orbel

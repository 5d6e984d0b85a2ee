// The library's clocks (the millisecond timer and a microsecond count from the best source) and its
// Mersenne Twister (MT19937, seeded the 1998 way) from which integers in a range are drawn.
#pragma once

#include <cstdint>

namespace orbel {

uint32_t GetNowMilliCount();
// Microseconds since an arbitrary start: the time-stamp counter when `useProcessorCounter` is 1 and
// start-up has measured it, else the performance counter, else the millisecond timer times 1000.
uint64_t GetHighResolutionCount(int useProcessorCounter);

// Clock sources, filled in at start-up.
void SetPerformanceCounterSource(int available, uint64_t frequencyPerSecond);
void SetProcessorCounterSource(int available, uint64_t frequencyPerSecond);
int GetPerformanceCounterFlag();
uint64_t GetPerformanceCounterFrequency();

void InitRandomSeed(uint32_t seed);
uint32_t GetRandomWord();
// 0..max inclusive: the high 32 bits of the next word times max + 1.
int GetRandomNumber(int max);
int CheckCpuMmx();
void GenerateRandomBlock();
// Back to the never-seeded state (start-up's state reset and tests).
void ResetRandomState();

}  // namespace orbel

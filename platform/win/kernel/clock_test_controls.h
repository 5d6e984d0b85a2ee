// Test controls of the clock.
#pragma once

#include <cstdint>

namespace plat::test {
// Installs the virtual clock at `startMilliseconds`; each reading advances it by `stepMicroseconds`,
// and Sleep advances it at once.
void UseVirtualClock(uint32_t startMilliseconds = 0, uint32_t stepMicroseconds = 10);
void UseRealClock();
void AdvanceClock(uint64_t microseconds);
// timeBeginPeriod calls not yet matched by timeEndPeriod.
int TimerPeriodDepth();
void ResetClock();
}  // namespace plat::test

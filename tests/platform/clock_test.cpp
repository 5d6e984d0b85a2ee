#include "platform/win/kernel/clock.h"
#include "platform/test_controls.h"
#include "test_support.h"

namespace {

using ClockTest = orbel::testing::VirtualClockTest;

TEST_F(ClockTest, SleepAdvancesVirtualTimeAtOnce) {
  plat::test::UseVirtualClock(1000, 0);
  EXPECT_EQ(plat::timeGetTime(), 1000u);
  plat::Sleep(16);
  EXPECT_EQ(plat::timeGetTime(), 1016u);
  plat::LARGE_INTEGER freq, count;
  ASSERT_TRUE(plat::QueryPerformanceFrequency(&freq));
  ASSERT_TRUE(plat::QueryPerformanceCounter(&count));
  EXPECT_EQ(count.QuadPart / (freq.QuadPart / 1000), 1016);
}

TEST_F(ClockTest, EachReadingMovesTheVirtualClockOn) {
  plat::test::UseVirtualClock(0, 10);
  // A busy-wait for the millisecond timer to change ends after 100 readings.
  const plat::DWORD start = plat::timeGetTime();
  int readings = 0;
  while (plat::timeGetTime() == start) ++readings;
  EXPECT_LE(readings, 100);
}

TEST_F(ClockTest, TimerPeriodIsCounted) {
  plat::TIMECAPS caps{};
  ASSERT_EQ(plat::timeGetDevCaps(&caps, sizeof caps), plat::TIMERR_NOERROR);
  const int before = plat::test::TimerPeriodDepth();
  plat::timeBeginPeriod(caps.wPeriodMin);
  EXPECT_EQ(plat::test::TimerPeriodDepth(), before + 1);
  plat::timeEndPeriod(caps.wPeriodMin);
  EXPECT_EQ(plat::test::TimerPeriodDepth(), before);
}

}  // namespace

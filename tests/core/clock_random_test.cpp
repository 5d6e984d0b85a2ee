// Clock sources scaled to microseconds on the virtual clock, and the MT19937 generator checked against
// its pinned first words and against the standard library's engine loaded with the same state.
#include "orbel/core/clock_random.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>

#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/kernel/cpu.h"
#include "platform/win/kernel/kernel_test_controls.h"
#include "test_support.h"

namespace orbel {
namespace {

class ClockTest : public testing::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    plat::test::UseVirtualClock(5000, 0);
  }
  void TearDown() override {
    SetPerformanceCounterSource(0, 0);
    SetProcessorCounterSource(0, 0);
    VirtualClockTest::TearDown();
  }
};

TEST_F(ClockTest, MillisecondTimerIsTheFallback) {
  SetPerformanceCounterSource(0, 0);
  EXPECT_EQ(GetNowMilliCount(), 5000u);
  EXPECT_EQ(GetHighResolutionCount(0), 5000000u);
  plat::test::AdvanceClock(2500);
  EXPECT_EQ(GetHighResolutionCount(0), 5002000u);
  EXPECT_EQ(GetHighResolutionCount(1), 5002000u) << "no processor counter measured";
}

TEST_F(ClockTest, PerformanceCounterIsScaledToMicroseconds) {
  SetPerformanceCounterSource(1, 1000000000);
  EXPECT_EQ(GetPerformanceCounterFlag(), 1);
  EXPECT_EQ(GetHighResolutionCount(0), 5000000u);
  plat::test::AdvanceClock(2500);
  EXPECT_EQ(GetHighResolutionCount(0), 5002500u);
  // Past 2^64 / 10^6 counts a 64-bit product would overflow; the 128-bit one does not.
  plat::test::AdvanceClock(uint64_t{30000000} * 1000000);  // 30 million seconds
  EXPECT_EQ(GetHighResolutionCount(0), uint64_t{30000000} * 1000000 + 5002500u);
}

TEST_F(ClockTest, ProcessorCounterOnlyWhenAskedFor) {
  plat::test::CpuReport report;
  report.tscMhz = 3000;  // 3000 ticks per microsecond of clock time
  plat::test::SetCpuReport(report);
  SetPerformanceCounterSource(1, 1000000000);
  plat::test::AdvanceClock(250);
  EXPECT_EQ(GetHighResolutionCount(1), 5000250u) << "no processor frequency measured yet";
  SetProcessorCounterSource(1, 6000000000);  // deliberately twice the real rate
  EXPECT_EQ(GetHighResolutionCount(0), 5000250u);
  EXPECT_EQ(GetHighResolutionCount(1), 2500125u);
}

// The 1998 reference seeding, to load the standard engine with the same state.
std::mt19937 ReferenceEngine(uint32_t seed) {
  std::ostringstream state;
  for (int i = 0; i < 624; ++i) {
    uint32_t word = seed & 0xFFFF0000u;
    seed = 69069 * seed + 1;
    word |= seed >> 16;
    seed = 69069 * seed + 1;
    state << word << ' ';
  }
  state << 624;  // index: regenerate before the first output
  std::mt19937 engine;
  std::istringstream in(state.str());
  in >> engine;
  return engine;
}

class RandomTest : public testing::VirtualClockTest {
 protected:
  void TearDown() override {
    ResetRandomState();
    VirtualClockTest::TearDown();
  }
};

TEST_F(RandomTest, UnseededGeneratorStartsWithTheReferenceWords) {
  ResetRandomState();
  EXPECT_EQ(GetRandomWord(), 2867219139u);
  EXPECT_EQ(GetRandomWord(), 1585203162u);
  EXPECT_EQ(GetRandomWord(), 3113124129u);
  ResetRandomState();
  EXPECT_EQ(GetRandomNumber(99), 66) << "high 32 bits of 2867219139 * 100";
}

TEST_F(RandomTest, WordsMatchTheReferenceAcrossRegenerations) {
  for (uint32_t seed : {4357u, 0u, 0x12345678u, 0xFFFFFFFFu}) {
    InitRandomSeed(seed);
    std::mt19937 reference = ReferenceEngine(seed);
    for (int i = 0; i < 624 * 3 + 5; ++i) ASSERT_EQ(GetRandomWord(), reference()) << "seed " << seed << " word " << i;
  }
}

TEST_F(RandomTest, MmxFlagFromTheProcessorReport) {
  struct Case {
    bool hasCpuid;
    uint32_t featureEdx;
    int expected;
  } const cases[] = {{true, plat::kCpuidEdxMmx | plat::kCpuidEdxTsc, 1}, {true, plat::kCpuidEdxTsc, 0},
                     {false, plat::kCpuidEdxMmx, 0}};
  for (const Case& c : cases) {
    plat::test::CpuReport report;
    report.hasCpuid = c.hasCpuid;
    report.featureEdx = c.featureEdx;
    plat::test::SetCpuReport(report);
    EXPECT_EQ(CheckCpuMmx(), c.expected) << "cpuid " << c.hasCpuid << " edx " << c.featureEdx;
  }
}

TEST_F(RandomTest, NumbersStayInRange) {
  InitRandomSeed(1);
  std::set<int> zeroOne, tens;
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(GetRandomNumber(0), 0);
    zeroOne.insert(GetRandomNumber(1));
    const int n = GetRandomNumber(9);
    ASSERT_GE(n, 0);
    ASSERT_LE(n, 9);
    tens.insert(n);
  }
  EXPECT_EQ(zeroOne, (std::set<int>{0, 1}));
  EXPECT_EQ(tens.size(), 10u);
}

}  // namespace
}  // namespace orbel

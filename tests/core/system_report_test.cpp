// The system report: OS naming and codes, the processor levels and their log lines and flags, the clock
// measured from the time-stamp counter, the balanced timer period, and the NT 6 back-surface request.
#include "orbel/core/system_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_runtime_fixture.h"
#include "orbel/core/clock_random.h"
#include "orbel/core/library.h"
#include "orbel/core/log.h"
#include "orbel/core/string_routines.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/graphics_system.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/kernel/cpu.h"
#include "platform/win/kernel/kernel_test_controls.h"

namespace orbel {
namespace {

class SystemReportTest : public testing::CoreRuntimeTest {
 protected:
  void SetUp() override {
    CoreRuntimeTest::SetUp();
    SetLogStartupDirectory(work_.path().c_str());
    StartLogFile();
  }
  void TearDown() override {
    SetUseBackSurfaceFlag(0);
    CoreRuntimeTest::TearDown();
  }
  // The lines after the OS line.
  std::vector<std::string> CpuLines() const {
    std::vector<std::string> cpu;
    bool afterOs = false;
    for (const std::string& line : LogTexts()) {
      if (afterOs && !line.empty()) cpu.push_back(line);
      if (line.rfind("ＯＳ  ", 0) == 0) afterOs = true;
    }
    return cpu;
  }
};

TEST_F(SystemReportTest, OperatingSystemsAreNamedAndCoded) {
  struct Case {
    plat::DWORD platformId, major, minor;
    const char* csd;
    const char* name;
    int code;
  };
  const Case cases[] = {
      {2, 5, 1, "Linux 6.1.0", "WindowsXP", kOsWindowsXP},
      {1, 4, 10, "A ", "Windows98SE", kOsWindows98},
      {1, 4, 10, "", "Windows98", kOsWindows98},
      {1, 4, 0, "C", "Windows95OSR2", kOsWindows95},
      {1, 4, 90, "", "WindowsMe", kOsWindowsMe},
      {0, 3, 10, "", "Windows3.1", kOsWindows31},
      {2, 3, 51, "", "WindowsNT 3.51", kOsWindowsNT351},
      {2, 4, 0, "SP6", "Windows4.0", kOsWindowsNT4},
      {2, 5, 0, "", "Windows2000", kOsWindows2000},
      {2, 6, 0, "", "WindowsVista", kOsWindowsVista},
      {2, 7, 0, "", "Windows", kOsWindowsVista},  // unknown: the code stays what it was
  };
  for (const Case& c : cases) {
    plat::test::OsIdentity identity;
    identity.platformId = c.platformId;
    identity.major = c.major;
    identity.minor = c.minor;
    identity.build = 1234;
    identity.csdVersion = c.csd;
    plat::test::SetOsIdentity(identity);
    OutputSystemInfo();
    EndSystemReport();
    const std::string description = std::string(c.name) + " ( Build 1234 " + c.csd + " )";
    EXPECT_EQ(std::string(GetSystemInfoBlock()->osDescription), description);
    EXPECT_EQ(GetOsCode(), c.code) << c.name;
    EXPECT_GE(FindLine("ＯＳ  " + description), 0) << LogText();
  }
}

TEST_F(SystemReportTest, ProcessorWithoutCpuidReportsOnlyThat) {
  plat::test::CpuReport cpu;
  cpu.hasCpuid = false;
  plat::test::SetCpuReport(cpu);
  OutputSystemInfo();
  EXPECT_EQ(CpuLines(), std::vector<std::string>{"ＣＰＵＩＤ命令は使えません"});
  EXPECT_EQ(GetMmxAvailableFlag(), 0);
  EXPECT_EQ(GetSseAvailableFlag(), 0);
  EXPECT_EQ(GetTimeStampCounterFlag(), 0);
  EXPECT_EQ(GetSystemInfoBlock()->cpuName[0], '\0');
}

TEST_F(SystemReportTest, ProcessorLevelsLogTheirInstructionSetsVendorBrandAndClock) {
  const uint32_t tsc = plat::kCpuidEdxTsc;
  const uint32_t mmx = plat::kCpuidEdxMmx;
  const uint32_t sse = plat::kCpuidEdxSse;
  const uint32_t sse2 = plat::kCpuidEdxSse2;
  struct Case {
    uint32_t features;
    std::vector<std::string> levelLines;
    int mmx, sse, sse2;
  };
  const Case cases[] = {
      {tsc, {"ＭＭＸは使えません"}, 0, 0, 0},
      {tsc | mmx, {"ＭＭＸ命令を使用します"}, 1, 0, 0},
      {tsc | mmx | sse, {"ＭＭＸ命令を使用します", "ＳＳＥ命令が使用可能です"}, 1, 1, 0},
      {tsc | mmx | sse | sse2, {"ＭＭＸ命令を使用します", "ＳＳＥ命令が使用可能です", "ＳＳＥ２命令が使用可能です"}, 1, 1, 1},
      {tsc | sse | sse2, {"ＭＭＸは使えません"}, 0, 0, 0},  // each test only after the previous passed
  };
  for (const Case& c : cases) {
    testing::WriteFileText(work_.path() / "Log.txt", "");
    StartLogFile();
    plat::test::CpuReport cpu;
    cpu.vendor = "AuthenticAMD";
    cpu.brand = "Test Processor 9000";
    cpu.featureEdx = c.features;
    cpu.tscMhz = 2500;
    plat::test::SetCpuReport(cpu);
    OutputSystemInfo();
    EndSystemReport();

    // The wait ends when the millisecond timer has advanced by 100, which is 99 to 100 ms of clock
    // time; the clock line shows what was measured.
    const int mhz = GetSystemInfoBlock()->cpuClockMHz;
    EXPECT_NEAR(mhz, 2500, 25);
    char clockLine[64];
    FormatString(clockLine, sizeof clockLine, "ＣＰＵ動作速度：大体%.2fGHz", mhz * 0.001);
    std::vector<std::string> expected = {clockLine};
    expected.insert(expected.end(), c.levelLines.begin(), c.levelLines.end());
    expected.push_back("ＣＰＵベンダ：AuthenticAMD");
    expected.push_back("ＣＰＵ名：Test Processor 9000");
    EXPECT_EQ(CpuLines(), expected) << c.features;
    EXPECT_EQ(GetMmxAvailableFlag(), c.mmx);
    EXPECT_EQ(GetSseAvailableFlag(), c.sse);
    EXPECT_EQ(GetSse2AvailableFlag(), c.sse2);
    EXPECT_STREQ(GetSystemInfoBlock()->cpuName, "Test Processor 9000");
    // Per second from the time really waited: within a percent of 2.5 GHz.
    EXPECT_NEAR(static_cast<double>(GetTimeStampFrequency()), 2.5e9, 2.5e7);
    EXPECT_NEAR(static_cast<double>(GetTimeStampTicksPer10ms()), 2.5e7, 2.5e5);
  }
}

TEST_F(SystemReportTest, TimerPeriodIsRaisedOnceAndLoweredAgain) {
  OutputSystemInfo();
  OutputSystemInfo();
  EXPECT_EQ(plat::test::TimerPeriodDepth(), 1);
  EndSystemReport();
  EXPECT_EQ(plat::test::TimerPeriodDepth(), 0);
  EndSystemReport();
  EXPECT_EQ(plat::test::TimerPeriodDepth(), 0);
}

TEST_F(SystemReportTest, MmxFlagBeforeAnyReportIsWhatCpuidSays) {
  EXPECT_EQ(GetMmxAvailableFlag(), CheckCpuMmx());
}

TEST_F(SystemReportTest, StartUpOnNt6AsksForASeparateBackSurface) {
  plat::test::OsIdentity identity;
  identity.major = 6;
  identity.minor = 0;
  plat::test::SetOsIdentity(identity);
  ASSERT_EQ(StartWindowed(), 0);
  EXPECT_EQ(GetOsCode(), kOsWindowsVista);
  EXPECT_EQ(GetUseBackSurfaceFlag(), 1);
  EndLibrarySystem();
  EXPECT_EQ(plat::test::TimerPeriodDepth(), 0);
}

}  // namespace
}  // namespace orbel

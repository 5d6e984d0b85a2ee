// The system report: version, OS name and code from the version query, processor level, vendor and
// brand from CPUID, the processor clock from the time-stamp counter over at least 100 ms of the
// millisecond timer, and the MMX / SSE / SSE2 flags.
// Depends on: platform/win/kernel/system_info.h, cpu.h, clock.h; core log and string routines.
// Leaves out: the display fields of the information block (the DirectDraw set-up fills them).
#include "orbel/core/system_report.h"

#include <cstring>

#include "orbel/core/clock_random.h"
#include "orbel/core/log.h"
#include "orbel/core/string_routines.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/cpu.h"
#include "platform/win/kernel/system_info.h"

namespace orbel {

namespace {

struct SystemReportState {
  SystemInfoBlock info;
  int osCode;
  int reported;             // 1 once OutputSystemInfo ran (the flags below are then its findings)
  int mmx;
  int sse;
  int sse2;
  int timeStampCounter;
  uint64_t ticksPer10ms;
  uint64_t ticksPerSecond;
  uint32_t timerPeriod;     // raised by the report
  int timerPeriodRaised;
};

SystemReportState g_report = {};

constexpr uint32_t kMeasureMilliseconds = 100;

// The OS name and code; the code is left unchanged for versions the table does not know.
void NameOperatingSystem(const plat::OSVERSIONINFOA& version, char* name, size_t size) {
  StrCopy(name, "Windows");
  const char* suffix = "";
  const char* extra = "";
  switch (version.dwPlatformId) {
    case plat::VER_PLATFORM_WIN32s:
      suffix = "3.1";
      g_report.osCode = kOsWindows31;
      break;
    case plat::VER_PLATFORM_WIN32_WINDOWS:
      if (version.dwMinorVersion == 0) {
        suffix = "95";
        g_report.osCode = kOsWindows95;
        if (version.szCSDVersion[0] == 'C') extra = "OSR2";
      } else if (version.dwMinorVersion == 10) {
        suffix = "98";
        g_report.osCode = kOsWindows98;
        if (version.szCSDVersion[0] == 'A') extra = "SE";
      } else if (version.dwMinorVersion == 90) {
        suffix = "Me";
        g_report.osCode = kOsWindowsMe;
      }
      break;
    case plat::VER_PLATFORM_WIN32_NT:
      if (version.dwMajorVersion == 3) {
        suffix = "NT 3.51";
        g_report.osCode = kOsWindowsNT351;
      } else if (version.dwMajorVersion == 4) {
        suffix = "4.0";
        g_report.osCode = kOsWindowsNT4;
      } else if (version.dwMajorVersion == 5 && version.dwMinorVersion == 0) {
        suffix = "2000";
        g_report.osCode = kOsWindows2000;
      } else if (version.dwMajorVersion == 5 && version.dwMinorVersion == 1) {
        suffix = "XP";
        g_report.osCode = kOsWindowsXP;
      } else if (version.dwMajorVersion == 6) {
        suffix = "Vista";
        g_report.osCode = kOsWindowsVista;
      }
      break;
    default:
      break;
  }
  const size_t used = std::strlen(name);
  FormatString(name + used, size - used, "%s%s", suffix, extra);
}

struct CpuReport {
  int level;              // 0 no CPUID, 1, 3 MMX, 4 SSE, 5 SSE2
  int timeStampCounter;
  char vendor[13];
  char brand[49];
};

CpuReport ReadCpu() {
  CpuReport cpu = {};
  if (!plat::CpuidAvailable()) return cpu;
  plat::CpuidRegisters r{};
  plat::Cpuid(0, &r);
  std::memcpy(cpu.vendor + 0, &r.ebx, 4);
  std::memcpy(cpu.vendor + 4, &r.edx, 4);
  std::memcpy(cpu.vendor + 8, &r.ecx, 4);
  cpu.level = 1;

  plat::Cpuid(1, &r);
  const uint32_t features = r.edx;
  cpu.timeStampCounter = (features & plat::kCpuidEdxTsc) != 0;

  plat::Cpuid(0x80000000u, &r);
  if (r.eax >= 0x80000004u) {
    for (uint32_t leaf = 0; leaf < 3; ++leaf) {
      plat::Cpuid(0x80000002u + leaf, &r);
      std::memcpy(cpu.brand + leaf * 16 + 0, &r.eax, 4);
      std::memcpy(cpu.brand + leaf * 16 + 4, &r.ebx, 4);
      std::memcpy(cpu.brand + leaf * 16 + 8, &r.ecx, 4);
      std::memcpy(cpu.brand + leaf * 16 + 12, &r.edx, 4);
    }
  }

  if (features & plat::kCpuidEdxMmx) {
    cpu.level = 3;
    if (features & plat::kCpuidEdxSse) {
      cpu.level = 4;
      if (features & plat::kCpuidEdxSse2) cpu.level = 5;
    }
  }
  return cpu;
}

// Counts time-stamp ticks over at least 100 ms of the millisecond timer.
void MeasureProcessorClock() {
  const uint32_t start = plat::timeGetTime();
  const uint64_t first = plat::ReadTimeStampCounter();
  uint32_t elapsed = 0;
  while ((elapsed = plat::timeGetTime() - start) < kMeasureMilliseconds) {
  }
  const uint64_t ticks = plat::ReadTimeStampCounter() - first;

  g_report.info.cpuClockMHz = DoubleToInt(static_cast<double>(ticks) * 0.00001);
  g_report.ticksPer10ms = ticks / 10;
  // Per second from the time really waited (at least 100 ms), for the microsecond clock.
  g_report.ticksPerSecond = Div128By64(Mul64To128(ticks, 1000), elapsed);
  LogFmtAdd("ＣＰＵ動作速度：大体%.2fGHz",
            static_cast<double>(static_cast<uint32_t>(g_report.info.cpuClockMHz)) * 0.001);
}

}  // namespace

int OutputSystemInfo() {
  LogAdd("システムの情報を出力します\n");
  LogTabAdd();

  char line[64];
  FormatString(line, sizeof line, "ＱＶライブラリ Ver%s\n", kLibraryVersionText);
  LogAdd(line);

  LogAdd("ＯＳ  ");
  plat::OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  plat::GetVersionExA(&version);
  char osName[64];
  NameOperatingSystem(version, osName, sizeof osName);
  FormatString(g_report.info.osDescription, sizeof g_report.info.osDescription, "%s ( Build %d %s )",
               osName, static_cast<int>(version.dwBuildNumber), version.szCSDVersion);
  LogFmtAdd("%s", g_report.info.osDescription);

  plat::TIMECAPS caps = {};
  plat::timeGetDevCaps(&caps, sizeof caps);
  if (!g_report.timerPeriodRaised && plat::timeBeginPeriod(caps.wPeriodMin) == plat::TIMERR_NOERROR) {
    g_report.timerPeriod = caps.wPeriodMin;
    g_report.timerPeriodRaised = 1;
  }

  const CpuReport cpu = ReadCpu();
  g_report.reported = 1;
  g_report.timeStampCounter = cpu.timeStampCounter;
  g_report.mmx = cpu.level >= 3;
  g_report.sse = cpu.level >= 4;
  g_report.sse2 = cpu.level >= 5;
  g_report.ticksPer10ms = 0;
  g_report.ticksPerSecond = 0;
  if (cpu.timeStampCounter) MeasureProcessorClock();

  switch (cpu.level) {
    case 0:
      LogAdd("ＣＰＵＩＤ命令は使えません\n");
      LogTabSub();
      return 0;
    case 1:
      LogAdd("ＭＭＸは使えません\n");
      break;
    default:
      LogAdd("ＭＭＸ命令を使用します\n");
      if (cpu.level >= 4) LogAdd("ＳＳＥ命令が使用可能です\n");
      if (cpu.level >= 5) LogAdd("ＳＳＥ２命令が使用可能です\n");
      break;
  }

  LogAdd("ＣＰＵベンダ：");
  for (int part = 0; part < 3; ++part) {
    char chunk[5] = {};
    std::memcpy(chunk, cpu.vendor + part * 4, 4);
    LogAdd(chunk);
  }
  LogAdd("\n");
  if (cpu.brand[0] != '\0') {
    LogFmtAdd("ＣＰＵ名：%s", cpu.brand);
    StrCopy(g_report.info.cpuName, cpu.brand);
  }

  LogTabSub();
  return 0;
}

void EndSystemReport() {
  if (!g_report.timerPeriodRaised) return;
  plat::timeEndPeriod(g_report.timerPeriod);
  g_report.timerPeriodRaised = 0;
}

SystemInfoBlock* GetSystemInfoBlock() { return &g_report.info; }
int GetOsCode() { return g_report.osCode; }

int GetMmxAvailableFlag() {
  if (g_report.reported) return g_report.mmx;
  static const int cpuidMmx = CheckCpuMmx();
  return cpuidMmx;
}

int GetSseAvailableFlag() { return g_report.sse; }
int GetSse2AvailableFlag() { return g_report.sse2; }
int GetTimeStampCounterFlag() { return g_report.timeStampCounter; }
uint64_t GetTimeStampTicksPer10ms() { return g_report.ticksPer10ms; }
uint64_t GetTimeStampFrequency() { return g_report.ticksPerSecond; }

void ResetSystemReportForTest() {
  EndSystemReport();
  g_report = SystemReportState{};
}

}  // namespace orbel

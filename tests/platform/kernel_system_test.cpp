// System identity (version record, code page, memory clamping, instance handle), the COM counter and
// the processor report (native and injected).
#include <sys/utsname.h>

#include <cstring>
#include <string>

#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/cpu.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/win/kernel/system_info.h"
#include "platform/test_controls.h"
#include "test_support.h"

namespace {

using namespace plat;
using KernelSystem = orbel::testing::VirtualClockTest;
using KernelCpu = orbel::testing::VirtualClockTest;

TEST_F(KernelSystem, VersionReportsNt51WithHostKernel) {
  OSVERSIONINFOA info{};
  EXPECT_FALSE(GetVersionExA(&info));  // size field not set
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  info.dwOSVersionInfoSize = sizeof(info);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_NE(info.dwBuildNumber, 0u);
  utsname host{};
  ASSERT_EQ(uname(&host), 0);
  EXPECT_EQ(std::string(info.szCSDVersion), std::string(host.sysname) + " " + host.release);

  test::OsIdentity identity;
  identity.platformId = VER_PLATFORM_WIN32_WINDOWS;
  identity.major = 4;
  identity.minor = 10;
  identity.build = 2222;
  identity.csdVersion = "A" + std::string(200, 'x');  // longer than the record holds
  test::SetOsIdentity(identity);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, 1u);
  EXPECT_EQ(info.dwMajorVersion, 4u);
  EXPECT_EQ(info.dwMinorVersion, 10u);
  EXPECT_EQ(info.dwBuildNumber, 2222u);
  EXPECT_EQ(std::strlen(info.szCSDVersion), sizeof(info.szCSDVersion) - 1);
  EXPECT_EQ(info.szCSDVersion[0], 'A');
}

TEST_F(KernelSystem, MemoryFiguresClampTo32Bits) {
  struct Case {
    uint64_t total, avail;
    DWORD totalOut, availOut, load;
  };
  const Case cases[] = {
      {8ull << 30, 6ull << 30, 0xFFFFFFFFu, 0xFFFFFFFFu, 25},
      {8ull << 30, 1ull << 30, 0xFFFFFFFFu, 1u << 30, 88},
      {512u << 20, 256u << 20, 512u << 20, 256u << 20, 50},
  };
  for (const Case& c : cases) {
    test::SetPhysicalMemory(c.total, c.avail);
    MEMORYSTATUS status{};
    GlobalMemoryStatus(&status);
    EXPECT_EQ(status.dwLength, sizeof(status));
    EXPECT_EQ(status.dwTotalPhys, c.totalOut);
    EXPECT_EQ(status.dwAvailPhys, c.availOut);
    EXPECT_EQ(status.dwMemoryLoad, c.load);
  }
  test::SetPhysicalMemory(0, 0);
  MEMORYSTATUS host{};
  GlobalMemoryStatus(&host);
  EXPECT_GT(host.dwTotalPhys, 0u);
  EXPECT_LE(host.dwAvailPhys, host.dwTotalPhys);
}

TEST_F(KernelSystem, ModuleCodePageAndCom) {
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
  EXPECT_EQ(GetModuleHandleA(nullptr), GetModuleHandleA(nullptr));
  EXPECT_EQ(GetModuleHandleA("other.dll"), nullptr);
  EXPECT_EQ(GetOEMCP(), 932u);
  test::SetOemCodePage(949);
  EXPECT_EQ(GetOEMCP(), 949u);

  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(test::ComInitDepth(), 2);
  CoUninitialize();
  CoUninitialize();
  CoUninitialize();  // one too many: ignored
  EXPECT_EQ(test::ComInitDepth(), 0);
  test::FailNextCoInitialize();
  EXPECT_TRUE(FAILED(CoInitialize(nullptr)));
  EXPECT_EQ(test::ComInitDepth(), 0);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  test::ResetKernel();
  EXPECT_EQ(test::ComInitDepth(), 0);
  EXPECT_EQ(GetOEMCP(), 932u);
}

std::string Vendor() {
  CpuidRegisters r{};
  Cpuid(0, &r);
  char text[13] = {};
  std::memcpy(text, &r.ebx, 4);
  std::memcpy(text + 4, &r.edx, 4);
  std::memcpy(text + 8, &r.ecx, 4);
  return text;
}

std::string Brand() {
  CpuidRegisters r{};
  Cpuid(0x80000000u, &r);
  if (r.eax < 0x80000004u) return "";
  char text[49] = {};
  for (uint32_t leaf = 0; leaf < 3; ++leaf) {
    Cpuid(0x80000002u + leaf, &r);
    std::memcpy(text + leaf * 16, &r, 16);
  }
  return text;
}

TEST_F(KernelCpu, InjectedReports) {
  test::CpuReport report;
  report.vendor = "AuthenticAMD";
  report.brand = "Orbel Test Processor 3000+";
  report.featureEdx = kCpuidEdxTsc | kCpuidEdxMmx | kCpuidEdxSse;
  report.tscMhz = 1500;
  test::SetCpuReport(report);
  EXPECT_TRUE(CpuidAvailable());
  EXPECT_EQ(Vendor(), "AuthenticAMD");
  EXPECT_EQ(Brand(), "Orbel Test Processor 3000+");
  CpuidRegisters r{};
  ASSERT_TRUE(Cpuid(1, &r));
  EXPECT_EQ(r.edx, kCpuidEdxTsc | kCpuidEdxMmx | kCpuidEdxSse);
  EXPECT_EQ(r.edx & kCpuidEdxSse2, 0u);
  // 100 ms of plat time at 1500 ticks per microsecond: the library's clock measurement gives 1500 MHz.
  const uint64_t before = ReadTimeStampCounter();
  Sleep(100);
  const uint64_t ticks = ReadTimeStampCounter() - before;
  EXPECT_GE(ticks, 150000000u);
  EXPECT_LT(ticks, 150100000u);

  report.brand.clear();
  report.maxLeaf = 0;
  test::SetCpuReport(report);
  EXPECT_EQ(Brand(), "");
  ASSERT_TRUE(Cpuid(1, &r));
  EXPECT_EQ(r.edx, 0u);  // above the reported maximum leaf

  report.hasCpuid = false;
  test::SetCpuReport(report);
  EXPECT_FALSE(CpuidAvailable());
  EXPECT_FALSE(Cpuid(0, &r));
  EXPECT_EQ(r.eax | r.ebx | r.ecx | r.edx, 0u);
}

TEST_F(KernelCpu, NativeReport) {
#if defined(__x86_64__)
  ASSERT_TRUE(CpuidAvailable());
  EXPECT_EQ(Vendor().size(), 12u);
  CpuidRegisters r{};
  ASSERT_TRUE(Cpuid(1, &r));
  EXPECT_NE(r.edx & kCpuidEdxSse2, 0u);  // every x86-64 processor has SSE2 and a TSC
  EXPECT_NE(r.edx & kCpuidEdxTsc, 0u);
  const uint64_t a = ReadTimeStampCounter();
  const uint64_t b = ReadTimeStampCounter();
  EXPECT_GT(b, a);
#else
  EXPECT_FALSE(CpuidAvailable());
#endif
}

}  // namespace

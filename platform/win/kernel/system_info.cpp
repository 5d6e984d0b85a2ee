// System identity, memory figures, module handle, code pages and the COM counter.
#include "platform/win/kernel/system_info.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/kernel_test_controls.h"

namespace plat {
namespace {

constexpr DWORD kDefaultBuild = 2600;
constexpr uint64_t kUserAddressSpace = 0x7FFE0000u;  // bytes a 32-bit process may address

struct SystemInfoState {
  std::mutex mutex;
  bool identitySet = false;  // tests replaced the reported OS
  test::OsIdentity identity;
  UINT oemCodePage = 932;
  int comDepth = 0;  // CoInitialize successes not yet matched by CoUninitialize
  bool failNextCom = false;
  bool memorySet = false;
  uint64_t totalPhys = 0;  // bytes, test values before clamping
  uint64_t availPhys = 0;
};

SystemInfoState& Info() {
  static SystemInfoState* state = new SystemInfoState;
  return *state;
}

DWORD Clamp32(uint64_t value) { return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(value); }

// MemAvailable from /proc/meminfo (bytes), or 0 when the kernel does not give it.
uint64_t MemAvailableBytes() {
  FILE* file = std::fopen("/proc/meminfo", "r");
  if (file == nullptr) return 0;
  char line[256];
  uint64_t kib = 0;
  while (std::fgets(line, sizeof(line), file) != nullptr) {
    unsigned long long value = 0;
    if (std::sscanf(line, "MemAvailable: %llu kB", &value) == 1) {
      kib = value;
      break;
    }
  }
  std::fclose(file);
  return kib * 1024;
}

char moduleToken;  // its address is the program's instance handle

}  // namespace

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  SystemInfoState& s = Info();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::string csd;
  if (s.identitySet) {
    info->dwPlatformId = s.identity.platformId;
    info->dwMajorVersion = s.identity.major;
    info->dwMinorVersion = s.identity.minor;
    info->dwBuildNumber = s.identity.build;
    csd = s.identity.csdVersion;
  } else {
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = kDefaultBuild;
    struct utsname name {};
    if (::uname(&name) == 0) csd = std::string(name.sysname) + " " + name.release;
  }
  const size_t length = csd.size() < sizeof(info->szCSDVersion) - 1 ? csd.size() : sizeof(info->szCSDVersion) - 1;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  std::memcpy(info->szCSDVersion, csd.data(), length);
  return TRUE;
}

void GlobalMemoryStatus(MEMORYSTATUS* status) {
  if (status == nullptr) return;
  uint64_t total = 0, avail = 0, swapTotal = 0, swapFree = 0;
  {
    SystemInfoState& s = Info();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.memorySet) {
      total = s.totalPhys;
      avail = s.availPhys;
    }
  }
  struct sysinfo info {};
  if (::sysinfo(&info) == 0) {
    const uint64_t unit = info.mem_unit != 0 ? info.mem_unit : 1;
    if (total == 0) {
      total = info.totalram * unit;
      avail = MemAvailableBytes();
      if (avail == 0) avail = (info.freeram + info.bufferram) * unit;
    }
    swapTotal = info.totalswap * unit;
    swapFree = info.freeswap * unit;
  }
  if (avail > total) avail = total;
  status->dwLength = sizeof(MEMORYSTATUS);
  status->dwMemoryLoad = total != 0 ? static_cast<DWORD>(100 - avail * 100 / total) : 0;
  status->dwTotalPhys = Clamp32(total);
  status->dwAvailPhys = Clamp32(avail);
  status->dwTotalPageFile = Clamp32(total + swapTotal);
  status->dwAvailPageFile = Clamp32(avail + swapFree);
  status->dwTotalVirtual = Clamp32(kUserAddressSpace);
  status->dwAvailVirtual = Clamp32(kUserAddressSpace);
}

HMODULE GetModuleHandleA(const char* moduleName) {
  if (moduleName != nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(&moduleToken);
}

UINT GetOEMCP() {
  SystemInfoState& s = Info();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.oemCodePage;
}

UINT GetACP() { return 932; }

HRESULT CoInitialize(void*) {
  SystemInfoState& s = Info();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.failNextCom) {
    s.failNextCom = false;
    return E_FAIL;
  }
  return ++s.comDepth == 1 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  SystemInfoState& s = Info();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.comDepth > 0) --s.comDepth;
}

namespace test {

void SetOsIdentity(const OsIdentity& identity) {
  SystemInfoState& s = Info();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.identity = identity;
  s.identitySet = true;
}

void SetOemCodePage(UINT codePage) {
  SystemInfoState& s = Info();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.oemCodePage = codePage;
}

int ComInitDepth() {
  SystemInfoState& s = Info();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.comDepth;
}

void FailNextCoInitialize() {
  SystemInfoState& s = Info();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failNextCom = true;
}

void SetPhysicalMemory(uint64_t totalBytes, uint64_t availableBytes) {
  SystemInfoState& s = Info();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.memorySet = totalBytes != 0;
  s.totalPhys = totalBytes;
  s.availPhys = availableBytes;
}

void ResetSystemInfo() {
  SystemInfoState& s = Info();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.identitySet = false;
  s.oemCodePage = 932;
  s.comDepth = 0;
  s.failNextCom = false;
  s.memorySet = false;
}

}  // namespace test
}  // namespace plat

// System identity and resources: GetVersionExA (NT 5.1, with the host kernel's name and release as
// the service-pack text), GlobalMemoryStatus (from sysinfo, clamped to 32 bits), GetModuleHandleA,
// the code pages (932), and CoInitialize / CoUninitialize as a balanced counter. Tests may set the
// identity, the code page and a COM failure (kernel_test_controls.h).
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;  // set by the caller to sizeof(OSVERSIONINFOA)
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};

// FALSE (ERROR_INSUFFICIENT_BUFFER) when the size field is smaller than the record.
BOOL GetVersionExA(OSVERSIONINFOA* info);

// Byte counts, each at most 0xFFFFFFFF, as on a 32-bit system.
struct MEMORYSTATUS {
  DWORD dwLength;
  DWORD dwMemoryLoad;  // percent in use
  DWORD dwTotalPhys;
  DWORD dwAvailPhys;
  DWORD dwTotalPageFile;
  DWORD dwAvailPageFile;
  DWORD dwTotalVirtual;
  DWORD dwAvailVirtual;
};

void GlobalMemoryStatus(MEMORYSTATUS* status);

// The program's instance for null; other module names are not loaded (null, ERROR_MOD_NOT_FOUND).
HMODULE GetModuleHandleA(const char* moduleName);

UINT GetOEMCP();
UINT GetACP();

constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);

// S_OK on the first call, S_FALSE when already initialised; each success needs one CoUninitialize.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

}  // namespace plat

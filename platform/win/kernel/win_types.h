// Basic types and constants shared by every Windows-service stand-in: integer widths, handles,
// rectangles and points, and the result values the library compares against.
// Only what the library uses; values are the documented ones. No platform header is included.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using BOOL = int32_t;
using HRESULT = int32_t;
using MMRESULT = uint32_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using ATOM = uint16_t;
using COLORREF = uint32_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr UINT MAX_PATH = 260;

inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }

// Handles are opaque pointers to the stand-ins' own objects; each kind is a distinct type so that a
// window cannot be passed where a device context is expected.
struct KernelObject;  // events, threads, files: anything CloseHandle takes
struct WindowObject;
struct DcObject;
struct GdiObject;  // brushes, bitmaps, fonts, regions
struct MenuObject;
struct ModuleObject;
struct DropObject;
struct IconObject;

using HANDLE = KernelObject*;
using HWND = WindowObject*;
using HDC = DcObject*;
using HGDIOBJ = GdiObject*;
using HBRUSH = GdiObject*;
using HBITMAP = GdiObject*;
using HFONT = GdiObject*;
using HRGN = GdiObject*;
using HMENU = MenuObject*;
using HINSTANCE = ModuleObject*;
using HMODULE = ModuleObject*;
using HDROP = DropObject*;
using HICON = IconObject*;
using HCURSOR = IconObject*;
using HACCEL = void*;

// The invalid handle value of file and find calls.
inline HANDLE InvalidHandleValue() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct POINT {
  LONG x;
  LONG y;
};

struct SIZE {
  LONG cx;
  LONG cy;
};

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  int64_t QuadPart;
};

// 100-nanosecond intervals since 1601-01-01 UTC.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

inline WORD LOWORD(uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
inline WORD HIWORD(uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
inline LPARAM MAKELPARAM(int lo, int hi) {
  return static_cast<LPARAM>(static_cast<DWORD>((lo & 0xFFFF) | ((hi & 0xFFFF) << 16)));
}
inline COLORREF RGB(int r, int g, int b) {
  return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

}  // namespace plat

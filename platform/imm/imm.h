// IMM32 as recorded state: one input context for the process's windows holding the composition string
// with its cursor and clauses, the last result string, the candidate list and the open status. Tests
// set them through the test controls; with the SDL host, the system input method's editing text arrives
// as composition (converted to Shift-JIS) and is announced to the window with the IME messages.
// No IME windows, no conversion of our own.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

struct InputContextObject;
using HIMC = InputContextObject*;

// ImmGetCompositionStringA indices (also the WM_IME_COMPOSITION lParam flags).
constexpr DWORD GCS_COMPREADSTR = 0x0001;
constexpr DWORD GCS_COMPSTR = 0x0008;
constexpr DWORD GCS_COMPCLAUSE = 0x0020;
constexpr DWORD GCS_CURSORPOS = 0x0080;
constexpr DWORD GCS_RESULTSTR = 0x0800;
constexpr DWORD SCS_SETSTR = GCS_COMPREADSTR | GCS_COMPSTR;

constexpr DWORD NI_COMPOSITIONSTR = 0x0015;
constexpr DWORD CPS_COMPLETE = 0x0001;
constexpr DWORD CPS_CANCEL = 0x0004;

// WM_IME_NOTIFY wParam values.
constexpr WPARAM IMN_CLOSESTATUSWINDOW = 1;
constexpr WPARAM IMN_OPENSTATUSWINDOW = 2;
constexpr WPARAM IMN_CHANGECANDIDATE = 3;
constexpr WPARAM IMN_CLOSECANDIDATE = 4;
constexpr WPARAM IMN_OPENCANDIDATE = 5;
constexpr WPARAM IMN_SETCONVERSIONMODE = 6;
constexpr WPARAM IMN_SETSENTENCEMODE = 7;
constexpr WPARAM IMN_SETOPENSTATUS = 8;
constexpr WPARAM IMN_SETCANDIDATEPOS = 9;

constexpr LONG IMM_ERROR_NODATA = -1;
constexpr LONG IMM_ERROR_GENERAL = -2;

// Variable size: dwSize bytes, dwCount offsets, then the NUL-terminated candidate strings.
struct CANDIDATELIST {
  DWORD dwSize;
  DWORD dwStyle;
  DWORD dwCount;
  DWORD dwSelection;
  DWORD dwPageStart;
  DWORD dwPageSize;
  DWORD dwOffset[1];
};

// Null when the window is not a live window or no input method is available.
HIMC ImmGetContext(HWND window);
BOOL ImmReleaseContext(HWND window, HIMC context);
// GCS_COMPSTR / GCS_RESULTSTR / GCS_COMPCLAUSE: bytes copied (never more than `bytes`, no NUL added),
// or the bytes needed when `bytes` is 0. GCS_CURSORPOS: the cursor's byte position.
LONG ImmGetCompositionStringA(HIMC context, DWORD index, void* buffer, DWORD bytes);
// The list's size when `bytes` is 0; else the bytes copied, 0 when the list does not fit or there is none.
DWORD ImmGetCandidateListA(HIMC context, DWORD index, CANDIDATELIST* list, DWORD bytes);
BOOL ImmGetOpenStatus(HIMC context);
BOOL ImmSetOpenStatus(HIMC context, BOOL open);
// NI_COMPOSITIONSTR with CPS_CANCEL clears the composition; CPS_COMPLETE makes it the result.
BOOL ImmNotifyIME(HIMC context, DWORD action, DWORD index, DWORD value);
// SCS_SETSTR replaces the composition string (the reading is ignored); the cursor goes to its end.
BOOL ImmSetCompositionStringA(HIMC context, DWORD index, const void* composition, DWORD compositionBytes,
                              const void* reading, DWORD readingBytes);

}  // namespace plat

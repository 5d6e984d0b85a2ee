// Test controls of the display stand-ins (ChangeDisplaySettingsA and every DirectDraw call): failures
// of named calls, and the record of calls made (kept only for a test that asks). ResetDisplay clears
// both.
#pragma once

#include <string>
#include <vector>

#include "platform/win/kernel/win_types.h"

namespace plat::test {

void ResetDisplay();
// Forgets a program's display switch (the desktop's own mode is the host's again); ResetDisplay calls it.
void ResetDisplaySettings();

// The next `times` calls named `call` fail with `result` (times -1: until reset). Names are the call's
// own: "ChangeDisplaySettingsA", "CoCreateInstance", "Initialize", "SetCooperativeLevel",
// "SetDisplayMode", "CreateSurface", "CreateClipper", "CreatePalette", "Lock", "Blt", "BltFast",
// "Flip", "GetDC", "GetVerticalBlankStatus", "GetScanLine", "WaitForVerticalBlank", "Restore", ...
// Surface calls count on every surface. With `after`, that many calls of the name go through first.
void FailDisplayCall(const std::string& call, int times = 1, HRESULT result = static_cast<HRESULT>(0x80004005u),
                     int after = 0);
// For the stand-ins: true (and the result to give) when this call must fail.
bool TakeDisplayFault(const char* call, HRESULT* result);

// From now on (until ResetDisplay or `on` false) every display call is recorded. Off by default.
void RecordDisplayCalls(bool on);
// Every display call recorded since the reset, in order, with its flags argument (0 when it has none).
// Reading the record while it is not kept throws std::logic_error.
struct DisplayCall {
  std::string call;
  DWORD flags;
};
std::vector<DisplayCall> DisplayCalls();
int DisplayCallCount(const std::string& call);
// For the stand-ins: notes a call when a test keeps the record.
void RecordDisplayCall(const char* call, DWORD flags);

}  // namespace plat::test

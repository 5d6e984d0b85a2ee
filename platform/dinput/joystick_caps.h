// The multimedia joystick query, for the road without DirectInput: capabilities of joystick ids 0-15
// answered from the pads the host reports (the n-th attached pad is id n).
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

constexpr MMRESULT JOYERR_NOERROR = 0;
constexpr MMRESULT JOYERR_PARMS = 165;
constexpr MMRESULT JOYERR_UNPLUGGED = 167;

constexpr UINT JOYCAPS_HASZ = 0x0001;
constexpr UINT JOYCAPS_HASR = 0x0002;
constexpr UINT JOYCAPS_HASU = 0x0004;
constexpr UINT JOYCAPS_HASV = 0x0008;
constexpr UINT JOYCAPS_HASPOV = 0x0010;

struct JOYCAPSA {
  WORD wMid;
  WORD wPid;
  char szPname[32];
  UINT wXmin, wXmax;
  UINT wYmin, wYmax;
  UINT wZmin, wZmax;
  UINT wNumButtons;
  UINT wPeriodMin, wPeriodMax;
  UINT wRmin, wRmax;
  UINT wUmin, wUmax;
  UINT wVmin, wVmax;
  UINT wCaps;
  UINT wMaxAxes;
  UINT wNumAxes;
  UINT wMaxButtons;
  char szRegKey[32];
  char szOEMVxD[MAX_PATH];
};

// JOYERR_PARMS for a bad id or size, JOYERR_UNPLUGGED when no pad has that id.
MMRESULT joyGetDevCapsA(UINT_PTR id, JOYCAPSA* caps, UINT size);

}  // namespace plat

// joyGetDevCapsA over the DirectInput stand-in's pad list.
#include "platform/dinput/joystick_caps.h"

#include <cstring>

#include "platform/dinput/dinput_state.h"

namespace plat {

MMRESULT joyGetDevCapsA(UINT_PTR id, JOYCAPSA* caps, UINT size) {
  if (caps == nullptr || size != sizeof(JOYCAPSA) || id >= 16) return JOYERR_PARMS;
  dinput::DInputState& s = dinput::State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  dinput::ListenLocked(s);
  UINT_PTR seen = 0;
  for (const dinput::PadEntry& pad : s.pads) {
    if (!pad.attached || seen++ != id) continue;
    std::memset(caps, 0, sizeof *caps);
    std::strncpy(caps->szPname, pad.name.c_str(), sizeof caps->szPname - 1);
    caps->wXmax = caps->wYmax = 65535;
    caps->wNumButtons = caps->wMaxButtons = 32;
    caps->wPeriodMin = 10;
    caps->wPeriodMax = 1000;
    caps->wMaxAxes = 6;
    caps->wNumAxes = 2;
    caps->wCaps = JOYCAPS_HASPOV;
    if (pad.caps & host::kPadHasZ) {
      caps->wCaps |= JOYCAPS_HASZ;
      caps->wZmax = 65535;
      ++caps->wNumAxes;
    }
    if (pad.caps & host::kPadHasR) {
      caps->wCaps |= JOYCAPS_HASR;
      caps->wRmax = 65535;
      ++caps->wNumAxes;
    }
    return JOYERR_NOERROR;
  }
  return JOYERR_UNPLUGGED;
}

}  // namespace plat

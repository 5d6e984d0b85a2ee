// How the class table of CoCreateInstance makes a DirectDraw object (not for the library's use).
#pragma once

#include "platform/win/kernel/com.h"

namespace plat {

// A fresh, uninitialised DirectDraw object as the asked-for interface (IID_IDirectDraw7).
HRESULT CreateDirectDrawObject(REFIID iid, void** out);

}  // namespace plat

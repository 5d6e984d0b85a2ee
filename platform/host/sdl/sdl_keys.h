// SDL key positions to Windows virtual-key codes and set-1 scan codes (the codes key messages and
// keyboard devices carry). Positions, not layouts: the letter keys give 'A'..'Z' wherever they are.
#pragma once

#include <SDL.h>

#include "platform/win/kernel/win_types.h"

namespace plat::host {

struct KeyCodes {
  UINT virtualKey;  // 0 when the key has no code
  UINT scanCode;    // set-1 make code
  bool extended;    // an E0-prefixed key
};

KeyCodes KeyFromScancode(SDL_Scancode scancode);

}  // namespace plat::host

// Keyboard key codes of the DirectInput keyboard format (set-1 make codes, 0x80 added for E0-prefixed
// keys, a few Japanese-keyboard codes of their own) from what the host reports: a scan code with its
// extended flag (real keyboards), or a virtual key alone (the headless script and test controls).
// Two layouts: the Japanese 106/109-key keyboard (default) and the US 101/104-key keyboard. They differ
// in the punctuation keys and the Japanese keys; letters, digits, F-keys, arrows, modifiers and the
// keypad are the same.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat::dinput {

enum class KeyboardLayout { Japanese106, Us101 };

// The layout named by ORBEL_KEYBOARD_LAYOUT ("jp" or "us"; default jp).
KeyboardLayout LayoutFromEnvironment();

// The key code of a physical key, or 0 when the keyboard format has none.
BYTE KeyCodeFromScanCode(UINT scanCode, bool extended, KeyboardLayout layout);
// The key code of the key that produces the virtual key under the layout, or 0.
BYTE KeyCodeFromVirtualKey(UINT virtualKey, KeyboardLayout layout);

}  // namespace plat::dinput

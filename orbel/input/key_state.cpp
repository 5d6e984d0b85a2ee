// The 256 key states by keyboard key code: refreshed at most once per millisecond tick (or when the
// keyboard signals a change) from the DirectInput keyboard, with the Win32 key state laid over the keys
// both know when on the main thread; or, without DirectInput, from the Win32 key state alone through
// the virtual-key table.
// Depends on: the input start-up (input_system.cpp), the message pump, platform/dinput, the Win32 keys.
#include <cstring>

#include "orbel/core/library_state.h"
#include "orbel/core/main_window.h"
#include "orbel/core/message_pump.h"
#include "orbel/input/input_state.h"
#include "orbel/input/input_system.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/sync.h"
#include "platform/win/user/user_keys.h"

namespace orbel {

namespace {

struct VirtualKeyRow {
  uint16_t virtualKey;
  uint16_t keyCode;
};

constexpr uint16_t kFirstPartEnd = 0xFFFE;
constexpr uint16_t kTableEnd = 0xFFFF;

// Rows up to the 0xFFFE row are also laid over the DirectInput state; the rest only the Win32 road
// reads. Arrows and the keypad have no rows: on the Win32 road they stay up.
constexpr VirtualKeyRow VirtualKeyToKeyCodeTable[] = {
    // A to Z
    {0x41, 0x1E}, {0x42, 0x30}, {0x43, 0x2E}, {0x44, 0x20}, {0x45, 0x12}, {0x46, 0x21}, {0x47, 0x22},
    {0x48, 0x23}, {0x49, 0x17}, {0x4A, 0x24}, {0x4B, 0x25}, {0x4C, 0x26}, {0x4D, 0x32}, {0x4E, 0x31},
    {0x4F, 0x18}, {0x50, 0x19}, {0x51, 0x10}, {0x52, 0x13}, {0x53, 0x1F}, {0x54, 0x14}, {0x55, 0x16},
    {0x56, 0x2F}, {0x57, 0x11}, {0x58, 0x2D}, {0x59, 0x15}, {0x5A, 0x2C},
    // 0 to 9
    {0x30, 0x0B}, {0x31, 0x02}, {0x32, 0x03}, {0x33, 0x04}, {0x34, 0x05}, {0x35, 0x06}, {0x36, 0x07},
    {0x37, 0x08}, {0x38, 0x09}, {0x39, 0x0A},
    // Punctuation as a Japanese keyboard names it, editing keys
    {0xBB, 0x27}, {0xBA, 0x92}, {0xDB, 0x1A}, {0xDD, 0x1B}, {0xC0, 0x91}, {0xE2, 0x2B}, {0xBC, 0x33},
    {0xBD, 0x0C}, {0xDC, 0x7D}, {0xBE, 0x34}, {0xBF, 0x35}, {0x2E, 0xD3}, {0x1B, 0x01}, {0x20, 0x39},
    {0x08, 0x0E}, {0x09, 0x0F}, {0x0D, 0x1C},
    {kFirstPartEnd, 0},
    // Win32 road only
    {0x0D, 0x9C}, {0xA0, 0x2A}, {0xA1, 0x36}, {0xA2, 0x1D}, {0xA3, 0x9D}, {0x21, 0xC9}, {0x22, 0xD1},
    {0x23, 0xCF}, {0x24, 0xC7}, {0x2D, 0xD2}, {0xA4, 0x38}, {0xA5, 0xB8}, {0x91, 0x46}, {0x14, 0x3A},
    {0x13, 0xC5}, {0x70, 0x3B}, {0x71, 0x3C}, {0x72, 0x3D}, {0x73, 0x3E}, {0x74, 0x3F}, {0x75, 0x40},
    {0x76, 0x41}, {0x77, 0x42}, {0x78, 0x43}, {0x79, 0x44}, {0x7A, 0x57}, {0x7B, 0x58},
    {kTableEnd, kTableEnd},
};

bool KeyboardEventSignalled() {
  return InputSystem.keyboardEvent != nullptr &&
         plat::WaitForSingleObject(InputSystem.keyboardEvent, 0) == plat::WAIT_OBJECT_0;
}

int UpdateFromDirectInput() {
  const uint32_t now = plat::timeGetTime();
  if (now == InputSystem.lastUpdateTick && !KeyboardEventSignalled()) return 0;
  if (PumpWindowMessage() != 0) return 0;
  // The pump may have ended the input system (a display change): nothing to read then.
  if (InputSystem.directInput == nullptr || InputSystem.keyboard == nullptr) return 0;

  plat::IDirectInputDevice7A* keyboard = InputSystem.keyboard;
  if (plat::FAILED(keyboard->GetDeviceState(256, InputSystem.KeyStateArray))) {
    if (plat::FAILED(keyboard->Acquire())) return 0;
    if (plat::FAILED(keyboard->GetDeviceState(256, InputSystem.KeyStateArray))) return 0;
  }
  InputSystem.lastUpdateTick = now;
  if (KeyboardEventSignalled()) plat::ResetEvent(InputSystem.keyboardEvent);

  // The Win32 key state is the calling thread's: only the main thread's is the window's.
  if (plat::GetCurrentThreadId() == MainThreadId) {
    uint8_t virtualKeys[256];
    plat::GetKeyboardState(virtualKeys);
    for (const VirtualKeyRow& row : VirtualKeyToKeyCodeTable) {
      if (row.virtualKey == kFirstPartEnd) break;
      InputSystem.KeyStateArray[row.keyCode] = virtualKeys[row.virtualKey];
    }
  }
  return 1;
}

int UpdateFromWin32() {
  const uint32_t now = plat::timeGetTime();
  if (now == InputSystem.lastUpdateTick) return 0;
  InputSystem.lastUpdateTick = now;
  if (PumpWindowMessage() != 0) return 0;

  uint8_t virtualKeys[256];
  plat::GetKeyboardState(virtualKeys);
  std::memset(InputSystem.KeyStateArray, 0, sizeof InputSystem.KeyStateArray);
  for (const VirtualKeyRow& row : VirtualKeyToKeyCodeTable) {
    if (row.virtualKey == kTableEnd) break;
    if (row.virtualKey == kFirstPartEnd) continue;
    InputSystem.KeyStateArray[row.keyCode] = virtualKeys[row.virtualKey];
  }
  return 1;
}

}  // namespace

int UpdateKeyboardState() {
  if (InputSystem.win32Keyboard != 1 && InputSystem.keyboard != nullptr) return UpdateFromDirectInput();
  return UpdateFromWin32();
}

int CopyAllKeyStates(uint8_t* states) {
  WaitWhileInactive();
  if (InputSystem.directInput == nullptr && GetWindowCloseFlag() == 0) return InitInputSystem();
  UpdateKeyboardState();
  if (states == nullptr) return 0;
  for (int i = 0; i < 256; ++i) states[i] = static_cast<uint8_t>(InputSystem.KeyStateArray[i] >> 7);
  return 0;
}

}  // namespace orbel

// The input devices' state block and the operations the input files share. Internal to orbel/input.
#pragma once

#include <cstdint>

#include "platform/dinput/dinput.h"
#include "platform/win/kernel/win_types.h"

namespace orbel {

constexpr int kJoypadMax = 8;
constexpr int kPadInputCount = 32;

struct JoypadRecord {
  plat::IDirectInputDevice7A* device;  // null = free
  plat::IDirectInputEffect* constantEffect;
  plat::IDirectInputEffect* sineEffect;
  plat::HANDLE event;                  // change notice of the device
  plat::DIJOYSTATE lastState;
  int joystickCapsFlag;                // without DirectInput: 1 when the pad has Z and R axes
  int vibrationOn;
  int vibrationPower;                  // 10000 full; above 5000 the sine plays too
  int vibrationDuration;               // ms; negative: until stopped
  int vibrationElapsed;                // ms
  uint32_t vibrationLastTime;          // timeGetTime of the countdown
  int constantPlaying;
  int sinePlaying;
  char instanceName[plat::MAX_PATH];
  char productName[plat::MAX_PATH];
  double deadZone;                     // fraction of the axis
};

struct PadInputKeys {
  int key[2];  // key codes, -1 = none
  int unused[2];
};

struct InputSystemState {
  int win32Keyboard;           // 1: keys come from the Win32 key state; survives restarts
  int directInput8;            // 1: directInput is an IDirectInput8A
  plat::DirectInputObject* directInput;  // null: not started; kNoDirectInput: started without it
  plat::IDirectInputDevice7A* mouse;
  plat::IDirectInputDevice7A* keyboard;
  plat::HANDLE keyboardEvent;
  uint32_t lastUpdateTick;     // timeGetTime of the last refresh
  uint8_t KeyStateArray[256];  // bit 7 = down
  PadInputKeys KeyToPadButtonTable[kJoypadMax][kPadInputCount];
  int padCount;
  JoypadRecord pads[kJoypadMax];
  int hookKeyFlag;
  int hookKeyFlag2;
};

extern InputSystemState InputSystem;

// The object value of a system started without DirectInput: all bits set.
inline plat::DirectInputObject* NoDirectInputMark() {
  return reinterpret_cast<plat::DirectInputObject*>(~uintptr_t{0});
}
inline bool IsDirectInputInUse() {
  return InputSystem.directInput != nullptr && InputSystem.directInput != NoDirectInputMark();
}

// Clears the whole block, the Win32-keyboard flag too (tests: a fresh process).
void ResetInputStateForTest();

// Key states (key_state.cpp).
int UpdateKeyboardState();

// Pads (joypad.cpp).
int InitJoypads();
int ReleaseAllJoypads();
int StopPadVibration(int input);
void WriteDefaultPadKeys();

}  // namespace orbel

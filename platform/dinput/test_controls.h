// Test controls of the DirectInput stand-in: creation and Initialize failures per version, one-shot or
// lasting failures of device calls, a lost keyboard, pads added and removed at once (headless), the
// keyboard layout, and snapshots of the live devices and effects.
#pragma once

#include <string>
#include <vector>

#include "platform/dinput/dinput.h"

namespace plat::test {

enum class DiDeviceKind { Keyboard, Mouse, Pad };
enum class DiCall {
  CreateDevice,
  SetDataFormat,
  SetCooperativeLevel,
  SetProperty,
  SetEventNotification,
  Acquire,
  GetDeviceState,
  CreateEffect,
};

// CoCreateInstance of DirectInput `version` (7 or 8) fails with `result`; S_OK restores.
void FailDirectInputCreate(int version, HRESULT result);
// Initialize of a DirectInput `version` object fails.
void FailDirectInputInitialize(int version, bool fail = true);
// The next `times` calls (-1: every call) of that kind fail with `result`. For SetProperty, `property`
// (0 any) and `offset` (-1 any) narrow the calls that fail.
void FailDirectInputCall(DiDeviceKind kind, DiCall call, int times = 1, HRESULT result = DIERR_GENERIC,
                         int property = 0, int offset = -1);
// Takes the keyboard away from every device that holds it: the next read reports the loss.
void LoseKeyboard();
void SetKeyboardLayoutUs(bool us);

// Pads as the host reports them, at once. Returns the host id the pad was given.
struct PadSpec {
  std::string name = "Orbel Test Pad";  // Shift-JIS
  std::string identity;                 // empty: the name
  bool hasZ = true;
  bool hasR = true;
  bool rumble = true;
};
int AddPad(const PadSpec& spec);
void RemovePad(int hostId);
void SetPadButton(int hostId, int button, bool down);
void SetPadAxis(int hostId, int axis, int value);
// The rumble the host was last asked for: low and high motor strengths (0..65535).
struct PadRumble {
  int low;
  int high;
};
PadRumble GetPadRumble(int hostId);

struct DiDeviceSnapshot {
  DiDeviceKind kind;
  std::string padName;
  DWORD dataSize;          // 0 before SetDataFormat
  DWORD cooperativeLevel;
  bool acquired;
  bool hasEvent;
  DWORD bufferSize;
  LONG rangeMin[6];
  LONG rangeMax[6];
  DWORD deadZone[6];
};
struct DiEffectSnapshot {
  std::string padName;  // empty once its device is released
  bool constantForce;
  bool playing;
  int starts;
  int stops;
  DIEFFECT parameters;  // pointers cleared
  DIENVELOPE envelope;
  bool hasEnvelope;
  LONG magnitude;
  DIPERIODIC periodic;
};
std::vector<DiDeviceSnapshot> DirectInputDevices();
std::vector<DiEffectSnapshot> DirectInputEffects();
int LiveDirectInputObjects();

// Releases nothing the library holds; clears faults, pads, keys and the layout.
void ResetDirectInput();

}  // namespace plat::test

// The DirectInput stand-in's one state record: the keyboard's key bytes, the mouse buttons and
// position, the pads the host has
// reported (kept after unplugging, so a pad that comes back is the same device), the live objects,
// devices and effects, and the faults tests asked for. Internal to platform/dinput.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/dinput/dinput.h"
#include "platform/dinput/key_codes.h"
#include "platform/host/host.h"

namespace plat::dinput {

enum class DeviceKind { Keyboard, Mouse, Pad };

// A device call a test can make fail.
enum class Call {
  CreateDevice,
  SetDataFormat,
  SetCooperativeLevel,
  SetProperty,
  SetEventNotification,
  Acquire,
  GetDeviceState,
  CreateEffect,
};

struct Fault {
  DeviceKind kind;
  Call call;
  int property;     // SetProperty only: the property id, 0 for any
  int offset;       // SetProperty only: the object offset, -1 for any
  int remaining;    // failures left; -1 fails every time
  HRESULT result;
};

struct PadEntry {
  int hostId = -1;        // the host's id while attached
  bool attached = false;
  std::string identity;   // what recognises the pad when it comes back
  std::string name;       // Shift-JIS
  GUID instance{};
  UINT caps = 0;          // host::kPad* bits
  DIJOYSTATE state{};     // raw host values: axes -32768..32767
  uint16_t rumbleLow = 0;
  uint16_t rumbleHigh = 0;
};

struct EffectImpl {
  IDirectInputEffect face{};
  DeviceImpl* device = nullptr;  // null once the device is released
  bool constantForce = false;
  DIEFFECT parameters{};
  DIENVELOPE envelope{};
  bool hasEnvelope = false;
  LONG magnitude = 0;      // constant force
  DIPERIODIC periodic{};   // sine
  bool playing = false;
  int starts = 0;
  int stops = 0;
};

constexpr int kAxisCount = 6;  // X, Y, Z, Rx, Ry, Rz

struct DeviceImpl {
  IDirectInputDevice7A face{};
  DeviceKind kind = DeviceKind::Keyboard;
  int pad = -1;  // index into the pad list
  ULONG references = 1;
  DWORD formatSize = 0;  // 0 until SetDataFormat
  HWND window = nullptr;
  DWORD cooperativeLevel = 0;
  HANDLE event = nullptr;
  bool acquired = false;
  bool lost = false;  // taken away while acquired: the next read reports it
  DWORD bufferSize = 0;
  LONG rangeMin[kAxisCount] = {-32768, -32768, -32768, -32768, -32768, -32768};
  LONG rangeMax[kAxisCount] = {32767, 32767, 32767, 32767, 32767, 32767};
  DWORD deadZone[kAxisCount] = {};  // 0..10000
  LONG mouseMotion[3] = {};         // x, y, wheel moved since the last read (mouse only)
  std::vector<EffectImpl*> effects;
};

struct DirectInputImpl {
  DirectInputObject* face = nullptr;
  int version = 0x700;  // 0x700: IDirectInput7A, 0x800: IDirectInput8A
  bool initialized = false;
  ULONG references = 1;
};

struct DInputState {
  std::recursive_mutex mutex;
  bool listening = false;
  KeyboardLayout layout = LayoutFromEnvironment();
  BYTE keys[256] = {};
  BYTE mouseButtons[8] = {};
  bool mouseSeen = false;  // a first position has been reported
  int mouseX = 0;          // last position reported (client pixels)
  int mouseY = 0;
  std::vector<PadEntry> pads;
  std::vector<DirectInputImpl*> objects;
  std::vector<DeviceImpl*> devices;
  std::vector<EffectImpl*> effects;
  // Faults.
  HRESULT createFailure[2] = {S_OK, S_OK};  // [0] DirectInput 7, [1] DirectInput 8
  bool initializeFails[2] = {false, false};
  std::vector<Fault> faults;
};

DInputState& State();
// Starts following the host's events (once).
void ListenLocked(DInputState& s);
// The fault that answers this call, consumed; S_OK when none.
HRESULT TakeFaultLocked(DInputState& s, DeviceKind kind, Call call, int property = 0, int offset = -1);
// Tells the devices that follow the keyboard or a pad that its state changed.
void NotifyLocked(DInputState& s, DeviceKind kind, int pad);
// Adds or re-attaches a pad; returns its index.
int AttachPadLocked(DInputState& s, int hostId, const std::string& identity, const std::string& name, UINT caps);
void DetachPadLocked(DInputState& s, int hostId);
// Recomputes a pad's rumble from its playing effects and tells the host.
void UpdateRumbleLocked(DInputState& s, int pad);
bool IsLiveDevice(const DInputState& s, const DeviceImpl* device);
// The instance id of the pad at that index of the pad list (dinput_object.cpp).
GUID InstanceGuidForPad(int index);

}  // namespace plat::dinput

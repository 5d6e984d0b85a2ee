// DirectInput 7 and 8 as the library uses them: the object (Initialize, device creation, pad
// enumeration), devices for the system keyboard, the system mouse and each pad (data format,
// cooperative level, properties, event notification, acquisition, state, identity, effects), and
// force-feedback effects (constant force and sine; start, stop, release).
// The keyboard and mouse follow the host's key and mouse events; pads come from the host (SDL game
// controllers and joysticks, hot-plugged too) or, headless, from the input script and the test
// controls. Effects drive the host's rumble. No buffered data, no action mapping.
#pragma once

#include "platform/win/kernel/com.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

// ---- Results ---------------------------------------------------------------------------------------
constexpr HRESULT DI_OK = 0;
constexpr HRESULT DI_NOEFFECT = 1;
constexpr HRESULT DI_POLLEDDEVICE = 2;
constexpr HRESULT DIERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DIERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT DIERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DIERR_NOTINITIALIZED = static_cast<HRESULT>(0x80070015u);
constexpr HRESULT DIERR_ALREADYINITIALIZED = static_cast<HRESULT>(0x800704DFu);
constexpr HRESULT DIERR_OTHERAPPHASPRIO = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT DIERR_NOTACQUIRED = static_cast<HRESULT>(0x8007000Cu);
constexpr HRESULT DIERR_INPUTLOST = static_cast<HRESULT>(0x8007001Eu);
constexpr HRESULT DIERR_ACQUIRED = static_cast<HRESULT>(0x800700AAu);
constexpr HRESULT DIERR_DEVICENOTREG = static_cast<HRESULT>(0x80040154u);

// ---- Identifiers -----------------------------------------------------------------------------------
extern const GUID CLSID_DirectInput;
extern const GUID CLSID_DirectInput8;
extern const GUID IID_IDirectInput7A;
extern const GUID IID_IDirectInput8A;
extern const GUID IID_IDirectInputDevice7A;
extern const GUID GUID_SysMouse;
extern const GUID GUID_SysKeyboard;
extern const GUID GUID_ConstantForce;
extern const GUID GUID_Sine;

// ---- Constants -------------------------------------------------------------------------------------
constexpr DWORD DISCL_EXCLUSIVE = 0x01;
constexpr DWORD DISCL_NONEXCLUSIVE = 0x02;
constexpr DWORD DISCL_FOREGROUND = 0x04;
constexpr DWORD DISCL_BACKGROUND = 0x08;

constexpr DWORD DIDEVTYPE_JOYSTICK = 4;     // DirectInput 7
constexpr DWORD DI8DEVCLASS_GAMECTRL = 4;   // DirectInput 8
constexpr DWORD DIEDFL_ATTACHEDONLY = 0x01;
constexpr BOOL DIENUM_STOP = 0;
constexpr BOOL DIENUM_CONTINUE = 1;

// Property ids (small integers in place of the original's GUID pointers).
constexpr int DIPROP_BUFFERSIZE = 1;
constexpr int DIPROP_RANGE = 4;
constexpr int DIPROP_DEADZONE = 5;
constexpr DWORD DIPH_DEVICE = 0;
constexpr DWORD DIPH_BYOFFSET = 1;

// Byte offsets of DIJOYSTATE fields.
constexpr DWORD DIJOFS_X = 0;
constexpr DWORD DIJOFS_Y = 4;
constexpr DWORD DIJOFS_Z = 8;
constexpr DWORD DIJOFS_RX = 12;
constexpr DWORD DIJOFS_RY = 16;
constexpr DWORD DIJOFS_RZ = 20;

constexpr DWORD DIEFF_OBJECTOFFSETS = 0x02;
constexpr DWORD DIEFF_CARTESIAN = 0x10;
constexpr DWORD DIEFF_POLAR = 0x20;
constexpr DWORD DIEB_NOTRIGGER = 0xFFFFFFFFu;
constexpr LONG DI_FFNOMINALMAX = 10000;

// ---- Records ---------------------------------------------------------------------------------------
// Only the size of the state each format fills is looked at.
struct DIDATAFORMAT {
  DWORD dwSize;
  DWORD dwObjSize;
  DWORD dwFlags;
  DWORD dwDataSize;  // bytes GetDeviceState fills
  DWORD dwNumObjs;
  const void* rgodf;
};
extern const DIDATAFORMAT c_dfDIMouse2;    // DIMOUSESTATE2, 20 bytes: lX, lY, lZ moved, 8 buttons
extern const DIDATAFORMAT c_dfDIKeyboard;  // 256 key bytes, bit 7 = down
extern const DIDATAFORMAT c_dfDIJoystick;  // DIJOYSTATE, 80 bytes

struct DIJOYSTATE {
  LONG lX, lY, lZ;
  LONG lRx, lRy, lRz;
  LONG rglSlider[2];
  DWORD rgdwPOV[4];  // hundredths of a degree, 0xFFFFFFFF centred
  BYTE rgbButtons[32];
};

struct DIPROPHEADER {
  DWORD dwSize;
  DWORD dwHeaderSize;
  DWORD dwObj;  // DIPH_BYOFFSET: a DIJOFS_ offset
  DWORD dwHow;
};
struct DIPROPDWORD {
  DIPROPHEADER diph;
  DWORD dwData;
};
struct DIPROPRANGE {
  DIPROPHEADER diph;
  LONG lMin;
  LONG lMax;
};

struct DIDEVICEINSTANCEA {
  DWORD dwSize;  // set by the caller to sizeof(DIDEVICEINSTANCEA)
  GUID guidInstance;
  GUID guidProduct;
  DWORD dwDevType;
  char tszInstanceName[MAX_PATH];
  char tszProductName[MAX_PATH];
  GUID guidFFDriver;
  WORD wUsagePage;
  WORD wUsage;
};

struct DIENVELOPE {
  DWORD dwSize;
  DWORD dwAttackLevel;
  DWORD dwAttackTime;  // microseconds
  DWORD dwFadeLevel;
  DWORD dwFadeTime;    // microseconds
};
struct DICONSTANTFORCE {
  LONG lMagnitude;
};
struct DIPERIODIC {
  DWORD dwMagnitude;
  LONG lOffset;
  DWORD dwPhase;
  DWORD dwPeriod;  // microseconds
};
struct DIEFFECT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwDuration;  // microseconds, INFINITE
  DWORD dwSamplePeriod;
  DWORD dwGain;
  DWORD dwTriggerButton;
  DWORD dwTriggerRepeatInterval;
  DWORD cAxes;
  DWORD* rgdwAxes;
  LONG* rglDirection;
  DIENVELOPE* lpEnvelope;
  DWORD cbTypeSpecificParams;
  void* lpvTypeSpecificParams;
  DWORD dwStartDelay;
};

// ---- Objects ---------------------------------------------------------------------------------------
namespace dinput {
struct DeviceImpl;
struct EffectImpl;
struct DirectInputImpl;
}  // namespace dinput

class IDirectInputEffect {
 public:
  // `iterations` other than 1 is refused.
  HRESULT Start(DWORD iterations, DWORD flags);
  HRESULT Stop();
  ULONG Release();
  dinput::EffectImpl* impl;
};

// One device class answers both versions' device interfaces.
class IDirectInputDevice7A {
 public:
  HRESULT SetDataFormat(const DIDATAFORMAT* format);
  HRESULT SetCooperativeLevel(HWND window, DWORD flags);
  HRESULT SetProperty(int property, const DIPROPHEADER* header);
  // Null stops the notices. The event is set whenever the device's state changes.
  HRESULT SetEventNotification(HANDLE event);
  HRESULT Acquire();
  HRESULT Unacquire();
  // `size` must equal the data format's size.
  HRESULT GetDeviceState(DWORD size, void* data);
  HRESULT GetDeviceInfo(DIDEVICEINSTANCEA* info);
  HRESULT CreateEffect(const GUID& effect, const DIEFFECT* parameters, IDirectInputEffect** out, void* outer);
  ULONG Release();
  dinput::DeviceImpl* impl;
};
using IDirectInputDevice8A = IDirectInputDevice7A;

using LPDIENUMDEVICESCALLBACKA = BOOL (*)(const DIDEVICEINSTANCEA* instance, void* context);

// What both versions' objects share.
class DirectInputObject {
 public:
  HRESULT Initialize(HINSTANCE instance, DWORD version);
  // Only the joystick type / game-controller class (4) lists anything: the attached pads.
  HRESULT EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, void* context, DWORD flags);
  ULONG Release();
  dinput::DirectInputImpl* impl;

 protected:
  HRESULT MakeDevice(const GUID& instance, IDirectInputDevice7A** out, void* outer);
};

class IDirectInput7A : public DirectInputObject {
 public:
  HRESULT CreateDeviceEx(const GUID& instance, const GUID& interfaceId, void** out, void* outer);
};

class IDirectInput8A : public DirectInputObject {
 public:
  HRESULT CreateDevice(const GUID& instance, IDirectInputDevice8A** out, void* outer);
};

}  // namespace plat

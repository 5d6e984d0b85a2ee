// DirectInput devices and effects: format, cooperative level, properties, event notice, acquisition,
// state reads (keyboard bytes, pad state scaled to the set ranges and dead zones), identity, and the
// force-feedback effects that drive the pad's rumble.
#include <algorithm>
#include <cstring>

#include "platform/dinput/dinput_state.h"
#include "platform/win/kernel/sync.h"

namespace plat {

namespace {

using dinput::Call;
using dinput::DeviceImpl;
using dinput::DeviceKind;
using dinput::DInputState;
using dinput::EffectImpl;
using Lock = std::lock_guard<std::recursive_mutex>;

DeviceImpl* Live(IDirectInputDevice7A* face) {
  const DInputState& s = dinput::State();
  return dinput::IsLiveDevice(s, face->impl) ? face->impl : nullptr;
}

bool IsAxisOffset(DWORD offset) { return offset % 4 == 0 && offset / 4 < dinput::kAxisCount; }

// A raw axis value (-32768..32767) in the device's range, with its dead zone around the centre.
LONG ScaleAxis(LONG raw, LONG low, LONG high, DWORD deadZone) {
  double unit = raw < 0 ? raw / 32768.0 : raw / 32767.0;  // -1..1
  const double zone = deadZone / 10000.0;
  const double magnitude = unit < 0 ? -unit : unit;
  if (magnitude <= zone) {
    unit = 0;
  } else if (zone < 1.0) {
    unit = (unit < 0 ? -1 : 1) * (magnitude - zone) / (1.0 - zone);
  }
  const double centre = (static_cast<double>(low) + high) / 2.0;
  const double half = (static_cast<double>(high) - low) / 2.0;
  double value = centre + unit * half;
  value = value < low ? low : value > high ? high : value;
  return static_cast<LONG>(value < 0 ? value - 0.5 : value + 0.5);
}

void ReleasedPadState(DIJOYSTATE* out, const DeviceImpl& d) {
  std::memset(out, 0, sizeof *out);
  LONG* axes = &out->lX;
  for (int a = 0; a < dinput::kAxisCount; ++a) axes[a] = ScaleAxis(0, d.rangeMin[a], d.rangeMax[a], d.deadZone[a]);
  for (DWORD& pov : out->rgdwPOV) pov = 0xFFFFFFFFu;
}

}  // namespace

HRESULT IDirectInputDevice7A::SetDataFormat(const DIDATAFORMAT* format) {
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  DeviceImpl* d = Live(this);
  if (d == nullptr || format == nullptr) return DIERR_INVALIDPARAM;
  if (d->acquired) return DIERR_ACQUIRED;
  if (const HRESULT fault = dinput::TakeFaultLocked(s, d->kind, Call::SetDataFormat); fault != S_OK) return fault;
  const DWORD expected = d->kind == DeviceKind::Keyboard ? c_dfDIKeyboard.dwDataSize
                         : d->kind == DeviceKind::Mouse  ? c_dfDIMouse2.dwDataSize
                                                         : c_dfDIJoystick.dwDataSize;
  if (format->dwDataSize != expected) return DIERR_INVALIDPARAM;
  d->formatSize = format->dwDataSize;
  return DI_OK;
}

HRESULT IDirectInputDevice7A::SetCooperativeLevel(HWND window, DWORD flags) {
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  DeviceImpl* d = Live(this);
  if (d == nullptr) return DIERR_INVALIDPARAM;
  const bool exclusive = flags & DISCL_EXCLUSIVE;
  const bool foreground = flags & DISCL_FOREGROUND;
  // Exactly one of each pair.
  if (exclusive == ((flags & DISCL_NONEXCLUSIVE) != 0) || foreground == ((flags & DISCL_BACKGROUND) != 0))
    return DIERR_INVALIDPARAM;
  if (const HRESULT fault = dinput::TakeFaultLocked(s, d->kind, Call::SetCooperativeLevel); fault != S_OK)
    return fault;
  d->window = window;
  d->cooperativeLevel = flags;
  return DI_OK;
}

HRESULT IDirectInputDevice7A::SetProperty(int property, const DIPROPHEADER* header) {
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  DeviceImpl* d = Live(this);
  if (d == nullptr || header == nullptr || header->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
  const int offset = header->dwHow == DIPH_BYOFFSET ? static_cast<int>(header->dwObj) : -1;
  if (const HRESULT fault = dinput::TakeFaultLocked(s, d->kind, Call::SetProperty, property, offset); fault != S_OK)
    return fault;
  switch (property) {
    case DIPROP_BUFFERSIZE: {
      if (header->dwSize != sizeof(DIPROPDWORD) || header->dwHow != DIPH_DEVICE) return DIERR_INVALIDPARAM;
      if (d->acquired) return DIERR_ACQUIRED;
      d->bufferSize = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
      return DI_OK;
    }
    case DIPROP_RANGE:
    case DIPROP_DEADZONE: {
      if (d->kind != DeviceKind::Pad) return DIERR_UNSUPPORTED;
      if (header->dwHow != DIPH_BYOFFSET || !IsAxisOffset(header->dwObj)) return DIERR_INVALIDPARAM;
      const int axis = static_cast<int>(header->dwObj / 4);
      // Z and the rotation axes exist only on pads that report them.
      const UINT caps = s.pads[d->pad].caps;
      if ((axis == 2 && !(caps & host::kPadHasZ)) || (axis >= 3 && !(caps & host::kPadHasR))) return DIERR_UNSUPPORTED;
      if (property == DIPROP_RANGE) {
        if (header->dwSize != sizeof(DIPROPRANGE)) return DIERR_INVALIDPARAM;
        const auto* range = reinterpret_cast<const DIPROPRANGE*>(header);
        if (range->lMin >= range->lMax) return DIERR_INVALIDPARAM;
        d->rangeMin[axis] = range->lMin;
        d->rangeMax[axis] = range->lMax;
      } else {
        if (header->dwSize != sizeof(DIPROPDWORD)) return DIERR_INVALIDPARAM;
        const DWORD zone = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
        if (zone > 10000) return DIERR_INVALIDPARAM;
        d->deadZone[axis] = zone;
      }
      return DI_OK;
    }
    default:
      return DIERR_UNSUPPORTED;
  }
}

HRESULT IDirectInputDevice7A::SetEventNotification(HANDLE event) {
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  DeviceImpl* d = Live(this);
  if (d == nullptr) return DIERR_INVALIDPARAM;
  if (d->acquired) return DIERR_ACQUIRED;
  if (const HRESULT fault = dinput::TakeFaultLocked(s, d->kind, Call::SetEventNotification); fault != S_OK)
    return fault;
  if (event != nullptr && !IsLiveKernelObject(event)) return DIERR_INVALIDPARAM;
  d->event = event;
  return DI_OK;
}

HRESULT IDirectInputDevice7A::Acquire() {
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  DeviceImpl* d = Live(this);
  if (d == nullptr) return DIERR_INVALIDPARAM;
  if (d->formatSize == 0) return DIERR_INVALIDPARAM;
  if (d->acquired) return S_FALSE;
  if (const HRESULT fault = dinput::TakeFaultLocked(s, d->kind, Call::Acquire); fault != S_OK) return fault;
  if (d->kind == DeviceKind::Pad && !s.pads[d->pad].attached) return DIERR_INPUTLOST;
  d->acquired = true;
  d->lost = false;
  std::memset(d->mouseMotion, 0, sizeof d->mouseMotion);  // motion counts from the acquisition
  return DI_OK;
}

HRESULT IDirectInputDevice7A::Unacquire() {
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  DeviceImpl* d = Live(this);
  if (d == nullptr) return DIERR_INVALIDPARAM;
  if (!d->acquired) return DI_NOEFFECT;
  d->acquired = false;
  d->lost = false;
  return DI_OK;
}

HRESULT IDirectInputDevice7A::GetDeviceState(DWORD size, void* data) {
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  DeviceImpl* d = Live(this);
  if (d == nullptr || data == nullptr || d->formatSize == 0 || size != d->formatSize) return DIERR_INVALIDPARAM;
  if (d->kind == DeviceKind::Pad && !s.pads[d->pad].attached) {
    // A pad pulled out reads as released, never as what it last reported.
    ReleasedPadState(static_cast<DIJOYSTATE*>(data), *d);
    d->acquired = false;
    return DIERR_INPUTLOST;
  }
  if (d->lost) return DIERR_INPUTLOST;
  if (!d->acquired) return DIERR_NOTACQUIRED;
  if (const HRESULT fault = dinput::TakeFaultLocked(s, d->kind, Call::GetDeviceState); fault != S_OK) {
    if (fault == DIERR_INPUTLOST) d->acquired = false;
    return fault;
  }
  switch (d->kind) {
    case DeviceKind::Keyboard: std::memcpy(data, s.keys, 256); break;
    case DeviceKind::Mouse: {
      // DIMOUSESTATE2: three LONG movements, then eight button bytes.
      auto* bytes = static_cast<BYTE*>(data);
      std::memcpy(bytes, d->mouseMotion, sizeof d->mouseMotion);
      std::memcpy(bytes + sizeof d->mouseMotion, s.mouseButtons, sizeof s.mouseButtons);
      std::memset(d->mouseMotion, 0, sizeof d->mouseMotion);
      break;
    }
    case DeviceKind::Pad: {
      const DIJOYSTATE& raw = s.pads[d->pad].state;
      DIJOYSTATE out = raw;
      const LONG* in = &raw.lX;
      LONG* axes = &out.lX;
      for (int a = 0; a < dinput::kAxisCount; ++a) axes[a] = ScaleAxis(in[a], d->rangeMin[a], d->rangeMax[a], d->deadZone[a]);
      std::memcpy(data, &out, sizeof out);
      break;
    }
  }
  return DI_OK;
}

HRESULT IDirectInputDevice7A::GetDeviceInfo(DIDEVICEINSTANCEA* info) {
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  DeviceImpl* d = Live(this);
  if (d == nullptr || info == nullptr || info->dwSize != sizeof(DIDEVICEINSTANCEA)) return DIERR_INVALIDPARAM;
  const DWORD size = info->dwSize;
  std::memset(info, 0, sizeof *info);
  info->dwSize = size;
  const char* name = "";
  switch (d->kind) {
    case DeviceKind::Keyboard:
      info->guidInstance = GUID_SysKeyboard;
      name = "Keyboard";
      break;
    case DeviceKind::Mouse:
      info->guidInstance = GUID_SysMouse;
      name = "Mouse";
      break;
    case DeviceKind::Pad:
      info->guidInstance = s.pads[d->pad].instance;
      info->dwDevType = DIDEVTYPE_JOYSTICK;
      name = s.pads[d->pad].name.c_str();
      break;
  }
  std::strncpy(info->tszInstanceName, name, MAX_PATH - 1);
  std::strncpy(info->tszProductName, name, MAX_PATH - 1);
  return DI_OK;
}

HRESULT IDirectInputDevice7A::CreateEffect(const GUID& effect, const DIEFFECT* parameters, IDirectInputEffect** out,
                                           void* outer) {
  if (out == nullptr) return DIERR_INVALIDPARAM;
  *out = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  DeviceImpl* d = Live(this);
  if (d == nullptr || parameters == nullptr) return DIERR_INVALIDPARAM;
  if (d->kind != DeviceKind::Pad || !(s.pads[d->pad].caps & host::kPadRumble)) return DIERR_UNSUPPORTED;
  const bool constant = effect == GUID_ConstantForce;
  if (!constant && !(effect == GUID_Sine)) return DIERR_UNSUPPORTED;
  if (const HRESULT fault = dinput::TakeFaultLocked(s, d->kind, Call::CreateEffect); fault != S_OK) return fault;
  // The 32-bit record is the smallest that carries the start delay; a smaller one is an older layout.
  if (parameters->dwSize != sizeof(DIEFFECT)) return DIERR_INVALIDPARAM;
  auto* e = new EffectImpl();
  e->face.impl = e;
  e->device = d;
  e->constantForce = constant;
  e->parameters = *parameters;
  e->parameters.rgdwAxes = nullptr;
  e->parameters.rglDirection = nullptr;
  e->parameters.lpEnvelope = nullptr;
  e->parameters.lpvTypeSpecificParams = nullptr;
  if (parameters->lpEnvelope != nullptr) {
    e->envelope = *parameters->lpEnvelope;
    e->hasEnvelope = true;
  }
  if (constant && parameters->cbTypeSpecificParams == sizeof(DICONSTANTFORCE) &&
      parameters->lpvTypeSpecificParams != nullptr) {
    e->magnitude = static_cast<const DICONSTANTFORCE*>(parameters->lpvTypeSpecificParams)->lMagnitude;
  } else if (!constant && parameters->cbTypeSpecificParams == sizeof(DIPERIODIC) &&
             parameters->lpvTypeSpecificParams != nullptr) {
    e->periodic = *static_cast<const DIPERIODIC*>(parameters->lpvTypeSpecificParams);
  } else {
    delete e;
    return DIERR_INVALIDPARAM;
  }
  d->effects.push_back(e);
  s.effects.push_back(e);
  *out = &e->face;
  return DI_OK;
}

ULONG IDirectInputDevice7A::Release() {
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  DeviceImpl* d = Live(this);
  if (d == nullptr) return 0;
  if (--d->references > 0) return d->references;
  const int pad = d->kind == DeviceKind::Pad ? d->pad : -1;
  for (EffectImpl* e : d->effects) {
    e->device = nullptr;  // the effect object lives on until released, but does nothing
    e->playing = false;
  }
  s.devices.erase(std::find(s.devices.begin(), s.devices.end(), d));
  delete d;
  if (pad >= 0) dinput::UpdateRumbleLocked(s, pad);
  return 0;
}

// ---- Effects ---------------------------------------------------------------------------------------

HRESULT IDirectInputEffect::Start(DWORD iterations, DWORD) {
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  EffectImpl* e = impl;
  if (std::find(s.effects.begin(), s.effects.end(), e) == s.effects.end()) return DIERR_INVALIDPARAM;
  if (e->device == nullptr) return DIERR_NOTINITIALIZED;
  if (iterations != 1) return DIERR_UNSUPPORTED;
  if (!s.pads[e->device->pad].attached) return DIERR_INPUTLOST;
  if (!e->device->acquired) return DIERR_NOTACQUIRED;
  // Force feedback plays only for the exclusive owner of the device.
  if (!(e->device->cooperativeLevel & DISCL_EXCLUSIVE)) return DIERR_OTHERAPPHASPRIO;
  e->playing = true;
  ++e->starts;
  dinput::UpdateRumbleLocked(s, e->device->pad);
  return DI_OK;
}

HRESULT IDirectInputEffect::Stop() {
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  EffectImpl* e = impl;
  if (std::find(s.effects.begin(), s.effects.end(), e) == s.effects.end()) return DIERR_INVALIDPARAM;
  if (e->device == nullptr) return DIERR_NOTINITIALIZED;
  e->playing = false;
  ++e->stops;
  dinput::UpdateRumbleLocked(s, e->device->pad);
  return DI_OK;
}

ULONG IDirectInputEffect::Release() {
  DInputState& s = dinput::State();
  Lock lock(s.mutex);
  EffectImpl* e = impl;
  auto it = std::find(s.effects.begin(), s.effects.end(), e);
  if (it == s.effects.end()) return 0;
  s.effects.erase(it);
  int pad = -1;
  if (e->device != nullptr) {
    auto& list = e->device->effects;
    list.erase(std::remove(list.begin(), list.end(), e), list.end());
    pad = e->device->pad;
  }
  delete e;
  if (pad >= 0) dinput::UpdateRumbleLocked(s, pad);
  return 0;
}

}  // namespace plat

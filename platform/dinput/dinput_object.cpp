// The DirectInput objects: creation by class id, Initialize, device creation for the system keyboard,
// the system mouse and the attached pads, pad enumeration, and release. Identifiers and data formats.
#include <algorithm>
#include <cstring>

#include "platform/dinput/dinput_state.h"

namespace plat {

// Identifier values are the stand-in's own.
const GUID CLSID_DirectInput = {0x4F524201, 0x0007, 0x0001, {'d', 'i', 'n', 'p', 'u', 't', '0', '7'}};
const GUID CLSID_DirectInput8 = {0x4F524201, 0x0008, 0x0001, {'d', 'i', 'n', 'p', 'u', 't', '0', '8'}};
const GUID IID_IDirectInput7A = {0x4F524202, 0x0007, 0x0001, {'i', 'd', 'i', 'n', 'p', 'u', 't', '7'}};
const GUID IID_IDirectInput8A = {0x4F524202, 0x0008, 0x0001, {'i', 'd', 'i', 'n', 'p', 'u', 't', '8'}};
const GUID IID_IDirectInputDevice7A = {0x4F524203, 0x0007, 0x0001, {'d', 'i', 'd', 'e', 'v', 'i', 'c', 'e'}};
const GUID GUID_SysMouse = {0x4F524204, 0x0000, 0x0001, {'s', 'y', 's', 'm', 'o', 'u', 's', 'e'}};
const GUID GUID_SysKeyboard = {0x4F524204, 0x0000, 0x0002, {'s', 'y', 's', 'k', 'e', 'y', 'b', 'd'}};
const GUID GUID_ConstantForce = {0x4F524205, 0x0000, 0x0001, {'c', 'o', 'n', 's', 't', 'a', 'n', 't'}};
const GUID GUID_Sine = {0x4F524205, 0x0000, 0x0002, {'s', 'i', 'n', 'e', 'w', 'a', 'v', 'e'}};

const DIDATAFORMAT c_dfDIMouse2 = {24, 16, 2, 20, 0, nullptr};
const DIDATAFORMAT c_dfDIKeyboard = {24, 16, 2, 256, 0, nullptr};
const DIDATAFORMAT c_dfDIJoystick = {24, 16, 1, sizeof(DIJOYSTATE), 0, nullptr};

namespace {

using dinput::DeviceImpl;
using dinput::DeviceKind;
using dinput::DirectInputImpl;
using dinput::DInputState;

GUID PadProductGuid(const std::string& name) {
  DWORD hash = 2166136261u;  // FNV-1a of the name: the same model gives the same product id
  for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
  return GUID{hash, 0x0000, 0x0001, {'p', 'a', 'd', 'p', 'r', 'o', 'd', 0}};
}

DirectInputImpl* ImplOf(DirectInputObject* object) {
  DInputState& s = dinput::State();
  auto it = std::find_if(s.objects.begin(), s.objects.end(),
                         [&](DirectInputImpl* impl) { return impl->face == object; });
  return it == s.objects.end() ? nullptr : *it;
}

template <typename Face>
Face* NewObject(int version) {
  DInputState& s = dinput::State();
  auto* face = new Face();
  auto* impl = new DirectInputImpl();
  impl->face = face;
  impl->version = version;
  face->impl = impl;
  s.objects.push_back(impl);
  return face;
}

}  // namespace

// The class factory behind CoCreateInstance (platform/win/kernel/com.cpp).
bool CreateDirectInputClass(const GUID& classId, const GUID& interfaceId, void** object, HRESULT* result) {
  const bool seven = classId == CLSID_DirectInput;
  const bool eight = classId == CLSID_DirectInput8;
  if (!seven && !eight) return false;
  DInputState& s = dinput::State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (s.createFailure[eight ? 1 : 0] != S_OK) {
    *result = s.createFailure[eight ? 1 : 0];
    return true;
  }
  if (seven && interfaceId == IID_IDirectInput7A) {
    *object = NewObject<IDirectInput7A>(0x700);
  } else if (eight && interfaceId == IID_IDirectInput8A) {
    *object = NewObject<IDirectInput8A>(0x800);
  } else {
    *result = E_NOINTERFACE;
    return true;
  }
  dinput::ListenLocked(s);
  *result = S_OK;
  return true;
}

HRESULT DirectInputObject::Initialize(HINSTANCE, DWORD version) {
  DInputState& s = dinput::State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  DirectInputImpl* self = ImplOf(this);
  if (self == nullptr) return DIERR_INVALIDPARAM;
  if (s.initializeFails[self->version == 0x800 ? 1 : 0]) return DIERR_GENERIC;
  // An object answers the version of its interface and the older ones it understands.
  if (version == 0 || version > static_cast<DWORD>(self->version)) return DIERR_INVALIDPARAM;
  self->initialized = true;
  return DI_OK;
}

HRESULT DirectInputObject::EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, void* context, DWORD) {
  if (callback == nullptr) return DIERR_INVALIDPARAM;
  std::vector<DIDEVICEINSTANCEA> found;
  {
    DInputState& s = dinput::State();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    DirectInputImpl* self = ImplOf(this);
    if (self == nullptr) return DIERR_INVALIDPARAM;
    if (!self->initialized) return DIERR_NOTINITIALIZED;
    if (type != DIDEVTYPE_JOYSTICK) return DI_OK;  // only pads are listed
    for (size_t i = 0; i < s.pads.size(); ++i) {
      const dinput::PadEntry& pad = s.pads[i];
      if (!pad.attached) continue;
      DIDEVICEINSTANCEA instance{};
      instance.dwSize = sizeof instance;
      instance.guidInstance = pad.instance;
      instance.guidProduct = PadProductGuid(pad.name);
      instance.dwDevType = type;
      std::strncpy(instance.tszInstanceName, pad.name.c_str(), MAX_PATH - 1);
      std::strncpy(instance.tszProductName, pad.name.c_str(), MAX_PATH - 1);
      found.push_back(instance);
    }
  }
  // The callback may create devices: it runs outside the lock, over a snapshot.
  for (const DIDEVICEINSTANCEA& instance : found) {
    if (callback(&instance, context) == DIENUM_STOP) break;
  }
  return DI_OK;
}

ULONG DirectInputObject::Release() {
  DInputState& s = dinput::State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  DirectInputImpl* self = ImplOf(this);
  if (self == nullptr) return 0;
  if (--self->references > 0) return self->references;
  s.objects.erase(std::find(s.objects.begin(), s.objects.end(), self));
  const bool eight = self->version == 0x800;
  delete self;
  // The face was made as its own leaf type (NewObject): delete it as that type.
  if (eight) {
    delete static_cast<IDirectInput8A*>(this);
  } else {
    delete static_cast<IDirectInput7A*>(this);
  }
  return 0;
}

HRESULT DirectInputObject::MakeDevice(const GUID& instance, IDirectInputDevice7A** out, void* outer) {
  if (out == nullptr) return DIERR_INVALIDPARAM;
  *out = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  DInputState& s = dinput::State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  DirectInputImpl* self = ImplOf(this);
  if (self == nullptr) return DIERR_INVALIDPARAM;
  if (!self->initialized) return DIERR_NOTINITIALIZED;
  DeviceKind kind;
  int pad = -1;
  if (instance == GUID_SysKeyboard) {
    kind = DeviceKind::Keyboard;
  } else if (instance == GUID_SysMouse) {
    kind = DeviceKind::Mouse;
  } else {
    kind = DeviceKind::Pad;
    for (size_t i = 0; i < s.pads.size(); ++i) {
      if (s.pads[i].instance == instance && s.pads[i].attached) pad = static_cast<int>(i);
    }
    if (pad < 0) return DIERR_DEVICENOTREG;
  }
  if (const HRESULT fault = dinput::TakeFaultLocked(s, kind, dinput::Call::CreateDevice); fault != S_OK) return fault;
  auto* device = new DeviceImpl();
  device->kind = kind;
  device->pad = pad;
  device->face.impl = device;
  s.devices.push_back(device);
  *out = &device->face;
  return DI_OK;
}

HRESULT IDirectInput7A::CreateDeviceEx(const GUID& instance, const GUID& interfaceId, void** out, void* outer) {
  if (out == nullptr) return DIERR_INVALIDPARAM;
  *out = nullptr;
  if (!(interfaceId == IID_IDirectInputDevice7A)) return E_NOINTERFACE;
  IDirectInputDevice7A* device = nullptr;
  const HRESULT result = MakeDevice(instance, &device, outer);
  *out = device;
  return result;
}

HRESULT IDirectInput8A::CreateDevice(const GUID& instance, IDirectInputDevice8A** out, void* outer) {
  return MakeDevice(instance, out, outer);
}

namespace dinput {

GUID InstanceGuidForPad(int index) {
  return GUID{0x4F524206, 0x0000, static_cast<WORD>(index), {'p', 'a', 'd', 'i', 'n', 's', 't', 0}};
}

}  // namespace dinput
}  // namespace plat

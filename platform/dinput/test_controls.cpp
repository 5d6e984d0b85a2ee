// The DirectInput stand-in's test controls.
#include "platform/dinput/test_controls.h"

#include "platform/dinput/dinput_state.h"

namespace plat::test {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

dinput::DeviceKind KindOf(DiDeviceKind kind) { return static_cast<dinput::DeviceKind>(static_cast<int>(kind)); }

}  // namespace

void FailDirectInputCreate(int version, HRESULT result) {
  dinput::DInputState& s = dinput::State();
  Lock lock(s.mutex);
  s.createFailure[version == 8 ? 1 : 0] = result;
}

void FailDirectInputInitialize(int version, bool fail) {
  dinput::DInputState& s = dinput::State();
  Lock lock(s.mutex);
  s.initializeFails[version == 8 ? 1 : 0] = fail;
}

void FailDirectInputCall(DiDeviceKind kind, DiCall call, int times, HRESULT result, int property, int offset) {
  dinput::DInputState& s = dinput::State();
  Lock lock(s.mutex);
  s.faults.push_back(dinput::Fault{KindOf(kind), static_cast<dinput::Call>(static_cast<int>(call)), property, offset,
                                   times, result});
}

void LoseKeyboard() {
  dinput::DInputState& s = dinput::State();
  Lock lock(s.mutex);
  for (dinput::DeviceImpl* d : s.devices) {
    if (d->kind == dinput::DeviceKind::Keyboard && d->acquired) {
      d->acquired = false;
      d->lost = true;
    }
  }
}

void SetKeyboardLayoutUs(bool us) {
  dinput::DInputState& s = dinput::State();
  Lock lock(s.mutex);
  s.layout = us ? dinput::KeyboardLayout::Us101 : dinput::KeyboardLayout::Japanese106;
}

int AddPad(const PadSpec& spec) {
  dinput::DInputState& s = dinput::State();
  Lock lock(s.mutex);
  static int nextHostId = 1000;
  const int hostId = nextHostId++;
  dinput::ListenLocked(s);
  UINT caps = 0;
  if (spec.hasZ) caps |= host::kPadHasZ;
  if (spec.hasR) caps |= host::kPadHasR;
  if (spec.rumble) caps |= host::kPadRumble;
  dinput::AttachPadLocked(s, hostId, spec.identity.empty() ? spec.name : spec.identity, spec.name, caps);
  return hostId;
}

void RemovePad(int hostId) {
  dinput::DInputState& s = dinput::State();
  Lock lock(s.mutex);
  dinput::DetachPadLocked(s, hostId);
}

void SetPadButton(int hostId, int button, bool down) {
  host::Event e;
  e.type = down ? host::EventType::PadButtonDown : host::EventType::PadButtonUp;
  e.pad = hostId;
  e.button = button;
  host::DeliverEvent(e);
}

void SetPadAxis(int hostId, int axis, int value) {
  host::Event e;
  e.type = host::EventType::PadAxis;
  e.pad = hostId;
  e.axis = axis;
  e.value = value;
  host::DeliverEvent(e);
}

PadRumble GetPadRumble(int hostId) {
  dinput::DInputState& s = dinput::State();
  Lock lock(s.mutex);
  for (const dinput::PadEntry& pad : s.pads) {
    if (pad.hostId == hostId) return PadRumble{pad.rumbleLow, pad.rumbleHigh};
  }
  return PadRumble{0, 0};
}

std::vector<DiDeviceSnapshot> DirectInputDevices() {
  dinput::DInputState& s = dinput::State();
  Lock lock(s.mutex);
  std::vector<DiDeviceSnapshot> out;
  for (const dinput::DeviceImpl* d : s.devices) {
    DiDeviceSnapshot snap{};
    snap.kind = static_cast<DiDeviceKind>(static_cast<int>(d->kind));
    if (d->kind == dinput::DeviceKind::Pad) snap.padName = s.pads[d->pad].name;
    snap.dataSize = d->formatSize;
    snap.cooperativeLevel = d->cooperativeLevel;
    snap.acquired = d->acquired;
    snap.hasEvent = d->event != nullptr;
    snap.bufferSize = d->bufferSize;
    for (int a = 0; a < 6; ++a) {
      snap.rangeMin[a] = d->rangeMin[a];
      snap.rangeMax[a] = d->rangeMax[a];
      snap.deadZone[a] = d->deadZone[a];
    }
    out.push_back(snap);
  }
  return out;
}

std::vector<DiEffectSnapshot> DirectInputEffects() {
  dinput::DInputState& s = dinput::State();
  Lock lock(s.mutex);
  std::vector<DiEffectSnapshot> out;
  for (const dinput::EffectImpl* e : s.effects) {
    DiEffectSnapshot snap{};
    if (e->device != nullptr) snap.padName = s.pads[e->device->pad].name;
    snap.constantForce = e->constantForce;
    snap.playing = e->playing;
    snap.starts = e->starts;
    snap.stops = e->stops;
    snap.parameters = e->parameters;
    snap.envelope = e->envelope;
    snap.hasEnvelope = e->hasEnvelope;
    snap.magnitude = e->magnitude;
    snap.periodic = e->periodic;
    out.push_back(snap);
  }
  return out;
}

int LiveDirectInputObjects() {
  dinput::DInputState& s = dinput::State();
  Lock lock(s.mutex);
  return static_cast<int>(s.objects.size());
}

void ResetDirectInput() {
  dinput::DInputState& s = dinput::State();
  Lock lock(s.mutex);
  s.createFailure[0] = s.createFailure[1] = S_OK;
  s.initializeFails[0] = s.initializeFails[1] = false;
  s.faults.clear();
  std::fill(std::begin(s.keys), std::end(s.keys), BYTE{0});
  std::fill(std::begin(s.mouseButtons), std::end(s.mouseButtons), BYTE{0});
  s.mouseSeen = false;
  // Devices that still name a pad keep their index valid: pads are only detached, never dropped, while
  // a device is alive.
  if (s.devices.empty()) {
    s.pads.clear();
  } else {
    for (dinput::PadEntry& pad : s.pads) pad.attached = false;
  }
  s.layout = dinput::LayoutFromEnvironment();
}

}  // namespace plat::test

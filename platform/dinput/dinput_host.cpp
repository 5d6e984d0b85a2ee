// The DirectInput stand-in's state and what feeds it: the host's key events (scan code, or the virtual
// key when the host gives none) set the keyboard bytes; mouse events move and press the mouse; pad
// events add, remove and move pads; every
// change sets the notice events of the devices that follow it. Also the faults tests set, and the
// rumble that playing effects ask of the host.
#include <algorithm>

#include "platform/dinput/dinput_state.h"
#include "platform/win/kernel/sync.h"

namespace plat::dinput {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

void OnKey(DInputState& s, const host::Event& e) {
  BYTE code = e.scanCode != 0 ? KeyCodeFromScanCode(e.scanCode, e.extended, s.layout) : 0;
  if (code == 0) code = KeyCodeFromVirtualKey(e.key, s.layout);
  if (code == 0) return;
  const BYTE value = e.type == host::EventType::KeyDown ? 0x80 : 0x00;
  if (s.keys[code] == value) return;  // auto-repeat changes nothing
  s.keys[code] = value;
  NotifyLocked(s, DeviceKind::Keyboard, -1);
}

// Mouse devices see motion as the distance moved since their last read; wheel notches count 120.
void OnMouse(DInputState& s, const host::Event& e) {
  LONG dx = 0;
  LONG dy = 0;
  LONG dz = 0;
  switch (e.type) {
    case host::EventType::MouseMove:
      if (s.mouseSeen) {
        dx = e.x - s.mouseX;
        dy = e.y - s.mouseY;
      }
      s.mouseSeen = true;
      s.mouseX = e.x;
      s.mouseY = e.y;
      break;
    case host::EventType::MouseButtonDown:
    case host::EventType::MouseButtonUp:
      if (e.button < 0 || e.button >= 8) return;
      s.mouseButtons[e.button] = e.type == host::EventType::MouseButtonDown ? 0x80 : 0;
      break;
    case host::EventType::MouseWheel: dz = static_cast<LONG>(e.wheel) * 120; break;
    default: return;
  }
  for (DeviceImpl* d : s.devices) {
    if (d->kind != DeviceKind::Mouse || !d->acquired) continue;
    d->mouseMotion[0] += dx;
    d->mouseMotion[1] += dy;
    d->mouseMotion[2] += dz;
  }
  NotifyLocked(s, DeviceKind::Mouse, -1);
}

int PadIndexOfHost(const DInputState& s, int hostId) {
  for (size_t i = 0; i < s.pads.size(); ++i) {
    if (s.pads[i].attached && s.pads[i].hostId == hostId) return static_cast<int>(i);
  }
  return -1;
}

void OnPad(DInputState& s, const host::Event& e) {
  if (e.type == host::EventType::PadAdded) {
    AttachPadLocked(s, e.pad, e.names.empty() ? e.text : e.names.front(), e.text, e.padCaps);
    return;
  }
  if (e.type == host::EventType::PadRemoved) {
    DetachPadLocked(s, e.pad);
    return;
  }
  const int index = PadIndexOfHost(s, e.pad);
  if (index < 0) return;
  DIJOYSTATE& state = s.pads[index].state;
  switch (e.type) {
    case host::EventType::PadButtonDown:
    case host::EventType::PadButtonUp:
      if (e.button < 0 || e.button >= 32) return;
      state.rgbButtons[e.button] = e.type == host::EventType::PadButtonDown ? 0x80 : 0;
      break;
    case host::EventType::PadAxis: {
      if (e.axis < 0 || e.axis >= kAxisCount) return;
      const int value = std::clamp(e.value, -32768, 32767);
      (&state.lX)[e.axis] = value;
      break;
    }
    case host::EventType::PadHat:
      state.rgdwPOV[0] = e.value < 0 ? 0xFFFFFFFFu : static_cast<DWORD>(e.value % 36000);
      break;
    default:
      return;
  }
  NotifyLocked(s, DeviceKind::Pad, index);
}

void OnHostEvent(const host::Event& e) {
  DInputState& s = State();
  Lock lock(s.mutex);
  switch (e.type) {
    case host::EventType::KeyDown:
    case host::EventType::KeyUp: OnKey(s, e); break;
    case host::EventType::MouseMove:
    case host::EventType::MouseButtonDown:
    case host::EventType::MouseButtonUp:
    case host::EventType::MouseWheel: OnMouse(s, e); break;
    case host::EventType::FocusLost:
      // Keys released while another window has the focus never reach us: start from all keys up.
      std::fill(std::begin(s.keys), std::end(s.keys), BYTE{0});
      NotifyLocked(s, DeviceKind::Keyboard, -1);
      break;
    case host::EventType::PadAdded:
    case host::EventType::PadRemoved:
    case host::EventType::PadButtonDown:
    case host::EventType::PadButtonUp:
    case host::EventType::PadAxis:
    case host::EventType::PadHat: OnPad(s, e); break;
    default: break;
  }
}

}  // namespace

DInputState& State() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* state = new DInputState;
  return *state;
}

void ListenLocked(DInputState& s) {
  if (s.listening) return;
  host::AddEventListener(&OnHostEvent);
  s.listening = true;
}

namespace {
// The keyboard and the pads are followed from the start, as real devices are: a pad the host reports
// before the first DirectInput object (a script's first line, a controller present at start) is not
// missed.
[[maybe_unused]] const bool gListeningFromStart = [] {
  DInputState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  ListenLocked(s);
  return true;
}();
}  // namespace

HRESULT TakeFaultLocked(DInputState& s, DeviceKind kind, Call call, int property, int offset) {
  for (auto it = s.faults.begin(); it != s.faults.end(); ++it) {
    if (it->kind != kind || it->call != call) continue;
    if (call == Call::SetProperty) {
      if (it->property != 0 && it->property != property) continue;
      if (it->offset >= 0 && it->offset != offset) continue;
    }
    const HRESULT result = it->result;
    if (it->remaining > 0 && --it->remaining == 0) s.faults.erase(it);
    return result;
  }
  return S_OK;
}

void NotifyLocked(DInputState& s, DeviceKind kind, int pad) {
  for (DeviceImpl* d : s.devices) {
    if (d->kind != kind || d->event == nullptr || !d->acquired) continue;
    if (kind == DeviceKind::Pad && d->pad != pad) continue;
    SetEvent(d->event);
  }
}

int AttachPadLocked(DInputState& s, int hostId, const std::string& identity, const std::string& name, UINT caps) {
  const int already = PadIndexOfHost(s, hostId);
  if (already >= 0) return already;
  // A pad that comes back takes its old place, so its devices and instance id work again.
  int index = -1;
  for (size_t i = 0; i < s.pads.size(); ++i) {
    if (!s.pads[i].attached && s.pads[i].identity == identity) {
      index = static_cast<int>(i);
      break;
    }
  }
  if (index < 0) {
    index = static_cast<int>(s.pads.size());
    s.pads.emplace_back();
    s.pads[index].instance = InstanceGuidForPad(index);
    s.pads[index].identity = identity;
  }
  PadEntry& pad = s.pads[index];
  pad.hostId = hostId;
  pad.attached = true;
  pad.name = name;
  pad.caps = caps;
  pad.state = DIJOYSTATE{};
  for (DWORD& pov : pad.state.rgdwPOV) pov = 0xFFFFFFFFu;
  pad.rumbleLow = pad.rumbleHigh = 0;
  UpdateRumbleLocked(s, index);
  return index;
}

void DetachPadLocked(DInputState& s, int hostId) {
  const int index = PadIndexOfHost(s, hostId);
  if (index < 0) return;
  PadEntry& pad = s.pads[index];
  pad.attached = false;
  pad.state = DIJOYSTATE{};
  for (DWORD& pov : pad.state.rgdwPOV) pov = 0xFFFFFFFFu;
  pad.rumbleLow = pad.rumbleHigh = 0;
  for (DeviceImpl* d : s.devices) {
    if (d->kind != DeviceKind::Pad || d->pad != index) continue;
    for (EffectImpl* e : d->effects) e->playing = false;
    if (d->acquired) d->lost = true;
    if (d->event != nullptr) SetEvent(d->event);  // the reader learns at once that the pad is gone
  }
}

void UpdateRumbleLocked(DInputState& s, int index) {
  if (index < 0 || index >= static_cast<int>(s.pads.size())) return;
  PadEntry& pad = s.pads[index];
  // The constant force drives the low-frequency motor, the sine the high-frequency one; gain and
  // magnitude scale them (10000 = full).
  double low = 0;
  double high = 0;
  for (const DeviceImpl* d : s.devices) {
    if (d->kind != DeviceKind::Pad || d->pad != index) continue;
    for (const EffectImpl* e : d->effects) {
      if (!e->playing) continue;
      const double gain = std::min<DWORD>(e->parameters.dwGain, 10000) / 10000.0;
      if (e->constantForce) {
        const LONG m = e->magnitude < 0 ? -e->magnitude : e->magnitude;
        low = std::max(low, gain * std::min<LONG>(m, 10000) / 10000.0);
      } else {
        high = std::max(high, gain * std::min<DWORD>(e->periodic.dwMagnitude, 10000) / 10000.0);
      }
    }
  }
  const auto lowLevel = static_cast<uint16_t>(low * 65535 + 0.5);
  const auto highLevel = static_cast<uint16_t>(high * 65535 + 0.5);
  if (!pad.attached || (lowLevel == pad.rumbleLow && highLevel == pad.rumbleHigh)) return;
  pad.rumbleLow = lowLevel;
  pad.rumbleHigh = highLevel;
  host::Current().RumblePad(pad.hostId, lowLevel, highLevel);
}

bool IsLiveDevice(const DInputState& s, const DeviceImpl* device) {
  return device != nullptr && std::find(s.devices.begin(), s.devices.end(), device) != s.devices.end();
}

}  // namespace plat::dinput

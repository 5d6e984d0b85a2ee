// SDL pads into pad host events. Game controllers report through SDL's controller mapping (sticks on
// X/Y and Rx/Ry, triggers on Z and Rz, buttons by their controller names' order); other joysticks by
// their raw axes, buttons and first hat.
#include "platform/host/sdl/sdl_pads.h"

#include <string>

#include "platform/host/host.h"
#include "platform/host/text_encoding.h"

namespace plat::host {
namespace {

constexpr Uint32 kRumbleMs = 0xFFFF;

int AxisOfController(Uint8 axis) {
  switch (axis) {
    case SDL_CONTROLLER_AXIS_LEFTX: return 0;
    case SDL_CONTROLLER_AXIS_LEFTY: return 1;
    case SDL_CONTROLLER_AXIS_TRIGGERLEFT: return 2;
    case SDL_CONTROLLER_AXIS_RIGHTX: return 3;
    case SDL_CONTROLLER_AXIS_RIGHTY: return 4;
    case SDL_CONTROLLER_AXIS_TRIGGERRIGHT: return 5;
    default: return -1;
  }
}

int HatAngle(Uint8 hat) {
  switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return -1;
  }
}

}  // namespace

bool SdlPads::Start() {
  if (started_) return true;
  started_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_JOYSTICK) == 0;
  return started_;  // pads already present arrive as device-added events
}

void SdlPads::Stop() {
  for (auto& [id, pad] : pads_) {
    if (pad.controller != nullptr) SDL_GameControllerClose(pad.controller);
    else SDL_JoystickClose(pad.joystick);
  }
  pads_.clear();
  if (started_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_JOYSTICK);
  started_ = false;
}

void SdlPads::Open(int deviceIndex, std::vector<Event>* out) {
  Pad pad;
  if (SDL_IsGameController(deviceIndex)) {
    pad.controller = SDL_GameControllerOpen(deviceIndex);
    if (pad.controller != nullptr) pad.joystick = SDL_GameControllerGetJoystick(pad.controller);
  } else {
    pad.joystick = SDL_JoystickOpen(deviceIndex);
  }
  if (pad.joystick == nullptr) return;
  const SDL_JoystickID id = SDL_JoystickInstanceID(pad.joystick);
  if (pads_.count(id) != 0) {  // already open (controller and joystick events both announce it)
    if (pad.controller != nullptr) SDL_GameControllerClose(pad.controller);
    else SDL_JoystickClose(pad.joystick);
    return;
  }
  pads_[id] = pad;

  Event e;
  e.type = EventType::PadAdded;
  e.pad = id;
  const char* name = pad.controller != nullptr ? SDL_GameControllerName(pad.controller) : SDL_JoystickName(pad.joystick);
  e.text = Utf8ToShiftJis(name != nullptr ? name : "Joystick");
  char guid[64];
  SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(pad.joystick), guid, sizeof guid);
  // The model and, where the pad has one, its serial number: what stays the same when it is plugged into
  // another port (its device path does not).
  const char* serial = SDL_JoystickGetSerial(pad.joystick);
  e.names.push_back(std::string(guid) + "|" + (serial != nullptr ? serial : ""));
  const int axes = SDL_JoystickNumAxes(pad.joystick);
  if (pad.controller != nullptr || axes >= 3) e.padCaps |= kPadHasZ;
  if (pad.controller != nullptr || axes >= 4) e.padCaps |= kPadHasR;
  if (SDL_JoystickHasRumble(pad.joystick)) e.padCaps |= kPadRumble;
  out->push_back(e);
}

void SdlPads::Close(SDL_JoystickID id, std::vector<Event>* out) {
  auto it = pads_.find(id);
  if (it == pads_.end()) return;
  if (it->second.controller != nullptr) SDL_GameControllerClose(it->second.controller);
  else SDL_JoystickClose(it->second.joystick);
  pads_.erase(it);
  Event e;
  e.type = EventType::PadRemoved;
  e.pad = id;
  out->push_back(e);
}

bool SdlPads::Handle(const SDL_Event& sdl, std::vector<Event>* out) {
  Event e;
  switch (sdl.type) {
    case SDL_JOYDEVICEADDED: Open(sdl.jdevice.which, out); return true;
    case SDL_JOYDEVICEREMOVED: Close(sdl.jdevice.which, out); return true;
    case SDL_CONTROLLERDEVICEADDED:
    case SDL_CONTROLLERDEVICEREMOVED:
    case SDL_CONTROLLERDEVICEREMAPPED: return true;  // the joystick events carry these
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
      e.type = sdl.type == SDL_CONTROLLERBUTTONDOWN ? EventType::PadButtonDown : EventType::PadButtonUp;
      e.pad = sdl.cbutton.which;
      e.button = sdl.cbutton.button;
      break;
    case SDL_CONTROLLERAXISMOTION:
      e.type = EventType::PadAxis;
      e.pad = sdl.caxis.which;
      e.axis = AxisOfController(sdl.caxis.axis);
      e.value = sdl.caxis.value;
      if (e.axis < 0) return true;
      break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
    case SDL_JOYAXISMOTION:
    case SDL_JOYHATMOTION: {
      const SDL_JoystickID id = sdl.type == SDL_JOYAXISMOTION ? sdl.jaxis.which
                                : sdl.type == SDL_JOYHATMOTION ? sdl.jhat.which
                                                               : sdl.jbutton.which;
      auto it = pads_.find(id);
      if (it == pads_.end() || it->second.controller != nullptr) return true;  // controllers report above
      e.pad = id;
      if (sdl.type == SDL_JOYAXISMOTION) {
        if (sdl.jaxis.axis >= 6) return true;
        e.type = EventType::PadAxis;
        e.axis = sdl.jaxis.axis;
        e.value = sdl.jaxis.value;
      } else if (sdl.type == SDL_JOYHATMOTION) {
        if (sdl.jhat.hat != 0) return true;
        e.type = EventType::PadHat;
        e.value = HatAngle(sdl.jhat.value);
      } else {
        e.type = sdl.type == SDL_JOYBUTTONDOWN ? EventType::PadButtonDown : EventType::PadButtonUp;
        e.button = sdl.jbutton.button;
      }
      break;
    }
    default: return false;
  }
  out->push_back(e);
  return true;
}

void SdlPads::Rumble(int pad, uint16_t low, uint16_t high) {
  auto it = pads_.find(static_cast<SDL_JoystickID>(pad));
  if (it == pads_.end()) return;
  SDL_JoystickRumble(it->second.joystick, low, high, low == 0 && high == 0 ? 0 : kRumbleMs);
}

}  // namespace plat::host

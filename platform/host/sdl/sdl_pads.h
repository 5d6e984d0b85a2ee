// Pads for the SDL host: game controllers and other joysticks, found at start and when plugged in,
// turned into pad host events (added, removed, buttons, axes, hat), and their rumble motors.
// LIMITATIONS: one rumble request lasts at most about 65 s (SDL's limit); the pad layer repeats it
// only when the strengths change.
#pragma once

#include <SDL.h>

#include <unordered_map>
#include <vector>

#include "platform/host/host.h"

namespace plat::host {

class SdlPads {
 public:
  // Starts SDL's controller and joystick subsystems; false when they are not available (no pads).
  bool Start();
  void Stop();
  // Handles a pad event (true), or leaves it to the caller (false); the host events it makes are added to
  // `out`, for the caller to deliver.
  bool Handle(const SDL_Event& event, std::vector<Event>* out);
  void Rumble(int pad, uint16_t low, uint16_t high);

 private:
  struct Pad {
    SDL_GameController* controller = nullptr;  // null for a plain joystick
    SDL_Joystick* joystick = nullptr;
  };
  void Open(int deviceIndex, std::vector<Event>* out);
  void Close(SDL_JoystickID id, std::vector<Event>* out);

  bool started_ = false;
  std::unordered_map<SDL_JoystickID, Pad> pads_;
};

}  // namespace plat::host

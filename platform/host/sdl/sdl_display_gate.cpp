// The display gate: a recursive lock that the exit handler takes and never gives back.
#include "platform/host/sdl/sdl_display_gate.h"

#include <cstdlib>

namespace plat::host {
namespace {

void CloseGate() { DisplayGate().lock(); }

}  // namespace

std::recursive_mutex& DisplayGate() {
  // Never destroyed: threads wait on it until the process ends.
  static auto* gate = new std::recursive_mutex;
  return *gate;
}

void CloseDisplayGateAtExit() {
  static const bool set = std::atexit(&CloseGate) == 0;
  (void)set;
}

}  // namespace plat::host

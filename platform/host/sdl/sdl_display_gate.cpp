// The display gate: a recursive lock that the exit handler takes and never gives back.
#include "platform/host/sdl/sdl_display_gate.h"

#include <cstdlib>

namespace plat::host {
namespace {

constexpr std::chrono::seconds kLongestWait{2};

// An exit is not held up for ever by a thread stuck in a call to a display that no longer answers.
void CloseGate() { [[maybe_unused]] const bool closed = DisplayGate().try_lock_for(kLongestWait); }

}  // namespace

std::recursive_timed_mutex& DisplayGate() {
  // Never destroyed: threads wait on it until the process ends.
  static auto* gate = new std::recursive_timed_mutex;
  return *gate;
}

void CloseDisplayGateAtExit() {
  static const bool set = std::atexit(&CloseGate) == 0;
  (void)set;
}

}  // namespace plat::host

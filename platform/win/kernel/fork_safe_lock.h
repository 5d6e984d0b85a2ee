// Locks that a forked child finds free. A child forked while another thread held one (a log write that
// stderr holds up, say) would wait on it for ever: that thread does not exist in the child.
#pragma once

#include <mutex>

namespace plat {

// Registers `mutex`, held only over work in memory and never while another lock of this kind is taken:
// the fork waits for it and holds it across, so that what it guards crosses whole.
void TakeAroundFork(std::mutex* mutex);

// Registers `mutex`, which a holder may keep while it waits on what may never come (a write to a stderr
// that nobody reads), so the fork must not wait for it: when it is free it is held across the fork; when
// another thread holds it, it is made anew in the child and `afterHeldByAnother`, when given, runs there
// to drop what the holder may have left half-changed.
void KeepFreeInForkedChild(std::mutex* mutex, void (*afterHeldByAnother)() = nullptr);

// Both kinds must live until the process ends.

}  // namespace plat

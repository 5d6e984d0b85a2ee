// The SDL host's gate to the display: every call into SDL's video and its renderer (and so into the GL
// driver and the X libraries under them) is made inside the gate. A program may call exit() on any
// thread; after the exit handlers the process runs the shared libraries' own destructors, and the GL
// driver's pull its state from under a thread still drawing. At exit the gate closes for good once no
// thread is inside it, before those destructors run; a thread that comes to it later waits there until
// the process ends. A thread that stays inside (a display that stopped answering) holds the exit up for
// two seconds at most.
#pragma once

#include <mutex>

namespace plat::host {

// Held while calling SDL's video; the thread that holds it may take it again (an exit from inside a
// call, as the display-loss handler's, closes the gate from that thread).
std::recursive_timed_mutex& DisplayGate();
using DisplayGateLock = std::lock_guard<std::recursive_timed_mutex>;

// Closes the gate at exit. Set once the GL driver is loaded (its own exit handlers, set as it loads,
// then run after this one); later calls do nothing.
void CloseDisplayGateAtExit();

}  // namespace plat::host

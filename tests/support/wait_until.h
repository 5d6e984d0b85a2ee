// Waiting in tests for what another thread, a child process, a socket or the X server brings about: by
// real time, with a generous bound and short naps between looks, never by a count of turns (on a loaded
// machine turns run fast while the other side is slow). The plat clock, virtual or not, plays no part.
#pragma once

#include <functional>
// NOTE: not <chrono>: its unit suffixes ("µs") do not convert to the Shift-JIS execution charset. <thread>
// brings the durations and clocks without them.
#include <thread>

namespace orbel::testing {

// How many times slower a sanitizer build runs: its tests' time limits are five times as long too.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr int kSanitizerSlowdown = 5;
#else
inline constexpr int kSanitizerSlowdown = 1;
#endif

// The bound of a wait for something that comes at once on an idle machine: far beyond what a loaded
// machine or a sanitizer build takes, and well inside a test's time limit.
inline constexpr std::chrono::milliseconds kWaitBound{10000};
// The pause after a look that found nothing: long enough to leave the processor to the side waited
// for, short enough that the wait ends soon after. A loop whose every call moves data (a transfer
// driven to its end) passes kYieldOnly: it is busy rather than waiting, and a nap a turn would slow it.
inline constexpr std::chrono::microseconds kNap{50};
inline constexpr std::chrono::microseconds kYieldOnly{0};

// Calls `done` until it returns true or `bound` of real time has passed, pausing `nap` after each
// false. `done` may do a step of work itself (a pump turn, a read). Returns the last result of done().
// For "nothing happens", pass a short bound and expect false.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound = kWaitBound,
               std::chrono::microseconds nap = kNap);

}  // namespace orbel::testing

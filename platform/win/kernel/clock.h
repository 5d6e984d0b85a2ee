// The one clock behind every time the stand-ins report: the millisecond timer, the performance counter,
// Sleep and the timer period. Real time by default; tests install a virtual clock in which Sleep advances
// time at once and each reading moves it on by a small step, so busy-waits end without real waiting.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/win/kernel/win_types.h"

namespace plat {

struct TIMECAPS {
  UINT wPeriodMin;  // ms
  UINT wPeriodMax;  // ms
};

constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;

DWORD timeGetTime();
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);  // 1,000,000,000 per second
void Sleep(DWORD milliseconds);
MMRESULT timeGetDevCaps(TIMECAPS* caps, UINT size);
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);

// For the other stand-ins: time in microseconds since the clock's origin, and a timed wait that
// follows the clock (a virtual deadline passes only when virtual time passes it).
namespace clock {
uint64_t NowMicroseconds();
bool IsVirtual();
// Waits on `cv` (with `lock` held) until `ready()` or until `timeoutMs` of clock time have passed
// (INFINITE waits without limit). Returns ready().
template <typename Ready>
bool WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, DWORD timeoutMs,
             Ready ready);
void WaitSlice(std::unique_lock<std::mutex>& lock, std::condition_variable& cv);
// Moves the virtual clock forward to `microseconds` (never back); nothing on the real clock.
void AdvanceVirtualTo(uint64_t microseconds);
// For hosts asked to run a whole program on the virtual clock: from now on Sleep advances time at once
// and each reading moves it on by a small step. Time continues from the current reading, never back.
void StartVirtual();
}  // namespace clock

template <typename Ready>
bool clock::WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, DWORD timeoutMs,
                    Ready ready) {
  if (timeoutMs == INFINITE) {
    cv.wait(lock, ready);
    return true;
  }
  const uint64_t deadline = NowMicroseconds() + uint64_t{timeoutMs} * 1000;
  while (!ready()) {
    if (NowMicroseconds() >= deadline) return false;
    WaitSlice(lock, cv);
    // On the virtual clock a timed wait is a Sleep that a signal can cut short: when one slice passes
    // without the signal, the wait's time has passed too.
    if (IsVirtual() && !ready()) AdvanceVirtualTo(deadline);
  }
  return true;
}

}  // namespace plat

// The clock behind timeGetTime, the performance counter and Sleep. The only file of the stand-ins that
// reads real time.
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/clock_test_controls.h"

#include <time.h>

#include <atomic>
#include <thread>

// NOTE: <chrono> cannot be included anywhere in this project: its C++20 unit suffix "\u00b5s" has no
// CP932 form. Real time comes from clock_gettime here; durations from <thread> and <condition_variable>.

namespace plat {
namespace {

uint64_t MonotonicMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

struct ClockState {
  std::atomic<bool> isVirtual{false};
  std::atomic<uint64_t> virtualMicroseconds{0};
  std::atomic<uint32_t> stepMicroseconds{10};
  std::atomic<int> periodDepth{0};
  uint64_t originMicroseconds = MonotonicMicroseconds();
};

ClockState& State() {
  static ClockState state;
  return state;
}

uint64_t RealMicroseconds() { return MonotonicMicroseconds() - State().originMicroseconds; }

// Reading the virtual clock moves it on by one step, so a loop that waits for the clock to change
// sees it change.
uint64_t ReadMicroseconds() {
  ClockState& s = State();
  if (!s.isVirtual.load(std::memory_order_relaxed)) return RealMicroseconds();
  return s.virtualMicroseconds.fetch_add(s.stepMicroseconds.load(std::memory_order_relaxed)) +
         s.stepMicroseconds.load(std::memory_order_relaxed);
}

}  // namespace

namespace clock {

uint64_t NowMicroseconds() { return ReadMicroseconds(); }

bool IsVirtual() { return State().isVirtual.load(); }

// One slice of a timed wait: a short real wait, so that a virtual deadline is seen soon after
// another thread advances the clock.
void WaitSlice(std::unique_lock<std::mutex>& lock, std::condition_variable& cv) {
  cv.wait_for(lock, std::chrono::microseconds(1000));
}

void AdvanceVirtualTo(uint64_t microseconds) {
  std::atomic<uint64_t>& now = State().virtualMicroseconds;
  uint64_t current = now.load();
  while (current < microseconds && !now.compare_exchange_weak(current, microseconds)) {
  }
}

void StartVirtual() {
  ClockState& s = State();
  if (s.isVirtual.load()) return;
  s.virtualMicroseconds.store(RealMicroseconds());
  s.stepMicroseconds.store(10);
  s.isVirtual.store(true);
}

}  // namespace clock

DWORD timeGetTime() { return static_cast<DWORD>(ReadMicroseconds() / 1000); }

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (count == nullptr) return FALSE;
  count->QuadPart = static_cast<int64_t>(ReadMicroseconds() * 1000);
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (frequency == nullptr) return FALSE;
  frequency->QuadPart = 1000000000;
  return TRUE;
}

void Sleep(DWORD milliseconds) {
  ClockState& s = State();
  if (s.isVirtual.load()) {
    s.virtualMicroseconds.fetch_add(uint64_t{milliseconds} * 1000);
    std::this_thread::yield();
    return;
  }
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
  }
}

MMRESULT timeGetDevCaps(TIMECAPS* caps, UINT size) {
  if (caps == nullptr || size < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
  caps->wPeriodMin = 1;
  caps->wPeriodMax = 1000000;
  return TIMERR_NOERROR;
}

MMRESULT timeBeginPeriod(UINT period) {
  if (period == 0) return TIMERR_NOCANDO;
  State().periodDepth.fetch_add(1);
  return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT period) {
  if (period == 0) return TIMERR_NOCANDO;
  State().periodDepth.fetch_sub(1);
  return TIMERR_NOERROR;
}

namespace test {

void UseVirtualClock(uint32_t startMilliseconds, uint32_t stepMicroseconds) {
  ClockState& s = State();
  s.virtualMicroseconds.store(uint64_t{startMilliseconds} * 1000);
  s.stepMicroseconds.store(stepMicroseconds);
  s.isVirtual.store(true);
}

void UseRealClock() { State().isVirtual.store(false); }

void AdvanceClock(uint64_t microseconds) { State().virtualMicroseconds.fetch_add(microseconds); }

int TimerPeriodDepth() { return State().periodDepth.load(); }

void ResetClock() { State().stepMicroseconds.store(10); }

}  // namespace test
}  // namespace plat

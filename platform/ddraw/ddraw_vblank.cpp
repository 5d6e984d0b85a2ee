// The display's refresh, modelled on the plat clock: 60 frames a second, each scanning the visible
// lines of the desktop and then a blank of about a twelfth of the frame. On the virtual clock a wait
// moves time straight to the blank, so pacing costs no real time.
#include <algorithm>

#include "platform/ddraw/ddraw_internal.h"
#include "platform/win/kernel/clock.h"

namespace plat::ddraw {
namespace {

constexpr uint64_t kFrameMicros = 16667;  // 60 Hz

struct Timing {
  uint64_t visibleLines;
  uint64_t totalLines;
};

Timing CurrentTiming() {
  RECT desktop{};
  ClientOnDesktop(nullptr, &desktop);
  const uint64_t visible = static_cast<uint64_t>(std::max<LONG>(desktop.bottom, 1));
  // The usual 480-of-525 proportion of a display's lines.
  return Timing{visible, visible * 525 / 480 + 1};
}

// When the blank of the frame holding `now` begins (microseconds).
uint64_t BlankStartOfFrame(uint64_t now, const Timing& t) {
  const uint64_t frameStart = now - now % kFrameMicros;
  return frameStart + (t.visibleLines * kFrameMicros + t.totalLines - 1) / t.totalLines;
}

void WaitUntil(uint64_t target) {
  if (clock::IsVirtual()) {
    clock::AdvanceVirtualTo(target);
    return;
  }
  for (uint64_t now = clock::NowMicroseconds(); now < target; now = clock::NowMicroseconds()) {
    const uint64_t left = target - now;
    Sleep(left > 1500 ? static_cast<DWORD>((left - 500) / 1000) : 0);
  }
}

}  // namespace

DWORD CurrentScanLine() {
  const Timing t = CurrentTiming();
  const uint64_t phase = clock::NowMicroseconds() % kFrameMicros;
  return static_cast<DWORD>(phase * t.totalLines / kFrameMicros);
}

bool InVerticalBlank() { return CurrentScanLine() >= CurrentTiming().visibleLines; }

void WaitBlankBegin() {
  const Timing t = CurrentTiming();
  const uint64_t now = clock::NowMicroseconds();
  uint64_t target = BlankStartOfFrame(now, t);
  if (target <= now) target += kFrameMicros;  // in (or past) this frame's blank: the next one
  WaitUntil(target);
}

void WaitBlankEnd() {
  const uint64_t now = clock::NowMicroseconds();
  WaitUntil(now - now % kFrameMicros + kFrameMicros);
}

}  // namespace plat::ddraw

// The display measurement after a mode change: which copy between surfaces is faster (GDI BitBlt or
// DirectDraw BltFast, timed warm and over several rounds; the virtual clock takes BltFast), and the time of one display frame from the scan line, from which the
// window-mode frame pacing follows. Every poll of the display is bounded in time and treats a failed
// query as "the blank has begun", so a display without scan-line support cannot hang the change.
// Depends on the screen state, the system report (OS code) and the clocks.
#include <algorithm>

#include "orbel/core/clock_random.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/system_report.h"
#include "orbel/graphics/display_mode.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/gdi/gdi_dib.h"
#include "platform/win/user/user_system.h"

namespace orbel {

namespace {

constexpr uint32_t kPollLimitMs = 100;       // longest single wait on the display
constexpr int kMeasureRounds = 5;
constexpr int kSamplesKnownRefresh = 4;
constexpr int kSamplesUnknownRefresh = 20;
constexpr int kMaxSamples = kSamplesUnknownRefresh;

// Set when the display could not answer a query: the samples then measure nothing.
bool g_queryFailed = false;

bool InBlank(plat::IDirectDraw7* dd) {
  plat::BOOL blank = 0;
  if (dd->GetVerticalBlankStatus(&blank) != plat::DD_OK) {
    g_queryFailed = true;
    return true;
  }
  return blank != 0;
}

// The scan line, or -1 when the display cannot tell.
long ScanLine(plat::IDirectDraw7* dd) {
  plat::DWORD line = 0;
  if (dd->GetScanLine(&line) != plat::DD_OK) {
    g_queryFailed = true;
    return -1;
  }
  return static_cast<long>(line);
}

// Polls while the display is in its vertical blank.
void WaitWhileInBlank(plat::IDirectDraw7* dd) {
  const uint32_t start = plat::timeGetTime();
  while (InBlank(dd) && plat::timeGetTime() - start < kPollLimitMs) {
  }
}

// Polls until the scan line wraps to a new frame or the blank begins.
void WaitForFrameStart(plat::IDirectDraw7* dd) {
  const uint32_t start = plat::timeGetTime();
  const long a = ScanLine(dd);
  if (a < 0) return;
  while (plat::timeGetTime() - start < kPollLimitMs) {
    if (InBlank(dd)) return;
    const long b = ScanLine(dd);
    if (b < 0 || b < a) return;
  }
}

// The two surfaces a copy-method round copies between, and the size of the copied block (pixels).
struct ScreenCopyPair {
  plat::IDirectDrawSurface7* work;
  plat::IDirectDrawSurface7* source;
  int width;
  int height;
};

// Rounds of each copy method timed on the real clock.
constexpr int kCopyRounds = 4;

// The time of two copies of the block with one method (high-resolution counts, microseconds).
double TimeCopyPair(const ScreenCopyPair& p, uint32_t method) {
  const uint64_t start = GetHighResolutionCount(0);
  if (method == kCopyMethodBltFast) {
    plat::RECT rect = {0, 0, p.width, p.height};
    p.work->BltFast(0, 0, p.source, &rect, plat::DDBLTFAST_NOCOLORKEY);
    p.work->BltFast(0, 0, p.source, &rect, plat::DDBLTFAST_NOCOLORKEY);
  } else {
    plat::HDC workDc = nullptr;
    plat::HDC sourceDc = nullptr;
    if (p.work->GetDC(&workDc) == plat::DD_OK) {
      if (p.source->GetDC(&sourceDc) == plat::DD_OK) {
        plat::BitBlt(workDc, 0, 0, p.width, p.height, sourceDc, 0, 0, plat::SRCCOPY);
        plat::BitBlt(workDc, 0, 0, p.width, p.height, sourceDc, 0, 0, plat::SRCCOPY);
        p.source->ReleaseDC(sourceDc);
      }
      p.work->ReleaseDC(workDc);
    }
  }
  return static_cast<double>(GetHighResolutionCount(0) - start);
}

}  // namespace

int FramePacingFromFrameTime(int frameTime) { return frameTime < 0 ? -1 : (2 * frameTime - 4) / 3; }

int FindRepeatedFrameSample(const int* samples, int count) {
  for (int i = 0; i + 1 < count; ++i) {
    for (int j = i + 1; j < count; ++j) {
      if (samples[j] == samples[i]) return samples[i];
    }
  }
  return -1;
}

int MeasureScreenCopyMethod() {
  plat::IDirectDrawSurface7* source = gScreen.separateFrontSurface ? gScreen.frontSurface : gScreen.primarySurface;
  plat::IDirectDrawSurface7* work = gScreen.workSurface;
  if (source == nullptr || work == nullptr) return -1;
  int width = 0;
  int height = 0;
  GetScreenPixelSize(&width, &height);
  const ScreenCopyPair pair = {work, source, width / 2, height / 2};

  // The virtual clock stands still, so its times tie and say nothing: the direct copy is taken.
  const bool virtualClock = plat::clock::IsVirtual();
  double bltFastTime = 0;
  double bitBltTime = 0;
  if (virtualClock) {
    bltFastTime = TimeCopyPair(pair, kCopyMethodBltFast);
    bitBltTime = TimeCopyPair(pair, kCopyMethodBitBlt);
  } else {
    // One untimed pair of each first, so that neither is timed on cold surfaces; then the best of
    // several rounds, their order alternating, so that one stall does not decide.
    TimeCopyPair(pair, kCopyMethodBltFast);
    TimeCopyPair(pair, kCopyMethodBitBlt);
    bltFastTime = TimeCopyPair(pair, kCopyMethodBltFast);
    bitBltTime = TimeCopyPair(pair, kCopyMethodBitBlt);
    for (int round = 1; round < kCopyRounds; ++round) {
      const bool bitBltFirst = (round & 1) != 0;
      if (bitBltFirst) bitBltTime = std::min(bitBltTime, TimeCopyPair(pair, kCopyMethodBitBlt));
      bltFastTime = std::min(bltFastTime, TimeCopyPair(pair, kCopyMethodBltFast));
      if (!bitBltFirst) bitBltTime = std::min(bitBltTime, TimeCopyPair(pair, kCopyMethodBitBlt));
    }
  }
  // BitBlt wins a tie on the real clock.
  gScreen.copyMethod = !virtualClock && bitBltTime <= bltFastTime ? kCopyMethodBitBlt : kCopyMethodBltFast;
  LogFmtAdd("サーフェス間転送には %s を使用します", gScreen.copyMethod == kCopyMethodBitBlt ? "BitBlt" : "BltFast");
  LogFmtAdd("BitBlt:%.0lfμs   BltFast:%.0lfμs", bitBltTime, bltFastTime);
  return 0;
}

int MeasureFrameTime() {
  bool refreshKnown = false;
  if (GetOsCode() >= kOsWindowsNT351) {
    const plat::HDC dc = plat::GetDC(gWindow.window);
    refreshKnown = plat::GetDeviceCaps(dc, plat::VREFRESH) >= 60;
    plat::ReleaseDC(gWindow.window, dc);
  }
  gScreen.frameTime = -1;
  if (SoftwareRendering() || gScreen.directDraw == nullptr) {
    gScreen.framePacing = -1;
    return 0;
  }
  plat::IDirectDraw7* dd = gScreen.directDraw;
  g_queryFailed = false;
  const int sampleCount = refreshKnown ? kSamplesKnownRefresh : kSamplesUnknownRefresh;
  LogFmtAdd("スキャンラインの数:%d", plat::GetSystemMetrics(plat::SM_CYSCREEN));

  for (int i = 0; i < 3; ++i) {
    WaitForFrameStart(dd);
    WaitWhileInBlank(dd);
  }
  WaitForFrameStart(dd);

  int samples[kMaxSamples] = {};
  for (int round = 1;; ++round) {
    for (int i = 0; i < sampleCount; ++i) {
      const uint32_t t = plat::timeGetTime();
      WaitWhileInBlank(dd);
      WaitForFrameStart(dd);
      samples[i] = static_cast<int>(plat::timeGetTime() - t);
    }
    // A display that cannot report its scan line or blank gives no frame time.
    if (round == kMeasureRounds || g_queryFailed) {
      LogAdd("１フレームの時間を正常に取得できませんでした\n");
      break;
    }
    gScreen.frameTime = FindRepeatedFrameSample(samples, sampleCount);
    if (gScreen.frameTime >= 0) {
      LogFmtAdd("１フレーム当たりの時間は %d msecです", gScreen.frameTime);
      break;
    }
  }
  for (int i = 0; i < sampleCount; ++i) LogFmtAdd("\tTri%02d:%d msec", i, samples[i]);
  gScreen.framePacing = FramePacingFromFrameTime(gScreen.frameTime);
  return 0;
}

}  // namespace orbel

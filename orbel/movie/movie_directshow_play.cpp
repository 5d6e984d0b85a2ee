// DirectShow movies while open: the frame update (at most one sample update per presented frame unless
// 18 ms have passed, the next frame prepared asynchronously while the program draws), the end of the
// stream, pause and resume, surface restore, the release before a display change and the re-open after
// it, and the overlay placed on the window. Main thread only.
#include <cstring>

#include "orbel/core/clock_random.h"
#include "orbel/core/main_window.h"
#include "orbel/core/memory.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/movie/movie_directshow.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/kernel/sync.h"

namespace orbel {
namespace {

using namespace plat;

constexpr uint32_t kLoopBit = 2;
constexpr uint32_t kSameFrameMs = 17;  // a second update within one presented frame waits this long

bool Released(const MovieHandleRecord* m) { return m->directShow.surface4 == nullptr && m->directShow.surface7 == nullptr; }

bool StreamRunning(const MovieHandleRecord* m) {
  STREAM_STATE state = STREAMSTATE_STOP;
  m->directShow.multiMediaStream->GetState(&state);
  return state == STREAMSTATE_RUN;
}

// Copies the sample surface into the frame image area (modes 0 and 2); a failed lock skips the copy.
void CopySampleToFrameImage(MovieHandleRecord* m) {
  GraphImage& area = m->frameImageArea;
  if (area.pixels == nullptr || m->yuvSample != 0 || m->directShow.surface4 == nullptr) return;
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof(desc);
  if (m->directShow.surface4->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK) return;
  const size_t rowBytes = static_cast<size_t>(area.format.bytesPerPixel) * area.width;
  const auto* from = static_cast<const uint8_t*>(desc.lpSurface);
  auto* to = static_cast<uint8_t*>(area.pixels);
  for (uint32_t row = 0; row < area.height; ++row) {
    memcpy(to + static_cast<size_t>(row) * area.pitch, from + static_cast<ptrdiff_t>(row) * desc.lPitch, rowBytes);
  }
  m->directShow.surface4->Unlock(nullptr);
}

// A frame is in the sample surface: into the frame image, to the graph, and noted.
void TakeFrame(MovieHandleRecord* m) {
  DirectShowMovieState& d = m->directShow;
  CopySampleToFrameImage(m);
  if (m->presentationMode != 1 && m->callback != nullptr) m->callback(m, m->callbackArgument);
  d.lastUpdateFrame = GetFrameCounter();
  d.lastUpdateTime = GetNowMilliCount();
  ResetEvent(d.updateEvent);
  d.updatePending = 0;
  m->frameUpdated = 1;
}

// The sample updates of one frame update: 0 when the caller goes on taking the frame, -1 when it returns.
int StartSampleUpdate(MovieHandleRecord* m, int force) {
  DirectShowMovieState& d = m->directShow;
  const HRESULT result = d.sample->Update(0, force ? nullptr : d.updateEvent, nullptr, 0);
  if (result == MS_S_PENDING) {
    d.updatePending = 1;
    return -1;
  }
  if (result == 0) return 0;
  // The end of the stream, or an error.
  if (m->playType & kLoopBit) {
    d.multiMediaStream->Seek(0);
    d.multiMediaStream->SetState(STREAMSTATE_RUN);
    d.lastUpdateFrame = ~uint64_t{0};
    d.lastUpdateTime = ~uint32_t{0};
  } else {
    m->playingWanted = 0;
    m->stopped = 1;
  }
  return -1;
}

// The first frame of a film that does not play: one update at once per open. Whatever it gives, the film
// stays as it is: stopping at the end, or going back and running with the loop bit, is for a film that
// plays, and a failure tried at every draw would cost a decode each time.
void ShowFirstFrame(MovieHandleRecord* m) {
  DirectShowMovieState& d = m->directShow;
  d.firstFrameTried = 1;
  if (d.sample->Update(0, nullptr, nullptr, 0) == 0) TakeFrame(m);
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

RECT Intersect(const RECT& a, const RECT& b) {
  return RECT{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top, a.right < b.right ? a.right : b.right,
              a.bottom < b.bottom ? a.bottom : b.bottom};
}

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

// `value` mod `step`, never negative.
LONG Mod(LONG value, DWORD step) {
  const auto s = static_cast<LONG>(step);
  return ((value % s) + s) % s;
}

}  // namespace

int Movie_UpdateDirectShowFrame(MovieHandleRecord* m, int force) {
  DirectShowMovieState& d = m->directShow;
  if (Released(m)) return 0;
  const bool running = StreamRunning(m);
  if (!force) {
    if (m->playingWanted != 1 || m->stopped != 0 || !running) {
      // A movie that does not play shows the frame at its position: taken once after each open, then
      // handed to the graph again on each draw, so a graph made anew or restored shows it too.
      if (m->frameUpdated == 0) {
        if (!d.firstFrameTried) ShowFirstFrame(m);
        return 0;
      }
      if (m->presentationMode != 1 && m->callback != nullptr) m->callback(m, m->callbackArgument);
      return 0;
    }
    if (GetFrameCounter() == d.lastUpdateFrame && GetNowMilliCount() - d.lastUpdateTime <= kSameFrameMs) return 0;
  }
  bool frameReady = false;
  if (d.updatePending && !force) {
    if (WaitForSingleObject(d.updateEvent, 0) != WAIT_OBJECT_0) return 0;
    frameReady = true;  // the pending update has ended
  }
  for (int frames = 0; frames < 2; ++frames) {
    if (!frameReady && StartSampleUpdate(m, force) != 0) return 0;
    frameReady = false;
    TakeFrame(m);
    if (force) return 0;
  }
  return 0;
}

int Movie_PauseDirectShow(MovieHandleRecord* m) {
  if (Released(m)) return 0;
  m->directShow.mediaControl->Pause();
  return 1;
}

int Movie_ResumeDirectShow(MovieHandleRecord* m) {
  if (Released(m)) return 0;
  m->directShow.multiMediaStream->SetState(STREAMSTATE_RUN);
  return 1;
}

int RestoreMovieSurface(int movie) {
  MovieHandleRecord* m = GetMovieData(movie);
  if (m == nullptr || m->isTheora) return 0;
  DirectShowMovieState& d = m->directShow;
  if (d.surface4 != nullptr && d.surface4->IsLost() == DDERR_SURFACELOST) d.surface4->Restore();
  if (d.surface7 != nullptr && d.surface7->IsLost() == DDERR_SURFACELOST) d.surface7->Restore();
  return 0;
}

uint32_t ReleaseAllMovieStreams() {
  for (int i = 0; i < kMovieMax; ++i) {
    MovieHandleRecord* m = GetMovieData(MovieSlotHandle(i));
    if (m == nullptr || m->isTheora || Released(m)) continue;
    STREAM_TIME time = 0;
    m->directShow.multiMediaStream->GetTime(&time);
    m->directShow.savedStreamTime = time;
    ReleaseMovieStreams(m);
  }
  return 0;
}

int ReopenAllMovie() {
  for (int i = 0; i < kMovieMax; ++i) {
    MovieHandleRecord* m = GetMovieData(MovieSlotHandle(i));
    if (m == nullptr || m->isTheora || !Released(m)) continue;
    MemFree(m->frameImageArea.pixels);
    m->frameImageArea.pixels = nullptr;
    CloseMovieEvent(m);
    char path[kFilePathMax];
    memcpy(path, m->directShow.openedPath, sizeof(path));
    if (Movie_OpenDirectShow(GetDirectDrawObject(), m, path, nullptr, nullptr,
                             static_cast<int>(m->presentationMode)) == -1) {
      return -1;
    }
    m->directShow.multiMediaStream->Seek(m->directShow.savedStreamTime);
    if (!m->stopped) m->directShow.multiMediaStream->SetState(STREAMSTATE_RUN);
  }
  return 0;
}

// ---- The overlay on the window ----------------------------------------------------------------------

MovieOverlayPlace PlaceMovieOverlay(int width, int height, int x, int y, int scale, int shown, int clipKind,
                                    const RECT& clipBox, const RECT& client, const DDCAPS& caps) {
  MovieOverlayPlace place{};
  if (scale < 1) scale = 1;  // a scale below one (none yet, or a shrinking stretch) shows the frame 1:1
  RECT source{0, 0, width, height};
  RECT destination{x, y, x + width * scale, y + height * scale};
  RECT visible = destination;
  if (clipKind != 0) {
    if (clipKind == SIMPLEREGION) {
      visible = Intersect(visible, clipBox);
    } else {
      shown = 0;
    }
  }
  for (RECT* r : {&destination, &visible}) {
    r->left += client.left;
    r->right += client.left;
    r->top += client.top;
    r->bottom += client.top;
  }
  visible = Intersect(visible, client);
  if (Empty(visible)) shown = 0;
  if (shown == 0) return place;

  const LONG cutLeft = (visible.left - destination.left) / scale;
  const LONG cutRight = (destination.right - visible.right) / scale;
  source.left += cutLeft;
  source.top += (visible.top - destination.top) / scale;
  source.right -= cutRight;
  source.bottom -= (destination.bottom - visible.bottom) / scale;
  destination = visible;
  LONG sourceWidth = width - cutLeft - cutRight;
  LONG wide = static_cast<LONG>(width) * scale;

  if ((caps.dwCaps & DDCAPS_ALIGNBOUNDARYSRC) && caps.dwAlignBoundarySrc != 0) {
    const LONG r = Mod(source.left, caps.dwAlignBoundarySrc);
    source.left -= r;
    sourceWidth -= r;
  }
  if ((caps.dwCaps & DDCAPS_ALIGNSIZESRC) && caps.dwAlignSizeSrc != 0) source.right -= Mod(sourceWidth, caps.dwAlignSizeSrc);
  if ((caps.dwCaps & DDCAPS_ALIGNBOUNDARYDEST) && caps.dwAlignBoundaryDest != 0) {
    const LONG r = Mod(destination.left, caps.dwAlignBoundaryDest);
    destination.left -= r;
    wide -= r;
  }
  if ((caps.dwCaps & DDCAPS_ALIGNSIZEDEST) && caps.dwAlignSizeDest != 0) {
    const LONG r = Mod(wide, caps.dwAlignSizeDest);
    destination.right -= r;
    wide -= r;
  }
  if (wide <= 0) return place;
  place.source = source;
  place.destination = destination;
  place.shown = 1;
  return place;
}

void HideMovieOverlay(MovieHandleRecord* m) {
  DirectShowMovieState& d = m->directShow;
  if (d.surface7 != nullptr) d.surface7->UpdateOverlay(nullptr, GetFlipTargetSurface(), nullptr, DDOVER_HIDE);
  d.overlaySource = RECT{};
  d.overlayDestination = RECT{};
}

int DrawMovieToWindow(int x, int y, int scale, int movie, int shown) {
  MovieHandleRecord* m = GetMovieData(movie);
  if (m == nullptr) return -1;
  if (m->isTheora || m->presentationMode != 1 || m->frameUpdated == 0 || Released(m)) return 0;
  DirectShowMovieState& d = m->directShow;
  int clipKind = 0;
  RECT box{};
  if (GetWindowModeFlag()) {
    const HWND window = GetMainWindowHandle();
    const HDC dc = GetDC(window);
    clipKind = GetClipBox(dc, &box);
    if (clipKind == 0) clipKind = NULLREGION;  // no box to be had: nothing is visible
    ReleaseDC(window, dc);
  }
  RECT client{};
  GetMainWindowSize(&client);
  DDCAPS caps{};
  CopyDisplayModeInfo(reinterpret_cast<uint32_t*>(&caps));
  const MovieOverlayPlace place = PlaceMovieOverlay(m->width, m->height, x, y, scale, shown, clipKind, box, client, caps);
  if (place.shown == 0) {
    HideMovieOverlay(m);
  } else if (!(d.windowShown && SameRect(place.source, d.overlaySource) &&
               SameRect(place.destination, d.overlayDestination))) {
    RECT source = place.source;
    RECT destination = place.destination;
    d.surface7->UpdateOverlay(&source, GetFlipTargetSurface(), &destination, DDOVER_SHOW);
    d.overlaySource = place.source;
    d.overlayDestination = place.destination;
  }
  d.windowX = x;
  d.windowY = y;
  d.windowScale = scale;
  d.windowShown = place.shown;
  return 0;
}

uint32_t DrawAllMovieToWindow() {
  for (int i = 0; i < kMovieMax; ++i) {
    const int movie = MovieSlotHandle(i);
    const MovieHandleRecord* m = GetMovieData(movie);
    if (m == nullptr || m->isTheora || m->presentationMode != 1) continue;
    DrawMovieToWindow(m->directShow.windowX, m->directShow.windowY, m->directShow.windowScale, movie,
                      m->directShow.windowShown);
  }
  return 0;
}

}  // namespace orbel

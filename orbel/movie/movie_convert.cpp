// Movie frame conversion: the YUV-to-RGB tables built at start-up, the Theora YUV surface (a FourCC
// DirectDraw surface, when the display offers one), and the on-demand conversion of the current frame
// into the RGB image and the YUV surface. Only the picture region is converted, never the padding of
// the coded frame, and only from planes that hold the whole region (a dropped frame holds none). Main
// thread; it waits on the decode thread for the frame and pins its stock slot.
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/movie/movie_record.h"
#include "platform/ddraw/ddraw.h"

namespace orbel {
namespace {

YuvToRgbTables gTables{};

constexpr int kScale = 16384;  // table units per 1.0
constexpr int kYuvLockTries = 3;

inline uint8_t Clamp(int value) { return gTables.clamp[value / kScale + kClampOffset]; }

// The integer road for 4:2:0: per pixel one luma look-up and three clamp look-ups; the chroma terms are
// shared by the pixels of a pair.
void ConvertRows420(const YuvPlanes& p, const PictureRegion& r, uint8_t* out, int pitch) {
  for (int row = 0; row < r.height; ++row) {
    const int sy = r.y + row;
    const uint8_t* ys = p.y + static_cast<ptrdiff_t>(sy) * p.yStride + r.x;
    const uint8_t* us = p.u + static_cast<ptrdiff_t>(sy >> 1) * p.uvStride;
    const uint8_t* vs = p.v + static_cast<ptrdiff_t>(sy >> 1) * p.uvStride;
    uint8_t* d = out + static_cast<ptrdiff_t>(row) * pitch;
    int col = 0;
    while (col < r.width) {
      const int cx = (r.x + col) >> 1;
      const int cb = us[cx];
      const int cr = vs[cx];
      const int red = gTables.crToRed[cr];
      const int green = gTables.cbToGreen[cb] + gTables.crToGreen[cr];
      const int blue = gTables.cbToBlue[cb];
      // Both pixels of the chroma pair when the pair starts here, else the one left in it.
      const int run = ((r.x + col) & 1) == 0 && col + 1 < r.width ? 2 : 1;
      for (int k = 0; k < run; ++k, ++col, d += 4) {
        const int luma = gTables.luma[ys[col]];
        d[0] = Clamp(luma + blue);
        d[1] = Clamp(luma + green);
        d[2] = Clamp(luma + red);
        d[3] = 255;
      }
    }
  }
}

uint8_t Limit(float value) {
  const int v = static_cast<int>(value);  // toward zero
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// The floating-point road for other layouts, the chroma taken at its own subsampling.
void ConvertRowsFloat(const YuvPlanes& p, const PictureRegion& r, uint8_t* out, int pitch) {
  const int hShift = p.uvWidth < p.yWidth ? 1 : 0;
  const int vShift = p.uvHeight < p.yHeight ? 1 : 0;
  for (int row = 0; row < r.height; ++row) {
    const int sy = r.y + row;
    const uint8_t* ys = p.y + static_cast<ptrdiff_t>(sy) * p.yStride;
    const ptrdiff_t chromaRow = static_cast<ptrdiff_t>(sy >> vShift) * p.uvStride;
    uint8_t* d = out + static_cast<ptrdiff_t>(row) * pitch;
    for (int col = 0; col < r.width; ++col, d += 4) {
      const int sx = r.x + col;
      const float y = static_cast<float>(ys[sx] - 16) * 1.164f;
      const float cb = static_cast<float>(p.u[chromaRow + (sx >> hShift)] - 128);
      const float cr = static_cast<float>(p.v[chromaRow + (sx >> hShift)] - 128);
      d[0] = Limit(y + 2.018f * cb);
      d[1] = Limit(y - 0.391f * cb - 0.813f * cr);
      d[2] = Limit(y + 1.596f * cr);
      d[3] = 255;
    }
  }
}

// The slot of the current frame, pinned; null when it cannot be had (thread ended, end of the file).
TheoraFrameStockSlot* PinCurrentFrame(TheoraMovieRecord* th) {
  std::unique_lock<std::mutex> lock(th->lock);
  for (;;) {
    if (th->state.load(std::memory_order_acquire) == kTheoraEnded) return nullptr;
    const bool seeking = th->seekRequest.load(std::memory_order_acquire) != 0 ||
                         th->state.load(std::memory_order_acquire) == kTheoraSeeking;
    if (!seeking) {
      const int c = th->currentFrame.load(std::memory_order_acquire);
      for (int i = 0; i < th->stockSize; ++i) {
        TheoraFrameStockSlot& s = th->stock[i];
        if (s.inUse && s.frameNumber == c) {
          s.pinned = 1;
          return &s;
        }
      }
      if (th->endReached.load(std::memory_order_acquire)) return nullptr;
      // The thread went idle having seen this frame without stocking it: nothing more will come.
      if (th->state.load(std::memory_order_acquire) == kTheoraStockFull && th->idleFrame == c) return nullptr;
    }
    th->changed.wait(lock);
  }
}

void Unpin(TheoraMovieRecord* th, TheoraFrameStockSlot* s) {
  std::lock_guard<std::mutex> lock(th->lock);
  s->pinned = 0;
  ++th->mainGeneration;  // a drop the pin held back may now be due
  th->idleFrame = -1;
  th->changed.notify_all();
}

YuvPlanes SlotPlanes(const TheoraFrameStockSlot& s) {
  return {s.y, s.u, s.v, s.yWidth, s.uvWidth, s.yWidth, s.yHeight, s.uvWidth, s.uvHeight};
}

PictureRegion Region(const TheoraMovieRecord* th) {
  return {static_cast<int>(th->info.offset_x), static_cast<int>(th->info.offset_y),
          static_cast<int>(th->info.frame_width), static_cast<int>(th->info.frame_height)};
}

// The region of a 4:2:0 frame as planes of their own (even offsets keep the chroma pairs).
YuvPlanes RegionPlanes(const YuvPlanes& p, const PictureRegion& r) {
  const ptrdiff_t uvAt = static_cast<ptrdiff_t>(r.y >> 1) * p.uvStride + (r.x >> 1);
  return {p.y + static_cast<ptrdiff_t>(r.y) * p.yStride + r.x, p.u + uvAt, p.v + uvAt, p.yStride, p.uvStride,
          r.width, r.height, (r.width + 1) / 2, (r.height + 1) / 2};
}

void WriteYuvPart(TheoraMovieRecord* th, const TheoraFrameStockSlot& s) {
  for (int attempt = 0; attempt < kYuvLockTries; ++attempt) {
    if (th->yuvSurface == nullptr) return;  // re-creation failed: nothing to lock
    plat::DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    if (th->yuvSurface->Lock(nullptr, &desc, plat::DDLOCK_WRITEONLY, nullptr) != plat::DD_OK) {
      CreateTheoraYuvSurface(th);
      continue;
    }
    const YuvPlanes planes = SlotPlanes(s);
    if (planes.yWidth == 2 * planes.uvWidth && planes.yHeight == 2 * planes.uvHeight)
      WriteYuvSurface(RegionPlanes(planes, Region(th)), th->yuvFourCc, static_cast<uint8_t*>(desc.lpSurface),
                      desc.lPitch);
    th->yuvSurface->Unlock(nullptr);
    th->yuvConverted = 1;
    return;
  }
}

// One line per movie once the thread has dropped a picture: a damaged film says so once, not per frame.
void LogDroppedFrames(TheoraMovieRecord* th) {
  if (th->droppedLogged || th->droppedFrames.load(std::memory_order_relaxed) == 0) return;
  th->droppedLogged = 1;
  LogAdd("Theora ムービーのフレームがストリームの情報と合わないため破棄しました\n");
}

}  // namespace

// ---- Checks -----------------------------------------------------------------------------------------

bool PlanesCoverRegion(const YuvPlanes& p, const PictureRegion& r) {
  if (p.y == nullptr || p.u == nullptr || p.v == nullptr) return false;
  if (r.x < 0 || r.y < 0 || r.width <= 0 || r.height <= 0) return false;
  if (p.yStride < p.yWidth || p.uvStride < p.uvWidth) return false;
  const int64_t right = static_cast<int64_t>(r.x) + r.width - 1;  // last column and row read
  const int64_t bottom = static_cast<int64_t>(r.y) + r.height - 1;
  if (right >= p.yWidth || bottom >= p.yHeight) return false;
  // Chroma as the conversions take it: halved where the chroma plane is smaller than the luma plane.
  const int hShift = p.uvWidth < p.yWidth ? 1 : 0;
  const int vShift = p.uvHeight < p.yHeight ? 1 : 0;
  return (right >> hShift) < p.uvWidth && (bottom >> vShift) < p.uvHeight;
}

// ---- Tables -----------------------------------------------------------------------------------------

int InitYuvToRgbTable() {
  for (int i = -kClampOffset; i < 1280 - kClampOffset; ++i)
    gTables.clamp[i + kClampOffset] = static_cast<uint8_t>(i < 0 ? 0 : (i > 255 ? 255 : i));
  for (int i = 0; i < 256; ++i) {
    gTables.crToRed[i] = 26148 * (i - 128);
    gTables.cbToGreen[i] = -6406 * (i - 128);
    gTables.crToGreen[i] = -13320 * (i - 128);
    gTables.cbToBlue[i] = 33062 * (i - 128);
    gTables.luma[i] = 19070 * (i - 16);
  }
  return 0;
}

const YuvToRgbTables& GetYuvToRgbTables() { return gTables; }

void YuvToBgrTable(int y, int cb, int cr, uint8_t bgr[3]) {
  const int luma = gTables.luma[y];
  bgr[0] = Clamp(luma + gTables.cbToBlue[cb]);
  bgr[1] = Clamp(luma + gTables.cbToGreen[cb] + gTables.crToGreen[cr]);
  bgr[2] = Clamp(luma + gTables.crToRed[cr]);
}

// ---- Pure writers -----------------------------------------------------------------------------------

bool ConvertYuvToBgrx(const YuvPlanes& planes, const PictureRegion& region, uint8_t* out, int pitch) {
  if (!PlanesCoverRegion(planes, region)) return false;
  if (planes.yWidth == 2 * planes.uvWidth && planes.yHeight == 2 * planes.uvHeight) {
    ConvertRows420(planes, region, out, pitch);
  } else {
    ConvertRowsFloat(planes, region, out, pitch);
  }
  return true;
}

bool WriteYuvSurface(const YuvPlanes& p, uint32_t fourCc, uint8_t* surface, int pitch) {
  if (fourCc == kFourCcYv12) {
    for (int row = 0; row < p.yHeight; ++row)
      std::memcpy(surface + static_cast<ptrdiff_t>(row) * pitch, p.y + static_cast<ptrdiff_t>(row) * p.yStride, p.yWidth);
    uint8_t* vRows = surface + static_cast<ptrdiff_t>(pitch) * p.yHeight;
    uint8_t* uRows = vRows + static_cast<ptrdiff_t>(pitch / 2) * p.uvHeight;
    for (int row = 0; row < p.uvHeight; ++row) {
      std::memcpy(vRows + static_cast<ptrdiff_t>(row) * (pitch / 2), p.v + static_cast<ptrdiff_t>(row) * p.uvStride, p.uvWidth);
      std::memcpy(uRows + static_cast<ptrdiff_t>(row) * (pitch / 2), p.u + static_cast<ptrdiff_t>(row) * p.uvStride, p.uvWidth);
    }
    return true;
  }
  if (fourCc != kFourCcYuy2 && fourCc != kFourCcUyvy) return false;
  const bool uyvy = fourCc == kFourCcUyvy;
  for (int row = 0; row < p.yHeight; ++row) {
    const uint8_t* ys = p.y + static_cast<ptrdiff_t>(row) * p.yStride;
    const ptrdiff_t c = static_cast<ptrdiff_t>(row >> 1) * p.uvStride;
    uint8_t* d = surface + static_cast<ptrdiff_t>(row) * pitch;
    for (int col = 0; col + 1 < p.yWidth; col += 2, d += 4) {
      const uint8_t cb = p.u[c + (col >> 1)];
      const uint8_t cr = p.v[c + (col >> 1)];
      if (uyvy) {
        d[0] = cb, d[1] = ys[col], d[2] = cr, d[3] = ys[col + 1];
      } else {
        d[0] = ys[col], d[1] = cb, d[2] = ys[col + 1], d[3] = cr;
      }
    }
  }
  return true;
}

// ---- The Theora targets -----------------------------------------------------------------------------

void CreateTheoraYuvSurface(TheoraMovieRecord* th) {
  if (th->yuvSurface != nullptr) th->yuvSurface->Release();
  th->yuvSurface = nullptr;
  plat::IDirectDraw7* dd = GetDirectDrawObject();
  if (dd == nullptr) return;
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = plat::DDSD_CAPS | plat::DDSD_HEIGHT | plat::DDSD_WIDTH | plat::DDSD_PIXELFORMAT;
  desc.dwWidth = th->info.frame_width;
  desc.dwHeight = th->info.frame_height;
  desc.ddsCaps.dwCaps = plat::DDSCAPS_VIDEOMEMORY;
  desc.ddpfPixelFormat.dwSize = sizeof(plat::DDPIXELFORMAT);
  desc.ddpfPixelFormat.dwFlags = plat::DDPF_FOURCC;
  for (const uint32_t code : {kFourCcYv12, kFourCcYuy2, kFourCcUyvy}) {
    th->yuvFourCc = code;
    desc.ddpfPixelFormat.dwFourCC = code;
    if (dd->CreateSurface(&desc, &th->yuvSurface, nullptr) == plat::DD_OK && th->yuvSurface != nullptr) return;
    th->yuvSurface = nullptr;
  }
  th->yuvFourCc = 0;
}

int UpdateTheoraMovieFrameImage(TheoraMovieRecord* th, int wantRgb, int wantYuv) {
  if (th == nullptr || th->stock == nullptr) return 0;
  const bool yuvWork = wantYuv && !th->yuvConverted && th->yuvSurface != nullptr;
  const bool rgbWork = wantRgb && !th->rgbConverted;
  if (!yuvWork && !rgbWork) {
    // Already converted: the target holds the current frame, and the caller may copy it again.
    return (wantRgb && th->rgbConverted) || (wantYuv && th->yuvSurface != nullptr && th->yuvConverted) ? 1 : 0;
  }
  TheoraFrameStockSlot* slot = PinCurrentFrame(th);
  LogDroppedFrames(th);
  if (slot == nullptr) return 0;
  if (!PlanesCoverRegion(SlotPlanes(*slot), Region(th))) {
    Unpin(th, slot);  // a dropped frame: nothing to show
    return 0;
  }
  if (yuvWork) WriteYuvPart(th, *slot);
  if (rgbWork) {
    ConvertYuvToBgrx(SlotPlanes(*slot), Region(th), static_cast<uint8_t*>(th->rgbImage.pixels),
                     static_cast<int>(th->rgbImage.pitch));
    th->rgbConverted = 1;
  }
  Unpin(th, slot);
  return 1;
}

}  // namespace orbel

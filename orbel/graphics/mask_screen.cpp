// Mask handles and the mask screen. The use switch runs on every draw-screen selection (it sets the
// draw origin and the draw-screen size); the hooks copy the destination into a work buffer before a
// draw and merge it back through the mask afterwards. The mask buffer and the work buffers are indexed
// with draw-screen coordinates (the front screen's desktop shift applies to the screen surface only),
// and the mask bytes are read one at a time, so no read passes a row's end.
// Depends on the screen state, the draw state, the software renderer's memory images and DirectDraw.
#include "orbel/graphics/mask_screen.h"

#include <cstring>

#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/memory.h"
#include "orbel/core/log.h"
#include "orbel/core/message_pump.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/image/color_convert.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/handle_table.h"
#include "orbel/graphics/rect_math.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/image/color_data.h"
#include "platform/ddraw/ddraw.h"

namespace orbel {

namespace {

struct MaskRecord {
  uint32_t check;     // the handle's check bits
  uint8_t* pixels;    // tracked allocation, owned
  int32_t width;      // filled by the creator
  int32_t height;
  int32_t reserved[2];
  int32_t inUse;      // 1 = live
};

struct MaskScreenState {
  uint8_t* buffer;    // one byte a pixel, pitch x screen height, zero-filled when made
  int32_t pitch;      // screen width raised to a multiple of 4
  int32_t created;
  int32_t use;
  int32_t active;
  int32_t reverse;    // 0: a non-zero byte hides the pixel
  MemImg workImage;
  plat::IDirectDrawSurface7* workSurface;
  uint32_t colorKey;
  int32_t videoMemory;
  int32_t workImageMade;
};

MaskRecord g_masks[kMaskRecordCount];
uint32_t g_maskCheckCounter;
MaskScreenState g_mask;

bool Hides(uint8_t maskByte) { return g_mask.reverse ? maskByte == 0 : maskByte != 0; }

// The hook rectangle clipped to the draw area; false when nothing is left.
bool ClipToDrawArea(int left, int top, int right, int bottom, plat::RECT* out) {
  *out = {left, top, right, bottom};
  ClipRect(out, &gDrawState.drawArea);
  return out->right > out->left && out->bottom > out->top;
}

// The same rectangle on the draw surface: shifted by the client origin for the front screen in a window.
plat::RECT SurfaceRect(const plat::RECT& r) {
  int x = 0;
  int y = 0;
  GetDrawScreenOrigin(&x, &y);
  return {r.left + x, r.top + y, r.right + x, r.bottom + y};
}

// Writes the colour key over every pixel of `r` that the mask hides.
void KeyHiddenPixels(uint8_t* pixels, int pitch, int pixelBytes, const plat::RECT& r) {
  for (int y = r.top; y < r.bottom; ++y) {
    const uint8_t* mask = g_mask.buffer + static_cast<ptrdiff_t>(y) * g_mask.pitch;
    uint8_t* row = pixels + static_cast<ptrdiff_t>(y) * pitch;
    for (int x = r.left; x < r.right; ++x) {
      if (!Hides(mask[x])) continue;
      uint8_t* p = row + static_cast<ptrdiff_t>(x) * pixelBytes;
      if (pixelBytes == 4) {
        std::memcpy(p, &g_mask.colorKey, 4);
      } else if (pixelBytes == 2) {
        const uint16_t key = static_cast<uint16_t>(g_mask.colorKey);
        std::memcpy(p, &key, 2);
      } else {
        *p = static_cast<uint8_t>(g_mask.colorKey);
      }
    }
  }
}

int ScreenPixelBytes() {
  const int depth = gScreen.displayDepth ? static_cast<int>(gScreen.displayDepth) : 16;
  return depth / 8;
}

}  // namespace

// ---- Mask handles -----------------------------------------------------------------------------------

int MakeMaskData(int width, int height) {
  if (width <= 0 || height <= 0) return -1;
  for (int i = 0; i < kMaskRecordCount; ++i) {
    MaskRecord& m = g_masks[i];
    if (m.inUse) continue;
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
    m.pixels = static_cast<uint8_t*>(MemAlloc(static_cast<uint32_t>(size), __FILE__, __LINE__));
    if (m.pixels == nullptr) return -1;
    std::memset(m.pixels, 0, size);
    m.width = width;
    m.height = height;
    m.check = g_maskCheckCounter;
    g_maskCheckCounter = (g_maskCheckCounter + 1) & kHandleCheckMax;
    m.inUse = 1;
    return MakeHandle(m.check, kHandleKindMaskImage, static_cast<uint32_t>(i));
  }
  return -1;
}

int DeleteMaskData(int handle) {
  if (handle < 0 || HandleKind(handle) != kHandleKindMaskImage) return -1;
  const uint32_t index = HandleIndex(handle);
  if (index >= static_cast<uint32_t>(kMaskRecordCount)) return -1;
  MaskRecord& m = g_masks[index];
  if (!m.inUse || m.check != HandleCheck(handle)) return -1;
  if (m.pixels != nullptr) MemFree(m.pixels);
  const uint32_t check = m.check;
  m = MaskRecord{};
  m.check = check;
  return 0;
}

int DeleteAllMaskData() {
  for (int i = 0; i < kMaskRecordCount; ++i) {
    if (g_masks[i].inUse) DeleteMaskData(MakeHandle(g_masks[i].check, kHandleKindMaskImage, static_cast<uint32_t>(i)));
  }
  return 0;
}

void ResetMaskScreenForTest() {
  for (MaskRecord& m : g_masks) m = MaskRecord{};
  g_maskCheckCounter = 0;
  g_mask = MaskScreenState{};
}

// ---- Mask screen ------------------------------------------------------------------------------------

int GetMaskScreenUse() { return g_mask.use; }
plat::IDirectDrawSurface7* GetMaskSurface() { return g_mask.workSurface; }
MemImg* GetMaskMemImg() { return g_mask.workImageMade ? &g_mask.workImage : nullptr; }
int IsMaskScreenActive() { return g_mask.active; }

int CreateMaskScreenBuffer(int create) {
  if (create == 0) return 0;
  int width = 0;
  int height = 0;
  GetScreenPixelSize(&width, &height);
  if (g_mask.buffer == nullptr) {
    g_mask.pitch = (width + 3) / 4 * 4;
    const size_t size = static_cast<size_t>(g_mask.pitch) * static_cast<size_t>(height);
    g_mask.buffer = static_cast<uint8_t*>(MemAlloc(static_cast<uint32_t>(size), __FILE__, __LINE__));
    if (g_mask.buffer == nullptr) ErrorExitLibrary("マスク用 MEMIMG の作成に失敗しました");
    std::memset(g_mask.buffer, 0, size);
  }
  if (SoftwareScreenNot8Bit()) {
    if (!CheckValidMemImg(&g_mask.workImage) &&
        CreateMemImgScreenType(&g_mask.workImage, width, height, -1) != 0) {
      ErrorExitLibrary("マスク用 MEMIMG の作成に失敗しました");
    }
    g_mask.workImageMade = 1;
    g_mask.workSurface = nullptr;
    g_mask.videoMemory = 0;
    return 0;
  }
  if (g_mask.workSurface != nullptr) return 0;
  if (gScreen.directDraw == nullptr) ErrorExitLibrary("マスク用サーフェスの作成に失敗しました");
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = plat::DDSD_CAPS | plat::DDSD_WIDTH | plat::DDSD_HEIGHT;
  desc.ddsCaps.dwCaps = plat::DDSCAPS_OFFSCREENPLAIN |
                        (ScreensAreMemImgs() ? plat::DDSCAPS_SYSTEMMEMORY : plat::DDSCAPS_3DDEVICE);
  desc.dwWidth = static_cast<plat::DWORD>(width);
  desc.dwHeight = static_cast<plat::DWORD>(height);
  if (gScreen.directDraw->CreateSurface(&desc, &g_mask.workSurface, nullptr) != plat::DD_OK) {
    ErrorExitLibrary("マスク用サーフェスの作成に失敗しました");
  }
  plat::DDCOLORKEY key = {g_mask.colorKey, g_mask.colorKey};
  g_mask.workSurface->SetColorKey(plat::DDCKEY_SRCBLT, &key);
  plat::DDSCAPS2 caps{};
  g_mask.workSurface->GetCaps(&caps);
  g_mask.videoMemory = (caps.dwCaps & plat::DDSCAPS_VIDEOMEMORY) ? 1 : 0;
  g_mask.workImageMade = 0;
  return 0;
}

int ReleaseMaskScreenBuffer() {
  if (g_mask.buffer != nullptr) MemFree(g_mask.buffer);
  g_mask.buffer = nullptr;
  if (g_mask.workImageMade) TerminateMemImg(&g_mask.workImage);
  g_mask.workImage = MemImg{};
  g_mask.workImageMade = 0;
  if (g_mask.workSurface != nullptr) g_mask.workSurface->Release();
  g_mask.workSurface = nullptr;
  return 0;
}

int SetMaskScreenUse(int use) {
  if (use != 0 && g_mask.buffer == nullptr) return -1;
  g_mask.use = use;
  g_mask.active = use != 0 && g_mask.created ? 1 : 0;

  if (!g_mask.active) {
    GetDrawScreenOrigin(&gDrawState.drawOriginX, &gDrawState.drawOriginY);
  } else {
    gDrawState.drawOriginX = 0;
    gDrawState.drawOriginY = 0;
  }
  int width = 0;
  int height = 0;
  if (GetGraphExtent(gDrawState.drawScreen, &width, &height) == 0) {
    gDrawState.drawScreenWidth = width;
    gDrawState.drawScreenHeight = height;
  }
  if (IsDirect3DAvailable()) {
    D3D_FlushVertex();
    D3D_SetRenderTarget(use != 0 && g_mask.workSurface != nullptr ? g_mask.workSurface : GetActiveDrawSurface());
    if (GetActiveDrawSurface() == GetPrimarySurface() && use != 0) {
      D3D_ClearTarget2DFlag();
      const plat::RECT& a = gDrawState.drawArea;
      if (D3D_SetViewport(a.left, a.top, a.right - a.left, a.bottom - a.top) != 0) {
        LogAdd("ビューポートのセットに失敗しました\n");
        return -1;
      }
    } else if (!gDrawState.drawAreaEmpty && D3D_SetDrawArea(&gDrawState.drawArea) != 0) {
      LogAdd("ビューポートのセットに失敗しました\n");
      return -1;
    }
  }
  return 0;
}

int CreateMaskScreen() {
  CreateMaskScreenBuffer(1);
  g_mask.created = 1;
  return 0;
}

uint8_t* GetMaskScreenBuffer(int* pitch) {
  if (pitch != nullptr) *pitch = g_mask.pitch;
  return g_mask.buffer;
}

int CreateMaskScreenInternal() {
  if (!g_mask.created) return 0;
  CreateMaskScreenBuffer(1);
  if (g_mask.use) SetMaskScreenUse(1);
  return 0;
}

int DeleteMaskScreenInternal() {
  // Nothing to take down: no wait (the end of the library may run while inactive).
  if (!g_mask.created && g_mask.buffer == nullptr && g_mask.workSurface == nullptr && !g_mask.workImageMade) {
    g_mask.use = 0;
    g_mask.active = 0;
    return 0;
  }
  if (!gLibrary.ending) WaitWhileInactive();
  if (g_mask.use) SetMaskScreenUse(0);
  ReleaseMaskScreenBuffer();
  g_mask.created = 0;
  g_mask.active = 0;
  return 0;
}

// ---- Draw hooks -------------------------------------------------------------------------------------

int MaskDrawBegin(int left, int top, int right, int bottom) {
  if (!g_mask.workImageMade && g_mask.workSurface == nullptr) return 0;
  D3D_EndSceneCurrent();
  plat::RECT r;
  if (!ClipToDrawArea(left, top, right, bottom, &r)) return 0;

  if (g_mask.workImageMade) {
    if (gScreen.targetImage == nullptr) return -1;
    BltMemImgRect(&g_mask.workImage, gScreen.targetImage, &r, r.left, r.top);
    return 0;
  }
  if (gScreen.targetSurface != nullptr) {
    plat::RECT source = SurfaceRect(r);
    g_mask.workSurface->BltFast(static_cast<plat::DWORD>(r.left), static_cast<plat::DWORD>(r.top),
                                gScreen.targetSurface, &source, plat::DDBLTFAST_NOCOLORKEY);
    return 0;
  }
  if (gScreen.targetImage == nullptr) return -1;
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  if (g_mask.workSurface->Lock(nullptr, &desc, plat::DDLOCK_WAIT | plat::DDLOCK_WRITEONLY, nullptr) != plat::DD_OK) {
    return -1;
  }
  GraphImage work{};
  MakeColorDataFromFormat(&desc.ddpfPixelFormat, &work.format);
  work.width = desc.dwWidth;
  work.height = desc.dwHeight;
  work.pitch = static_cast<uint32_t>(desc.lPitch);
  work.pixels = desc.lpSurface;
  CopyMemImgToImage(&work, gScreen.targetImage, r.left, r.top, r.right - r.left, r.bottom - r.top, r.left, r.top, 0, 0);
  g_mask.workSurface->Unlock(nullptr);
  return 0;
}

int MaskDrawEnd(int left, int top, int right, int bottom) {
  if (!g_mask.workImageMade && g_mask.workSurface == nullptr) return 0;
  // Direct3D draws wait in the batch: they must be in the work surface before it is read.
  D3D_EndSceneCurrent();
  plat::RECT r;
  if (!ClipToDrawArea(left, top, right, bottom, &r)) return 0;

  if (g_mask.workImageMade) {
    if (gScreen.targetImage == nullptr) return -1;
    MemImg& work = g_mask.workImage;
    KeyHiddenPixels(work.pixels, work.base->pitch, work.base->pixelBytes, r);
    // Copy back through the key: hidden pixels keep the screen's colour.
    GraphImage screen{};
    screen.format = *gScreen.targetImage->base->colorData;
    screen.width = static_cast<uint32_t>(gScreen.targetImage->width);
    screen.height = static_cast<uint32_t>(gScreen.targetImage->height);
    screen.pitch = static_cast<uint32_t>(gScreen.targetImage->base->pitch);
    screen.pixels = gScreen.targetImage->pixels;
    CopyMemImgToImage(&screen, &work, r.left, r.top, r.right - r.left, r.bottom - r.top, r.left, r.top,
                      g_mask.colorKey, 1);
    return 0;
  }
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  if (g_mask.workSurface->Lock(nullptr, &desc, plat::DDLOCK_WAIT, nullptr) != plat::DD_OK) return -1;
  KeyHiddenPixels(static_cast<uint8_t*>(desc.lpSurface), desc.lPitch, ScreenPixelBytes(), r);
  g_mask.workSurface->Unlock(nullptr);
  if (gScreen.targetSurface != nullptr) {
    const plat::RECT dest = SurfaceRect(r);
    gScreen.targetSurface->BltFast(static_cast<plat::DWORD>(dest.left), static_cast<plat::DWORD>(dest.top),
                                   g_mask.workSurface, &r, plat::DDBLTFAST_SRCCOLORKEY);
    return 0;
  }
  if (gScreen.targetImage == nullptr) return -1;
  if (g_mask.workSurface->Lock(nullptr, &desc, plat::DDLOCK_WAIT | plat::DDLOCK_READONLY, nullptr) != plat::DD_OK) {
    return -1;
  }
  GraphImage work{};
  MakeColorDataFromFormat(&desc.ddpfPixelFormat, &work.format);
  work.width = desc.dwWidth;
  work.height = desc.dwHeight;
  work.pitch = static_cast<uint32_t>(desc.lPitch);
  work.pixels = desc.lpSurface;
  const ColorData& f = *gScreen.targetImage->base->colorData;
  ConvertImageColor(gScreen.targetImage->pixels, gScreen.targetImage->base->pitch, &f, work.pixels,
                    static_cast<int>(work.pitch), &work.format, nullptr, 0, nullptr, r.left, r.top, &r, 0, 0,
                    g_mask.colorKey, 0, 0, 0, 1, 0);
  g_mask.workSurface->Unlock(nullptr);
  return 0;
}

}  // namespace orbel

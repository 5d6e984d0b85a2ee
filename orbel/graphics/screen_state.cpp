// The screen state block, its accessors, the public screen-mode change, the switch into software
// rendering and the GDI-output switch over a full-screen display.
// Depends on the display-mode change (display_mode.cpp), the graph records (deleted on every mode
// change) and the draw-screen selection.
#include "orbel/graphics/screen_state.h"

#include "orbel/core/library_state.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_internal.h"
#include "orbel/graphics/screen_road.h"
#include "platform/ddraw/ddraw.h"

namespace orbel {

namespace {

ScreenState InitialScreenState() {
  ScreenState s{};
  s.overlayFormat = -1;
  s.gdiOutputState = -1;
  s.frameTime = -1;
  s.framePacing = -1;
  return s;
}

// The blocks read from DirectDraw, handed out by address.
struct DisplayBlocks {
  plat::DDPIXELFORMAT screenPixelFormat;  // the display mode's pixel format
  uint32_t hardwareCaps[kDisplayCapsWords];
};
DisplayBlocks g_blocks;

plat::DDPIXELFORMAT FourCCFormat(char a, char b, char c, char d) {
  plat::DDPIXELFORMAT f{};
  f.dwSize = sizeof f;
  f.dwFlags = plat::DDPF_FOURCC;
  f.dwFourCC = static_cast<uint32_t>(a) | static_cast<uint32_t>(b) << 8 | static_cast<uint32_t>(c) << 16 |
               static_cast<uint32_t>(d) << 24;
  return f;
}

plat::DDPIXELFORMAT Rgb16Format(uint32_t red, uint32_t green, uint32_t blue) {
  plat::DDPIXELFORMAT f{};
  f.dwSize = sizeof f;
  f.dwFlags = plat::DDPF_RGB;
  f.dwRGBBitCount = 16;
  f.dwRBitMask = red;
  f.dwGBitMask = green;
  f.dwBBitMask = blue;
  return f;
}

}  // namespace

ScreenState gScreen = InitialScreenState();

void ResetGraphicsStateForTest() {
  gScreen = InitialScreenState();
  g_blocks = DisplayBlocks{};
  ResetGraphicsManagerForTest();
  gDrawState.screenWidth = 0;
  gDrawState.screenHeight = 0;
  gDrawState.screenDepth = 0;
  gDrawState.restoreCallback = nullptr;
  InitDrawStateDefaults();
  ResetNewGraphSettings();
}

const OverlayFormat kOverlayFormatTable[kOverlayFormatCount] = {
    {FourCCFormat('U', 'Y', 'V', 'Y'), " UYVY"},
    {FourCCFormat('Y', 'U', 'Y', '2'), " YUY2"},
    {Rgb16Format(0x7C00, 0x03E0, 0x001F), " 16-bit RGB 5:5:5 "},
    {Rgb16Format(0xF800, 0x07E0, 0x001F), " 16-bit RGB 5:6:5 "},
};

plat::DDPIXELFORMAT* ScreenPixelFormatBlock() { return &g_blocks.screenPixelFormat; }
uint32_t* HardwareCapsBlock() { return g_blocks.hardwareCaps; }

// ---- Accessors ------------------------------------------------------------------------------------

int SetSoftwareRenderMode(int flag) {
  gScreen.softwareRenderRequest = SoftwareRendering() ? 1u : static_cast<uint32_t>(flag);
  return 0;
}
int GetSoftwareRenderRequest() { return static_cast<int>(gScreen.softwareRenderRequest); }

int SetUseBackSurfaceFlag(int flag) {
  if (gScreen.directDraw == nullptr) gScreen.separateFrontSurface = static_cast<uint32_t>(flag);
  return 0;
}
int GetUseBackSurfaceFlag() { return static_cast<int>(gScreen.separateFrontSurface); }

int GetScreenPixelSize(int* width, int* height) { return GetScreenSizeAndDepth(width, height, nullptr); }

int GetScreenColorBitDepth() {
  int depth = 0;
  GetScreenSizeAndDepth(nullptr, nullptr, &depth);
  return depth;
}

int GetDisplayColorBitDepth() {
  return gScreen.displayDepth ? static_cast<int>(gScreen.displayDepth) : kDefaultScreenDepth;
}

plat::IDirectDrawSurface7* GetActiveDrawSurface() { return gScreen.targetSurface; }
plat::IDirectDrawSurface7* GetFlipTargetSurface() {
  return gScreen.separateFrontSurface ? gScreen.frontSurface : gScreen.primarySurface;
}
plat::IDirectDrawSurface7* GetPrimarySurface() { return gScreen.primarySurface; }
plat::IDirectDrawSurface7* GetSecondaryDisplaySurface() { return gScreen.backSurface; }
plat::IDirectDrawSurface7* GetWorkSurface() { return gScreen.workSurface; }

int IsDrawingToPrimary() {
  return gSettings.windowMode && gScreen.targetSurface != nullptr &&
         gScreen.targetSurface == gScreen.primarySurface;
}

plat::IDirectDraw7* GetDirectDrawObject() { return gScreen.directDraw; }
int IsHardwareRendering() { return SoftwareRendering() ? 0 : 1; }
int IsDisplayModeChanged() { return static_cast<int>(gScreen.displayModeChanged); }
const ColorData* GetDisplayPaletteData() { return &gScreen.displayColorData; }
const plat::DDPIXELFORMAT* GetScreenColorData() { return &g_blocks.screenPixelFormat; }
int IsSoftwareScreen() { return SoftwareScreen() ? 1 : 0; }
int IsMemImgScreen() { return ScreensAreMemImgs() ? 1 : 0; }

const plat::DDPIXELFORMAT* GetOverlayPixelFormat() {
  int width = 0;
  int height = 0;
  GetScreenPixelSize(&width, &height);
  if (width < 640 || height < 400) return nullptr;
  if (gScreen.overlayFormat < 0 || gScreen.overlayFormat >= kOverlayFormatCount) return nullptr;
  return &kOverlayFormatTable[gScreen.overlayFormat].format;
}

uint32_t* CopyDisplayModeInfo(uint32_t* out) {
  for (int i = 0; i < kDisplayCapsWords; ++i) out[i] = g_blocks.hardwareCaps[i];
  return out;
}

int GetGdiSurfaceOutputRequest() { return static_cast<int>(gScreen.gdiOutputRequest); }

MemImg* GetFrontScreenMemImg() { return ScreensAreMemImgs() ? &gScreen.frontImage : nullptr; }
MemImg* GetBackScreenMemImg() { return ScreensAreMemImgs() ? &gScreen.backImage : nullptr; }

// ---- Screen mode ------------------------------------------------------------------------------------

int SetScreenMode(int width, int height, int depth, int refreshRate) {
  DeleteAllGraphs(0);

  int currentWidth = 0;
  int currentHeight = 0;
  GetScreenPixelSize(&currentWidth, &currentHeight);
  const int currentDepth = GetDisplayColorBitDepth();
  const int currentRefresh = static_cast<int>(gScreen.refreshRate);
  if (width == -1) width = currentWidth;
  if (height == -1) height = currentHeight;
  if (depth == -1) depth = currentDepth;
  if (refreshRate == -1) refreshRate = currentRefresh;
  if (width <= 0 || height <= 0 || (depth != 8 && depth != 16 && depth != 32)) return -1;

  gDrawState.screenDepth = depth;
  const int changed = ChangeDisplayMode(width, height, depth, 0, refreshRate);

  int nowWidth = 0;
  int nowHeight = 0;
  GetScreenPixelSize(&nowWidth, &nowHeight);
  const int nowDepth = GetDisplayColorBitDepth();
  const int nowRefresh = static_cast<int>(gScreen.refreshRate);
  // A mode that was set but left no usable screen is not a success.
  if (changed == -1) return -1;
  if (nowWidth == width && nowHeight == height && nowDepth == depth && nowRefresh == refreshRate) return 0;
  if (nowWidth == currentWidth && nowHeight == currentHeight && nowDepth == currentDepth &&
      nowRefresh == currentRefresh) {
    return -1;
  }
  if (nowWidth == 640 && nowHeight == 480 && nowDepth == 16 && nowRefresh == 0) return -2;
  return -1;
}

int ChangeRenderingMode(int hardware) {
  // Software rendering, once on, stays on; it always comes with the software screen.
  if (SoftwareRendering() || hardware == 0) {
    if (!SoftwareRendering()) {
      gScreen.textureGraphsBeforeSoftware = GetUseTextureGraphs();
      gScreen.memImgBeforeSoftware = GetNewGraphMemImgFlag();
    }
    SetUseTextureGraphs(0);
    SetNewGraphUseVideoMemory(0);
    gScreen.softwareRendering = 1;
    gScreen.softwareScreen = 1;
  }
  if (gScreen.directDraw == nullptr) return 0;

  const int screen = GetSelectedDrawScreen();
  DeleteAllGraphs(0);
  ChangeDisplayMode(-1, -1, -1, 1, -1);
  if (screen == kDrawScreenBack || screen == kDrawScreenFront) SelectDrawScreen(screen);
  return 0;
}

int SwitchGdiSurfaceOutput(int flag) {
  const int showGdi = flag == 1 || gWindow.menuDisplayed;
  const int state = showGdi ? 1 : 0;
  if (state == gScreen.gdiOutputState) return 0;
  gScreen.gdiOutputRequest = static_cast<uint32_t>(flag);
  if (gScreen.directDraw == nullptr) return 0;
  if (showGdi) gScreen.directDraw->FlipToGDISurface();

  // Select the screens again so that clippers and targets follow the new output.
  const plat::RECT area = gDrawState.requestedDrawArea;
  const int screen = GetSelectedDrawScreen();
  SelectDrawScreen(kDrawScreenBack);
  SelectDrawScreen(kDrawScreenFront);
  SelectDrawScreen(screen);
  SetDrawClipArea(area.left, area.top, area.right, area.bottom);
  gScreen.gdiOutputState = state;
  return 0;
}

}  // namespace orbel

// The screen state: one global block with the DirectDraw object, the display mode, the screen
// surfaces or the memory images that stand in for them, the active draw target the 2D code writes
// into, and the flags that tell hardware rendering (DirectDraw surfaces) from software rendering
// (memory images shown through GDI). Its small accessors, SetScreenMode, ChangeRenderingMode and
// SwitchGdiSurfaceOutput live in screen_state.cpp.
// The screen size and the screen colour depth are kept in the draw-state block (draw_state.h), which
// keeps them over its defaults; GetScreenPixelSize / GetScreenColorBitDepth read them there.
// The 32-byte display pixel format and the capability block are held privately in screen_state.cpp
// (GetScreenColorData, CopyDisplayModeInfo), so this header needs no DirectDraw definitions.
#pragma once

#include <cstdint>

#include "orbel/image/color_data.h"
#include "orbel/softrender/mem_img.h"

namespace plat {
class IDirectDraw7;
class IDirectDrawClipper;
class IDirectDrawPalette;
class IDirectDrawSurface7;
struct DDPIXELFORMAT;
}  // namespace plat

namespace orbel {

// Colour types of the display layout.
constexpr uint32_t kScreenColorR5G6B5 = 0;
constexpr uint32_t kScreenColorX1R5G5B5 = 1;
constexpr uint32_t kScreenColorX8R8G8B8 = 2;
constexpr uint32_t kScreenColorOther = 3;

// Cooperative-level flags in force.
constexpr uint32_t kCoopNormal = 0x8;        // window
constexpr uint32_t kCoopFullScreen = 0x11;   // full screen + exclusive
constexpr uint32_t kCoopExclusiveBit = 0x10;

// Words of the DirectDraw capability block (DDCAPS).
constexpr int kDisplayCapsWords = 95;

// Copy method chosen by the display measurement.
constexpr uint32_t kCopyMethodBltFast = 0;
constexpr uint32_t kCopyMethodBitBlt = 1;

struct ScreenState {
  plat::IDirectDraw7* directDraw;        // null until InitDirectDraw; also present under software rendering
  plat::IDirectDrawClipper* mainClipper; // bound to the main window; hardware rendering only
  plat::IDirectDrawPalette* palette;     // 8-bit display only
  ColorData displayColorData;            // the display's pixel layout (GetDisplayPaletteData)
  uint32_t colorType;                    // kScreenColor*
  uint32_t displayDepth;                 // bits a pixel of the real display mode; 0 = unset (16)
  uint32_t refreshRate;                  // requested Hz; 0 = driver default
  uint32_t cooperativeFlags;             // kCoopNormal or kCoopFullScreen
  int32_t overlayFormat;                 // index into the overlay format table, -1 none
  uint32_t memImgScreen;                 // 1 while the screens are memory images
  uint32_t separateFrontSurface;         // 1: window-mode front screen is an off-screen copy

  // Screen surfaces (hardware rendering, or an 8-bit display under the software screen).
  plat::IDirectDrawSurface7* halfSizeSurface;  // 320 x 240 temporary (OS code 0x108 only)
  plat::IDirectDrawSurface7* frontSurface;     // the separate front surface
  plat::IDirectDrawSurface7* primarySurface;
  plat::IDirectDrawSurface7* backSurface;
  plat::IDirectDrawSurface7* workSurface;
  plat::IDirectDrawSurface7* workSurface2;
  plat::IDirectDrawSurface7* zBufferSurface;

  // Screen memory images (memory-image screen only).
  MemImg frontImage;
  MemImg backImage;
  MemImg zImage;
  uint32_t backImageOverSurface;  // 1 while backImage is built over the locked back surface

  // Active draw target, set by SelectDrawScreenSurface.
  plat::IDirectDrawSurface7* targetSurface;  // surface drawn into, or null
  int32_t targetX;                           // offset of the draw area inside targetSurface
  int32_t targetY;
  MemImg* targetImage;                       // memory image drawn into, or null
  MemImg* targetZImage;                      // its Z image, or null
  uint32_t targetInVideoMemory;              // 1 when targetSurface lies in video memory

  uint32_t presentedSinceReadBack;  // set by the window present, cleared by ReadWindowToScreenImage
  uint32_t displayModeChanged;      // 1 while the display runs a mode other than the desktop's
  uint32_t softwareRenderRequest;   // asked-for software rendering, honoured at start-up
  uint32_t softwareScreen;          // 1: screens are memory images; no texture graphs
  uint32_t softwareRendering;       // 1: no DirectDraw surfaces, shown through GDI
  int32_t textureGraphsBeforeSoftware;  // texture-graph use and new-graph memory-image flag from
  int32_t memImgBeforeSoftware;         // before software rendering turned them off; given back at the end
  uint32_t gdiOutputRequest;
  int32_t gdiOutputState;           // -1 after every display-mode change
  uint32_t copyMethod;              // kCopyMethod*
  uint32_t directDrawUp;            // 1 after InitDirectDraw succeeded, 0 after EndDirectDraw
  uint32_t graphicsInitialised;     // 1 after the first successful mode change of InitDirectDraw
  uint32_t mmxAvailable;            // copied from the CPU report
  uint32_t lastVBlankWait;          // ms
  int32_t frameTime;                // ms of one display frame, -1 unknown
  int32_t framePacing;              // ms, -1 unknown
  uint32_t lastModeChange;          // ms of the last display-mode change, 0 never
};

extern ScreenState gScreen;

// ---- Accessors ------------------------------------------------------------------------------------

int SetSoftwareRenderMode(int flag);
int GetSoftwareRenderRequest();
int SetUseBackSurfaceFlag(int flag);
int GetUseBackSurfaceFlag();
int GetScreenPixelSize(int* width, int* height);
int GetScreenColorBitDepth();
// Display depth in force (16 while unset).
int GetDisplayColorBitDepth();
plat::IDirectDrawSurface7* GetActiveDrawSurface();
// The separate front surface when in use, else the primary surface.
plat::IDirectDrawSurface7* GetFlipTargetSurface();
plat::IDirectDrawSurface7* GetPrimarySurface();
plat::IDirectDrawSurface7* GetSecondaryDisplaySurface();  // the back surface
plat::IDirectDrawSurface7* GetWorkSurface();
int IsDrawingToPrimary();
plat::IDirectDraw7* GetDirectDrawObject();
int IsHardwareRendering();
int IsDisplayModeChanged();
// The display colour format (a ColorData, despite the name).
const ColorData* GetDisplayPaletteData();
// The display's 32-byte DirectDraw pixel format (not a ColorData, despite the name).
const plat::DDPIXELFORMAT* GetScreenColorData();
int IsSoftwareScreen();
// 1 while the screens are memory images.
int IsMemImgScreen();
// Null below 640 x 400 or when no overlay format was found.
const plat::DDPIXELFORMAT* GetOverlayPixelFormat();
// Copies the 95-word capability block into `out`; returns out.
uint32_t* CopyDisplayModeInfo(uint32_t* out);
int GetGdiSurfaceOutputRequest();

// The screen memory images (null while the screens are surfaces).
MemImg* GetFrontScreenMemImg();
MemImg* GetBackScreenMemImg();

// Back to the state of a fresh process: screen state, graphics manager, mask screen, draw state (screen
// settings included) and new-graph settings (tests; the library must be ended first).
void ResetGraphicsStateForTest();

// ---- Screen mode ------------------------------------------------------------------------------------

// -1 keeps a value. Deletes every graph. 0; -1 for bad arguments or when the mode was not set (or the
// screen could not be rebuilt); -2 when the display fell back to 640 x 480 x 16.
int SetScreenMode(int width, int height, int depth, int refreshRate);
// hardware 0 switches to software rendering for the rest of the run. 0.
int ChangeRenderingMode(int hardware);
// Ends the run's software rendering (nothing when it is off): the end of the library, and a start that
// fails after honouring the request.
void EndSoftwareRendering();
// Makes GDI output (menus, dialogs) visible over a full-screen display. 0.
int SwitchGdiSurfaceOutput(int flag);

}  // namespace orbel

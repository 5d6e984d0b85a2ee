// The draw state: one global block holding everything that shapes the next draw (draw screen and
// draw area, blend mode and parameter, bright colour, blend graph, transparent colour, filter mode,
// transform matrices) and its setters. Setters do nothing for an unchanged value. The software
// renderer reads this block; it never writes it during a draw.
// Depends on rect_math.h and the software renderer's blend-graph weight table. The draw-screen
// selection, the graphics manager life cycle and the Direct3D hand-offs are the graphics subsystem's.
#pragma once

#include <cstdint>

#include "orbel/graphics/rect_math.h"
#include "platform/win/kernel/win_types.h"

namespace orbel {

// Draw-screen values besides graph handles.
constexpr int kDrawScreenBack = -2;
constexpr int kDrawScreenFront = -4;

// Blend modes (rows of the blend-mode table).
constexpr int kBlendNone = 0;
constexpr int kBlendAlpha = 1;
constexpr int kBlendAdd = 2;
constexpr int kBlendSub = 3;
constexpr int kBlendMul = 4;
// Add with the factors of kBlendAdd, kept apart for the middle of a subtraction bracket (invert, add,
// invert): the destination is inverted around it, so the add darkens.
constexpr int kBlendAddInSubtract = 5;
// Modes 6 to 9 only set Direct3D blend factors; the software renderer draws nothing in them.
constexpr int kBlendAsNone = 6;       // drawn as kBlendNone
constexpr int kBlendFactorsLeft = 7;  // the blend factors in force are left as they are
constexpr int kBlendDestKept = 8;     // destination kept: dst + src x 0
constexpr int kBlendInvertDest = 9;   // destination inverted: src x (1 - dst)
constexpr int kBlendInvert = 10;      // alpha blend of the inverted source
constexpr int kBlendMulAlpha = 11;    // multiply, then alpha blend
constexpr int kBlendModeCount = 12;

// Texture filter modes (SetDrawFilterMode): what Direct3D samples a scaled texture with.
constexpr int kFilterPoint = 0;   // nearest texel
constexpr int kFilterLinear = 1;  // bilinear

constexpr uint32_t kBrightWhite = 0xFFFFFF;  // bright colour that changes nothing

// Screen size while no screen mode was set.
constexpr int kDefaultScreenWidth = 640;
constexpr int kDefaultScreenHeight = 480;
constexpr int kDefaultScreenDepth = 16;

struct DrawState {
  int32_t drawScreen;              // kDrawScreenBack, kDrawScreenFront or a draw-valid graph handle
  plat::RECT drawArea;             // pixels; right and bottom exclusive
  float drawAreaF[4];              // the same rectangle for the Direct3D side
  plat::RECT requestedDrawArea;    // last SetDrawClipArea argument, before clamping
  uint32_t drawAreaEmpty;          // 1 while the draw area has no pixels: draws do nothing
  int32_t drawScreenWidth;         // pixels of the selected draw screen
  int32_t drawScreenHeight;
  plat::RECT frontWindowRect;      // window rectangle while the front screen is drawn in window mode
  int32_t drawOriginX;             // added to every draw: the client area's desktop position for the
  int32_t drawOriginY;             // front screen in window mode, else 0 (set by SetMaskScreenUse)
  uint32_t blendMode;              // 0-11
  uint32_t blendParam;             // 0-255
  uint32_t brightColor;            // packed 0x00RRGGBB; kBrightWhite = none
  int32_t blendGraph;              // graph whose pixels weight every draw, -1 none
  uint32_t blendGraphThreshold;    // 0-255
  uint32_t blendGraphRange;        // 0-255
  uint32_t filterMode;             // texture filter selector for the Direct3D side
  uint32_t transColor;             // 0x00RRGGBB keyed out of images transferred into graphs
  uint32_t d3dDrawSettings[3];     // Z-buffer use, Z write, Z compare: defaults 0, 0, 4 (less-equal)
  uint32_t cullSetting;            // 0: no culling, else counter-clockwise triangles culled
  uint32_t zBias;                  // 0
  uint32_t fogEnable;              // 0
  uint32_t textureAddress;         // 0: clamp (Direct3D's CLAMP); else the device's address mode
  float drawZ;                     // default 0.2
  Matrix4 worldMatrix;
  Matrix4 viewMatrix;
  Matrix4 projectionMatrix;
  Matrix4 screenMatrix;
  Matrix4 worldViewProjScreen;     // cached product of the four
  Matrix4 viewRotation;            // transposed 3x3 of the view matrix, zero translation
  int (*restoreCallback)();        // graph restore after a lost display; kept over defaults
  uint64_t frameCounter;           // presented frames
  uint32_t noVSync;                // 1: the flip does not wait for the vertical blank
  // Screen settings kept in the block (0 = no mode set yet); kept over defaults.
  int32_t screenWidth;             // pixels
  int32_t screenHeight;            // pixels
  int32_t screenDepth;             // bits a pixel
};

extern DrawState gDrawState;

// Clears the block (except the restore callback and the screen settings) and sets the defaults:
// draw screen front, draw area the whole screen, bright colour white, no blend graph. Returns 0.
int InitDrawStateDefaults();

// Parameter clamped to 0-255. Modes outside 0-11 are refused with -1 (state unchanged). Else 0.
int SetBlendState(int mode, int param);
// A screen colour's channels scaled by the bright colour, packed 0x00RRGGBB.
uint32_t BrightenedRgb(uint32_t color);
// Each channel clamped to 0-255. Returns 0.
int SetDrawBrightness(int red, int green, int blue);
// Stores the low 24 bits of 0x00RRGGBB. Returns 0.
int SetDrawBrightColorValue(uint32_t color);
// Selects a blend graph (-1: none) with threshold and range clamped to 0-255 and rebuilds the
// software weight table. Returns 0.
int SetDrawBlendGraph(int graph, int threshold, int range);
// The draw area of the current draw screen: corners ordered, clamped to the draw screen. Returns 0.
int SetDrawClipArea(int left, int top, int right, int bottom);
int GetDrawAreaRect(plat::RECT* rect);
// Stores the front-screen window rectangle. Returns 0.
int SetDrawAreaRectRaw(const plat::RECT* rect);
// Transparent colour of graphs, each channel clamped to 0-255. Returns 0.
int SetTransColor(int red, int green, int blue);
// Channels of the transparent colour; any output may be null. Returns 0.
int GetTransColor(int* red, int* green, int* blue);
int SetDrawFilterMode(int mode);
int GetDrawFilterMode();
// Screen width, height and depth (640, 480, 16 while no mode was set); outputs may be null. 0.
int GetScreenSizeAndDepth(int* width, int* height, int* depth);

}  // namespace orbel

// The 2D draw back-end: draws of graphs that are not texture graphs, boxes, line sets, the screen
// clear, screen capture, strings and picture transfers. Each has a software road (memory images, when
// the screen is a software screen that is not 8-bit) and a DirectDraw road (blits, or the software
// renderer on locked views through BeginSurfaceSoftDraw).
#pragma once

#include <cstdint>

#include "orbel/graphics/graph_record.h"
#include "orbel/softrender/line_draw.h"
#include "platform/win/kernel/win_types.h"

namespace orbel {

struct ColorData;
struct GraphImage;

int DrawSurface2DAt(int x, int y, int surface2D, int transparent);
int DrawGraph2DAt(int x, int y, GraphRecord* graph, int transparent);
// x1 > x2 or y1 > y2 mirrors. surface2D -1: the graph's own surface.
int DrawStretchSurface2D(int x1, int y1, int x2, int y2, GraphRecord* graph, int transparent, int surface2D);
// Corners in the order top-left, top-right, bottom-left, bottom-right.
int DrawQuadGraph2D(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                    GraphRecord* graph, int transparent);
struct TriangleVertex2D {
  int x;
  int y;
  int u;
  int v;
};
int DrawTriangleGraph2D(const TriangleVertex2D vertices[3], GraphRecord* graph, int transparent);
// Fills (left, top, right, bottom) with a colour in the screen's format.
int DrawBoxBackend2D(int left, int top, int right, int bottom, uint32_t color);
int DrawLineSetBackend2D(const MemImgLine* lines, int count);
int ClearScreenBackend2D();
int CaptureScreenBackend2D(int x1, int y1, int x2, int y2, GraphRecord* graph, int flag);
// ORs value << none-shift into every pixel of `rect`; nothing when the none-mask is 0. 0.
int SetUnusedBitsRect(const plat::RECT* rect, void* pixels, int pitch, const ColorData* format, uint32_t value);
// Draws a string of a memory-mode font: straight into the target when plain, else through the font's
// work surface. 0 or -1.
int DrawStringBackend2D(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor,
                        int vertical);
int TransferImageTo2DGraph(const plat::RECT* destRect, const GraphImage* image, const GraphImage* alphaImage,
                           int srcX, int srcY, GraphRecord* graph, int flags);
int ReleaseGraph2DSurfaces(GraphRecord* graph);

// ---- Software drawing onto DirectDraw surfaces ------------------------------------------------------

struct SurfaceSoftDrawState {
  uint32_t blit;                       // 1: a plain BltFast with the fields below will do
  plat::IDirectDrawSurface7* blitSource;
  plat::RECT blitSourceRect;
  plat::IDirectDrawSurface7* blitTarget;
  plat::RECT blitTargetRect;
  MemImg* destView;
  MemImg destViewBlock;
  MemImgBase destViewBody;             // the body of destViewBlock when it views the locked block
  uint32_t destLocked;
  uint32_t throughWork;
  void* destPixels;                    // the locked block and its pitch
  int32_t destPitch;
  uint32_t destCopy;                   // the view is a converted copy of the block (pixel sizes differ)
  uint32_t viewConverted;              // the view holds the memory-image format, not the display's
  uint32_t convert;                    // display format differs from the memory-image format
  plat::RECT clippedRect;
  plat::RECT screenRect;
  plat::IDirectDrawSurface7* targetSurface;
  MemImg* sourceView;
  MemImg sourceViewBlock;
  MemImgBase sourceViewBody;           // the body of sourceViewBlock when it views the locked block
  uint32_t sourceLocked;
  uint32_t sourceThroughWork2;
  plat::IDirectDrawSurface7* sourceLockSurface;
  plat::RECT sourceLockRect;
};
extern SurfaceSoftDrawState gSoftDraw;

struct Surface2DRecord;
// 0 prepared (a blit or views); -1 when the clipped destination is empty or a lock failed (nothing is
// then held and the caller draws nothing and does not call EndSurfaceSoftDraw).
int BeginSurfaceSoftDraw(const Surface2DRecord* source, int blitAllowed, const plat::RECT* srcRect,
                         const plat::RECT* destRect, int transparent, uint32_t* color1, uint32_t* color2);
int EndSurfaceSoftDraw();
// A colour of the display format as the prepared destination view reads it.
uint32_t SoftDrawViewColor(uint32_t displayColor);
// A colour of the display format in the software renderer's format (the same value where the two
// agree), without the format's unused bits.
uint32_t DisplayToRendererColor(uint32_t displayColor);

}  // namespace orbel

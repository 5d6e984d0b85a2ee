// Pixel operations on graphs and surface data: making the pixels (memory image or DirectDraw surface),
// depth buffers, colour keys, locks, fills, derived graphs, transfers into existing graphs, screen
// capture, and the DirectDraw pixel-format helpers.
// Depends on graph_record.h and surface2d.h.
#pragma once

#include <cstdint>

#include "orbel/graphics/graph_record.h"
#include "platform/win/kernel/win_types.h"

namespace plat {
struct DDPIXELFORMAT;
}

namespace orbel {

struct ColorData;
struct GraphImage;

// Creates a surface data's pixels (0 at once when they exist). 0 or -1.
int MakeSurfaceDataImage(int handle);
int SetSurfaceDataDepthBuffer(int handle, int wanted);
int ReleaseSurfaceDataSurface(int handle);
int DeleteSurfaceData(int handle);
int SetSurfaceDataColorKey(int handle);
// 0, or -1 when the surface had been lost (it is restored).
int RestoreSurfaceDataSurface(int handle);

// 0; -2 when already locked (the stored pointer and pitch come back, one more lock counted); -1.
int LockGraphSurface(int handle, int* pitch, void** pixels, int writeOnly, const plat::RECT* rect,
                     const ColorData** format);
int UnlockSurfaceData(int handle, const plat::RECT* rect);

// Fills the surface data's pixels of `rect` (null: all of them) with a colour. 0 or -1.
int FillSurfaceDataColor(int handle, const plat::RECT* rect, int red, int green, int blue, int alpha);

// A graph sharing the rectangle of `parent`'s pixels. Handle or -1.
int DeriveGraph(int x, int y, int width, int height, int parent);
// Copies `srcRect` of the picture into the graph at (destRect.left, destRect.top) and remembers the
// file it came from. 0 or -1.
int TransferImageToGraph(const plat::RECT* destRect, const char* fileName, const plat::RECT* srcRect,
                         const GraphImage* image, const GraphImage* alphaImage, int graph, int mirror);
int FillGraphColor(int graph, int red, int green, int blue, int alpha);
// CaptureScreenToGraph is declared in graphics_system.h.

int MakeColorDataFromFormat(const plat::DDPIXELFORMAT* format, ColorData* out);
int FillColorData32(plat::DDPIXELFORMAT* format, int bitCount, uint32_t redMask, uint32_t greenMask,
                    uint32_t blueMask, uint32_t alphaMask);

}  // namespace orbel

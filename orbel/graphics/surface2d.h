// 2D surface records (handle kind 0x28000000): a window into a surface-data record, with its place in
// its graph, its offset in the surface data and its size. Also the transfers of pictures into them,
// the draw-target selection, the plain surface copy and the rectangle outline of the 2D back-end.
// Depends on graph_record.h, the colour converter and the software renderer's memory images.
#pragma once

#include <cstdint>

#include "orbel/graphics/graph_record.h"
#include "platform/win/kernel/win_types.h"

namespace plat {
class IDirectDrawSurface7;
}

namespace orbel {

struct ColorData;
struct GraphImage;

struct Surface2DRecord {
  uint32_t check;
  int32_t* deleteNotify;   // set to 1 when the record is deleted, or null
  uint16_t positionX;      // where the piece lies inside its graph
  uint16_t positionY;
  uint16_t offsetX;        // where its pixels start inside the surface data
  uint16_t offsetY;
  uint16_t width;
  uint16_t height;
  int32_t ownerGraph;
  int32_t surfaceData;
};

using Surface2DTable = HandleTable<Surface2DRecord, kHandleKindSurface2D, kSurface2DHandleLimit>;
extern Surface2DTable gSurface2DTable;

// Handle or -1. `parent` non-null shares its surface data (one more reference); else new pixels.
int AddSurface2D(int width, int height, int positionX, int positionY, int ownerGraph,
                 const Surface2DRecord* parent, int offsetX, int offsetY, const GraphFormatBlock* format);
Surface2DRecord* GetSurface2DRecord(int handle);
// Stores the pointer and sets *notify = 0; 1 is written when the record is deleted. 0 or -1.
int SetSurface2DDeleteNotify(int handle, int32_t* notify);
// 0 (also for a bad handle).
int DeleteSurface2D(int handle);
// 0, or -1 when neither DirectDraw nor software rendering is up.
int DeleteAllSurfaces2D();

int CreateGraphSurface2D(GraphRecord* graph);
int DeriveGraphSurface2D(GraphRecord* newGraph, int x, int y, int width, int height, const GraphRecord* source);

// Transfer kinds.
constexpr int kTransferImage = 0;   // GraphImage records
constexpr int kTransferBitmap = 1;  // GDI bitmaps with a colour format

// Copies `srcRect` of the picture to (x, y) of the graph, piece by piece. 0 or -1.
int TransferImageToGraphSurfaces(const ColorData* format, plat::HBITMAP bitmap, plat::HBITMAP alphaBitmap,
                                 const plat::RECT* srcRect, int x, int y, int graph, int kind,
                                 const GraphImage* image, const GraphImage* alphaImage);
int TransferImageToSurface2DHandle(const ColorData* format, plat::HBITMAP bitmap, plat::HBITMAP alphaBitmap,
                                   int x, int y, int surface2D, int kind, const GraphImage* image,
                                   const GraphImage* alphaImage, const void* pixels);
int TransferImageToSurface2D(const ColorData* format, plat::HBITMAP bitmap, plat::HBITMAP alphaBitmap,
                             const plat::RECT* srcRect, int destX, int destY, int surface2D, int kind,
                             const GraphImage* image, const GraphImage* alphaImage, const void* pixels);

// While set, whole pictures written into memory-image surfaces leave their premultiplied layer and run
// table pending, so that a loader can free its decoded picture before those take their memory.
extern bool gDeferSurfaceLayers;
// Builds what the graph's memory-image surfaces left pending. 0, or -1 for a bad handle.
int BuildPendingGraphLayers(int graph);

// OR of the surface restores, -1 for a bad handle.
int RestoreGraphSurfaces2D(int graph);
// RestoreAllSurfaces2D is declared in graphics_system.h.
int FillGraphSurfaces(int graph, int red, int green, int blue, int alpha);
int SetBlendGraphWeights(int graph, int threshold, int range);
// The blend graph's 8-bit memory image, or null.
const MemImg* GetBlendGraphMemImg();

// Makes the screen (-2 back, -4 front, or a graph) the active draw target of the 2D side. 0 or -1.
int SelectDrawScreenSurface(int newScreen, int previousScreen);
// method -1: the measured screen copy method; 0 BltFast; 1 GDI BitBlt. 0 or -1.
int BlitSurfaceRect(plat::IDirectDrawSurface7* dest, plat::IDirectDrawSurface7* src, int x, int y,
                    const plat::RECT* srcRect, int method);
// The outline of (x1, y1, x2, y2) as four lines of the line-set back-end.
int RectBackend2D(int x1, int y1, int x2, int y2, uint32_t color);

// The movie frame callback of 2D movie graphs (movie record, graph record). 0 or -1.
int TransferMovieFrameToSurface(void* movie, GraphRecord* graph);

}  // namespace orbel

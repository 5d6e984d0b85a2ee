// The Direct3D side of the graphics subsystem as the 2D code sees it: start and end, the scene and
// vertex batch, the render target and viewport, the texture-graph draws and transfers, and the texture
// pixel formats. While Direct3D is off every call answers so (-1, or 0 for the calls that have nothing
// to do then), and the library carries on with 2D surfaces.
#pragma once

#include <cstdint>

#include "platform/win/kernel/win_types.h"

namespace plat {
class IDirectDrawSurface7;
class IDirect3DDevice7;
struct DDPIXELFORMAT;
}

namespace orbel {

struct ColorData;
struct TexturePixelFormatRecord;
struct GraphImage;
struct GraphFormatBlock;
struct GraphRecord;
struct Matrix4;

// ---- Start, end and the device ----------------------------------------------------------------------

// 0, or -1 when Direct3D cannot be started (the graphics go on with 2D surfaces).
int D3D_Initialize();
// 0, -1 while Direct3D is off.
int D3D_Terminate();
int D3D_ReleaseDirect3D();
// Re-makes the device after a full re-creation of DirectDraw. 0 or -1.
int D3D_GetDirect3D();
int D3D_FlushVertex();
int D3D_EndSceneCurrent();
// 1 while a Direct3D device exists to make textures with (0 after D3D_ReleaseDirect3D until restored).
int D3D_IsDeviceReady();
// The current device's interface; null while Direct3D is off or the device is released.
plat::IDirect3DDevice7* D3D_GetDeviceInterface();
// The Z-buffer format chosen at start-up; null while Direct3D is off or the device offered none.
const plat::DDPIXELFORMAT* D3D_GetZBufferFormat();
// Deletes every 3D surface: 0, or -1 while Direct3D is not initialised (the availability probe).
int D3D_DeleteAllSurface3D();
int D3D_RestoreAllTextures();

// ---- Draw state hand-offs ---------------------------------------------------------------------------

int D3D_SelectDrawScreen(int screen);
int D3D_SetDrawArea(const plat::RECT* area);
int D3D_SetGraphFilter(int mode);
int D3D_SetBlendGraphParam(int graph, int threshold, int range);
int D3D_RefreshDrawColor();
int D3D_SetTransformWorld(const Matrix4* matrix, int index);
int D3D_SetTransformView(const Matrix4* matrix);
int D3D_SetTransformProjection(const Matrix4* matrix);
// 0; nothing to refresh (see d3d_state.cpp).
int D3D_DummyRefresh();
int D3D_ClearTargetScreen();
// The render target of the current device: a surface, or null for the device's default target. 0.
int D3D_SetRenderTarget(plat::IDirectDrawSurface7* surface);
// Sets the viewport of the current device directly (x, y, width, height; Z 0 to 1). 0 or -1.
int D3D_SetViewport(int x, int y, int width, int height);
// Ends the "draw screen is a memory image" state (the mask screen draws into its work surface).
void D3D_ClearTarget2DFlag();

// ---- Texture graphs ---------------------------------------------------------------------------------

// The draws at a point and stretched take the graph the caller has looked up (null: no such graph).
int D3D_DrawGraphAt(int x, int y, float fx, float fy, const GraphRecord* graph, int trans, int keepAlphaTest);
int D3D_DrawStretchGraph(int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2,
                         const GraphRecord* graph, int trans, int keepAlphaTest);
// Corners top-left, top-right, bottom-left, bottom-right.
int D3D_DrawQuadGraph(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                      int graph, int trans);
// Integer corners in the same order (the blend-graph road).
int D3D_DrawQuadGraphInt(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, int graph, int trans);
int D3D_DrawFillBox(int x1, int y1, int x2, int y2, uint32_t color);
int D3D_DrawLineBox(int x1, int y1, int x2, int y2, uint32_t color);
int D3D_DrawStringToTarget(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor,
                           int vertical);
// The texture format record of a format block with these bytes (32-bit when `bits32`); null while
// Direct3D is off or the device offers no such format.
const TexturePixelFormatRecord* D3D_GetTextureFormatForFlags(int alphaChannel, int alphaTest, int bits32,
                                                             int drawValid);
// The texture format code (0-8) of a format block: the record its textures take.
int TextureFormatCode(const GraphFormatBlock& format);
// Texture format record n (0-8), or its colour format; null while Direct3D is off or n is out of range.
const TexturePixelFormatRecord* D3D_GetTextureFormatByIndex(int n);
const ColorData* D3D_GetTextureFormatInfo(int n);
const plat::DDPIXELFORMAT* D3D_GetTextureDDPixelFormat(int n);
int D3D_CreateGraphSurface3D(GraphRecord* graph);
int D3D_DeleteGraphSurface3D(GraphRecord* graph);
int D3D_DeriveGraphSurface3D(GraphRecord* newGraph, int x, int y, int width, int height,
                             const GraphRecord* source);
int D3D_RestoreGraphTextures(GraphRecord* graph);
int D3D_ReloadGraphImage(const GraphImage* image, const GraphImage* alphaImage, int srcX, int srcY,
                         GraphRecord* graph);
int D3D_TransferGraphRect(const GraphImage* image, const GraphImage* alphaImage, const plat::RECT* srcRect,
                          int x, int y, GraphRecord* graph);
int D3D_FillGraphTextures(GraphRecord* graph, int red, int green, int blue, int alpha);
int D3D_UpdateMovieTexture(void* movie, GraphRecord* graph);
// The texture of a draw-valid texture graph of one tile, with the tile's position in it; null otherwise.
plat::IDirectDrawSurface7* D3D_GetDrawTargetTexture(const GraphRecord* graph, int* x, int* y);
int D3D_GetDrawScreenGraph(int x1, int y1, int x2, int y2, GraphRecord* graph, int screenFlag);

}  // namespace orbel

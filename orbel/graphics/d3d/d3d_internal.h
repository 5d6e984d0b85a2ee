// Inside the Direct3D side of the graphics subsystem: the vertex formats, the device record with its
// state caches and vertex batches, the Direct3D state block (object, chosen device, texture formats,
// limits, draw flags, device records), the texture-tile records, and the functions the d3d_*.cpp files
// share. Only orbel/graphics/d3d_*.cpp (and tests) include this file; the rest of the library sees
// d3d_system.h.
#pragma once

#include <cstdint>

#include "orbel/graphics/d3d/d3d_presets.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/d3d/d3d_tiling.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/handle_table.h"
#include "orbel/image/color_data.h"
#include "platform/d3d/d3d7.h"

namespace orbel {

// ---- Vertices ---------------------------------------------------------------------------------------

struct VertexDiffuse {
  float x, y, z, rhw;
  uint32_t diffuse;
};
struct VertexTex1 {
  float x, y, z, rhw;
  uint32_t diffuse;
  float u, v;
};
struct VertexTex2 {
  float x, y, z, rhw;
  uint32_t diffuse;
  uint32_t specular;
  float u0, v0;  // the blend graph's coordinates
  float u1, v1;  // the graph's
};
static_assert(sizeof(VertexDiffuse) == 20 && sizeof(VertexTex1) == 28 && sizeof(VertexTex2) == 40,
              "the device reads vertices by their documented strides");

enum VertexType : uint32_t { kVertexDiffuse = 0, kVertexTex1 = 1, kVertexTex2 = 2 };
constexpr uint32_t kFvfDiffuse = 0x044;
constexpr uint32_t kFvfTex1 = 0x144;
constexpr uint32_t kFvfTex2 = 0x2C4;
// Vertices one batch holds before it is flushed: each array stays within 64 KiB of vertex data.
constexpr int kDiffuseCapacity = 3225;  // x 20 bytes = 64,500
constexpr int kTex1Capacity = 2340;     // x 28 bytes = 65,520
constexpr int kTex2Capacity = 1638;     // x 40 bytes = 65,520

// ---- Device record ----------------------------------------------------------------------------------

constexpr int kD3DDeviceCount = 4;  // devices alive at once: a target no device can switch to gets its own
constexpr int kD3DStageCount = 8;   // texture stages a Direct3D 7 device offers

struct StageCache {
  plat::IDirectDrawSurface7* texture;
  uint16_t alphaArg1, alphaArg2, alphaOp, colorArg1, colorArg2, colorOp;
};

struct D3DDeviceRecord {
  uint32_t inUse;
  plat::IDirect3DDevice7* device;
  plat::IDirectDrawSurface7* defaultTarget;  // the flip target the device was made on
  plat::IDirectDrawSurface7* renderTarget;   // cached target; null = the default one
  // Pending block: what the next draw wants, applied by D3D_ApplyDrawState.
  plat::IDirectDrawSurface7* texture;
  plat::IDirectDrawSurface7* blendTexture;
  const void* lastDrawTile;
  uint32_t lastDrawFlags;
  uint32_t diffuseModulation;
  uint32_t blendOn;
  uint32_t blendMode;
  int32_t blendThreshold;
  int32_t blendRange;
  uint32_t alphaChannel;
  uint32_t alphaTest;
  uint32_t pendingDirty;
  uint32_t textureDirty;
  uint32_t discardBatch;
  uint32_t force;  // every cached setter writes, changed or not (device restore)
  // Render-state caches.
  uint32_t alphaTestEnable, alphaRef, alphaFunc, alphaBlendEnable;
  uint32_t diffuseMaterialSource, specularMaterialSource, specularEnable, textureFactor;
  uint32_t srcBlend, destBlend;
  int32_t stagesInUse;
  StageCache stages[kD3DStageCount];
  uint32_t sceneBegun;
  uint32_t filterMode;
  uint32_t magFilter[kD3DStageCount];
  uint32_t minFilter[kD3DStageCount];
  uint32_t zEnable, zWriteEnable, zFunc, zBias;
  uint32_t shadeMode, cullSetting, address, fogEnable;
  uint32_t texturePerspective, lighting, colorKeyEnable;
  // The batch: `count` vertices of `vertexType` in that type's array.
  int32_t count;
  uint32_t vertexType;
  uint32_t primitiveType;
  plat::D3DVIEWPORT7 viewport;
  VertexDiffuse diffuseVertices[kDiffuseCapacity];
  VertexTex1 tex1Vertices[kTex1Capacity];
  VertexTex2 tex2Vertices[kTex2Capacity];
};

// ---- Texture pixel formats --------------------------------------------------------------------------

struct TexturePixelFormatRecord {
  plat::DDPIXELFORMAT format;
  ColorData colorData;  // bitDepth 0: empty
};
constexpr int kTextureFormatCount = 9;  // one record per texture-format kind the enumeration fills

// ---- The state block --------------------------------------------------------------------------------

struct D3DState {
  plat::IDirect3D7* object;  // present = Direct3D started, for every entry of the tiles and the state
  uint32_t tnlDevice;
  plat::D3DDEVICEDESC7 deviceDesc;
  TexturePixelFormatRecord formats[kTextureFormatCount];
  plat::DDPIXELFORMAT zBufferFormat;
  int32_t minTextureSide;  // texels
  int32_t maxTextureSide;
  uint32_t endAfterDraw;  // end the scene after every draw (front screen)
  uint32_t target2D;      // the draw screen is a memory-image graph: textured draws do nothing
  uint32_t started;       // D3D_Initialize succeeded; cleared by D3D_Terminate only
  int32_t captureMethodAlpha;  // capture method that last worked, -1 none
  int32_t captureMethodPlain;
  int32_t current;             // current device record
  uint32_t drawColor;          // packed vertex colour of the draws
  int32_t targetOffsetX;       // where the draw screen's graph lies in its render-target texture (a
  int32_t targetOffsetY;       // derived graph shares its parent's); 0 for the screens
  float blendTextureWidth, blendTextureHeight;  // texels of the blend graph's texture
  float blendTextureInvWidth, blendTextureInvHeight;
  D3DDeviceRecord devices[kD3DDeviceCount];
};
extern D3DState gD3D;

inline bool D3DStarted() { return gD3D.object != nullptr; }
inline D3DDeviceRecord* DeviceInUse(int index) {
  if (!D3DStarted() || index < 0 || index >= kD3DDeviceCount) return nullptr;
  D3DDeviceRecord* dev = &gD3D.devices[index];
  return dev->inUse && dev->device != nullptr ? dev : nullptr;
}
// The current device record when Direct3D is started and it holds a device, else null.
inline D3DDeviceRecord* CurrentDevice() { return DeviceInUse(gD3D.current & 0xFFFF); }

// ---- Texture tiles ----------------------------------------------------------------------------------

struct Surface3DDataRecord {
  uint32_t check;
  int32_t* deleteNotify;
  uint16_t graphX, graphY;
  uint16_t textureX, textureY;
  uint16_t rootX, rootY;
  uint16_t width, height;  // the part of the tile the graph uses
  VertexTex1 vertices[4];  // TL, TR, BL, BR
  uint8_t cornerFlags[4];
  int32_t graph;
  int32_t surfaceData;
};
using Surface3DTable = HandleTable<Surface3DDataRecord, kHandleKindSurface3D, kSurface3DHandleLimit>;
extern Surface3DTable gSurface3DTable;

int AddSurface3DData(int textureWidth, int textureHeight, int graphX, int graphY, int width, int height, int rootX,
                     int rootY, int graph, const Surface3DDataRecord* parent, int parentTextureX, int parentTextureY,
                     const GraphFormatBlock* format);
// The tile lookups are inline: every draw makes them for each tile.
inline Surface3DDataRecord* GetSurface3DData(int handle) { return gSurface3DTable.Lookup(handle); }
// The same check under the name the rest of the graphics code uses for records by handle.
inline Surface3DDataRecord* GetSurface3DDataRecord(int handle) { return GetSurface3DData(handle); }
int DeleteSurface3DData(int handle);
int UnlockSurface3DData(int handle, const plat::RECT* rect);
// The texture surface of a tile, or null.
inline plat::IDirectDrawSurface7* TileTexture(const Surface3DDataRecord* tile) {
  const SurfaceDataRecord* d = tile != nullptr ? GetSurfaceDataRecord(tile->surfaceData) : nullptr;
  return d != nullptr ? d->surface : nullptr;
}
int D3D_TransferImageToTexture(const GraphImage* image, const GraphImage* alphaImage, const plat::RECT* srcRect,
                               int textureX, int textureY, int tile, int alphaForce);
TextureTileLimits CurrentTileLimits();

// ---- State cache and batching (d3d_state.cpp) -------------------------------------------------------

int D3D_DeviceFlushVertex(D3DDeviceRecord* dev);
int D3D_BeginSceneOnce(D3DDeviceRecord* dev);
// Every draw opens the scene; only the first after an end begins one (inline for the draws).
inline int D3D_BeginScene(D3DDeviceRecord* dev) {
  if (dev == nullptr) return -1;
  return dev->sceneBegun ? 0 : D3D_BeginSceneOnce(dev);
}
int D3D_EndScene(D3DDeviceRecord* dev);
int D3D_ApplyDrawState(D3DDeviceRecord* dev);
int D3D_SetPendingAlphaMode(D3DDeviceRecord* dev, uint32_t blendMode, uint32_t alphaChannel, uint32_t alphaTest);
int D3D_SetPendingTexture(D3DDeviceRecord* dev, plat::IDirectDrawSurface7* texture);
int D3D_SetPendingBlendTexture(D3DDeviceRecord* dev, plat::IDirectDrawSurface7* texture, int threshold, int range);
int D3D_SetBlendOn(D3DDeviceRecord* dev, uint32_t value);
int D3D_SetDiffuseModulation(D3DDeviceRecord* dev, uint32_t value);
int D3D_SetTexturePerspective(D3DDeviceRecord* dev, uint32_t value);
int D3D_SetColorKeyEnable(D3DDeviceRecord* dev, uint32_t value);
int D3D_SetZEnable(D3DDeviceRecord* dev, uint32_t value);
int D3D_SetZWriteEnable(D3DDeviceRecord* dev, uint32_t value);
int D3D_SetZFunc(D3DDeviceRecord* dev, uint32_t value);
int D3D_SetZBias(D3DDeviceRecord* dev, uint32_t value);
int D3D_SetCullMode(D3DDeviceRecord* dev, uint32_t setting);
int D3D_SetShadeMode(D3DDeviceRecord* dev, uint32_t value);
int D3D_SetFogEnable(D3DDeviceRecord* dev, uint32_t value);
int D3D_SetLighting(D3DDeviceRecord* dev, uint32_t value);
int D3D_SetTextureFilter(D3DDeviceRecord* dev, int mode);
int D3D_SetViewportOn(D3DDeviceRecord* dev, const plat::D3DVIEWPORT7& viewport);
int D3D_SetRenderTargetOn(D3DDeviceRecord* dev, plat::IDirectDrawSurface7* surface);
int D3D_ApplyFixedRenderStates(D3DDeviceRecord* dev);
// Index 0-3: WORLD, WORLD1, WORLD2, WORLD3; other indices set nothing. 0, -1 without a device.
int D3D_SetWorldMatrix(D3DDeviceRecord* dev, int index, const Matrix4* matrix);
// `to` takes the blend mode, alpha channel and test, filter, pending texture and blend graph of `from`.
int D3D_CopyDrawState(D3DDeviceRecord* from, D3DDeviceRecord* to);
int D3D_DrawGridMesh(D3DDeviceRecord* dev, int columns, VertexTex1* vertices, int rows);
void D3D_SetVertexType(D3DDeviceRecord* dev, uint32_t type);
inline int VertexCapacity(uint32_t type) {
  return type == kVertexDiffuse ? kDiffuseCapacity : type == kVertexTex1 ? kTex1Capacity : kTex2Capacity;
}
inline void* VertexArray(D3DDeviceRecord* dev, uint32_t type) {
  if (type == kVertexDiffuse) return dev->diffuseVertices;
  if (type == kVertexTex1) return dev->tex1Vertices;
  return dev->tex2Vertices;
}
inline size_t VertexStride(uint32_t type) {
  return type == kVertexDiffuse ? sizeof(VertexDiffuse) : type == kVertexTex1 ? sizeof(VertexTex1) : sizeof(VertexTex2);
}
// The batch change a reservation needs first: vertex type, primitive type, or a flush of a full array.
void D3D_PrepareBatchFor(D3DDeviceRecord* dev, uint32_t type, int n);
// Room for `n` more vertices of `type` in a TRIANGLELIST batch (flushing first when needed); returns
// where to write them. The caller adds `n` to the count. Inline: every quad of every draw asks.
inline void* D3D_ReserveVertices(D3DDeviceRecord* dev, uint32_t type, int n) {
  // No array is ever filled to its last slot.
  if (dev->vertexType != type || dev->primitiveType != plat::D3DPT_TRIANGLELIST ||
      dev->count + n >= VertexCapacity(type)) {
    D3D_PrepareBatchFor(dev, type, n);
  }
  return static_cast<uint8_t*>(VertexArray(dev, type)) + VertexStride(type) * static_cast<size_t>(dev->count);
}
void D3D_BindTileTexture(D3DDeviceRecord* dev, plat::IDirectDrawSurface7* texture);
// Binds the graph texture of a tile for the next vertices: flush on a change, apply when dirty.
// Inline for the common case of a texture already bound and nothing pending.
inline void D3D_UseTileTexture(D3DDeviceRecord* dev, plat::IDirectDrawSurface7* texture) {
  if (dev->texture == texture && !dev->force && !dev->pendingDirty && !dev->textureDirty) return;
  D3D_BindTileTexture(dev, texture);
}

// ---- Draw mode (d3d_draw_mode.cpp) ------------------------------------------------------------------

constexpr uint32_t kDrawTrans = 0x001;
constexpr uint32_t kDrawKeepAlphaTest = 0x002;
constexpr uint32_t kDrawZ = 0x004;
constexpr uint32_t kDrawGouraud = 0x008;
constexpr uint32_t kDrawPerspective = 0x010;
constexpr uint32_t kDrawModulate = 0x020;
constexpr uint32_t kDrawBlendAlways = 0x040;
constexpr uint32_t kDrawFog = 0x080;
constexpr uint32_t kDrawKeepTextureState = 0x100;
constexpr uint32_t kDrawLighting = 0x200;
void D3D_SetupDrawMode(const Surface3DDataRecord* tile, uint32_t flags);

// ---- Enumeration and release (d3d_enum.cpp) ---------------------------------------------------------

plat::HRESULT D3D_EnumDeviceCallback(char* description, char* name, plat::D3DDEVICEDESC7* desc, void* context);
plat::HRESULT D3D_EnumTextureFormatCallback(plat::DDPIXELFORMAT* format, void* context);
plat::HRESULT D3D_EnumZBufferCallback(plat::DDPIXELFORMAT* format, void* context);
int D3D_ReleaseDevice(D3DDeviceRecord* dev);
int D3D_DeleteDevice();

// ---- Start-up (d3d_init.cpp) ------------------------------------------------------------------------

// Formats a text into the log as it is: a text without "\n" leaves the line open for the next one.
int D3DLogText(const char* format, ...) __attribute__((format(printf, 1, 2)));

int D3D_InitDevice(plat::IDirectDrawSurface7* target);
// Makes `surface` the render target: on the current device when it takes it, else on another device
// that does (made on the surface when none does), which becomes current with the draw state carried
// over. 0, or -1 when no device can draw into the surface.
int D3D_SetDrawTarget(plat::IDirectDrawSurface7* surface);
void D3D_RefreshRenderState(D3DDeviceRecord* dev);
int D3D_CreateDevice(D3DDeviceRecord* dev);

}  // namespace orbel

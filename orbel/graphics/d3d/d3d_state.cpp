// The Direct3D device record's state cache, the apply of its pending block through the stage presets,
// vertex batching, scenes, render target, viewport, transforms and the grid mesh. A state is written to
// the device only when it changes (or while the record's force flag is set, after a restore); every
// change flushes the batch first, so one batch never mixes states.
#include <cstring>

#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/backend_2d.h"
#include "orbel/graphics/d3d/d3d_grid_mesh.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_record.h"

namespace orbel {

D3DState gD3D;

namespace {

uint32_t FvfOf(uint32_t type) { return type == kVertexDiffuse ? kFvfDiffuse : type == kVertexTex1 ? kFvfTex1 : kFvfTex2; }

// The cached setter pattern: nothing for an unchanged value (unless forced); else flush when asked,
// write, cache. The device's refusal is -1.
int CachedRenderState(D3DDeviceRecord* dev, uint32_t* cache, uint32_t value, plat::D3DRENDERSTATETYPE state,
                      bool flush) {
  if (dev == nullptr) return -1;
  if (*cache == value && !dev->force) return 0;
  if (flush) D3D_DeviceFlushVertex(dev);
  *cache = value;
  return dev->device->SetRenderState(state, value) == plat::D3D_OK ? 0 : -1;
}

// A state the apply writes: only on a change, or always while forced. No flush: the pending setters
// flushed when the pending block changed.
void ApplyRenderState(D3DDeviceRecord* dev, uint32_t* cache, uint32_t value, plat::D3DRENDERSTATETYPE state) {
  if (*cache == value && !dev->force) return;
  *cache = value;
  dev->device->SetRenderState(state, value);
}

void ApplyStageState(D3DDeviceRecord* dev, int stage, uint16_t* cache, uint16_t value,
                     plat::D3DTEXTURESTAGESTATETYPE type) {
  if (value == kStageLeave) return;
  if (*cache == value && !dev->force) return;
  *cache = value;
  dev->device->SetTextureStageState(static_cast<plat::DWORD>(stage), type, value);
}

// MAGFILTER and MINFILTER of the first `stages` stages for a filter mode, each only when it differs.
void WriteFilterStages(D3DDeviceRecord* dev, uint32_t mode, int stages) {
  const uint32_t filter = mode == kFilterPoint ? plat::D3DTFG_POINT : plat::D3DTFG_LINEAR;
  for (int s = 0; s < stages && s < kD3DStageCount; ++s) {
    if (dev->magFilter[s] != filter || dev->force) {
      dev->magFilter[s] = filter;
      dev->device->SetTextureStageState(static_cast<plat::DWORD>(s), plat::D3DTSS_MAGFILTER, filter);
    }
    if (dev->minFilter[s] != filter || dev->force) {
      dev->minFilter[s] = filter;
      dev->device->SetTextureStageState(static_cast<plat::DWORD>(s), plat::D3DTSS_MINFILTER, filter);
    }
  }
}

plat::D3DMATRIX ToD3DMatrix(const Matrix4* m) {
  plat::D3DMATRIX out{};
  memcpy(out.m, m->m, sizeof(out.m));
  return out;
}

int SetTransformOn(D3DDeviceRecord* dev, plat::D3DTRANSFORMSTATETYPE type, const Matrix4* matrix) {
  if (dev == nullptr || matrix == nullptr) return -1;
  plat::D3DMATRIX m = ToD3DMatrix(matrix);
  dev->device->SetTransform(type, &m);
  return 0;
}

// The view or the projection of the current device, after the draws waiting for the old one.
int SetCameraTransform(plat::D3DTRANSFORMSTATETYPE type, const Matrix4* matrix) {
  D3DDeviceRecord* dev = CurrentDevice();
  D3D_DeviceFlushVertex(dev);
  const int result = SetTransformOn(dev, type, matrix);
  D3D_DummyRefresh();
  return result;
}

}  // namespace

plat::IDirect3DDevice7* D3D_GetDeviceInterface() {
  D3DDeviceRecord* dev = CurrentDevice();
  return dev != nullptr ? dev->device : nullptr;
}

// ---- Batch and scene --------------------------------------------------------------------------------

int D3D_DeviceFlushVertex(D3DDeviceRecord* dev) {
  if (dev == nullptr) return -1;
  if (dev->count != 0 && GetQuitMessageFlag() == 0 && dev->discardBatch == 0) {
    dev->device->DrawPrimitive(dev->primitiveType, FvfOf(dev->vertexType), VertexArray(dev, dev->vertexType),
                               static_cast<plat::DWORD>(dev->count), 0);
  }
  dev->count = 0;
  return 0;
}

int D3D_FlushVertex() { return D3D_DeviceFlushVertex(CurrentDevice()); }

int D3D_BeginSceneOnce(D3DDeviceRecord* dev) {
  dev->device->BeginScene();
  dev->sceneBegun = 1;
  dev->lastDrawTile = nullptr;
  dev->lastDrawFlags = 0;
  return 0;
}

int D3D_EndScene(D3DDeviceRecord* dev) {
  if (dev == nullptr) return -1;
  if (!dev->sceneBegun) return 0;
  D3D_DeviceFlushVertex(dev);
  dev->device->EndScene();
  dev->sceneBegun = 0;
  return 0;
}

int D3D_EndSceneCurrent() {
  D3DDeviceRecord* dev = CurrentDevice();
  return dev == nullptr ? 0 : D3D_EndScene(dev);
}

void D3D_SetVertexType(D3DDeviceRecord* dev, uint32_t type) {
  if (dev->vertexType == type) return;
  D3D_DeviceFlushVertex(dev);
  // The write position always belongs to the array of the type in force (it is the count in it).
  dev->vertexType = type;
  dev->count = 0;
}

void D3D_PrepareBatchFor(D3DDeviceRecord* dev, uint32_t type, int n) {
  D3D_SetVertexType(dev, type);
  if (dev->primitiveType != plat::D3DPT_TRIANGLELIST) {
    D3D_DeviceFlushVertex(dev);
    dev->primitiveType = plat::D3DPT_TRIANGLELIST;
  }
  if (dev->count + n >= VertexCapacity(type)) D3D_DeviceFlushVertex(dev);
}

// ---- Pending block ----------------------------------------------------------------------------------

int D3D_SetPendingAlphaMode(D3DDeviceRecord* dev, uint32_t blendMode, uint32_t alphaChannel, uint32_t alphaTest) {
  if (dev == nullptr) return -1;
  if (dev->blendMode == blendMode && dev->alphaChannel == alphaChannel && dev->alphaTest == alphaTest && !dev->force) {
    return 0;
  }
  D3D_DeviceFlushVertex(dev);
  dev->blendMode = blendMode;
  dev->alphaChannel = alphaChannel;
  dev->alphaTest = alphaTest;
  dev->pendingDirty = 1;
  return 0;
}

int D3D_SetPendingTexture(D3DDeviceRecord* dev, plat::IDirectDrawSurface7* texture) {
  if (dev == nullptr) return -1;
  if (dev->texture == texture && !dev->force) return 0;
  D3D_DeviceFlushVertex(dev);
  // Textured and untextured draws use different presets.
  if ((dev->texture == nullptr) != (texture == nullptr)) dev->pendingDirty = 1;
  dev->texture = texture;
  dev->textureDirty = 1;
  return 0;
}

int D3D_SetPendingBlendTexture(D3DDeviceRecord* dev, plat::IDirectDrawSurface7* texture, int threshold, int range) {
  if (dev == nullptr) return -1;
  const bool same = texture != nullptr ? (texture == dev->blendTexture && threshold == dev->blendThreshold &&
                                          range == dev->blendRange)
                                       : dev->blendTexture == nullptr;
  if (same && !dev->force) return 0;
  D3D_DeviceFlushVertex(dev);
  dev->blendTexture = texture;
  if (threshold != -1) dev->blendThreshold = threshold;
  if (range != -1) dev->blendRange = range;
  dev->pendingDirty = 1;
  return 0;
}

int D3D_SetBlendOn(D3DDeviceRecord* dev, uint32_t value) {
  if (dev == nullptr) return -1;
  if (dev->blendOn == value && !dev->force) return 0;
  D3D_DeviceFlushVertex(dev);
  dev->blendOn = value;
  dev->pendingDirty = 1;
  return 0;
}

int D3D_SetDiffuseModulation(D3DDeviceRecord* dev, uint32_t value) {
  if (dev == nullptr) return -1;
  if (dev->diffuseModulation == value && !dev->force) return 0;
  D3D_DeviceFlushVertex(dev);
  dev->diffuseModulation = value;
  dev->pendingDirty = 1;
  return 0;
}

// ---- Cached render states ---------------------------------------------------------------------------

int D3D_SetTexturePerspective(D3DDeviceRecord* dev, uint32_t value) {
  return CachedRenderState(dev, dev ? &dev->texturePerspective : nullptr, value, plat::D3DRENDERSTATE_TEXTUREPERSPECTIVE,
                           false);
}
int D3D_SetColorKeyEnable(D3DDeviceRecord* dev, uint32_t value) {
  return CachedRenderState(dev, dev ? &dev->colorKeyEnable : nullptr, value, plat::D3DRENDERSTATE_COLORKEYENABLE, true);
}
int D3D_SetZEnable(D3DDeviceRecord* dev, uint32_t value) {
  return CachedRenderState(dev, dev ? &dev->zEnable : nullptr, value == 1 ? plat::D3DZB_TRUE : plat::D3DZB_FALSE,
                           plat::D3DRENDERSTATE_ZENABLE, true);
}
int D3D_SetZWriteEnable(D3DDeviceRecord* dev, uint32_t value) {
  return CachedRenderState(dev, dev ? &dev->zWriteEnable : nullptr, value, plat::D3DRENDERSTATE_ZWRITEENABLE, true);
}
int D3D_SetZFunc(D3DDeviceRecord* dev, uint32_t value) {
  return CachedRenderState(dev, dev ? &dev->zFunc : nullptr, value, plat::D3DRENDERSTATE_ZFUNC, true);
}
int D3D_SetZBias(D3DDeviceRecord* dev, uint32_t value) {
  return CachedRenderState(dev, dev ? &dev->zBias : nullptr, value, plat::D3DRENDERSTATE_ZBIAS, true);
}
int D3D_SetShadeMode(D3DDeviceRecord* dev, uint32_t value) {
  return CachedRenderState(dev, dev ? &dev->shadeMode : nullptr, value, plat::D3DRENDERSTATE_SHADEMODE, true);
}
int D3D_SetFogEnable(D3DDeviceRecord* dev, uint32_t value) {
  return CachedRenderState(dev, dev ? &dev->fogEnable : nullptr, value, plat::D3DRENDERSTATE_FOGENABLE, true);
}
int D3D_SetLighting(D3DDeviceRecord* dev, uint32_t value) {
  return CachedRenderState(dev, dev ? &dev->lighting : nullptr, value, plat::D3DRENDERSTATE_LIGHTING, false);
}

int D3D_SetCullMode(D3DDeviceRecord* dev, uint32_t setting) {
  if (dev == nullptr) return -1;
  if (dev->cullSetting == setting && !dev->force) return 0;
  D3D_DeviceFlushVertex(dev);
  dev->cullSetting = setting;
  dev->device->SetRenderState(plat::D3DRENDERSTATE_CULLMODE, setting == 0 ? plat::D3DCULL_NONE : plat::D3DCULL_CCW);
  return 0;
}

// The filter goes to the stages the last preset used; the apply writes it again when that count
// changes, so every stage that samples is always filtered alike.
int D3D_SetTextureFilter(D3DDeviceRecord* dev, int mode) {
  if (dev == nullptr || (mode != kFilterPoint && mode != kFilterLinear)) return -1;
  if (dev->filterMode == static_cast<uint32_t>(mode) && !dev->force) return 0;
  D3D_DeviceFlushVertex(dev);
  WriteFilterStages(dev, static_cast<uint32_t>(mode), dev->stagesInUse);
  dev->filterMode = static_cast<uint32_t>(mode);
  return 0;
}

int D3D_SetGraphFilter(int mode) { return D3D_SetTextureFilter(CurrentDevice(), mode); }

// ---- Render target and viewport ---------------------------------------------------------------------

// A surface the device refuses is not cached: the device still draws where it did.
int D3D_SetRenderTargetOn(D3DDeviceRecord* dev, plat::IDirectDrawSurface7* surface) {
  if (dev == nullptr) return -1;
  if (surface == nullptr) {
    if (dev->renderTarget == nullptr) return 0;
    if (dev->renderTarget == dev->defaultTarget && !dev->force) return 0;
    surface = dev->defaultTarget;
  } else if (dev->renderTarget == surface && !dev->force) {
    return 0;
  }
  D3D_DeviceFlushVertex(dev);
  if (dev->device->SetRenderTarget(surface, 0) != plat::D3D_OK) return -1;
  dev->renderTarget = surface;
  return 0;
}

int D3D_SetRenderTarget(plat::IDirectDrawSurface7* surface) { return D3D_SetRenderTargetOn(CurrentDevice(), surface); }

int D3D_SetViewportOn(D3DDeviceRecord* dev, const plat::D3DVIEWPORT7& viewport) {
  if (dev == nullptr || dev->renderTarget == nullptr) return -1;
  const plat::D3DVIEWPORT7& c = dev->viewport;
  if (c.dwX == viewport.dwX && c.dwY == viewport.dwY && c.dwWidth == viewport.dwWidth &&
      c.dwHeight == viewport.dwHeight && !dev->force) {
    return 0;
  }
  D3D_DeviceFlushVertex(dev);
  D3D_EndScene(dev);
  plat::D3DVIEWPORT7 v = viewport;
  const plat::HRESULT hr = dev->device->SetViewport(&v);
  if (hr != plat::D3D_OK) {
    D3DLogText("ビューポートのセットに失敗しました ErrorCode %x\n", static_cast<unsigned>(hr));
    return -1;
  }
  dev->viewport = viewport;
  return 0;
}

int D3D_SetViewport(int x, int y, int width, int height) {
  plat::D3DVIEWPORT7 v{static_cast<plat::DWORD>(x), static_cast<plat::DWORD>(y), static_cast<plat::DWORD>(width),
                       static_cast<plat::DWORD>(height), 0.0f, 1.0f};
  return D3D_SetViewportOn(CurrentDevice(), v);
}

// The viewport of the draw area on the draw screen; the draw origin places the front screen's client
// area on the primary surface, and a derived graph in its parent's texture, as it places the vertices.
int D3D_SetDrawArea(const plat::RECT* area) {
  if (gD3D.target2D) return 0;
  if (area == nullptr || area->right - area->left == 0 || area->bottom - area->top == 0) return -1;
  return D3D_SetViewport(area->left + gDrawState.drawOriginX + gD3D.targetOffsetX,
                         area->top + gDrawState.drawOriginY + gD3D.targetOffsetY, area->right - area->left,
                         area->bottom - area->top);
}

void D3D_ClearTarget2DFlag() { gD3D.target2D = 0; }

// ---- Transforms -------------------------------------------------------------------------------------

int D3D_SetWorldMatrix(D3DDeviceRecord* dev, int index, const Matrix4* matrix) {
  static const plat::D3DTRANSFORMSTATETYPE kWorlds[4] = {plat::D3DTRANSFORMSTATE_WORLD, plat::D3DTRANSFORMSTATE_WORLD1,
                                                          plat::D3DTRANSFORMSTATE_WORLD2, plat::D3DTRANSFORMSTATE_WORLD3};
  if (dev == nullptr) return -1;
  if (index < 0 || index > 3) return 0;
  return SetTransformOn(dev, kWorlds[index], matrix);
}

int D3D_SetTransformWorld(const Matrix4* matrix, int index) {
  D3DDeviceRecord* dev = CurrentDevice();
  D3D_DeviceFlushVertex(dev);
  return D3D_SetWorldMatrix(dev, index, matrix);
}

int D3D_SetTransformView(const Matrix4* matrix) { return SetCameraTransform(plat::D3DTRANSFORMSTATE_VIEW, matrix); }
int D3D_SetTransformProjection(const Matrix4* matrix) {
  return SetCameraTransform(plat::D3DTRANSFORMSTATE_PROJECTION, matrix);
}

// Where a new view, projection or draw screen would refresh state derived from them. Every vertex
// reaches the device already transformed, so nothing is derived and there is nothing to refresh.
int D3D_DummyRefresh() { return 0; }

// ---- The apply --------------------------------------------------------------------------------------

int D3D_ApplyDrawState(D3DDeviceRecord* dev) {
  if (dev == nullptr) return -1;
  plat::IDirect3DDevice7* device = dev->device;
  if (!dev->force) {
    if (!dev->pendingDirty && !dev->textureDirty) return -1;
    if (!dev->pendingDirty) {
      // Only the graph's texture changed: bind it where the preset samples it.
      const int stage = dev->blendTexture == nullptr ? 0 : (dev->alphaChannel ? 2 : 1);
      device->SetTexture(static_cast<plat::DWORD>(stage), dev->texture);
      dev->stages[stage].texture = dev->texture;
      dev->textureDirty = 0;
      return 0;
    }
  }

  const BlendModeRow& row = kBlendModeTable[dev->blendMode < kBlendModeCount ? dev->blendMode : kBlendNone];
  int32_t destBlend = row.destBlend;
  int32_t srcBlend = row.srcBlend;
  dev->pendingDirty = 0;
  dev->textureDirty = 0;
  const bool blending = dev->blendMode != kBlendNone && dev->blendMode != kBlendAsNone;
  uint32_t textureFactor = 0xFFFFFFFFu;
  uint32_t alphaTestEnable = 0;
  uint32_t alphaRef = dev->alphaRef;
  uint32_t alphaFunc = dev->alphaFunc;
  uint32_t alphaBlendEnable = 0;
  StagePresetBlock block{};
  plat::IDirectDrawSurface7* textures[kD3DStageCount] = {};

  if (dev->texture == nullptr) {
    dev->discardBatch = 0;
    D3D_SetVertexType(dev, kVertexDiffuse);
    block = dev->blendMode == kBlendSub ? GetUntexturedSubtractPreset() : GetUntexturedPreset(row.presetGroup);
    textureFactor = dev->textureFactor;
    alphaBlendEnable = blending ? 1 : 0;
  } else if (dev->blendTexture == nullptr) {
    dev->discardBatch = 0;
    D3D_SetVertexType(dev, kVertexTex1);
    block = GetStagePreset(StagePresetIndex(dev->alphaChannel, dev->alphaTest, dev->blendOn, dev->diffuseModulation, 0,
                                            row.presetGroup));
    if (dev->alphaTest) {
      alphaTestEnable = 1, alphaRef = 16, alphaFunc = plat::D3DCMP_GREATER;
    } else if (dev->zEnable) {
      // With depth on, fully transparent texels must not write depth.
      alphaTestEnable = 1, alphaRef = 0, alphaFunc = plat::D3DCMP_GREATER;
    }
    if (dev->alphaChannel && !blending) destBlend = plat::D3DBLEND_INVSRCALPHA, srcBlend = plat::D3DBLEND_SRCALPHA;
    alphaBlendEnable = (dev->alphaChannel || blending) ? 1 : 0;
    textures[0] = dev->texture;
  } else {
    D3D_SetVertexType(dev, kVertexTex2);
    block = GetStagePreset(StagePresetIndex(dev->alphaChannel, dev->alphaTest, dev->blendOn, dev->diffuseModulation, 1, 0));
    if (!blending) destBlend = plat::D3DBLEND_INVSRCALPHA, srcBlend = plat::D3DBLEND_SRCALPHA;
    dev->discardBatch = dev->blendThreshold == 255 ? 1 : 0;
    textures[0] = dev->blendTexture;
    textures[dev->alphaChannel ? 2 : 1] = dev->texture;
    if (dev->blendRange <= 1) {
      alphaTestEnable = 1;
      alphaRef = (dev->blendThreshold == 0 && (dev->alphaChannel || dev->alphaTest))
                     ? 1u
                     : static_cast<uint32_t>(dev->blendThreshold);
      alphaFunc = plat::D3DCMP_GREATEREQUAL;
      alphaBlendEnable = 0;
      textureFactor = 0x00FFFFFFu;
    } else {
      const BlendGraphEdge edge = BlendGraphSoftEdge(dev->blendThreshold, dev->blendRange);
      alphaBlendEnable = 1;
      block.stages[0].alphaOp = edge.stage0AlphaOp;
      block.stages[1].alphaOp = edge.stage1AlphaOp;
      textureFactor = edge.textureFactor;
    }
  }

  if (static_cast<int32_t>(block.count) != dev->stagesInUse) {
    dev->stagesInUse = static_cast<int32_t>(block.count);
    const uint32_t force = dev->force;
    dev->force = 1;
    WriteFilterStages(dev, dev->filterMode, dev->stagesInUse);
    dev->force = force;
  }
  const int stagesToWrite = block.count < kD3DStageCount ? static_cast<int>(block.count) + 1 : kD3DStageCount;

  ApplyRenderState(dev, &dev->diffuseMaterialSource, plat::D3DMCS_COLOR1, plat::D3DRENDERSTATE_DIFFUSEMATERIALSOURCE);
  ApplyRenderState(dev, &dev->specularMaterialSource, plat::D3DMCS_COLOR2, plat::D3DRENDERSTATE_SPECULARMATERIALSOURCE);
  ApplyRenderState(dev, &dev->specularEnable, 0, plat::D3DRENDERSTATE_SPECULARENABLE);
  ApplyRenderState(dev, &dev->alphaFunc, alphaFunc, plat::D3DRENDERSTATE_ALPHAFUNC);
  ApplyRenderState(dev, &dev->alphaRef, alphaRef, plat::D3DRENDERSTATE_ALPHAREF);
  ApplyRenderState(dev, &dev->alphaTestEnable, alphaTestEnable, plat::D3DRENDERSTATE_ALPHATESTENABLE);
  ApplyRenderState(dev, &dev->alphaBlendEnable, alphaBlendEnable, plat::D3DRENDERSTATE_ALPHABLENDENABLE);
  ApplyRenderState(dev, &dev->textureFactor, textureFactor, plat::D3DRENDERSTATE_TEXTUREFACTOR);
  // A factor of -1 leaves the device's factors; forced, the cached factors are written again.
  if (srcBlend != -1 || dev->force) {
    ApplyRenderState(dev, &dev->srcBlend, srcBlend != -1 ? static_cast<uint32_t>(srcBlend) : dev->srcBlend,
                     plat::D3DRENDERSTATE_SRCBLEND);
  }
  if (destBlend != -1 || dev->force) {
    ApplyRenderState(dev, &dev->destBlend, destBlend != -1 ? static_cast<uint32_t>(destBlend) : dev->destBlend,
                     plat::D3DRENDERSTATE_DESTBLEND);
  }

  for (int s = 0; s < stagesToWrite; ++s) {
    if (s >= 2 && dev->stages[s - 1].alphaOp == plat::D3DTOP_DISABLE) break;
    StageCache& c = dev->stages[s];
    if (c.texture != textures[s] || dev->force) {
      c.texture = textures[s];
      device->SetTexture(static_cast<plat::DWORD>(s), textures[s]);
    }
    const StagePreset& p = block.stages[s];
    ApplyStageState(dev, s, &c.alphaOp, p.alphaOp, plat::D3DTSS_ALPHAOP);
    ApplyStageState(dev, s, &c.alphaArg1, p.alphaArg1, plat::D3DTSS_ALPHAARG1);
    ApplyStageState(dev, s, &c.alphaArg2, p.alphaArg2, plat::D3DTSS_ALPHAARG2);
    ApplyStageState(dev, s, &c.colorOp, p.colorOp, plat::D3DTSS_COLOROP);
    ApplyStageState(dev, s, &c.colorArg1, p.colorArg1, plat::D3DTSS_COLORARG1);
    ApplyStageState(dev, s, &c.colorArg2, p.colorArg2, plat::D3DTSS_COLORARG2);
  }
  return 0;
}

// The draw state a device takes over when the draw screen moves to it. The blend graph goes along
// too: it is draw state that stays set across draws, and the draws do not set it again.
int D3D_CopyDrawState(D3DDeviceRecord* from, D3DDeviceRecord* to) {
  if (from == nullptr || to == nullptr) return -1;
  D3D_SetPendingAlphaMode(to, from->blendMode, from->alphaChannel, from->alphaTest);
  D3D_SetTextureFilter(to, static_cast<int>(from->filterMode));
  D3D_SetPendingTexture(to, from->texture);
  D3D_SetPendingBlendTexture(to, from->blendTexture, from->blendThreshold, from->blendRange);
  D3D_ApplyDrawState(to);
  return 0;
}

void D3D_BindTileTexture(D3DDeviceRecord* dev, plat::IDirectDrawSurface7* texture) {
  D3D_SetPendingTexture(dev, texture);
  if (dev->pendingDirty || dev->textureDirty) D3D_ApplyDrawState(dev);
}

int D3D_ApplyFixedRenderStates(D3DDeviceRecord* dev) {
  if (dev == nullptr) return -1;
  plat::IDirect3DDevice7* device = dev->device;
  D3D_DeviceFlushVertex(dev);
  static const uint32_t kCoordSets[4] = {0, 1, 1, 0};
  for (plat::DWORD s = 0; s < 4; ++s) {
    device->SetTextureStageState(s, plat::D3DTSS_ADDRESS, dev->address);
    device->SetTextureStageState(s, plat::D3DTSS_TEXCOORDINDEX, kCoordSets[s]);
  }
  device->SetRenderState(plat::D3DRENDERSTATE_TEXTUREPERSPECTIVE, dev->texturePerspective);
  device->SetRenderState(plat::D3DRENDERSTATE_SHADEMODE, dev->shadeMode);
  device->SetRenderState(plat::D3DRENDERSTATE_COLORKEYENABLE, dev->colorKeyEnable);
  device->SetRenderState(plat::D3DRENDERSTATE_LIGHTING, dev->lighting);
  device->SetRenderState(plat::D3DRENDERSTATE_CULLMODE, plat::D3DCULL_NONE);
  device->SetRenderState(plat::D3DRENDERSTATE_DITHERENABLE, 0);
  return 0;
}

// ---- Draw colour and blend graph --------------------------------------------------------------------

int D3D_RefreshDrawColor() {
  const uint32_t alpha = gDrawState.blendMode != kBlendNone ? (gDrawState.blendParam & 0xFF) : 255u;
  gD3D.drawColor = alpha << 24 | (gDrawState.brightColor & 0xFFFFFF);
  return 0;
}

int D3D_SetBlendGraphParam(int graph, int threshold, int range) {
  D3DDeviceRecord* dev = CurrentDevice();
  if (graph != -1) {
    const GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr || g->partCount == 0) return -1;
    const Surface3DDataRecord* tile = GetSurface3DData(g->parts[0]);
    if (tile == nullptr || dev == nullptr) return -1;
    D3D_SetPendingBlendTexture(dev, TileTexture(tile), threshold, range);
    const SurfaceDataRecord* d = GetSurfaceDataRecord(tile->surfaceData);
    if (d != nullptr) {
      gD3D.blendTextureWidth = d->width;
      gD3D.blendTextureHeight = d->height;
      gD3D.blendTextureInvWidth = 1.0f / d->width;
      gD3D.blendTextureInvHeight = 1.0f / d->height;
    }
    return 0;
  }
  if (dev != nullptr && (dev->force || dev->blendTexture != nullptr)) {
    D3D_DeviceFlushVertex(dev);
    dev->blendTexture = nullptr;
    if (threshold != -1) dev->blendThreshold = threshold;
    if (range != -1) dev->blendRange = range;
    dev->pendingDirty = 1;
  }
  return 0;
}

// ---- Grid mesh --------------------------------------------------------------------------------------

int D3D_DrawGridMesh(D3DDeviceRecord* dev, int columns, VertexTex1* vertices, int rows) {
  if (dev == nullptr) return -1;
  D3D_DeviceFlushVertex(dev);
  const plat::DWORD vertexCount = static_cast<plat::DWORD>(columns * rows);
  return BuildGridMeshStrips(columns, rows, [dev, vertices, vertexCount](const uint16_t* indices, int count) {
    dev->device->DrawIndexedPrimitive(plat::D3DPT_TRIANGLESTRIP, kFvfTex1, vertices, vertexCount,
                                      const_cast<plat::WORD*>(indices), static_cast<plat::DWORD>(count), 0);
  });
}

// ---- Strings ----------------------------------------------------------------------------------------

int D3D_DrawStringToTarget(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor,
                           int vertical) {
  if (!IsFontTextureMode(font)) return DrawStringBackend2D(x, y, text, color, font, edgeColor, vertical);
  if (gD3D.target2D) return -1;
  plat::RECT clip = gDrawState.drawArea;
  FontStringEngine(kFontEngineDraw, x, y, 1, 1.0, 1.0, text, color, nullptr, &clip, 1, font, edgeColor,
                   static_cast<int>(strlen(text)), vertical, nullptr);
  return 0;
}

}  // namespace orbel

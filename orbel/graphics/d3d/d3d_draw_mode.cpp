// D3D_SetupDrawMode: the draw state and the properties of the tile about to be drawn become the
// current device's pending state (texture, colour key, alpha test or blend, diffuse modulation,
// filter, cull, depth, fog), each through its cached setter, and the pending block is applied.
// A run of draws of one graph in one state asks for the same mode every time: the mode is first
// compared with what the device's caches already hold, and the setters run only when one differs.
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_state.h"

namespace orbel {

namespace {

// What a draw asks of the device: the values the setters are given.
struct DrawMode {
  uint32_t lighting;
  bool setsTexture;  // false: the texture, alpha and modulation state is left as it is
  plat::IDirectDrawSurface7* texture;
  uint32_t colorKey, alphaTest, alphaChannel;
  uint32_t blendMode, modulate, blendOn, perspective;
  uint32_t shadeMode;
  int filter;
  uint32_t cull;
  bool setsZ;  // false: depth is only switched off
  uint32_t zEnable, zWriteEnable, zFunc, zBias;
  uint32_t fog;
};

DrawMode WantedDrawMode(const Surface3DDataRecord* tile, const SurfaceDataRecord* d, uint32_t flags) {
  const DrawState& st = gDrawState;
  DrawMode m{};
  m.lighting = (flags & kDrawLighting) ? 1 : 0;
  m.setsTexture = (flags & kDrawKeepTextureState) == 0;
  if (m.setsTexture) {
    if (tile != nullptr) {
      m.texture = d != nullptr ? d->surface : nullptr;
      if (flags & kDrawTrans) {
        const GraphFormatBlock f = d != nullptr ? d->format : GraphFormatBlock{};
        if (!f.alphaTest && !f.alpha) {
          m.colorKey = 1;
        } else if ((st.blendMode == kBlendNone || st.blendMode == kBlendDestKept) &&
                   ((flags & kDrawKeepAlphaTest) || st.filterMode != kFilterLinear)) {
          m.alphaTest = f.alphaTest;
          m.alphaChannel = f.alpha;
        } else {
          // A bilinear alpha-tested texture, or any other blend mode, blends by the texture's alpha.
          m.alphaChannel = 1;
        }
      }
    }
    m.blendMode = st.blendMode;
    m.modulate = ((flags & kDrawModulate) || (st.brightColor & 0xFFFFFF) != 0xFFFFFF) ? 1 : 0;
    m.blendOn = ((flags & kDrawBlendAlways) || st.blendMode != kBlendNone) ? 1 : 0;
    m.perspective = (flags & kDrawPerspective) ? 1 : 0;
  }
  m.shadeMode = (flags & kDrawGouraud) ? plat::D3DSHADE_GOURAUD : plat::D3DSHADE_FLAT;
  m.filter = static_cast<int>(st.filterMode);
  m.cull = st.cullSetting;
  m.setsZ = (flags & kDrawZ) != 0;
  if (m.setsZ) {
    m.zEnable = st.d3dDrawSettings[0] == 1 ? 1 : 0;
    m.zWriteEnable = st.d3dDrawSettings[1];
    m.zFunc = st.d3dDrawSettings[2];
    m.zBias = st.zBias;
  }
  // Fog follows the draw state's setting when the draw asks for it, and is off otherwise.
  m.fog = (flags & kDrawFog) ? (st.fogEnable ? 1 : 0) : 0;
  return m;
}

// True when every setter below would find its value cached (nothing forced, nothing pending to
// apply): then none of them would write, flush or apply, and the mode needs no setting.
bool DeviceHoldsDrawMode(const D3DDeviceRecord* dev, const DrawMode& m) {
  if (dev->force || dev->lighting != m.lighting) return false;
  if (m.setsTexture &&
      (dev->texturePerspective != m.perspective || dev->diffuseModulation != m.modulate ||
       dev->blendOn != m.blendOn || dev->texture != m.texture || dev->blendMode != m.blendMode ||
       dev->alphaChannel != m.alphaChannel || dev->alphaTest != m.alphaTest || dev->pendingDirty ||
       dev->textureDirty || dev->colorKeyEnable != m.colorKey)) {
    return false;
  }
  if (dev->shadeMode != m.shadeMode || dev->cullSetting != m.cull) return false;
  // The filter setter ignores a mode it does not know.
  if ((m.filter == kFilterPoint || m.filter == kFilterLinear) && dev->filterMode != static_cast<uint32_t>(m.filter)) {
    return false;
  }
  if (m.setsZ) {
    if (dev->zEnable != (m.zEnable == 1 ? plat::D3DZB_TRUE : plat::D3DZB_FALSE) ||
        dev->zWriteEnable != m.zWriteEnable || dev->zFunc != m.zFunc || dev->zBias != m.zBias) {
      return false;
    }
  } else if (dev->zEnable) {
    return false;
  }
  return dev->fogEnable == m.fog;
}

void SetDrawMode(D3DDeviceRecord* dev, const DrawMode& m) {
  D3D_SetLighting(dev, m.lighting);
  if (m.setsTexture) {
    D3D_SetTexturePerspective(dev, m.perspective);
    D3D_SetDiffuseModulation(dev, m.modulate);
    D3D_SetBlendOn(dev, m.blendOn);
    D3D_SetPendingTexture(dev, m.texture);
    D3D_SetPendingAlphaMode(dev, m.blendMode, m.alphaChannel, m.alphaTest);
    if (dev->pendingDirty || dev->textureDirty) D3D_ApplyDrawState(dev);
    D3D_SetColorKeyEnable(dev, m.colorKey);
  }
  D3D_SetShadeMode(dev, m.shadeMode);
  D3D_SetTextureFilter(dev, m.filter);
  D3D_SetCullMode(dev, m.cull);
  if (m.setsZ) {
    D3D_SetZEnable(dev, m.zEnable);
    D3D_SetZWriteEnable(dev, m.zWriteEnable);
    D3D_SetZFunc(dev, m.zFunc);
    D3D_SetZBias(dev, m.zBias);
  } else if (dev->zEnable) {
    D3D_SetZEnable(dev, 0);
  }
  D3D_SetFogEnable(dev, m.fog);
}

}  // namespace

void D3D_SetupTileDrawMode(D3DDeviceRecord* dev, const Surface3DDataRecord* tile, const SurfaceDataRecord* data,
                           uint32_t flags) {
  const DrawMode mode = WantedDrawMode(tile, data, flags);
  if (!DeviceHoldsDrawMode(dev, mode)) SetDrawMode(dev, mode);
  dev->lastDrawTile = tile;
  dev->lastDrawFlags = flags;
}

void D3D_SetupDrawMode(const Surface3DDataRecord* tile, uint32_t flags) {
  D3DDeviceRecord* dev = CurrentDevice();
  if (dev == nullptr) return;
  D3D_SetupTileDrawMode(dev, tile, tile != nullptr ? GetSurfaceDataRecord(tile->surfaceData) : nullptr, flags);
}

}  // namespace orbel

// The draw mode a draw asks of the current device (texture, colour key, alpha test or blend, diffuse
// modulation, filter, cull, depth, fog) as the draw state and the tile make it, and the check whether
// the device's caches already hold it. Inline for the draws: a run of draws of one graph in one state
// asks for the same mode every time, and then nothing is set. The setting is in d3d_draw_mode.cpp.
#pragma once

#include <cstdint>

#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_state.h"

namespace orbel {

// What a draw asks of the device: the values the setters are given.
struct D3DDrawMode {
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

[[gnu::always_inline]] inline D3DDrawMode WantedDrawMode(const Surface3DDataRecord* tile, const SurfaceDataRecord* d, uint32_t flags) {
  const DrawState& st = gDrawState;
  D3DDrawMode m{};
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

// True when every setter D3D_SetDrawMode calls would find its value cached (nothing forced, nothing
// pending to apply): then none of them would write, flush or apply, and the mode needs no setting.
[[gnu::always_inline]] inline bool DeviceHoldsDrawMode(const D3DDeviceRecord* dev, const D3DDrawMode& m) {
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

// Sets the mode the draw asks for through the cached setters; the draws call it only when the device
// does not hold that mode already.
void D3D_SetDrawMode(D3DDeviceRecord* dev, const Surface3DDataRecord* tile, const SurfaceDataRecord* data,
                     uint32_t flags);

// D3D_SetupDrawMode on a device the caller holds, for a tile (or null) whose surface data it has looked
// up.
[[gnu::always_inline]] inline void D3D_SetupTileDrawMode(D3DDeviceRecord* dev, const Surface3DDataRecord* tile,
                                                         const SurfaceDataRecord* data, uint32_t flags) {
  if (!DeviceHoldsDrawMode(dev, WantedDrawMode(tile, data, flags))) D3D_SetDrawMode(dev, tile, data, flags);
  dev->lastDrawTile = tile;
  dev->lastDrawFlags = flags;
}

}  // namespace orbel

// D3D_SetupDrawMode: the draw state and the properties of the tile about to be drawn become the
// current device's pending state (texture, colour key, alpha test or blend, diffuse modulation,
// filter, cull, depth, fog), each through its cached setter, and the pending block is applied.
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_state.h"

namespace orbel {

void D3D_SetupDrawMode(const Surface3DDataRecord* tile, uint32_t flags) {
  D3DDeviceRecord* dev = CurrentDevice();
  if (dev == nullptr) return;
  const DrawState& st = gDrawState;

  D3D_SetLighting(dev, (flags & kDrawLighting) ? 1 : 0);

  if ((flags & kDrawKeepTextureState) == 0) {
    uint32_t colorKey = 0;
    uint32_t alphaTest = 0;
    uint32_t alphaChannel = 0;
    plat::IDirectDrawSurface7* texture = nullptr;
    if (tile != nullptr) {
      texture = TileTexture(tile);
      if (flags & kDrawTrans) {
        const SurfaceDataRecord* d = GetSurfaceDataRecord(tile->surfaceData);
        const GraphFormatBlock f = d != nullptr ? d->format : GraphFormatBlock{};
        if (!f.alphaTest && !f.alpha) {
          colorKey = 1;
        } else if ((st.blendMode == kBlendNone || st.blendMode == kBlendDestKept) &&
                   ((flags & kDrawKeepAlphaTest) || st.filterMode != kFilterLinear)) {
          alphaTest = f.alphaTest;
          alphaChannel = f.alpha;
        } else {
          // A bilinear alpha-tested texture, or any other blend mode, blends by the texture's alpha.
          alphaChannel = 1;
        }
      }
    }
    const uint32_t modulate = ((flags & kDrawModulate) || (st.brightColor & 0xFFFFFF) != 0xFFFFFF) ? 1 : 0;
    const uint32_t blendOn = ((flags & kDrawBlendAlways) || st.blendMode != kBlendNone) ? 1 : 0;
    D3D_SetTexturePerspective(dev, (flags & kDrawPerspective) ? 1 : 0);
    D3D_SetDiffuseModulation(dev, modulate);
    D3D_SetBlendOn(dev, blendOn);
    D3D_SetPendingTexture(dev, texture);
    D3D_SetPendingAlphaMode(dev, st.blendMode, alphaChannel, alphaTest);
    if (dev->pendingDirty || dev->textureDirty) D3D_ApplyDrawState(dev);
    D3D_SetColorKeyEnable(dev, colorKey);
  }

  D3D_SetShadeMode(dev, (flags & kDrawGouraud) ? plat::D3DSHADE_GOURAUD : plat::D3DSHADE_FLAT);
  D3D_SetTextureFilter(dev, static_cast<int>(st.filterMode));
  D3D_SetCullMode(dev, st.cullSetting);
  if (flags & kDrawZ) {
    D3D_SetZEnable(dev, st.d3dDrawSettings[0] == 1 ? 1 : 0);
    D3D_SetZWriteEnable(dev, st.d3dDrawSettings[1]);
    D3D_SetZFunc(dev, st.d3dDrawSettings[2]);
    D3D_SetZBias(dev, st.zBias);
  } else if (dev->zEnable) {
    D3D_SetZEnable(dev, 0);
  }
  // Fog follows the draw state's setting when the draw asks for it, and is off otherwise.
  D3D_SetFogEnable(dev, (flags & kDrawFog) ? (st.fogEnable ? 1 : 0) : 0);
  dev->lastDrawTile = tile;
  dev->lastDrawFlags = flags;
}

}  // namespace orbel

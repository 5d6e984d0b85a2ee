// D3D_SetupDrawMode: the draw state and the properties of the tile about to be drawn become the
// current device's pending state (texture, colour key, alpha test or blend, diffuse modulation,
// filter, cull, depth, fog), each through its cached setter, and the pending block is applied; only
// when the device's caches do not already hold them (d3d_draw_mode.h).
#include "orbel/graphics/d3d/d3d_draw_mode.h"

namespace orbel {

void D3D_SetDrawMode(D3DDeviceRecord* dev, const Surface3DDataRecord* tile, const SurfaceDataRecord* data,
                     uint32_t flags) {
  const D3DDrawMode m = WantedDrawMode(tile, data, flags);
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

void D3D_SetupDrawMode(const Surface3DDataRecord* tile, uint32_t flags) {
  D3DDeviceRecord* dev = CurrentDevice();
  if (dev == nullptr) return;
  D3D_SetupTileDrawMode(dev, tile, tile != nullptr ? GetSurfaceDataRecord(tile->surfaceData) : nullptr, flags);
}

}  // namespace orbel

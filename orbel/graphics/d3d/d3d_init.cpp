// Direct3D start-up (object, device choice, Z and texture formats, the device on the flip target, size
// limits, the start-up report), device creation and its forced state restore, the move of the draw
// screen to a device that can draw into it, re-acquiring the object after a full re-creation of
// DirectDraw, and the end.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/screen_state.h"
#include "platform/ddraw/ddraw.h"

namespace orbel {

namespace {

uint32_t AddressMode() { return gDrawState.textureAddress == 0 ? plat::D3DTADDRESS_CLAMP : gDrawState.textureAddress; }

void ReleaseObject() {
  if (gD3D.object != nullptr) {
    gD3D.object->Release();
    gD3D.object = nullptr;
  }
}

int FailStart() {
  D3D_DeleteDevice();
  ReleaseObject();
  return -1;
}

void CopyFormatIfEmpty(int to, int from) {
  if (gD3D.formats[to].colorData.bitDepth == 0) gD3D.formats[to] = gD3D.formats[from];
}

int SideLimit(plat::DWORD width, plat::DWORD height, int whenZero) {
  const plat::DWORD side = width < height ? width : height;
  return side == 0 ? whenZero : static_cast<int>(side);
}

void LogStartReport() {
  const plat::D3DDEVICEDESC7& d = gD3D.deviceDesc;
  const plat::DWORD caps = d.dpcTriCaps.dwTextureCaps;
  LogTabAdd();
  D3DLogText("テクスチャ最大幅:%u 最小幅:%u ", static_cast<unsigned>(gD3D.maxTextureSide),
            static_cast<unsigned>(gD3D.minTextureSide));
  D3DLogText("描画制限: D_D3DPTEXTURECAPS_POW2 = %d  D_D3DPTEXTURECAPS_SQUAREONLY = %d ",
            (caps & plat::D3DPTEXTURECAPS_POW2) ? 1 : 0, (caps & plat::D3DPTEXTURECAPS_SQUAREONLY) ? 1 : 0);
  D3DLogText("最大テクスチャステージ数 = %d   最大テクスチャブレンド数 = %d ", d.wMaxTextureBlendStages,
            d.wMaxSimultaneousTextures);
  if (d.wMaxTextureBlendStages < 4) {
    LogAdd("使用可能テクスチャステージが 4 以下なので DrawBlendGraph は正常に機能しない可能性があります\n");
  }
  LogAdd("テクスチャピクセルフォーマット\n");
  LogAdd("\t通常グラフィック用\n");
  for (int i = 0; i < 2; ++i) {
    const ColorData& c = gD3D.formats[i].colorData;
    D3DLogText("\t\t BIT:%u  RED:%u  GREEN:%u  BLUE:%u ", c.bitDepth, c.redWidth, c.greenWidth, c.blueWidth);
    D3DLogText("\t\t RED:%06x GREEN:%06x BLUE:%06x \n", c.redMask, c.greenMask, c.blueMask);
  }
  LogAdd("\tアルファチャンネル付きグラフィック用\n");
  for (int i = 2; i < 4; ++i) {
    const ColorData& c = gD3D.formats[i].colorData;
    D3DLogText("\t\t BIT:%u  ALPHA:%u  RED:%u  GREEN:%u  BLUE:%u ", c.bitDepth, c.alphaWidth, c.redWidth,
              c.greenWidth, c.blueWidth);
    D3DLogText("\t\t ALPHA:%08x RED:%08x GREEN:%08x BLUE:%08x \n", c.alphaMask, c.redMask, c.greenMask, c.blueMask);
  }
  LogTabSub();
}

// What a fresh device has: stage 0 modulates the texture, the others are off.
void SetNeutralStageCaches(D3DDeviceRecord* dev) {
  for (int s = 0; s < kD3DStageCount; ++s) {
    StageCache& c = dev->stages[s];
    c.texture = nullptr;
    c.colorOp = s == 0 ? plat::D3DTOP_MODULATE : plat::D3DTOP_DISABLE;
    c.alphaOp = s == 0 ? plat::D3DTOP_SELECTARG1 : plat::D3DTOP_DISABLE;
    c.colorArg1 = c.alphaArg1 = plat::D3DTA_TEXTURE;
    c.colorArg2 = c.alphaArg2 = plat::D3DTA_CURRENT;
  }
}

}  // namespace

int D3DLogText(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return LogAdd(text);
}

// ---- Start and end ----------------------------------------------------------------------------------

int D3D_Initialize() {
  if (gD3D.object != nullptr) return -1;
  LogAdd("Direct3D 関連の初期化を行います\n");
  memset(&gD3D, 0, sizeof(gD3D));
  LogAdd("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n");
  void* object = nullptr;
  if (gScreen.directDraw == nullptr ||
      gScreen.directDraw->QueryInterface(plat::IID_IDirect3D7, &object) != plat::S_OK || object == nullptr) {
    return LogAdd("Direct3Dオブジェクトの作成に失敗しました\n");
  }
  gD3D.object = static_cast<plat::IDirect3D7*>(object);
  LogAdd("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得しました\n");

  uint32_t found = 0;
  if (gD3D.object->EnumDevices(D3D_EnumDeviceCallback, &found) != plat::D3D_OK || !found) {
    LogAdd("現在の画面モードで使用できる描画デバイスが見つかりませんでした\n");
    return FailStart();
  }
  found = 0;
  if (gD3D.object->EnumZBufferFormats(plat::IID_IDirect3DHALDevice, D3D_EnumZBufferCallback, &found) != plat::D3D_OK ||
      !found) {
    LogAdd("使用可能なＺバッファが見つかりませんでした\n");
  }

  plat::IDirectDrawSurface7* target = GetFlipTargetSurface();
  const int index = D3D_InitDevice(target);
  if (index < 0) return FailStart();
  gD3D.current = index;
  D3DDeviceRecord* dev = &gD3D.devices[index];
  D3D_SetRenderTargetOn(dev, target);

  for (int s = 3; s >= 0; --s) {
    if (dev->device->SetTextureStageState(static_cast<plat::DWORD>(s), plat::D3DTSS_ADDRESS, AddressMode()) !=
            plat::D3D_OK &&
        s == 0) {
      return FailStart();
    }
  }

  memset(gD3D.formats, 0, sizeof(gD3D.formats));
  found = 0;
  if (dev->device->EnumTextureFormats(D3D_EnumTextureFormatCallback, &found) != plat::D3D_OK || !found) {
    LogAdd("使用可能なテクスチャフォーマットが見つかりませんでした\n");
    return FailStart();
  }
  // Missing formats are taken from their neighbours. A device with only 8-bit alpha also fills the
  // 16-bit alpha records, so that alpha graphs of a 16-bit screen get a real format.
  CopyFormatIfEmpty(1, 0);
  CopyFormatIfEmpty(3, 2);
  CopyFormatIfEmpty(2, 3);
  CopyFormatIfEmpty(4, 2);
  CopyFormatIfEmpty(5, 3);
  CopyFormatIfEmpty(6, 0);
  CopyFormatIfEmpty(7, 1);
  CopyFormatIfEmpty(8, 3);

  gD3D.endAfterDraw = 1;
  const plat::D3DDEVICEDESC7& d = gD3D.deviceDesc;
  gD3D.minTextureSide = SideLimit(d.dwMinTextureWidth, d.dwMinTextureHeight, 32);
  gD3D.maxTextureSide = SideLimit(d.dwMaxTextureWidth, d.dwMaxTextureHeight, 256);
  gD3D.captureMethodAlpha = -1;
  gD3D.captureMethodPlain = -1;
  gD3D.target2D = 0;
  D3D_RefreshDrawColor();

  LogStartReport();
  LogAdd("Direct3D 関連の初期化は正常に終了しました\n");
  gD3D.started = 1;
  return 0;
}

int D3D_Terminate() {
  if (!gD3D.started && gD3D.object == nullptr) return -1;
  LogAdd("Direct3D 関連の終了処理を行います\n");
  D3DDeviceRecord* dev = CurrentDevice();
  if (dev != nullptr) {
    D3D_EndScene(dev);
    D3D_SetPendingTexture(dev, nullptr);
    for (int s = 0; s < kD3DStageCount; ++s) {
      if (dev->stages[s].texture != nullptr) dev->device->SetTexture(static_cast<plat::DWORD>(s), nullptr);
      dev->stages[s].texture = nullptr;
    }
  }
  gD3D.endAfterDraw = 0;
  for (uint32_t slot = 0; slot < gSurface3DTable.areaEnd; ++slot) {
    const int h = gSurface3DTable.HandleAt(slot);
    if (h != -1) DeleteSurface3DData(h);
  }
  D3D_DeleteDevice();
  ReleaseObject();
  LogAdd("Direct3D 関連の終了処理は正常に終了しました\n");
  gD3D.started = 0;
  return 0;
}

int D3D_DeleteAllSurface3D() {
  if (!D3DStarted()) return -1;
  for (uint32_t slot = 0; slot < gSurface3DTable.areaEnd; ++slot) {
    const int h = gSurface3DTable.HandleAt(slot);
    if (h != -1) DeleteSurface3DData(h);
  }
  return 0;
}

int D3D_IsDeviceReady() { return CurrentDevice() != nullptr ? 1 : 0; }

// ---- Devices ----------------------------------------------------------------------------------------

int D3D_InitDevice(plat::IDirectDrawSurface7* target) {
  if (!D3DStarted()) return -1;
  int index = 0;
  while (index < kD3DDeviceCount && gD3D.devices[index].inUse) ++index;
  if (index == kD3DDeviceCount) return -1;
  D3DDeviceRecord* dev = &gD3D.devices[index];
  memset(dev, 0, sizeof(*dev));
  LogAdd("３Ｄデバイスを作成します... ");
  if (gD3D.object->CreateDevice(gD3D.deviceDesc.deviceGUID, target, &dev->device) != plat::D3D_OK ||
      dev->device == nullptr) {
    dev->device = nullptr;
    return LogAdd("３Ｄデバイスの作成に失敗しました\n");
  }
  for (VertexDiffuse& v : dev->diffuseVertices) v.rhw = 1.0f;
  for (VertexTex1& v : dev->tex1Vertices) v.rhw = 1.0f;
  for (VertexTex2& v : dev->tex2Vertices) {
    v.rhw = 1.0f;
    v.specular = 0xFFFFFFFFu;
  }
  plat::IDirect3DDevice7* device = dev->device;
  dev->address = AddressMode();
  for (plat::DWORD s = 0; s < kD3DStageCount; ++s) {
    device->SetTextureStageState(s, plat::D3DTSS_ADDRESS, dev->address);
    device->SetTextureStageState(s, plat::D3DTSS_MAGFILTER, plat::D3DTFG_POINT);
    device->SetTextureStageState(s, plat::D3DTSS_MINFILTER, plat::D3DTFN_POINT);
    device->SetTextureStageState(s, plat::D3DTSS_MIPFILTER, plat::D3DTFP_POINT);
    dev->magFilter[s] = plat::D3DTFG_POINT;
    dev->minFilter[s] = plat::D3DTFN_POINT;
  }
  device->SetRenderState(plat::D3DRENDERSTATE_COLORKEYBLENDENABLE, 0);
  device->SetRenderState(plat::D3DRENDERSTATE_CULLMODE, plat::D3DCULL_NONE);
  device->SetRenderState(plat::D3DRENDERSTATE_LIGHTING, 0);
  device->SetRenderState(plat::D3DRENDERSTATE_TEXTUREPERSPECTIVE, 0);
  device->SetRenderState(plat::D3DRENDERSTATE_SHADEMODE, plat::D3DSHADE_FLAT);
  device->SetRenderState(plat::D3DRENDERSTATE_COLORKEYENABLE, 0);
  device->SetRenderState(plat::D3DRENDERSTATE_DITHERENABLE, 0);

  SetNeutralStageCaches(dev);
  dev->zEnable = plat::D3DZB_TRUE;
  dev->zFunc = plat::D3DCMP_LESSEQUAL;
  dev->shadeMode = plat::D3DSHADE_FLAT;
  dev->blendThreshold = -1;
  dev->pendingDirty = 1;
  dev->vertexType = kVertexTex1;
  dev->primitiveType = plat::D3DPT_TRIANGLELIST;
  dev->inUse = 1;
  dev->defaultTarget = target;
  D3D_RefreshRenderState(dev);
  LogAdd("３Ｄデバイスの作成に成功しました\n");
  return index;
}

int D3D_SetDrawTarget(plat::IDirectDrawSurface7* surface) {
  D3DDeviceRecord* dev = CurrentDevice();
  if (dev == nullptr) return -1;
  if (D3D_SetRenderTargetOn(dev, surface) == 0) return 0;
  int index = -1;
  for (int i = 0; i < kD3DDeviceCount && index < 0; ++i) {
    D3DDeviceRecord* other = DeviceInUse(i);
    if (other != nullptr && other != dev && D3D_SetRenderTargetOn(other, surface) == 0) index = i;
  }
  if (index < 0) {
    index = D3D_InitDevice(surface);
    if (index < 0) return -1;
    D3D_SetRenderTargetOn(&gD3D.devices[index], surface);
  }
  D3D_CopyDrawState(dev, &gD3D.devices[index]);
  gD3D.current = index;
  return 0;
}

void D3D_RefreshRenderState(D3DDeviceRecord* dev) {
  if (dev == nullptr || !D3DStarted()) return;
  plat::IDirect3DDevice7* device = dev->device;
  dev->force = 1;
  // A viewport never set has nothing to restore.
  if (dev->viewport.dwWidth != 0 && dev->viewport.dwHeight != 0) D3D_SetViewportOn(dev, dev->viewport);
  const uint32_t colorKey = dev->colorKeyEnable;
  D3D_SetColorKeyEnable(dev, colorKey);
  D3D_SetColorKeyEnable(dev, 0);
  for (int s = 0; s < kD3DStageCount; ++s) {
    const StageCache& c = dev->stages[s];
    const plat::DWORD stage = static_cast<plat::DWORD>(s);
    device->SetTexture(stage, c.texture);
    device->SetTextureStageState(stage, plat::D3DTSS_ALPHAOP, c.alphaOp);
    device->SetTextureStageState(stage, plat::D3DTSS_ALPHAARG1, c.alphaArg1);
    device->SetTextureStageState(stage, plat::D3DTSS_ALPHAARG2, c.alphaArg2);
    device->SetTextureStageState(stage, plat::D3DTSS_COLOROP, c.colorOp);
    device->SetTextureStageState(stage, plat::D3DTSS_COLORARG1, c.colorArg1);
    device->SetTextureStageState(stage, plat::D3DTSS_COLORARG2, c.colorArg2);
  }
  D3D_SetTextureFilter(dev, static_cast<int>(dev->filterMode));
  D3D_ApplyDrawState(dev);
  D3D_SetZEnable(dev, dev->zEnable);
  D3D_SetZWriteEnable(dev, dev->zWriteEnable);
  D3D_SetZFunc(dev, dev->zFunc);
  D3D_SetZBias(dev, dev->zBias);
  D3D_SetCullMode(dev, dev->cullSetting);
  D3D_SetTexturePerspective(dev, dev->texturePerspective);
  D3D_SetShadeMode(dev, dev->shadeMode);
  dev->force = 0;
}

int D3D_CreateDevice(D3DDeviceRecord* dev) {
  if (!D3DStarted() || dev == nullptr || !dev->inUse) return -1;
  if (dev->device != nullptr) return 0;
  LogAdd("３Ｄデバイスを作成します... ");
  if (gD3D.object->CreateDevice(gD3D.deviceDesc.deviceGUID, dev->defaultTarget, &dev->device) != plat::D3D_OK ||
      dev->device == nullptr) {
    dev->device = nullptr;
    return LogAdd("３Ｄデバイスの作成に失敗しました\n");
  }
  dev->device->SetRenderState(plat::D3DRENDERSTATE_DITHERENABLE, 0);
  LogAdd("３Ｄデバイスの作成に成功しました\n");

  dev->force = 1;
  if (dev->renderTarget != nullptr && dev->renderTarget != dev->defaultTarget) {
    dev->device->SetRenderTarget(dev->renderTarget, 0);
  } else {
    dev->renderTarget = dev->defaultTarget;
  }
  for (StageCache& s : dev->stages) s.texture = nullptr;
  dev->texture = nullptr;
  dev->count = 0;
  dev->pendingDirty = 1;
  D3D_SetCullMode(dev, dev->cullSetting);
  D3D_SetTextureFilter(dev, static_cast<int>(dev->filterMode));
  D3D_SetColorKeyEnable(dev, dev->colorKeyEnable);
  D3D_SetDrawArea(&gDrawState.drawArea);
  D3D_RefreshRenderState(dev);
  dev->force = 1;
  D3D_ApplyDrawState(dev);
  // The tiles were left without textures when the device went: make new ones (their pixels come back
  // through the graph restore).
  for (uint32_t slot = 0; slot < gSurface3DTable.areaEnd; ++slot) {
    if (gSurface3DTable.HandleAt(slot) == -1) continue;
    const int data = gSurface3DTable.records[slot]->surfaceData;
    MakeSurfaceDataImage(data);
    SetSurfaceDataColorKey(data);
  }
  dev->force = 0;
  return 0;
}

int D3D_GetDirect3D() {
  if (!gD3D.started) return 0;
  LogAdd("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n");
  if (gD3D.object != nullptr) {
    LogAdd("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に取得されています\n");
    return 0;
  }
  void* object = nullptr;
  if (gScreen.directDraw == nullptr ||
      gScreen.directDraw->QueryInterface(plat::IID_IDirect3D7, &object) != plat::S_OK || object == nullptr) {
    return LogAdd("Direct3Dオブジェクトの作成に失敗しました\n");
  }
  gD3D.object = static_cast<plat::IDirect3D7*>(object);
  LogAdd("Ｄｉｒｅｃｔ３Ｄオブジェクトは正常に取得されました\n");
  D3DDeviceRecord* dev = &gD3D.devices[gD3D.current & 0xFFFF];
  dev->defaultTarget = GetFlipTargetSurface();
  dev->renderTarget = GetActiveDrawSurface();
  return D3D_CreateDevice(dev);
}

}  // namespace orbel

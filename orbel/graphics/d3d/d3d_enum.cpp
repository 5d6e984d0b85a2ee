// Direct3D enumeration callbacks (device, texture formats, Z buffer) and the three release steps: the
// device's textures and interface, every device record, and the Direct3D object.
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/screen_state.h"

namespace orbel {

namespace {

bool SameGuid(const plat::GUID& a, const plat::GUID& b) { return memcmp(&a, &b, sizeof(a)) == 0; }

void DeleteDeviceRecord(D3DDeviceRecord& dev) {
  if (D3DStarted() && dev.device != nullptr) dev.device->Release();
  memset(&dev, 0, sizeof(dev));
  LogAdd("３Ｄデバイスの削除は正常に終了しました\n");
}

constexpr plat::DWORD kUnusableFormatFlags =
    plat::DDPF_LUMINANCE | plat::DDPF_BUMPLUMINANCE | plat::DDPF_BUMPDUDV | plat::DDPF_FOURCC | plat::DDPF_ALPHA;

void StoreFormat(int index, const plat::DDPIXELFORMAT& format, const ColorData& colorData) {
  gD3D.formats[index].format = format;
  gD3D.formats[index].colorData = colorData;
}

}  // namespace

plat::HRESULT D3D_EnumDeviceCallback(char*, char*, plat::D3DDEVICEDESC7* desc, void* context) {
  const bool tnl = SameGuid(desc->deviceGUID, plat::IID_IDirect3DTnLHalDevice);
  if (!tnl && !SameGuid(desc->deviceGUID, plat::IID_IDirect3DHALDevice)) return plat::D3DENUMRET_OK;
  const int depth = GetScreenColorBitDepth();
  const plat::DWORD bit = depth == 16 ? plat::DDBD_16 : depth == 32 ? plat::DDBD_32 : 0;
  if (bit == 0 || (desc->dwDeviceRenderBitDepth & bit) == 0) return plat::D3DENUMRET_OK;
  *static_cast<uint32_t*>(context) = 1;
  gD3D.deviceDesc = *desc;
  if (tnl) {
    LogAdd("ハードウエアＴ＆Ｌデバイスを発見しました\n");
    gD3D.tnlDevice = 1;
    return plat::D3DENUMRET_CANCEL;
  }
  // A T&L device listed after the HAL device still replaces it.
  LogAdd("ＨＡＬデバイスを発見しました\n");
  return plat::D3DENUMRET_OK;
}

plat::HRESULT D3D_EnumTextureFormatCallback(plat::DDPIXELFORMAT* format, void* context) {
  if ((format->dwFlags & kUnusableFormatFlags) != 0) return plat::D3DENUMRET_OK;
  ColorData colorData{};
  MakeColorDataFromFormat(format, &colorData);
  if ((format->dwFlags & plat::DDPF_ALPHAPIXELS) != 0) {
    switch (format->dwRGBAlphaBitMask) {
      case 0xF000u:
        StoreFormat(2, *format, colorData);
        break;
      case 0xFF000000u:
        StoreFormat(3, *format, colorData);
        StoreFormat(5, *format, colorData);
        break;
      case 0x8000u:
        StoreFormat(4, *format, colorData);
        break;
      default:
        break;
    }
    return plat::D3DENUMRET_OK;
  }
  const int index = format->dwRGBBitCount == 16 ? 0 : format->dwRGBBitCount == 32 ? 1 : -1;
  if (index < 0) return plat::D3DENUMRET_OK;
  // The first format is kept unless one matching the screen exactly turns up.
  if (gD3D.formats[index].colorData.bitDepth == 0 ||
      CompareColorData(&colorData, GetDisplayPaletteData()) == 1) {
    StoreFormat(index, *format, colorData);
    if (index == 0) *static_cast<uint32_t*>(context) = 1;
  }
  return plat::D3DENUMRET_OK;
}

plat::HRESULT D3D_EnumZBufferCallback(plat::DDPIXELFORMAT* format, void* context) {
  if (format == nullptr) return plat::D3DENUMRET_CANCEL;
  if (format->dwFlags != plat::DDPF_ZBUFFER || format->dwZBufferBitDepth != 16) return plat::D3DENUMRET_OK;
  gD3D.zBufferFormat = *format;
  *static_cast<uint32_t*>(context) = 1;
  return plat::D3DENUMRET_CANCEL;
}

const plat::DDPIXELFORMAT* D3D_GetZBufferFormat() {
  if (!D3DStarted() || gD3D.zBufferFormat.dwFlags != plat::DDPF_ZBUFFER) return nullptr;
  return &gD3D.zBufferFormat;
}

int D3D_ReleaseDevice(D3DDeviceRecord* dev) {
  if (!D3DStarted() || dev == nullptr || !dev->inUse) return -1;
  if (dev->device == nullptr) return 0;
  // The tiles stay, without textures, until the restore road gives them new ones.
  for (uint32_t slot = 0; slot < gSurface3DTable.areaEnd; ++slot) {
    if (gSurface3DTable.HandleAt(slot) != -1) ReleaseSurfaceDataSurface(gSurface3DTable.records[slot]->surfaceData);
  }
  dev->device->Release();
  dev->device = nullptr;
  dev->renderTarget = nullptr;
  for (StageCache& s : dev->stages) s.texture = nullptr;
  LogAdd("Ｄｉｒｅｃｔ３Ｄデバイスを削除しました\n");
  return 0;
}

int D3D_DeleteDevice() {
  for (D3DDeviceRecord& dev : gD3D.devices) {
    if (dev.inUse) DeleteDeviceRecord(dev);
  }
  return 0;
}

int D3D_ReleaseDirect3D() {
  if (!gD3D.started) return -1;
  // Devices a draw screen moved to go with the surfaces they drew into: only the current device is
  // kept, to be made again on the flip target; the others are made again when a draw screen needs them.
  const int current = gD3D.current & 0xFFFF;
  for (int i = 0; i < kD3DDeviceCount; ++i) {
    if (i != current && gD3D.devices[i].inUse) DeleteDeviceRecord(gD3D.devices[i]);
  }
  D3D_ReleaseDevice(&gD3D.devices[current]);
  LogAdd("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放します\n");
  if (gD3D.object != nullptr) {
    gD3D.object->Release();
    gD3D.object = nullptr;
    LogAdd("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放しました\n");
  } else {
    LogAdd("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に解放されています\n");
  }
  return 0;
}

}  // namespace orbel

// The DirectDraw stand-in's object and plain system-memory surfaces, made as a program makes them, for
// benches that time the stand-in's own blits and fills.
#pragma once

#include "platform/ddraw/ddraw.h"

namespace bench {

// The DirectDraw object, or null when it cannot be had.
inline plat::IDirectDraw7* OpenStandInDirectDraw() {
  plat::IDirectDraw7* dd = nullptr;
  if (plat::CoCreateInstance(plat::CLSID_DirectDraw7, nullptr, plat::CLSCTX_ALL, plat::IID_IDirectDraw7,
                             reinterpret_cast<void**>(&dd)) != plat::S_OK) {
    return nullptr;
  }
  if (dd->Initialize(nullptr) != plat::DD_OK) {
    dd->Release();
    return nullptr;
  }
  return dd;
}

// A system-memory surface of `bits` (16: 5-6-5, 32: X8R8G8B8), or null.
inline plat::IDirectDrawSurface7* MakeSystemSurface(plat::IDirectDraw7* dd, int width, int height, int bits) {
  plat::DDSURFACEDESC2 d{};
  d.dwSize = sizeof(d);
  d.dwFlags = plat::DDSD_CAPS | plat::DDSD_WIDTH | plat::DDSD_HEIGHT | plat::DDSD_PIXELFORMAT;
  d.ddsCaps.dwCaps = plat::DDSCAPS_OFFSCREENPLAIN | plat::DDSCAPS_SYSTEMMEMORY;
  d.dwWidth = static_cast<plat::DWORD>(width);
  d.dwHeight = static_cast<plat::DWORD>(height);
  d.ddpfPixelFormat.dwSize = sizeof(plat::DDPIXELFORMAT);
  d.ddpfPixelFormat.dwFlags = plat::DDPF_RGB;
  d.ddpfPixelFormat.dwRGBBitCount = static_cast<plat::DWORD>(bits);
  d.ddpfPixelFormat.dwRBitMask = bits == 16 ? 0xF800 : 0xFF0000;
  d.ddpfPixelFormat.dwGBitMask = bits == 16 ? 0x07E0 : 0xFF00;
  d.ddpfPixelFormat.dwBBitMask = bits == 16 ? 0x001F : 0xFF;
  plat::IDirectDrawSurface7* surface = nullptr;
  return dd->CreateSurface(&d, &surface, nullptr) == plat::DD_OK ? surface : nullptr;
}

}  // namespace bench

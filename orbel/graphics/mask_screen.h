// Mask handles (kind 0x40000000, 512 records held in place) and the mask screen: a screen-sized byte
// per pixel that decides whether drawing reaches the draw screen. SetMaskScreenUse runs on every
// draw-screen selection and sets the draw origin, the draw-screen size and the render target; the
// draw hooks run only while a mask screen exists and is in use (this program never makes one).
#pragma once

#include <cstdint>

#include "orbel/softrender/mem_img.h"
#include "platform/win/kernel/win_types.h"

namespace plat {
class IDirectDrawSurface7;
}

namespace orbel {

constexpr int kMaskRecordCount = 512;

int DeleteMaskData(int handle);
int DeleteAllMaskData();
int GetMaskScreenUse();
plat::IDirectDrawSurface7* GetMaskSurface();
MemImg* GetMaskMemImg();
// 1 while the draw functions are to call the hooks.
int IsMaskScreenActive();

int CreateMaskScreenBuffer(int create);
int ReleaseMaskScreenBuffer();
// -1 (nothing changed) when masked drawing is asked for without a mask buffer, else 0.
int SetMaskScreenUse(int use);
int CreateMaskScreenInternal();
int DeleteMaskScreenInternal();
int MaskDrawBegin(int left, int top, int right, int bottom);
int MaskDrawEnd(int left, int top, int right, int bottom);

// The creator side, which the library itself never calls: make the mask screen (mask buffer and work
// buffers, created flag set), reach its bytes, and make an empty mask handle of a size.
int CreateMaskScreen();
uint8_t* GetMaskScreenBuffer(int* pitch);
int MakeMaskData(int width, int height);
// Forgets every mask record and the mask screen without freeing (tests, after the library ended).
void ResetMaskScreenForTest();

}  // namespace orbel

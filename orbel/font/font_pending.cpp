// PENDING: stands in for the font subsystem until it is built; delete this file then.
// No font handle can be made, so every handle is invalid; drawing fails and measuring gives 0.
#include "orbel/font/font_system.h"

namespace orbel {

int CreateFontToHandle(const char*, int, int, int, int, int, int, int, int) { return -1; }
int DeleteFontHandle(int) { return -1; }
int SetFontHandleLostFlag(int, int*) { return -1; }
int GetFontHandleSize(int) { return -1; }
int SetFontCharSpaceToHandle(int, int) { return -1; }
int DrawTextToFontHandle(int, int, const char*, uint32_t, int, uint32_t, int) { return -1; }
int DrawTextDefaultFont(int, int, const char*, uint32_t, uint32_t) { return -1; }
int GetTextWidthDefaultFont(const char*, int, int) { return 0; }
int GetTextWidthToFontHandle(const char*, int, int, int) { return 0; }
int GetDefaultFontHandle() { return -1; }
int IsFontHandleValid(int) { return 0; }
int GetFontHandleState(char*, int*, int*, int) { return -1; }
int SetDefaultFontSizeThick(const char*, int, int) { return 0; }
int RebuildFontHandleCacheGraphs(int) { return -1; }
int InitFontHandleTable() { return 0; }
int EndFontHandleTable() { return 0; }

int ReCreateAllFontHandles() { return 0; }

int FontStringEngine(int, int, int, int, double, double, const char*, uint32_t, MemImg*, const plat::RECT*, int, int,
                     uint32_t, int, int, int*) {
  return -1;
}
int GetFontHandleFlags(int) { return -1; }
int IsFontTextureMode(int) { return 0; }
int GetFontMemorySurface(int) { return -1; }

}  // namespace orbel

// The font module's start and end, and the default font: made at start-up, and made again before a
// default-font draw or measure whenever its settings no longer match the font that exists.
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/string_routines.h"
#include "orbel/font/font_record.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/handle_table.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"

namespace orbel {

namespace {

void SetDefaultSettings() {
  gFontSettings.face[0] = '\0';
  gFontSettings.size = 16;
  gFontSettings.thickness = 6;
  gFontSettings.type = 0;
  gFontSettings.charSetIndex = 1;
  gFontSettings.edgeSize = 1;
  gFontSettings.italic = 0;
  gFontSettings.spacing = 0;
}

int ResetFontSystem() {
  if (!DisplayUp()) return -1;
  LogAdd("フォントの初期化を行います\n");
  LogTabAdd();
  const int previous = gFontSettings.defaultHandle;
  const FontHandleRecord* old = GetFontRecord(previous);
  const bool remembered = old != nullptr;
  char face[kFontFaceSize] = {};
  int size = 16;
  int thickness = 6;
  int type = -1;
  int charSet = -1;
  int edgeSize = -1;
  int italic = 0;
  if (remembered) {
    memcpy(face, old->face, sizeof face);
    size = old->size;
    thickness = old->thickness;
    type = static_cast<int>(old->type);
    charSet = old->charSetIndex;
    edgeSize = old->edgeSize;
    italic = old->italic;
  }
  for (int slot = 0; slot < kFontSlotCount; ++slot) {
    if (const FontHandleRecord* f = gFontSettings.records[slot]) {
      DeleteFontHandle(MakeHandle(f->check, kHandleKindFont, static_cast<uint32_t>(slot)));
    }
  }
  gFontSettings.defaultHandle =
      CreateFontToHandle(face[0] != '\0' ? face : nullptr, size, thickness, type, charSet, edgeSize, italic, -1, -1);
  LogTabSub();
  LogAdd("フォントの初期化は正常に終了しました\n");
  return 0;
}

// Makes the default font again when it is missing or differs from the settings.
int RebuildDefaultFont() {
  const FontHandleRecord* f = GetFontRecord(gFontSettings.defaultHandle);
  if (f != nullptr && StrCompare(f->face, gFontSettings.face) == 0 && static_cast<int>(f->type) == gFontSettings.type &&
      f->size == gFontSettings.size && f->thickness == gFontSettings.thickness &&
      f->charSetIndex == gFontSettings.charSetIndex && f->edgeSize == gFontSettings.edgeSize &&
      f->italic == gFontSettings.italic) {
    return 0;
  }
  DeleteFontHandle(gFontSettings.defaultHandle);
  const int edgeSize = (gFontSettings.type & static_cast<int>(kFontTypeEdge)) ? gFontSettings.edgeSize : -1;
  gFontSettings.defaultHandle =
      CreateFontToHandle(gFontSettings.face[0] != '\0' ? gFontSettings.face : nullptr, gFontSettings.size,
                         gFontSettings.thickness, gFontSettings.type, gFontSettings.charSetIndex, edgeSize,
                         gFontSettings.italic, -1, -1);
  SetFontCharSpaceToHandle(gFontSettings.spacing, gFontSettings.defaultHandle);
  return 0;
}

}  // namespace

int InitFontHandleTable() {
  // Fonts left from a start without an end: their graphs went with the graph tables, the rest goes now.
  for (FontHandleRecord*& f : gFontSettings.records) {
    if (f == nullptr) continue;
    f->memorySurface = f->cacheGraph = f->edgeHalfGraph = -1;
    DeleteFontHandle(MakeHandle(f->check, kHandleKindFont, static_cast<uint32_t>(&f - gFontSettings.records)));
  }
  memset(&gFontSettings, 0, sizeof gFontSettings);
  gFontSettings.defaultHandle = -1;
  SetDefaultSettings();
  ResetFontSystem();
  return 0;
}

int EndFontHandleTable() {
  ResetFontSystem();
  DeleteFontHandle(gFontSettings.defaultHandle);
  gFontSettings.defaultHandle = -1;
  return 0;
}

int GetDefaultFontHandle() {
  return GetFontRecord(gFontSettings.defaultHandle) != nullptr ? gFontSettings.defaultHandle : -1;
}

int SetDefaultFontSizeThick(const char*, int size, int thickness) {
  if (!DisplayUp()) return -1;
  gFontSettings.size = size == -1 ? 16 : size;
  gFontSettings.thickness = thickness == -1 ? 6 : thickness;
  RebuildDefaultFont();
  return 0;
}

int GetTextWidthDefaultFont(const char* text, int length, int vertical) {
  RebuildDefaultFont();
  return FontStringEngine(kFontEngineMeasure, 0, 0, 0, 1.0, 1.0, text, 0, nullptr, nullptr, 1,
                          gFontSettings.defaultHandle, 0, length, vertical, nullptr);
}

int DrawTextDefaultFont(int x, int y, const char* text, uint32_t color, uint32_t edgeColor) {
  RebuildDefaultFont();
  return DrawTextToFontHandle(x, y, text, color, gFontSettings.defaultHandle, edgeColor, 0);
}

}  // namespace orbel

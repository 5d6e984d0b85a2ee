// Font handles: the 40-slot table, making a font with its defaults and fall-backs, sizing its glyph
// cache, the cache's graphs and work surface, deleting, re-making every font after a graphics restore,
// and the small queries.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/font/font_record.h"
#include "orbel/font/glyph_rows.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/handle_table.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/gdi/gdi_dib.h"
#include "platform/win/gdi/gdi_font.h"
#include "platform/win/kernel/system_info.h"

namespace orbel {

namespace {

constexpr plat::DWORD kCharSetTable[3] = {plat::DEFAULT_CHARSET, plat::SHIFTJIS_CHARSET, plat::HANGEUL_CHARSET};
constexpr char kDefaultFaceName[] = "ＭＳ ゴシック";
constexpr int kMemoryCacheBytes = 0x50000;  // automatic memory-mode sizing: cells of about this many pixels
// Limits of what a font may ask for. Every cache dimension below follows from them in 64-bit, so no
// product wraps before the cap is applied.
constexpr int kMaxFontSize = 16384;                    // pixels, either sign
constexpr int kMaxFontThickness = 10;                  // GDI weight 1000, the heaviest
constexpr int kMaxFontEdgeSize = 64;                   // pixels
constexpr int64_t kMaxFontCellSide = 4096;             // pixels; glyph fields are 16-bit
constexpr uint64_t kMaxFontCacheBytes = 64ull << 20;  // one font's cache, work image included

plat::HFONT MakeGdiFont(int size, int thickness, int italic, plat::DWORD charset, const char* face) {
  return plat::CreateFontA(size, 0, 0, 0, thickness * 100, static_cast<plat::DWORD>(italic), 0, 0, charset, 0, 0,
                           plat::NONANTIALIASED_QUALITY, plat::FIXED_PITCH, face);
}

// The GDI font with the fall-backs: a named face tries the table's charset, then 1, then 128; the
// default face tries "ＭＳ ゴシック" with the table's charset, then with charset 1 and no italic, then
// no face at all. Null after logging when every try failed.
plat::HFONT CreateGdiFontWithFallbacks(const FontHandleRecord* f, plat::DWORD charset) {
  plat::HFONT font = nullptr;
  if (f->face[0] != '\0') {
    font = MakeGdiFont(f->size, f->thickness, f->italic, charset, f->face);
    if (font == nullptr) font = MakeGdiFont(f->size, f->thickness, f->italic, plat::DEFAULT_CHARSET, f->face);
    if (font == nullptr) font = MakeGdiFont(f->size, f->thickness, f->italic, plat::SHIFTJIS_CHARSET, f->face);
    if (font == nullptr) LogAdd("指定のフォントの作成に失敗しました\n");
    return font;
  }
  font = MakeGdiFont(f->size, f->thickness, f->italic, charset, kDefaultFaceName);
  if (font == nullptr) font = MakeGdiFont(f->size, f->thickness, 0, plat::DEFAULT_CHARSET, kDefaultFaceName);
  if (font == nullptr) font = MakeGdiFont(f->size, f->thickness, 0, plat::DEFAULT_CHARSET, nullptr);
  if (font == nullptr) LogAdd("フォントの作成に失敗しました\n");
  return font;
}

// The 16-bit texture format glyph caches take for these flags (never draw-valid), or null while
// Direct3D offers none.
const ColorData* FontTextureFormat(int alphaChannel, int alphaTest) {
  GraphFormatBlock block{};
  block.alpha = static_cast<uint8_t>(alphaChannel);
  block.alphaTest = static_cast<uint8_t>(alphaTest);
  block.colorBitDepth = 16;
  const ColorData* format = D3D_GetTextureFormatInfo(TextureFormatCode(block));
  return format != nullptr && format->bitDepth != 0 ? format : nullptr;
}

// Texture-mode caches need both 16-bit texture formats: 4:4:4:4 for antialiased glyphs and 1:5:5:5 for
// the others. Direct3D gives no formats while it is off, which keeps every font in memory mode.
bool TextureCacheUsable() {
  if (gFontSettings.memoryCacheOnly != 0 || !Is3DGraphCreation() || ScreensAreMemImgs()) return false;
  const ColorData* a4 = FontTextureFormat(1, 0);
  const ColorData* a1 = FontTextureFormat(0, 1);
  return a4 != nullptr && a1 != nullptr && a4->bitDepth == 16 && a4->redWidth == 4 && a4->greenWidth == 4 &&
         a4->blueWidth == 4 && a4->alphaWidth == 4 && a1->bitDepth == 16 && a1->redWidth == 5 &&
         a1->greenWidth == 5 && a1->blueWidth == 5 && a1->alphaWidth == 1;
}

// The work image one glyph is written into before it goes to the cache graph: the texture's format,
// two cells wide and the edge taller for an edged font, cleared. False when its pixels cannot be had.
bool MakeFontWorkImage(FontHandleRecord* f) {
  const bool antialias = (f->type & kFontTypeAntialias) != 0;
  const bool edged = (f->type & kFontTypeEdge) != 0;
  const ColorData* format = FontTextureFormat(antialias ? 1 : 0, antialias ? 0 : 1);
  if (format == nullptr) return false;
  GraphImage& work = f->workImage;
  work.format = *format;
  work.width = static_cast<uint32_t>(f->cellSide * (edged ? 2 : 1));
  work.height = static_cast<uint32_t>(f->cellSide + (edged ? 2 * f->edgeSize : 0));
  work.pitch = work.width * format->bytesPerPixel;
  work.pixels = MemCalloc(work.pitch * work.height, "FontWorkImage", __LINE__);
  return work.pixels != nullptr;
}

// Texture cache side and capacity for a cell side. The bytes the cache graphs and the work image take.
uint64_t SizeTextureCache(FontHandleRecord* f) {
  const int64_t side = f->cellSide;
  int64_t width = 512;
  int64_t height = 512;
  int64_t capacity;
  if (gFontSettings.cacheCharCount > 0) {
    const int64_t wanted = side * (static_cast<int64_t>(std::sqrt(static_cast<float>(gFontSettings.cacheCharCount))) + 1);
    int64_t texture = 8;
    while (texture < wanted) texture <<= 1;
    width = height = texture;
    capacity = (texture / side) * (texture / side);
  } else {
    capacity = (512 / side) * (512 / side);
    while (capacity < 10) {
      if (width <= height) {
        width *= 2;
      } else {
        height *= 2;
      }
      capacity = (width / side) * (height / side);
    }
  }
  f->cacheWidth = static_cast<int32_t>(width);
  f->cacheHeight = static_cast<int32_t>(height);
  f->capacity = static_cast<int32_t>(std::min<int64_t>(capacity, kFontCacheCapacityMax));
  f->cellsPerColumn = static_cast<int32_t>(height / side);
  const bool edged = (f->type & kFontTypeEdge) != 0;
  const int64_t edge = edged ? f->edgeSize : 0;
  const int64_t halves = edged ? 2 : 1;  // an edged font's graph and work image are two cells wide
  return static_cast<uint64_t>(halves * width * height * 2 + halves * side * (side + 2 * edge) * 2);
}

// Memory cache: one column of cells, 1 bit a pixel for plain fonts, a byte for the others. Its bytes.
uint64_t SizeMemoryCache(FontHandleRecord* f) {
  const int64_t side = f->cellSide;
  f->cacheBitsPerPixel = f->type == 0 ? 1 : 8;
  int64_t capacity = gFontSettings.cacheCharCount;
  if (capacity <= 0) {
    capacity = kMemoryCacheBytes / (side * side);
    if (capacity < 20) capacity = 20;
  }
  if (capacity > kFontCacheCapacityMax) capacity = kFontCacheCapacityMax;
  f->capacity = static_cast<int32_t>(capacity);
  f->cacheWidth = f->cellSide;
  f->cellsPerColumn = f->capacity;
  const int64_t pitch = (side * f->cacheBitsPerPixel + 7) / 8;
  f->cachePitch = static_cast<int32_t>(pitch);
  f->cacheHeight = static_cast<int32_t>(capacity * side);
  return static_cast<uint64_t>(capacity * side * pitch);
}

// A size, thickness, type or edge that no font can have: refused before anything is made.
bool FontSettingsUsable(int size, int thickness, int fontType, int edgeSize) {
  const char* what = nullptr;
  int value = 0;
  if (size < -kMaxFontSize || size > kMaxFontSize) {
    what = "サイズ", value = size;
  } else if (thickness < 0 || thickness > kMaxFontThickness) {
    what = "太さ", value = thickness;
  } else if (fontType < 0 || fontType > 3) {
    what = "タイプ", value = fontType;
  } else if (edgeSize < 0 || edgeSize > kMaxFontEdgeSize) {
    what = "エッジサイズ", value = edgeSize;
  }
  if (what == nullptr) return true;
  LogFmtAdd("フォントの%s %d は指定できません in CreateFontToHandle\n", what, value);
  return false;
}

void LogCacheTooLarge() { LogAdd("フォントのキャッシュのサイズが上限を超えました in CreateFontToHandle\n"); }

// Undoes a creation that failed half-way: the record loses its check number and the delete frees
// whatever was made.
int AbandonCreation(FontHandleRecord* f, int slot) {
  f->check = 0;
  DeleteFontHandle(MakeHandle(0, kHandleKindFont, static_cast<uint32_t>(slot)));
  return -1;
}

}  // namespace

DefaultFontSettings gFontSettings;

FontHandleRecord* GetFontRecord(int font) {
  if (font < 0 || HandleKind(font) != kHandleKindFont) return nullptr;
  const uint32_t slot = HandleIndex(font);
  if (slot >= static_cast<uint32_t>(kFontSlotCount)) return nullptr;
  FontHandleRecord* f = gFontSettings.records[slot];
  if (f == nullptr || f->check != HandleCheck(font)) return nullptr;
  return f;
}

int CreateFontToHandle(const char* face, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int slot, int checkNumber) {
  if (!DisplayUp()) return -1;
  if (fontType == -1) fontType = 0;
  if (edgeSize == -1) edgeSize = 1;
  if (size == -1) size = 16;
  if (thickness == -1) thickness = 6;
  if (!FontSettingsUsable(size, thickness, fontType, edgeSize)) return -1;
  if (edgeSize > 1) fontType |= static_cast<int>(kFontTypeEdge);
  if (charSet == -1) charSet = plat::GetOEMCP() == 949 ? 2 : 1;
  if (charSet < 0 || charSet > 2) charSet = 1;  // the table has three entries

  if (slot != -1) {
    if (slot < 0 || slot >= kFontSlotCount || gFontSettings.records[slot] != nullptr) return -1;
  } else {
    for (slot = 0; slot < kFontSlotCount && gFontSettings.records[slot] != nullptr; ++slot) {
    }
    if (slot == kFontSlotCount) {
      LogFmtAdd("作成できるフォントハンドル数 %d の限界を超えました", kFontSlotCount);
      return -1;
    }
  }
  auto* f = static_cast<FontHandleRecord*>(MemCalloc(sizeof(FontHandleRecord), "FontHandle", __LINE__));
  if (f == nullptr) {
    LogAdd("フォント管理用メモリ領域の確保に失敗しました\n");
    return -1;
  }
  gFontSettings.records[slot] = f;
  f->cacheGraph = f->edgeHalfGraph = -1;
  f->memorySurface = -1;

  if (GetDisplayColorBitDepth() == 8) fontType &= ~static_cast<int>(kFontTypeAntialias);
  f->edgeSize = edgeSize;
  f->type = static_cast<uint32_t>(fontType);
  f->size = size;
  f->thickness = thickness;
  f->italic = italic;
  f->spacing = 0;
  if (checkNumber == -1) {
    f->check = static_cast<uint32_t>(gFontSettings.checkCounter);
    if (++gFontSettings.checkCounter > static_cast<int>(kHandleCheckMax)) gFontSettings.checkCounter = 0;
  } else {
    f->check = static_cast<uint32_t>(checkNumber) & kHandleCheckMax;
  }
  const int handle = MakeHandle(f->check, kHandleKindFont, static_cast<uint32_t>(slot));
  f->textureMode = TextureCacheUsable() ? 1 : 0;
  if (face != nullptr) {
    strncpy(f->face, face, kFontFaceSize - 1);
  }

  f->gdiFont = CreateGdiFontWithFallbacks(f, kCharSetTable[charSet]);
  if (f->gdiFont == nullptr) return AbandonCreation(f, slot);
  plat::HDC dc = plat::CreateCompatibleDC(nullptr);
  if (dc == nullptr) {
    LogAdd("ＤＣの取得に失敗しました\n");
    return AbandonCreation(f, slot);
  }
  plat::HGDIOBJ old = plat::SelectObject(dc, f->gdiFont);
  plat::TEXTMETRICA tm{};
  plat::GetTextMetricsA(dc, &tm);
  const int64_t edge = (f->type & kFontTypeEdge) ? edgeSize : 0;
  int64_t cellSide = (int64_t{tm.tmMaxCharWidth} + 2 + 2 * edge + 7) / 8 * 8;
  int64_t lineHeight = int64_t{tm.tmHeight} + 2 * edge;
  if (lineHeight & 1) ++lineHeight;
  if (cellSide < lineHeight) cellSide = lineHeight;
  if (old != nullptr) plat::SelectObject(dc, old);
  plat::DeleteDC(dc);
  if (cellSide < 1 || cellSide > kMaxFontCellSide) {
    LogCacheTooLarge();
    return AbandonCreation(f, slot);
  }
  f->cellSide = static_cast<int32_t>(cellSide);
  f->lineHeight = static_cast<int32_t>(lineHeight);

  // Texture mode: the cache graphs, then the work image; a cache graph that cannot be made falls back
  // to memory mode.
  if (f->textureMode) {
    if (SizeTextureCache(f) > kMaxFontCacheBytes) {
      LogCacheTooLarge();
      return AbandonCreation(f, slot);
    }
    f->cacheGraphLost = 1;
    if (RebuildFontHandleCacheGraphs(handle) == 0) {
      if (!MakeFontWorkImage(f)) {
        LogAdd("文字キャッシュ処理用メモリの確保に失敗しました\n");
        return AbandonCreation(f, slot);
      }
    } else {
      LogAdd("テクスチャ文字キャッシュの作成に失敗しました\n");
      // Memory mode has no cache graph: the rebuild below must not try to make one again.
      f->textureMode = 0;
      f->cacheGraphLost = 0;
    }
  }
  if (!f->textureMode) {
    const uint64_t bytes = SizeMemoryCache(f);
    if (bytes > kMaxFontCacheBytes) {
      LogCacheTooLarge();
      return AbandonCreation(f, slot);
    }
    // The glyph walk reads 1-bit rows as 8-byte words: bytes to spare past the last row.
    f->cachePixels = static_cast<uint8_t*>(
        MemCalloc(static_cast<uint32_t>(bytes + glyph::kCellReadSlack), "FontCache", __LINE__));
    if (f->cachePixels == nullptr) {
      LogAdd("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
      return AbandonCreation(f, slot);
    }
    f->memorySurfaceLost = 1;
    if (RebuildFontHandleCacheGraphs(handle) != 0) {
      LogAdd("フォント用描画スクリーンの作成に失敗しました\n");
      return AbandonCreation(f, slot);
    }
  }
  ClearFontHandleCache(handle);
  f->charSetIndex = charSet;
  f->lostFlag = nullptr;
  return handle;
}

int ClearFontHandleCache(int font) {
  FontHandleRecord* f = GetFontRecord(font);
  if (f == nullptr) return -1;
  ++gFontCacheEpoch;
  memset(f->lookup, 0, sizeof f->lookup);
  memset(f->entries, 0, sizeof f->entries);
  for (int i = 0; i < f->capacity; ++i) f->entries[i].cell = i;
  f->entries[f->capacity].cell = -1;
  f->nextEntry = 0;
  return 0;
}

int RebuildFontHandleCacheGraphs(int font) {
  FontHandleRecord* f = GetFontRecord(font);
  if (f == nullptr) return -1;
  if (f->memorySurfaceLost == 1) {
    f->memorySurfaceLost = 0;
    int width = 0;
    int height = 0;
    GetScreenPixelSize(&width, &height);
    GraphFormatBlock format{};
    format.memImg = 1;
    format.alpha = (f->type & kFontTypeAntialias) ? 1 : 0;
    format.colorBitDepth = static_cast<uint8_t>(GetDisplayColorBitDepth() == 32 ? 32 : 16);
    const int surface = AddSurface2D(width, height, 0, 0, -1, nullptr, 0, 0, &format);
    if (surface == -1) {
      f->memorySurfaceLost = 1;
      return -1;
    }
    f->memorySurface = surface;
    SetSurface2DDeleteNotify(surface, &f->memorySurfaceLost);
  }
  if (f->cacheGraphLost != 1) return 0;
  f->cacheGraphLost = 0;
  // The cache graph is a 16-bit texture: 4:4:4:4 for antialiased glyphs, 1:5:5:5 (alpha test) for the
  // others. An edged font's graph is two caches wide; the right half, its own graph, holds the edges.
  const NewGraphSettings saved = gNewGraph;
  const int savedTextures = GetUseTextureGraphs();
  const bool antialias = (f->type & kFontTypeAntialias) != 0;
  const bool edged = (f->type & kFontTypeEdge) != 0;
  gNewGraph.alpha = antialias ? 1 : 0;
  gNewGraph.alphaTest = antialias ? 0 : 1;
  gNewGraph.colorBitDepth = 16;
  gNewGraph.drawValid = 0;  // the work image is in the plain texture format
  SetUseTextureGraphs(1);
  // An edge half left over from the lost graph goes (a stale handle is refused harmlessly).
  if (f->edgeHalfGraph != -1) DeleteGraphHandle(f->edgeHalfGraph, 0);
  f->edgeHalfGraph = -1;
  f->cacheGraph = MakeEmptyGraph(f->cacheWidth * (edged ? 2 : 1), f->cacheHeight, 0);
  if (f->cacheGraph != -1 && edged) {
    f->edgeHalfGraph = DeriveGraph(f->cacheWidth, 0, f->cacheWidth, f->cacheHeight, f->cacheGraph);
  }
  gNewGraph = saved;
  SetUseTextureGraphs(savedTextures);
  if (f->cacheGraph == -1) {
    f->cacheGraphLost = 1;
    return -1;
  }
  SetGraphDeleteNotify(f->cacheGraph, &f->cacheGraphLost);
  FillGraphColor(f->cacheGraph, 255, 255, 255, 0);
  ClearFontHandleCache(font);
  return 0;
}

int DeleteFontHandle(int font) {
  if (font < 0 || HandleKind(font) != kHandleKindFont || HandleIndex(font) >= static_cast<uint32_t>(kFontSlotCount)) {
    return -1;
  }
  const uint32_t slot = HandleIndex(font);
  FontHandleRecord* f = gFontSettings.records[slot];
  if (f == nullptr || f->check != HandleCheck(font)) return -1;
  if (f->gdiFont != nullptr) plat::DeleteObject(f->gdiFont);
  MemFree(f->cachePixels);
  if (f->memorySurface != -1) DeleteSurface2D(f->memorySurface);
  if (f->cacheGraph != -1) {
    DeleteGraphHandle(f->cacheGraph, 0);
    if (f->edgeHalfGraph != -1) DeleteGraphHandle(f->edgeHalfGraph, 0);
  }
  f->cacheGraph = f->edgeHalfGraph = -1;
  MemFree(f->workImage.pixels);
  if (f->lostFlag != nullptr) *f->lostFlag = 1;
  ++gFontCacheEpoch;
  MemFree(f);
  gFontSettings.records[slot] = nullptr;
  return 0;
}

int ReCreateAllFontHandles() {
  for (int slot = 0; slot < kFontSlotCount; ++slot) {
    FontHandleRecord* f = gFontSettings.records[slot];
    if (f == nullptr) continue;
    char face[kFontFaceSize];
    memcpy(face, f->face, sizeof face);
    const uint32_t check = f->check;
    const int handle = MakeHandle(check, kHandleKindFont, static_cast<uint32_t>(slot));
    const int type = static_cast<int>(f->type);
    const int size = f->size;
    const int charSet = f->charSetIndex;
    const int thickness = f->thickness;
    const int edgeSize = f->edgeSize;
    const int italic = f->italic;
    const int spacing = f->spacing;
    // The handle value stays the same, so whoever watches the lost flag keeps the font: the flag moves
    // to the new record instead of being raised (raising it made the on-screen log make a second font
    // and leave this one in its slot).
    int32_t* lostFlag = f->lostFlag;
    f->lostFlag = nullptr;
    DeleteFontHandle(handle);
    CreateFontToHandle(face[0] != '\0' ? face : nullptr, size, thickness, type, charSet, edgeSize, italic, slot,
                       static_cast<int>(check));
    if (FontHandleRecord* again = GetFontRecord(handle)) {
      again->spacing = spacing;
      again->lostFlag = lostFlag;
    } else if (lostFlag != nullptr) {
      *lostFlag = 1;  // the font is gone for good
    }
  }
  return 0;
}

int IsFontHandleValid(int font) { return GetFontRecord(font) != nullptr ? 1 : 0; }

int GetFontHandleSize(int font) {
  const FontHandleRecord* f = GetFontRecord(font);
  return f != nullptr ? f->size : -1;
}

int GetFontHandleState(char* face, int* size, int* thickness, int font) {
  const FontHandleRecord* f = GetFontRecord(font);
  if (f == nullptr) return -1;
  if (face != nullptr) strcpy(face, f->face);
  if (size != nullptr) *size = f->size;
  if (thickness != nullptr) *thickness = f->thickness;
  return 0;
}

int SetFontCharSpaceToHandle(int spacing, int font) {
  FontHandleRecord* f = GetFontRecord(font);
  if (f == nullptr) return -1;
  f->spacing = spacing;
  return 0;
}

int SetFontHandleLostFlag(int font, int* lostFlag) {
  FontHandleRecord* f = GetFontRecord(font);
  if (f == nullptr) return -1;
  f->lostFlag = lostFlag;
  if (lostFlag != nullptr) *lostFlag = 0;
  return 0;
}

int GetFontHandleFlags(int font) {
  const FontHandleRecord* f = GetFontRecord(font);
  return f != nullptr ? static_cast<int>(f->type) : -1;
}

int IsFontTextureMode(int font) {
  const FontHandleRecord* f = GetFontRecord(font);
  return f != nullptr && f->textureMode ? 1 : 0;
}

int GetFontMemorySurface(int font) {
  const FontHandleRecord* f = GetFontRecord(font);
  return f != nullptr ? f->memorySurface : -1;
}

}  // namespace orbel

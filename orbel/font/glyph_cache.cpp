// Glyphs into a font's cache: a string split into characters, the uncached ones rendered by GDI in one
// batch into cache cells in ring order (the oldest glyph gives way), with the edge and the antialias
// levels in the memory cache's cell format.
#include <algorithm>
#include <cstring>
#include <vector>

#include "orbel/core/library.h"
#include "orbel/core/memory.h"
#include "orbel/core/string_routines.h"
#include "orbel/font/font_record.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "platform/win/gdi/gdi_dib.h"
#include "platform/win/gdi/gdi_font.h"

namespace orbel {

namespace {

FontCharItem gDefaultItems[kFontBatchSize];
FontCharItem gBatch[kFontBatchSize];

// Edge shapes for edge sizes 2-4: the top-left (2e + 1) x (2e + 1) of each 9 x 9 table.
constexpr const char* kEdgeShape2[] = {"01110", "11111", "11111", "11111", "01110"};
constexpr const char* kEdgeShape3[] = {"0001000", "0111110", "0111110", "1111111", "0111110", "0111110", "0001000"};
constexpr const char* kEdgeShape4[] = {"001111100", "011111110", "111111111", "111111111", "111111111",
                                       "111111111", "111111111", "011111110", "001111100"};

struct Offset {
  int dx;
  int dy;
};

// The pixels an edge of size e spreads one glyph pixel to: the four direct neighbours for 1, the shape
// tables for 2-4, the whole square above.
int EdgeNeighbourhood(int e, Offset* out) {
  int n = 0;
  if (e == 1) {
    const Offset four[] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const Offset& o : four) out[n++] = o;
    return n;
  }
  const char* const* shape = e == 2 ? kEdgeShape2 : e == 3 ? kEdgeShape3 : e == 4 ? kEdgeShape4 : nullptr;
  for (int j = -e; j <= e; ++j) {
    for (int i = -e; i <= e; ++i) {
      if (shape == nullptr || shape[j + e][i + e] == '1') out[n++] = {i, j};
    }
  }
  return n;
}

// A memory-mode cell being written: writes outside the cell are dropped, so an overhanging glyph is cut
// at the cell's border.
struct CellWriter {
  uint8_t* top;  // first byte of the cell's first row
  int pitch;
  int side;
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < side && y < side; }
  uint8_t& At(int x, int y) const { return top[y * pitch + x]; }
};

void WriteMemoryGlyph(const FontHandleRecord* f, const CellWriter& cell, const uint8_t* glyph, int rowPitch, int w,
                      int h, int e, const Offset* around, int aroundCount) {
  const bool antialias = (f->type & kFontTypeAntialias) != 0;
  const bool edged = (f->type & kFontTypeEdge) != 0;
  if (!antialias && !edged) {
    // One bit a pixel on both sides: the rows go across as they are, cut to the cell.
    const int bytes = std::min(rowPitch, cell.pitch);
    for (int py = 0; py < h && py < cell.side; ++py) memcpy(cell.top + py * cell.pitch, glyph + py * rowPitch, bytes);
    return;
  }
  for (int py = 0; py < h; ++py) {
    for (int px = 0; px < w; ++px) {
      int level;
      if (antialias) {
        level = glyph[py * rowPitch + px];
        if (level > 16) level = 16;
        if (level == 0) continue;
      } else {
        if (((glyph[py * rowPitch + (px >> 3)] << (px & 7)) & 0x80) == 0) continue;
        level = 16;
      }
      const int x = e + px;
      const int y = e + py;
      if (!edged) {  // antialiased: level - 1 at the glyph's place
        if (cell.Inside(px, py)) cell.At(px, py) = static_cast<uint8_t>(level - 1);
        continue;
      }
      if (!antialias) {  // edged: 1 glyph, 2 edge
        if (cell.Inside(x, y)) cell.At(x, y) = 1;
        for (int k = 0; k < aroundCount; ++k) {
          const int qx = x + around[k].dx;
          const int qy = y + around[k].dy;
          if (cell.Inside(qx, qy) && cell.At(qx, qy) != 1) cell.At(qx, qy) = 2;
        }
        continue;
      }
      // Antialiased and edged: the glyph's level in the low nibble, the strongest neighbour's in the high.
      const int s = level - 1;
      if (cell.Inside(x, y)) cell.At(x, y) |= static_cast<uint8_t>(s);
      for (int k = 0; k < aroundCount; ++k) {
        const int qx = x + around[k].dx;
        const int qy = y + around[k].dy;
        if (!cell.Inside(qx, qy)) continue;
        uint8_t& q = cell.At(qx, qy);
        if ((q & 0xF0) < s * 16) q = static_cast<uint8_t>((q & 0x0F) | s << 4);
      }
    }
  }
}

// The work image of a texture-mode font, written one 16-bit pixel at a time. Writes outside the cell
// (of the half they aim at) are dropped, as in the memory cache.
struct WorkWriter {
  uint8_t* pixels;
  int pitch;
  int side;
  uint16_t white;  // the colour masks together: white with alpha 0
  uint16_t alpha;  // the alpha mask
  int levelShift;  // a level v in sixteenths becomes alpha v - 1 at this shift
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < side && y < side; }
  uint16_t& At(int half, int x, int y) const {
    return reinterpret_cast<uint16_t*>(pixels + y * pitch)[half * side + x];
  }
  // A level 0-16 as a pixel: white with alpha (v - 1) in the alpha field's top four bits, 0 clear.
  uint16_t Level(int v) const {
    return v == 0 ? white : static_cast<uint16_t>(((static_cast<uint32_t>(v) << levelShift) - 1) | white);
  }
};

void FillWork(const WorkWriter& w, int halves, int rows, uint16_t value) {
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < halves * w.side; ++x) reinterpret_cast<uint16_t*>(w.pixels + y * w.pitch)[x] = value;
  }
}

// One glyph into the work image: the glyph in the left cell, an edged font's edge in the right one.
// The pixels of the glyph box with its edge, both halves, are in the texture format afterwards.
void WriteTextureGlyph(const FontHandleRecord* f, const WorkWriter& work, const uint8_t* glyph, int rowPitch, int w,
                       int h, int e, const Offset* around, int aroundCount) {
  const bool antialias = (f->type & kFontTypeAntialias) != 0;
  const bool edged = (f->type & kFontTypeEdge) != 0;
  const uint16_t solid = static_cast<uint16_t>(work.alpha | work.white);
  // Levels are gathered raw (0-16) for an antialiased edge and turned into pixels at the end.
  const bool rawLevels = antialias && edged;
  FillWork(work, edged ? 2 : 1, work.side, rawLevels ? 0 : work.white);
  for (int py = 0; py < h; ++py) {
    for (int px = 0; px < w; ++px) {
      int level;
      if (antialias) {
        level = std::min<int>(glyph[py * rowPitch + px], 16);
        if (level == 0) continue;
      } else {
        if (((glyph[py * rowPitch + (px >> 3)] << (px & 7)) & 0x80) == 0) continue;
        level = 16;
      }
      const int x = e + px;
      const int y = e + py;
      if (!edged) {
        if (work.Inside(px, py)) work.At(0, px, py) = antialias ? work.Level(level) : solid;
        continue;
      }
      if (work.Inside(x, y)) work.At(0, x, y) = rawLevels ? static_cast<uint16_t>(level) : solid;
      for (int k = 0; k < aroundCount; ++k) {
        const int qx = x + around[k].dx;
        const int qy = y + around[k].dy;
        if (!work.Inside(qx, qy)) continue;
        uint16_t& q = work.At(1, qx, qy);
        if (!rawLevels) {
          if ((q & work.alpha) == 0) q = solid;
        } else {  // overlapping edge levels combine as 1 - (1 - a)(1 - b), in sixteenths
          q = static_cast<uint16_t>((256 - (16 - q) * (16 - level)) >> 4);
        }
      }
    }
  }
  if (!rawLevels) return;
  const int boxW = std::min(w + 2 * e, work.side);
  const int boxH = std::min(h + 2 * e, work.side);
  for (int half = 0; half < 2; ++half) {
    for (int y = 0; y < boxH; ++y) {
      for (int x = 0; x < boxW; ++x) work.At(half, x, y) = work.Level(work.At(half, x, y));
    }
  }
}

// The written glyph goes to its cell of the cache graph, an edged font's edge to the same cell of the
// edge half. Only the cell is sent: a glyph box wider than the cell was cut at its border.
void SendTextureGlyph(const FontHandleRecord* f, const FontGlyphCacheEntry* entry, int w, int h, int e) {
  const bool edged = (f->type & kFontTypeEdge) != 0;
  const int side = f->cellSide;
  const int boxW = edged ? std::min(w + 2 * e, side) : side;
  const int boxH = edged ? std::min(h + 2 * e, side) : side;
  const int x = CellX(f, entry->cell);
  const int y = CellY(f, entry->cell);
  const plat::RECT glyph = {0, 0, boxW, boxH};
  plat::RECT dest = {x, y, x + boxW, y + boxH};
  TransferImageToGraph(&dest, nullptr, &glyph, &f->workImage, nullptr, f->cacheGraph, 0);
  if (!edged) return;
  const plat::RECT edge = {side, 0, side + boxW, boxH};
  dest = {x + f->cacheWidth, y, x + f->cacheWidth + boxW, y + boxH};
  TransferImageToGraph(&dest, nullptr, &edge, &f->workImage, nullptr, f->cacheGraph, 0);
}

WorkWriter TextureWorkWriter(const FontHandleRecord* f) {
  const ColorData& format = f->workImage.format;
  WorkWriter w{};
  w.pixels = static_cast<uint8_t*>(f->workImage.pixels);
  w.pitch = static_cast<int>(f->workImage.pitch);
  w.side = f->cellSide;
  w.white = static_cast<uint16_t>(format.redMask | format.greenMask | format.blueMask);
  w.alpha = static_cast<uint16_t>(format.alphaMask);
  w.levelShift = format.alphaShift + format.alphaWidth - 4;
  return w;
}

}  // namespace

uint64_t gFontCacheEpoch = 1;

int PrepareFontStringGlyphs(FontCharItem* items, const FontGlyphCacheEntry** found, const char* text, int font,
                            int length, int* count, int* consumed) {
  FontHandleRecord* f = GetFontRecord(font);
  if (f == nullptr) return -1;
  if (items == nullptr) items = gDefaultItems;
  const int whole = static_cast<int>(strlen(text));
  if (length == -1 || length > whole) length = whole;
  const int batchLimit = std::min(kFontBatchSize, f->capacity);
  int batchCount = 0;
  bool allCached = true;
  int n = 0;
  int at = 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text);
  while (at < length && n < kFontBatchSize) {
    FontCharItem& item = items[n];
    item.bytes[0] = bytes[at];
    // A lead byte takes the byte after it, even past the length; never the terminating NUL.
    const bool pair = IsMultiByteLeadChar(text + at, f->charSetIndex) && bytes[at + 1] != 0;
    item.bytes[1] = pair ? bytes[at + 1] : 0;
    item.bytes[2] = 0;
    at += pair ? 2 : 1;
    const FontLookupSlot& slot = f->lookup[item.Code()];
    if (found != nullptr) found[n] = slot.entry;
    ++n;
    if (!slot.valid) {
      allCached = false;
      if (batchCount < batchLimit) gBatch[batchCount++] = item;
    }
  }
  if (batchCount > 0) RenderGlyphToFontCache(font, batchCount, gBatch);
  if (count != nullptr) *count = n;
  if (consumed != nullptr) *consumed = at;
  return allCached ? 1 : 0;
}

int PrepareFontStringChars(FontCharItem* items, const char* text, int font, int length, int* count, int* consumed) {
  return PrepareFontStringGlyphs(items, nullptr, text, font, length, count, consumed) < 0 ? -1 : 0;
}

FontGlyphCacheEntry* RenderGlyphToFontCache(int font, int count, const FontCharItem* items) {
  if (!DisplayUp()) return nullptr;
  FontHandleRecord* f = GetFontRecord(font);
  if (f == nullptr || count < 1) return nullptr;
  ++gFontCacheEpoch;
  plat::HDC dc = plat::CreateCompatibleDC(nullptr);
  // A DC without its font selected has no metrics: either way the cache cannot be filled.
  plat::HGDIOBJ old = dc != nullptr ? plat::SelectObject(dc, f->gdiFont) : nullptr;
  plat::TEXTMETRICA tm{};
  if (dc == nullptr || !plat::GetTextMetricsA(dc, &tm)) {
    ErrorExitLibrary("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
  }
  const int e = (f->type & kFontTypeEdge) ? f->edgeSize : 0;
  std::vector<Offset> around(static_cast<size_t>((2 * e + 1) * (2 * e + 1)));
  const int aroundCount = e > 0 ? EdgeNeighbourhood(e, around.data()) : 0;
  const plat::UINT format = (f->type & kFontTypeAntialias) ? plat::GGO_GRAY4_BITMAP : plat::GGO_BITMAP;
  const plat::MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  FontGlyphCacheEntry* entry = nullptr;

  for (int i = 0; i < count; ++i) {
    const FontCharItem& item = items[i];
    entry = &f->entries[f->nextEntry];
    // The oldest glyph gives way; its lookup slot is cleared unless a newer copy took it over.
    if (entry->inUse && entry->slot != nullptr && entry->slot->entry == entry) *entry->slot = {0, nullptr};
    FontLookupSlot* slot = &f->lookup[item.Code()];
    *slot = {1, entry};
    entry->slot = slot;
    entry->inUse = 1;
    const int cellY = CellY(f, entry->cell);
    if (!f->textureMode) memset(f->cachePixels + cellY * f->cachePitch, 0, static_cast<size_t>(f->cellSide * f->cachePitch));

    const plat::UINT code = item.bytes[1] == 0 ? item.bytes[0] : static_cast<plat::UINT>(item.bytes[0] << 8 | item.bytes[1]);
    plat::GLYPHMETRICS gm{};
    const plat::DWORD size = plat::GetGlyphOutlineA(dc, code, format, &gm, 0, nullptr, &identity);
    if (size == plat::GDI_ERROR) ErrorExitLibrary("GetGlyphOutline 関数が失敗しました");
    entry->offsetX = entry->offsetY = 0;
    entry->width = entry->height = 0;
    entry->advance = gm.gmCellIncX;
    if (!IsFontSpace(item) && gm.gmBlackBoxY > 0 && size > 0) {
      const int rowPitch = static_cast<int>(size / gm.gmBlackBoxY) & ~3;
      auto* buffer = static_cast<uint8_t*>(MemCalloc(size + 2 * static_cast<uint32_t>(rowPitch), "GlyphOutline", __LINE__));
      if (buffer == nullptr) ErrorExitLibrary("アンチエイリアス文字取得用バッファの確保に失敗しました");
      if (plat::GetGlyphOutlineA(dc, code, format, &gm, size, buffer + rowPitch, &identity) == plat::GDI_ERROR) {
        ErrorExitLibrary("GetGlyphOutline 関数が失敗しました");
      }
      entry->offsetX = static_cast<int16_t>(gm.gmptGlyphOrigin.x);
      entry->offsetY = static_cast<int16_t>(tm.tmAscent - gm.gmptGlyphOrigin.y);
      entry->width = static_cast<int16_t>(gm.gmBlackBoxX);
      entry->height = static_cast<int16_t>(gm.gmBlackBoxY);
      const int w = static_cast<int>(gm.gmBlackBoxX);
      const int h = static_cast<int>(gm.gmBlackBoxY);
      if (!f->textureMode) {
        const CellWriter cell = {f->cachePixels + cellY * f->cachePitch, f->cachePitch, f->cellSide};
        WriteMemoryGlyph(f, cell, buffer + rowPitch, rowPitch, w, h, e, around.data(), aroundCount);
      } else if (f->workImage.pixels != nullptr && f->cacheGraph != -1) {
        WriteTextureGlyph(f, TextureWorkWriter(f), buffer + rowPitch, rowPitch, w, h, e, around.data(), aroundCount);
        SendTextureGlyph(f, entry, w, h, e);
      }
      MemFree(buffer);
    }
    entry->advance = static_cast<int16_t>(entry->advance + 2 * e);
    entry->width = static_cast<int16_t>(entry->width + 2 * e);
    entry->height = static_cast<int16_t>(entry->height + 2 * e);
    if (++f->nextEntry >= f->capacity) f->nextEntry = 0;
  }
  if (old != nullptr) plat::SelectObject(dc, old);
  plat::DeleteDC(dc);
  return entry;
}

}  // namespace orbel

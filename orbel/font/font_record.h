// The font module's records: one FontHandleRecord per font handle (its GDI font, its glyph cache of
// square cells and the direct lookup from a character code to the cached glyph), and the module's global
// block with the handle table and the default font's settings.
#pragma once

#include <cstdint>

#include "orbel/image/color_data.h"
#include "platform/win/kernel/win_types.h"

namespace orbel {

constexpr int kFontSlotCount = 40;  // font handles alive at once: one record pointer each in the settings block
constexpr int kFontCacheEntryCount = 2025;  // the last one only ever marks the end of the used entries
constexpr int kFontCacheCapacityMax = 2024;  // cells of one cache: every entry but the end marker
constexpr int kFontLookupSize = 65536;       // one slot per 16-bit character code: a cached glyph is one index away
constexpr int kFontFaceSize = 256;           // a font record's face name, terminator included
constexpr int kDefaultFontFaceSize = 128;    // the default font's face name, terminator included
constexpr int kFontBatchSize = 256;  // new glyphs rendered by one DC and one metrics query

// Font type bits.
constexpr uint32_t kFontTypeEdge = 0x1;
constexpr uint32_t kFontTypeAntialias = 0x2;

struct FontLookupSlot;

// One cached glyph; entry i owns cache cell i.
struct FontGlyphCacheEntry {
  uint16_t inUse;
  int16_t offsetX;   // left of the glyph from the pen position
  int16_t offsetY;   // top of the glyph from the line top
  int16_t advance;   // pen step, edge included
  int32_t cell;      // cache cell number; -1 marks the end of the used entries
  int16_t width;     // glyph box with its edge; 0 x 0 for spaces before the edge is added
  int16_t height;
  FontLookupSlot* slot;  // the lookup slot that points here
};

struct FontLookupSlot {
  uint32_t valid;
  FontGlyphCacheEntry* entry;
};

// One character of a prepared string: the byte (or lead byte), the trail byte or 0, and 0.
struct FontCharItem {
  uint8_t bytes[3];
  uint16_t Code() const { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }
};

struct FontHandleRecord {
  uint32_t check;
  int32_t* lostFlag;  // 1 is written here when the font is deleted
  FontGlyphCacheEntry entries[kFontCacheEntryCount];
  FontLookupSlot lookup[kFontLookupSize];  // by code: first byte low, trail byte high
  int32_t nextEntry;  // ring position of the next rendered glyph
  int32_t capacity;
  uint8_t* cachePixels;  // memory mode: one column of cells
  int32_t cachePitch;
  int32_t cacheBitsPerPixel;  // 1 for type 0, 8 for the others
  char face[kFontFaceSize];
  int32_t thickness;
  int32_t size;
  int32_t lineHeight;
  int32_t italic;
  int32_t spacing;
  int32_t cellSide;
  plat::HFONT gdiFont;
  uint32_t type;
  int32_t charSetIndex;
  int32_t edgeSize;
  int32_t cacheWidth;
  int32_t cacheHeight;
  int32_t cellsPerColumn;
  int32_t memorySurface;      // screen-sized 2D surface blended text goes through, -1 none
  int32_t memorySurfaceLost;  // 1 while it has to be made again
  int32_t cacheGraph;         // texture mode: the cache graph, -1 none
  int32_t edgeHalfGraph;      // texture mode: the right half of an edged font's cache graph
  int32_t cacheGraphLost;
  GraphImage workImage;  // texture mode: one glyph in the texture format
  int32_t textureMode;
};

struct DefaultFontSettings {
  FontHandleRecord* records[kFontSlotCount];
  int32_t checkCounter;   // 0..2047, then 0 again
  int32_t memoryCacheOnly;  // nonzero: fonts never use texture graphs
  int32_t cacheCharCount;   // cells per cache; 0 sizes by the cell
  int32_t defaultHandle;
  char face[kDefaultFontFaceSize];
  int32_t size;
  int32_t thickness;
  int32_t type;
  int32_t charSetIndex;
  int32_t edgeSize;
  int32_t italic;
  int32_t spacing;
};

extern DefaultFontSettings gFontSettings;

// The record of a live font handle, or null.
FontHandleRecord* GetFontRecord(int font);

// The cache cell's top-left pixel in the cache.
inline int CellX(const FontHandleRecord* f, int cell) { return cell / f->cellsPerColumn * f->cellSide; }
inline int CellY(const FontHandleRecord* f, int cell) {
  // A memory-mode cache is one column, so no division is needed there.
  return (cell < f->cellsPerColumn ? cell : cell % f->cellsPerColumn) * f->cellSide;
}

// A space (0x20 or the full-width 0x81 0x40) takes its advance and draws nothing.
inline bool IsFontSpace(const FontCharItem& item) {
  return (item.bytes[0] == 0x20 && item.bytes[1] == 0) || (item.bytes[0] == 0x81 && item.bytes[1] == 0x40);
}

// Empties the lookup and gives entry i cell i. 0, or -1 for a bad handle.
int ClearFontHandleCache(int font);

// Splits up to 256 characters of `text` (length -1: all of it) into `items` (null: the module's buffer)
// and renders those not yet cached in one batch (at most the capacity). Writes the character count and
// the bytes they take. 0, or -1 for a bad handle. The caller goes on from `consumed` for longer text.
int PrepareFontStringChars(FontCharItem* items, const char* text, int font, int length, int* count,
                           int* consumed = nullptr);
// As PrepareFontStringChars, and each item's lookup entry as it stood before any rendering into `found`
// (null: not wanted): 1 when every item was cached already, so that `found` holds them all and nothing
// was rendered; 0 when glyphs were rendered (or are left to render); -1 for a bad handle.
int PrepareFontStringGlyphs(FontCharItem* items, const FontGlyphCacheEntry** found, const char* text, int font,
                            int length, int* count, int* consumed);
// Moves on whenever a font's lookup changes (glyphs rendered, the cache emptied) and when a font is
// deleted: what was looked up under one value still stands while the value is unchanged.
extern uint64_t gFontCacheEpoch;

// Renders `count` glyphs into the cache in ring order; the last entry filled, or null.
FontGlyphCacheEntry* RenderGlyphToFontCache(int font, int count, const FontCharItem* items);

}  // namespace orbel

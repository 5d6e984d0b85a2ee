// Strings with a font handle: measuring from the cached advances, drawing memory-mode glyphs straight
// from the cache cells into a memory image and texture-mode glyphs as parts of the cache graph,
// horizontally or turned a quarter turn for vertical text. The public text draw (font_draw.cpp) wraps
// this engine in the draw-call steps; the engine itself calls no draw back end.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "orbel/core/library.h"
#include "orbel/core/string_routines.h"
#include "orbel/font/font_record.h"
#include "orbel/font/font_system.h"
#include "orbel/font/glyph_rows.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/rect_math.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/image/color_data.h"
#include "orbel/softrender/mem_img.h"
#include "orbel/softrender/simd_road.h"

namespace orbel {

namespace {

// How the target image holds a pixel.
enum class Target { k8, k16, k32, k16Alpha, k32Alpha };

Target TargetKind(const MemImg* img) {
  const MemImgBase* b = img->base;
  if (b->pixelBytes == 1) return Target::k8;
  if (b->alpha) return b->colorType == kMemImgR5G6B5 ? Target::k16Alpha : Target::k32Alpha;
  return b->pixelBytes == 2 ? Target::k16 : Target::k32;
}

// Where one glyph goes: the clipped destination rectangle and the cache cell it comes from.
struct GlyphPlacement {
  MemImg* target;
  plat::RECT dest;     // clipped, in target pixels
  int left, top;       // the unclipped rectangle's top-left
  int right;           // vertical text: the unclipped right edge (the glyph's top row lies left of it)
  const uint8_t* cell;  // the cell's first row
  int cellPitch;
  bool vertical;
  bool oneBit;
  bool transparent;
  bool blendOver;  // levels blended over the target (kFontBlendOver)
};

// Calls put(pixel address, cell value) for each destination pixel; value 0 only when not transparent.
template <int Bytes, bool Vertical, bool OneBit, typename Put>
void WalkGlyphAs(const GlyphPlacement& g, Put put) {
  const int pitch = g.target->base->pitch;
  for (int dy = g.dest.top; dy < g.dest.bottom; ++dy) {
    uint8_t* dst = g.target->pixels + static_cast<ptrdiff_t>(dy) * pitch + static_cast<ptrdiff_t>(g.dest.left) * Bytes;
    if constexpr (!Vertical) {
      const uint8_t* row = g.cell + (dy - g.top) * g.cellPitch;
      for (int gx = g.dest.left - g.left, end = g.dest.right - g.left; gx < end; ++gx, dst += Bytes) {
        if constexpr (OneBit) {
          // Runs of eight empty pixels are passed over at once.
          if (g.transparent && row[gx >> 3] == 0) {
            const int next = std::min((gx | 7) + 1, end);
            dst += (next - 1 - gx) * Bytes;
            gx = next - 1;
            continue;
          }
        }
        const int v = OneBit ? (row[gx >> 3] >> (7 - (gx & 7))) & 1 : row[gx];
        if (v != 0 || !g.transparent) put(dst, v);
      }
    } else {
      // Glyph columns run down, glyph rows run leftwards from the right edge.
      const int gx = dy - g.top;
      for (int dx = g.dest.left; dx < g.dest.right; ++dx, dst += Bytes) {
        const uint8_t* row = g.cell + (g.right - 1 - dx) * g.cellPitch;
        const int v = OneBit ? (row[gx >> 3] >> (7 - (gx & 7))) & 1 : row[gx];
        if (v != 0 || !g.transparent) put(dst, v);
      }
    }
  }
}

template <int Bytes, typename Put>
void WalkGlyph(const GlyphPlacement& g, Put put) {
  if (g.vertical) {
    g.oneBit ? WalkGlyphAs<Bytes, true, true>(g, put) : WalkGlyphAs<Bytes, true, false>(g, put);
  } else {
    g.oneBit ? WalkGlyphAs<Bytes, false, true>(g, put) : WalkGlyphAs<Bytes, false, false>(g, put);
  }
}

template <typename P>
inline void Store(uint8_t* dst, uint32_t value) {
  const P p = static_cast<P>(value);
  memcpy(dst, &p, sizeof p);
}

// Glyph level g over edge level e (sixteenths): the alpha and the colour between edge and glyph.
inline uint32_t EdgeMixChannel(uint32_t color, uint32_t edge, uint32_t mask, int shift, int t) {
  const int c = static_cast<int>((color & mask) >> shift);
  const int e = static_cast<int>((edge & mask) >> shift);
  return static_cast<uint32_t>(e + (((c - e) * t) >> 8)) << shift & mask;
}

// The pixel of a type-3 cell byte, or false when nothing is to be written. `alpha` receives 0-255.
inline bool EdgeMix(int v, uint32_t color, uint32_t edge, bool sixteen, uint32_t* out, uint32_t* alpha) {
  const int g = v & 0x0F;
  const int e = v >> 4;
  if (g == 15) {
    *out = color;
    *alpha = 255;
    return true;
  }
  if (g == 0) {
    if (e == 0) return false;
    *out = edge;
    *alpha = static_cast<uint32_t>(e * 16);
    return true;
  }
  const int a = ((15 - g) * e + 16 * g) & 0xFF;
  const int t = g * 4096 / a;
  *alpha = static_cast<uint32_t>(a);
  if (sixteen) {
    *out = EdgeMixChannel(color, edge, 0xF800, 11, t) | EdgeMixChannel(color, edge, 0x07E0, 5, t) |
           EdgeMixChannel(color, edge, 0x001F, 0, t);
  } else {
    *out = EdgeMixChannel(color, edge, 0xFF0000, 16, t) | EdgeMixChannel(color, edge, 0xFF00, 8, t) |
           EdgeMixChannel(color, edge, 0xFF, 0, t);
  }
  return true;
}

// Plain targets: one colour per cell value. Antialiased cells (drawn here only by a direct caller)
// are cut at half strength.
template <typename P>
void DrawGlyphPlain(const GlyphPlacement& g, uint32_t type, uint32_t color, uint32_t edge) {
  switch (type) {
    case 0:
      WalkGlyph<sizeof(P)>(g, [&](uint8_t* d, int v) { Store<P>(d, v ? color : 0); });
      break;
    case 1:
      WalkGlyph<sizeof(P)>(g, [&](uint8_t* d, int v) { Store<P>(d, v == 1 ? color : v == 2 ? edge : 0); });
      break;
    case 2:
      WalkGlyph<sizeof(P)>(g, [&](uint8_t* d, int v) {
        if (v >= 8 || !g.transparent) Store<P>(d, v >= 8 ? color : 0);
      });
      break;
    default:
      WalkGlyph<sizeof(P)>(g, [&](uint8_t* d, int v) {
        const uint32_t value = (v & 0x0F) >= 8 ? color : (v >> 4) >= 8 ? edge : 0;
        if (value != 0 || (v & 0x0F) >= 8 || (v >> 4) >= 8 || !g.transparent) Store<P>(d, value);
      });
      break;
  }
}

// Targets with alpha: levels become alpha, colour in the low bits; the alpha byte is at bit 16 for
// 16-bit colour, at bit 24 for 32-bit colour.
template <bool Sixteen>
void DrawGlyphAlpha(const GlyphPlacement& g, uint32_t type, uint32_t color, uint32_t edge) {
  constexpr int kAlphaShift = Sixteen ? 16 : 24;
  switch (type) {
    case 0:
      WalkGlyph<4>(g, [&](uint8_t* d, int v) { Store<uint32_t>(d, v ? 0xFFu << kAlphaShift | color : 0); });
      break;
    case 1:
      WalkGlyph<4>(g, [&](uint8_t* d, int v) {
        Store<uint32_t>(d, v == 1 ? 0xFFu << kAlphaShift | color : v == 2 ? 0xFFu << kAlphaShift | edge : 0);
      });
      break;
    case 2:
      WalkGlyph<4>(g, [&](uint8_t* d, int v) {
        Store<uint32_t>(d, v ? static_cast<uint32_t>(v) << (kAlphaShift + 4) | color : 0);
      });
      break;
    default:
      WalkGlyph<4>(g, [&](uint8_t* d, int v) {
        uint32_t value = 0;
        uint32_t alpha = 0;
        if (EdgeMix(v, color, edge, Sixteen, &value, &alpha)) {
          Store<uint32_t>(d, alpha << kAlphaShift | value);
        } else if (!g.transparent) {
          Store<uint32_t>(d, 0);
        }
      });
      break;
  }
}

// Glyph levels blended straight over a 16- or 32-bit target, as the work surface's alpha draw would
// blend them: level v of an antialiased cell is alpha 16 v; an edge mix of alpha 255 is copied, with
// the alpha byte, as the alpha draw copies opaque pixels.
template <bool Sixteen>
void DrawGlyphBlended(const GlyphPlacement& g, uint32_t type, uint32_t color, uint32_t edge) {
  constexpr int kBytes = Sixteen ? 2 : 4;
  const auto blend = [](uint8_t* d, uint32_t value, int a) {
    Sixteen ? glyph::BlendPixel16(d, value, a) : glyph::BlendPixel32(d, value, a);
  };
  if (type == 2) {
    WalkGlyph<kBytes>(g, [&](uint8_t* d, int v) {
      if (v != 0) blend(d, color, v * 16);
    });
    return;
  }
  WalkGlyph<kBytes>(g, [&](uint8_t* d, int v) {
    uint32_t value = 0;
    uint32_t alpha = 0;
    if (!EdgeMix(v, color, edge, Sixteen, &value, &alpha)) return;
    if (alpha == 255) {
      Sixteen ? Store<uint16_t>(d, value) : Store<uint32_t>(d, 0xFF000000u | value);
    } else {
      blend(d, value, static_cast<int>(alpha));
    }
  });
}

// How a string's horizontal glyphs go through the vector rows: fixed for the whole string, so each
// glyph only places its rows.
struct RowsPlan {
  enum Kind { kNone, kSet, kLevels, kBlend };
  Kind kind = kNone;
  int bytes = 0;  // target pixel size
  bool oneBit = false;
  glyph::ValueClasses classes{};
  uint32_t color = 0;
  uint32_t edge = 0;
  int shift = 0;  // kLevels: where a level goes
};

// Horizontal glyphs on 16- and 32-bit targets under the transparent flag, on the renderer's vector
// road; kNone for anything else (the glyphs then walk pixel by pixel).
RowsPlan PlanRows(const MemImg* target, uint32_t type, bool vertical, bool transparent, bool blendOver, bool oneBit,
                  uint32_t color, uint32_t edge) {
  RowsPlan plan;
  const Target kind = TargetKind(target);
  if (vertical || !transparent || !SimdRoadOpen() || kind == Target::k8) return plan;
  const bool alphaTarget = kind == Target::k16Alpha || kind == Target::k32Alpha;
  if (type == 3 && (alphaTarget || blendOver)) return plan;  // edge mixes go pixel by pixel
  if (blendOver && type != 2) return plan;
  if (kind == Target::k16 || kind == Target::k16Alpha) {
    color &= 0xFFFF;
    edge &= 0xFFFF;
  } else if (kind == Target::k32Alpha) {
    color &= 0xFFFFFF;
    edge &= 0xFFFFFF;
  }
  const int alphaShift = kind == Target::k16Alpha ? 16 : 24;
  plan.bytes = kind == Target::k16 ? 2 : 4;
  plan.oneBit = oneBit;
  plan.classes = glyph::PlainClasses(type);
  plan.color = color;
  plan.edge = edge;
  if (blendOver) {
    plan.kind = RowsPlan::kBlend;
  } else if (alphaTarget && type == 2) {
    plan.kind = RowsPlan::kLevels;
    plan.shift = alphaShift + 4;
  } else {
    plan.kind = RowsPlan::kSet;
    if (alphaTarget) {
      plan.color |= 0xFFu << alphaShift;
      plan.edge |= 0xFFu << alphaShift;
    }
  }
  return plan;
}

void DrawGlyphRows(const GlyphPlacement& g, const RowsPlan& plan) {
  const int n = g.dest.right - g.dest.left;
  const int pitch = g.target->base->pitch;
  glyph::GlyphBlock block;
  block.dst = g.target->pixels + static_cast<ptrdiff_t>(g.dest.top) * pitch +
              static_cast<ptrdiff_t>(g.dest.left) * plan.bytes;
  block.dstPitch = pitch;
  block.cell = g.cell + static_cast<ptrdiff_t>(g.dest.top - g.top) * g.cellPitch;
  block.cellPitch = g.cellPitch;
  block.rows = g.dest.bottom - g.dest.top;
  block.first = g.dest.left - g.left;
  block.n = n;
  block.slack = std::max(0, g.target->width - static_cast<int>(g.dest.right));
  switch (plan.kind) {
    case RowsPlan::kBlend:
      glyph::BlendGlyph(plan.bytes, block, plan.color);
      break;
    case RowsPlan::kLevels:
      glyph::LevelGlyph32(block, plan.color, plan.shift);
      break;
    default:
      glyph::SetGlyph(plan.bytes, block, plan.oneBit, plan.classes, plan.color, plan.edge);
      break;
  }
}

void DrawMemoryGlyph(const GlyphPlacement& g, const RowsPlan& plan, uint32_t type, uint32_t color, uint32_t edge) {
  if (plan.kind != RowsPlan::kNone && g.dest.right - g.dest.left <= glyph::kGlyphRowMax) {
    DrawGlyphRows(g, plan);
    return;
  }
  const Target kind = TargetKind(g.target);
  if (g.blendOver) {
    if (kind == Target::k16) DrawGlyphBlended<true>(g, type, color & 0xFFFF, edge & 0xFFFF);
    else if (kind == Target::k32) DrawGlyphBlended<false>(g, type, color & 0xFFFFFF, edge & 0xFFFFFF);
    return;
  }
  switch (kind) {
    case Target::k8:
      DrawGlyphPlain<uint8_t>(g, type, color & 0xFF, edge & 0xFF);
      break;
    case Target::k16:
      DrawGlyphPlain<uint16_t>(g, type, color & 0xFFFF, edge & 0xFFFF);
      break;
    case Target::k32:
      DrawGlyphPlain<uint32_t>(g, type, color, edge);
      break;
    case Target::k16Alpha:
      DrawGlyphAlpha<true>(g, type, color & 0xFFFF, edge & 0xFFFF);
      break;
    case Target::k32Alpha:
      DrawGlyphAlpha<false>(g, type, color & 0xFFFFFF, edge & 0xFFFFFF);
      break;
  }
}

// A colour value of the target's format with the draw-bright colour applied, without the bits every
// value of the format carries. The target's format, not the screen's: on an 8-bit display text is drawn
// into a converted view whose colours the soft-draw frame has already converted.
uint32_t Brightened(uint32_t color, const MemImg* target, const ColorData* format) {
  if (target->base->pixelBytes == 1 || format == nullptr) return color & 0xFF;  // palette index
  const uint32_t black = GetFormatColorValue(format, 0, 0, 0, 0);
  const uint32_t bright = gDrawState.brightColor;
  if (bright == kBrightWhite) return color & ~black;
  int r = 0;
  int g = 0;
  int b = 0;
  GetColorValueRGBA(format, color, &r, &g, &b, nullptr);
  r = r * static_cast<int>((bright >> 16) & 0xFF) / 255;
  g = g * static_cast<int>((bright >> 8) & 0xFF) / 255;
  b = b * static_cast<int>(bright & 0xFF) / 255;
  return GetFormatColorValue(format, r, g, b, 0) & ~black;
}

// The cached glyph of an item, rendered now when the walk finds it missing.
const FontGlyphCacheEntry* GlyphOf(FontHandleRecord* f, int font, const FontCharItem& item) {
  const FontLookupSlot& slot = f->lookup[item.Code()];
  if (slot.valid) return slot.entry;
  const FontGlyphCacheEntry* entry = RenderGlyphToFontCache(font, 1, &item);
  if (entry == nullptr) ErrorExitLibrary("テキストキャッシュの作成に失敗しました");
  return entry;
}

// The cached entries of a batch's items into `found`; false when one is not cached.
bool LookUpBatch(const FontHandleRecord* f, const FontCharItem* items, int count, const FontGlyphCacheEntry** found) {
  uint32_t valid = 1;
  for (int i = 0; i < count; ++i) {
    const FontLookupSlot& slot = f->lookup[items[i].Code()];
    valid &= slot.valid != 0 ? 1u : 0u;
    found[i] = slot.entry;
  }
  return valid != 0;
}

// The last string prepared whole in one batch with every glyph cached: its characters and their
// entries. Text is mostly measured and then drawn (and the one-pass test prepares it too), so the
// later calls take the characters and entries from here instead of splitting the string and going
// through the lookup again. It holds while no font's lookup has changed since (the cache epoch), for
// the same font and the same bytes of the same length; a copy of the bytes is kept, as the caller may
// write new text into the same buffer.
struct StringMemo {
  int font = -1;
  const FontHandleRecord* record = nullptr;
  uint64_t epoch = 0;
  int length = 0;    // the string's length in bytes
  int consumed = 0;  // bytes its characters take (a last lead byte may take the byte after the length)
  int count = 0;
  char bytes[2 * kFontBatchSize + 2];  // the bytes taken and the one after them
  FontCharItem items[kFontBatchSize];
  const FontGlyphCacheEntry* found[kFontBatchSize];
};
StringMemo gMemo;

// Whether `text`, at least the memo's length long, holds the memo's bytes and the byte after them (whether
// a last lead byte pairs depends on it). The first part compared ends at or before the terminator; the
// rest is read only when that matched, so that a last lead byte was followed by a byte and not the end.
bool SameMemoBytes(const char* text) {
  const size_t head = static_cast<size_t>(gMemo.length) + 1;
  const size_t all = static_cast<size_t>(gMemo.consumed) + 1;
  if (memcmp(gMemo.bytes, text, std::min(head, all)) != 0) return false;
  return all <= head || memcmp(gMemo.bytes + head, text + head, all - head) == 0;
}

// One batch of a string: its characters and their cached entries (every one cached when `allFound`).
struct PreparedBatch {
  const FontCharItem* items;
  const FontGlyphCacheEntry* const* found;
  int count;
  int consumed;
  bool allFound;
};

// Prepares the batch of `text` from `at` into the caller's arrays, or takes the whole string from the
// memo; a whole string found cached is remembered. -1 for a bad handle.
int PrepareBatch(FontHandleRecord* f, int font, const char* text, int at, int length, FontCharItem* items,
                 const FontGlyphCacheEntry** found, PreparedBatch* out) {
  if (at == 0 && gMemo.epoch == gFontCacheEpoch && gMemo.font == font && gMemo.record == f && gMemo.length == length &&
      SameMemoBytes(text)) {
    *out = {gMemo.items, gMemo.found, gMemo.count, gMemo.consumed, true};
    return 0;
  }
  int count = 0;
  int consumed = 0;
  const int cached = PrepareFontStringGlyphs(items, found, text + at, font, length - at, &count, &consumed);
  if (cached < 0) return -1;
  // Rendering may have evicted entries looked up before it: look again.
  const bool allFound = cached == 1 || LookUpBatch(f, items, count, found);
  if (allFound) {
    // The entries' fields are read soon; their cache misses overlap here.
    for (int i = 0; i < count; ++i) __builtin_prefetch(found[i]);
  }
  *out = {items, found, count, consumed, allFound};
  if (at == 0 && allFound && consumed >= length && consumed < static_cast<int>(sizeof gMemo.bytes)) {
    gMemo.font = font;
    gMemo.record = f;
    gMemo.epoch = gFontCacheEpoch;
    gMemo.length = length;
    gMemo.consumed = consumed;
    gMemo.count = count;
    memcpy(gMemo.bytes, text, static_cast<size_t>(consumed) + 1);
    memcpy(gMemo.items, items, sizeof(FontCharItem) * static_cast<size_t>(count));
    memcpy(gMemo.found, found, sizeof(found[0]) * static_cast<size_t>(count));
  }
  return 0;
}

// A screen colour with the draw-bright colour applied, packed 0xFFRRGGBB: the bright colour a
// texture-mode glyph is drawn with.
uint32_t BrightenedPacked(uint32_t color) {
  return 0xFF000000u | BrightenedRgb(color);
}

// One texture-mode glyph drawn from a cache graph (or its edge half): a part of the graph, stretched
// when scaled, or a derived graph of the cell turned a quarter turn clockwise for vertical text, the
// draw area narrowed to the glyph.
struct TextureGlyph {
  int x, y;          // the string's pen origin
  double total;      // pen advance so far
  double xScale, yScale;
  int lineHeight;
  const FontGlyphCacheEntry* entry;
  int srcX, srcY, width, height;  // the cell's glyph box, cut to the cell
};

void DrawTextureGlyph(const TextureGlyph& t, int graph, bool vertical) {
  const FontGlyphCacheEntry& e = *t.entry;
  if (!vertical) {
    if (t.xScale == 1.0 && t.yScale == 1.0) {
      DrawGraphPart(t.x + e.offsetX + static_cast<int>(t.total), t.y + e.offsetY, t.srcX, t.srcY, t.width, t.height,
                    graph, 1, 0);
      return;
    }
    const int left = t.x + static_cast<int>(e.offsetX * t.xScale + t.total);
    const int top = t.y + static_cast<int>(e.offsetY * t.yScale);
    DrawStretchGraphPart(left, top, left + static_cast<int>(t.width * t.xScale),
                         top + static_cast<int>(t.height * t.yScale), t.srcX, t.srcY, t.width, t.height, graph, 1);
    return;
  }
  const int right = t.x + static_cast<int>((t.lineHeight - e.offsetY) * t.xScale);
  const int top = t.y + static_cast<int>(e.offsetX * t.yScale + t.total);
  const int left = right + static_cast<int>(-t.height * t.xScale);
  const int bottom = top + static_cast<int>(t.width * t.yScale);
  const plat::RECT saved = gDrawState.drawArea;
  const plat::RECT savedRequest = gDrawState.requestedDrawArea;
  plat::RECT area = {right - static_cast<int>(t.height * t.xScale) - 1, top, right + 1, bottom};
  ClipRect(&area, &saved);
  if (area.right <= area.left || area.bottom <= area.top) return;
  const int part = DeriveGraph(t.srcX, t.srcY, t.width, t.height, graph);
  if (part == -1) return;
  SetDrawClipArea(area.left, area.top, area.right, area.bottom);
  const float r = static_cast<float>(right) - 0.5f;
  const float l = static_cast<float>(left) - 0.5f;
  const float up = static_cast<float>(top) - 0.5f;
  const float down = static_cast<float>(bottom) - 0.5f;
  DrawQuadGraph(r, up, r, down, l, down, l, up, part, 1);
  DeleteGraphHandle(part, 0);
  SetDrawClipArea(saved.left, saved.top, saved.right, saved.bottom);
  gDrawState.requestedDrawArea = savedRequest;
}

}  // namespace

int FontStringEngine(int mode, int x, int y, int scaleFlag, double xScale, double yScale, const char* text,
                     uint32_t color, MemImg* target, const plat::RECT* clip, int transparent, int font,
                     uint32_t edgeColor, int length, int vertical, int* size) {
  if (!DisplayUp()) return -1;
  FontHandleRecord* f = GetFontRecord(font);
  if (f == nullptr) return -1;
  // Scales apply to texture-mode fonts only, and when drawing only with the scale flag.
  if (!f->textureMode || (mode == kFontEngineDraw && scaleFlag == 0)) xScale = yScale = 1.0;
  const double advanceScale = vertical ? yScale : xScale;
  if (text == nullptr || text[0] == '\0') {
    if (size != nullptr) size[0] = size[1] = 0;
    return 0;
  }
  const int whole = static_cast<int>(strlen(text));
  // Only -1 means the whole string; another negative length walks no character.
  if (length == -1 || length > whole) length = whole;
  const bool blendOver = transparent == kFontBlendOver;
  bool drawing = mode == kFontEngineDraw && target != nullptr && CheckValidMemImg(target) && !f->textureMode;
  // Blending over the target stands for drawing the work surface over it, which draws only onto an
  // image of the work surface's format without alpha, and only levels.
  const MemImgColorType workType = GetDisplayColorBitDepth() == 32 ? kMemImgX8R8G8B8 : kMemImgR5G6B5;
  if (drawing && blendOver &&
      (target->base->colorType != workType || target->base->alpha || target->base->paletted ||
       (f->type & kFontTypeAntialias) == 0)) {
    drawing = false;
  }
  // A texture-mode cache graph deleted from outside (a display change) is made again, which empties
  // the glyph cache, before glyphs are rendered into it.
  if (mode == kFontEngineDraw && f->textureMode && f->cacheGraphLost) RebuildFontHandleCacheGraphs(font);
  const bool textureDrawing = mode == kFontEngineDraw && f->textureMode && f->cacheGraph != -1;
  uint32_t glyphColor = 0;
  uint32_t edge = 0;
  if (drawing) {
    // Over the target the colours are those the work surface would hold.
    const ColorData* format = blendOver ? GetMemImgColorData(workType, 1, 0) : target->base->colorData;
    glyphColor = Brightened(color, target, format);
    edge = Brightened(edgeColor, target, format);
  } else if (textureDrawing) {
    glyphColor = BrightenedPacked(color);
    edge = BrightenedPacked(edgeColor);
  }
  // Texture glyphs are drawn without a blend graph, each in its bright colour; both come back after.
  const uint32_t savedBright = gDrawState.brightColor;
  const int savedBlendGraph = gDrawState.blendGraph;
  const int savedThreshold = static_cast<int>(gDrawState.blendGraphThreshold);
  const int savedRange = static_cast<int>(gDrawState.blendGraphRange);
  if (textureDrawing && savedBlendGraph != -1) SetDrawBlendGraph(-1, 0, 0);
  const plat::RECT area = clip != nullptr ? *clip : plat::RECT{0, 0, target != nullptr ? target->width : 0,
                                                              target != nullptr ? target->height : 0};
  const int side = f->cellSide;

  const bool oneBit = f->cacheBitsPerPixel == 1;
  const RowsPlan plan = drawing ? PlanRows(target, f->type, vertical != 0, transparent != 0, blendOver, oneBit,
                                           glyphColor, edge)
                                : RowsPlan{};
  // The string goes in pieces of up to 256 characters, each prepared (its new glyphs rendered in one
  // batch) and then walked.
  FontCharItem items[kFontBatchSize];
  const FontGlyphCacheEntry* found[kFontBatchSize];
  // Unscaled, the pen moves by whole pixels: summed as integers it is what the sum in doubles gives,
  // without a conversion and a multiply on each character's path.
  const bool unitScale = advanceScale == 1.0;
  int64_t sum = 0;
  double total = 0.0;
  int at = 0;
  while (at < length) {
    // The batch's entries come with its characters (or from the string measured just before); a batch
    // with a glyph still to render renders it on the way, as rendering may evict the others.
    PreparedBatch batch{};
    if (PrepareBatch(f, font, text, at, length, items, found, &batch) != 0) return -1;
    at += batch.consumed;
    const int count = batch.count;
    for (int i = 0; i < count; ++i) {
      const FontCharItem& item = batch.items[i];
      const FontGlyphCacheEntry* entry = batch.allFound ? batch.found[i] : GlyphOf(f, font, item);
      double penExact;
      int pen;
      if (unitScale) {
        penExact = static_cast<double>(sum);
        pen = static_cast<int>(sum);
        sum += entry->advance + f->spacing;
      } else {
        penExact = total;
        pen = static_cast<int>(total);
        total += (entry->advance + f->spacing) * advanceScale;
      }
      if ((!drawing && !textureDrawing) || IsFontSpace(item) || (entry->width == 0 && entry->height == 0)) continue;
      // A glyph larger than its cell was cut at the cell's border when it was rendered.
      const int w = std::min<int>(entry->width, side);
      const int h = std::min<int>(entry->height, side);
      if (textureDrawing) {
        const TextureGlyph t = {x, y, penExact, xScale, yScale, f->lineHeight, entry,
                                CellX(f, entry->cell), CellY(f, entry->cell), w, h};
        if (f->edgeHalfGraph != -1) {
          SetDrawBrightColorValue(edge);
          DrawTextureGlyph(t, f->edgeHalfGraph, vertical != 0);
        }
        SetDrawBrightColorValue(glyphColor);
        DrawTextureGlyph(t, f->cacheGraph, vertical != 0);
        continue;
      }
      GlyphPlacement g{};
      g.target = target;
      g.vertical = vertical != 0;
      if (!g.vertical) {
        g.left = x + pen + entry->offsetX;
        g.top = y + entry->offsetY;
        g.dest = {g.left, g.top, g.left + w, g.top + h};
      } else {
        g.right = x + f->lineHeight - entry->offsetY;
        g.left = g.right - h;
        g.top = y + pen + entry->offsetX;
        g.dest = {g.left, g.top, g.right, g.top + w};
      }
      // What is left inside the clip rectangle; for a glyph that shows, the plain intersection is
      // what ClipRect gives.
      const plat::RECT cut = {std::max(g.dest.left, area.left), std::max(g.dest.top, area.top),
                              std::min(g.dest.right, area.right), std::min(g.dest.bottom, area.bottom)};
      if (cut.right <= cut.left || cut.bottom <= cut.top) continue;
      g.dest = cut;
      g.cell = f->cachePixels + static_cast<ptrdiff_t>(CellY(f, entry->cell)) * f->cachePitch;
      g.cellPitch = f->cachePitch;
      g.oneBit = oneBit;
      g.transparent = transparent != 0;
      g.blendOver = blendOver;
      DrawMemoryGlyph(g, plan, f->type, glyphColor, edge);
    }
  }
  if (textureDrawing) {
    SetDrawBrightColorValue(savedBright);
    if (savedBlendGraph != -1) SetDrawBlendGraph(savedBlendGraph, savedThreshold, savedRange);
  }
  const int extent = unitScale ? static_cast<int>(sum) : static_cast<int>(total);
  if (size != nullptr) {
    size[0] = vertical ? f->lineHeight : extent;
    size[1] = vertical ? extent : f->lineHeight;
  }
  return extent;
}

int FontStringBlendsInOnePass(int font, const char* text, int vertical) {
  (void)vertical;  // glyph boxes follow one another along the writing direction either way
  FontHandleRecord* f = GetFontRecord(font);
  if (f == nullptr || f->textureMode || (f->type & kFontTypeAntialias) == 0 || text == nullptr) return 0;
  const int length = static_cast<int>(strlen(text));
  FontCharItem items[kFontBatchSize];
  const FontGlyphCacheEntry* found[kFontBatchSize];
  PreparedBatch batch{};
  if (PrepareBatch(f, font, text, 0, length, items, found, &batch) != 0 || batch.consumed < length || !batch.allFound) {
    return 0;
  }
  double total = 0.0;
  int reach = INT_MIN;  // where the glyph boxes so far end along the writing direction
  for (int i = 0; i < batch.count; ++i) {
    const FontGlyphCacheEntry* entry = batch.found[i];
    const int pen = static_cast<int>(total);
    total += entry->advance + f->spacing;
    if (IsFontSpace(batch.items[i]) || (entry->width == 0 && entry->height == 0)) continue;
    const int start = pen + entry->offsetX;
    if (start < reach) return 0;
    reach = start + std::min<int>(entry->width, f->cellSide);
  }
  return 1;
}

int GetTextWidthToFontHandle(const char* text, int length, int font, int vertical) {
  return FontStringEngine(kFontEngineMeasure, 0, 0, 0, 1.0, 1.0, text, 0, nullptr, nullptr, 1, font, 0, length, vertical,
                          nullptr);
}

}  // namespace orbel

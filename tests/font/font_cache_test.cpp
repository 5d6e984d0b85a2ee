// Font handles and the glyph cache with synthetic glyphs: cache sizing, ring eviction, long strings,
// edge shapes, antialias levels, the handle table and re-creation after a graphics restore.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "font_test_fixture.h"
#include "orbel/core/library.h"
#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/window_proc.h"
#include "orbel/font/font_record.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/handle_table.h"
#include "orbel/softrender/mem_img.h"
#include "platform/ddraw/test_controls.h"
#include "platform/win/user/message_queue.h"

namespace orbel::testing {
namespace {

class FontCacheTest : public FontLibraryTest {
 protected:
  void SetUp() override {
    FontLibraryTest::SetUp();
    ASSERT_EQ(Start({1, 32, 0}), 0);
  }
  // Font made from a face with the metrics, whose glyphs `draw` makes.
  int MakeFont(plat::FaceMetrics metrics, SyntheticGlyphs::Draw draw, int type, int edge = -1) {
    glyphs_ = std::make_unique<SyntheticGlyphs>(metrics, std::move(draw));
    UseGlyphs(glyphs_.get());
    return CreateFontToHandle("Synthetic", 20, 4, type, -1, edge, 0, -1, -1);
  }
  // The cache byte (x, y) of the cell holding `code`'s glyph (8-bit cells).
  static int CellByte(int font, uint16_t code, int x, int y) {
    const FontHandleRecord* f = GetFontRecord(font);
    const FontGlyphCacheEntry* e = f->lookup[code].entry;
    return f->cachePixels[(CellY(f, e->cell) + y) * f->cachePitch + x];
  }
  static int LiveFonts() {
    int n = 0;
    for (const FontHandleRecord* f : gFontSettings.records) n += f != nullptr;
    return n;
  }
  std::unique_ptr<SyntheticGlyphs> glyphs_;
};

// Distinct double-byte characters (kanji rows of Shift-JIS), `count` of them.
std::string Kanji(int count) {
  std::string s;
  for (int lead = 0x89; lead <= 0x9F && static_cast<int>(s.size()) < 2 * count; ++lead) {
    for (int trail = 0x40; trail <= 0xFC && static_cast<int>(s.size()) < 2 * count; ++trail) {
      if (trail == 0x7F) continue;
      s += static_cast<char>(lead);
      s += static_cast<char>(trail);
    }
  }
  return s;
}

TEST_F(FontCacheTest, MemoryCacheIsSizedFromTheCellSide) {
  struct Case {
    int maxWidth, height, type, edge;
    int cellSide, lineHeight, capacity, bitsPerPixel, pitch;
  };
  const Case cases[] = {
      {13, 20, 0, -1, 20, 20, 819, 1, 3},   // 15 rounds to 16, raised to the line height
      {22, 20, 0, -1, 24, 20, 568, 1, 3},   // 327,680 / 24^2
      {198, 20, 2, -1, 200, 20, 20, 8, 200},  // 8 cells raised to 20
      {4, 10, 0, -1, 10, 10, 2024, 1, 2},   // 3,276 cut to 2,024
      {13, 20, 0, 2, 24, 24, 568, 8, 24},   // edge 2 makes the font edged: + 2 x 2 each way
      {13, 21, 1, -1, 24, 24, 568, 8, 24},  // type 1 with the default edge 1; odd line heights go up by 1
  };
  for (const Case& c : cases) {
    plat::FaceMetrics m = BoxMetrics(c.maxWidth);
    m.height = c.height;
    const int font = MakeFont(m, BoxGlyph(3, 3, 255), c.type, c.edge);
    ASSERT_NE(font, -1);
    const FontHandleRecord* f = GetFontRecord(font);
    EXPECT_EQ(f->cellSide, c.cellSide) << c.maxWidth;
    EXPECT_EQ(f->lineHeight, c.lineHeight) << c.maxWidth;
    EXPECT_EQ(f->capacity, c.capacity) << c.maxWidth;
    EXPECT_EQ(f->cacheBitsPerPixel, c.bitsPerPixel) << c.maxWidth;
    EXPECT_EQ(f->cachePitch, c.pitch) << c.maxWidth;
    EXPECT_EQ(f->cellsPerColumn, c.capacity);
    EXPECT_EQ(f->textureMode, 0);
    EXPECT_EQ(f->entries[c.capacity].cell, -1);
    EXPECT_EQ(DeleteFontHandle(font), 0);
  }
}

// Settings no font can have, and caches past the cap, are refused before anything is kept: the log
// names the reason, no slot stays taken, and text goes on with the fonts that exist.
TEST_F(FontCacheTest, HostileSettingsAndOversizedCachesAreRefused) {
  const int before = LiveFonts();
  struct Refusal {
    int size, thickness, type, edge;
    const char* line;
  };
  const Refusal refusals[] = {
      {14644, 6, 2, 2, "フォントのキャッシュのサイズが上限を超えました in CreateFontToHandle"},
      {20, INT_MIN, 0, -1, "フォントの太さ -2147483648 は指定できません in CreateFontToHandle"},
      {20, 11, 0, -1, "フォントの太さ 11 は指定できません in CreateFontToHandle"},
      {20, 4, 4, -1, "フォントのタイプ 4 は指定できません in CreateFontToHandle"},
      {20, 4, -2, -1, "フォントのタイプ -2 は指定できません in CreateFontToHandle"},
      {INT_MIN, 4, 0, -1, "フォントのサイズ -2147483648 は指定できません in CreateFontToHandle"},
      {20, 4, 1, INT_MAX, "フォントのエッジサイズ 2147483647 は指定できません in CreateFontToHandle"},
  };
  for (const Refusal& r : refusals) {
    EXPECT_EQ(CreateFontToHandle(nullptr, r.size, r.thickness, r.type, -1, r.edge, 0, -1, -1), -1) << r.line;
    EXPECT_NE(LogText().find(r.line), std::string::npos) << r.line;
    EXPECT_EQ(LiveFonts(), before) << r.line;
  }
  EXPECT_GT(GetTextWidthDefaultFont("abc", -1, 0), 0);
  EXPECT_EQ(DrawTextDefaultFont(0, 0, "abc", MakeColor(255, 255, 255), 0), 0);
  // -1 still means the default type.
  const int plain = CreateFontToHandle(nullptr, 16, 4, -1, -1, -1, 0, -1, -1);
  ASSERT_NE(plain, -1);
  EXPECT_EQ(GetFontRecord(plain)->type, 0u);
  DeleteFontHandle(plain);

  // The cap (64 MiB a cache) against the cell side: 20 cells of 1,824 bytes square fit, of 1,832 not;
  // one bit a pixel fits up to the largest cell side, 4,096.
  struct Cap {
    int maxWidth, type;
    bool made;
  };
  const Cap caps[] = {{1822, 2, true}, {1830, 2, false}, {4094, 0, true}, {4102, 0, false}};
  for (const Cap& c : caps) {
    const int font = MakeFont(BoxMetrics(c.maxWidth), BoxGlyph(3, 3, 255), c.type);
    EXPECT_EQ(font != -1, c.made) << c.maxWidth;
    if (font == -1) continue;
    EXPECT_EQ(GetTextWidthToFontHandle("ab", -1, font, 0), 24) << c.maxWidth;
    DeleteFontHandle(font);
  }
  EXPECT_EQ(LiveFonts(), before);
}

TEST_F(FontCacheTest, TheOldestGlyphGivesWayAfterCapacityRenders) {
  const int font = MakeFont(BoxMetrics(198), BoxGlyph(3, 3, 255), 0);
  const FontHandleRecord* f = GetFontRecord(font);
  ASSERT_EQ(f->capacity, 20);
  const std::string text = Kanji(21);
  EXPECT_EQ(GetTextWidthToFontHandle(text.c_str(), 40, font, 0), 20 * 12);
  const auto code = [&](int i) { return static_cast<uint16_t>(static_cast<uint8_t>(text[2 * i]) | static_cast<uint8_t>(text[2 * i + 1]) << 8); };
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(f->lookup[code(i)].valid) << i;
  EXPECT_EQ(f->nextEntry, 0);
  // The 21st character takes entry 0 and the first character's slot is cleared.
  EXPECT_EQ(GetTextWidthToFontHandle(text.c_str() + 40, -1, font, 0), 12);
  EXPECT_FALSE(f->lookup[code(0)].valid);
  EXPECT_EQ(f->lookup[code(0)].entry, nullptr);
  EXPECT_EQ(f->lookup[code(20)].entry, &f->entries[0]);
  EXPECT_TRUE(f->lookup[code(1)].valid);
  EXPECT_EQ(f->nextEntry, 1);
}

// Strings of more characters than one batch (256) or the cache holds are measured and drawn whole.
TEST_F(FontCacheTest, LongStringsAreMeasuredAndDrawnWhole) {
  for (int maxWidth : {198, 13}) {  // capacity 20, then 819
    const int font = MakeFont(BoxMetrics(maxWidth), BoxGlyph(3, 3, 255), 0);
    SetFontCharSpaceToHandle(1, font);
    const std::string text = Kanji(600);
    EXPECT_EQ(GetTextWidthToFontHandle(text.c_str(), -1, font, 0), 600 * 13) << maxWidth;
    if (GetFontRecord(font)->capacity >= 600) {
      int cached = 0;
      for (const FontLookupSlot& s : GetFontRecord(font)->lookup) cached += s.valid != 0;
      EXPECT_EQ(cached, 600);
    }
    // Drawn so that only the last three characters land on the screen.
    SelectDrawScreen(-2);
    ClearTargetScreen();
    const int x = -597 * 13;
    const uint32_t white = MakeColor(255, 255, 255);
    EXPECT_EQ(DrawTextToFontHandle(x, 0, text.c_str(), white, font, 0, 0), 0);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(BackPixel(i * 13 + 1 + 1, 2 + 1), 0xFFFFFFu) << maxWidth << " char " << i;
      EXPECT_EQ(BackPixel(i * 13 + 1 + 3, 2 + 1), 0u) << maxWidth << " char " << i;
    }
    DeleteFontHandle(font);
  }
}

// A string is measured and then drawn, and the draw takes the characters and glyphs the measure found.
// It takes them only for the same font, the same bytes (the caller may write new text into the same
// buffer) and a cache that has not changed since.
TEST_F(FontCacheTest, AMeasuredStringIsReusedOnlyForTheSameFontTextAndCache) {
  int boxW = 3;  // read when a glyph is rendered, so fonts made later get other glyphs
  glyphs_ = std::make_unique<SyntheticGlyphs>(BoxMetrics(198), [&boxW](char32_t c, plat::GlyphPicture* out) {
    const int w = c == U'b' ? boxW + 4 : c < 0x80 ? boxW : 9;
    out->advance = w + 5;
    out->width = w;
    out->height = 3;
    out->originX = 1;
    out->originY = 14;
    out->coverage.assign(static_cast<size_t>(w * 3), 255);
  });
  UseGlyphs(glyphs_.get());
  const int a = CreateFontToHandle("Synthetic", 20, 4, 0, -1, -1, 0, -1, -1);
  ASSERT_NE(a, -1);
  ASSERT_EQ(GetFontRecord(a)->capacity, 20);
  SelectDrawScreen(-2);
  const uint32_t white = MakeColor(255, 255, 255);
  // The run of ink along glyph row 1 from x.
  const auto ink = [](int x) {
    int n = 0;
    while (BackPixel(x + n, 3) == 0xFFFFFFu) ++n;
    return n;
  };
  const auto draw = [&](const char* text, int font) {
    ClearTargetScreen();
    return DrawTextToFontHandle(0, 0, text, white, font, 0, 0);
  };

  char text[] = "ab";
  EXPECT_EQ(GetTextWidthToFontHandle(text, -1, a, 0), 8 + 12);
  ASSERT_EQ(draw(text, a), 0);
  EXPECT_EQ(ink(1), 3);
  EXPECT_EQ(ink(8 + 1), 7);
  // Text changed in place.
  text[1] = 'a';
  EXPECT_EQ(GetTextWidthToFontHandle(text, -1, a, 0), 16);
  ASSERT_EQ(draw(text, a), 0);
  EXPECT_EQ(ink(8 + 1), 3);
  // A lead byte last within the length pairs with the byte after it once that is no longer the end.
  char lead[] = "a\x88\0";
  const int lone = GetTextWidthToFontHandle(lead, 2, a, 0);
  lead[2] = '\xea';
  EXPECT_EQ(GetTextWidthToFontHandle(lead, 2, a, 0), 8 + 14);
  EXPECT_NE(lone, 8 + 14);

  // Another font with the same text: its own glyphs.
  boxW = 6;
  const int b = CreateFontToHandle("Synthetic", 20, 4, 0, -1, -1, 0, -1, -1);
  ASSERT_NE(b, -1);
  EXPECT_EQ(GetTextWidthToFontHandle(text, -1, a, 0), 16);
  EXPECT_EQ(GetTextWidthToFontHandle(text, -1, b, 0), 22);
  ASSERT_EQ(draw(text, b), 0);
  EXPECT_EQ(ink(1), 6);
  EXPECT_EQ(ink(11 + 1), 6);
  ASSERT_EQ(draw(text, a), 0);
  EXPECT_EQ(ink(1), 3);

  // The same text after its glyphs were evicted (by a string too long to be remembered) is rendered
  // again, into the cells the long string left.
  text[1] = 'b';
  ASSERT_EQ(draw(text, a), 0);
  const FontHandleRecord* f = GetFontRecord(a);
  const std::string many = Kanji(300);
  EXPECT_EQ(GetTextWidthToFontHandle(many.c_str(), -1, a, 0), 300 * 14);
  EXPECT_FALSE(f->lookup['a'].valid);
  const int next = f->nextEntry;
  ASSERT_EQ(draw(text, a), 0);
  EXPECT_EQ(f->nextEntry, (next + 2) % 20);
  EXPECT_TRUE(f->lookup['a'].valid);
  EXPECT_TRUE(f->lookup['b'].valid);
  EXPECT_EQ(ink(1), 3);
  EXPECT_EQ(ink(8 + 1), 7);
  EXPECT_EQ(GetTextWidthToFontHandle(text, -1, a, 0), 20);
  // The same after the cache was emptied.
  ASSERT_EQ(ClearFontHandleCache(a), 0);
  EXPECT_EQ(GetTextWidthToFontHandle(text, -1, a, 0), 20);
  EXPECT_EQ(f->nextEntry, 2);
  DeleteFontHandle(a);
  DeleteFontHandle(b);
}

TEST_F(FontCacheTest, SpacesTakeTheirAdvanceAndNoPixels) {
  const int font = MakeFont(BoxMetrics(), BoxGlyph(3, 3, 255), 1, 2);
  const char text[] = "  \x81\x40";
  EXPECT_EQ(GetTextWidthToFontHandle(text, -1, font, 0), 3 * (12 + 4));
  const FontHandleRecord* f = GetFontRecord(font);
  for (uint16_t code : {uint16_t{0x20}, uint16_t{0x4081}}) {
    const FontGlyphCacheEntry* e = f->lookup[code].entry;
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->width, 4);  // only the edge's 2 x 2
    EXPECT_EQ(e->height, 4);
    EXPECT_EQ(e->advance, 16);
    for (int i = 0; i < f->cellSide * f->cachePitch; ++i) ASSERT_EQ(f->cachePixels[CellY(f, e->cell) * f->cachePitch + i], 0);
  }
}

// One glyph pixel spreads to the edge shape: 1 the glyph, 2 the edge.
TEST_F(FontCacheTest, EdgeShapesFollowTheTablesAndTheSquareAboveFour) {
  const std::vector<std::vector<std::string>> shapes = {
      {"010", "101", "010"},
      {"01110", "11111", "11011", "11111", "01110"},
      {"0001000", "0111110", "0111110", "1110111", "0111110", "0111110", "0001000"},
      {"001111100", "011111110", "111111111", "111111111", "111101111", "111111111", "111111111", "011111110",
       "001111100"},
      {"11111111111", "11111111111", "11111111111", "11111111111", "11111111111", "11111011111", "11111111111",
       "11111111111", "11111111111", "11111111111", "11111111111"},
  };
  for (int e = 1; e <= 5; ++e) {
    const int font = MakeFont(BoxMetrics(), BoxGlyph(1, 1, 255), 1, e);
    ASSERT_NE(font, -1);
    ASSERT_EQ(GetTextWidthToFontHandle("A", -1, font, 0), 12 + 2 * e);
    const auto& shape = shapes[e - 1];
    for (int y = 0; y <= 2 * e; ++y) {
      for (int x = 0; x <= 2 * e; ++x) {
        const int want = x == e && y == e ? 1 : shape[y][x] == '1' ? 2 : 0;
        EXPECT_EQ(CellByte(font, 'A', x, y), want) << "edge " << e << " at " << x << "," << y;
      }
    }
    EXPECT_EQ(CellByte(font, 'A', 2 * e + 1, e), 0);
    DeleteFontHandle(font);
  }
}

// Gray levels 0-16 are stored as level - 1 (level 0 and 1 both as 0); with an edge the strongest
// neighbouring level goes into the high nibble.
TEST_F(FontCacheTest, AntialiasLevelsAreStoredOneDown) {
  const int font = MakeFont(BoxMetrics(22), [](char32_t, plat::GlyphPicture* out) {
    out->advance = 20;
    out->width = 17;
    out->height = 1;
    out->originY = 16;
    for (int level = 0; level <= 16; ++level) out->coverage.push_back(static_cast<uint8_t>(level * 255 / 16));
  }, 2);
  ASSERT_EQ(GetTextWidthToFontHandle("A", -1, font, 0), 20);
  for (int level = 0; level <= 16; ++level) EXPECT_EQ(CellByte(font, 'A', level, 0), level == 0 ? 0 : level - 1);
  DeleteFontHandle(font);

  const int edged = MakeFont(BoxMetrics(), [](char32_t, plat::GlyphPicture* out) {
    out->advance = 12;
    out->width = 2;
    out->height = 1;
    out->originY = 16;
    out->coverage = {255, 128};  // levels 16 and 8
  }, 3, 1);
  ASSERT_EQ(GetTextWidthToFontHandle("A", -1, edged, 0), 14);
  EXPECT_EQ(CellByte(edged, 'A', 0, 1), 0xF0);  // left neighbour of level 16
  EXPECT_EQ(CellByte(edged, 'A', 1, 1), 0x7F);  // glyph 15 beside level 8
  EXPECT_EQ(CellByte(edged, 'A', 2, 1), 0xF7);  // glyph 7 beside level 16
  EXPECT_EQ(CellByte(edged, 'A', 3, 1), 0x70);
  EXPECT_EQ(CellByte(edged, 'A', 1, 0), 0xF0);
  EXPECT_EQ(CellByte(edged, 'A', 2, 2), 0x70);
}

TEST_F(FontCacheTest, WidthsAddSpacingAndHonourTheLength) {
  const int font = MakeFont(BoxMetrics(), BoxGlyph(3, 3, 255), 0);
  EXPECT_EQ(GetTextWidthToFontHandle("abcde", -1, font, 0), 60);
  ASSERT_EQ(SetFontCharSpaceToHandle(2, font), 0);
  EXPECT_EQ(GetTextWidthToFontHandle("abcde", -1, font, 0), 70);
  EXPECT_EQ(GetTextWidthToFontHandle("abcde", 2, font, 0), 28);
  EXPECT_EQ(GetTextWidthToFontHandle("ab\x88\xea" "c", 3, font, 0), 42);  // the lead byte takes its trail byte
  EXPECT_EQ(GetTextWidthToFontHandle("ab\x88", -1, font, 0), 42);        // a lone lead byte stops at the NUL
  EXPECT_EQ(GetTextWidthToFontHandle("", -1, font, 0), 0);
  EXPECT_EQ(GetTextWidthToFontHandle(nullptr, -1, font, 0), 0);
  EXPECT_EQ(GetTextWidthToFontHandle("abc", -1, font + 1, 0), -1);
  EXPECT_EQ(DrawTextToFontHandle(0, 0, "abc", 0, font + 1, 0, 0), -1);
  EXPECT_NE(LogText().find("フォントハンドル値が異常です"), std::string::npos);
  EXPECT_EQ(DrawTextToFontHandle(0, 0, "", 0, font + 1, 0, 0), 0);
  int size[2] = {};
  EXPECT_EQ(FontStringEngine(0, 0, 0, 0, 1.0, 1.0, "ab", 0, nullptr, nullptr, 1, font, 0, -1, 1, size), 28);
  EXPECT_EQ(size[0], 20);  // vertical: the line height across, the extent down
  EXPECT_EQ(size[1], 28);

  // Only -1 means the whole string: any other negative length walks no character, measured or drawn.
  MemImg image{};
  ASSERT_EQ(InitializeMemImg(&image, 80, 24, -1, 0, kMemImgX8R8G8B8, 0, 0, 0, nullptr), 0);
  const plat::RECT all = {0, 0, 80, 24};
  const auto drawnPixels = [&](int length, int* width) {
    FillMemImgRect(&image, nullptr, 0);
    *width = FontStringEngine(kFontEngineDraw, 0, 0, 0, 1.0, 1.0, "abcde", MakeColor(255, 255, 255), &image, &all, 1,
                              font, 0, length, 0, size);
    int lit = 0;
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 80; ++x) {
        uint32_t pixel = 0;
        memcpy(&pixel, image.pixels + MemImgOffset(&image, x, y), sizeof pixel);
        lit += pixel != 0;
      }
    }
    return lit;
  };
  int width = 0;
  EXPECT_EQ(drawnPixels(-1, &width), 5 * 9);  // five 3 x 3 boxes
  EXPECT_EQ(width, 70);
  EXPECT_GT(GetTextWidthDefaultFont("abc", -1, 0), 0);
  for (int length : {-2, -100, INT_MIN}) {
    EXPECT_EQ(GetTextWidthToFontHandle("abcde", length, font, 0), 0) << length;
    EXPECT_EQ(GetTextWidthDefaultFont("abc", length, 0), 0) << length;
    EXPECT_EQ(drawnPixels(length, &width), 0) << length;
    EXPECT_EQ(width, 0) << length;
    EXPECT_EQ(size[0], 0) << length;
    EXPECT_EQ(size[1], 20) << length;
  }
  TerminateMemImg(&image);
}

TEST_F(FontCacheTest, TheTableHoldsFortyFontsAndChecksRepeatAfter2048) {
  const int before = LiveFonts();
  std::vector<int> fonts;
  for (int i = before; i < kFontSlotCount; ++i) fonts.push_back(MakeFont(BoxMetrics(), BoxGlyph(3, 3, 255), 0));
  for (int f : fonts) ASSERT_NE(f, -1);
  EXPECT_EQ(CreateFontToHandle(nullptr, 16, 4, 0, -1, -1, 0, -1, -1), -1);
  EXPECT_NE(LogText().find("作成できるフォントハンドル数 40 の限界を超えました"), std::string::npos);
  EXPECT_EQ(CreateFontToHandle(nullptr, 16, 4, 0, -1, -1, 0, 0, -1), -1);  // a taken slot
  for (int f : fonts) DeleteFontHandle(f);
  EXPECT_EQ(LiveFonts(), before);

  // A slot's handle comes back after 2048 creations: the check number steps by one per creation and
  // runs 0..2047. The counter is set near its end rather than driven there (a font record is over a
  // megabyte, and 2048 of them took minutes under the sanitizers).
  const auto createAndDelete = [] {
    const int font = CreateFontToHandle(nullptr, 16, 4, 0, -1, -1, 0, -1, -1);
    DeleteFontHandle(font);
    return font;
  };
  gFontSettings.checkCounter = 5;
  const int first = createAndDelete();
  EXPECT_EQ(HandleCheck(first), 5u);
  EXPECT_EQ(createAndDelete(), MakeHandle(6, kHandleKindFont, HandleIndex(first)));
  gFontSettings.checkCounter = 2046;
  std::vector<int> handles;
  for (int i = 0; i < 3; ++i) handles.push_back(CreateFontToHandle(nullptr, 16, 4, 0, -1, -1, 0, -1, -1));
  EXPECT_EQ(HandleCheck(handles[0]), 2046u);
  EXPECT_EQ(HandleCheck(handles[1]), 2047u);
  EXPECT_EQ(HandleCheck(handles[2]), 0u);
  for (int font : handles) EXPECT_EQ(IsFontHandleValid(font), 1);
  for (int font : handles) DeleteFontHandle(font);
}

// A graphics restore re-makes every font in its slot with its handle value, its spacing and the
// watcher's lost flag; nothing is left behind, however often it runs.
TEST_F(FontCacheTest, ReCreatingAllFontsKeepsHandlesAndLeaksNoSlot) {
  const int font = MakeFont(BoxMetrics(), BoxGlyph(3, 3, 255), 1, 2);
  SetFontCharSpaceToHandle(3, font);
  int lost = 7;
  ASSERT_EQ(SetFontHandleLostFlag(font, &lost), 0);
  EXPECT_EQ(lost, 0);
  const int fonts = LiveFonts();
  for (int i = 0; i < 3 * kFontSlotCount; ++i) {
    EXPECT_EQ(ReCreateAllFontHandles(), 0);
    CreateLogDisplayFont();  // the on-screen log looks at its flag after every restore
  }
  EXPECT_EQ(LiveFonts(), fonts);
  EXPECT_EQ(IsFontHandleValid(font), 1);
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(GetTextWidthToFontHandle("ab", -1, font, 0), 2 * (12 + 4 + 3));
  EXPECT_EQ(GetFontHandleFlags(font), 1);
  EXPECT_EQ(DeleteFontHandle(font), 0);
  EXPECT_EQ(lost, 1);
}

// A text draw waits while the application is inactive; the graphics it finds lost once active again
// are restored, which makes every font afresh, and the draw goes on with the font made again.
TEST_F(FontCacheTest, ATextDrawThatWaitedWhileInactiveDrawsWithTheFontMadeAgain) {
  ASSERT_EQ(Restart({0, 32, 0}), 0);  // DirectDraw surfaces, which a loss empties
  static int restores = 0;
  restores = 0;
  SetGraphRestoreHandler([] { return ++restores, 0; });
  const int font = MakeFont(BoxMetrics(), BoxGlyph(3, 3, 255), 0);
  ASSERT_NE(MakeEmptyGraph(16, 16, 1), -1);
  SelectDrawScreen(-2);
  const plat::HWND window = GetMainWindowHandle();
  MainWindowProc(window, plat::WM_ACTIVATE, plat::WA_INACTIVE, 0);
  plat::test::LoseAllSurfaces();
  ASSERT_TRUE(plat::PostMessageA(window, plat::WM_ACTIVATE, plat::WA_ACTIVE, 0));
  EXPECT_EQ(DrawTextToFontHandle(4, 4, "AB", MakeColor(255, 255, 255), font, 0, 0), 0);
  EXPECT_EQ(GetActiveFlag(), 1);
  EXPECT_EQ(restores, 1);
  EXPECT_EQ(IsFontHandleValid(font), 1);
  int lit = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 40; ++x) lit += BackPixel(x, y) != 0;
  }
  EXPECT_EQ(lit, 2 * 3 * 3);  // both glyphs' boxes
}

TEST_F(FontCacheTest, TheDefaultFontIsMadeAgainOnlyWhenItsSettingsChange) {
  const int first = GetDefaultFontHandle();
  ASSERT_NE(first, -1);
  EXPECT_EQ(GetTextWidthDefaultFont("a", -1, 0) > 0, true);
  EXPECT_EQ(GetDefaultFontHandle(), first);
  char face[256] = "x";
  int size = 0;
  int thick = 0;
  ASSERT_EQ(GetFontHandleState(face, &size, &thick, first), 0);
  EXPECT_STREQ(face, "");
  EXPECT_EQ(size, 16);
  EXPECT_EQ(thick, 6);

  gFontSettings.spacing = 5;
  ASSERT_EQ(SetDefaultFontSizeThick(nullptr, 24, 3), 0);
  const int second = GetDefaultFontHandle();
  EXPECT_NE(second, first);
  EXPECT_EQ(IsFontHandleValid(first), 0);
  GetFontHandleState(nullptr, &size, &thick, second);
  EXPECT_EQ(size, 24);
  EXPECT_EQ(thick, 3);
  EXPECT_EQ(GetFontRecord(second)->spacing, 5);
  ASSERT_EQ(SetDefaultFontSizeThick(nullptr, -1, -1), 0);
  GetFontHandleState(nullptr, &size, &thick, GetDefaultFontHandle());
  EXPECT_EQ(size, 16);
  EXPECT_EQ(thick, 6);
}

TEST_F(FontCacheTest, TheFontModuleStartsAndEndsWithTheGraphics) {
  EXPECT_EQ(EndLibrarySystem(), 0);
  const std::string log = LogText();
  size_t n = 0;
  for (size_t at = log.find("フォントの初期化は正常に終了しました"); at != std::string::npos;
       at = log.find("フォントの初期化は正常に終了しました", at + 1)) {
    ++n;
  }
  EXPECT_GE(n, 2u);
  for (const FontHandleRecord* f : gFontSettings.records) EXPECT_EQ(f, nullptr);
  EXPECT_EQ(GetDefaultFontHandle(), -1);
}

}  // namespace
}  // namespace orbel::testing

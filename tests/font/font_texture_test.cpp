// Fonts on the Direct3D road: the texture cache is chosen exactly when Direct3D offers the 16-bit
// formats, and text drawn from it (every font type, the default font, vertical text, blend mode 3,
// after the cache graph was lost) reads as on the DirectDraw road within the texture formats' steps. A
// font whose cache graph cannot be made goes on in memory mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "font_test_fixture.h"
#include "orbel/font/font_record.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "platform/win/user/display_test_controls.h"

namespace orbel::testing {
namespace {

constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 200;

// Glyphs whose coverage runs through every level (antialiased fonts see all sixteenths), 9 x 12 with
// a hole, so edges show inside the glyph as well as around it.
void LevelGlyph(char32_t c, plat::GlyphPicture* out) {
  out->advance = 12;
  if (c == U' ') return;
  out->width = 9;
  out->height = 12;
  out->originX = 1;
  out->originY = 14;
  for (int y = 0; y < out->height; ++y) {
    for (int x = 0; x < out->width; ++x) {
      const bool hole = x >= 3 && x <= 5 && y >= 4 && y <= 7;
      const int level = hole ? 0 : (x * 7 + y * 3 + static_cast<int>(c)) % 17;
      out->coverage.push_back(static_cast<uint8_t>(level * 255 / 16));
    }
  }
}

struct Difference {
  int most = 0;      // largest difference of one channel
  int lit = 0;       // pixels differing from the background on the first frame
  int where = 0;     // index of the largest difference
};

Difference Compare(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, uint32_t background) {
  Difference d;
  for (size_t i = 0; i < a.size(); ++i) {
    d.lit += a[i] != background;
    for (int shift = 0; shift < 24; shift += 8) {
      const int diff = std::abs(static_cast<int>((a[i] >> shift) & 0xFF) - static_cast<int>((b[i] >> shift) & 0xFF));
      if (diff > d.most) d.most = diff, d.where = static_cast<int>(i);
    }
  }
  return d;
}

class FontTextureTest : public FontLibraryTest, public ::testing::WithParamInterface<int> {
 protected:
  FontRoad Direct3D() const { return {0, GetParam(), 1}; }
  FontRoad DirectDraw() const { return {0, GetParam(), 0}; }

  void UseLevelGlyphs() {
    glyphs_ = std::make_unique<SyntheticGlyphs>(BoxMetrics(), LevelGlyph);
    UseGlyphs(glyphs_.get());
  }

  // The back screen's top-left frame after `scene` ran on a cleared, filled back screen.
  template <typename Scene>
  std::vector<uint32_t> Frame(FontRoad road, uint32_t background, Scene scene) {
    EXPECT_EQ(Restart(road), 0);
    EXPECT_EQ(SelectDrawScreen(-2), 0);
    ClearTargetScreen();
    DrawFillBox(0, 0, 640, 480, MakeColor(background >> 16, (background >> 8) & 0xFF, background & 0xFF));
    scene();
    std::vector<uint32_t> pixels;
    for (int y = 0; y < kFrameHeight; ++y) {
      for (int x = 0; x < kFrameWidth; ++x) pixels.push_back(BackPixel(x, y));
    }
    return pixels;
  }

  // The most one channel may differ: both roads blend with 4-bit alpha levels (the 2D road weighs a
  // level by 16, the texture by 17); 16-bit screens add the 5-bit steps of each road's result.
  int Tolerance() const { return GetParam() == 16 ? 32 : 16; }

  std::unique_ptr<SyntheticGlyphs> glyphs_;
};

// The default font and fonts of the types [first, last], horizontal and vertical, in colours with an
// edge colour.
void TextScene(int first, int last) {
  const uint32_t yellow = MakeColor(255, 240, 40);
  const uint32_t red = MakeColor(200, 0, 0);
  DrawTextDefaultFont(4, 2, "Kelvaron AB", MakeColor(255, 255, 255), 0);
  int y = 24;
  for (int type = first; type <= last; ++type) {
    const int font = CreateFontToHandle("Synthetic", 20, 6, type, -1, type & 1 ? 2 : -1, 0, -1, -1);
    ASSERT_NE(font, -1);
    ASSERT_EQ(DrawTextToFontHandle(4, y, "ABC xyz", yellow, font, red, 0), 0);
    ASSERT_EQ(DrawTextToFontHandle(200 + type * 28, 24, "AB", yellow, font, red, 1), 0);
    y += GetFontRecord(font)->lineHeight + 2;
  }
}

TEST_P(FontTextureTest, FontsTakeTextureCachesOnlyOnDirect3D) {
  UseLevelGlyphs();
  ASSERT_EQ(Start(Direct3D()), 0);
  EXPECT_EQ(IsFontTextureMode(GetDefaultFontHandle()), 1);
  for (int type = 0; type < 4; ++type) {
    const int font = CreateFontToHandle("Synthetic", 20, 6, type, -1, type & 1 ? 2 : -1, 0, -1, -1);
    ASSERT_NE(font, -1);
    const FontHandleRecord* f = GetFontRecord(font);
    ASSERT_EQ(f->textureMode, 1) << type;
    EXPECT_EQ(f->cachePixels, nullptr);
    const bool antialias = type & 2;
    const bool edged = type & 1;
    // Cells of the line height, 20 (24 with the edge): a 512 x 512 cache of 25 x 25 (21 x 21) cells.
    EXPECT_EQ(f->cellSide, edged ? 24 : 20);
    EXPECT_EQ(f->cacheWidth, 512);
    EXPECT_EQ(f->capacity, edged ? 441 : 625);
    const GraphRecord* g = GetGraphRecord(f->cacheGraph);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->format.texture, 1);
    EXPECT_EQ(g->format.alpha, antialias ? 1 : 0);
    EXPECT_EQ(g->format.alphaTest, antialias ? 0 : 1);
    EXPECT_EQ(g->width, edged ? 1024 : 512);
    EXPECT_EQ(GetGraphRecord(f->edgeHalfGraph) != nullptr, edged);
    const ColorData& work = f->workImage.format;
    EXPECT_EQ(work.bitDepth, 16);
    EXPECT_EQ(work.alphaWidth, antialias ? 4 : 1);
    EXPECT_EQ(f->workImage.width, static_cast<uint32_t>(f->cellSide * (edged ? 2 : 1)));
    EXPECT_EQ(f->workImage.height, static_cast<uint32_t>(f->cellSide + (edged ? 2 * f->edgeSize : 0)));
  }
  // The memory-cache switch keeps Direct3D fonts in memory mode; the graph settings are left alone.
  gFontSettings.memoryCacheOnly = 1;
  const int memory = CreateFontToHandle("Synthetic", 20, 6, 2, -1, -1, 0, -1, -1);
  EXPECT_EQ(IsFontTextureMode(memory), 0);
  gFontSettings.memoryCacheOnly = 0;
  EXPECT_EQ(gNewGraph.colorBitDepth, 0);
  EXPECT_EQ(gNewGraph.alphaTest, 1);

  ASSERT_EQ(Restart(DirectDraw()), 0);
  EXPECT_EQ(IsFontTextureMode(GetDefaultFontHandle()), 0);
  EXPECT_EQ(IsFontTextureMode(CreateFontToHandle("Synthetic", 20, 6, 2, -1, -1, 0, -1, -1)), 0);
}

TEST_P(FontTextureTest, TextReadsAsOnTheDirectDrawRoad) {
  UseLevelGlyphs();
  const uint32_t background = 0x204060;
  const auto scene = [] { TextScene(0, 2); };
  const std::vector<uint32_t> texture = Frame(Direct3D(), background, scene);
  ASSERT_EQ(IsFontTextureMode(GetDefaultFontHandle()), 1);
  const std::vector<uint32_t> surface = Frame(DirectDraw(), background, scene);
  const Difference d = Compare(surface, texture, BackPixel(kFrameWidth - 1, kFrameHeight - 1));
  EXPECT_GT(d.lit, 2000);
  EXPECT_LE(d.most, Tolerance()) << "at " << d.where % kFrameWidth << "," << d.where / kFrameWidth << ": "
                                 << std::hex << surface[d.where] << " against " << texture[d.where];
}

// Antialiased edges differ by design: the texture's edge half combines overlapping edge levels
// (1 - (1 - a)(1 - b)) where the memory cache keeps the strongest. The same pixels are touched, and
// fully covered glyph pixels read alike.
TEST_P(FontTextureTest, AntialiasedEdgedTextTouchesThePixelsOfTheDirectDrawRoad) {
  UseLevelGlyphs();
  const uint32_t background = 0x204060;
  const auto scene = [] { TextScene(3, 3); };
  const std::vector<uint32_t> texture = Frame(Direct3D(), background, scene);
  const std::vector<uint32_t> surface = Frame(DirectDraw(), background, scene);
  const uint32_t below = BackPixel(kFrameWidth - 1, kFrameHeight - 1);
  DrawFillBox(600, 400, 601, 401, MakeColor(255, 240, 40));
  const uint32_t yellow = BackPixel(600, 400);  // the glyph colour as the screen holds it
  int covered = 0;
  for (size_t i = 0; i < surface.size(); ++i) {
    ASSERT_EQ(surface[i] != below, texture[i] != below) << i % kFrameWidth << "," << i / kFrameWidth;
    if (surface[i] != yellow) continue;
    ++covered;
    EXPECT_EQ(texture[i], surface[i]) << i % kFrameWidth << "," << i / kFrameWidth;
  }
  EXPECT_GT(covered, 20);
}

TEST_P(FontTextureTest, SubtractedTextReadsAsOnTheDirectDrawRoad) {
  UseLevelGlyphs();
  const auto scene = [] {
    SetBlendState(3, 255);
    const int plain = CreateFontToHandle("Synthetic", 20, 6, 0, -1, -1, 0, -1, -1);
    const int smooth = CreateFontToHandle("Synthetic", 20, 6, 2, -1, -1, 0, -1, -1);
    ASSERT_EQ(DrawTextToFontHandle(4, 10, "ABC", MakeColor(96, 32, 255), plain, 0, 0), 0);
    ASSERT_EQ(DrawTextToFontHandle(4, 40, "ABC", MakeColor(96, 32, 255), smooth, 0, 0), 0);
    SetBlendState(0, 255);
  };
  const uint32_t background = 0x808080;
  const std::vector<uint32_t> texture = Frame(Direct3D(), background, scene);
  EXPECT_EQ(gDrawState.blendMode, 0);
  const uint32_t below = BackPixel(kFrameWidth - 1, kFrameHeight - 1);
  // Subtraction only darkens: no channel of the frame is above the background.
  for (uint32_t p : texture) {
    for (int shift = 0; shift < 24; shift += 8) ASSERT_LE((p >> shift) & 0xFF, (below >> shift) & 0xFF);
  }
  // Against the 32-bit 2D road: on 16-bit screens that road subtracts levelled text coarser still.
  const std::vector<uint32_t> surface = Frame(FontRoad{0, 32, 0}, background, scene);
  const Difference d = Compare(surface, texture, below);
  EXPECT_GT(d.lit, 300);
  EXPECT_LE(d.most, Tolerance()) << "at " << d.where % kFrameWidth << "," << d.where / kFrameWidth << ": "
                                 << std::hex << surface[d.where] << " against " << texture[d.where];
}

// Edged text in blend mode 3, across and down, where glyph and edge together take more than the
// background holds: the string is subtracted inside one bracket (the screen inverted once before and
// once after), so every pixel only darkens and the sums bottom out at black. Bracketed glyph by glyph
// instead, as a lone graph draw is, the vertical string leaves pixels brighter than the background.
TEST_P(FontTextureTest, SubtractedEdgedTextOnlyDarkensAndSaturatesAtBlack) {
  UseLevelGlyphs();
  const uint32_t background = 0x807060;
  const std::vector<uint32_t> frame = Frame(Direct3D(), background, [] {
    SetBlendState(3, 255);
    for (int type : {1, 3}) {
      const int font = CreateFontToHandle("Synthetic", 20, 6, type, -1, 2, 0, -1, -1);
      ASSERT_EQ(DrawTextToFontHandle(4, type * 20, "ABCABC", MakeColor(255, 200, 160), font, MakeColor(200, 255, 255), 0), 0);
      ASSERT_EQ(DrawTextToFontHandle(200 + type * 20, 4, "ABC", MakeColor(255, 200, 160), font, MakeColor(200, 255, 255), 1), 0);
    }
    SetBlendState(0, 255);
  });
  const uint32_t below = BackPixel(kFrameWidth - 1, kFrameHeight - 1);
  int black = 0;
  for (size_t i = 0; i < frame.size(); ++i) {
    for (int shift = 0; shift < 24; shift += 8) {
      ASSERT_LE((frame[i] >> shift) & 0xFF, (below >> shift) & 0xFF)
          << "brighter at " << i % kFrameWidth << "," << i / kFrameWidth << ": " << std::hex << frame[i];
    }
    black += frame[i] == 0;
  }
  EXPECT_GT(black, 200);
}

TEST_P(FontTextureTest, ALostCacheGraphIsMadeAgainAndTheHandleSurvivesARestore) {
  UseLevelGlyphs();
  int font = -1;
  const auto draw = [&font] {
    font = CreateFontToHandle("Synthetic", 20, 6, 3, -1, 2, 0, -1, -1);
    ASSERT_EQ(DrawTextToFontHandle(4, 4, "ABAB", MakeColor(255, 255, 255), font, MakeColor(0, 0, 255), 0), 0);
  };
  const std::vector<uint32_t> first = Frame(Direct3D(), 0, draw);
  FontHandleRecord* f = GetFontRecord(font);
  ASSERT_NE(f, nullptr);
  // The graphs go from outside (as on a display change): the next draw makes them again, empty.
  ASSERT_EQ(DeleteGraphHandle(f->cacheGraph, 0), 0);
  DeleteGraphHandle(f->edgeHalfGraph, 0);
  EXPECT_EQ(f->cacheGraphLost, 1);
  ClearTargetScreen();
  ASSERT_EQ(DrawTextToFontHandle(4, 4, "ABAB", MakeColor(255, 255, 255), font, MakeColor(0, 0, 255), 0), 0);
  EXPECT_EQ(f->cacheGraphLost, 0);
  std::vector<uint32_t> again;
  for (int y = 0; y < kFrameHeight; ++y) {
    for (int x = 0; x < kFrameWidth; ++x) again.push_back(BackPixel(x, y));
  }
  EXPECT_EQ(again, first);
  // Re-making every font keeps the handle in texture mode.
  ReCreateAllFontHandles();
  EXPECT_EQ(IsFontTextureMode(font), 1);
}

// A font whose cache graph cannot be made (every texture refused while it is made, or only the first)
// goes on in memory mode and keeps no graph: its text reads as a memory-cache font's on this road.
TEST_P(FontTextureTest, AFontWhoseCacheGraphCannotBeMadeGoesOnInMemoryMode) {
  UseLevelGlyphs();
  // Every type, across and down; `failing` CreateSurface calls fail while each font is made. With none
  // failing, the fonts are held in memory mode by the memory-cache switch: the frame to match.
  const auto scene = [](int failing) {
    return [failing] {
      gFontSettings.memoryCacheOnly = failing == 0 ? 1 : 0;
      const uint32_t yellow = MakeColor(255, 240, 40);
      const uint32_t red = MakeColor(200, 0, 0);
      for (int type = 0; type < 4; ++type) {
        const uint32_t graphs = gGraphTable.count;
        if (failing != 0) plat::test::FailDisplayCall("CreateSurface", failing);
        const int font = CreateFontToHandle("Synthetic", 20, 6, type, -1, type & 1 ? 2 : -1, 0, -1, -1);
        plat::test::ResetDisplay();
        ASSERT_NE(font, -1) << type;
        const FontHandleRecord* f = GetFontRecord(font);
        EXPECT_EQ(f->textureMode, 0) << type;
        EXPECT_EQ(f->cacheGraph, -1) << type;
        EXPECT_EQ(f->edgeHalfGraph, -1) << type;
        EXPECT_EQ(gGraphTable.count, graphs) << type;
        EXPECT_EQ(GetTextWidthToFontHandle("ABC xyz", -1, font, 0), 7 * (12 + 2 * (type & 1 ? 2 : 0))) << type;
        ASSERT_EQ(DrawTextToFontHandle(4, 4 + type * 26, "ABC xyz", yellow, font, red, 0), 0);
        ASSERT_EQ(DrawTextToFontHandle(200 + type * 28, 4, "AB", yellow, font, red, 1), 0);
        EXPECT_EQ(f->cacheGraph, -1) << type;  // drawing makes none either
      }
    };
  };
  const std::vector<uint32_t> memory = Frame(Direct3D(), 0x204060, scene(0));
  gFontSettings.memoryCacheOnly = 0;
  EXPECT_EQ(LogText().find("テクスチャ文字キャッシュの作成に失敗しました"), std::string::npos);
  EXPECT_GT(Compare(memory, memory, memory.back()).lit, 2000);
  for (int failing : {-1, 1}) {  // every CreateSurface, or only the first
    const std::vector<uint32_t> frame = Frame(Direct3D(), 0x204060, scene(failing));
    EXPECT_NE(LogText().find("テクスチャ文字キャッシュの作成に失敗しました"), std::string::npos) << failing;
    EXPECT_EQ(LogText().find("フォント用描画スクリーンの作成に失敗しました"), std::string::npos) << failing;
    const Difference d = Compare(frame, memory, memory.back());
    EXPECT_EQ(d.most, 0) << failing << " at " << d.where % kFrameWidth << "," << d.where / kFrameWidth;
  }
}

TEST_P(FontTextureTest, AGlyphWiderThanItsCellIsCutAtTheCell) {
  // 40 x 30 glyphs in 16-pixel cells: the cell's neighbours and the graph's edge stay untouched.
  glyphs_ = std::make_unique<SyntheticGlyphs>(BoxMetrics(), BoxGlyph(40, 30, 255));
  UseGlyphs(glyphs_.get());
  int font = -1;
  Frame(Direct3D(), 0, [&font] {
    font = CreateFontToHandle("Synthetic", 20, 6, 1, -1, 3, 0, -1, -1);
    ASSERT_EQ(DrawTextToFontHandle(4, 4, "AB", MakeColor(255, 255, 255), font, MakeColor(255, 0, 0), 0), 0);
  });
  const FontHandleRecord* f = GetFontRecord(font);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(f->textureMode, 1);
  // Each glyph shows at most one cell: the second one (pen 4 + advance 12 + 2 x 3, offset 1) ends a
  // cell side further right and a cell side below the line top.
  const int side = f->cellSide;
  const int right = 4 + 18 + 1 + side;
  const int bottom = 4 + (16 - 14) + side;
  for (int y = 0; y < kFrameHeight; ++y) {
    for (int x = 0; x < kFrameWidth; ++x) {
      if (x < right && y < bottom) continue;
      ASSERT_EQ(BackPixel(x, y), 0u) << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, FontTextureTest, ::testing::Values(16, 32),
                         [](const ::testing::TestParamInfo<int>& info) { return "Depth" + std::to_string(info.param); });

}  // namespace
}  // namespace orbel::testing

// The glyph walk on the renderer's vector road against the per-pixel walk of the portable road: glyphs
// 1 to 40 pixels wide at positions that cut them at each edge of the target or put them partly off it,
// for every font type, into 16- and 32-bit targets with and without alpha and blended over the target;
// and the one-pass blend against the work surface drawn over the target with alpha, which it stands for.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "font_test_fixture.h"
#include "include/orbel.h"
#include "orbel/font/font_record.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/rect_math.h"
#include "orbel/softrender/mem_img.h"
#include "orbel/softrender/simd_road.h"

namespace orbel::testing {
namespace {

constexpr int kW = 64;
constexpr int kH = 40;
constexpr char kFirst = '!';  // '!' is 1 pixel wide, the 40th character after it 40

// Glyph c is (c - '!' + 1) pixels wide and 7 high, of noisy coverage (levels or ink and no ink) that
// differs per character; its advance is its width, so a string's glyphs touch without overlapping.
SyntheticGlyphs::Draw NoisyGlyph() {
  return [](char32_t c, plat::GlyphPicture* out) {
    const int w = static_cast<int>(c) - kFirst + 1;
    out->advance = w;
    if (w < 1 || w > 40) return;
    out->width = w;
    out->height = 7;
    out->originX = 0;
    out->originY = 14;
    std::mt19937 rng(static_cast<uint32_t>(c));
    for (int i = 0; i < w * 7; ++i) {
      const uint32_t r = rng();
      out->coverage.push_back(r % 5 == 0 ? 0 : r % 5 == 1 ? 255 : static_cast<uint8_t>(r >> 8));
    }
  };
}

class GlyphWalkTest : public FontLibraryTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    FontLibraryTest::SetUp();
    ASSERT_EQ(Start({1, GetParam(), 0}), 0);
    glyphs_ = std::make_unique<SyntheticGlyphs>(BoxMetrics(42), NoisyGlyph());
    UseGlyphs(glyphs_.get());
  }
  void TearDown() override {
    SetSimdRoad(BestSimdRoad());
    for (MemImg& m : images_) TerminateMemImg(&m);
    FontLibraryTest::TearDown();
  }
  bool sixteen() const { return GetParam() == 16; }
  MemImgColorType colorType() const { return sixteen() ? kMemImgR5G6B5 : kMemImgX8R8G8B8; }

  // A target filled with the same noise every time.
  MemImg* Noise(int index, int alpha) {
    MemImg& m = images_[index];
    TerminateMemImg(&m);
    EXPECT_EQ(InitializeMemImg(&m, kW, kH, -1, 0, colorType(), 0, alpha, 0, nullptr), 0);
    FillNoise(&m);
    return &m;
  }
  static void FillNoise(MemImg* m) {
    static const std::vector<uint8_t> noise = [] {
      std::mt19937 rng(99);
      std::vector<uint8_t> n(static_cast<size_t>(kW) * kH * 4);
      for (uint8_t& b : n) b = static_cast<uint8_t>(rng());
      return n;
    }();
    const size_t bytes = static_cast<size_t>(m->width) * m->base->pixelBytes;
    for (int y = 0; y < m->height; ++y) {
      std::memcpy(m->pixels + static_cast<ptrdiff_t>(y) * m->base->pitch, noise.data() + y * bytes, bytes);
    }
  }
  static std::vector<uint8_t> Bytes(const MemImg* m) {
    std::vector<uint8_t> out;
    for (int y = 0; y < m->height; ++y) {
      const uint8_t* row = m->pixels + static_cast<ptrdiff_t>(y) * m->base->pitch;
      out.insert(out.end(), row, row + m->width * m->base->pixelBytes);
    }
    return out;
  }
  // The string drawn on one road into a fresh noisy target.
  std::vector<uint8_t> DrawOn(SimdRoad road, int font, const char* text, int x, int y, int alpha, int transparent,
                              const plat::RECT& clip) {
    SetSimdRoad(road);
    MemImg* m = Noise(0, alpha);
    FontStringEngine(1, x, y, 0, 1.0, 1.0, text, MakeColor(250, 200, 30), m, &clip, transparent, font,
                     MakeColor(20, 90, 255), -1, 0, nullptr);
    return Bytes(m);
  }

  std::unique_ptr<SyntheticGlyphs> glyphs_;
  MemImg images_[2]{};
};

TEST_P(GlyphWalkTest, VectorRowsDrawThePerPixelWalksPixelsAtEveryWidthAndEdge) {
  if (BestSimdRoad() == SimdRoad::kPortable) GTEST_SKIP() << "no vector road in this build";
  // SSE2, and AVX2 where the machine has it.
  std::vector<SimdRoad> roads = {SimdRoad::kSse2};
  if (BestSimdRoad() == SimdRoad::kAvx2) roads.push_back(SimdRoad::kAvx2);
  const plat::RECT whole = {0, 0, kW, kH};
  const plat::RECT inner = {3, 2, kW - 5, kH - 3};  // a clip rectangle that is not the image
  for (int type = 0; type < 4; ++type) {
    const int font = CreateFontToHandle("Synthetic", 20, 4, type, -1, 1, 0, -1, -1);
    ASSERT_NE(font, -1);
    for (int w = 1; w <= 40; ++w) {
      const char text[2] = {static_cast<char>(kFirst + w - 1), 0};
      for (const int x : {-w / 2, -1, 0, 3, kW - w - 1, kW - w / 2, kW - 1}) {
        for (const int y : {-3, 15, kH - 4}) {
          for (const plat::RECT& clip : {whole, inner}) {
            for (const int alpha : {0, 1}) {
              for (const int transparent : {1, kFontBlendOver}) {
                if (transparent == kFontBlendOver && (alpha != 0 || type < 2)) continue;
                const auto scalar = DrawOn(SimdRoad::kPortable, font, text, x, y, alpha, transparent, clip);
                for (const SimdRoad road : roads) {
                  ASSERT_EQ(scalar, DrawOn(road, font, text, x, y, alpha, transparent, clip))
                      << "type " << type << " width " << w << " at " << x << "," << y << " alpha " << alpha
                      << " transparent " << transparent << " road " << static_cast<int>(road);
                }
              }
            }
          }
        }
      }
    }
    // A whole string: glyph after glyph at pen positions that are not multiples of four.
    const char line[] = "!#&*/5<DO\"";
    for (const int alpha : {0, 1}) {
      for (const SimdRoad road : roads) {
        EXPECT_EQ(DrawOn(SimdRoad::kPortable, font, line, -2, 4, alpha, 1, whole),
                  DrawOn(road, font, line, -2, 4, alpha, 1, whole))
            << "type " << type << " alpha " << alpha << " road " << static_cast<int>(road);
      }
    }
    DeleteFontHandle(font);
  }
}

// The work surface's road: levels written into an image with alpha, then that image drawn over the
// target with alpha, the draw area cut to the text.
TEST_P(GlyphWalkTest, OnePassBlendGivesTheWorkSurfacesPixels) {
  const char line[] = "'0>!J9";
  for (const int type : {2, 3}) {
    const int font = CreateFontToHandle("Synthetic", 20, 4, type, -1, 1, 0, -1, -1);
    ASSERT_NE(font, -1);
    ASSERT_EQ(FontStringBlendsInOnePass(font, line, 0), 1);
    int size[2] = {0, 0};
    ASSERT_GT(FontStringEngine(0, 0, 0, 0, 1.0, 1.0, line, 0, nullptr, nullptr, 1, font, 0, -1, 0, size), 0);
    for (const SimdRoad road : {SimdRoad::kPortable, SimdRoad::kSse2, BestSimdRoad()}) {
      SetSimdRoad(road);
      for (const int x : {-7, 0, 3, kW - 30}) {
        const int y = x == 3 ? kH - 12 : -2;
        const plat::RECT text = {x, y, x + size[0], y + size[1]};
        plat::RECT clip = {0, 0, kW, kH};
        ClipRect(&clip, &text);
        const uint32_t color = MakeColor(250, 200, 30);
        const uint32_t edge = MakeColor(20, 90, 255);

        MemImg* direct = Noise(0, 0);
        FontStringEngine(1, x, y, 0, 1.0, 1.0, line, color, direct, &clip, kFontBlendOver, font, edge, -1, 0, nullptr);

        MemImg& work = images_[1];
        TerminateMemImg(&work);
        ASSERT_EQ(InitializeMemImg(&work, kW, kH, -1, 0, colorType(), 0, 1, 0, nullptr), 0);
        FillMemImgRect(&work, nullptr, 0);
        const plat::RECT all = {0, 0, kW, kH};
        FontStringEngine(1, 0, 0, 0, 1.0, 1.0, line, color, &work, &all, 1, font, edge, -1, 0, nullptr);
        MemImg reference{};
        ASSERT_EQ(InitializeMemImg(&reference, kW, kH, -1, 0, colorType(), 0, 0, 0, nullptr), 0);
        FillNoise(&reference);
        const plat::RECT savedArea = gDrawState.drawArea;
        gDrawState.drawArea = clip;
        DrawMemImg(&reference, &work, x, y, 1, nullptr);
        gDrawState.drawArea = savedArea;
        EXPECT_EQ(Bytes(direct), Bytes(&reference)) << "type " << type << " at " << x << " road " << static_cast<int>(road);
        TerminateMemImg(&reference);
      }
    }
    DeleteFontHandle(font);
  }
}

TEST_P(GlyphWalkTest, OnePassIsRefusedForOverlappingGlyphsAndOtherFormats) {
  const int font = CreateFontToHandle("Synthetic", 20, 4, 2, -1, -1, 0, -1, -1);
  const int plain = CreateFontToHandle("Synthetic", 20, 4, 0, -1, -1, 0, -1, -1);
  ASSERT_NE(font, -1);
  EXPECT_EQ(FontStringBlendsInOnePass(font, "!#%", 0), 1);
  EXPECT_EQ(FontStringBlendsInOnePass(plain, "!#%", 0), 0);
  // Spacing -1 pulls each glyph one pixel into the one before it.
  GetFontRecord(font)->spacing = -1;
  EXPECT_EQ(FontStringBlendsInOnePass(font, "!#%", 0), 0);
  EXPECT_EQ(FontStringBlendsInOnePass(font, "%", 0), 1);
  GetFontRecord(font)->spacing = 0;
  // A target with alpha, as the work surface's draw, draws nothing.
  const plat::RECT whole = {0, 0, kW, kH};
  MemImg* m = Noise(0, 1);
  const auto before = Bytes(m);
  FontStringEngine(1, 2, 2, 0, 1.0, 1.0, "%%", MakeColor(255, 255, 255), m, &whole, kFontBlendOver, font, 0, -1, 0,
                   nullptr);
  EXPECT_EQ(Bytes(m), before);
}

INSTANTIATE_TEST_SUITE_P(Depths, GlyphWalkTest, ::testing::Values(16, 32),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "Bit"; });

}  // namespace
}  // namespace orbel::testing

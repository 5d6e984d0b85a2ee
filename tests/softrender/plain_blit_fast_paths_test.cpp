// The plain blit's fast-path table: which row draws each scene the benches time (the graphics bench's
// software-rendered sprites, the software bench's sprite frames and blend modes at both depths), on each
// vector road, with every row's picture equal to the general path's; and the run plan's blend words
// following a body whose pixels are written again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/sprite_scene.h"
#include "orbel/softrender/plain_blit.h"
#include "orbel/softrender/plain_blit_fast_paths.h"
#include "orbel/softrender/simd_road.h"
#include "softrender_test_support.h"

namespace orbel {
namespace {

using testing::TestImage;

class PlainBlitFastPaths : public testing::PlainBlitTest {
 protected:
  void TearDown() override { SetSimdRoad(BestSimdRoad()); }
};

// The name of the row that took the draws since the last reset ("general" for none), or what went wrong.
std::string RowThatRan() {
  std::string ran;
  int rows = 0;
  for (int i = 0; i < PlainBlitFastPathCount(); ++i) {
    if (PlainBlitFastPathHits(i) == 0) continue;
    ran = PlainBlitFastPathAt(i).name;
    ++rows;
  }
  if (PlainBlitGeneralPathHits() != 0) {
    ran = "general";
    ++rows;
  }
  return rows == 1 ? ran : std::to_string(rows) + " rows ran";
}

enum class Source { kSprite, kSpriteStale, kKeyed, kAlphaPicture, kPaletted };

struct SceneCase {
  const char* scene;
  int type;           // destination and source colour type
  Source source;
  int mode;
  int param;
  int trans;
  int mmx;
  uint32_t bright;
  const char* avx2;   // the row on each vector road
  const char* sse2;
};

// The sprite of the bench scenes (an opaque disc with a soft edge on a clear ground), or a picture.
std::vector<uint32_t> SourcePixels(const SceneCase& c, int side) {
  std::vector<uint32_t> px = bench::SoftDiscPicture(side, side * 3 / 8, side / 2 - 1);
  const bool deep = c.type == kMemImgX8R8G8B8;
  for (size_t i = 0; i < px.size(); ++i) {
    const uint32_t v = px[i] ^ static_cast<uint32_t>(i) * 0x030507u % 0x1000000u;  // odd channels too
    if (c.source == Source::kPaletted) px[i] = static_cast<uint32_t>(i % 7);
    else if (c.source == Source::kKeyed) px[i] = deep ? (i % 5 == 0 ? 0x00123456u : (v & 0xFFFFFF)) : (i % 5 == 0 ? 0x1234u : (v & 0xFFFF));
    else if (!deep) px[i] = (v & 0xFFFF) | (v >> 24) << 16;
  }
  return px;
}

void DrawScene(const SceneCase& c, TestImage& dst) {
  constexpr int kSide = 32;
  const bool alpha = c.source == Source::kSprite || c.source == Source::kSpriteStale || c.source == Source::kAlphaPicture;
  const int paletted = c.source == Source::kPaletted ? 1 : 0;
  TestImage src(kSide, kSide, c.type, paletted, alpha ? 1 : 0, c.type == kMemImgX8R8G8B8 ? 0x00123456u : 0x1234u);
  if (paletted) {
    for (int i = 0; i < 7; ++i) src.SetPalette(i, c.type == kMemImgX8R8G8B8 ? 0x00102030u * static_cast<uint32_t>(i + 1) : 0x0841u * static_cast<uint32_t>(i + 1));
  }
  ASSERT_GE(src.Load(SourcePixels(c, kSide)), 0);
  // A picture drawn in part, or a sprite whose table went stale, walks whole rows.
  if (c.source == Source::kSpriteStale) src.base()->runTableValid = 0;
  MemImg part{};
  const bool whole = c.source != Source::kAlphaPicture;
  if (!whole) {
    ASSERT_EQ(DeriveMemImg(&part, src.img(), 1, 1, kSide - 2, kSide - 2), 0);
  }
  ASSERT_EQ(SetBlendState(c.mode, c.param), 0);
  SetDrawBrightColorValue(c.bright);
  for (const bench::SpritePoint& p : bench::SpritePositions(40, kSide, dst.width(), dst.height(), 7))
    DrawMemImgWithMmxFlag(dst.img(), whole ? src.img() : &part, p.x, p.y, c.trans, nullptr, c.mmx);
  TerminateMemImg(&part);
}

TEST_F(PlainBlitFastPaths, EachBenchSceneTakesItsRowAndDrawsTheGeneralPathsPicture) {
  constexpr int k32 = kMemImgX8R8G8B8, k16 = kMemImgR5G6B5;
  const SceneCase cases[] = {
      // The graphics bench's software-rendered sprites and the software bench's sprite frames.
      {"sprites", k32, Source::kSprite, 0, 255, 1, 1, 0xFFFFFF, "copy_plan_a8r8g8b8_avx2", "run_stretches_x8r8g8b8"},
      {"sprites, stale run table", k32, Source::kSpriteStale, 0, 255, 1, 1, 0xFFFFFF, "rows_x8r8g8b8", "rows_x8r8g8b8"},
      {"sprites added", k32, Source::kSprite, 2, 200, 1, 1, 0xFFFFFF, "runs_x8r8g8b8_avx2", "run_stretches_x8r8g8b8"},
      {"sprites brightened", k32, Source::kSprite, 0, 255, 1, 1, 0xC08040, "general", "general"},
      // The software bench's blend modes: keyed and alpha pictures, paletted sources.
      {"keyed blend", k32, Source::kKeyed, 1, 77, 1, 1, 0xFFFFFF, "runs_x8r8g8b8_avx2", "run_stretches_x8r8g8b8"},
      {"alpha blend", k32, Source::kAlphaPicture, 1, 77, 1, 1, 0xFFFFFF, "rows_x8r8g8b8", "rows_x8r8g8b8"},
      {"halving", k32, Source::kKeyed, 1, 128, 0, 1, 0xFFFFFF, "halve_rows_x8r8g8b8", "halve_rows_x8r8g8b8"},
      {"saturating add", k32, Source::kKeyed, 2, 255, 0, 1, 0xFFFFFF, "saturate_rows_x8r8g8b8", "saturate_rows_x8r8g8b8"},
      {"packed add", k32, Source::kKeyed, 2, 255, 0, 0, 0xFFFFFF, "rows_x8r8g8b8", "rows_x8r8g8b8"},
      {"copy", k32, Source::kKeyed, 0, 255, 0, 1, 0xFFFFFF, "general", "general"},
      {"paletted", k32, Source::kPaletted, 1, 77, 1, 1, 0xFFFFFF, "general", "general"},
      {"16-bit sprites", k16, Source::kSprite, 0, 255, 1, 1, 0xFFFFFF, "alpha_run_stretches_r5g6b5", "alpha_run_stretches_r5g6b5"},
      {"16-bit alpha picture", k16, Source::kAlphaPicture, 0, 255, 1, 1, 0xFFFFFF, "alpha_copy_rows_r5g6b5", "alpha_copy_rows_r5g6b5"},
      {"16-bit keyed subtract", k16, Source::kKeyed, 3, 200, 1, 1, 0xFFFFFF, "run_stretches_r5g6b5", "run_stretches_r5g6b5"},
      {"16-bit keyed blend", k16, Source::kKeyed, 1, 77, 1, 1, 0xFFFFFF, "general", "general"},
      {"16-bit blend", k16, Source::kKeyed, 1, 77, 0, 1, 0xFFFFFF, "rows_r5g6b5", "rows_r5g6b5"},
      {"16-bit halving", k16, Source::kKeyed, 1, 128, 0, 1, 0xFFFFFF, "halve_rows_r5g6b5", "halve_rows_r5g6b5"},
  };
  for (const SceneCase& c : cases) {
    SetSimdRoad(SimdRoad::kPortable);
    TestImage reference(200, 120, c.type);
    reference.Fill(c.type == k32 ? 0x00417FC3u : 0x4A69u);
    ResetPlainBlitFastPathHits();
    DrawScene(c, reference);
    EXPECT_EQ(RowThatRan(), "general") << c.scene << " on the portable road";
    for (const SimdRoad road : {SimdRoad::kSse2, SimdRoad::kAvx2}) {
      if (SetSimdRoad(road) != road) continue;
      TestImage dst(200, 120, c.type);
      dst.Fill(c.type == k32 ? 0x00417FC3u : 0x4A69u);
      ResetPlainBlitFastPathHits();
      DrawScene(c, dst);
      const char* roadName = road == SimdRoad::kAvx2 ? "AVX2" : "SSE2";
      EXPECT_EQ(RowThatRan(), road == SimdRoad::kAvx2 ? c.avx2 : c.sse2) << c.scene << " on " << roadName;
      EXPECT_EQ(testing::ToRgb(dst), testing::ToRgb(reference)) << c.scene << " on " << roadName;
    }
  }
}

// Pixels written again (the sprite's edge made wider and softer) rebuild the plan and its blend words
// with the run table: the run walk draws the new pixels as the row walk does.
TEST_F(PlainBlitFastPaths, SpriteWrittenAgainDrawsItsNewPixels) {
  constexpr int kSide = 40;  // not a multiple of eight: the last group of a row is cut
  TestImage sprite(kSide, kSide, kMemImgX8R8G8B8, 0, 1);
  ASSERT_GE(sprite.Load(bench::SoftDiscPicture(kSide, 17, 19)), 0);
  const uint32_t groupsBefore = sprite.base()->runWeightGroups;
  ASSERT_GE(sprite.Load(bench::SoftDiscPicture(kSide, 6, 20)), 0);
  ASSERT_NE(sprite.base()->runWeights, nullptr);
  EXPECT_NE(sprite.base()->runWeightGroups, groupsBefore);
  TestImage viaRuns(kSide + 8, kSide, kMemImgX8R8G8B8), viaRows(kSide + 8, kSide, kMemImgX8R8G8B8);
  viaRuns.Fill(0x00336699);
  viaRows.Fill(0x00336699);
  ResetPlainBlitFastPathHits();
  DrawMemImg(viaRuns.img(), sprite.img(), 3, 0, 1, nullptr);
  sprite.base()->runTableValid = 0;  // the same pixels through whole rows
  DrawMemImg(viaRows.img(), sprite.img(), 3, 0, 1, nullptr);
  sprite.base()->runTableValid = 1;
  EXPECT_EQ(RowThatRan(), "2 rows ran");  // the plan's row, then the rows' row
  EXPECT_EQ(testing::ToRgb(viaRuns), testing::ToRgb(viaRows));
}

}  // namespace
}  // namespace orbel

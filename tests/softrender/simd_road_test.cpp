// The vector roads against the portable one: random pictures (sprite-like alpha: clear and opaque
// spans with soft edges, stray translucent pixels, keyed pixels) drawn in every blend mode, at both
// depths, through the plain blit (normal and run-code walks), the stretched blit and the box fill,
// once on each road. The destinations must be equal to the bit.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "orbel/softrender/box_fill.h"
#include "orbel/softrender/plain_blit.h"
#include "orbel/softrender/simd_road.h"
#include "orbel/softrender/stretch_blit.h"
#include "softrender_test_support.h"

namespace orbel {
namespace {

using testing::TestImage;

constexpr int kW = 45;  // odd, so every wide loop (4, 8 or 16 pixels a step) leaves a tail
constexpr int kH = 7;
constexpr uint32_t kKey32 = 0x00FF00FF;
constexpr uint32_t kKey16 = 0xF81F;

// Alpha of pixel x: runs of 0 and 255 joined by ramps, with some pixels anywhere between.
uint32_t SpriteAlpha(std::mt19937& rng, int x, int row) {
  const int phase = (x + row * 5) % 24;
  if (rng() % 9 == 0) return rng() & 0xFF;
  if (phase < 8) return 0;
  if (phase < 11) return static_cast<uint32_t>((phase - 7) * 60);
  if (phase < 21) return 255;
  return static_cast<uint32_t>((24 - phase) * 60);
}

// Fills a picture: colours at random, one pixel in seven keyed, alpha sprite-like.
void FillRandom(TestImage& img, uint32_t seed, bool depth32, bool alpha) {
  std::mt19937 rng(seed);
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      const uint32_t r = rng();
      const bool keyed = rng() % 7 == 0;
      if (depth32) {
        const uint32_t colour = keyed ? kKey32 : (r & 0xFFFFFF);
        img.Set(x, y, colour | (alpha ? SpriteAlpha(rng, x, y) : (r >> 24)) << 24);
      } else {
        const uint32_t colour = keyed ? kKey16 : (r & 0xFFFF);
        img.Set(x, y, alpha ? colour | SpriteAlpha(rng, x, y) << 16 : colour);
      }
    }
  }
}

std::vector<uint32_t> Pixels(const TestImage& img) {
  std::vector<uint32_t> out;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) out.push_back(img.Pixel(x, y));
  return out;
}

// Runs draw(dst) on a fresh random destination on the portable road and on each vector road the
// machine has; every vector result must match the portable one.
template <class Draw>
::testing::AssertionResult SameOnEveryRoad(int type, int width, int height, Draw draw) {
  std::vector<uint32_t> portable;
  const SimdRoad best = BestSimdRoad();
  for (const SimdRoad road : {SimdRoad::kPortable, SimdRoad::kSse2, SimdRoad::kAvx2}) {
    if (static_cast<int>(road) > static_cast<int>(best)) break;
    SetSimdRoad(road);
    TestImage dst(width, height, type);
    FillRandom(dst, 99, type == kMemImgX8R8G8B8, false);
    draw(dst);
    const std::vector<uint32_t> result = Pixels(dst);
    SetSimdRoad(best);
    if (road == SimdRoad::kPortable) {
      portable = result;
      continue;
    }
    for (size_t i = 0; i < result.size(); ++i) {
      if (result[i] != portable[i]) {
        return ::testing::AssertionFailure()
               << (road == SimdRoad::kSse2 ? "SSE2" : "AVX2") << " road, pixel (" << i % width << ", " << i / width
               << "): portable 0x" << std::hex << portable[i] << ", vector 0x" << result[i];
      }
    }
  }
  return ::testing::AssertionSuccess();
}

struct ModeParam {
  int mode;
  int param;
};
const ModeParam kModes[] = {{0, 255}, {1, 128}, {1, 100}, {1, 255}, {2, 200}, {2, 255}, {3, 200}, {3, 255},
                            {4, 255}, {4, 77},  {10, 200}, {11, 200}, {10, 255}, {11, 31}};

class SimdRoadTest : public testing::PlainBlitTest {};

TEST_F(SimdRoadTest, PlainBlitInEveryModeAtBothDepths) {
  for (const int type : {kMemImgX8R8G8B8, kMemImgR5G6B5}) {
    const bool depth32 = type == kMemImgX8R8G8B8;
    for (const ModeParam& m : kModes) {
      for (const bool alpha : {false, true}) {
        for (const int trans : {0, 1}) {
          for (const uint32_t bright : {0xFFFFFFu, 0xC08040u}) {
            for (const int mmx : {0, 1}) {
              SCOPED_TRACE(std::to_string(depth32 ? 32 : 16) + "-bit mode " + std::to_string(m.mode) + " p " +
                           std::to_string(m.param) + (alpha ? " alpha" : "") + (trans ? " trans" : "") +
                           (bright != 0xFFFFFF ? " bright" : "") + (mmx ? " mmx" : ""));
              TestImage src(kW, kH, type, 0, alpha ? 1 : 0, depth32 ? kKey32 : kKey16);
              FillRandom(src, 7 + static_cast<uint32_t>(m.mode), depth32, alpha);
              Blend(m.mode, m.param);
              SetDrawBrightColorValue(bright);
              EXPECT_TRUE(SameOnEveryRoad(type, kW + 3, kH + 1, [&](TestImage& dst) {
                DrawMemImgWithMmxFlag(dst.img(), src.img(), 1, 1, trans, nullptr, mmx);
              }));
            }
          }
        }
      }
    }
  }
}

// A run-coded picture: rows of sprite-like runs of every length (1 to past 64, so long runs come as
// several codes), rows with a clear margin at either end or none, a row of one-pixel runs (more codes
// than a row is read in place for), an empty row and a full one. Widths leave every partial group.
std::vector<uint32_t> RunPicture(int width, int height, bool depth32, bool alpha, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> px(static_cast<size_t>(width) * height);
  const uint32_t key = depth32 ? kKey32 : kKey16;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width;) {
      int n = 1 + static_cast<int>(rng() % (y % 3 == 0 ? 3 : 80));
      uint32_t kind = rng() % 3;  // 0 clear, 1 opaque, 2 translucent
      if (y == 1) n = 1, kind = static_cast<uint32_t>(x % 3);
      if (y == 2) kind = 0;
      if (y == 3) kind = 1;
      if (y == 4 && (x < 5 || x >= width - 3)) kind = 0;
      for (int i = 0; i < n && x < width; ++i, ++x) {
        const uint32_t colour = rng() & (depth32 ? 0xFFFFFFu : 0xFFFFu);
        uint32_t v;
        if (!alpha) {
          v = kind == 0 ? key : (colour == key ? colour ^ 1 : colour);
        } else {
          const uint32_t a = kind == 0 ? 0 : kind == 1 ? 255 : 1 + rng() % 254;
          v = colour | a << (depth32 ? 24 : 16);
        }
        px[static_cast<size_t>(y) * width + x] = v;
      }
    }
  }
  return px;
}

TEST_F(SimdRoadTest, RunCodeWalkInEveryModeAtBothDepths) {
  for (const int type : {kMemImgX8R8G8B8, kMemImgR5G6B5}) {
    const bool depth32 = type == kMemImgX8R8G8B8;
    for (const int width : {150, 61, 8, 3}) {
      for (const bool alpha : {false, true}) {
        TestImage src(width, 6, type, 0, alpha ? 1 : 0, depth32 ? kKey32 : kKey16);
        ASSERT_GE(src.Load(RunPicture(width, 6, depth32, alpha, 5 + static_cast<uint32_t>(width))), 0);
        ASSERT_EQ(src.base()->runTableValid, 1);
        TestImage blend(width, 6, kMemImgSingle8);
        for (int i = 0; i < width * 6; ++i) blend.Set(i % width, i / width, static_cast<uint32_t>(i * 37) & 0xFF);
        for (const ModeParam& m : kModes) {
          for (const uint32_t bright : {0xFFFFFFu, 0xC08040u}) {
            for (const bool withBlend : {false, true}) {
              SCOPED_TRACE(std::to_string(depth32 ? 32 : 16) + "-bit width " + std::to_string(width) + " mode " +
                           std::to_string(m.mode) + " p " + std::to_string(m.param) + (alpha ? " alpha" : " keyed") +
                           (bright != 0xFFFFFF ? " bright" : "") + (withBlend ? " blend image" : ""));
              Blend(m.mode, m.param);
              SetDrawBrightColorValue(bright);
              EXPECT_TRUE(SameOnEveryRoad(type, width + 2, 7, [&](TestImage& dst) {
                DrawMemImgWithMmxFlag(dst.img(), src.img(), 1, 1, 1, withBlend ? blend.img() : nullptr, 0);
              }));
            }
          }
        }
      }
    }
  }
}

TEST_F(SimdRoadTest, StretchedBlitAndBoxFillInEveryModeAtBothDepths) {
  const plat::RECT rects[] = {{0, 0, 2 * kW, 2 * kH},  {1, 2, 1 + 3 * kW / 2, 2 + 5 * kH / 2},
                              {0, 0, kW / 2, kH - 2},  {2 * kW, 0, 0, 2 * kH},  // mirrored left-right
                              {0, 3 * kH, 2 * kW + 1, 0}};                       // mirrored top-bottom
  for (const int type : {kMemImgX8R8G8B8, kMemImgR5G6B5}) {
    const bool depth32 = type == kMemImgX8R8G8B8;
    for (const ModeParam& m : kModes) {
      for (const uint32_t bright : {0xFFFFFFu, 0x40C0FFu}) {
        SCOPED_TRACE(std::to_string(depth32 ? 32 : 16) + "-bit mode " + std::to_string(m.mode) + " p " +
                     std::to_string(m.param) + (bright != 0xFFFFFF ? " bright" : ""));
        Blend(m.mode, m.param);
        SetDrawBrightColorValue(bright);
        for (const bool alpha : {false, true}) {
          for (const int trans : {0, 1}) {
            TestImage src(kW, kH, type, 0, alpha ? 1 : 0, depth32 ? kKey32 : kKey16);
            FillRandom(src, 11, depth32, alpha);
            for (const plat::RECT& r : rects) {
              EXPECT_TRUE(SameOnEveryRoad(type, 2 * kW + 2, 3 * kH + 1, [&](TestImage& dst) {
                DrawExtendMemImg(dst.img(), src.img(), &r, trans, nullptr);
              })) << "stretch to " << r.left << "," << r.top << "," << r.right << "," << r.bottom
                  << (alpha ? " alpha" : "") << (trans ? " trans" : "");
            }
          }
        }
        const plat::RECT box = {1, 1, kW, kH};
        EXPECT_TRUE(SameOnEveryRoad(type, kW + 2, kH + 2, [&](TestImage& dst) {
          DrawBoxMemImg(dst.img(), &box, depth32 ? 0x00C08040u : 0x7BEFu);
        })) << "box fill";
      }
    }
  }
}

}  // namespace
}  // namespace orbel

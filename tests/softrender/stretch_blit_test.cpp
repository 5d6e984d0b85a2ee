// The stretched blit's frame: which source pixel each destination pixel shows (16.16 stepping, the
// fast loops' stepping when shrinking, mirroring, clipping), the hand-over at 1:1, the draws that
// write nothing, and the guards against images and rectangles the loops could not walk safely.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/stretch_blit.h"
#include "softrender_test_support.h"

namespace orbel::testing {
namespace {

constexpr uint32_t kUnwritten = 0xFFFFFFFF;

// General loops are the copy under a brightness of 0xFEFEFE; fast loops the plain copy.
enum class Loop { kGeneral, kFast };

class StretchFrame : public SoftDrawTest {
 protected:
  // Source pixel (c, r) holds blue c * 8 and green r * 8. Returns, per destination pixel of the
  // rectangle's bounding box (row-major), "c,r" of the source pixel shown or "-" when unwritten.
  std::vector<std::string> Shown(Loop loop, int srcW, int srcH, plat::RECT rect) {
    TestImage src(srcW, srcH, kMemImgX8R8G8B8);
    for (int r = 0; r < srcH; ++r)
      for (int c = 0; c < srcW; ++c) src.Set(c, r, (r * 8) << 8 | (c * 8));
    const int left = std::min(rect.left, rect.right);
    const int right = std::max(rect.left, rect.right);
    const int top = std::min(rect.top, rect.bottom);
    const int bottom = std::max(rect.top, rect.bottom);
    TestImage dst(64, 64, kMemImgX8R8G8B8);
    dst.Fill(kUnwritten);
    SetBright(loop == Loop::kGeneral ? 0xFEFEFE : 0xFFFFFF);
    DrawExtendMemImg(dst.img(), src.img(), &rect, 0, nullptr);
    const uint32_t* row = BlendProductTable[loop == Loop::kGeneral ? 0xFE : 0xFF];
    std::vector<std::string> out;
    for (int y = std::max(top, 0); y < bottom; ++y) {
      for (int x = std::max(left, 0); x < std::min(right, 64); ++x) {
        const uint32_t v = dst.Pixel(x, y);
        std::string shown = "-";
        for (int r = 0; r < srcH && v != kUnwritten; ++r)
          for (int c = 0; c < srcW; ++c)
            if ((v & 0xFF) == row[c * 8] && ((v >> 8) & 0xFF) == row[r * 8])
              shown = std::to_string(c) + "," + std::to_string(r);
        out.push_back(shown);
      }
    }
    return out;
  }

  static std::vector<std::string> Columns(std::initializer_list<int> cols, int row = 0) {
    std::vector<std::string> out;
    for (int c : cols) out.push_back(std::to_string(c) + "," + std::to_string(row));
    return out;
  }
};

TEST_F(StretchFrame, ColumnsShownByEachLoop) {
  struct Case {
    const char* name;
    Loop loop;
    int srcW;
    plat::RECT rect;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"12 into 8, general", Loop::kGeneral, 12, {0, 0, 8, 1}, Columns({0, 1, 3, 4, 6, 7, 9, 10})},
      {"12 into 8, fast", Loop::kFast, 12, {0, 0, 8, 1}, Columns({0, 1, 3, 4, 6, 7, 9, 10})},
      {"16 into 8, general", Loop::kGeneral, 16, {0, 0, 8, 1}, Columns({0, 2, 4, 6, 8, 10, 12, 14})},
      {"16 into 8, fast", Loop::kFast, 16, {0, 0, 8, 1}, Columns({0, 1, 3, 5, 7, 9, 11, 13})},
      {"4 into 8, general", Loop::kGeneral, 4, {0, 0, 8, 1}, Columns({0, 0, 1, 1, 2, 2, 3, 3})},
      {"4 into 8, fast", Loop::kFast, 4, {0, 0, 8, 1}, Columns({0, 0, 1, 1, 2, 2, 3, 3})},
      {"same size mirrored", Loop::kFast, 5, {5, 0, 0, 1}, Columns({4, 3, 2, 1, 0})},
      {"16 into 8 mirrored, general", Loop::kGeneral, 16, {8, 0, 0, 1}, Columns({15, 13, 11, 9, 7, 5, 3, 1})},
      {"16 into 8 mirrored, fast", Loop::kFast, 16, {8, 0, 0, 1}, Columns({15, 14, 12, 10, 8, 6, 4, 2})},
      // Left part outside the draw area: general loops keep the unclipped mapping (6, 8, ...), the
      // fast loop starts at floor(3 * 65536 / StepX) = 6 and then steps its own way.
      {"16 into 8 clipped, general", Loop::kGeneral, 16, {-3, 0, 5, 1}, Columns({6, 8, 10, 12, 14})},
      {"16 into 8 clipped, fast", Loop::kFast, 16, {-3, 0, 5, 1}, Columns({6, 7, 9, 11, 13})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Shown(c.loop, c.srcW, 1, c.rect), c.expected) << c.name;
  }
}

TEST_F(StretchFrame, RowsStepLikeColumns) {
  // A 1x16 column shrunk to 8 rows, plain and mirrored top-bottom.
  auto rows = [](std::initializer_list<int> list) {
    std::vector<std::string> out;
    for (int r : list) out.push_back("0," + std::to_string(r));
    return out;
  };
  EXPECT_EQ(Shown(Loop::kGeneral, 1, 16, {0, 0, 1, 8}), rows({0, 2, 4, 6, 8, 10, 12, 14}));
  EXPECT_EQ(Shown(Loop::kFast, 1, 16, {0, 0, 1, 8}), rows({0, 1, 3, 5, 7, 9, 11, 13}));
  EXPECT_EQ(Shown(Loop::kGeneral, 1, 16, {0, 8, 1, 0}), rows({15, 13, 11, 9, 7, 5, 3, 1}));
  // Clipped at the top by the draw area: rows 0 and 1 stay unwritten, the others keep their mapping.
  SetArea(0, 2, 4096, 4096);
  std::vector<std::string> clipped = rows({0, 0, 1, 1, 2, 2, 3, 3});
  clipped[0] = clipped[1] = "-";
  EXPECT_EQ(Shown(Loop::kGeneral, 1, 4, {0, 0, 1, 8}), clipped);
}

TEST_F(StretchFrame, HugeRectangleStepsInRange) {
  // 200000 pixels wide: StepX no longer fits 16.16 in 32 bits; destination x = 0 lies at
  // j = 100000, which shows source column 100000 * 16 / 200000 = 8.
  EXPECT_EQ(Shown(Loop::kGeneral, 16, 1, {-100000, 0, 100000, 1})[0], "8,0");
  EXPECT_EQ(Shown(Loop::kFast, 16, 1, {100000, 0, -100000, 1})[0], "7,0");
}

TEST_F(StretchFrame, SameSizeUnmirroredIsThePlainBlit) {
  // Alpha source, transparency on, alpha mode: the result must be the plain blit's.
  TestImage src(6, 3, kMemImgX8R8G8B8, 0, 1);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) src.Set(x, y, (uint32_t(x * 50) << 24) | (0x102030u * (y + 1)) | uint32_t(x * 9));
  TestImage viaStretch(16, 16, kMemImgX8R8G8B8);
  TestImage viaPlain(16, 16, kMemImgX8R8G8B8);
  viaStretch.Fill(0x80406080);
  viaPlain.Fill(0x80406080);
  SetBlend(1, 200);
  const plat::RECT rect = {4, 5, 10, 8};
  DrawExtendMemImg(viaStretch.img(), src.img(), &rect, 1, nullptr);
  DrawMemImg(viaPlain.img(), src.img(), 4, 5, 1, nullptr);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(viaStretch.Pixel(x, y), viaPlain.Pixel(x, y)) << x << "," << y;
}

TEST_F(StretchFrame, DrawsThatWriteNothing) {
  struct Case {
    const char* name;
    int mode;
    int param;
    int srcType;
    int paletted;
    plat::RECT rect;
  };
  const Case cases[] = {
      {"zero width", 0, 255, kMemImgX8R8G8B8, 0, {3, 0, 3, 4}},
      {"zero height", 0, 255, kMemImgX8R8G8B8, 0, {0, 2, 8, 2}},
      {"mode 5", 5, 128, kMemImgX8R8G8B8, 0, {0, 0, 8, 4}},
      {"mode 9", 9, 128, kMemImgX8R8G8B8, 0, {0, 0, 8, 4}},
      {"mode 12", 12, 128, kMemImgX8R8G8B8, 0, {0, 0, 8, 4}},
      {"alpha p 0", 1, 0, kMemImgX8R8G8B8, 0, {0, 0, 8, 4}},
      {"add p 0", 2, 0, kMemImgR5G6B5, 0, {0, 0, 8, 4}},
      {"add p 0 paletted", 2, 0, kMemImgR5G6B5, 1, {0, 0, 8, 4}},
      {"subtract p 0 direct", 3, 0, kMemImgX8R8G8B8, 0, {0, 0, 8, 4}},
      {"outside the draw area", 0, 255, kMemImgX8R8G8B8, 0, {40, 0, 48, 4}},
  };
  SetArea(0, 0, 32, 32);
  for (const Case& c : cases) {
    TestImage src(4, 2, c.srcType, c.paletted);
    src.Fill(c.paletted ? 1 : 0x00FFFFFF);
    if (c.paletted) src.SetPalette(1, 0x1234);
    TestImage dst(48, 8, c.srcType);
    dst.Fill(0x55555555);
    SetBlend(c.mode, c.param);
    DrawExtendMemImg(dst.img(), src.img(), &c.rect, 0, nullptr);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 48; ++x)
        ASSERT_EQ(dst.Pixel(x, y), c.srcType == kMemImgR5G6B5 ? 0x5555u : 0x55555555u) << c.name;
  }
}

TEST_F(StretchFrame, RefusesImagesItCannotWalk) {
  const plat::RECT rect = {0, 0, 8, 8};
  TestImage dst32(8, 8, kMemImgX8R8G8B8);
  TestImage dst16(8, 8, kMemImgR5G6B5);
  TestImage src32(4, 4, kMemImgX8R8G8B8);
  TestImage single(4, 4, kMemImgSingle8);
  TestImage smallBlend(3, 4, kMemImgSingle8);
  src32.Fill(0x00FFFFFF);
  single.Fill(0xFF);
  dst32.Fill(0);
  dst16.Fill(0);
  // A 32-bit source on a 16-bit image would write past each 2-byte pixel.
  DrawExtendMemImg(dst16.img(), src32.img(), &rect, 0, nullptr);
  // A single-channel source is no colour image.
  DrawExtendMemImg(dst32.img(), single.img(), &rect, 0, nullptr);
  // A blend image narrower than the source would be read past its rows.
  DrawExtendMemImg(dst32.img(), src32.img(), &rect, 0, smallBlend.img());
  // A source header of zero width would divide by zero.
  MemImg empty = *src32.img();
  empty.width = 0;
  DrawExtendMemImg(dst32.img(), &empty, &rect, 0, nullptr);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      ASSERT_EQ(dst16.Pixel(x, y), 0u);
      ASSERT_EQ(dst32.Pixel(x, y), 0u);
    }
  }
}

TEST_F(StretchFrame, BlendWeightFollowsTheMirroredSource) {
  // White over black in copy with a blend image: blue = 255 * w >> 8, w = the weight of the blend
  // byte at the source pixel shown (weights are the identity here).
  TestImage src(4, 2, kMemImgX8R8G8B8);
  src.Fill(0x00FFFFFF);
  TestImage blend(4, 2, kMemImgSingle8);
  const uint32_t weights[2][4] = {{0, 64, 128, 255}, {16, 32, 48, 80}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) blend.Set(x, y, weights[y][x]);
  TestImage dst(4, 2, kMemImgX8R8G8B8);
  dst.Fill(0);
  const plat::RECT mirrored = {4, 2, 0, 0};
  DrawExtendMemImg(dst.img(), src.img(), &mirrored, 0, blend.img());
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.Pixel(x, y) & 0xFF, (255 * weights[1 - y][3 - x]) >> 8) << x << "," << y;
}

TEST_F(StretchFrame, FullSubtractReadsThisImagesPaletteBeyondItsCount) {
  // Entry 5 lies beyond the palette count of 1; an earlier draw of another paletted image must not
  // leave its entry 5 behind for this one.
  TestImage other(2, 1, kMemImgX8R8G8B8, 1);
  other.SetPalette(5, 0x00FFFFFF);
  other.Fill(5);
  TestImage src(2, 1, kMemImgX8R8G8B8, 1);
  src.SetPalette(0, 0);
  src.img()->base->paletteCount = 1;
  std::memcpy(src.img()->base->palette + 5 * 4, "\x10\x10\x10\x00", 4);
  src.Fill(5);
  TestImage dst(4, 1, kMemImgX8R8G8B8);
  dst.Fill(0x00808080);
  SetBlend(3, 255);
  const plat::RECT rect = {0, 0, 4, 1};
  DrawExtendMemImgMmx(dst.img(), other.img(), &rect, 0, nullptr, 1);
  dst.Fill(0x00808080);
  DrawExtendMemImgMmx(dst.img(), src.img(), &rect, 0, nullptr, 1);
  EXPECT_EQ(dst.Pixel(0, 0), 0x00707070u);
}

// Random sources, modes, rectangles and draw areas: no write outside the rectangle clipped by the draw
// area (and, under the sanitizer build, no read outside the source or the blend image).
TEST_F(StretchFrame, RandomDrawsStayInsideTheirRectangle) {
  std::mt19937 rng(5201);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int modes[] = {0, 1, 2, 3, 4, 10, 11};
  for (int i = 0; i < 400; ++i) {
    const int type = pick(0, 1);
    const int paletted = pick(0, 3) == 0;
    const int alpha = !paletted && pick(0, 2) == 0;
    const int srcW = pick(1, 20);
    const int srcH = pick(1, 20);
    TestImage src(srcW, srcH, type, paletted, alpha, 3);
    TestImage blend(srcW, srcH, kMemImgSingle8);
    for (int y = 0; y < srcH; ++y) {
      for (int x = 0; x < srcW; ++x) {
        const uint32_t v = rng();
        src.Set(x, y, paletted ? v & 7 : v);  // by pixel size: 1, 2 or 4 bytes
        blend.Set(x, y, v >> 24);
      }
    }
    for (int e = 0; e < 8 && paletted; ++e) src.SetPalette(e, rng());
    TestImage dst(48, 40, type);
    dst.Fill(0xA5A5A5A5);
    const plat::RECT rect = {pick(-40, 80), pick(-40, 80), pick(-40, 80), pick(-40, 80)};
    const plat::RECT area = {pick(0, 20), pick(0, 20), pick(20, 60), pick(20, 60)};
    SetArea(area.left, area.top, area.right, area.bottom);
    SetBlend(modes[pick(0, 6)], pick(0, 255));
    SetBright(pick(0, 1) ? 0xFFFFFF : rng() & 0xFFFFFF);
    DrawExtendMemImgMmx(dst.img(), src.img(), &rect, pick(0, 1), pick(0, 1) ? blend.img() : nullptr, pick(0, 1));
    const int left = std::max({std::min(rect.left, rect.right), area.left, 0});
    const int right = std::min({std::max(rect.left, rect.right), area.right, 48});
    const int top = std::max({std::min(rect.top, rect.bottom), area.top, 0});
    const int bottom = std::min({std::max(rect.top, rect.bottom), area.bottom, 40});
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 48; ++x) {
        if (x >= left && x < right && y >= top && y < bottom) continue;
        ASSERT_EQ(dst.Pixel(x, y), type == kMemImgR5G6B5 ? 0xA5A5u : 0xA5A5A5A5u)
            << "draw " << i << " wrote " << x << "," << y << " outside its rectangle";
      }
    }
  }
}

}  // namespace
}  // namespace orbel::testing

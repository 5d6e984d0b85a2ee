// The software triangle: fill rule and its quirks on tiny rasters, clipping and texture mapping, the
// refusals, the worked pixel examples of every family, the identities between variants, and random
// triangles that must never touch anything outside the draw area.
#include <array>
#include <random>
#include <string>
#include <vector>

#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/triangle.h"
#include "softrender_test_support.h"

namespace orbel::testing {
namespace {

class TriangleTest : public SoftDrawTest {};

struct Corner {
  int x, y, u = 0, v = 0;
};

void Draw(TestImage& dst, const TestImage* src, Corner a, Corner b, Corner c, int trans = 0,
          const TestImage* blend = nullptr, uint32_t color = 0) {
  const int corners[12] = {a.x, a.y, a.u, a.v, b.x, b.y, b.u, b.v, c.x, c.y, c.u, c.v};
  DrawTriangleMemImg(dst.img(), src ? src->img() : nullptr, corners, trans, blend ? blend->img() : nullptr, color);
}

// A flat triangle in add mode (blue 1 per draw) on an 8 x 8 image: each row's digits count the draws.
std::vector<std::string> CountDraws(std::vector<std::array<Corner, 3>> triangles) {
  TestImage dst(8, 8, kMemImgX8R8G8B8);
  dst.Fill(0);
  gDrawState.blendMode = 2;
  gDrawState.blendParam = 255;
  for (const auto& t : triangles) Draw(dst, nullptr, t[0], t[1], t[2], 0, nullptr, 1);
  std::vector<std::string> rows;
  for (int y = 0; y < 8; ++y) {
    std::string row;
    for (int x = 0; x < 8; ++x) {
      const uint32_t n = dst.Pixel(x, y) & 0xFF;
      row += n == 0 ? '.' : static_cast<char>('0' + n);
    }
    rows.push_back(row);
  }
  return rows;
}

TEST_F(TriangleTest, FillRuleDrawsTopRowBothEndsAndNotTheBottomCornersRow) {
  struct Case {
    const char* name;
    std::vector<std::array<Corner, 3>> triangles;
    std::vector<std::string> expect;
  };
  const Case cases[] = {
      {"flat top", {{{{1, 1}, {5, 1}, {1, 5}}}},
       {"........", ".11111..", ".1111...", ".111....", ".11.....", "........", "........", "........"}},
      {"one row", {{{{1, 2}, {6, 2}, {3, 3}}}},
       {"........", "........", ".111111.", "........", "........", "........", "........", "........"}},
      {"middle corner on the left", {{{{4, 0}, {0, 3}, {6, 6}}}},
       {"....1...", "...11...", ".11111..", "111111..", "..1111..", "....111.", "........", "........"}},
      {"middle corner on the right", {{{{2, 0}, {6, 3}, {0, 6}}}},
       {"..1.....", "..11....", ".11111..", ".111111.", ".1111...", "111.....", "........", "........"}},
      // The top corner at row -2 starts one row lower; the middle corner's row is then drawn twice.
      {"top corner at a negative row", {{{{4, -2}, {0, 1}, {6, 4}}}},
       {"...11...", "122222..", "..1111..", "....111.", "........", "........", "........", "........"}},
      // A right edge between -1.5 and 0 still reaches pixel 0.
      {"right edge just left of 0", {{{{-3, 0}, {-1, 0}, {-3, 2}}}},
       {"1.......", "........", "........", "........", "........", "........", "........", "........"}},
      // Two triangles of a quad both draw the diagonal they share.
      {"quad diagonal twice", {{{{0, 0}, {4, 0}, {0, 4}}}, {{{4, 0}, {0, 4}, {4, 4}}}},
       {"11112...", "11121...", "11211...", "12111...", "........", "........", "........", "........"}},
  };
  for (const Case& c : cases) EXPECT_EQ(CountDraws(c.triangles), c.expect) << c.name;
}

TEST_F(TriangleTest, DegenerateAndRefusedTrianglesDrawNothing) {
  TestImage src32(4, 4, kMemImgX8R8G8B8);
  TestImage src16(4, 4, kMemImgR5G6B5);
  TestImage single(4, 4, kMemImgSingle8);
  src32.Fill(0x123456);
  src16.Fill(0x1234);
  const Corner a{0, 0, 0, 0}, b{6, 0, 3, 0}, c{0, 6, 0, 3};
  struct Case {
    const char* name;
    int dstType, dstPaletted, dstAlpha;
    const TestImage* src;
    Corner a, b, c;
    uint32_t mode;
  };
  const Case cases[] = {
      {"source type differs", kMemImgR5G6B5, 0, 0, &src32, a, b, c, 0},
      {"paletted destination", kMemImgX8R8G8B8, 1, 0, &src32, a, b, c, 0},
      {"destination with alpha", kMemImgX8R8G8B8, 0, 1, &src32, a, b, c, 0},
      {"flat on a paletted destination", kMemImgX8R8G8B8, 1, 0, nullptr, a, b, c, 0},
      {"single-channel source", kMemImgSingle8, 0, 0, &single, a, b, c, 0},
      {"three corners on a line", kMemImgX8R8G8B8, 0, 0, &src32, {0, 0, 0, 0}, {2, 2, 1, 1}, {5, 5, 3, 3}, 0},
      {"three corners on a row", kMemImgR5G6B5, 0, 0, &src16, {0, 3, 0, 0}, {2, 3, 1, 1}, {5, 3, 3, 3}, 0},
      {"corner beyond the fixed-point range", kMemImgX8R8G8B8, 0, 0, &src32, {0, 0, 0, 0}, {9000, 0, 3, 0}, c, 0},
      {"blend mode 5", kMemImgX8R8G8B8, 0, 0, &src32, a, b, c, 5},
      {"blend mode 9", kMemImgR5G6B5, 0, 0, &src16, a, b, c, 9},
      {"blend mode 12", kMemImgX8R8G8B8, 0, 0, nullptr, a, b, c, 12},
      {"negative blend mode", kMemImgR5G6B5, 0, 0, nullptr, a, b, c, 0xFFFFFFFF},
  };
  for (const Case& k : cases) {
    TestImage dst(8, 8, k.dstType, k.dstPaletted, k.dstAlpha);
    dst.Fill(0x77);
    gDrawState.blendMode = k.mode;
    Draw(dst, k.src, k.a, k.b, k.c, 0, nullptr, 0xFFFF);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) ASSERT_EQ(dst.Pixel(x, y), 0x77u) << k.name << " at " << x << "," << y;
  }
}

// A source whose pixel (x, y) holds a colour made from x and y.
void FillCoordinates(TestImage& src) {
  for (int y = 0; y < src.height(); ++y)
    for (int x = 0; x < src.width(); ++x) src.Set(x, y, Color(src.base()->colorType, 16 * x, 16 * y, 99));
}

TEST_F(TriangleTest, TexelsFollowTheCornersAndClippingDoesNotShiftThem) {
  for (int type : {kMemImgR5G6B5, kMemImgX8R8G8B8}) {
    TestImage src(8, 8, type);
    FillCoordinates(src);
    TestImage whole(8, 8, type);
    TestImage clipped(8, 8, type);
    whole.Fill(0);
    clipped.Fill(0);
    // One-to-one mapping: every drawn pixel shows the source pixel at its own position.
    Draw(whole, &src, {0, 0, 0, 0}, {8, 0, 8, 0}, {0, 8, 0, 8});
    SetArea(2, 1, 6, 5);
    Draw(clipped, &src, {0, 0, 0, 0}, {8, 0, 8, 0}, {0, 8, 0, 8});
    int drawn = 0;
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        if (whole.Pixel(x, y) != 0) {
          EXPECT_EQ(whole.Pixel(x, y), src.Pixel(x, y)) << "type " << type << " at " << x << "," << y;
          ++drawn;
        }
        const bool inside = x >= 2 && x < 6 && y >= 1 && y < 5;
        EXPECT_EQ(clipped.Pixel(x, y), inside ? whole.Pixel(x, y) : 0u) << "type " << type << " at " << x << "," << y;
      }
    }
    // Row y covers 9 - y pixels, the first row cut to the image.
    EXPECT_EQ(drawn, 8 + 8 + 7 + 6 + 5 + 4 + 3 + 2) << "type " << type;
    SetArea(0, 0, 4096, 4096);
  }
}

TEST_F(TriangleTest, TexelsOutsideTheSourceOrTheBlendImageLeaveThePixel) {
  TestImage src(4, 4, kMemImgX8R8G8B8);
  src.Fill(0x00ABCDEF);
  TestImage dst(8, 8, kMemImgX8R8G8B8);
  dst.Fill(0x11);
  // u and v run from -2 to 6 over an image 4 wide: only columns and rows 0-3 of the source are fetched.
  Draw(dst, &src, {0, 0, -2, -2}, {8, 0, 6, -2}, {0, 8, -2, 6});
  EXPECT_EQ(dst.Pixel(1, 1), 0x11u);
  EXPECT_EQ(dst.Pixel(2, 2), 0x00ABCDEFu);
  EXPECT_EQ(dst.Pixel(5, 2), 0x00ABCDEFu);
  EXPECT_EQ(dst.Pixel(6, 2), 0x11u);
  EXPECT_EQ(dst.Pixel(5, 0), 0x11u);
  // A blend image smaller than the source limits the texels too instead of being read past its end.
  TestImage blend(2, 2, kMemImgSingle8);
  blend.Fill(255);
  dst.Fill(0x11);
  Draw(dst, &src, {0, 0, 0, 0}, {8, 0, 8, 0}, {0, 8, 0, 8}, 0, &blend);
  EXPECT_NE(dst.Pixel(1, 1), 0x11u);
  EXPECT_EQ(dst.Pixel(2, 1), 0x11u);
  EXPECT_EQ(dst.Pixel(1, 2), 0x11u);
}

// One pixel of a textured triangle: the destination's pixel (0, 0) after drawing a source filled with
// `src` over a destination filled with `dst`, the draw area being that one pixel.
struct Texel {
  int type = kMemImgX8R8G8B8;
  int paletted = 0;
  int alpha = 0;
  int trans = 0;
  int mode = 0;
  int param = 255;
  uint32_t bright = 0xFFFFFF;
  uint32_t transColor = 0;
  int blendByte = -1;    // -1: no blend image; weights are the identity
  uint32_t src = 0;      // 16-bit: colour | alpha << 16; 32-bit: the word; paletted: the index
  uint32_t palette = 0;  // the entry of the index, paletted sources
  uint32_t dst = 0;
};

uint32_t DrawTexel(const Texel& t) {
  TestImage src(2, 2, t.type, t.paletted, t.alpha, t.transColor);
  TestImage dst(2, 2, t.type);
  TestImage blend(2, 2, kMemImgSingle8);
  if (t.paletted) src.SetPalette(static_cast<int>(t.src & 0xFF), t.palette);
  src.Fill(t.src);
  dst.Fill(t.dst);
  blend.Fill(t.blendByte < 0 ? 0 : static_cast<uint32_t>(t.blendByte));
  gDrawState.blendMode = static_cast<uint32_t>(t.mode);
  gDrawState.blendParam = static_cast<uint32_t>(t.param);
  gDrawState.brightColor = t.bright;
  gDrawState.drawArea = {0, 0, 1, 1};
  Draw(dst, &src, {0, 0, 0, 0}, {2, 0, 2, 0}, {0, 2, 0, 2}, t.trans, t.blendByte < 0 ? nullptr : &blend);
  EXPECT_EQ(dst.Pixel(1, 1), t.dst) << "a pixel outside the draw area changed";
  return dst.Pixel(0, 0);
}

struct TexelCase {
  const char* name;
  Texel texel;
  uint32_t expected;
};

template <size_t N>
void ExpectTexels(const TexelCase (&cases)[N]) {
  for (const TexelCase& c : cases) EXPECT_EQ(DrawTexel(c.texel), c.expected) << c.name;
}

constexpr int k32 = kMemImgX8R8G8B8;
constexpr int k16 = kMemImgR5G6B5;

TEST_F(TriangleTest, PalettedSourcesOn32BitDestinations) {
  const TexelCase cases[] = {
      {"normal copies the whole entry", {.type = k32, .paletted = 1, .src = 3, .palette = 0xAB123456, .dst = 0x01020304}, 0xAB123456},
      {"brightness keeps byte 3", {.type = k32, .paletted = 1, .bright = 0x808080, .src = 3, .palette = 0x00FFFFFF, .dst = 0x77000000}, 0x77808080},
      {"the index is the transparent colour", {.type = k32, .paletted = 1, .trans = 1, .transColor = 3, .src = 3, .palette = 0x00FFFFFF, .dst = 0x55}, 0x55},
      {"flag clear draws the transparent index", {.type = k32, .paletted = 1, .transColor = 3, .src = 3, .palette = 0x00FFFFFF, .dst = 0x55}, 0x00FFFFFF},
      {"a transparent colour above 255 never matches", {.type = k32, .paletted = 1, .trans = 1, .transColor = 256, .src = 0, .palette = 0x00FFFFFF, .dst = 0x55}, 0x00FFFFFF},
      {"subtract at p 0 still rewrites low bits", {.type = k32, .paletted = 1, .mode = 3, .param = 0, .src = 1, .palette = 0x00FFFFFF, .dst = 0x80102030}, 0x00112130},
      {"subtract at p 0 keeps white", {.type = k32, .paletted = 1, .mode = 3, .param = 0, .src = 1, .palette = 0x00FFFFFF, .dst = 0x00FFFFFF}, 0x00FFFFFF},
      {"add to a carry out of red", {.type = k32, .paletted = 1, .mode = 2, .src = 1, .palette = 0x00202020, .dst = 0x00F0F0F0}, 0x01FFFFFF},
      {"add five", {.type = k32, .paletted = 1, .mode = 2, .src = 1, .palette = 0x00050505, .dst = 0x00102030}, 0x00152535},
      {"subtract five", {.type = k32, .paletted = 1, .mode = 3, .src = 1, .palette = 0x00050505, .dst = 0x00102030}, 0x000D1D2B},
      {"blend weight 255 gives 254", {.type = k32, .paletted = 1, .blendByte = 255, .src = 1, .palette = 0x00FFFFFF, .dst = 0}, 0x00FEFEFE},
      {"multiply by weight 0 keeps byte 3", {.type = k32, .paletted = 1, .mode = 4, .blendByte = 0, .src = 1, .palette = 0x00FFFFFF, .dst = 0x7F405060}, 0x7F000000},
      {"invert applies brightness after", {.type = k32, .paletted = 1, .mode = 10, .bright = 0x808080, .src = 1, .palette = 0, .dst = 0}, 0x007F7F7F},
      {"alpha at p 0 draws nothing", {.type = k32, .paletted = 1, .mode = 1, .param = 0, .src = 1, .palette = 0x00FFFFFF, .dst = 0x42}, 0x42},
  };
  ExpectTexels(cases);
}

TEST_F(TriangleTest, PalettedSourcesOn16BitDestinations) {
  const TexelCase cases[] = {
      {"brightness 128", {.type = k16, .paletted = 1, .bright = 0x808080, .src = 2, .palette = 0xFFFF}, 0x7BEF},
      {"alpha 128 over black", {.type = k16, .paletted = 1, .mode = 1, .param = 128, .src = 2, .palette = 0xFFFF, .dst = 0}, 0x7BEF},
      {"alpha 128 of black over white", {.type = k16, .paletted = 1, .mode = 1, .param = 128, .src = 2, .palette = 0, .dst = 0xFFFF}, 0x8410},
      {"blend weight 255 over black", {.type = k16, .paletted = 1, .blendByte = 255, .src = 2, .palette = 0xFFFF, .dst = 0}, 0xF7DE},
      {"add (5, 10, 5)", {.type = k16, .paletted = 1, .mode = 2, .src = 2, .palette = 0x2945, .dst = 0xA514}, 0xCE59},
      {"add saturates", {.type = k16, .paletted = 1, .mode = 2, .src = 2, .palette = 0x2945, .dst = 0xF79E}, 0xFFFF},
      {"add (1, 1, 1) to itself", {.type = k16, .paletted = 1, .mode = 2, .src = 2, .palette = 0x0821, .dst = 0x0821}, 0x0822},
      {"subtract (5, 10, 5)", {.type = k16, .paletted = 1, .mode = 3, .src = 2, .palette = 0x2945, .dst = 0xA514}, 0x8BCF},
      {"subtract to black", {.type = k16, .paletted = 1, .mode = 3, .src = 2, .palette = 0x2945, .dst = 0x2104}, 0},
      {"subtract 0 at p 0", {.type = k16, .paletted = 1, .mode = 3, .param = 0, .src = 2, .palette = 0, .dst = 0xA535}, 0xAD15},
      {"subtract 0 from white", {.type = k16, .paletted = 1, .mode = 3, .param = 0, .src = 2, .palette = 0, .dst = 0xFFFF}, 0xFFDF},
      {"multiply white by white", {.type = k16, .paletted = 1, .mode = 4, .src = 2, .palette = 0xFFFF, .dst = 0xFFFF}, 0xF7DE},
      {"invert then brightness", {.type = k16, .paletted = 1, .mode = 10, .bright = 0x80FFFF, .src = 2, .palette = 0, .dst = 0}, 0x7FFF},
      {"the index is the transparent colour", {.type = k16, .paletted = 1, .trans = 1, .transColor = 2, .src = 2, .palette = 0xFFFF, .dst = 0x1234}, 0x1234},
  };
  ExpectTexels(cases);
}

TEST_F(TriangleTest, DirectSourcesOn32BitDestinations) {
  const TexelCase cases[] = {
      {"opaque under the flag copies the word", {.type = k32, .alpha = 1, .trans = 1, .src = 0xFF102030, .dst = 0}, 0xFF102030},
      {"alpha 0 under the flag is skipped", {.type = k32, .alpha = 1, .trans = 1, .src = 0x00102030, .dst = 0x99}, 0x99},
      {"alpha 128 mixes the colour bytes", {.type = k32, .alpha = 1, .trans = 1, .src = 0x80FFFFFF, .dst = 0x33000000}, 0x337F7F7F},
      {"opaque without the flag gives 254", {.type = k32, .alpha = 1, .src = 0xFFFFFFFF, .dst = 0}, 0x00FEFEFE},
      {"transparent colour skipped under the flag", {.type = k32, .trans = 1, .transColor = 0x00102030, .src = 0x00102030, .dst = 7}, 7},
      {"transparent colour drawn without the flag", {.type = k32, .transColor = 0x00102030, .src = 0x00102030, .dst = 7}, 0x00102030},
      {"alpha sources ignore the transparent colour", {.type = k32, .alpha = 1, .trans = 1, .transColor = 0x80102030, .src = 0x80102030, .dst = 0}, 0x00081018},
      {"add of 0 clears byte 3", {.type = k32, .mode = 2, .src = 0, .dst = 0x80102030}, 0x00102030},
      {"subtract of 0 sets low bits", {.type = k32, .mode = 3, .src = 0, .dst = 0x80102030}, 0x00112130},
      {"subtract below 0", {.type = k32, .mode = 3, .src = 0x00303030, .dst = 0x00102030}, 0},
      {"subtract at p 0 draws nothing", {.type = k32, .mode = 3, .param = 0, .src = 0x00303030, .dst = 0x00102030}, 0x00102030},
      {"multiply by alpha 0 is black", {.type = k32, .alpha = 1, .trans = 1, .mode = 4, .src = 0x00FFFFFF, .dst = 0x7F405060}, 0x7F000000},
      {"multiply then alpha at p 0 keeps the pixel", {.type = k32, .mode = 11, .param = 0, .src = 0x00102030, .dst = 0x00405060}, 0x00405060},
      {"three-factor alpha", {.type = k32, .alpha = 1, .mode = 1, .param = 128, .blendByte = 200, .src = 0x80FFFFFF, .dst = 0}, 0x00313131},
  };
  ExpectTexels(cases);
}

TEST_F(TriangleTest, DirectSourcesOn16BitDestinations) {
  const TexelCase cases[] = {
      {"opaque under the flag stores the word", {.type = k16, .alpha = 1, .trans = 1, .src = 0xFF1234, .dst = 0}, 0x1234},
      {"alpha 0 under the flag is skipped", {.type = k16, .alpha = 1, .trans = 1, .src = 0x00FFFF, .dst = 0x0421}, 0x0421},
      {"opaque red without the flag gives 30", {.type = k16, .alpha = 1, .src = 0xFFF800, .dst = 0}, 0xF000},
      {"opaque green without the flag gives 62", {.type = k16, .alpha = 1, .src = 0xFF07E0, .dst = 0}, 0x07C0},
      {"alpha 128 red over black", {.type = k16, .mode = 1, .param = 128, .src = 0xF800, .dst = 0}, 0x7800},
      {"alpha 128 black over red", {.type = k16, .mode = 1, .param = 128, .src = 0, .dst = 0xF800}, 0x8000},
      {"add 0x0821 to 0", {.type = k16, .mode = 2, .src = 0x0821, .dst = 0}, 0x0821},
      {"add green 1 to green 1", {.type = k16, .mode = 2, .src = 0x0020, .dst = 0x0020}, 0x0020},
      {"add 0x0841 to itself", {.type = k16, .mode = 2, .src = 0x0841, .dst = 0x0841}, 0x0882},
      {"add 0x0400 to itself", {.type = k16, .mode = 2, .src = 0x0400, .dst = 0x0400}, 0x0FC0},
      {"add 0x8410 to itself", {.type = k16, .mode = 2, .src = 0x8410, .dst = 0x8410}, 0xFFFF},
      {"add 0x0821 to 0x7BEF", {.type = k16, .mode = 2, .src = 0x0821, .dst = 0x7BEF}, 0x7BF0},
      {"subtract 0x2104 from 0x4208", {.type = k16, .mode = 3, .src = 0x2104, .dst = 0x4208}, 0x2904},
      {"subtract 0x0821 from 0", {.type = k16, .mode = 3, .src = 0x0821, .dst = 0}, 0x0800},
      {"subtract 0 from 0x1234", {.type = k16, .mode = 3, .src = 0, .dst = 0x1234}, 0x1A14},
      {"subtract 0x0821 from white", {.type = k16, .mode = 3, .src = 0x0821, .dst = 0xFFFF}, 0xFFDE},
      {"multiply white by white", {.type = k16, .mode = 4, .src = 0xFFFF, .dst = 0xFFFF}, 0xF7DE},
      {"invert then brightness", {.type = k16, .mode = 10, .bright = 0x80FFFF, .src = 0, .dst = 0}, 0x7FFF},
      {"alpha 0 keeps the pixel in multiply then alpha", {.type = k16, .alpha = 1, .mode = 11, .src = 0x00FFFF, .dst = 0x5555}, 0x5555},
      {"alpha 0 without the flag rewrites low bits in subtract", {.type = k16, .alpha = 1, .mode = 3, .src = 0x00FFFF, .dst = 0}, 0x0800},
      {"alpha 0 under the flag is skipped in subtract", {.type = k16, .alpha = 1, .trans = 1, .mode = 3, .src = 0x00FFFF, .dst = 0}, 0},
      {"alpha 0 under the flag is skipped in invert", {.type = k16, .alpha = 1, .trans = 1, .mode = 10, .src = 0x000000, .dst = 0x1111}, 0x1111},
      {"alpha 0 turns multiply black", {.type = k16, .alpha = 1, .trans = 1, .mode = 4, .src = 0x00FFFF, .dst = 0xFFFF}, 0},
      // Multiply then alpha keeps five more bits of the green product here: green 2, where the plain
      // formula would give 1.
      {"green of multiply then alpha", {.type = k16, .alpha = 1, .mode = 11, .src = 0xC80020, .dst = 0x0120}, 0x0040},
  };
  ExpectTexels(cases);
}

TEST_F(TriangleTest, FlatColourFamilies) {
  // Flat triangles fill the pixel (0, 0) of a 2 x 2 destination; the colour is in its pixel format.
  struct Case {
    const char* name;
    int type, mode, param;
    uint32_t bright, color, dst, expected;
  };
  const Case cases[] = {
      {"normal writes byte 3 too", k32, 0, 0, 0xFFFFFF, 0xAA102030, 0x11223344, 0xAA102030},
      {"alpha at p 255 is normal", k32, 1, 255, 0xFFFFFF, 0xAA102030, 0x11223344, 0xAA102030},
      {"alpha at p 0 draws nothing", k32, 1, 0, 0xFFFFFF, 0xAA102030, 0x11223344, 0x11223344},
      {"add blue 1 to 255 sets green's low bit", k32, 2, 255, 0xFFFFFF, 0x01, 0xFF, 0x000001FF},
      {"add with a carry out of red", k32, 2, 255, 0xFFFFFF, 0x020000, 0x00FF0000, 0x01FF0000},
      {"subtract 0 from 0 leaves guard bits", k32, 3, 255, 0xFFFFFF, 0, 0, 0x00010100},
      {"multiply keeps byte 3", k32, 4, 0, 0xFFFFFF, 0x00808080, 0x55FFFFFF, 0x557F7F7F},
      {"invert at p 0 keeps the pixel", k32, 10, 0, 0xFFFFFF, 0x00102030, 0x00405060, 0x00405060},
      {"multiply then alpha", k32, 11, 128, 0xFFFFFF, 0x00FFFFFF, 0x00808080, 0x007F7F7F},
      {"brightness on the colour", k16, 0, 0, 0x808080, 0xFFFF, 0, 0x7BEF},
      {"subtract 0 from 0 in 16 bits", k16, 3, 255, 0xFFFFFF, 0, 0, 0x0800},
      {"multiply at the fields' widths", k16, 4, 0, 0xFFFFFF, 0xFFFF, 0xFFFF, 0xF7DE},
      {"alpha by the signed table", k16, 1, 128, 0xFFFFFF, 0, 0xFFFF, 0x8410},
      {"invert by the signed table", k16, 10, 255, 0xFFFFFF, 0xFFFF, 0x1234, 0},
  };
  for (const Case& c : cases) {
    TestImage dst(2, 2, c.type);
    dst.Fill(c.dst);
    SetBlend(c.mode, c.param);
    SetBright(c.bright);
    SetArea(0, 0, 1, 1);
    Draw(dst, nullptr, {0, 0}, {2, 0}, {0, 2}, 0, nullptr, c.color);
    EXPECT_EQ(dst.Pixel(0, 0), c.expected) << c.name;
    EXPECT_EQ(dst.Pixel(1, 0), c.dst) << c.name;
  }
}

// Every source kind in every variant: results that the rules make equal must be equal.
TEST_F(TriangleTest, VariantsThatMustAgree) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    Texel t;
    t.type = round % 2 ? k32 : k16;
    t.bright = random() % 3 ? 0xFFFFFF : random() & 0xFFFFFF;
    t.blendByte = random() % 2 ? -1 : static_cast<int>(random() % 256);
    t.dst = random() & (t.type == k32 ? 0xFFFFFFFFu : 0xFFFFu);
    const uint32_t colour = random() & (t.type == k32 ? 0x00FFFFFFu : 0xFFFFu);

    // Alpha at p 255 is the normal mode.
    t.src = colour;
    t.mode = 0;
    const uint32_t normal = DrawTexel(t);
    t.mode = 1;
    EXPECT_EQ(DrawTexel(t), normal) << "round " << round;

    // An opaque alpha texel under the flag draws like the same colour from a source without alpha.
    for (int mode : {0, 1, 2, 3, 4, 10, 11}) {
      t.mode = mode;
      t.param = 1 + static_cast<int>(random() % 255);
      t.alpha = 0;
      t.trans = 0;
      t.src = colour;
      const uint32_t plain = DrawTexel(t);
      t.alpha = 1;
      t.trans = 1;
      t.src = t.type == k32 ? colour | 0xFF000000u : colour | 0xFF0000u;
      // A plain copy of a 32-bit alpha texel also takes its alpha byte.
      const bool copiesAlpha = t.type == k32 && mode == 0 && t.blendByte < 0 && t.bright == 0xFFFFFF;
      const uint32_t alphaResult = DrawTexel(t);
      EXPECT_EQ(copiesAlpha ? alphaResult & 0xFFFFFF : alphaResult, copiesAlpha ? plain & 0xFFFFFF : plain)
          << "round " << round << " mode " << mode;
    }
    t.alpha = 0;
    t.trans = 0;
    t.param = 255;
  }
}

// Random triangles, degenerate, huge and off the image included, in every family and mode: nothing
// outside the draw area changes.
TEST_F(TriangleTest, RandomTrianglesStayInsideTheDrawArea) {
  std::mt19937 random(11);
  const auto coord = [&random]() {
    switch (random() % 4) {
      case 0: return static_cast<int>(random() % 40) - 4;
      case 1: return static_cast<int>(random() % 18000) - 9000;
      case 2: return static_cast<int>(random() % 16384) - 8192;
      default: return static_cast<int>(random() % 5) + 10;
    }
  };
  constexpr uint32_t kModes[] = {0, 1, 2, 3, 4, 5, 10, 11};
  for (int round = 0; round < 1500; ++round) {
    const int type = round % 2 ? k32 : k16;
    const int kind = static_cast<int>(random() % 4);  // 0 flat, 1 direct, 2 alpha, 3 paletted
    TestImage dst(32, 32, type);
    TestImage src(8 + static_cast<int>(random() % 9), 8 + static_cast<int>(random() % 9), type, kind == 3, kind == 2);
    TestImage blend(static_cast<int>(random() % 20) + 1, static_cast<int>(random() % 20) + 1, kMemImgSingle8);
    dst.Fill(0x5A5A);
    src.Fill(random());
    blend.Fill(random() & 0xFF);
    SetBlend(static_cast<int>(kModes[random() % 8]), static_cast<int>(random() % 256));
    SetBright(random() % 2 ? 0xFFFFFF : random() & 0xFFFFFF);
    SetArea(4, 4, 28, 28);
    Draw(dst, kind == 0 ? nullptr : &src, {coord(), coord(), coord(), coord()}, {coord(), coord(), coord(), coord()},
         {coord(), coord(), coord(), coord()}, static_cast<int>(random() % 2), random() % 2 ? &blend : nullptr,
         random());
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        if (x >= 4 && x < 28 && y >= 4 && y < 28) continue;
        ASSERT_EQ(dst.Pixel(x, y), 0x5A5Au) << "round " << round << " at " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace orbel::testing

// Frame conversion: the YUV-to-RGB tables, the two conversion roads and the YUV surface writers, on plain
// buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "orbel/movie/movie_record.h"

namespace orbel {
namespace {

class MovieConvertTest : public ::testing::Test {
 protected:
  void SetUp() override { InitYuvToRgbTable(); }
};

TEST_F(MovieConvertTest, TablesHoldTheStudioRangeFactors) {
  const YuvToRgbTables& t = GetYuvToRgbTables();
  EXPECT_EQ(t.clamp[0], 0);                    // -512
  EXPECT_EQ(t.clamp[kClampOffset - 1], 0);     // -1
  EXPECT_EQ(t.clamp[kClampOffset + 254], 254);
  EXPECT_EQ(t.clamp[kClampOffset + 255], 255);
  EXPECT_EQ(t.clamp[1279], 255);               // 767
  EXPECT_EQ(t.crToRed[255], 26148 * 127);
  EXPECT_EQ(t.cbToGreen[0], -6406 * -128);
  EXPECT_EQ(t.crToGreen[200], -13320 * 72);
  EXPECT_EQ(t.cbToBlue[128], 0);
  EXPECT_EQ(t.luma[235], 4176330);
  EXPECT_EQ(t.luma[255], 4557730);
  EXPECT_EQ(t.luma[0], -305120);

  const struct {
    int y, cb, cr;
    uint8_t b, g, r;
  } cases[] = {
      {16, 128, 128, 0, 0, 0},
      {235, 128, 128, 254, 254, 254},  // 4,176,330 / 16,384 truncates to 254
      {255, 128, 128, 255, 255, 255},  // 278, clamped
      {0, 128, 128, 0, 0, 0},          // below black: clamped
      {128, 128, 255, 130, 27, 255},   // red-heavy: green (2135840 - 1691640) / 16384 = 27, red 333 clamped
      {81, 90, 240, 0, 0, 254},        // a strong red: blue and green fall below zero
  };
  for (const auto& c : cases) {
    uint8_t bgr[3];
    YuvToBgrTable(c.y, c.cb, c.cr, bgr);
    EXPECT_EQ(bgr[0], c.b) << c.y << " " << c.cb << " " << c.cr;
    EXPECT_EQ(bgr[1], c.g) << c.y << " " << c.cb << " " << c.cr;
    EXPECT_EQ(bgr[2], c.r) << c.y << " " << c.cb << " " << c.cr;
  }
}

// Planes of one layout with the luma ramp y = 16 + x + 8 * row and chroma that names its own position.
struct Frame {
  int yw, yh, uvw, uvh;
  std::vector<uint8_t> y, u, v;
  Frame(int w, int h, int cw, int ch) : yw(w), yh(h), uvw(cw), uvh(ch), y(w * h), u(cw * ch), v(cw * ch) {
    for (int r = 0; r < h; ++r)
      for (int x = 0; x < w; ++x) y[r * w + x] = static_cast<uint8_t>(16 + x + 8 * r);
    for (int r = 0; r < ch; ++r)
      for (int x = 0; x < cw; ++x) {
        u[r * cw + x] = static_cast<uint8_t>(100 + 10 * r + x);
        v[r * cw + x] = static_cast<uint8_t>(160 - 10 * r - x);
      }
  }
  YuvPlanes Planes() const { return {y.data(), u.data(), v.data(), yw, uvw, yw, yh, uvw, uvh}; }
};

TEST_F(MovieConvertTest, EachLayoutTakesTheChromaOfItsOwnSample) {
  const struct {
    const char* name;
    int uvw, uvh;  // for an 8 x 4 picture
    int xShift, yShift;
  } layouts[] = {{"4:2:0", 4, 2, 1, 1}, {"4:2:2", 4, 4, 1, 0}, {"4:4:4", 8, 4, 0, 0}};
  for (const auto& l : layouts) {
    const Frame f(8, 4, l.uvw, l.uvh);
    std::vector<uint8_t> out(8 * 4 * 4, 0xEE);
    ConvertYuvToBgrx(f.Planes(), {0, 0, 8, 4}, out.data(), 32);
    for (int row = 0; row < 4; ++row) {
      for (int col = 0; col < 8; ++col) {
        const int at = (row >> l.yShift) * l.uvw + (col >> l.xShift);
        const float yy = static_cast<float>(f.y[row * 8 + col] - 16) * 1.164f;
        const float cb = static_cast<float>(f.u[at] - 128);
        const float cr = static_cast<float>(f.v[at] - 128);
        const uint8_t* p = &out[(row * 8 + col) * 4];
        SCOPED_TRACE(std::string(l.name) + " at " + std::to_string(col) + "," + std::to_string(row));
        // The table road and the floating-point road agree within one step.
        EXPECT_NEAR(p[0], std::clamp(static_cast<int>(yy + 2.018f * cb), 0, 255), 1);
        EXPECT_NEAR(p[1], std::clamp(static_cast<int>(yy - 0.391f * cb - 0.813f * cr), 0, 255), 1);
        EXPECT_NEAR(p[2], std::clamp(static_cast<int>(yy + 1.596f * cr), 0, 255), 1);
        EXPECT_EQ(p[3], 255);
      }
    }
  }
}

TEST_F(MovieConvertTest, OnlyThePictureRegionIsWritten) {
  // A 16 x 8 coded frame whose picture is 6 x 3 at (3, 2): odd offset, odd size.
  const Frame f(16, 8, 8, 4);
  std::vector<uint8_t> out(8 * 4 * 4, 0xEE);  // room for 8 x 4 pixels; only 6 x 3 may change
  ConvertYuvToBgrx(f.Planes(), {3, 2, 6, 3}, out.data(), 32);
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 8; ++col) {
      const uint8_t* p = &out[(row * 8 + col) * 4];
      if (row >= 3 || col >= 6) {
        EXPECT_EQ(p[3], 0xEE) << col << "," << row;
        continue;
      }
      uint8_t bgr[3];
      const int sx = 3 + col;
      const int sy = 2 + row;
      YuvToBgrTable(f.y[sy * 16 + sx], f.u[(sy / 2) * 8 + sx / 2], f.v[(sy / 2) * 8 + sx / 2], bgr);
      EXPECT_EQ(p[0], bgr[0]) << col << "," << row;
      EXPECT_EQ(p[1], bgr[1]) << col << "," << row;
      EXPECT_EQ(p[2], bgr[2]) << col << "," << row;
    }
  }
}

TEST_F(MovieConvertTest, YuvSurfacesGetTheirFourCcByteLayouts) {
  const Frame f(4, 2, 2, 1);  // Y 16 17 18 19 / 24 25 26 27; Cb 100 101; Cr 160 159
  const int pitch = 10;
  std::vector<uint8_t> yv12(pitch * 2 + pitch / 2 * 2, 0);
  ASSERT_TRUE(WriteYuvSurface(f.Planes(), kFourCcYv12, yv12.data(), pitch));
  EXPECT_EQ(std::vector<uint8_t>(yv12.begin(), yv12.begin() + 4), (std::vector<uint8_t>{16, 17, 18, 19}));
  EXPECT_EQ(std::vector<uint8_t>(yv12.begin() + 10, yv12.begin() + 14), (std::vector<uint8_t>{24, 25, 26, 27}));
  EXPECT_EQ(yv12[20], 160);  // V rows first, after the Y rows
  EXPECT_EQ(yv12[21], 159);
  EXPECT_EQ(yv12[25], 100);  // then U rows, half a pitch apart
  EXPECT_EQ(yv12[26], 101);

  std::vector<uint8_t> yuy2(pitch * 2, 0);
  ASSERT_TRUE(WriteYuvSurface(f.Planes(), kFourCcYuy2, yuy2.data(), pitch));
  EXPECT_EQ(std::vector<uint8_t>(yuy2.begin(), yuy2.begin() + 8),
            (std::vector<uint8_t>{16, 100, 17, 160, 18, 101, 19, 159}));
  EXPECT_EQ(std::vector<uint8_t>(yuy2.begin() + 10, yuy2.begin() + 18),
            (std::vector<uint8_t>{24, 100, 25, 160, 26, 101, 27, 159}));

  std::vector<uint8_t> uyvy(pitch * 2, 0);
  ASSERT_TRUE(WriteYuvSurface(f.Planes(), kFourCcUyvy, uyvy.data(), pitch));
  EXPECT_EQ(std::vector<uint8_t>(uyvy.begin(), uyvy.begin() + 8),
            (std::vector<uint8_t>{100, 16, 160, 17, 101, 18, 159, 19}));
  EXPECT_FALSE(WriteYuvSurface(f.Planes(), MakeFourCc('N', 'V', '1', '2'), uyvy.data(), pitch));
}

}  // namespace
}  // namespace orbel

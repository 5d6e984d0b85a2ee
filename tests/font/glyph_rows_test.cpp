// The glyph walk's vector rows held against per-pixel rules written out here: every row width from 1 to
// 40 at every start alignment, each font type's classes, antialiased levels into alpha targets and
// blended over 16- and 32-bit pixels, and 1-bit rows spread from every bit position. Pixels outside the
// row stay untouched.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "orbel/font/glyph_rows.h"

namespace orbel::testing {
namespace {

constexpr int kGuard = 8;  // pixels on each side of the row that must stay as they were

// A row of pixels with guard pixels around it, filled with noise.
struct PixelRow {
  PixelRow(int bytes, int n, std::mt19937& rng) : bytes(bytes), n(n), data(static_cast<size_t>(bytes) * (n + 2 * kGuard) + 3) {
    for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
  }
  // Where the row starts; `skew` moves it off 4-byte alignment.
  uint8_t* Row(int skew) { return data.data() + skew + static_cast<size_t>(bytes) * kGuard; }
  uint32_t At(int skew, int x) {
    uint32_t v = 0;
    std::memcpy(&v, Row(skew) + static_cast<ptrdiff_t>(bytes) * x, static_cast<size_t>(bytes));
    return v;
  }
  void Put(int skew, int x, uint32_t v) { std::memcpy(Row(skew) + static_cast<ptrdiff_t>(bytes) * x, &v, static_cast<size_t>(bytes)); }
  int bytes;
  int n;
  std::vector<uint8_t> data;
};

// Cell values of a type, with runs of empty and full pixels as glyphs have, and 8 bytes of noise past
// the row that the rows may read but must not draw.
std::vector<uint8_t> Values(uint32_t type, int n, std::mt19937& rng) {
  std::vector<uint8_t> v(static_cast<size_t>(n));
  const int pattern = static_cast<int>(rng() % 3);  // 0 noise, 1 mostly empty, 2 mostly full
  for (uint8_t& b : v) {
    const uint32_t r = rng();
    uint8_t value;
    switch (type) {
      case 0: value = r & 1; break;
      case 1: value = r % 3; break;
      case 2: value = r % 16; break;
      default: value = static_cast<uint8_t>(r); break;
    }
    if (pattern == 1 && (r >> 8) % 4 != 0) value = 0;
    if (pattern == 2 && (r >> 8) % 4 != 0) value = type == 0 ? 1 : type == 1 ? 1 : type == 2 ? 15 : 0x0F;
    b = value;
  }
  for (int i = 0; i < 8; ++i) v.push_back(static_cast<uint8_t>(rng() | 0x88));
  return v;
}

// The written pixel of a plain target for a cell value, or false when the pixel is left alone.
bool PlainRule(uint32_t type, uint8_t v, uint32_t color, uint32_t edge, uint32_t* out) {
  switch (type) {
    case 0:
      if (v == 0) return false;
      *out = color;
      return true;
    case 1:
      if (v != 1 && v != 2) return false;
      *out = v == 1 ? color : edge;
      return true;
    case 2:
      if (v < 8) return false;
      *out = color;
      return true;
    default:
      if ((v & 0x0F) >= 8) *out = color;
      else if ((v >> 4) >= 8) *out = edge;
      else return false;
      return true;
  }
}

uint32_t BlendRule(int bytes, uint32_t d, uint32_t c, int a) {
  const auto mix = [a](uint32_t dd, uint32_t cc) { return (dd * static_cast<uint32_t>(256 - a) + cc * static_cast<uint32_t>(a)) / 256; };
  if (bytes == 2) {
    return mix(d >> 11, c >> 11 & 31) << 11 | mix(d >> 5 & 63, c >> 5 & 63) << 5 | mix(d & 31, c & 31);
  }
  return (d & 0xFF000000u) | mix(d >> 16 & 255, c >> 16 & 255) << 16 | mix(d >> 8 & 255, c >> 8 & 255) << 8 |
         mix(d & 255, c & 255);
}

// Runs row(pixels, values, n, slack) on a noisy row for every width 1..40, skew 0..3 and room past
// the row (slack) 0..8, and checks each pixel against rule(before, value) (false: left alone) and
// the guards against their old values.
template <class RowFn, class Rule>
void CheckRows(int bytes, uint32_t type, RowFn row, Rule rule) {
  std::mt19937 rng(7 + type);
  for (int n = 1; n <= 40; ++n) {
    for (int skew = 0; skew < 4; ++skew) {
      for (int round = 0; round < 4; ++round) {
        const int slack = round * kGuard / 3;  // 0, 2, 5, 8
        PixelRow pixels(bytes, n, rng);
        const std::vector<uint8_t> before = pixels.data;
        const std::vector<uint8_t> values = Values(type, n, rng);
        row(pixels.Row(skew), values.data(), n, slack);
        PixelRow expect = pixels;
        expect.data = before;
        for (int x = 0; x < n; ++x) {
          uint32_t out = 0;
          if (rule(expect.At(skew, x), values[static_cast<size_t>(x)], &out)) expect.Put(skew, x, out);
        }
        ASSERT_EQ(pixels.data, expect.data) << "type " << type << " width " << n << " skew " << skew << " slack " << slack;
      }
    }
  }
}

TEST(GlyphRowsTest, MaskedStoresMatchThePerPixelRulesOfEveryType) {
  for (uint32_t type = 0; type < 4; ++type) {
    const glyph::ValueClasses k = glyph::PlainClasses(type);
    CheckRows(2, type, [&](uint8_t* d, const uint8_t* v, int n, int) { glyph::SetRow16(d, v, n, k, 0xF81F, 0x07E0); },
              [&](uint32_t, uint8_t v, uint32_t* out) { return PlainRule(type, v, 0xF81F, 0x07E0, out); });
    CheckRows(4, type, [&](uint8_t* d, const uint8_t* v, int n, int) { glyph::SetRow32(d, v, n, k, 0x00FF8040, 0x000000FF); },
              [&](uint32_t, uint8_t v, uint32_t* out) { return PlainRule(type, v, 0x00FF8040, 0x000000FF, out); });
  }
}

TEST(GlyphRowsTest, OneBitRowsStoreTheColourWhereTheirBitsAreSet) {
  // The cell row: values 0 / 1 packed eight to a byte from the first pixel on, from bit `first`.
  for (const int bytes : {2, 4}) {
    const uint32_t color = bytes == 2 ? 0xF81Fu : 0x00FF8040u;
    for (int first = 0; first < 8; ++first) {
      CheckRows(bytes, 0,
                [&](uint8_t* d, const uint8_t* v, int n, int slack) {
                  std::vector<uint8_t> row(16, 0);
                  for (int i = 0; i < 16 * 8; ++i) {
                    // The row's bits, then the noise past it, shifted to start at `first`.
                    const int x = i - first;
                    const int bit = x < 0 ? 1 : x < n ? v[x] : v[static_cast<size_t>(n + (x - n) % 8)] & 1;
                    row[static_cast<size_t>(i >> 3)] |= static_cast<uint8_t>(bit << (7 - (i & 7)));
                  }
                  glyph::SetBitsRow(bytes, d, row.data(), first, n, slack, color);
                },
                [&](uint32_t, uint8_t v, uint32_t* out) {
                  if (v == 0) return false;
                  *out = color;
                  return true;
                });
    }
  }
}

TEST(GlyphRowsTest, LevelsBecomeAlphaAtBothColourDepths) {
  for (const int shift : {20, 28}) {
    const uint32_t color = shift == 20 ? 0xA5A5u : 0x123456u;
    CheckRows(4, 2, [&](uint8_t* d, const uint8_t* v, int n, int) { glyph::LevelRow32(d, v, n, color, shift); },
              [&](uint32_t, uint8_t v, uint32_t* out) {
                if (v == 0) return false;
                *out = static_cast<uint32_t>(v) << shift | color;
                return true;
              });
  }
}

TEST(GlyphRowsTest, LevelsBlendOverSixteenAndThirtyTwoBitPixels) {
  for (const uint32_t color : {0xFFFFu, 0x0000u, 0x8410u}) {
    CheckRows(2, 2, [&](uint8_t* d, const uint8_t* v, int n, int slack) { glyph::BlendRow16(d, v, n, slack, color); },
              [&](uint32_t d, uint8_t v, uint32_t* out) {
                if (v == 0) return false;
                *out = BlendRule(2, d, color, v * 16);
                return true;
              });
  }
  for (const uint32_t color : {0xFFFFFFu, 0x000000u, 0x80FF01u}) {
    CheckRows(4, 2, [&](uint8_t* d, const uint8_t* v, int n, int slack) { glyph::BlendRow32(d, v, n, slack, color); },
              [&](uint32_t d, uint8_t v, uint32_t* out) {
                if (v == 0) return false;
                *out = BlendRule(4, d, color, v * 16);
                return true;
              });
  }
  // The single-pixel form used by the edge mix agrees with the rule at every alpha.
  std::mt19937 rng(3);
  for (int a = 0; a <= 256; ++a) {
    const uint32_t d = rng();
    const uint32_t c = rng() & 0xFFFFFF;
    uint8_t p[4];
    std::memcpy(p, &d, 4);
    glyph::BlendPixel32(p, c, a);
    uint32_t got = 0;
    std::memcpy(&got, p, 4);
    EXPECT_EQ(got, BlendRule(4, d, c, a)) << a;
    std::memcpy(p, &d, 2);
    glyph::BlendPixel16(p, c & 0xFFFF, a);
    uint16_t got16 = 0;
    std::memcpy(&got16, p, 2);
    EXPECT_EQ(got16, BlendRule(2, d & 0xFFFF, c & 0xFFFF, a)) << a;
  }
}

TEST(GlyphRowsTest, OneBitRowsSpreadFromEveryBitPosition) {
  std::mt19937 rng(5);
  std::vector<uint8_t> row(8);
  for (int round = 0; round < 20; ++round) {
    for (uint8_t& b : row) b = static_cast<uint8_t>(rng());
    for (int first = 0; first < 24; ++first) {
      for (int n = 1; first + n <= 64 && n <= 40; ++n) {
        uint8_t buffer[40 + 16];
        const uint8_t* spread = glyph::SpreadBits(row.data(), first, n, buffer);
        for (int i = 0; i < n; ++i) {
          const int x = first + i;
          ASSERT_EQ(spread[i], (row[static_cast<size_t>(x >> 3)] >> (7 - (x & 7))) & 1) << first << " " << n << " " << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace orbel::testing

// ConvertImageColor: each road's exact values (fast roads keep zero low bits, the general road spreads
// to the full range), the flags, dither, mirroring, and the palette roads.
#include "orbel/image/color_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace orbel {
namespace {

// A small picture with its own storage.
struct Pic {
  ColorData f{};
  int w = 0, h = 0, pitch = 0;
  std::vector<uint8_t> px;

  Pic(const ColorData& format, int width, int height, uint8_t fill = 0) : f(format), w(width), h(height) {
    pitch = (width * format.bytesPerPixel + 3) & ~3;
    px.assign(static_cast<size_t>(pitch) * height, fill);
  }
  // One row holding the values.
  Pic(const ColorData& format, std::initializer_list<uint32_t> values)
      : Pic(format, static_cast<int>(values.size()), 1) {
    int x = 0;
    for (uint32_t v : values) Set(x++, 0, v);
  }
  uint32_t Get(int x, int y) const {
    uint32_t v = 0;
    for (int i = 0; i < f.bytesPerPixel; ++i) v |= static_cast<uint32_t>(px[y * pitch + x * f.bytesPerPixel + i]) << (8 * i);
    return v;
  }
  void Set(int x, int y, uint32_t v) {
    for (int i = 0; i < f.bytesPerPixel; ++i) px[y * pitch + x * f.bytesPerPixel + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  std::vector<uint32_t> Row(int y) const {
    std::vector<uint32_t> r;
    for (int x = 0; x < w; ++x) r.push_back(Get(x, y));
    return r;
  }
};

struct Flags {
  int mirror = 0, transparent = 0;
  uint32_t transColor = 0;
  int option = 0, colorClear = 0, alphaFromRed = 0, keySkip = 0, paletteRemap = 0;
  const Pic* alpha = nullptr;
};

int Convert(Pic& dst, const Pic& src, const Flags& o = {}, int destX = 0, int destY = 0) {
  plat::RECT r{0, 0, src.w, src.h};
  return ConvertImageColor(dst.px.data(), dst.pitch, &dst.f, src.px.data(), src.pitch, &src.f,
                           o.alpha ? o.alpha->px.data() : nullptr, o.alpha ? o.alpha->pitch : 0,
                           o.alpha ? &o.alpha->f : nullptr, destX, destY, &r, o.mirror, o.transparent, o.transColor,
                           o.option, o.colorClear, o.alphaFromRed, o.keySkip, o.paletteRemap);
}

// Converts `src` into a fresh zeroed picture of the format and size and returns its first row.
std::vector<uint32_t> Converted(const ColorData& to, const Pic& src, const Flags& o = {}) {
  Pic dst(to, src.w, src.h);
  Convert(dst, src, o);
  return dst.Row(0);
}
using Values = std::vector<uint32_t>;

ColorData Format(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorData f{};
  BuildColorFormat(&f, depth, r, g, b, a);
  return f;
}
const ColorData kR565 = Format(16, 0xF800, 0x07E0, 0x001F, 0);
const ColorData kX555 = Format(16, 0x7C00, 0x03E0, 0x001F, 0);
const ColorData kA1555 = Format(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
const ColorData kR888 = Format(24, 0xFF0000, 0xFF00, 0xFF, 0);
const ColorData kX8888 = Format(32, 0xFF0000, 0xFF00, 0xFF, 0);
const ColorData kA8888 = Format(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);

ColorData Palette(std::initializer_list<uint32_t> colors) {
  ColorData f{};
  SetColorData8Bit(&f);
  int i = 0;
  for (uint32_t c : colors) {
    f.palette[i++] = ColorPaletteEntry{static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16), 0};
  }
  return f;
}

TEST(ConvertImageColor, EmptyRectangleWritesNothing) {
  Pic src(kX8888, 2, 2, 0x11), dst(kX8888, 2, 2, 0xEE);
  plat::RECT r{1, 0, 1, 2};
  EXPECT_EQ(ConvertImageColor(dst.px.data(), dst.pitch, &dst.f, src.px.data(), src.pitch, &src.f, nullptr, 0, nullptr,
                              0, 0, &r, 0, 0, 0, 0, 0, 0, 0, 0),
            -1);
  EXPECT_EQ(dst.Get(0, 0), 0xEEEEEEEEu);
}

TEST(ConvertImageColor, SixteenBitPairsUseFixedFormulas) {
  // Widths 7: the 4-pixel steps and the single-pixel tail both run.
  struct Case {
    const ColorData* from;
    const ColorData* to;
    uint16_t in, out;
  } cases[] = {
      {&kR565, &kX555, 0xFFFF, 0x7FFF}, {&kX555, &kR565, 0x7FFF, 0xFFFF}, {&kX555, &kR565, 0x0020, 0x0060},
      {&kR565, &kX555, 0x0840, 0x0420}, {&kX555, &kR565, 0x8000, 0x0000},
  };
  for (const Case& c : cases) {
    Pic src(*c.from, 7, 2), dst(*c.to, 7, 2, 0xAA);
    for (int x = 0; x < 7; ++x) src.Set(x, 1, c.in);
    EXPECT_EQ(Convert(dst, src), 0);
    EXPECT_EQ(dst.Get(6, 1), c.out) << std::hex << c.in;
    EXPECT_EQ(dst.Get(0, 1), c.out) << std::hex << c.in;
  }
}

TEST(ConvertImageColor, FastRoadsShiftGeneralRoadSpreads) {
  Pic src(kR565, {0xF800 | (32 << 5)});  // red 31, green 32 of 63
  EXPECT_EQ(Converted(kR888, src), Values{0xF88000}) << "fast: red 31 -> 248";
  EXPECT_EQ(Converted(kX8888, src), Values{0x00F88000}) << "fast 5:6:5 to X8R8G8B8 leaves the top byte 0";

  // An alpha image sends the same pair through the general road.
  Pic alpha(kR888, {0x800000});  // red 128 gives the alpha
  EXPECT_EQ(Converted(kA8888, src, {.alpha = &alpha}), Values{0x80FF8100}) << "general: 31 -> 255, 32 of 63 -> 129";
  EXPECT_EQ(Converted(kA8888, Pic(kX555, {16 << 10}), {.alpha = &alpha})[0] >> 16 & 0xFF, 131u)
      << "5-bit 16 widens to 131";

  // Narrowing on the fast road keeps the top bits; none bits of 16-bit results stay clear.
  Pic rgb(kR888, {0xFFFFFF, 0x0F0F0F});
  EXPECT_EQ(Converted(kX555, rgb), (Values{0x7FFF, 0x0421}));
  EXPECT_EQ(Converted(kX8888, rgb)[1], 0xFF0F0F0Fu);
}

TEST(ConvertImageColor, TransparentColourBecomesAlphaZero) {
  Pic src(Palette({0x000000, 0xFF00FF, 0xFF00FE, 0xFFFFFF}), {0, 1, 2, 3});
  const Flags o{.transparent = 1, .transColor = 0xFF00FF};
  EXPECT_EQ(Converted(kA1555, src, o), (Values{0x8000, 0x7C1F, 0xFC1F, 0xFFFF})) << "only exact magenta";
  EXPECT_EQ(Converted(kA8888, src, o), (Values{0xFF000000, 0x00FF00FF, 0xFFFF00FE, 0xFFFFFFFF}));
  // Same colour layout, destination with alpha: the colour-key road.
  EXPECT_EQ(Converted(kA8888, Pic(kX8888, {0x00FF00FF, 0x00FF00FE}), o), (Values{0x00FF00FF, 0xFFFF00FE}));
  // 5:6:5 source: compared after its conversion to 5:5:5 (green's low bit differs only in 5:6:5).
  EXPECT_EQ(Converted(kA1555, Pic(kR565, {0xF81F, 0xF83F}), o), (Values{0x7C1F, 0x7C1F}));
  // A source with alpha of its own clears the transparent flag.
  EXPECT_EQ(Converted(kA8888, Pic(kA8888, {0x40FF00FF}), o), Values{0x40FF00FF});
}

TEST(ConvertImageColor, MirrorAndKeySkip) {
  Pic src(kX8888, {1, 2, 3});
  EXPECT_EQ(Converted(kX8888, src, {.mirror = 1}), (Values{3, 2, 1}));

  Pic into(kX8888, 5, 1, 0x99);
  Convert(into, src, {.transColor = 2, .keySkip = 1}, 1, 0);
  EXPECT_EQ(into.Row(0), (Values{0x99999999, 1, 0x99999999, 3, 0x99999999}));

  // The general road skips too (5:6:5 source, key is a raw source value).
  Pic d(kX8888, 2, 1, 0x55);
  Convert(d, Pic(kR565, {0x1234, 0xFFFF}), {.transColor = 0x1234, .keySkip = 1});
  EXPECT_EQ(d.Row(0), (Values{0x55555555, 0xFFFFFFFF}));
}

TEST(ConvertImageColor, AlphaSourcesAndChannelFlags) {
  ColorData grey{};
  SetColorDataGray8(&grey);
  Pic mask(grey, {0x30, 0xFF});
  Pic src(kR888, {0x102030, 0x405060});
  EXPECT_EQ(Converted(kA8888, src, {.alpha = &mask}), (Values{0x30102030, 0xFF405060}))
      << "a grey picture is an alpha mask";
  EXPECT_EQ(Converted(kA8888, src, {.alphaFromRed = 1}), (Values{0x10102030, 0x40405060}));
  EXPECT_EQ(Converted(kA8888, src, {.colorClear = 1, .alpha = &mask}), (Values{0x30000000, 0xFF000000}));
  // A destination without alpha ignores the alpha image; X8R8G8B8 gets its none bits.
  EXPECT_EQ(Converted(kX8888, src, {.alpha = &mask})[0], 0xFF102030u);
}

TEST(ConvertImageColor, DitherOptionsSpreadDroppedBits) {
  // Red 4 to 5 bits drops 4 of 8 in every pixel; green 4 to 6 bits drops nothing.
  Pic src(kX8888, 8, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) src.Set(x, y, 0x040400);
  auto reds = [](const Pic& p, int y) {
    Values r;
    for (int x = 0; x < p.w; ++x) r.push_back(p.Get(x, y) >> 11);
    return r;
  };
  EXPECT_EQ(Converted(kR565, src)[0], 0x0020u) << "no dither: fast road, green 1";

  Pic ordered(kR565, 8, 2);
  Convert(ordered, src, {.option = kConvertOrderedDither});
  // Row 0 thresholds (0, 8, 2, 10) x 8 / 16 = 0, 4, 1, 5; row 1 (12, 4, 14, 6) -> 6, 2, 7, 3.
  EXPECT_EQ(reds(ordered, 0), (Values{1, 0, 1, 0, 1, 0, 1, 0}));
  EXPECT_EQ(reds(ordered, 1), (Values{0, 1, 0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(ordered.Get(0, 0) >> 5 & 63, 1u);

  Pic carried(kR565, 8, 2);
  Convert(carried, src, {.option = kConvertCarriedDither});
  // The accumulator runs over the whole call: 4, 8 (carry), 4, 8 (carry), ...
  EXPECT_EQ(reds(carried, 0), (Values{0, 1, 0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(reds(carried, 1), (Values{0, 1, 0, 1, 0, 1, 0, 1}));

  // A dithered channel at its maximum clamps instead of wrapping.
  EXPECT_EQ(Converted(kR565, Pic(kX8888, {0xFFFFFF}), {.option = kConvertOrderedDither}), Values{0xFFFF});
}

TEST(ConvertImageColor, PaletteRoads) {
  ColorData pal = Palette({0x000000, 0x808080, 0xFFFFFF});
  Pic src(pal, {2, 0, 1});
  Pic same(pal, 3, 1);
  EXPECT_EQ(Convert(same, src), 2) << "the largest index copied";
  EXPECT_EQ(Convert(same, src, {.mirror = 1}), 2);
  EXPECT_EQ(same.Row(0), (Values{1, 0, 2})) << "indices are mirrored";

  Pic remapped(Palette({0xFFFFFF, 0x000000, 0x7F7F7F}), 3, 1);
  EXPECT_EQ(Convert(remapped, src, {.paletteRemap = 1}), 0);
  EXPECT_EQ(remapped.Row(0), (Values{0, 1, 2}));

  Pic toPal(pal, 2, 1);
  EXPECT_EQ(Convert(toPal, Pic(kR565, {0xFFFF, 0x8410})), 0);  // 16/32/16: just over half
  EXPECT_EQ(toPal.Row(0), (Values{2, 1}));

  EXPECT_EQ(Converted(kX8888, src), (Values{0xFFFFFFFF, 0xFF000000, 0xFF808080}));
}

}  // namespace
}  // namespace orbel

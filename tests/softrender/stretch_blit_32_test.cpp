// The stretched blit's 32-bit pixel code: direct sources (modes 1-4, 10, the full-strength subtract
// with and without the MMX flag), copy and multiply-then-alpha, and paletted sources; per case the
// three channels and what becomes of byte 3.
#include <gtest/gtest.h>

#include <cstdint>

#include "softrender_test_support.h"

namespace orbel::testing {
namespace {

using StretchPixels32 = SoftDrawTest;

TEST_F(StretchPixels32, DirectSourceFormulas) {
  const PixelCase cases[] = {
      {"alpha p128 white over black keeps byte 3", {.mode = 1, .param = 128, .src = 0x00FFFFFF, .dst = 0xAB000000}, 0xAB7F7F7F},
      {"alpha a0 without TransFlag keeps d", {.alpha = 1, .mode = 1, .param = 128, .src = 0x00FFFFFF, .dst = 0x11223344}, 0x11223344},
      {"alpha a255 under TransFlag drops a", {.alpha = 1, .mode = 1, .param = 128, .trans = 1, .src = 0xFFFFFFFF, .dst = 0}, 0x007F7F7F},
      {"alpha, w and a", {.alpha = 1, .mode = 1, .param = 128, .blendByte = 128, .src = 0x80FFFFFF, .dst = 0}, 0x001F1F1F},
      {"invert p255 of white", {.mode = 10, .src = 0x00FFFFFF, .dst = 0x80404040}, 0x80000000},
      {"invert under brightness", {.mode = 10, .bright = 0x808080, .src = 0, .dst = 0}, 0x007F7F7F},
      {"add blue 255 to blue 1", {.mode = 2, .src = 0xFF, .dst = 0x01}, 0x000001FF},
      {"add red 255 to red 2", {.mode = 2, .src = 0x00FF0000, .dst = 0x00020000}, 0x01FF0000},
      {"add red 255 to red 1", {.mode = 2, .src = 0x00FF0000, .dst = 0x00010000}, 0x00FF0000},
      {"add 0 clears byte 3", {.mode = 2, .src = 0, .dst = 0x80123456}, 0x00123456},
      {"add with a factor", {.alpha = 1, .mode = 2, .param = 255, .src = 0x80FF8000, .dst = 0}, 0x007F3F00},
      {"subtract 0 sets the low bits", {.mode = 3, .param = 128, .src = 0, .dst = 0x80102030}, 0x00112130},
      {"subtract blue 255 from blue 1", {.alpha = 1, .mode = 3, .trans = 1, .src = 0xFF0000FF, .dst = 1}, 0x00010000},
      {"full strength, MMX flag 1", {.mode = 3, .mmx = 1, .src = 0x20102030, .dst = 0x80402010}, 0x60300000},
      {"full strength, MMX flag 0", {.mode = 3, .mmx = 0, .src = 0x20102030, .dst = 0x80402010}, 0x00310000},
      {"multiply ignores p", {.mode = 4, .param = 0, .src = 0x00FFFFFF, .dst = 0x00FFFFFF}, 0x00FEFEFE},
      {"multiply weight 0 blackens", {.mode = 4, .blendByte = 0, .src = 0x00FFFFFF, .dst = 0x80FFFFFF}, 0x80000000},
      {"multiply a0 without TransFlag blackens", {.alpha = 1, .mode = 4, .src = 0x00FFFFFF, .dst = 0x80FFFFFF}, 0x80000000},
      {"TransColor equal in all 32 bits skips", {.mode = 2, .trans = 1, .transColor = 0x01123456, .src = 0x01123456, .dst = 0}, 0},
      {"TransColor differing in byte 3 draws", {.mode = 2, .trans = 1, .transColor = 0x01123456, .src = 0x02123456, .dst = 0}, 0x00123456},
  };
  ExpectPixelCases(cases);
}

TEST_F(StretchPixels32, CopyAndMultiplyThenAlpha) {
  const PixelCase cases[] = {
      {"copy a255 under TransFlag: all four bytes", {.alpha = 1, .trans = 1, .src = 0xFF102030, .dst = 0}, 0xFF102030},
      {"copy a128 under TransFlag: three bytes", {.alpha = 1, .trans = 1, .src = 0x80FFFFFF, .dst = 0x11000000}, 0x117F7F7F},
      {"copy a0 under TransFlag skips", {.alpha = 1, .trans = 1, .src = 0x00FFFFFF, .dst = 0x11223344}, 0x11223344},
      {"copy a255 without TransFlag", {.alpha = 1, .src = 0xFFFFFFFF, .dst = 0x11000000}, 0x11FEFEFE},
      {"copy alpha pixel equal to TransColor", {.alpha = 1, .trans = 1, .transColor = 0x80FFFFFF, .src = 0x80FFFFFF, .dst = 0x11000000}, 0x117F7F7F},
      {"copy under brightness keeps byte 3", {.bright = 0x808080, .src = 0x77FF8040, .dst = 0xAA000000}, 0xAA804020},
      {"bright copy a255 under TransFlag keeps byte 3", {.alpha = 1, .bright = 0x808080, .trans = 1, .src = 0xFFFF8040, .dst = 0xAA000000}, 0xAA804020},
      {"copy with weight 255 over black", {.blendByte = 255, .src = 0x00FFFFFF, .dst = 0}, 0x00FEFEFE},
      {"mode 1 p255 is the copy", {.mode = 1, .param = 255, .src = 0x7F123456, .dst = 0}, 0x7F123456},
      {"mode 11: 255 over 255", {.mode = 11, .src = 0x00FFFFFF, .dst = 0x00FFFFFF}, 0x00FEFEFE},
      {"mode 11: 0 over 255", {.mode = 11, .src = 0, .dst = 0x00FFFFFF}, 0},
      {"mode 11 p0 keeps d", {.mode = 11, .param = 0, .src = 0, .dst = 0x12345678}, 0x12345678},
      {"mode 11 weight 0 keeps d", {.mode = 11, .blendByte = 0, .src = 0, .dst = 0x12345678}, 0x12345678},
      {"mode 11 w 255, a 254: sum past 2^31", {.alpha = 1, .mode = 11, .blendByte = 255, .src = 0xFEFFFFFF, .dst = 0x00FFFFFF}, 0x00FEFEFE},
  };
  ExpectPixelCases(cases);
}

TEST_F(StretchPixels32, PalettedFormulas) {
  auto pal = [](int mode, int param, uint32_t entry, uint32_t dst) {
    return PixelDraw{.paletted = 1, .mode = mode, .param = param, .src = 3, .palette = entry, .dst = dst};
  };
  auto with = [](PixelDraw d, auto change) {
    change(d);
    return d;
  };
  const PixelCase cases[] = {
      {"copy writes the whole entry", pal(0, 255, 0x7F102030, 0), 0x7F102030},
      {"bright copy keeps byte 3", with(pal(0, 255, 0x00FF8040, 0xAA000000), [](PixelDraw& d) { d.bright = 0x808080; }), 0xAA804020},
      {"copy weight 255 over black", with(pal(0, 255, 0x00FFFFFF, 0), [](PixelDraw& d) { d.blendByte = 255; }), 0x00FEFEFE},
      {"copy weight 0 keeps d", with(pal(0, 255, 0x00FFFFFF, 0x12345678), [](PixelDraw& d) { d.blendByte = 0; }), 0x12345678},
      {"alpha p128", pal(1, 128, 0x00FFFFFF, 0), 0x007F7F7F},
      {"add a black entry clears byte 3", pal(2, 255, 0, 0x80102030), 0x00102030},
      {"add 100 to 200", pal(2, 255, 0x00646464, 0x00C8C8C8), 0x01FFFFFF},
      {"add 1 to green 1 and blue 1", pal(2, 255, 0x00000101, 0x00000101), 0x00000102},
      {"subtract p0 is drawn", pal(3, 0, 0x00FFFFFF, 0x80102030), 0x00112130},
      {"full strength, MMX flag 1", pal(3, 255, 0x00101010, 0x80402010), 0x80301000},
      {"full strength, MMX flag 0", with(pal(3, 255, 0x00101010, 0x80402010), [](PixelDraw& d) { d.mmx = 0; }), 0x00311100},
      {"multiply by white", pal(4, 0, 0x00FFFFFF, 0x00FFFFFF), 0x00FEFEFE},
      {"invert a white entry", pal(10, 255, 0x00FFFFFF, 0x00FFFFFF), 0},
      {"invert a black entry over black", pal(10, 255, 0, 0), 0x00FEFEFE},
      {"mode 11 p255", pal(11, 255, 0x00FFFFFF, 0x00FFFFFF), 0x00FEFEFE},
      {"TransColor 0 skips index 0",
       with(pal(2, 255, 0x00FFFFFF, 0x12345678), [](PixelDraw& d) { d.trans = 1, d.src = 0; }), 0x12345678},
  };
  ExpectPixelCases(cases);
}

}  // namespace
}  // namespace orbel::testing

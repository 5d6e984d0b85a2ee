// Helpers of the stretched-blit, box and line tests.
#include "stretch_test_support.h"

#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/stretch_blit.h"

namespace orbel::testing {

TestImage::TestImage(int width, int height, int colorType, int paletted, int alpha, uint32_t transColor) {
  const int result = InitializeMemImg(&img_, width, height, -1, transColor, colorType, paletted, alpha, 0, nullptr);
  if (result != 0) ADD_FAILURE() << "InitializeMemImg failed for " << width << "x" << height;
}

TestImage::~TestImage() { TerminateMemImg(&img_); }

void TestImage::Fill(uint32_t value) {
  for (int y = 0; y < height(); ++y) {
    for (int x = 0; x < width(); ++x) {
      switch (img_.base->pixelBytes) {
        case 1:
          Set8(x, y, value);
          break;
        case 2:
          Set16(x, y, value);
          break;
        default:
          Set32(x, y, value);
          break;
      }
    }
  }
}

void TestImage::SetPalette(int index, uint32_t value) {
  MemImgBase* base = img_.base;
  if (base->colorType == kMemImgR5G6B5) {
    const uint16_t w = static_cast<uint16_t>(value);
    std::memcpy(base->palette + index * 2, &w, 2);
  } else {
    std::memcpy(base->palette + index * 4, &value, 4);
  }
  if (base->paletteCount <= index) base->paletteCount = index + 1;
}

uint32_t TestImage::Pixel(int x, int y) const {
  switch (img_.base->pixelBytes) {
    case 1:
      return Get8(x, y);
    case 2:
      return Get16(x, y);
    default:
      return Get32(x, y);
  }
}

uint32_t DrawOnePixel(const PixelDraw& draw) {
  TestImage src(1, 1, draw.type, draw.paletted, draw.alpha, draw.transColor);
  TestImage dst(1, 1, draw.type);
  if (draw.paletted) {
    src.SetPalette(static_cast<int>(draw.src & 0xFF), draw.palette);
    src.Set8(0, 0, draw.src);
  } else if (draw.type == kMemImgR5G6B5 && !draw.alpha) {
    src.Set16(0, 0, draw.src);
  } else {
    src.Set32(0, 0, draw.src);
  }
  dst.Fill(draw.dst);
  TestImage blend(1, 1, kMemImgSingle8);
  blend.Set8(0, 0, draw.blendByte < 0 ? 0 : draw.blendByte);
  gDrawState.blendMode = static_cast<uint32_t>(draw.mode);
  gDrawState.blendParam = static_cast<uint32_t>(draw.param);
  gDrawState.brightColor = draw.bright;
  const plat::RECT mirrored = {1, 0, 0, 1};
  DrawExtendMemImgMmx(dst.img(), src.img(), &mirrored, draw.trans, draw.blendByte < 0 ? nullptr : blend.img(),
                      draw.mmx);
  return dst.Pixel(0, 0);
}

void SoftDrawTest::SetUpTestSuite() { InitMemImgTables(); }

void SoftDrawTest::SetUp() {
  VirtualClockTest::SetUp();
  SetBlend(0, 255);
  SetBright(0xFFFFFF);
  SetArea(0, 0, 4096, 4096);
  MakeBlendGraphWeightTable(128, 255);  // weight i = i
}

}  // namespace orbel::testing

// Helpers of the softrender tests; golden PNGs through libpng's simplified API.
#include "softrender_test_support.h"

#include <png.h>

#include <cstdlib>
#include <filesystem>

#include "orbel/image/color_data.h"
#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/plain_blit.h"
#include "orbel/softrender/stretch_blit.h"

namespace orbel::testing {

TestImage::TestImage(int width, int height, int colorType, int paletted, int alpha, uint32_t transColor, int layers) {
  EXPECT_EQ(InitializeMemImg(&img_, width, height, -1, transColor, colorType, paletted, alpha, layers, nullptr), 0)
      << width << "x" << height;
}

void TestImage::SetPalette(int index, uint32_t v) {
  const int size = img_.base->colorType == kMemImgR5G6B5 ? 2 : 4;
  std::memcpy(img_.base->palette + index * size, &v, static_cast<size_t>(size));
  if (img_.base->paletteCount <= index) img_.base->paletteCount = index + 1;
}

uint32_t Color(int type, int r, int g, int b, int top) {
  if (type == kMemImgR5G6B5) return static_cast<uint32_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
  return static_cast<uint32_t>(top) << 24 | static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 |
         static_cast<uint32_t>(b);
}

std::vector<uint32_t> ToRgb(const TestImage& img) {
  std::vector<uint32_t> out;
  const bool is16 = img.img()->base->colorType == kMemImgR5G6B5;
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      const uint32_t v = img.Pixel(x, y);
      out.push_back(is16 ? ((v >> 11) & 31) << 19 | ((v >> 5) & 63) << 10 | (v & 31) << 3 : v & 0xFFFFFF);
    }
  }
  return out;
}

void PlainBlitTest::SetUpTestSuite() { InitMemImgTables(); }

void PlainBlitTest::SetUp() {
  VirtualClockTest::SetUp();
  InitDrawStateDefaults();
  SetDrawClipArea(0, 0, 640, 480);
}

void SoftDrawTest::SetUpTestSuite() { InitMemImgTables(); }

void SoftDrawTest::SetUp() {
  VirtualClockTest::SetUp();
  SetBlend(0, 255);
  SetBright(0xFFFFFF);
  SetArea(0, 0, 4096, 4096);
  MakeBlendGraphWeightTable(128, 255);  // weight i = i
}

uint32_t DrawOnePixel(const PixelDraw& draw) {
  TestImage src(1, 1, draw.type, draw.paletted, draw.alpha, draw.transColor);
  TestImage dst(1, 1, draw.type);
  if (draw.paletted) src.SetPalette(static_cast<int>(draw.src & 0xFF), draw.palette);
  src.Set(0, 0, draw.src);
  dst.Fill(draw.dst);
  TestImage blend(1, 1, kMemImgSingle8);
  blend.Set(0, 0, draw.blendByte < 0 ? 0 : draw.blendByte);
  gDrawState.blendMode = static_cast<uint32_t>(draw.mode);
  gDrawState.blendParam = static_cast<uint32_t>(draw.param);
  gDrawState.brightColor = draw.bright;
  const plat::RECT mirrored = {1, 0, 0, 1};
  DrawExtendMemImgMmx(dst.img(), src.img(), &mirrored, draw.trans, draw.blendByte < 0 ? nullptr : blend.img(),
                      draw.mmx);
  return dst.Pixel(0, 0);
}

int TestImage::Load(const std::vector<uint32_t>& values) {
  const int bpp = img_.base->pixelBytes;
  std::vector<uint8_t> bytes(static_cast<size_t>(img_.width) * img_.height * bpp);
  for (size_t i = 0; i < values.size() && i * bpp < bytes.size(); ++i) std::memcpy(&bytes[i * bpp], &values[i], bpp);
  GraphImage image{};
  image.format = *img_.base->colorData;  // the same format: a plain row copy
  image.width = static_cast<uint32_t>(img_.width);
  image.height = static_cast<uint32_t>(img_.height);
  image.pitch = static_cast<uint32_t>(img_.width * bpp);
  image.pixels = bytes.data();
  if (img_.base->paletted) {
    // Palette entries as the picture's B, G, R bytes, taken back from the image's own palette words.
    for (int i = 0; i < 256; ++i) {
      uint32_t rgb;
      if (img_.base->colorType == kMemImgR5G6B5) {
        uint16_t w;
        std::memcpy(&w, img_.base->palette + 2 * i, 2);
        rgb = ((w >> 11) & 31u) << 19 | ((w >> 5) & 63u) << 10 | (w & 31u) << 3;
      } else {
        std::memcpy(&rgb, img_.base->palette + 4 * i, 4);
      }
      image.format.palette[i] = {static_cast<uint8_t>(rgb), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb >> 16), 0};
    }
  }
  return TransferImageToMemImg(&image, nullptr, &img_, 0, 0, img_.width, img_.height, 0, 0, 0);
}

::testing::AssertionResult CheckRow(int colorType, const RowCase& c) {
  constexpr int kWidth = 9;
  SetBlendState(c.mode, c.param);
  SetDrawBrightColorValue(c.bright);
  TestImage src(kWidth, 1, colorType, c.paletted, c.alpha, c.key);
  TestImage dst(kWidth, 1, colorType);
  TestImage blend(kWidth, 1, kMemImgSingle8);
  if (c.paletted) src.SetPalette(static_cast<int>(c.src), c.paletteEntry);
  if (c.run) {
    if (src.Load(std::vector<uint32_t>(kWidth, c.src)) < 0 || src.base()->runTableValid != 1) {
      return ::testing::AssertionFailure() << c.name << ": no run table";
    }
  } else {
    src.Fill(c.src);
  }
  dst.Fill(c.dst);
  MakeBlendGraphWeightTable(128, 255);  // weight i = i
  blend.Fill(static_cast<uint32_t>(c.blendByte));
  DrawMemImgWithMmxFlag(dst.img(), src.img(), 0, 0, c.trans, c.blendByte >= 0 ? blend.img() : nullptr, c.mmx);
  for (int x = 0; x < kWidth; ++x) {
    if (dst.Pixel(x, 0) != c.expect) {
      char text[120];
      std::snprintf(text, sizeof(text), ": pixel %d is 0x%08X, expected 0x%08X", x, dst.Pixel(x, 0), c.expect);
      return ::testing::AssertionFailure() << c.name << text;
    }
  }
  return ::testing::AssertionSuccess();
}

namespace {

bool WritePng(const std::filesystem::path& path, int width, int height, const std::vector<uint32_t>& rgb) {
  std::vector<uint8_t> bytes;
  bytes.reserve(rgb.size() * 3);
  for (uint32_t v : rgb) {
    bytes.push_back(static_cast<uint8_t>(v >> 16));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v));
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, bytes.data(), 0, nullptr) != 0;
}

bool ReadPng(const std::filesystem::path& path, int* width, int* height, std::vector<uint32_t>* rgb) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return false;
  *width = static_cast<int>(image.width);
  *height = static_cast<int>(image.height);
  rgb->clear();
  for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
    rgb->push_back(static_cast<uint32_t>(bytes[i]) << 16 | static_cast<uint32_t>(bytes[i + 1]) << 8 | bytes[i + 2]);
  }
  return true;
}

}  // namespace

::testing::AssertionResult WideMatchesSingle(const std::vector<uint32_t>& dstPixels, TestImage& src,
                                             const MemImg* blend, int trans, int mmx) {
  const int w = src.img()->width;
  const int h = src.img()->height;
  const int colorType = src.base()->colorType;
  TestImage wide(w, h, colorType);
  TestImage single(w, h, colorType);
  for (int i = 0; i < w * h; ++i) {
    wide.Set(i % w, i / w, dstPixels[i]);
    single.Set(i % w, i / w, dstPixels[i]);
  }
  DrawMemImgWithMmxFlag(wide.img(), src.img(), 0, 0, trans, blend, mmx);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      MemImg sv{}, bv{};
      if (DeriveMemImg(&sv, src.img(), x, y, 1, 1) != 0) return ::testing::AssertionFailure() << "no view at " << x << "," << y;
      if (blend != nullptr && DeriveMemImg(&bv, blend, x, y, 1, 1) != 0) {
        TerminateMemImg(&sv);
        return ::testing::AssertionFailure() << "no blend view at " << x << "," << y;
      }
      DrawMemImgWithMmxFlag(single.img(), &sv, x, y, trans, blend != nullptr ? &bv : nullptr, mmx);
      TerminateMemImg(&sv);
      TerminateMemImg(&bv);
      if (wide.Pixel(x, y) != single.Pixel(x, y)) {
        return ::testing::AssertionFailure() << "rows give " << std::hex << wide.Pixel(x, y) << ", one pixel at a time "
                                             << single.Pixel(x, y) << std::dec << " at " << x << "," << y;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult MatchesGolden(const std::string& name, int width, int height,
                                         const std::vector<uint32_t>& pixels) {
  const std::filesystem::path golden =
      std::filesystem::path(ORBEL_TEST_DATA_DIR) / "softrender" / "golden" / (name + ".png");
  const char* update = std::getenv("ORBEL_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    if (!WritePng(golden, width, height, pixels)) return ::testing::AssertionFailure() << "cannot write " << golden;
    return ::testing::AssertionSuccess() << "regenerated " << golden;
  }
  int gw = 0;
  int gh = 0;
  std::vector<uint32_t> expected;
  if (!ReadPng(golden, &gw, &gh, &expected)) {
    return ::testing::AssertionFailure() << "cannot read " << golden << " (ORBEL_UPDATE_GOLDEN=1 creates it)";
  }
  if (gw != width || gh != height) {
    return ::testing::AssertionFailure() << "golden is " << gw << "x" << gh << ", image is " << width << "x" << height;
  }
  size_t bad = pixels.size();
  std::vector<uint32_t> diff(pixels.size());
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (pixels[i] != expected[i]) {
      if (bad == pixels.size()) bad = i;
      diff[i] = 0xFF00FF;
    } else {
      diff[i] = (pixels[i] >> 2) & 0x3F3F3F;  // the matching picture, dimmed
    }
  }
  if (bad == pixels.size()) return ::testing::AssertionSuccess();
  const std::filesystem::path outDir = std::filesystem::path(ORBEL_BINARY_DIR) / "golden-failures";
  std::filesystem::create_directories(outDir);
  WritePng(outDir / (name + ".actual.png"), width, height, pixels);
  WritePng(outDir / (name + ".diff.png"), width, height, diff);
  char text[160];
  std::snprintf(text, sizeof(text), "first bad pixel (%d, %d): got 0x%06X, expected 0x%06X",
                static_cast<int>(bad % static_cast<size_t>(width)), static_cast<int>(bad / static_cast<size_t>(width)),
                pixels[bad], expected[bad]);
  return ::testing::AssertionFailure() << name << ": " << text << "; actual and diff written to " << outDir;
}

}  // namespace orbel::testing

// The font tests' helpers.
#include "font_test_fixture.h"

#include <png.h>

#include <cstdio>
#include <cstring>

#include "orbel/core/api_lock.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/system_report.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/image/color_data.h"
#include "orbel/softrender/mem_img.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/ddraw/test_controls.h"
#include "platform/win/gdi/gdi_font_test_controls.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel::testing {

namespace {

class SyntheticFace : public plat::GlyphFace {
 public:
  SyntheticFace(SyntheticGlyphs* owner, plat::FaceMetrics metrics, SyntheticGlyphs::Draw draw)
      : owner_(owner), metrics_(metrics), draw_(std::move(draw)) {}
  plat::FaceMetrics Metrics() const override { return metrics_; }
  bool Render(char32_t character, bool antialias, plat::GlyphPicture* out) override {
    ++owner_->renders;
    draw_(character, out);
    if (!antialias) {
      for (uint8_t& c : out->coverage) c = c >= 128 ? 255 : 0;
    }
    return true;
  }

 private:
  SyntheticGlyphs* owner_;
  plat::FaceMetrics metrics_;
  SyntheticGlyphs::Draw draw_;
};

void ResetState() {
  ResetLibraryStateForTest();
  ResetSystemReportForTest();
  TearDownApiLock();
  SetLogStartupDirectory("");
  ResetGraphicsStateForTest();
}

}  // namespace

std::shared_ptr<plat::GlyphFace> SyntheticGlyphs::OpenFace(const plat::FontRequest&) {
  return std::make_shared<SyntheticFace>(this, metrics_, draw_);
}

plat::FaceMetrics BoxMetrics(int maxWidth) {
  plat::FaceMetrics m;
  m.height = 20;
  m.ascent = 16;
  m.descent = 4;
  m.averageWidth = 6;
  m.maxWidth = maxWidth;
  m.weight = 600;
  return m;
}

SyntheticGlyphs::Draw BoxGlyph(int w, int h, uint8_t coverage) {
  return [=](char32_t c, plat::GlyphPicture* out) {
    out->advance = 12;
    if (c == U' ' || c == U'\u3000') return;
    out->width = w;
    out->height = h;
    out->originX = 1;
    out->originY = 14;
    out->coverage.assign(static_cast<size_t>(w * h), coverage);
  };
}

void FontLibraryTest::SetUp() {
  VirtualClockTest::SetUp();
  ResetState();
}

void FontLibraryTest::TearDown() {
  if (IsLibraryInitialised()) EndLibrarySystem();
  plat::test::SetGlyphSource(nullptr);
  ResetState();
  VirtualClockTest::TearDown();
}

int FontLibraryTest::Start(FontRoad road) {
  plat::test::SetDesktopDepth(road.depth);
  ChangeWindowMode(1);
  SetScreenMode(640, 480, road.depth, -1);
  if (road.software) SetSoftwareRenderMode(1);
  // The 2D roads are those of a machine without Direct3D.
  plat::test::RefuseDirect3D(road.direct3D == 0);
  return InitLibrarySystem();
}

int FontLibraryTest::Restart(FontRoad road) {
  if (IsLibraryInitialised()) EndLibrarySystem();
  ResetState();
  return Start(road);
}

std::string RoadName(const FontRoad& road) {
  const char* name = road.software ? "Software" : road.direct3D ? "Direct3D" : "DirectDraw";
  return name + std::to_string(road.depth);
}

std::string FontLibraryTest::LogText() const { return ReadFileText(work_.path() / "Log.txt"); }

void FontLibraryTest::UseGlyphs(SyntheticGlyphs* glyphs) { plat::test::SetGlyphSource(glyphs); }

uint32_t BackPixel(int x, int y) {
  // Direct3D draws wait in the batch until the scene ends.
  D3D_EndSceneCurrent();
  if (CheckValidMemImg(&gScreen.backImage)) {
    const MemImg* img = &gScreen.backImage;
    uint32_t value = 0;
    memcpy(&value, img->pixels + MemImgOffset(img, x, y), static_cast<size_t>(img->base->pixelBytes));
    int r = 0;
    int g = 0;
    int b = 0;
    GetColorValueRGBA(img->base->colorData, value, &r, &g, &b, nullptr);
    return static_cast<uint32_t>(r << 16 | g << 8 | b);
  }
  return plat::test::ReadSurfacePixelRgb(gScreen.backSurface, x, y) & 0xFFFFFF;
}

void WriteBackScreenPng(const std::string& path, int width, int height) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t p = BackPixel(x, y);
      row[x * 3] = static_cast<uint8_t>(p >> 16);
      row[x * 3 + 1] = static_cast<uint8_t>(p >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(p);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  fclose(f);
}

}  // namespace orbel::testing

// The graph tests' helpers.
#include "graph_test_fixture.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>

#include "orbel/core/api_lock.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/system_report.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/image/color_data.h"
#include "orbel/core/main_window.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/ddraw/test_controls.h"
#include "platform/host/host.h"
#include "platform/win/user/window_test_controls.h"

// The codec headers last: libjpeg defines TRUE and FALSE as macros.
#include <jpeglib.h>
#include <png.h>

namespace orbel::testing {

namespace {

void ResetState() {
  ResetLibraryStateForTest();
  ResetSystemReportForTest();
  TearDownApiLock();
  SetLogStartupDirectory("");
  // Software rendering stays on for a whole run: each test is a run of its own here.
  ResetGraphicsStateForTest();
}

uint32_t MemImgPixelRgb(const MemImg* img, int x, int y) {
  const uint8_t* p = img->pixels + MemImgOffset(img, x, y);
  uint32_t value = 0;
  memcpy(&value, p, static_cast<size_t>(img->base->pixelBytes));
  int r = 0;
  int g = 0;
  int b = 0;
  GetColorValueRGBA(img->base->colorData, value, &r, &g, &b, nullptr);
  return static_cast<uint32_t>(r << 16 | g << 8 | b);
}

}  // namespace

void GraphLibraryTest::SetUp() {
  VirtualClockTest::SetUp();
  ResetState();
}

void GraphLibraryTest::TearDown() {
  if (IsLibraryInitialised()) EndLibrarySystem();
  ResetState();
  VirtualClockTest::TearDown();
}

int GraphLibraryTest::Start(GraphRoad road) {
  // A window shows DirectDraw surfaces only at the desktop's own depth.
  plat::test::SetDesktopDepth(road.depth);
  ChangeWindowMode(1);
  SetScreenMode(640, 480, road.depth, -1);
  if (road.software) SetSoftwareRenderMode(1);
  // The 2D roads are those of a machine without Direct3D.
  if (!road.direct3D) plat::test::RefuseDirect3D(true);
  return InitLibrarySystem();
}

std::string GraphLibraryTest::LogText() const { return ReadFileText(work_.path() / "Log.txt"); }

void WritePng(const std::string& path, const Picture& picture, bool alpha) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
               alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(static_cast<size_t>(picture.width) * 4);
  for (int y = 0; y < picture.height; ++y) {
    size_t n = 0;
    for (int x = 0; x < picture.width; ++x) {
      const Rgba c = picture.at(x, y);
      row[n++] = static_cast<uint8_t>(c >> 16);
      row[n++] = static_cast<uint8_t>(c >> 8);
      row[n++] = static_cast<uint8_t>(c);
      if (alpha) row[n++] = static_cast<uint8_t>(c >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  fclose(f);
}

void WritePalettePng(const std::string& path, const Picture& picture) {
  std::vector<uint32_t> colours;
  std::vector<uint8_t> indices;
  for (Rgba c : picture.pixels) {
    size_t i = 0;
    while (i < colours.size() && colours[i] != (c & 0xFFFFFF)) ++i;
    if (i == colours.size()) colours.push_back(c & 0xFFFFFF);
    indices.push_back(static_cast<uint8_t>(i));
  }
  ASSERT_LE(colours.size(), 256u);
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
               PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (uint32_t c : colours) {
    palette.push_back(png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)});
  }
  png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_write_info(png, info);
  for (int y = 0; y < picture.height; ++y) png_write_row(png, &indices[static_cast<size_t>(y) * picture.width]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  fclose(f);
}

void WriteJpeg(const std::string& path, const Picture& picture) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = static_cast<JDIMENSION>(picture.width);
  cinfo.image_height = static_cast<JDIMENSION>(picture.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 100, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(picture.width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < picture.width; ++x) {
      const Rgba c = picture.at(x, y);
      row[x * 3 + 0] = static_cast<uint8_t>(c >> 16);
      row[x * 3 + 1] = static_cast<uint8_t>(c >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(c);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  fclose(f);
}

Picture ReadPng(const std::string& path) {
  Picture out;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_BGRA;
  std::vector<uint32_t> pixels(static_cast<size_t>(image.width) * image.height);
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return out;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.pixels = std::move(pixels);
  return out;
}

uint32_t BackPixel(int x, int y) {
  // Direct3D draws wait in the batch until the scene ends, as before any read of a surface.
  D3D_EndSceneCurrent();
  if (CheckValidMemImg(&gScreen.backImage)) return MemImgPixelRgb(&gScreen.backImage, x, y);
  return plat::test::ReadSurfacePixelRgb(gScreen.backSurface, x, y) & 0xFFFFFF;
}

uint32_t GraphPixel(int graph, int x, int y) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return 0xDEADBEEF;
  D3D_EndSceneCurrent();
  if (g->format.texture) {
    for (uint32_t i = 0; i < g->partCount; ++i) {
      const Surface3DDataRecord* t = GetSurface3DData(g->parts[i]);
      if (t == nullptr || x < t->graphX || y < t->graphY || x >= t->graphX + t->width || y >= t->graphY + t->height) {
        continue;
      }
      return plat::test::ReadSurfacePixelRgb(TileTexture(t), t->textureX + x - t->graphX, t->textureY + y - t->graphY) &
             0xFFFFFF;
    }
    return 0xDEADBEEF;
  }
  const Surface2DRecord* r = GetSurface2DRecord(g->parts[0]);
  const SurfaceDataRecord* d = GetSurfaceDataRecord(r->surfaceData);
  if (d->memImgUse) return MemImgPixelRgb(&d->image, r->offsetX + x, r->offsetY + y);
  return plat::test::ReadSurfacePixelRgb(d->surface, r->offsetX + x, r->offsetY + y) & 0xFFFFFF;
}

Picture CaptureClient() {
  const plat::host::Frame frame = plat::test::CaptureWindowFrame(GetMainWindowHandle());
  Picture p;
  p.width = frame.width;
  p.height = frame.height;
  for (uint32_t v : frame.pixels) p.pixels.push_back(v & 0xFFFFFF);
  return p;
}

namespace {

int ChannelDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift : {0, 8, 16}) {
    const int d = std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
    worst = std::max(worst, d);
  }
  return worst;
}

}  // namespace

void ExpectMatchesGolden(const Picture& shot, const std::string& name, int tolerance) {
  Picture opaque = shot;
  for (uint32_t& c : opaque.pixels) c |= 0xFF000000u;
  const std::string golden = std::string(ORBEL_TEST_DATA_DIR) + "/graphics/golden/" + name + ".png";
  const char* update = std::getenv("ORBEL_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1" && tolerance == 0) {
    WritePng(golden, opaque, false);
    GTEST_SKIP() << "golden picture rewritten: " << golden;
  }
  const Picture expected = ReadPng(golden);
  ASSERT_EQ(expected.width, shot.width) << "missing golden picture " << golden;
  ASSERT_EQ(expected.height, shot.height) << golden;
  int bad = 0;
  int firstX = -1;
  int firstY = -1;
  int worst = 0;
  for (int y = 0; y < shot.height; ++y) {
    for (int x = 0; x < shot.width; ++x) {
      const int d = ChannelDistance(expected.at(x, y) & 0xFFFFFF, shot.at(x, y));
      worst = std::max(worst, d);
      if (d > tolerance && bad++ == 0) {
        firstX = x;
        firstY = y;
      }
    }
  }
  if (bad != 0) {
    const std::string actual = std::string(ORBEL_BINARY_DIR) + "/" + name + "_actual.png";
    WritePng(actual, opaque, false);
    ADD_FAILURE() << bad << " pixels differ by more than " << tolerance << " (worst " << worst << "), first at (" << firstX << ", " << firstY << "): expected " << std::hex
                  << (expected.at(firstX, firstY) & 0xFFFFFF) << ", got " << shot.at(firstX, firstY)
                  << "; the capture is " << actual;
  }
}

}  // namespace orbel::testing

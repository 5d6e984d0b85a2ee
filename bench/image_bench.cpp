// Picture loading and colour conversion: the same 1024 x 1024 PNG and JPEG (and a 640 x 480 JPEG)
// decoded through the library (memory stream, loader dispatch, stream glue) and through libpng /
// libjpeg directly from a memory buffer into the same B, G, R layout, with the library-to-direct time
// ratio as a counter; and ConvertImageColor between X8R8G8B8 and R5G6B5 on 640 x 480 in pixels per
// second.
#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "orbel/image/color_convert.h"
#include "orbel/image/image_loader.h"
#include "platform/win/kernel/clock.h"

// NOTE: after the platform headers: jpeglib.h defines TRUE and FALSE as macros.
#include <jpeglib.h>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kSide = 1024;

// A picture with smooth gradients and some detail, so both codecs have real work.
Bytes TestPixels(int width = kSide, int height = kSide) {
  Bytes px(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &px[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(x / 4);
      p[1] = static_cast<uint8_t>(y / 4);
      p[2] = static_cast<uint8_t>(((x ^ y) & 31) * 8);
    }
  return px;
}

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

Bytes EncodePng(const Bytes& px) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, PngWrite, nullptr);
  png_set_IHDR(png, info, kSide, kSide, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < kSide; ++y) png_write_row(png, px.data() + static_cast<size_t>(y) * kSide * 3);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes EncodeJpeg(const Bytes& px, int width = kSide, int height = kSide) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(px.data() + static_cast<size_t>(c.next_scanline) * width * 3);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes out(buffer, buffer + size);
  free(buffer);
  return out;
}

const Bytes& PngFile() {
  static const Bytes file = EncodePng(TestPixels());
  return file;
}
const Bytes& JpegFile() {
  static const Bytes file = EncodeJpeg(TestPixels());
  return file;
}
const Bytes& JpegVgaFile() {
  static const Bytes file = EncodeJpeg(TestPixels(640, 480), 640, 480);
  return file;
}

// ---- Direct decoders (what the library's glue is measured against) -----------------------------------

struct MemReader {
  const uint8_t* data;
  size_t size, pos;
};

void PngMemRead(png_structp png, png_bytep out, png_size_t length) {
  auto* r = static_cast<MemReader*>(png_get_io_ptr(png));
  if (r->size - r->pos < length) png_error(png, "Read Error");
  memcpy(out, r->data + r->pos, length);
  r->pos += length;
}

// libpng straight from memory with the same transforms; the BGR rows land in one malloc block.
void DecodePngDirect(const Bytes& file) {
  MemReader reader{file.data(), file.size(), 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  uint8_t* pixels = nullptr;
  png_bytep* rows = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    free(pixels);
    free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return;
  }
  png_set_read_fn(png, &reader, PngMemRead);
  png_read_info(png, info);
  png_set_strip_16(png);
  png_set_packing(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  size_t rowBytes = png_get_rowbytes(png, info);
  png_uint_32 height = png_get_image_height(png, info);
  pixels = static_cast<uint8_t*>(malloc(rowBytes * height));
  rows = static_cast<png_bytep*>(malloc(sizeof(png_bytep) * height));
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels + y * rowBytes;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  benchmark::DoNotOptimize(pixels[rowBytes * height / 2]);
  free(pixels);
  free(rows);
  png_destroy_read_struct(&png, &info, nullptr);
}

// libjpeg straight from memory, asked for B, G, R rows (the layout the library hands out), decoded
// into one malloc block several rows a call.
void DecodeJpegDirect(const Bytes& file) {
  jpeg_decompress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, file.data(), file.size());
  jpeg_read_header(&c, TRUE);
  c.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&c);
  size_t stride = static_cast<size_t>(c.output_width) * c.output_components;
  auto* pixels = static_cast<uint8_t*>(malloc(stride * c.output_height));
  std::vector<JSAMPROW> rows(c.output_height);
  for (JDIMENSION y = 0; y < c.output_height; ++y) rows[y] = pixels + stride * y;
  while (c.output_scanline < c.output_height)
    jpeg_read_scanlines(&c, rows.data() + c.output_scanline, c.output_height - c.output_scanline);
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  benchmark::DoNotOptimize(pixels[stride]);
  free(pixels);
}

void DecodeThroughLibrary(const Bytes& file) {
  orbel::GraphImage image{};
  if (orbel::LoadImageFromStream(nullptr, file.data(), file.size(), 1, 0, 0, &image, nullptr, nullptr) != 0) abort();
  benchmark::DoNotOptimize(image.pixels);
  orbel::FreeGraphImage(&image);
}

int64_t Now() {
  plat::LARGE_INTEGER t;
  plat::QueryPerformanceCounter(&t);
  return t.QuadPart;
}

// Alternates library and direct decodes of one file; the ratio counter is library time / direct time.
void CompareDecoders(benchmark::State& state, const Bytes& file, void (*direct)(const Bytes&)) {
  int64_t libraryTime = 0, directTime = 0;
  for (auto _ : state) {
    int64_t t0 = Now();
    DecodeThroughLibrary(file);
    int64_t t1 = Now();
    direct(file);
    int64_t t2 = Now();
    libraryTime += t1 - t0;
    directTime += t2 - t1;
  }
  state.counters["library_ms"] = benchmark::Counter(static_cast<double>(libraryTime) / 1e6 / state.iterations());
  state.counters["direct_ms"] = benchmark::Counter(static_cast<double>(directTime) / 1e6 / state.iterations());
  state.counters["ratio"] = benchmark::Counter(static_cast<double>(libraryTime) / static_cast<double>(directTime));
}

void BM_Png1024LibraryVsDirect(benchmark::State& state) { CompareDecoders(state, PngFile(), DecodePngDirect); }
void BM_Jpeg1024LibraryVsDirect(benchmark::State& state) { CompareDecoders(state, JpegFile(), DecodeJpegDirect); }
BENCHMARK(BM_Png1024LibraryVsDirect)->Unit(benchmark::kMillisecond)->MinTime(2.0);
void BM_Jpeg640LibraryVsDirect(benchmark::State& state) { CompareDecoders(state, JpegVgaFile(), DecodeJpegDirect); }
BENCHMARK(BM_Jpeg1024LibraryVsDirect)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Jpeg640LibraryVsDirect)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// ---- Colour conversion ------------------------------------------------------------------------------

constexpr int kConvertWidth = 640;
constexpr int kConvertHeight = 480;

void Convert(benchmark::State& state, bool to565) {
  orbel::ColorData x8888{}, r565{};
  orbel::SetColorDataXRGB32(&x8888);
  orbel::BuildColorFormat(&r565, 16, 0xF800, 0x07E0, 0x001F, 0);
  std::vector<uint32_t> wide(static_cast<size_t>(kConvertWidth) * kConvertHeight);
  std::vector<uint16_t> narrow(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<uint32_t>(i * 2654435761u), narrow[i] = static_cast<uint16_t>(i * 40503u);
  plat::RECT all{0, 0, kConvertWidth, kConvertHeight};
  for (auto _ : state) {
    if (to565) {
      orbel::ConvertImageColor(narrow.data(), kConvertWidth * 2, &r565, wide.data(), kConvertWidth * 4, &x8888, nullptr,
                               0, nullptr, 0, 0, &all, 0, 0, 0, 0, 0, 0, 0, 0);
    } else {
      orbel::ConvertImageColor(wide.data(), kConvertWidth * 4, &x8888, narrow.data(), kConvertWidth * 2, &r565, nullptr,
                               0, nullptr, 0, 0, &all, 0, 0, 0, 0, 0, 0, 0, 0);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kConvertWidth * kConvertHeight);
}

void BM_ConvertXrgb32ToR565(benchmark::State& state) { Convert(state, true); }
void BM_ConvertR565ToXrgb32(benchmark::State& state) { Convert(state, false); }
BENCHMARK(BM_ConvertXrgb32ToR565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertR565ToXrgb32)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

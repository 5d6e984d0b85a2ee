// Picture writers for the image tests. BMP, TGA, DDS and BGRA are written field by field; PNG and
// JPEG go through libpng and libjpeg into memory.
#include "tests/image/image_writers.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <jpeglib.h>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/image/image_loader.h"
#include "platform/win/gdi/gdi_test_controls.h"

namespace orbel::testing {

void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// ---- BMP --------------------------------------------------------------------------------------------

Bytes EncodeBmp(const BmpFile& f) {
  Bytes table;
  if (f.bitCount <= 8) {
    size_t entries = f.tableEntries != 0 ? f.tableEntries : size_t{1} << f.bitCount;
    for (size_t i = 0; i < entries; ++i) {
      uint32_t c = i < f.palette.size() ? f.palette[i] : 0;
      Put32(table, (c & 0xFFFFFF) | 0x77000000);  // the fourth byte is reserved; the loader must clear it
    }
  }
  Bytes header;
  Put32(header, f.headerSize);
  Put32(header, static_cast<uint32_t>(f.width));
  Put32(header, static_cast<uint32_t>(f.height));
  Put16(header, 1);
  Put16(header, f.bitCount);
  Put32(header, f.compression);
  Put32(header, static_cast<uint32_t>(f.data.size()));
  Put32(header, 2835);
  Put32(header, 2835);
  Put32(header, f.colorsUsed);
  Put32(header, 0);
  if (f.compression == 3 || f.headerSize > 40) {
    for (uint32_t m : f.masks) Put32(header, m);
  }
  while (header.size() < f.headerSize) header.push_back(0);
  uint32_t offset = static_cast<uint32_t>(14 + header.size() + table.size() + f.offsetAdjust);
  Bytes out{'B', 'M'};
  Put32(out, static_cast<uint32_t>(14 + header.size() + table.size() + f.data.size()));
  Put32(out, 0);
  Put32(out, offset);
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), table.begin(), table.end());
  out.insert(out.end(), f.data.begin(), f.data.end());
  return out;
}

namespace {
// Rows in file order (bottom row first when bottomUp).
Bytes PackBmpRows(const std::vector<uint32_t>& values, int width, int rows, int bitCount, bool bottomUp) {
  size_t stride = (static_cast<size_t>(width) * bitCount + 31) / 32 * 4;
  Bytes out(stride * rows, 0);
  for (int y = 0; y < rows; ++y) {
    uint8_t* row = out.data() + stride * (bottomUp ? rows - 1 - y : y);
    for (int x = 0; x < width; ++x) {
      uint32_t v = values[static_cast<size_t>(y) * width + x];
      if (bitCount < 8) {
        int perByte = 8 / bitCount;
        int shift = 8 - bitCount * (x % perByte + 1);
        row[x / perByte] |= static_cast<uint8_t>(v << shift);
      } else {
        for (int i = 0; i < bitCount / 8; ++i) row[x * (bitCount / 8) + i] = static_cast<uint8_t>(v >> (8 * i));
      }
    }
  }
  return out;
}
}  // namespace

BmpFile BmpOf(int width, int height, uint16_t bitCount, const std::vector<uint32_t>& values) {
  BmpFile f;
  f.width = width;
  f.height = height;
  f.bitCount = bitCount;
  f.data = PackBmpRows(values, width, height < 0 ? -height : height, bitCount, height > 0);
  return f;
}

// ---- TGA --------------------------------------------------------------------------------------------

Bytes EncodeTga(const TgaFile& f) {
  Bytes out;
  out.push_back(static_cast<uint8_t>(f.id.size()));
  out.push_back(f.mapType);
  out.push_back(f.imageType);
  Put16(out, f.mapFirst);
  Put16(out, f.mapLength);
  out.push_back(f.mapEntrySize);
  Put16(out, f.xOrigin);
  Put16(out, f.yOrigin);
  Put16(out, f.width);
  Put16(out, f.height);
  out.push_back(f.pixelDepth);
  out.push_back(f.descriptor);
  out.insert(out.end(), f.id.begin(), f.id.end());
  out.insert(out.end(), f.map.begin(), f.map.end());
  out.insert(out.end(), f.data.begin(), f.data.end());
  if (f.footer) {
    Put32(out, 0);
    Put32(out, 0);
    const char* sig = "TRUEVISION-XFILE";
    out.insert(out.end(), sig, sig + 16);
    out.push_back('.');
    out.push_back(0);
  }
  return out;
}

Bytes EncodeTgaPackets(const Bytes& items, size_t unit) {
  Bytes out;
  size_t count = items.size() / unit;
  size_t i = 0;
  auto same = [&](size_t a, size_t b) { return memcmp(&items[a * unit], &items[b * unit], unit) == 0; };
  while (i < count) {
    size_t run = 1;
    while (i + run < count && run < 128 && same(i, i + run)) ++run;
    if (run > 1) {
      out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
      out.insert(out.end(), items.begin() + i * unit, items.begin() + (i + 1) * unit);
      i += run;
      continue;
    }
    size_t raw = 1;
    while (i + raw < count && raw < 128 && !(i + raw + 1 < count && same(i + raw, i + raw + 1))) ++raw;
    out.push_back(static_cast<uint8_t>(raw - 1));
    out.insert(out.end(), items.begin() + i * unit, items.begin() + (i + raw) * unit);
    i += raw;
  }
  return out;
}

// ---- DDS and BGRA -----------------------------------------------------------------------------------

Bytes EncodeDds(const DdsFile& f) {
  Bytes out{'D', 'D', 'S', ' '};
  Put32(out, 124);
  Put32(out, f.flags);
  Put32(out, f.height);
  Put32(out, f.width);
  Put32(out, f.pitch);
  while (out.size() < 4 + 72) out.push_back(0);  // depth, mip count, reserved
  Put32(out, 32);                                // pixel-format size
  Put32(out, f.pixelFlags);
  Put32(out, f.fourCC);
  Put32(out, f.bitCount);
  for (uint32_t m : f.masks) Put32(out, m);
  while (out.size() < 128) out.push_back(0);  // caps
  out.insert(out.end(), f.data.begin(), f.data.end());
  return out;
}

Bytes EncodeBgra(uint32_t layout, uint32_t width, uint32_t height, const Bytes& data) {
  Bytes out{'B', 'G', 'R', 'A'};
  Put32(out, layout);
  Put32(out, width);
  Put32(out, height);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// ---- PNG --------------------------------------------------------------------------------------------

namespace {
void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void PngFlush(png_structp) {}

int PngChannels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
  }
}
}  // namespace

Bytes EncodePng(const PngFile& f) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("png encode failed");
  }
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, f.width, f.height, f.bitDepth, f.colorType,
               f.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (uint32_t c : f.palette) {
    palette.push_back(png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)});
  }
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!f.trns.empty()) {
    if (f.colorType == PNG_COLOR_TYPE_PALETTE) {
      png_set_tRNS(png, info, f.trns.data(), static_cast<int>(f.trns.size()), nullptr);
    } else {
      png_color_16 key{};
      key.gray = static_cast<png_uint_16>(f.trns[0] << 8 | f.trns[1]);
      if (f.trns.size() >= 6) {
        key.red = static_cast<png_uint_16>(f.trns[0] << 8 | f.trns[1]);
        key.green = static_cast<png_uint_16>(f.trns[2] << 8 | f.trns[3]);
        key.blue = static_cast<png_uint_16>(f.trns[4] << 8 | f.trns[5]);
      }
      png_set_tRNS(png, info, nullptr, 0, &key);
    }
  }
  png_write_info(png, info);
  size_t rowBytes = (static_cast<size_t>(f.width) * f.bitDepth * PngChannels(f.colorType) + 7) / 8;
  std::vector<png_bytep> rows(f.height);
  for (uint32_t y = 0; y < f.height; ++y) rows[y] = const_cast<png_bytep>(f.rows.data() + y * rowBytes);
  if (f.interlaced) png_set_interlace_handling(png);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes EncodeJpeg(const Bytes& pixels, int width, int height, int components, int quality, bool progressive) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + static_cast<size_t>(c.next_scanline) * width * components);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes out(buffer, buffer + size);
  free(buffer);
  return out;
}

// ---- Loading ----------------------------------------------------------------------------------------

int LoadFromBytes(const Bytes& bytes, GraphImage* image, int mirror) {
  static const uint8_t kEmpty = 0;
  return LoadImageFromStream(nullptr, bytes.empty() ? &kEmpty : bytes.data(), bytes.size(), 1, 0, mirror, image,
                             nullptr, nullptr);
}

uint32_t RawPixel(const GraphImage& image, uint32_t x, uint32_t y) {
  const uint8_t* p = static_cast<const uint8_t*>(image.pixels) + static_cast<size_t>(y) * image.pitch +
                     static_cast<size_t>(x) * image.format.bytesPerPixel;
  uint32_t v = 0;
  for (int i = 0; i < image.format.bytesPerPixel; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

std::vector<uint32_t> Row(const GraphImage& image, uint32_t y) {
  std::vector<uint32_t> out;
  for (uint32_t x = 0; x < image.width; ++x) out.push_back(RawPixel(image, x, y));
  return out;
}

std::vector<uint32_t> Pixels(const GraphImage& image) {
  std::vector<uint32_t> out;
  for (uint32_t y = 0; y < image.height; ++y)
    for (uint32_t v : Row(image, y)) out.push_back(v);
  return out;
}

uint32_t PaletteArgb(const ColorData& format, int i) {
  const ColorPaletteEntry& e = format.palette[i];
  return static_cast<uint32_t>(e.alpha << 24 | e.red << 16 | e.green << 8 | e.blue);
}

GraphImage Grey8Image(uint8_t* indices, uint32_t width, uint32_t height, uint32_t pitch) {
  GraphImage image{{}, width, height, pitch, indices};
  SetColorDataGray8(&image.format);
  return image;
}

LoaderTest::LoaderTest() : blocks_(GetMemoryBlockCount()) {}

void LoaderTest::TearDown() {
  FreeGraphImage(&image_);
  EXPECT_EQ(GetMemoryBlockCount(), blocks_) << "every block is freed";
  EXPECT_EQ(plat::test::GetGdiDibCounters().liveSections, 0);
  EXPECT_EQ(plat::test::GetGdiDibCounters().liveMemoryDcs, 0);
}

int LoaderTest::Load(const Bytes& bytes) {
  FreeGraphImage(&image_);
  return LoadFromBytes(bytes, &image_);
}

void LoaderTest::ExpectCutsRefused(const Bytes& valid, std::initializer_list<size_t> cuts) {
  for (size_t cut : cuts) EXPECT_EQ(Load(Bytes(valid.begin(), valid.begin() + cut)), -1) << "cut at " << cut;
}

void LoggedTest::SetUp() {
  VirtualClockTest::SetUp();
  SetLogStartupDirectory(work_.path().c_str());
  StartLogFile();
}

void LoggedTest::TearDown() {
  SetLogStartupDirectory("");
  VirtualClockTest::TearDown();
}

}  // namespace orbel::testing

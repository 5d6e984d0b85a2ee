// Writes a host frame (BGRX pixels) as an 8-bit RGB PNG through libpng.
// Depends on libpng; errors come back through its setjmp road and leave no file half-owned.
#include "platform/host/host.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

namespace plat::host {

bool SaveFramePng(const Frame& frame, const char* path) {
  if (path == nullptr || frame.width <= 0 || frame.height <= 0 ||
      frame.pixels.size() != static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height))
    return false;
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  // Declared before setjmp so that no object with a destructor is skipped by the long jump.
  std::vector<png_byte> row(static_cast<size_t>(frame.width) * 3u);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    std::remove(path);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(frame.width), static_cast<png_uint_32>(frame.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < frame.height; ++y) {
    const uint32_t* src = &frame.pixels[static_cast<size_t>(y) * frame.width];
    for (int x = 0; x < frame.width; ++x) {
      row[x * 3 + 0] = static_cast<png_byte>(src[x] >> 16);
      row[x * 3 + 1] = static_cast<png_byte>(src[x] >> 8);
      row[x * 3 + 2] = static_cast<png_byte>(src[x]);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

}  // namespace plat::host

// Fuzz target of the picture loaders: any bytes go through the loader dispatch from memory (BMP, JPEG,
// PNG, BGRA, TGA, DDS), alternately mirrored. An accepted picture is then read whole through the
// colour converter, so a loader that promises more rows or a wider pitch than it allocated is caught,
// and every tracked block must be freed again.
// Seeds: fuzz/corpus/image_loader/. Run with -close_fd_mask=2: the decoders report to stderr.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "orbel/core/memory.h"
#include "orbel/image/color_convert.h"
#include "orbel/image/image_loader.h"

namespace {
constexpr uint64_t kMaxConvertedPixels = 1u << 22;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t kEmpty = 0;
  int blocks = orbel::GetMemoryBlockCount();
  orbel::GraphImage image{};
  int mirror = size & 1;
  if (orbel::LoadImageFromStream(nullptr, size ? data : &kEmpty, size, 1, 0, mirror, &image, nullptr, nullptr) == 0) {
    if (image.pixels == nullptr || image.width == 0 || image.height == 0) abort();
    if (static_cast<uint64_t>(image.width) * image.height <= kMaxConvertedPixels) {
      orbel::ColorData xrgb{};
      orbel::SetColorDataXRGB32(&xrgb);
      std::vector<uint32_t> out(static_cast<size_t>(image.width) * image.height);
      plat::RECT all{0, 0, static_cast<plat::LONG>(image.width), static_cast<plat::LONG>(image.height)};
      orbel::ConvertImageColor(out.data(), static_cast<int>(image.width * 4), &xrgb, image.pixels,
                               static_cast<int>(image.pitch), &image.format, nullptr, 0, nullptr, 0, 0, &all, 0, 0, 0,
                               0, 0, 0, 0, 0);
    }
    orbel::FreeGraphImage(&image);
  }
  if (orbel::GetMemoryBlockCount() != blocks) abort();  // a loader leaked a tracked block
  return 0;
}

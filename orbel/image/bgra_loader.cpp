// The raw "BGRA" loader: a 16-byte header ("BGRA", channel layout, width, height) and unpadded
// top-down pixels of blue, green, red, alpha as bytes or as little-endian u16 (the high byte is kept).
// Produces A8R8G8B8. Depends on image_reader and color_data. Refuses zero sizes and pixel data
// shorter than the header promises.
#include "orbel/image/image_loader.h"
#include "orbel/image/image_reader.h"

namespace orbel {

namespace {
constexpr uint32_t kLayout8 = 0x08080808;
constexpr uint32_t kLayout16 = 0x10101010;
}  // namespace

int LoadBgraImage(StreamData* s, GraphImage* image) {
  uint8_t header[16];
  if (!StreamReadExact(s, header, sizeof(header))) return -1;
  ByteReader r(header, sizeof(header));
  if (r.U8() != 'B' || r.U8() != 'G' || r.U8() != 'R' || r.U8() != 'A') return -1;
  uint32_t layout = r.U32();
  uint32_t width = r.U32();
  uint32_t height = r.U32();
  if (layout != kLayout8 && layout != kLayout16) return -1;
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) return -1;
  uint32_t bytes;
  if (!CheckedImageBytes(width, height, 4, &bytes)) return -1;
  uint32_t channelBytes = layout == kLayout8 ? 1 : 2;
  int64_t left = StreamBytesLeft(s);
  if (left < 0 || static_cast<uint64_t>(left) < static_cast<uint64_t>(bytes) * channelBytes) return -1;

  TrackedBlock pixels;
  if (!pixels.Allocate(bytes)) return -1;
  if (layout == kLayout8) {
    if (!StreamReadExact(s, pixels.data(), bytes)) return -1;
  } else {
    TrackedBlock row;
    if (!row.Allocate(width * 8)) return -1;
    uint8_t* out = pixels.data();
    for (uint32_t y = 0; y < height; ++y) {
      if (!StreamReadExact(s, row.data(), width * 8)) return -1;
      const uint8_t* in = row.data();
      for (uint32_t i = 0; i < width * 4; ++i) *out++ = in[i * 2 + 1];
    }
  }
  SetColorDataARGB32(&image->format);
  image->width = width;
  image->height = height;
  image->pitch = width * 4;
  image->pixels = pixels.Release();
  return 0;
}

}  // namespace orbel

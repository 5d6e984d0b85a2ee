// The DirectDraw Surface loader: the top-level picture of block-compressed files (DXT1 to DXT5,
// decoded to A8R8G8B8) and of uncompressed files (returned in the file's own mask format, also for a
// Direct3D format code in the FourCC field). Mip-maps are ignored.
// Depends on image_reader and color_data. Refuses zero sizes, bit counts other than 8/16/24/32, row
// pitches below a row of pixels and data shorter than the picture; un-premultiplied colours clamp.
#include <cstring>  // memset

#include "orbel/image/image_loader.h"
#include "orbel/image/image_reader.h"

namespace orbel {

namespace {

constexpr uint32_t kDescriptionSize = 124;
constexpr uint32_t kFlagPitch = 0x8;
constexpr uint32_t kPixelFourCC = 0x4;  // pixel-format flags: 0x1 alpha pixels, 0x4 FourCC, 0x40 RGB
constexpr uint32_t kFourCCDxt1 = 0x31545844;
constexpr uint32_t kFourCCDxt5 = 0x35545844;

struct DdsHeader {
  uint32_t flags;
  uint32_t height;
  uint32_t width;
  uint32_t pitch;
  uint32_t pixelFlags;
  uint32_t fourCC;
  uint32_t bitCount;
  uint32_t masks[4];  // red, green, blue, alpha
};

// Direct3D format codes a FourCC-only file may carry: {code, bits, red, green, blue, alpha}.
struct DdsD3DFormat {
  int32_t code;
  uint32_t bits;
  uint32_t red, green, blue, alpha;
};
const DdsD3DFormat DdsD3DFormatTable[] = {
    {20, 24, 0x00FF0000, 0x0000FF00, 0x000000FF, 0},          {21, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
    {22, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0},          {23, 16, 0xF800, 0x07E0, 0x001F, 0},
    {24, 16, 0x7C00, 0x03E0, 0x001F, 0},                      {25, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},
    {26, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},                 {27, 8, 0xE0, 0x1C, 0x03, 0},
    {29, 16, 0xE0, 0x1C, 0x03, 0xFF00},                       {30, 16, 0x0F00, 0x00F0, 0x000F, 0},
    {31, 32, 0x000003FF, 0x000FFC00, 0x3FF00000, 0xC0000000}, {32, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
    {33, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0},          {35, 32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000},
    {-1, 0, 0, 0, 0, 0},
};

bool ReadDdsHeader(StreamData* s, DdsHeader* h) {
  uint8_t magic[4];
  uint8_t d[kDescriptionSize];
  if (!StreamReadExact(s, magic, sizeof(magic)) || magic[0] != 'D' || magic[1] != 'D' || magic[2] != 'S') return false;
  if (!StreamReadExact(s, d, sizeof(d))) return false;
  ByteReader r(d, sizeof(d));
  r.Skip(4);  // description size
  h->flags = r.U32();
  h->height = r.U32();
  h->width = r.U32();
  h->pitch = r.U32();
  r.Skip(76 - 20);
  h->pixelFlags = r.U32();
  h->fourCC = r.U32();
  h->bitCount = r.U32();
  for (uint32_t& m : h->masks) m = r.U32();
  return !r.failed();
}

// ---- Block decoding ---------------------------------------------------------------------------------

struct Rgba {
  uint32_t r, g, b, a;
};

Rgba Expand565(uint32_t c) {
  return Rgba{((c >> 11) & 31) * 255 / 31, ((c >> 5) & 63) * 255 / 63, (c & 31) * 255 / 31, 255};
}

// The four colours of a colour half; DXT1 switches to three colours and a transparent black-less
// fourth when colour 0 <= colour 1.
void ColorTable(const uint8_t* half, bool dxt1, Rgba table[4]) {
  uint32_t c0 = static_cast<uint32_t>(half[0] | half[1] << 8), c1 = static_cast<uint32_t>(half[2] | half[3] << 8);
  table[0] = Expand565(c0);
  table[1] = Expand565(c1);
  const Rgba& a = table[0];
  const Rgba& b = table[1];
  if (dxt1 && c0 <= c1) {
    table[2] = Rgba{(a.r + b.r) / 2, (a.g + b.g) / 2, (a.b + b.b) / 2, 255};
    table[3] = Rgba{table[2].r, table[2].g, table[2].b, 0};
  } else {
    table[2] = Rgba{(2 * a.r + b.r) / 3, (2 * a.g + b.g) / 3, (2 * a.b + b.b) / 3, 255};
    table[3] = Rgba{(a.r + 2 * b.r) / 3, (a.g + 2 * b.g) / 3, (a.b + 2 * b.b) / 3, 255};
  }
}

void AlphaTable(uint32_t a0, uint32_t a1, uint32_t table[8]) {
  table[0] = a0;
  table[1] = a1;
  if (a0 > a1) {
    for (uint32_t i = 1; i <= 6; ++i) table[i + 1] = ((7 - i) * a0 + i * a1) / 7;
  } else {
    for (uint32_t i = 1; i <= 4; ++i) table[i + 1] = ((5 - i) * a0 + i * a1) / 5;
    table[6] = 0;
    table[7] = 255;
  }
}

// Decodes one 4 x 4 block into A8R8G8B8 pixels at `out` (row pitch in bytes).
void DecodeBlock(const uint8_t* block, int kind, uint8_t* out, uint32_t pitch) {
  const uint8_t* colorHalf = kind == 1 ? block : block + 8;
  Rgba colors[4];
  ColorTable(colorHalf, kind == 1, colors);
  uint32_t indices = static_cast<uint32_t>(colorHalf[4] | colorHalf[5] << 8 | colorHalf[6] << 16) |
                     static_cast<uint32_t>(colorHalf[7]) << 24;
  uint32_t alphas[16];
  if (kind == 2 || kind == 3) {
    for (int i = 0; i < 16; ++i) alphas[i] = ((block[i / 2] >> ((i & 1) * 4)) & 15) * 17;
  } else if (kind == 4 || kind == 5) {
    uint32_t table[8];
    AlphaTable(block[0], block[1], table);
    uint32_t lo = static_cast<uint32_t>(block[2] | block[3] << 8 | block[4] << 16);
    uint32_t hi = static_cast<uint32_t>(block[5] | block[6] << 8 | block[7] << 16);
    for (int i = 0; i < 8; ++i) alphas[i] = table[(lo >> (3 * i)) & 7];
    for (int i = 0; i < 8; ++i) alphas[8 + i] = table[(hi >> (3 * i)) & 7];
  }
  bool premultiplied = kind == 2 || kind == 4;
  for (int i = 0; i < 16; ++i) {
    Rgba c = colors[(indices >> (2 * i)) & 3];
    if (kind != 1) c.a = alphas[i];
    if (premultiplied && c.a != 0) {
      // Colours brighter than their alpha would wrap past 255; they clamp instead.
      c.r = c.r * 255 / c.a > 255 ? 255 : c.r * 255 / c.a;
      c.g = c.g * 255 / c.a > 255 ? 255 : c.g * 255 / c.a;
      c.b = c.b * 255 / c.a > 255 ? 255 : c.b * 255 / c.a;
    }
    uint8_t* p = out + static_cast<size_t>(i / 4) * pitch + static_cast<size_t>(i % 4) * 4;
    p[0] = static_cast<uint8_t>(c.b);
    p[1] = static_cast<uint8_t>(c.g);
    p[2] = static_cast<uint8_t>(c.r);
    p[3] = static_cast<uint8_t>(c.a);
  }
}

int LoadBlocks(StreamData* s, const DdsHeader& h, GraphImage* image) {
  int kind = static_cast<int>(h.fourCC >> 24) - '0';  // the digit of "DXTn"
  uint32_t blockSize = kind == 1 ? 8 : 16;
  uint32_t across = h.width / 4, down = h.height / 4;
  uint32_t bytes, dataBytes;
  if (!CheckedImageBytes(h.width, h.height, 4, &bytes) || !CheckedImageBytes(across, down, blockSize, &dataBytes)) {
    return -1;
  }
  int64_t left = StreamBytesLeft(s);
  if (left < 0 || static_cast<uint64_t>(left) < dataBytes) return -1;
  TrackedBlock data, pixels;
  if (!data.Allocate(dataBytes) || !StreamReadExact(s, data.data(), dataBytes)) return -1;
  // Pixels right of or below the last whole block stay 0.
  if (!pixels.Allocate(bytes, true)) return -1;
  uint32_t pitch = h.width * 4;
  const uint8_t* block = data.data();
  for (uint32_t by = 0; by < down; ++by) {
    for (uint32_t bx = 0; bx < across; ++bx, block += blockSize) {
      DecodeBlock(block, kind, pixels.data() + static_cast<size_t>(by) * 4 * pitch + bx * 16, pitch);
    }
  }
  SetColorDataARGB32(&image->format);
  image->width = h.width;
  image->height = h.height;
  image->pitch = pitch;
  image->pixels = pixels.Release();
  return 0;
}

int LoadUncompressed(StreamData* s, const DdsHeader& h, uint32_t bits, const uint32_t masks[4], GraphImage* image) {
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return -1;
  uint64_t rowBytes = static_cast<uint64_t>(bits / 8) * h.width;
  uint64_t pitch = (h.flags & kFlagPitch) ? h.pitch : rowBytes;
  uint32_t bytes;
  if (pitch < rowBytes || !CheckedImageBytes(pitch, h.height, 1, &bytes)) return -1;
  int64_t left = StreamBytesLeft(s);
  if (left < 0 || static_cast<uint64_t>(left) < bytes) return -1;
  TrackedBlock pixels;
  if (!pixels.Allocate(bytes) || !StreamReadExact(s, pixels.data(), bytes)) return -1;
  BuildColorFormat(&image->format, static_cast<int>(bits), masks[0], masks[1], masks[2], masks[3]);
  image->width = h.width;
  image->height = h.height;
  image->pitch = static_cast<uint32_t>(pitch);
  image->pixels = pixels.Release();
  return 0;
}

}  // namespace

int LoadDdsImage(StreamData* s, GraphImage* image) {
  DdsHeader h;
  if (!ReadDdsHeader(s, &h)) return -1;
  if (h.width == 0 || h.height == 0 || h.width > kMaxImageSide || h.height > kMaxImageSide) return -1;
  if (h.pixelFlags & kPixelFourCC) {
    if (h.fourCC >= kFourCCDxt1 && h.fourCC <= kFourCCDxt5) return LoadBlocks(s, h, image);
    if (h.pixelFlags != kPixelFourCC) return -1;
    for (const DdsD3DFormat* f = DdsD3DFormatTable; f->code != -1; ++f) {
      if (static_cast<uint32_t>(f->code) == h.fourCC) {
        uint32_t masks[4] = {f->red, f->green, f->blue, f->alpha};
        return LoadUncompressed(s, h, f->bits, masks, image);
      }
    }
    return -1;
  }
  // RGB files with or without the alpha-pixels flag, and mask-only files without the RGB flag.
  return LoadUncompressed(s, h, h.bitCount, h.masks, image);
}

}  // namespace orbel

// The Truevision TGA loader: true-colour and colour-mapped pictures, plain or run-length encoded, at
// 16 (X1R5G5B5), 24 or 32 bits; colour maps are resolved and the result is top-down, left to right.
// Depends on image_reader and color_data. Refuses zero sizes, colour-mapped pixels other than 8 bits,
// and RLE data too short to cover the picture; map entries past 256 are dropped.
#include <cstring>  // memcpy, memcmp, memset

#include "orbel/image/image_loader.h"
#include "orbel/image/image_reader.h"

namespace orbel {

namespace {

constexpr uint32_t kHeaderSize = 18;
constexpr uint32_t kFooterSize = 26;
constexpr uint32_t kMaxTgaSide = 8192;

struct TgaHeader {
  uint8_t idLength;
  uint8_t mapType;
  uint8_t imageType;
  uint16_t mapFirst;
  uint16_t mapLength;
  uint8_t mapEntrySize;
  uint16_t xOrigin;
  uint16_t yOrigin;
  uint16_t width;
  uint16_t height;
  uint8_t pixelDepth;
  uint8_t descriptor;
};

// The footer counts when its signature matches and its extension-area offset is 0. A file too short
// to hold one has none.
bool HasFooter(StreamData* s, int64_t total) {
  if (total < kFooterSize || s->functions.Seek(s->handle, -static_cast<int32_t>(kFooterSize), 2) != 0) return false;
  uint8_t footer[kFooterSize];
  if (!StreamReadExact(s, footer, sizeof(footer))) return false;
  ByteReader r(footer, sizeof(footer));
  return r.U32() == 0 && memcmp(footer + 8, "TRUEVISION-XFILE", 16) == 0;
}

bool ReadTgaHeader(StreamData* s, TgaHeader* h) {
  uint8_t bytes[kHeaderSize];
  if (!StreamReadExact(s, bytes, sizeof(bytes))) return false;
  ByteReader r(bytes, sizeof(bytes));
  h->idLength = r.U8();
  h->mapType = r.U8();
  h->imageType = r.U8();
  h->mapFirst = r.U16();
  h->mapLength = r.U16();
  h->mapEntrySize = r.U8();
  h->xOrigin = r.U16();
  h->yOrigin = r.U16();
  h->width = r.U16();
  h->height = r.U16();
  h->pixelDepth = r.U8();
  h->descriptor = r.U8();
  return !r.failed();
}

void SetTgaFormat(ColorData* f, uint32_t depth) {
  if (depth == 16) {
    BuildColorFormat(f, 16, 0x7C00, 0x03E0, 0x001F, 0);  // X1R5G5B5: the attribute bit is not alpha
  } else if (depth == 24) {
    SetColorData24Bit(f);
  } else {
    SetColorDataARGB32(f);
  }
}

// Decodes run-length packets of `unit`-byte items (indices or pixels) until `count` items are written
// or the data ends; `emit(item)` writes one item. Returns the items written.
template <typename Emit>
uint32_t DecodePackets(const uint8_t* data, uint32_t size, uint32_t unit, uint32_t count, Emit emit) {
  uint32_t pos = 0, written = 0;
  while (written < count && pos < size) {
    uint8_t p = data[pos++];
    uint32_t n = (p & 0x7Fu) + 1;
    if (n > count - written) n = count - written;
    if (p & 0x80) {
      if (size - pos < unit) break;
      for (uint32_t i = 0; i < n; ++i) emit(data + pos);
      pos += unit;
    } else {
      uint64_t need = static_cast<uint64_t>(n) * unit;
      if (size - pos < need) break;
      for (uint32_t i = 0; i < n; ++i) emit(data + pos + i * unit);
      pos += static_cast<uint32_t>(need);
    }
    written += n;
  }
  return written;
}

}  // namespace

int LoadTgaImage(StreamData* s, GraphImage* image) {
  int64_t total = StreamBytesLeft(s);
  if (total < kHeaderSize) return -1;
  bool footer = HasFooter(s, total);
  TgaHeader h;
  if (s->functions.Seek(s->handle, 0, 0) != 0 || !ReadTgaHeader(s, &h)) return -1;

  bool mapped = h.imageType == 1 || h.imageType == 9;
  bool rle = h.imageType == 9 || h.imageType == 10;
  if (h.imageType != 1 && h.imageType != 2 && h.imageType != 9 && h.imageType != 10) return -1;
  if (h.xOrigin != 0 || h.yOrigin != 0) return -1;
  if (h.width == 0 || h.height == 0 || h.width > kMaxTgaSide || h.height > kMaxTgaSide) return -1;
  uint32_t depth = mapped ? h.mapEntrySize : h.pixelDepth;
  if (depth != 16 && depth != 24 && depth != 32) return -1;
  if (mapped && h.pixelDepth != 8) return -1;
  uint32_t bpp = depth / 8;
  uint32_t pitch = h.width * bpp;
  uint32_t pixelCount = static_cast<uint32_t>(h.width) * h.height;
  uint32_t bytes = pitch * h.height;

  // Refuse before allocating when the file cannot hold what its header promises. A run-length packet
  // of 1 + unit bytes gives at most 128 items.
  uint32_t unit = mapped ? 1 : bpp;
  uint64_t mapBytesInFile = mapped || h.mapType == 1 ? static_cast<uint64_t>(h.mapLength) * ((h.mapEntrySize + 7u) / 8u) : 0;
  uint64_t before = kHeaderSize + h.idLength + mapBytesInFile;
  uint64_t rest = static_cast<uint64_t>(total) > before ? static_cast<uint64_t>(total) - before : 0;
  if (!rle && rest < static_cast<uint64_t>(pixelCount) * unit) return -1;
  if (rle && rest * 128 / (1 + unit) < pixelCount) return -1;

  TrackedBlock pixels;
  if (!pixels.Allocate(bytes, rle)) return -1;
  if (s->functions.Seek(s->handle, static_cast<int32_t>(kHeaderSize + h.idLength), 0) != 0) return -1;

  uint8_t map[256 * 4] = {};
  if (mapped) {
    uint32_t mapBytes = static_cast<uint32_t>(h.mapLength) * bpp;
    TrackedBlock fileMap;
    if (!fileMap.Allocate(mapBytes) || !StreamReadExact(s, fileMap.data(), mapBytes)) return -1;
    uint32_t fits = h.mapFirst >= 256 ? 0 : 256u - h.mapFirst;
    uint32_t copied = h.mapLength < fits ? h.mapLength : fits;
    if (copied != 0) memcpy(map + h.mapFirst * bpp, fileMap.data(), copied * bpp);
  } else if (h.mapType == 1 && h.mapLength != 0) {
    // A true-colour file may still carry a colour map; its bytes sit before the pixels.
    uint32_t entryBytes = (h.mapEntrySize + 7u) / 8u;
    int32_t skip = static_cast<int32_t>(h.mapLength * entryBytes);
    if (s->functions.Seek(s->handle, skip, 1) != 0) return -1;
  }

  uint8_t* out = pixels.data();
  if (!rle) {
    if (mapped) {
      TrackedBlock indices;
      if (!indices.Allocate(pixelCount) || !StreamReadExact(s, indices.data(), pixelCount)) return -1;
      for (uint32_t i = 0; i < pixelCount; ++i) memcpy(out + i * bpp, map + indices.data()[i] * bpp, bpp);
    } else if (!StreamReadExact(s, out, bytes)) {
      return -1;
    }
  } else {
    int64_t left = StreamBytesLeft(s);
    if (left < 0) return -1;
    if (footer) left = left >= kFooterSize ? left - kFooterSize : 0;
    TrackedBlock data;
    if (!data.Allocate(static_cast<uint32_t>(left)) || !StreamReadExact(s, data.data(), static_cast<size_t>(left))) {
      return -1;
    }
    uint8_t* p = out;
    if (mapped) {
      DecodePackets(data.data(), data.size(), 1, pixelCount, [&](const uint8_t* item) {
        memcpy(p, map + item[0] * bpp, bpp);
        p += bpp;
      });
    } else {
      DecodePackets(data.data(), data.size(), bpp, pixelCount, [&](const uint8_t* item) {
        memcpy(p, item, bpp);
        p += bpp;
      });
    }
  }

  // Bit 5: rows run top to bottom; bit 4: pixels of a row run right to left.
  bool topDown = (h.descriptor & 0x20) != 0;
  bool rightToLeft = (h.descriptor & 0x10) != 0;
  if (!topDown || rightToLeft) {
    TrackedBlock turned;
    if (!turned.Allocate(bytes)) return -1;
    for (uint32_t y = 0; y < h.height; ++y) {
      const uint8_t* src = out + static_cast<size_t>(topDown ? y : h.height - 1 - y) * pitch;
      uint8_t* dst = turned.data() + static_cast<size_t>(y) * pitch;
      if (!rightToLeft) {
        memcpy(dst, src, pitch);
      } else {
        for (uint32_t x = 0; x < h.width; ++x) memcpy(dst + x * bpp, src + (h.width - 1 - x) * bpp, bpp);
      }
    }
    image->pixels = turned.Release();
  } else {
    image->pixels = pixels.Release();
  }
  SetTgaFormat(&image->format, depth);
  image->width = h.width;
  image->height = h.height;
  image->pitch = pitch;
  return 0;
}

}  // namespace orbel

// The Windows bitmap loader: 8- and 24-bit row copy, 4-bit nibble unpacking, RLE8 and RLE4 decoding
// into 8-bit palette images; every other kind (1, 16 and 32 bits, bit fields) goes through the
// platform's DIB conversion into 24 bits. Rows always come back top-down.
// Depends on image_reader, color_data, the log and the GDI DIB stand-in. Refuses RLE with a bit count
// other than 8/4, JPEG/PNG compressions, OS/2 core headers, pixel data shorter than the rows and
// pictures whose decoded block would pass the cap (checked before the pixel data is read).
#include <cstring>  // memset, memcpy

#include "orbel/core/log.h"
#include "orbel/image/image_loader.h"
#include "orbel/image/image_reader.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/gdi/gdi_dib.h"

namespace orbel {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;

struct BmpInfo {
  uint32_t dataOffset;
  uint32_t headerSize;
  int32_t width;
  int32_t height;
  uint32_t rows;
  bool bottomUp;
  uint16_t bitCount;
  uint32_t compression;
};

// Reads and checks the file header and the 40 bytes of the info header.
bool ReadBmpHeaders(StreamData* s, BmpInfo* info, plat::BITMAPINFO* block) {
  uint8_t bytes[kFileHeaderSize + kInfoHeaderSize];
  if (!StreamReadExact(s, bytes, sizeof(bytes))) return false;
  ByteReader r(bytes, sizeof(bytes));
  if (r.U8() != 'B' || r.U8() != 'M') return false;
  r.Skip(8);
  info->dataOffset = r.U32();
  plat::BITMAPINFOHEADER& h = block->bmiHeader;
  info->headerSize = r.U32();
  h.biWidth = r.I32();
  h.biHeight = r.I32();
  h.biPlanes = r.U16();
  h.biBitCount = r.U16();
  h.biCompression = r.U32();
  h.biSizeImage = r.U32();
  h.biXPelsPerMeter = r.I32();
  h.biYPelsPerMeter = r.I32();
  h.biClrUsed = r.U32();
  h.biClrImportant = r.U32();
  // The copy handed to the platform is always a plain 40-byte header, whatever the file's kind.
  h.biSize = kInfoHeaderSize;

  info->width = h.biWidth;
  info->height = h.biHeight;
  info->bitCount = h.biBitCount;
  info->compression = h.biCompression;
  if (info->headerSize != 40 && info->headerSize != 52 && info->headerSize != 56 && info->headerSize != 108 &&
      info->headerSize != 124) {
    return false;
  }
  if (info->width <= 0 || static_cast<uint32_t>(info->width) > kMaxImageSide || info->height == 0 ||
      info->height == INT32_MIN) {
    return false;
  }
  info->bottomUp = info->height > 0;
  info->rows = static_cast<uint32_t>(info->bottomUp ? info->height : -info->height);
  if (info->rows > kMaxImageSide) return false;
  switch (info->bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return false;
  }
  switch (info->compression) {
    case plat::BI_RGB: break;
    case plat::BI_RLE8: if (info->bitCount != 8) return false; break;
    case plat::BI_RLE4: if (info->bitCount != 4) return false; break;
    case plat::BI_BITFIELDS: if (info->bitCount != 16 && info->bitCount != 32) return false; break;
    default: return false;
  }
  return true;
}

// The colour-table entries to read: 2^bits, unless that many would run into the pixels and the file
// says it uses fewer colours, which do fit before them: then only those. Any other table is read in
// full, which fails or refuses as it always did.
uint32_t TableEntriesHeld(const BmpInfo& info, uint32_t colorsUsed) {
  const uint32_t full = 1u << info.bitCount;
  const uint64_t tableStart = uint64_t{kFileHeaderSize} + info.headerSize;
  const uint64_t room = info.dataOffset >= tableStart ? (info.dataOffset - tableStart) / 4 : 0;
  if (room >= full || colorsUsed == 0 || colorsUsed >= full || colorsUsed > room) return full;
  return colorsUsed;
}

// Decodes RLE8 (nibbles = false) or RLE4 runs into one index per byte. Rows follow file order: the
// first decoded row is the bottom one of a bottom-up picture. Runs are clipped at the row end;
// decoding stops at the end of the data or of the picture.
void DecodeRle(const uint8_t* data, uint32_t size, bool nibbles, const BmpInfo& info, uint8_t* out, uint32_t pitch) {
  uint32_t width = static_cast<uint32_t>(info.width);
  uint32_t x = 0, row = 0;
  uint32_t pos = 0;
  auto put = [&](uint8_t index) {
    if (x < width && row < info.rows) {
      uint32_t y = info.bottomUp ? info.rows - 1 - row : row;
      out[static_cast<size_t>(y) * pitch + x] = index;
    }
    ++x;
  };
  while (size - pos >= 2 && row < info.rows) {
    uint8_t n = data[pos], v = data[pos + 1];
    pos += 2;
    if (n > 0) {
      for (uint32_t i = 0; i < n; ++i) put(nibbles ? ((i & 1) ? (v & 15) : (v >> 4)) : v);
      continue;
    }
    if (v == 0) {
      x = 0;
      ++row;
    } else if (v == 1) {
      return;
    } else if (v == 2) {
      if (size - pos < 2) return;
      x += data[pos];
      row += data[pos + 1];
      pos += 2;
    } else {
      uint32_t bytes = nibbles ? (v + 1u) / 2 : v;
      if (size - pos < bytes) return;
      for (uint32_t i = 0; i < v; ++i) {
        uint8_t b = data[pos + (nibbles ? i / 2 : i)];
        put(nibbles ? ((i & 1) ? (b & 15) : (b >> 4)) : b);
      }
      pos += bytes;
      pos += pos & 1;  // absolute runs end on a 2-byte boundary of the pixel data
      if (pos > size) return;
    }
  }
}

// The platform's own conversion of any DIB into a 24-bit top-down section, copied out.
int ConvertThroughPlatform(const BmpInfo& info, plat::BITMAPINFO* block, TrackedBlock* pixels, GraphImage* image) {
  plat::HDC dc = plat::CreateCompatibleDC(nullptr);
  plat::BITMAPINFO target{};
  target.bmiHeader.biSize = kInfoHeaderSize;
  target.bmiHeader.biWidth = info.width;
  target.bmiHeader.biHeight = -static_cast<int32_t>(info.rows);
  target.bmiHeader.biPlanes = 1;
  target.bmiHeader.biBitCount = 24;
  target.bmiHeader.biCompression = plat::BI_RGB;
  void* sectionBits = nullptr;
  plat::HBITMAP section = plat::CreateDIBSection(dc, &target, plat::DIB_RGB_COLORS, &sectionBits, nullptr, 0);
  if (section == nullptr) {
    plat::DeleteDC(dc);
    LogAdd("ＤＩＢの作成に失敗しました3\n");
    return -1;
  }
  plat::DIBSECTION ds{};
  plat::GetObjectA(section, sizeof(ds), &ds);
  uint32_t pitch = static_cast<uint32_t>(ds.dsBm.bmWidthBytes);
  uint32_t rows = static_cast<uint32_t>(ds.dsBm.bmHeight);
  plat::HGDIOBJ old = plat::SelectObject(dc, section);
  int drawn = plat::SetDIBitsToDevice(dc, 0, 0, static_cast<plat::DWORD>(info.width), info.rows, 0, 0, 0, info.rows,
                                      pixels->data(), block, plat::DIB_RGB_COLORS);
  plat::SelectObject(dc, old);
  plat::DeleteDC(dc);
  pixels->Reset();
  TrackedBlock out;
  bool ok = drawn != 0;  // a DIB the platform cannot draw is refused rather than returned blank
  if (ok && !out.Allocate(pitch * rows)) {
    LogAdd("２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
    ok = false;
  }
  if (ok) memcpy(out.data(), sectionBits, static_cast<size_t>(pitch) * rows);
  plat::DeleteObject(section);
  if (!ok) return -1;
  SetColorData24Bit(&image->format);
  image->width = static_cast<uint32_t>(info.width);
  image->height = info.rows;
  image->pitch = pitch;
  image->pixels = out.Release();
  return 0;
}

}  // namespace

int LoadBmpImage(StreamData* s, GraphImage* image) {
  int64_t total = StreamBytesLeft(s);
  if (total < 0) return -1;
  BmpInfo info;
  plat::BITMAPINFO block{};
  if (!ReadBmpHeaders(s, &info, &block)) return -1;

  // The colour table follows the file's own header; bit-field masks sit right after the first 40 bytes.
  bool palette = info.bitCount <= 8;
  if (palette) {
    uint32_t colors = TableEntriesHeld(info, block.bmiHeader.biClrUsed);
    uint8_t table[256 * 4];
    if (s->functions.Seek(s->handle, static_cast<int32_t>(kFileHeaderSize + info.headerSize), 0) != 0 ||
        !StreamReadExact(s, table, colors * 4)) {
      return -1;
    }
    memcpy(block.bmiColors, table, colors * 4);  // entries past a short table stay 0
  } else if (info.compression == plat::BI_BITFIELDS) {
    uint8_t masks[12];
    if (!StreamReadExact(s, masks, sizeof(masks))) return -1;
    ByteReader r(masks, sizeof(masks));
    uint32_t red = r.U32(), green = r.U32(), blue = r.U32();
    plat::SetDibMasks(&block, red, green, blue);
  }

  if (info.dataOffset < kFileHeaderSize + kInfoHeaderSize || info.dataOffset > total ||
      s->functions.Seek(s->handle, static_cast<int32_t>(info.dataOffset), 0) != 0) {
    return -1;
  }
  uint64_t stride = (static_cast<uint64_t>(info.bitCount) * static_cast<uint32_t>(info.width) + 31) / 32 * 4;
  uint32_t needed;
  if (!CheckedImageBytes(stride, info.rows, 1, &needed)) return -1;
  bool rle = info.compression == plat::BI_RLE8 || info.compression == plat::BI_RLE4;
  bool rowCopy = info.compression == plat::BI_RGB && (info.bitCount == 8 || info.bitCount == 24);
  bool indices = rle || (info.compression == plat::BI_RGB && info.bitCount == 4);

  // The cap applies to what each road allocates, not to the file's rows: indices take a byte per pixel
  // (twice a 4-bit row), the platform road 3 bytes per pixel. Checked before anything is read.
  uint32_t width = static_cast<uint32_t>(info.width);
  uint64_t outPitch = rowCopy ? stride : indices ? (width + 3u) & ~3u : (uint64_t{width} * 3 + 3) & ~uint64_t{3};
  uint32_t outBytes;
  if (!CheckedImageBytes(outPitch, info.rows, 1, &outBytes)) return -1;

  TrackedBlock data;
  if (!StreamReadRest(s, &data)) return -1;
  if (!rle && data.size() < needed) return -1;
  if (!rowCopy && !indices) return ConvertThroughPlatform(info, &block, &data, image);

  uint32_t pitch = static_cast<uint32_t>(outPitch);
  if (rowCopy && !info.bottomUp) {
    image->pixels = data.Release();  // top-down rows are used as read
  } else {
    TrackedBlock out;
    if (!out.Allocate(outBytes, rle)) return -1;
    if (rle) {
      DecodeRle(data.data(), data.size(), info.compression == plat::BI_RLE4, info, out.data(), pitch);
    } else {
      for (uint32_t y = 0; y < info.rows; ++y) {
        const uint8_t* src = data.data() + static_cast<size_t>(info.bottomUp ? info.rows - 1 - y : y) * stride;
        uint8_t* dst = out.data() + static_cast<size_t>(y) * pitch;
        if (rowCopy) {
          memcpy(dst, src, pitch);
        } else {
          for (uint32_t x = 0; x < width; ++x) dst[x] = (x & 1) ? (src[x / 2] & 15) : (src[x / 2] >> 4);
          memset(dst + width, 0, pitch - width);
        }
      }
    }
    image->pixels = out.Release();
  }
  if (info.bitCount == 24) {
    SetColorData24Bit(&image->format);
  } else {
    SetColorData8Bit(&image->format);
    uint32_t colors = 1u << info.bitCount;
    for (uint32_t i = 0; i < colors; ++i) {
      const plat::RGBQUAD& q = block.bmiColors[i];
      image->format.palette[i] = ColorPaletteEntry{q.rgbBlue, q.rgbGreen, q.rgbRed, 0};
    }
  }
  image->width = width;
  image->height = info.rows;
  image->pitch = pitch;
  return 0;
}

}  // namespace orbel

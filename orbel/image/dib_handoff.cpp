// Handing images to the platform as DIBs: a top-down 8- or 24-bit header and bits for an image
// (ConvertImageToDIBBits), and a DIB section made from a header and bits (CreateDIBGraph).
// Depends on color_convert, the tracked allocator, the log and the GDI DIB stand-in.
#include <cstring>  // memset, memcpy

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/image/color_convert.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/gdi/gdi_dib.h"

namespace orbel {

namespace {

void SetTopDownHeader(plat::BITMAPINFO* header, const GraphImage* image, int bitCount) {
  memset(&header->bmiHeader, 0, sizeof(header->bmiHeader));
  memset(&header->bmiColors[0], 0, sizeof(header->bmiColors[0]));
  header->bmiHeader.biSize = sizeof(plat::BITMAPINFOHEADER);
  header->bmiHeader.biWidth = static_cast<plat::LONG>(image->width);
  header->bmiHeader.biHeight = -static_cast<plat::LONG>(image->height);
  header->bmiHeader.biPlanes = 1;
  header->bmiHeader.biBitCount = static_cast<plat::WORD>(bitCount);
  header->bmiHeader.biCompression = plat::BI_RGB;
}

// A new block of rowSize x height bytes with each row's first `rowBytes` bytes copied.
void* CopyRows(const GraphImage* image, uint32_t rowSize, uint32_t rowBytes) {
  uint64_t total = static_cast<uint64_t>(rowSize) * image->height;
  if (total > 0x7FFFFFFFu) return nullptr;
  auto* block = static_cast<uint8_t*>(MemCalloc(static_cast<uint32_t>(total ? total : 1), "DIB bits", __LINE__));
  if (block == nullptr) return nullptr;
  const auto* src = static_cast<const uint8_t*>(image->pixels);
  for (uint32_t y = 0; y < image->height; ++y) {
    memcpy(block + static_cast<size_t>(y) * rowSize, src + static_cast<size_t>(y) * image->pitch, rowBytes);
  }
  return block;
}

bool IsStandard24(const ColorData& f) {
  return f.bitDepth == 24 && f.redMask == 0x00FF0000u && f.greenMask == 0x0000FF00u && f.blueMask == 0x000000FFu;
}

}  // namespace

int ConvertImageToDIBBits(const GraphImage* image, plat::BITMAPINFO* header, void** bits, int copyFlag,
                          int force24Bit) {
  const ColorData& f = image->format;
  if (f.bytesPerPixel == 1 && force24Bit == 0) {
    SetTopDownHeader(header, image, 8);
    for (int i = 0; i < 256; ++i) {
      header->bmiColors[i] = plat::RGBQUAD{f.palette[i].blue, f.palette[i].green, f.palette[i].red, f.palette[i].alpha};
    }
    uint32_t rowSize = (image->width + 3) & ~3u;
    if (copyFlag != 1 && image->pitch == rowSize) {
      *bits = image->pixels;
      return 0;
    }
    void* block = CopyRows(image, rowSize, image->width);
    if (block == nullptr) return -1;
    *bits = block;
    return 1;
  }

  SetTopDownHeader(header, image, 24);
  uint32_t rowSize = (image->width * 3 + 3) & ~3u;
  if (IsStandard24(f) && copyFlag != 1) {
    if (image->pitch == rowSize) {
      *bits = image->pixels;
      return 0;
    }
    void* block = CopyRows(image, rowSize, image->width * 3);
    if (block == nullptr) return -1;
    *bits = block;
    return 1;
  }
  uint64_t total = static_cast<uint64_t>(rowSize) * image->height;
  if (total > 0x7FFFFFFFu) return -1;
  void* block = MemCalloc(static_cast<uint32_t>(total ? total : 1), "DIB bits", __LINE__);
  if (block == nullptr) return -1;
  ColorData format24{};
  SetColorData24Bit(&format24);
  plat::RECT rect{0, 0, static_cast<plat::LONG>(image->width), static_cast<plat::LONG>(image->height)};
  ConvertImageColor(block, static_cast<int>(rowSize), &format24, image->pixels, static_cast<int>(image->pitch), &f,
                    nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 0);
  *bits = block;
  return 1;
}

plat::HBITMAP CreateDIBGraph(const plat::BITMAPINFO* given, const void* bits, int mirror, ColorData* reportFormat) {
  plat::HDC dc = plat::CreateCompatibleDC(nullptr);
  auto* header = static_cast<plat::BITMAPINFO*>(MemCalloc(sizeof(plat::BITMAPINFO), "DIB header", __LINE__));
  if (header == nullptr) {
    plat::DeleteDC(dc);
    LogAdd("メモリの確保に失敗しました in CreateDIBGraph \n");
    return nullptr;
  }
  const plat::BITMAPINFOHEADER& g = given->bmiHeader;
  int height = g.biHeight < 0 ? -g.biHeight : g.biHeight;
  plat::BITMAPINFOHEADER& h = header->bmiHeader;
  h.biSize = sizeof(plat::BITMAPINFOHEADER);
  h.biWidth = g.biWidth;
  h.biHeight = -height;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = plat::BI_RGB;
  if (reportFormat != nullptr) {
    ColorData& f = *reportFormat;
    if (f.bitDepth == 16 || (f.bitDepth > 24 && g.biBitCount != 24)) {
      h.biBitCount = f.bitDepth;
      h.biCompression = plat::BI_BITFIELDS;
      plat::SetDibMasks(header, f.redMask, f.greenMask, f.blueMask);
    } else if (f.bitDepth == 32) {
      SetColorData24Bit(&f);
    } else {
      h.biBitCount = f.bitDepth;
      if (f.bitDepth == 8) {
        for (int i = 0; i < 256; ++i) {
          header->bmiColors[i] = plat::RGBQUAD{f.palette[i].blue, f.palette[i].green, f.palette[i].red, 0};
        }
      }
    }
  } else if (g.biBitCount == 8) {
    h.biBitCount = 8;
    h.biCompression = g.biCompression;
    memcpy(header->bmiColors, given->bmiColors, sizeof(header->bmiColors));
  }

  void* sectionBits = nullptr;
  plat::HBITMAP section = plat::CreateDIBSection(dc, header, plat::DIB_RGB_COLORS, &sectionBits, nullptr, 0);
  if (section == nullptr || sectionBits == nullptr) {
    LogAdd(section == nullptr ? "ＤＩＢの作成に失敗しました3\n" : "ＤＩＢの作成に失敗しました2\n");
    if (section != nullptr) plat::DeleteObject(section);
    plat::DeleteDC(dc);
    MemFree(header);
    return nullptr;
  }
  plat::HGDIOBJ old = plat::SelectObject(dc, section);
  if (mirror == 1) {
    plat::StretchDIBits(dc, 0, 0, g.biWidth, height, g.biWidth - 1, 0, -g.biWidth, height, bits, given,
                        plat::DIB_RGB_COLORS, plat::SRCCOPY);
  } else {
    plat::SetDIBitsToDevice(dc, 0, 0, static_cast<plat::DWORD>(g.biWidth), static_cast<plat::DWORD>(height), 0, 0, 0,
                            static_cast<plat::UINT>(height), bits, given, plat::DIB_RGB_COLORS);
  }
  plat::SelectObject(dc, old);
  plat::DeleteDC(dc);
  MemFree(header);
  return section;
}

}  // namespace orbel

// GDI DIB stand-in: memory DCs, DIB sections over heap memory and the blits between DIBs and sections.
// Every pixel moves through 0x00RRGGBB: palette entries as stored, mask channels scaled to 0-255
// (rounded), and written back by truncation to the destination's channel widths (nearest palette
// entry for 8-bit sections). A window DC as destination draws into the host's picture of its client
// area (through the window stand-in), and as source reads that picture.
#include "platform/win/gdi/gdi_dib.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>  // calloc, free
#include <cstring>  // memcpy, memset

#include <memory>
#include <vector>

#include "platform/win/gdi/gdi_test_controls.h"
#include "platform/win/gdi/pixel_rows.h"
#include "platform/win/user/window.h"

namespace plat {

namespace {

constexpr LONG kMaxDibSide = 1 << 16;                 // pixels per side
constexpr uint64_t kMaxDibBytes = 1ull << 30;         // bits block

// A DIB's geometry and pixel format, read once from its header.
struct DibFormat {
  int width;
  int height;  // rows, positive
  bool topDown;
  int bitCount;
  uint32_t rowBytes;
  uint32_t masks[3];
  uint8_t shifts[3];
  uint8_t widths[3];
  RGBQUAD colors[256];
  int colorCount;
};

// A DIB section: a bitmap whose bits we own.
struct DibSection : GdiObject {
  DibSection() : GdiObject(GdiKind::Bitmap) {}
  ~DibSection() override {
    if (ownsBits) free(bits);
    --GdiDibCounters().liveSections;
  }
  static plat::test::GdiDibCounters& GdiDibCounters() { return plat::test::GetGdiDibCounters(); }
  BITMAPINFOHEADER header{};  // as created (height sign kept)
  DibFormat format{};
  uint8_t* bits = nullptr;
  bool ownsBits = true;  // false for a section over a display surface's memory
};

struct MemoryDc : DcObject {};

// The 1 x 1 monochrome bitmap a fresh memory DC holds; never deleted.
DibSection* StockBitmap() {
  static DibSection* stock = [] {
    auto* s = new DibSection();
    ++plat::test::GetGdiDibCounters().liveSections;  // the destructor never runs for a stock object,
    --plat::test::GetGdiDibCounters().liveSections;  // so it is not counted as live
    s->stock = true;
    s->format.width = s->format.height = 1;
    s->format.bitCount = 1;
    s->format.rowBytes = 4;
    s->format.colorCount = 2;
    s->format.colors[1] = RGBQUAD{255, 255, 255, 0};
    s->bits = static_cast<uint8_t*>(calloc(1, 4));
    return s;
  }();
  return stock;
}

void MaskRun(uint32_t mask, uint8_t* shift, uint8_t* width) {
  *shift = *width = 0;
  if (mask == 0) return;
  unsigned s = static_cast<unsigned>(__builtin_ctz(mask));
  uint32_t run = mask >> s;
  *shift = static_cast<uint8_t>(s);
  *width = static_cast<uint8_t>(run == 0xFFFFFFFFu ? 32 : __builtin_ctz(~run));
}

// Reads a header (and its colours or masks) into a format; false for what we do not draw.
bool DescribeDib(const BITMAPINFOHEADER& h, const RGBQUAD* colors, DibFormat* f) {
  if (h.biWidth <= 0 || h.biWidth > kMaxDibSide || h.biHeight == 0 || h.biHeight < -kMaxDibSide ||
      h.biHeight > kMaxDibSide) {
    return false;
  }
  f->width = h.biWidth;
  f->height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  f->topDown = h.biHeight < 0;
  f->bitCount = h.biBitCount;
  f->colorCount = 0;
  uint64_t rowBytes = (static_cast<uint64_t>(f->width) * h.biBitCount + 31) / 32 * 4;
  if (rowBytes * static_cast<uint64_t>(f->height) > kMaxDibBytes) return false;
  f->rowBytes = static_cast<uint32_t>(rowBytes);
  switch (h.biBitCount) {
    case 1:
    case 4:
    case 8: {
      if (h.biCompression != BI_RGB) return false;
      int full = 1 << h.biBitCount;
      f->colorCount = (h.biClrUsed != 0 && h.biClrUsed < static_cast<DWORD>(full)) ? static_cast<int>(h.biClrUsed) : full;
      memset(f->colors, 0, sizeof(f->colors));
      memcpy(f->colors, colors, static_cast<size_t>(f->colorCount) * sizeof(RGBQUAD));
      return true;
    }
    case 16:
    case 32: {
      uint32_t m[3];
      if (h.biCompression == BI_BITFIELDS) {
        memcpy(m, colors, sizeof(m));
      } else if (h.biCompression == BI_RGB) {
        if (h.biBitCount == 16) {
          m[0] = 0x7C00, m[1] = 0x03E0, m[2] = 0x001F;
        } else {
          m[0] = 0xFF0000, m[1] = 0xFF00, m[2] = 0xFF;
        }
      } else {
        return false;
      }
      for (int c = 0; c < 3; ++c) {
        f->masks[c] = h.biBitCount == 16 ? (m[c] & 0xFFFF) : m[c];
        MaskRun(f->masks[c], &f->shifts[c], &f->widths[c]);
      }
      return true;
    }
    case 24: return h.biCompression == BI_RGB;
    default: return false;
  }
}

inline uint32_t ChannelTo8(uint32_t v, unsigned width) {
  if (width == 0) return 0;
  if (width >= 8) return width >= 32 ? v >> 24 : v >> (width - 8);
  uint32_t max = (1u << width) - 1;
  return (v * 255 + max / 2) / max;
}

inline uint32_t ChannelFrom8(uint32_t c, unsigned width) {
  if (width == 0) return 0;
  if (width <= 8) return c >> (8 - width);
  if (width >= 32) return c * 0x01010101u;
  return static_cast<uint32_t>((static_cast<uint64_t>(c) * ((1ull << width) - 1)) / 255);
}

inline const uint8_t* RowAt(const DibFormat& f, const uint8_t* bits, int topDownRow) {
  int r = f.topDown ? topDownRow : f.height - 1 - topDownRow;
  return bits + static_cast<size_t>(r) * f.rowBytes;
}

uint32_t ReadRgb(const DibFormat& f, const uint8_t* row, int x) {
  switch (f.bitCount) {
    case 1:
    case 4:
    case 8: {
      int index;
      if (f.bitCount == 8) index = row[x];
      else if (f.bitCount == 4) index = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
      else index = (row[x >> 3] >> (7 - (x & 7))) & 1;
      if (index >= f.colorCount) return 0;
      const RGBQUAD& q = f.colors[index];
      return static_cast<uint32_t>(q.rgbRed << 16 | q.rgbGreen << 8 | q.rgbBlue);
    }
    case 24: {
      const uint8_t* p = row + x * 3;
      return static_cast<uint32_t>(p[2] << 16 | p[1] << 8 | p[0]);
    }
    case 16:
    case 32: {
      uint32_t v;
      if (f.bitCount == 16) {
        v = static_cast<uint32_t>(row[x * 2] | row[x * 2 + 1] << 8);
      } else {
        memcpy(&v, row + x * 4, 4);
      }
      uint32_t r = ChannelTo8((v & f.masks[0]) >> f.shifts[0], f.widths[0]);
      uint32_t g = ChannelTo8((v & f.masks[1]) >> f.shifts[1], f.widths[1]);
      uint32_t b = ChannelTo8((v & f.masks[2]) >> f.shifts[2], f.widths[2]);
      return r << 16 | g << 8 | b;
    }
    default: return 0;
  }
}

uint8_t NearestColor(const DibFormat& f, uint32_t rgb) {
  int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  int best = 0x7FFFFFFF, index = 0;
  for (int i = 0; i < f.colorCount; ++i) {
    int dr = f.colors[i].rgbRed - r, dg = f.colors[i].rgbGreen - g, db = f.colors[i].rgbBlue - b;
    int d = dr * dr + dg * dg + db * db;
    if (d < best) best = d, index = i;
  }
  return static_cast<uint8_t>(index);
}

void WriteRgb(const DibFormat& f, uint8_t* row, int x, uint32_t rgb) {
  switch (f.bitCount) {
    case 1:
    case 4:
    case 8: {
      uint8_t index = NearestColor(f, rgb);
      if (f.bitCount == 8) {
        row[x] = index;
      } else if (f.bitCount == 4) {
        uint8_t& p = row[x >> 1];
        p = (x & 1) ? static_cast<uint8_t>((p & 0xF0) | index) : static_cast<uint8_t>((p & 0x0F) | (index << 4));
      } else {
        uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        row[x >> 3] = index ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
      }
      return;
    }
    case 24: {
      uint8_t* p = row + x * 3;
      p[0] = static_cast<uint8_t>(rgb);
      p[1] = static_cast<uint8_t>(rgb >> 8);
      p[2] = static_cast<uint8_t>(rgb >> 16);
      return;
    }
    case 16:
    case 32: {
      uint32_t v = (ChannelFrom8((rgb >> 16) & 0xFF, f.widths[0]) << f.shifts[0]) |
                   (ChannelFrom8((rgb >> 8) & 0xFF, f.widths[1]) << f.shifts[1]) |
                   (ChannelFrom8(rgb & 0xFF, f.widths[2]) << f.shifts[2]);
      if (f.bitCount == 16) {
        row[x * 2] = static_cast<uint8_t>(v);
        row[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
      } else {
        memcpy(row + x * 4, &v, 4);
      }
      return;
    }
    default: return;
  }
}

DibSection* SectionOf(HGDIOBJ object) { return dynamic_cast<DibSection*>(object); }

DibSection* SelectedSection(HDC dc) {
  if (dc == nullptr || !dc->memory) return nullptr;
  DibSection* s = SectionOf(dc->bitmap);
  return (s != nullptr && !s->stock) ? s : nullptr;
}

bool SameLayout(const DibFormat& a, const DibFormat& b) {
  if (a.bitCount != b.bitCount) return false;
  if (a.bitCount == 16 || a.bitCount == 32) return memcmp(a.masks, b.masks, sizeof(a.masks)) == 0;
  if (a.bitCount <= 8) return a.colorCount == b.colorCount && memcmp(a.colors, b.colors, sizeof(RGBQUAD) * a.colorCount) == 0;
  return true;
}

// Samples the source rectangle into the destination rectangle. Source coordinates are top-down rows;
// a negative extent runs that axis backwards (mirror). Returns the rows written.
int StretchInto(const DibFormat& df, uint8_t* dbits, int xd, int yd, int wd, int hd, const DibFormat& sf,
                const uint8_t* sbits, int xs, int ysTop, int ws, int hs) {
  if (wd == 0 || hd == 0 || ws == 0 || hs == 0) return 0;
  int adw = wd < 0 ? -wd : wd, adh = hd < 0 ? -hd : hd;
  bool rawCopy = SameLayout(sf, df) && sf.bitCount >= 8 && ws == wd && hs == hd && wd > 0;
  // 16-bit pictures onto a 32-bit 8-8-8 section (the software present): whole rows widened, giving
  // exactly what ReadRgb / WriteRgb would.
  const bool widen16 = !rawCopy && sf.bitCount == 16 && df.bitCount == 32 && df.masks[0] == 0xFF0000 &&
                       df.masks[1] == 0xFF00 && df.masks[2] == 0xFF && ws == wd && hs == hd && wd > 0 &&
                       sf.widths[0] <= 8 && sf.widths[1] <= 8 && sf.widths[2] <= 8;
  int bytes = sf.bitCount / 8;
  int rows = 0;
  for (int dy = 0; dy < adh; ++dy) {
    int ty = hd > 0 ? yd + dy : yd - dy;
    if (ty < 0 || ty >= df.height) continue;
    int sy = ysTop + static_cast<int>(static_cast<int64_t>(dy) * hs / adh);
    if (sy < 0 || sy >= sf.height) continue;
    const uint8_t* srow = RowAt(sf, sbits, sy);
    uint8_t* drow = const_cast<uint8_t*>(RowAt(df, dbits, ty));
    if (rawCopy) {
      int x0 = xd < 0 ? -xd : 0;
      int x1 = adw;
      if (xd + x1 > df.width) x1 = df.width - xd;
      if (xs + x0 < 0) x0 = -xs;
      if (xs + x1 > sf.width) x1 = sf.width - xs;
      if (x1 > x0) {
        uint8_t* to = drow + (xd + x0) * bytes;
        const uint8_t* from = srow + (xs + x0) * bytes;
        const size_t count = static_cast<size_t>(x1 - x0) * bytes;
        // A blit within one section may overlap itself.
        if (to < from + count && from < to + count) memmove(to, from, count);
        else CopyPixelRow(to, from, count);
      }
      ++rows;
      continue;
    }
    if (widen16) {
      int x0 = xd < 0 ? -xd : 0;
      int x1 = adw;
      if (xd + x1 > df.width) x1 = df.width - xd;
      if (xs + x0 < 0) x0 = -xs;
      if (xs + x1 > sf.width) x1 = sf.width - xs;
      if (x1 > x0) {
        WidenRow16To32(srow + (xs + x0) * 2, reinterpret_cast<uint32_t*>(drow + (xd + x0) * 4), x1 - x0, sf.masks[0],
                       sf.masks[1], sf.masks[2]);
      }
      ++rows;
      continue;
    }
    for (int dx = 0; dx < adw; ++dx) {
      int tx = wd > 0 ? xd + dx : xd - dx;
      if (tx < 0 || tx >= df.width) continue;
      int sx = xs + static_cast<int>(static_cast<int64_t>(dx) * ws / adw);
      if (sx < 0 || sx >= sf.width) continue;
      WriteRgb(df, drow, tx, ReadRgb(sf, srow, sx));
    }
    ++rows;
  }
  return rows;
}


// A 32-bit top-down picture of the given size, as a window's client area is held.
bool WindowPictureFormat(int width, int height, DibFormat* f) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(h);
  h.biWidth = width;
  h.biHeight = -height;
  h.biPlanes = 1;
  h.biBitCount = 32;
  h.biCompression = BI_RGB;
  return DescribeDib(h, nullptr, f);
}

// Where a blit draws: the section of a memory DC, or a scratch picture of part of a window's client
// area that is shown when the blit is done.
struct BlitTarget {
  DibFormat format{};
  uint8_t* bits = nullptr;
  HWND window = nullptr;
  int originX = 0;  // client position of the scratch picture
  int originY = 0;
  std::unique_ptr<uint32_t[]> scratch;
};

// Whether source columns [x, x + w) and top-down rows [y, y + h) all lie inside the DIB, so that a
// blit writes every destination pixel.
bool SourceCovers(const DibFormat& f, int x, int y, int w, int h) {
  return w > 0 && h > 0 && x >= 0 && y >= 0 && x + w <= f.width && y + h <= f.height;
}

// Opens the target for a destination extent (x0, y0)-(x1, y1) exclusive; false when nothing of it can
// be drawn.
bool OpenTarget(HDC dc, int x0, int y0, int x1, int y1, bool covered, BlitTarget* t) {
  if (DibSection* d = SelectedSection(dc)) {
    t->format = d->format;
    t->bits = d->bits;
    return true;
  }
  if (dc == nullptr || dc->memory || dc->window == nullptr) return false;
  RECT client;
  if (!GetClientRect(dc->window, &client)) return false;
  x0 = x0 < 0 ? 0 : x0;
  y0 = y0 < 0 ? 0 : y0;
  x1 = x1 > client.right ? client.right : x1;
  y1 = y1 > client.bottom ? client.bottom : y1;
  if (x1 <= x0 || y1 <= y0 || !WindowPictureFormat(x1 - x0, y1 - y0, &t->format)) return false;
  const size_t w = static_cast<size_t>(x1 - x0);
  t->scratch.reset(new uint32_t[w * static_cast<size_t>(y1 - y0)]);
  if (!covered) {
    // Start from what the window shows, so pixels the blit skips stay as they were.
    host::Frame picture;
    if (!CopyWindowPicture(dc->window, &picture)) return false;
    for (int y = y0; y < y1; ++y) {
      const bool inside = y < picture.height && x1 <= picture.width;
      uint32_t* row = &t->scratch[static_cast<size_t>(y - y0) * w];
      if (inside) memcpy(row, &picture.pixels[static_cast<size_t>(y) * picture.width + x0], w * 4);
      else memset(row, 0, w * 4);
    }
  }
  t->bits = reinterpret_cast<uint8_t*>(t->scratch.get());
  t->window = dc->window;
  t->originX = x0;
  t->originY = y0;
  return true;
}

void CloseTarget(const BlitTarget& t) {
  if (t.window == nullptr) return;
  const host::FrameView view{t.bits, t.format.width, t.format.height, static_cast<int>(t.format.rowBytes)};
  PresentToWindow(t.window, t.originX, t.originY, view);
}

// An unstretched blit of 32-bit XRGB or 16-bit RGB top-down pixels onto a window: shown straight from
// the source rows (one copy, or one widening into the picture), with no scratch picture between.
// Returns the rows shown, or -1 when the blit must take the general road.
int PresentStraight(HDC dc, int xd, int yd, int w, int h, const DibFormat& sf, const uint8_t* bits, int xs,
                    int ysTop) {
  if (dc == nullptr || dc->memory || dc->window == nullptr || !sf.topDown) return -1;
  if (!SourceCovers(sf, xs, ysTop, w, h)) return -1;
  const bool rgb32 = sf.bitCount == 32 && sf.masks[0] == 0xFF0000 && sf.masks[1] == 0xFF00 && sf.masks[2] == 0xFF;
  const bool rgb16 = sf.bitCount == 16 && sf.widths[0] <= 8 && sf.widths[1] <= 8 && sf.widths[2] <= 8;
  if (!rgb32 && !rgb16) return -1;
  RECT client;
  if (!GetClientRect(dc->window, &client)) return -1;
  const int top = std::max(yd, 0), bottom = std::min<int>(yd + h, client.bottom);
  if (std::max(xd, 0) >= std::min<int>(xd + w, client.right) || top >= bottom) return -1;
  const host::FrameView view{RowAt(sf, bits, ysTop) + static_cast<size_t>(xs) * (sf.bitCount / 8), w, h,
                             static_cast<int>(sf.rowBytes), sf.bitCount, sf.masks[0], sf.masks[1], sf.masks[2]};
  PresentToWindow(dc->window, xd, yd, view);
  return bottom - top;
}

// The extent a signed destination size covers from (x, y).
void Extent(int x, int size, int* from, int* to) {
  if (size >= 0) {
    *from = x;
    *to = x + size;
  } else {
    *from = x + size + 1;
    *to = x + 1;
  }
}

}  // namespace

// ---- Masks ------------------------------------------------------------------------------------------

void GetDibMasks(const BITMAPINFO* info, DWORD masks[3]) { memcpy(masks, info->bmiColors, 3 * sizeof(DWORD)); }

void SetDibMasks(BITMAPINFO* info, DWORD red, DWORD green, DWORD blue) {
  DWORD m[3] = {red, green, blue};
  memcpy(info->bmiColors, m, sizeof(m));
}

// ---- DCs and objects --------------------------------------------------------------------------------

HDC CreateCompatibleDC(HDC) {
  auto* dc = new MemoryDc();
  dc->memory = true;
  dc->bitmap = StockBitmap();
  ++plat::test::GetGdiDibCounters().liveMemoryDcs;
  return dc;
}

BOOL DeleteDC(HDC dc) {
  auto* memoryDc = dynamic_cast<MemoryDc*>(dc);
  if (memoryDc == nullptr) return FALSE;
  delete memoryDc;
  --plat::test::GetGdiDibCounters().liveMemoryDcs;
  return TRUE;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD) {
  if (bits != nullptr) *bits = nullptr;
  if (info == nullptr || usage != DIB_RGB_COLORS || plat::test::TakeCreateDibSectionFault()) return nullptr;
  auto* s = new DibSection();
  ++plat::test::GetGdiDibCounters().liveSections;
  if (!DescribeDib(info->bmiHeader, info->bmiColors, &s->format)) {
    delete s;
    return nullptr;
  }
  s->header = info->bmiHeader;
  s->header.biSize = sizeof(BITMAPINFOHEADER);
  s->bits = static_cast<uint8_t*>(calloc(static_cast<size_t>(s->format.rowBytes) * s->format.height, 1));
  if (s->bits == nullptr) {
    delete s;
    return nullptr;
  }
  if (bits != nullptr) *bits = s->bits;
  return s;
}

HBITMAP CreateDIBSectionOver(const BITMAPINFO* info, void* bits, LONG pitch) {
  if (info == nullptr || bits == nullptr) return nullptr;
  auto* s = new DibSection();
  ++plat::test::GetGdiDibCounters().liveSections;
  if (!DescribeDib(info->bmiHeader, info->bmiColors, &s->format) || static_cast<LONG>(s->format.rowBytes) != pitch) {
    s->ownsBits = false;
    delete s;
    return nullptr;
  }
  s->header = info->bmiHeader;
  s->header.biSize = sizeof(BITMAPINFOHEADER);
  s->bits = static_cast<uint8_t*>(bits);
  s->ownsBits = false;
  return s;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  if (dc == nullptr || object == nullptr) return nullptr;
  HGDIOBJ previous = nullptr;
  switch (object->kind) {
    case GdiKind::Bitmap:
      if (!dc->memory) return nullptr;
      previous = dc->bitmap;
      dc->bitmap = object;
      break;
    case GdiKind::Font:
      previous = dc->font;
      dc->font = object;
      break;
    case GdiKind::Brush:
      previous = dc->brush;
      dc->brush = object;
      break;
    default: return nullptr;
  }
  return previous;
}

int GetObjectA(HGDIOBJ object, int size, void* out) {
  DibSection* s = SectionOf(object);
  if (s == nullptr || out == nullptr) return 0;
  DIBSECTION ds{};
  ds.dsBm.bmType = OBJ_BITMAP_TYPE;
  ds.dsBm.bmWidth = s->format.width;
  ds.dsBm.bmHeight = s->format.height;
  ds.dsBm.bmWidthBytes = static_cast<LONG>(s->format.rowBytes);
  ds.dsBm.bmPlanes = 1;
  ds.dsBm.bmBitsPixel = static_cast<WORD>(s->format.bitCount);
  ds.dsBm.bmBits = s->bits;
  ds.dsBmih = s->header;
  memcpy(ds.dsBitfields, s->format.masks, sizeof(ds.dsBitfields));
  if (size >= static_cast<int>(sizeof(DIBSECTION))) {
    memcpy(out, &ds, sizeof(ds));
    return sizeof(DIBSECTION);
  }
  if (size >= static_cast<int>(sizeof(BITMAP))) {
    memcpy(out, &ds.dsBm, sizeof(BITMAP));
    return sizeof(BITMAP);
  }
  return 0;
}

// ---- Blits ------------------------------------------------------------------------------------------

int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage) {
  DibFormat sf;
  if (bits == nullptr || info == nullptr || usage != DIB_RGB_COLORS || startScan != 0 ||
      !DescribeDib(info->bmiHeader, info->bmiColors, &sf) || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
    return 0;
  }
  // Only the first `lines` scan lines are present (for bottom-up DIBs the bottom ones).
  if (lines < static_cast<UINT>(sf.height)) {
    if (!sf.topDown) return 0;
    sf.height = static_cast<int>(lines);
  }
  int h = static_cast<int>(height);
  int ysTop = sf.height - ySrc - h;
  const int straight = PresentStraight(dc, xDest, yDest, static_cast<int>(width), h, sf,
                                       static_cast<const uint8_t*>(bits), xSrc, ysTop);
  if (straight >= 0) return straight;
  BlitTarget t;
  const bool covered = SourceCovers(sf, xSrc, ysTop, static_cast<int>(width), h);
  if (!OpenTarget(dc, xDest, yDest, xDest + static_cast<int>(width), yDest + h, covered, &t)) return 0;
  int rows = StretchInto(t.format, t.bits, xDest - t.originX, yDest - t.originY, static_cast<int>(width), h, sf,
                         static_cast<const uint8_t*>(bits), xSrc, ysTop, static_cast<int>(width), h);
  CloseTarget(t);
  return rows;
}

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
  DibFormat sf;
  if (bits == nullptr || info == nullptr || usage != DIB_RGB_COLORS || rop != SRCCOPY ||
      !DescribeDib(info->bmiHeader, info->bmiColors, &sf)) {
    return 0;
  }
  // Source rows count from the bottom of the DIB; a negative height mirrors upside down.
  int ysTop = srcHeight > 0 ? sf.height - ySrc - srcHeight : sf.height - 1 - ySrc;
  int x0, x1, y0, y1;
  Extent(xDest, destWidth, &x0, &x1);
  Extent(yDest, destHeight, &y0, &y1);
  if (destWidth == srcWidth && destHeight == srcHeight && destWidth > 0 && destHeight > 0) {
    const int straight = PresentStraight(dc, xDest, yDest, destWidth, destHeight, sf,
                                         static_cast<const uint8_t*>(bits), xSrc, ysTop);
    if (straight >= 0) return straight;
  }
  BlitTarget t;
  const bool covered = destWidth > 0 && destHeight > 0 && SourceCovers(sf, xSrc, ysTop, srcWidth, srcHeight);
  if (!OpenTarget(dc, x0, y0, x1, y1, covered, &t)) return 0;
  int rows = StretchInto(t.format, t.bits, xDest - t.originX, yDest - t.originY, destWidth, destHeight, sf,
                         static_cast<const uint8_t*>(bits), xSrc, ysTop, srcWidth, srcHeight);
  CloseTarget(t);
  return rows;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop) {
  if (rop != SRCCOPY || width < 0 || height < 0) return FALSE;
  // The source: a memory DC's section, or what a window shows.
  DibFormat sf;
  const uint8_t* sbits = nullptr;
  host::Frame picture;
  if (DibSection* s = SelectedSection(src)) {
    sf = s->format;
    sbits = s->bits;
  } else if (src != nullptr && !src->memory && src->window != nullptr && CopyWindowPicture(src->window, &picture) &&
             WindowPictureFormat(picture.width, picture.height, &sf)) {
    sbits = reinterpret_cast<const uint8_t*>(picture.pixels.data());
  } else {
    return FALSE;
  }
  if (PresentStraight(dest, x, y, width, height, sf, sbits, xSrc, ySrc) >= 0) return TRUE;
  BlitTarget t;
  if (!OpenTarget(dest, x, y, x + width, y + height, SourceCovers(sf, xSrc, ySrc, width, height), &t)) return FALSE;
  StretchInto(t.format, t.bits, x - t.originX, y - t.originY, width, height, sf, sbits, xSrc, ySrc, width, height);
  CloseTarget(t);
  return TRUE;
}

int GetDIBits(HDC, HBITMAP bitmap, UINT startScan, UINT lines, void* bits, BITMAPINFO* info, UINT usage) {
  DibSection* s = SectionOf(bitmap);
  if (s == nullptr || s->stock || info == nullptr || usage != DIB_RGB_COLORS) return 0;
  if (bits == nullptr) {
    info->bmiHeader = s->header;
    info->bmiHeader.biSizeImage = s->format.rowBytes * static_cast<DWORD>(s->format.height);
    if (s->header.biCompression == BI_BITFIELDS) SetDibMasks(info, s->format.masks[0], s->format.masks[1], s->format.masks[2]);
    return 1;
  }
  DibFormat of;
  if (!DescribeDib(info->bmiHeader, info->bmiColors, &of) || of.bitCount < 16) return 0;
  int copied = 0;
  int width = of.width < s->format.width ? of.width : s->format.width;
  for (UINT scan = startScan; scan < startScan + lines && scan < static_cast<UINT>(of.height); ++scan) {
    // Scan lines count from the bottom for bottom-up output and from the top for top-down output.
    int topRow = of.topDown ? static_cast<int>(scan) : of.height - 1 - static_cast<int>(scan);
    if (topRow >= s->format.height) continue;
    const uint8_t* srow = RowAt(s->format, s->bits, topRow);
    uint8_t* orow = static_cast<uint8_t*>(bits) + static_cast<size_t>(scan - startScan) * of.rowBytes;
    for (int x = 0; x < width; ++x) WriteRgb(of, orow, x, ReadRgb(s->format, srow, x));
    ++copied;
  }
  return copied;
}

}  // namespace plat

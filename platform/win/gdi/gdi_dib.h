// GDI device-independent bitmaps over memory: memory (compatible) DCs, DIB sections (top-down and
// bottom-up; BI_RGB 1/4/8/16/24/32 and BI_BITFIELDS 16/32 with palettes or masks), SelectObject, and
// the blits that move DIB pixels (SetDIBitsToDevice, StretchDIBits, BitBlt SRCCOPY, GetDIBits),
// plus GetObjectA on a section. Window and screen DCs, DeleteObject and brushes live in gdi_dc.
// Blits draw only into DCs that hold a DIB section; RLE, JPEG and PNG compressions are refused.
#pragma once

#include "platform/win/gdi/gdi_objects.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

// ---- Constants --------------------------------------------------------------------------------------

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;
constexpr DWORD BI_JPEG = 4;
constexpr DWORD BI_PNG = 5;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr LONG OBJ_BITMAP_TYPE = 0;  // bmType of every bitmap

// ---- Records ----------------------------------------------------------------------------------------

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // positive: rows stored bottom-up; negative: top-down
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

// A header followed by room for 256 colours. With BI_BITFIELDS the first three colour slots hold the
// red, green and blue masks as DWORDs (see DibMasks).
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[256];
};

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;      // rows (always positive)
  LONG bmWidthBytes;  // bytes per row, a multiple of 4 for DIB sections
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;
};

struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3];
  HANDLE dshSection;
  DWORD dsOffset;
};

// The masks stored in the colour slots of a BI_BITFIELDS header.
void GetDibMasks(const BITMAPINFO* info, DWORD masks[3]);
void SetDibMasks(BITMAPINFO* info, DWORD red, DWORD green, DWORD blue);

// ---- Calls ------------------------------------------------------------------------------------------

// A memory DC; it starts with a 1 x 1 stock bitmap selected. `dc` is ignored (all DCs are alike here).
HDC CreateCompatibleDC(HDC dc);
// Deletes a memory DC; FALSE for any other DC.
BOOL DeleteDC(HDC dc);
// A DIB section of the header's size and format with zeroed bits; *bits receives the first byte of the
// bits block. Null (and *bits null) for an unsupported format or size. Deleted by DeleteObject.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
// Selects a bitmap (memory DCs only), font or brush; returns the previous one, null on failure.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Copies a DIB rectangle unscaled into the DC's section. Source y counts rows from the bottom of the
// DIB. Returns the lines drawn, 0 on failure.
int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage);
// Stretches a DIB rectangle into the DC's section (nearest pixel). A negative source or destination
// width or height mirrors that axis. Returns the lines drawn, 0 on failure.
int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop);
// Copies between the sections of two DCs (converting formats). SRCCOPY only.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop);
// Reads rows of a section into `bits` in the format of `info` (16/24/32 bits, BI_RGB or
// BI_BITFIELDS). With null bits the header is filled from the section. Returns rows copied, 0 on failure.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT lines, void* bits, BITMAPINFO* info, UINT usage);
// For the display stand-ins: a DIB section over memory the caller owns and keeps alive while the
// section lives (DeleteObject does not free it). The rows must have the DIB row size of the header.
HBITMAP CreateDIBSectionOver(const BITMAPINFO* info, void* bits, LONG pitch);
// Fills a BITMAP or DIBSECTION for a section; returns the bytes written, 0 for other objects.
int GetObjectA(HGDIOBJ object, int size, void* out);

}  // namespace plat

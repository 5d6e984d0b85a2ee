// Window and screen device contexts, painting (BeginPaint / EndPaint), solid and stock brushes,
// FillRect, DeleteObject and GetDeviceCaps. A window DC paints into the host's picture of the window's
// client area; the screen DC reports the desktop mode.
// Memory DCs, DIB sections, SelectObject and blits live in gdi_dib.h.
#pragma once

#include "platform/win/gdi/gdi_objects.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;  // the invalid area being painted, client coordinates
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;

// GetDeviceCaps indices.
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int VREFRESH = 116;

// A solid brush (CreateSolidBrush or a stock brush). A null brush paints nothing.
struct BrushObject : GdiObject {
  BrushObject() : GdiObject(GdiKind::Brush) {}
  COLORREF colour = 0;  // 0x00BBGGRR
  bool hollow = false;
};

// A DC of a window (window non-null) or of the screen.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);

// Validates the window's invalid area and returns a DC for it; null for an unknown window.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
// Marks a client rectangle (null: all of it) for repainting / as painted.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND window, const RECT* rect);

HBRUSH CreateSolidBrush(COLORREF colour);
// Brushes only (WHITE_BRUSH .. NULL_BRUSH); null for any other index.
HGDIOBJ GetStockObject(int index);
// Deletes any GdiObject but stock ones (TRUE without deleting). FALSE for null.
// NOTE: the handle is trusted; deleting an object twice is the caller's fault, as on the original.
BOOL DeleteObject(HGDIOBJ object);
// Paints a rectangle of a window DC (client coordinates) with a brush; memory DCs go to the handler
// that the DIB code registers. FALSE without a DC, rectangle or brush.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
using MemoryDcFillHandler = bool (*)(HDC dc, const RECT& rect, COLORREF colour);
void SetMemoryDcFillHandler(MemoryDcFillHandler handler);

// HORZRES / VERTRES / BITSPIXEL of the desktop, PLANES 1, VREFRESH 60; 0 otherwise or without a DC.
int GetDeviceCaps(HDC dc, int index);

// Region kinds GetClipBox reports (0 is an error).
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

// The box around what a DC may draw, in its own coordinates: a window DC's client area (no window
// covers another here, so the region is always one rectangle; NULLREGION when the client area is
// empty), the screen DC's desktop. 0 for an unknown DC or a null rectangle.
int GetClipBox(HDC dc, RECT* rect);

}  // namespace plat

// The bases of GDI objects (brushes, bitmaps and DIB sections, fonts, regions) and of device contexts.
// DeleteObject deletes a GdiObject through its virtual destructor; a DC remembers what is selected into
// it and, for a window DC, its window.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

enum class GdiKind { Brush, Bitmap, Font, Region, Pen };

struct GdiObject {
  explicit GdiObject(GdiKind k) : kind(k) {}
  virtual ~GdiObject() = default;
  GdiKind kind;
  bool stock = false;  // stock objects are never deleted
};

struct DcObject {
  virtual ~DcObject() = default;
  HWND window = nullptr;       // the window of a window DC; null for the screen and memory DCs
  bool memory = false;         // a compatible (memory) DC
  HBITMAP bitmap = nullptr;    // the bitmap selected into a memory DC
  HFONT font = nullptr;        // the font selected into the DC
  HBRUSH brush = nullptr;
};

}  // namespace plat

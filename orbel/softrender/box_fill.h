// Plain-colour drawing on memory images: the box fill, and the per-pixel colour operations of every
// blend mode that the box and the lines (line_draw.h) share. The colour is given in the destination's
// own pixel format and drawn under the draw state's blend mode, parameter and brightness, clipped to
// the draw area. Depends on mem_img.h, blend_tables.h and the draw state.
#pragma once

#include <cstdint>

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/mem_img.h"
#include "orbel/softrender/stretch_blit_walk.h"
#include "platform/win/kernel/win_types.h"

namespace orbel {

// Fills `rect` (x1, y1, x2, y2 in any order, the larger exclusive; null: the whole image) with `color`.
// Draws nothing on a paletted or alpha image, on colour types 2 and 3, in blend modes 5-9 and above
// 11, or in modes 1-3 with parameter 0.
void DrawBoxMemImg(MemImg* dest, const plat::RECT* rect, uint32_t color);

namespace plain_color {

// What a plain-colour draw fixes once per call.
struct ColorOpSetup {
  uint32_t color;          // the colour after the brightness
  int32_t param;           // blend parameter p, 0-255
  uint32_t value;          // add/subtract: the colour's channels scaled by p, packed
  const int32_t* signedP;  // BlendSignedProductTable row p, entered at 0
};

using stretch::Blue565;
using stretch::Byte;
using stretch::Green565;
using stretch::Load16;
using stretch::Load32;
using stretch::Pack565;
using stretch::Pack888;
using stretch::Red565;
using stretch::Store16;
using stretch::Store32;

// ---- The operations --------------------------------------------------------------------------------

// What modes 1, 10 and 11 move a channel (or an n-bit field) d toward: the colour's c, its inverse,
// or the product with d.
template <int kMode>
inline int32_t TargetOf(int32_t d, int32_t c, int n) {
  if constexpr (kMode == kBlendAlpha) {
    return c;
  } else if constexpr (kMode == kBlendInvert) {
    return ((1 << n) - 1) - c;
  } else {
    static_assert(kMode == kBlendMulAlpha);
    return (d * c) >> n;
  }
}

// Colour type 1 (32-bit): channels are bytes 0-2; byte 3 is kept unless a mode says otherwise.
template <class Channel>
inline uint32_t PerChannel32(uint32_t d, uint32_t c, Channel channel) {
  return (d & 0xFF000000u) |
         Pack888(channel(Byte(d, 16), Byte(c, 16)), channel(Byte(d, 8), Byte(c, 8)), channel(Byte(d, 0), Byte(c, 0)));
}

// Colour type 0 (5:6:5): each field moved by the signed product row, d + S(p, target - d).
template <int kMode>
inline uint32_t TowardTarget565(uint32_t d, uint32_t c, const int32_t* t) {
  const int32_t dr = Red565(d);
  const int32_t dg = Green565(d);
  const int32_t db = Blue565(d);
  return Pack565(dr + t[TargetOf<kMode>(dr, Red565(c), 5) - dr], dg + t[TargetOf<kMode>(dg, Green565(c), 6) - dg],
                 db + t[TargetOf<kMode>(db, Blue565(c), 5) - db]);
}

// The operation of one colour type (0: 5:6:5, 1: 32-bit) and blend mode; Apply draws one pixel.
template <int kType, int kMode>
struct ColorOp {
  static constexpr int kBytes = kType == 1 ? 4 : 2;
  static constexpr int kModeValue = kMode;
  static constexpr bool kPlainFill = kMode == kBlendNone;  // every pixel becomes the colour
  const ColorOpSetup& s;

  void Apply(uint8_t* d) const {
    if constexpr (kType == 1) {
      Store32(d, Apply32(Load32(d)));
    } else {
      Store16(d, Apply565(Load16(d)));
    }
  }

  uint32_t Apply32(uint32_t d) const {
    if constexpr (kMode == kBlendNone) {
      return s.color;
    } else if constexpr (kMode == kBlendAdd) {
      return stretch::PackedAdd888(d, s.value);
    } else if constexpr (kMode == kBlendSub) {
      return stretch::PackedSub888(d, s.value);
    } else if constexpr (kMode == kBlendMul) {
      return PerChannel32(d, s.color, [](int32_t dc, int32_t c) { return (dc * c) >> 8; });
    } else {
      const int32_t p = s.param;
      return PerChannel32(d, s.color, [p](int32_t dc, int32_t c) {
        return ((TargetOf<kMode>(dc, c, 8) - dc) * p + (dc << 8)) >> 8;
      });
    }
  }

  uint32_t Apply565(uint32_t d) const {
    if constexpr (kMode == kBlendNone) {
      return s.color;
    } else if constexpr (kMode == kBlendAdd) {
      return stretch::PackedAdd565(d, s.value);
    } else if constexpr (kMode == kBlendSub) {
      return stretch::PackedSub565(d, s.value);
    } else if constexpr (kMode == kBlendMul) {
      // Fields multiplied in place; the red product reaches 63488^2, so it is formed unsigned.
      const uint32_t c = s.color;
      const uint32_t r = (((d & 0xF800u) * (c & 0xF800u)) >> 16) & 0xF800u;
      const uint32_t g = (((d & 0x07E0u) * (c & 0x07E0u)) >> 11) & 0x07E0u;
      const uint32_t b = ((d & 0x1Fu) * (c & 0x1Fu)) >> 5;
      return r | g | b;
    } else {
      return TowardTarget565<kMode>(d, s.color, s.signedP);
    }
  }
};

// ---- Dispatch -------------------------------------------------------------------------------------

// The colour scaled by the brightness: bytes (or fields) times the brightness byte >> 8.
inline uint32_t PrepareColor(int colorType, uint32_t color, uint32_t bright) {
  const int32_t br = Byte(bright, 16);
  const int32_t bg = Byte(bright, 8);
  const int32_t bb = Byte(bright, 0);
  if (colorType == kMemImgX8R8G8B8) {
    return (color & 0xFF000000u) |
           Pack888((Byte(color, 16) * br) >> 8, (Byte(color, 8) * bg) >> 8, (Byte(color, 0) * bb) >> 8);
  }
  return Pack565((Red565(color) * br) >> 8, (Green565(color) * bg) >> 8, (Blue565(color) * bb) >> 8);
}

template <int kType, class Visitor>
inline bool VisitMode(int mode, const ColorOpSetup& s, Visitor& visit) {
  switch (mode) {
    case kBlendNone: visit(ColorOp<kType, kBlendNone>{s}); return true;
    case kBlendAlpha: visit(ColorOp<kType, kBlendAlpha>{s}); return true;
    case kBlendAdd: visit(ColorOp<kType, kBlendAdd>{s}); return true;
    case kBlendSub: visit(ColorOp<kType, kBlendSub>{s}); return true;
    case kBlendMul: visit(ColorOp<kType, kBlendMul>{s}); return true;
    case kBlendInvert: visit(ColorOp<kType, kBlendInvert>{s}); return true;
    case kBlendMulAlpha: visit(ColorOp<kType, kBlendMulAlpha>{s}); return true;
    default: return false;
  }
}

// Reads the draw state, prepares the colour and calls visit(op) with the operation of the colour type
// (0 or 1) and blend mode. false (visit not called) when the call draws nothing.
template <class Visitor>
bool VisitColorOp(int colorType, uint32_t color, Visitor&& visit) {
  if (colorType != kMemImgR5G6B5 && colorType != kMemImgX8R8G8B8) return false;
  const int32_t p = static_cast<int32_t>(gDrawState.blendParam > 255 ? 255 : gDrawState.blendParam);
  int mode = static_cast<int>(gDrawState.blendMode > 255 ? 255 : gDrawState.blendMode);
  if (mode == kBlendAlpha && p == 255) mode = kBlendNone;
  if ((mode == kBlendAlpha || mode == kBlendAdd || mode == kBlendSub) && p == 0) return false;

  ColorOpSetup s{};
  const uint32_t bright = gDrawState.brightColor & 0xFFFFFF;
  s.color = bright == 0xFFFFFF ? color : PrepareColor(colorType, color, bright);
  s.param = p;
  s.signedP = BlendSignedProductRow(p);
  const uint32_t* rowP = BlendProductTable[p];
  if (colorType == kMemImgX8R8G8B8) {
    s.value = Pack888(static_cast<int32_t>(rowP[Byte(s.color, 16)]), static_cast<int32_t>(rowP[Byte(s.color, 8)]),
                      static_cast<int32_t>(rowP[Byte(s.color, 0)]));
    return VisitMode<1>(mode, s, visit);
  }
  s.color &= 0xFFFF;
  s.value = Pack565(static_cast<int32_t>(rowP[Red565(s.color)]), static_cast<int32_t>(rowP[Green565(s.color)]),
                    static_cast<int32_t>(rowP[Blue565(s.color)]));
  return VisitMode<0>(mode, s, visit);
}

}  // namespace plain_color
}  // namespace orbel

// Span loops of the flat-colour triangle: one colour (brightness already applied) combined with every
// pixel under the blend mode, on 32-bit and 16-bit destinations. Neither the transparency flag nor a
// blend image plays a part here.
#include <cstdint>

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/packed_pixels.h"
#include "orbel/softrender/triangle_pixels.h"
#include "orbel/softrender/triangle_walk.h"

namespace orbel::triangle {

namespace {

using pixel::Load16;
using pixel::Load32;
using pixel::Store16;
using pixel::Store32;

template <int Mode>
void FlatLoop32(const Frame& frame, const Walk& w) {
  const Frame f = frame;  // a local copy: pixel stores cannot alias it
  const uint32_t c = f.flatColor;
  const uint32_t p = f.param;
  const uint32_t v = f.paramMul[Byte(c, 2)] << 16 | f.paramMul[Byte(c, 1)] << 8 | f.paramMul[Byte(c, 0)];
  WalkFlat<4>(f, w, [&](uint8_t* dp) {
    const uint32_t d = Load32(dp);
    uint32_t r;
    if constexpr (Mode == kBlendNone) {
      r = c;
    } else if constexpr (Mode == kBlendAlpha) {
      r = PerByte(d, [&](int k) { return Mix<8>(Byte(c, k), Byte(d, k), p); });
    } else if constexpr (Mode == kBlendAdd) {
      r = pixel::PackedAdd888(d, v);
    } else if constexpr (Mode == kBlendSub) {
      r = pixel::PackedSub888(d, v);
    } else if constexpr (Mode == kBlendMul) {
      r = PerByte(d, [&](int k) { return (Byte(d, k) * Byte(c, k)) >> 8; });
    } else if constexpr (Mode == kBlendInvert) {
      r = PerByte(d, [&](int k) { return Mix<8>(255 - Byte(c, k), Byte(d, k), p); });
    } else {
      r = PerByte(d, [&](int k) { return Mix<8>((Byte(d, k) * Byte(c, k)) >> 8, Byte(d, k), p); });
    }
    Store32(dp, r);
  });
}

template <int Mode>
void FlatLoop16(const Frame& frame, const Walk& w) {
  const Frame f = frame;
  const uint32_t c = f.flatColor & 0xFFFF;
  const int32_t* delta = f.paramDelta;
  const uint32_t v = PerField([&](int k) { return f.paramMul[Field(c, k)]; });
  // d + p (x - d) / 255, toward zero.
  const auto step = [delta](uint32_t x, uint32_t d) {
    return static_cast<uint32_t>(static_cast<int32_t>(d) + delta[static_cast<int32_t>(x) - static_cast<int32_t>(d)]);
  };
  WalkFlat<2>(f, w, [&](uint8_t* dp) {
    const uint32_t d = Load16(dp);
    uint32_t r;
    if constexpr (Mode == kBlendNone) {
      r = c;
    } else if constexpr (Mode == kBlendAlpha) {
      r = PerField([&](int k) { return step(Field(c, k), Field(d, k)); });
    } else if constexpr (Mode == kBlendAdd) {
      r = pixel::PackedAdd565(d, v);
    } else if constexpr (Mode == kBlendSub) {
      r = pixel::PackedSub565(d, v);
    } else if constexpr (Mode == kBlendMul) {
      r = PerField([&](int k) { return (Field(d, k) * Field(c, k)) >> kFieldBits[k]; });
    } else if constexpr (Mode == kBlendInvert) {
      r = PerField([&](int k) { return step(kFieldMax[k] - Field(c, k), Field(d, k)); });
    } else {
      r = PerField([&](int k) { return step((Field(d, k) * Field(c, k)) >> kFieldBits[k], Field(d, k)); });
    }
    Store16(dp, r);
  });
}

template <template <int> class Table>
SpanLoop Pick(int slot) {
  switch (slot) {
    case 0: return Table<kBlendNone>::kLoop;
    case 1: return Table<kBlendAlpha>::kLoop;
    case 2: return Table<kBlendAdd>::kLoop;
    case 3: return Table<kBlendSub>::kLoop;
    case 4: return Table<kBlendMul>::kLoop;
    case 5: return Table<kBlendInvert>::kLoop;
    case 6: return Table<kBlendMulAlpha>::kLoop;
    default: return nullptr;
  }
}

template <int Mode>
struct Flat32 {
  static constexpr SpanLoop kLoop = &FlatLoop32<Mode>;
};
template <int Mode>
struct Flat16 {
  static constexpr SpanLoop kLoop = &FlatLoop16<Mode>;
};

}  // namespace

SpanLoop SelectFlatLoop(int colorType, uint32_t mode, uint32_t param) {
  int slot = ModeSlot(mode);
  if (slot < 0) return nullptr;
  if (param == 0 && (mode == kBlendAlpha || mode == kBlendAdd || mode == kBlendSub)) return nullptr;
  if (mode == kBlendAlpha && param == 255) slot = 0;
  if (colorType == 1) return Pick<Flat32>(slot);
  if (colorType == 0) return Pick<Flat16>(slot);
  return nullptr;
}

}  // namespace orbel::triangle

// Unblended texel-for-texel blits of a 16-bit texture (5:6:5, 5:5:5, 1:5:5:5, 4:4:4:4) into a 16-bit
// target without alpha (5:6:5, 5:5:5), the colour key and the alpha test decided on the raw texels:
// sixteen pixels a step on the AVX2 road, eight on SSE2. Each texel goes from its bits straight to the
// target's bits that unpacking it to eight bits a channel and packing by truncation would give, so the
// bytes are the general routine's. The rows are written once with GCC vector types, which each road's
// wrapper compiles for its own instruction set.
#include <algorithm>
#include <cstring>

#include "platform/d3d/d3d7_fast_paths.h"
#include "platform/d3d/d3d7_span_steps.h"

namespace plat::d3d {
namespace {

using Lanes8 = uint16_t __attribute__((vector_size(16)));   // one SSE2 register of 16-bit pixels
using Lanes16 = uint16_t __attribute__((vector_size(32)));  // one AVX2 register

// The raw values a pixel is dropped for: the key, a range of its keyed bits; the alpha test, a range of
// the texel's alpha bits, or every value outside one (the passing alphas of any comparison form a run).
struct Drops {
  uint16_t keyMask, keyLow, keyHigh;  // keyLow > keyHigh: nothing keyed
  uint16_t alphaLow, alphaHigh;       // of the alpha bits shifted down; empty when no test
  uint16_t alphaOutside;              // 0xFFFF: dropped outside [alphaLow, alphaHigh] instead of inside
};

// The texel's alpha bits shifted down (0 for a layout without alpha), and that index's 8-bit alpha.
template <PixelKind kTexture>
constexpr int kAlphaShift = kTexture == PixelKind::k1555 ? 15 : kTexture == PixelKind::k4444 ? 12 : 16;

template <PixelKind kTexture>
uint32_t AlphaOfIndex(uint32_t index) {
  if constexpr (kTexture == PixelKind::k1555) return index != 0 ? 255 : 0;
  if constexpr (kTexture == PixelKind::k4444) return index * 17;
  return 255;
}

// Which alpha indices the draw's alpha test drops, found by running the test itself on their alphas.
template <PixelKind kTexture>
bool AlphaDrops(const DrawSetup& d, Drops* out) {
  constexpr uint32_t kIndices = kAlphaShift<kTexture> == 16 ? 1 : 1u << (16 - kAlphaShift<kTexture>);
  out->alphaLow = 1, out->alphaHigh = 0, out->alphaOutside = 0;
  if (!d.alphaTest) return true;
  uint32_t alphas[16];
  uint8_t live[16];
  for (uint32_t i = 0; i < kIndices; ++i) alphas[i] = AlphaOfIndex<kTexture>(i) << 24, live[i] = 1;
  AlphaTest(d, alphas, live, static_cast<int>(kIndices));
  // The dropped indices form one run (perhaps empty, perhaps all), or else the kept ones do.
  const uint8_t *begin = live, *stop = live + kIndices;
  for (const uint8_t run : {uint8_t{0}, uint8_t{1}}) {
    const uint8_t* first = std::find(begin, stop, run);
    const uint8_t* end = std::find(first, stop, static_cast<uint8_t>(1 - run));
    if (std::find(end, stop, run) != stop) continue;
    if (first != end) out->alphaLow = static_cast<uint16_t>(first - begin), out->alphaHigh = static_cast<uint16_t>(end - begin - 1);
    out->alphaOutside = run == 0 ? 0 : 0xFFFF;
    return true;
  }
  return false;
}

// The target's bits for texels of the texture's layout, channel by channel: a 5-bit channel keeps its
// bits, 6-bit green loses its low bit, 5-bit green gains its top bit below, 4-bit c becomes c c' (its
// top bits repeated below). Vectors go by reference: these are inlined into each road's own rows.
template <PixelKind kTexture, PixelKind kTarget, typename V>
[[gnu::always_inline]] inline void Convert(const V& t, V* out) {
  constexpr bool k565 = kTarget == PixelKind::k565;
  if constexpr (kTexture == PixelKind::k565) {
    *out = k565 ? t : ((t >> 1) & 0x7FE0) | (t & 0x001F);
  } else if constexpr (kTexture == PixelKind::k4444) {
    const V r = (t >> 8) & 15, g = (t >> 4) & 15, b = t & 15;
    const V r5 = (r << 1) | (r >> 3), b5 = (b << 1) | (b >> 3);
    if constexpr (k565) *out = (r5 << 11) | (((g << 2) | (g >> 2)) << 5) | b5;
    else *out = (r5 << 10) | (((g << 1) | (g >> 3)) << 5) | b5;
  } else if constexpr (k565) {  // 5:5:5 and 1:5:5:5
    *out = ((t & 0x7FE0) << 1) | ((t >> 4) & 0x0020) | (t & 0x001F);
  } else {
    *out = t & 0x7FFF;
  }
}

// One group of pixels: the converted texels where kept, the target's own bits where dropped.
template <PixelKind kTexture, PixelKind kTarget, typename V>
[[gnu::always_inline]] inline void Group(const Drops& k, const uint8_t* src, uint8_t* dst) {
  V t, old, out, alphaIndex{};
  std::memcpy(&t, src, sizeof t);
  std::memcpy(&old, dst, sizeof old);
  if constexpr (kAlphaShift<kTexture> < 16) alphaIndex = t >> kAlphaShift<kTexture>;
  const V keyed = t & k.keyMask;
  const V drop = (V)((keyed >= k.keyLow) & (keyed <= k.keyHigh)) |
                 ((V)((alphaIndex >= k.alphaLow) & (alphaIndex <= k.alphaHigh)) ^ k.alphaOutside);
  Convert<kTexture, kTarget>(t, &out);
  out = (out & ~drop) | (old & drop);
  std::memcpy(dst, &out, sizeof out);
}

struct BlitRows {
  const uint8_t* src;
  ptrdiff_t srcPitch;  // bytes
  uint8_t* dst;
  ptrdiff_t dstPitch;  // bytes
  int width, rows;     // pixels
};

// Every row in whole groups, the last part-group through a padded copy of itself.
template <PixelKind kTexture, PixelKind kTarget, typename V>
[[gnu::always_inline]] inline void Rows(const Drops& drops, const BlitRows& b) {
  const Drops k = drops;  // a copy the stores cannot alias, so its values stay in registers
  constexpr int kLanes = sizeof(V) / 2;
  const int whole = b.width / kLanes * kLanes, rest = b.width - whole;
  const uint8_t* src = b.src;
  uint8_t* dst = b.dst;
  for (int r = 0; r < b.rows; ++r, src += b.srcPitch, dst += b.dstPitch) {
    for (int x = 0; x < whole; x += kLanes) Group<kTexture, kTarget, V>(k, src + x * 2, dst + x * 2);
    if (rest == 0) continue;
    uint8_t texels[sizeof(V)] = {}, pixels[sizeof(V)] = {};
    std::memcpy(texels, src + whole * 2, static_cast<size_t>(rest) * 2);
    std::memcpy(pixels, dst + whole * 2, static_cast<size_t>(rest) * 2);
    Group<kTexture, kTarget, V>(k, texels, pixels);
    std::memcpy(dst + whole * 2, pixels, static_cast<size_t>(rest) * 2);
  }
}

template <PixelKind kTexture, PixelKind kTarget>
void RowsSse2(const Drops& k, const BlitRows& b) {
  Rows<kTexture, kTarget, Lanes8>(k, b);
}

#if defined(__x86_64__) || defined(__i386__)
template <PixelKind kTexture, PixelKind kTarget>
__attribute__((target("avx2"))) void RowsAvx2(const Drops& k, const BlitRows& b) {
  Rows<kTexture, kTarget, Lanes16>(k, b);
}
#else
template <PixelKind kTexture, PixelKind kTarget>
void RowsAvx2(const Drops& k, const BlitRows& b) {
  Rows<kTexture, kTarget, Lanes8>(k, b);
}
#endif

template <PixelKind kTexture, PixelKind kTarget>
bool Blit(const DrawSetup& d, const Drops& keyed, const BlitRows& b) {
  Drops k = keyed;
  if (!AlphaDrops<kTexture>(d, &k)) return false;
  (d.avx2 ? RowsAvx2<kTexture, kTarget> : RowsSse2<kTexture, kTarget>)(k, b);
  return true;
}

template <PixelKind kTarget>
bool BlitInto(const DrawSetup& d, const Drops& k, const BlitRows& b) {
  switch (d.stages[0].code.kind) {
    case PixelKind::k565: return Blit<PixelKind::k565, kTarget>(d, k, b);
    case PixelKind::k555: return Blit<PixelKind::k555, kTarget>(d, k, b);
    case PixelKind::k1555: return Blit<PixelKind::k1555, kTarget>(d, k, b);
    case PixelKind::k4444: return Blit<PixelKind::k4444, kTarget>(d, k, b);
    default: return false;
  }
}

}  // namespace

bool SrcBlit16To16(const DrawSetup& d, const RectangleWalk& rect) {
  const StageSetup& s = d.stages[0];
  int64_t tx, ty;
  if (!BlitSource(s, rect, &tx, &ty)) return false;
  Drops k{0, 1, 0, 1, 0, 0};
  if (d.colorKey) {
    k.keyMask = static_cast<uint16_t>(d.keyMask);
    k.keyLow = static_cast<uint16_t>(d.keyLow);  // the key is masked to the texture's 16 bits
    k.keyHigh = static_cast<uint16_t>(d.keyHigh);
  }
  const BlitRows b{s.pixels + static_cast<size_t>(ty) * s.pitch + static_cast<size_t>(tx) * 2, s.pitch,
                   d.target + static_cast<size_t>(rect.y) * d.targetPitch + static_cast<size_t>(rect.x) * 2,
                   d.targetPitch, rect.width, rect.height};
  if (d.targetCode.kind == PixelKind::k565) return BlitInto<PixelKind::k565>(d, k, b);
  if (d.targetCode.kind == PixelKind::k555) return BlitInto<PixelKind::k555>(d, k, b);
  return false;
}

}  // namespace plat::d3d

// The span routine: texel fetch (point or bilinear with integer weights, three addressing modes and
// a border), colour keys, the stage cascade, the alpha test, Z16, the blend factors and the store,
// with specialised loops for the common cases that produce the same bytes as the general ones.
#include "platform/d3d/d3d7_span.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/d3d/d3d7_span_avx2.h"
#include "platform/d3d/d3d7_span_steps.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plat::d3d {

const uint8_t kAllLive[kChunk] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                  1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                  1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                  1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                  1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

namespace {

bool Compare(DWORD func, uint32_t value, uint32_t reference) {
  switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return value < reference;
    case D3DCMP_EQUAL: return value == reference;
    case D3DCMP_LESSEQUAL: return value <= reference;
    case D3DCMP_GREATER: return value > reference;
    case D3DCMP_NOTEQUAL: return value != reference;
    case D3DCMP_GREATEREQUAL: return value >= reference;
    default: return true;  // ALWAYS, and values no device knows
  }
}

// ---- Texels ---------------------------------------------------------------------------------------

inline uint32_t RawTexel(const StageSetup& s, int64_t tx, int64_t ty) {
  return LoadPixel(s.pixels + static_cast<size_t>(ty) * s.pitch + static_cast<size_t>(tx) * s.code.bytes, s.code.bytes);
}

}  // namespace

uint32_t AddressedTexel(const StageSetup& s, int64_t x, int64_t y) {
  const int64_t tx = AddressTexel(x, s.width, s.addressU), ty = AddressTexel(y, s.height, s.addressV);
  if (tx < 0 || ty < 0) return s.border;
  return Unpack(s.code, RawTexel(s, tx, ty));
}

uint32_t Bilinear(const StageSetup& s, int64_t u, int64_t v) {
  // Texel centres lie at half texels: step back half a texel, then weigh the four neighbours.
  u -= 32768;
  v -= 32768;
  const int64_t x = u >> 16, y = v >> 16;
  const uint32_t fx = static_cast<uint32_t>(u >> 8) & 0xFF, fy = static_cast<uint32_t>(v >> 8) & 0xFF;
  const uint32_t c00 = AddressedTexel(s, x, y), c10 = AddressedTexel(s, x + 1, y);
  const uint32_t c01 = AddressedTexel(s, x, y + 1), c11 = AddressedTexel(s, x + 1, y + 1);
  const uint32_t w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy, w11 = fx * fy;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t c = (Ch(c00, shift) * w00 + Ch(c10, shift) * w10 + Ch(c01, shift) * w01 + Ch(c11, shift) * w11 +
                        32768) >> 16;
    out |= c << shift;
  }
  return out;
}

namespace {

// ---- Texels read where no addressing is needed --------------------------------------------------
// Where every sample of a chunk lies inside the texture, every addressing mode gives the coordinate
// itself: the texels are read straight from their rows, the layout known at compile time.

template <PixelKind kKind>
void PointTexelsInside(const StageSetup& s, const StageCoords& c, int n, uint32_t* out) {
  int64_t u = c.u, v = c.v;
  for (int i = 0; i < n; ++i, u += c.du, v += c.dv) out[i] = TexelAt<kKind>(s, u >> 16, v >> 16);
}

// The texels of the chunk, those needing no addressing read straight: the samples step along a line,
// so those form one run, with the others before and after it.
void FetchAddressed(bool useAvx2, const StageSetup& s, const StageCoords& c, int n, uint32_t* out) {
  auto addressed = [&](int i) {
    return s.bilinear ? Bilinear(s, c.u + c.du * i, c.v + c.dv * i)
                      : AddressedTexel(s, (c.u + c.du * i) >> 16, (c.v + c.dv * i) >> 16);
  };
  int first = 0, end = n;
  while (first < n && !InsideAt(s, c, first)) {
    out[first] = addressed(first);
    ++first;
  }
  while (end > first && !InsideAt(s, c, end - 1)) {
    --end;
    out[end] = addressed(end);
  }
  if (first == end) return;
  const StageCoords run{c.u + c.du * first, c.v + c.dv * first, c.du, c.dv};
  uint32_t* to = out + first;
  const int count = end - first;
  if (s.bilinear) return BilinearSamplesInside(useAvx2, s, run, count, to);
  if (useAvx2 && s.code.bytes == 4 && FitsLanes(s, run)) {
    const uint32_t alpha = s.code.kind == PixelKind::kX888 ? 0xFF000000u : 0;
    if (s.code.kind == PixelKind::k8888 || s.code.kind == PixelKind::kX888) {
      const int done = avx2::PointTexels32(
          avx2::TexelWalk{s.pixels, s.pitch, run.u, run.v, static_cast<int>(run.du), static_cast<int>(run.dv), alpha},
          count, to);
      const StageCoords rest{run.u + run.du * done, run.v + run.dv * done, run.du, run.dv};
      if (s.code.kind == PixelKind::k8888) return PointTexelsInside<PixelKind::k8888>(s, rest, count - done, to + done);
      return PointTexelsInside<PixelKind::kX888>(s, rest, count - done, to + done);
    }
  }
  switch (s.code.kind) {
    case PixelKind::k565: return PointTexelsInside<PixelKind::k565>(s, run, count, to);
    case PixelKind::k555: return PointTexelsInside<PixelKind::k555>(s, run, count, to);
    case PixelKind::k1555: return PointTexelsInside<PixelKind::k1555>(s, run, count, to);
    case PixelKind::k4444: return PointTexelsInside<PixelKind::k4444>(s, run, count, to);
    case PixelKind::kX888: return PointTexelsInside<PixelKind::kX888>(s, run, count, to);
    case PixelKind::k8888: return PointTexelsInside<PixelKind::k8888>(s, run, count, to);
    default:
      for (int i = first; i < end; ++i) out[i] = addressed(i);
      return;
  }
}

}  // namespace

const uint32_t* FetchTexels(const DrawSetup& d, const StageSetup& s, const StageCoords& c, int n, uint32_t* out) {
  if (!s.bound) {
    std::fill(out, out + n, 0xFFFFFFFFu);  // no texture reads as opaque white
    return out;
  }
  if (!s.bilinear) {
    const int64_t tx0 = c.u >> 16, ty = c.v >> 16;
    if (d.fastPaths && c.du == 65536 && c.dv == 0 && ty >= 0 && ty < s.height && tx0 >= 0 && tx0 + n <= s.width) {
      const uint8_t* row = s.pixels + static_cast<size_t>(ty) * s.pitch + static_cast<size_t>(tx0) * s.code.bytes;
      if (s.code.kind == PixelKind::k8888) return reinterpret_cast<const uint32_t*>(row);
      UnpackRow(s.code, row, out, n);
      return out;
    }
  }
  if (d.fastPaths) {
    FetchAddressed(d.avx2, s, c, n, out);
    return out;
  }
  if (s.bilinear) {
    for (int i = 0; i < n; ++i) out[i] = Bilinear(s, c.u + c.du * i, c.v + c.dv * i);
    return out;
  }
  for (int i = 0; i < n; ++i) out[i] = AddressedTexel(s, (c.u + c.du * i) >> 16, (c.v + c.dv * i) >> 16);
  return out;
}

void ColorKeyTest(const DrawSetup& d, const StageCoords& c, int n, uint8_t* live) {
  const StageSetup& s = d.stages[0];
  for (int i = 0; i < n; ++i) {
    const int64_t tx = AddressTexel((c.u + c.du * i) >> 16, s.width, s.addressU);
    const int64_t ty = AddressTexel((c.v + c.dv * i) >> 16, s.height, s.addressV);
    if (tx < 0 || ty < 0) continue;
    const uint32_t raw = RawTexel(s, tx, ty) & d.keyMask;
    if (raw >= d.keyLow && raw <= d.keyHigh) live[i] = 0;
  }
}

namespace {

// ---- The cascade ----------------------------------------------------------------------------------

struct ArgSources {
  uint32_t diffuse, current, texture, tfactor, specular;
};

inline uint32_t Arg(DWORD arg, const ArgSources& a) {
  uint32_t v;
  switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: v = a.diffuse; break;
    case D3DTA_TEXTURE: v = a.texture; break;
    case D3DTA_TFACTOR: v = a.tfactor; break;
    case D3DTA_SPECULAR: v = a.specular; break;
    default: v = a.current; break;
  }
  if (arg & D3DTA_COMPLEMENT) v = ~v;
  if (arg & D3DTA_ALPHAREPLICATE) v = (v >> 24) * 0x01010101u;
  return v;
}

// One channel of a stage operation on 0..255 values.
inline uint32_t Operate(DWORD op, uint32_t a, uint32_t b, const ArgSources& s) {
  switch (op) {
    case D3DTOP_SELECTARG1: return a;
    case D3DTOP_SELECTARG2: return b;
    case D3DTOP_MODULATE: return Div255(a * b);
    case D3DTOP_MODULATE2X: return Div255Sat(2 * a * b);
    case D3DTOP_MODULATE4X: return Div255Sat(4 * a * b);
    case D3DTOP_ADD: return std::min<uint32_t>(255, a + b);
    case D3DTOP_ADDSIGNED: return static_cast<uint32_t>(std::clamp(static_cast<int>(a + b) - 128, 0, 255));
    case D3DTOP_ADDSIGNED2X: return static_cast<uint32_t>(std::clamp(2 * (static_cast<int>(a + b) - 128), 0, 255));
    case D3DTOP_SUBTRACT: return a > b ? a - b : 0;
    case D3DTOP_ADDSMOOTH: return std::min<uint32_t>(255, a + Div255(b * (255 - a)));
    case D3DTOP_BLENDDIFFUSEALPHA: {
      const uint32_t k = s.diffuse >> 24;
      return Div255(a * k + b * (255 - k));
    }
    case D3DTOP_BLENDTEXTUREALPHA: {
      const uint32_t k = s.texture >> 24;
      return Div255(a * k + b * (255 - k));
    }
    case D3DTOP_BLENDFACTORALPHA: {
      const uint32_t k = s.tfactor >> 24;
      return Div255(a * k + b * (255 - k));
    }
    case D3DTOP_BLENDTEXTUREALPHAPM: return std::min<uint32_t>(255, a + Div255(b * (255 - (s.texture >> 24))));
    case D3DTOP_BLENDCURRENTALPHA: {
      const uint32_t k = s.current >> 24;
      return Div255(a * k + b * (255 - k));
    }
    default: return a;
  }
}

uint32_t Cascade(const DrawSetup& d, uint32_t diffuse, uint32_t specular, const uint32_t* const* texels, int at) {
  ArgSources src{diffuse, diffuse, 0, d.tfactor, specular};
  for (int i = 0; i < d.stageCount; ++i) {
    const StageSetup& s = d.stages[i];
    src.texture = texels[i] != nullptr ? texels[i][at] : 0xFFFFFFFFu;
    const uint32_t c1 = Arg(s.colorArg1, src), c2 = Arg(s.colorArg2, src);
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) out |= Operate(s.colorOp, Ch(c1, shift), Ch(c2, shift), src) << shift;
    uint32_t alpha = src.current >> 24;
    if (s.alphaOp != D3DTOP_DISABLE) {
      alpha = Operate(s.alphaOp, Arg(s.alphaArg1, src) >> 24, Arg(s.alphaArg2, src) >> 24, src);
    }
    src.current = out | alpha << 24;
  }
  return src.current;
}

// Whether any stage reads a texel that varies from pixel to pixel (a bound texture it samples). Where
// none does, every pixel of a triangle gets the same colour from the cascade.
bool ReadsVaryingTexel(const DrawSetup& d) {
  for (int s = 0; s < d.stageCount; ++s) {
    if (d.stages[s].readsTexture && d.stages[s].bound) return true;
  }
  return false;
}

// One side of the stage (`alpha`: its alpha, else its colour channels) as the cascade computes it for
// a varying texel: the multipliers of the texel (`*fromTexel`) or the constant value, in the side's
// bits of 0xAARRGGBB. False when the side is not that simple.
bool ShapeSide(DWORD op, DWORD a1, DWORD a2, const ArgSources& k, bool alpha, bool* fromTexel, uint32_t* value) {
  auto texel = [](DWORD a) { return (a & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
  const uint32_t mask = alpha ? 0xFF000000u : 0x00FFFFFFu;
  DWORD chosen;
  switch (op) {
    case D3DTOP_SELECTARG1: chosen = a1; break;
    case D3DTOP_SELECTARG2: chosen = a2; break;
    case D3DTOP_DISABLE:
      if (!alpha) return false;
      *fromTexel = false;  // the alpha of the current colour: the diffuse on the first stage
      *value = k.current & mask;
      return true;
    case D3DTOP_MODULATE:
      if (a1 == D3DTA_TEXTURE && !texel(a2)) {
        *fromTexel = true;
        *value = Arg(a2, k) & mask;
        return true;
      }
      if (a2 == D3DTA_TEXTURE && !texel(a1)) {
        *fromTexel = true;
        *value = Arg(a1, k) & mask;
        return true;
      }
      [[fallthrough]];
    default: {
      // Any operation of constants (none reading the texel or its alpha) is a constant.
      if (texel(a1) || texel(a2) || op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM) return false;
      const uint32_t c1 = Arg(a1, k), c2 = Arg(a2, k);
      *fromTexel = false;
      if (alpha) {
        *value = Operate(op, c1 >> 24, c2 >> 24, k) << 24;
      } else {
        *value = 0;
        for (int shift = 0; shift < 24; shift += 8) *value |= Operate(op, Ch(c1, shift), Ch(c2, shift), k) << shift;
      }
      return true;
    }
  }
  if (chosen == D3DTA_TEXTURE) {
    *fromTexel = true;
    *value = mask;  // all ones: the texel unchanged
    return true;
  }
  if (texel(chosen)) return false;  // a complemented or replicated texel
  *fromTexel = false;
  *value = Arg(chosen, k) & mask;
  return true;
}

// The shape of a draw whose only stage samples a varying texel; false when it is not simple.
bool ShapeOf(const DrawSetup& d, uint32_t diffuse, uint32_t specular, TexelShape* out) {
  if (d.stageCount != 1) return false;
  const StageSetup& s = d.stages[0];
  const ArgSources k{diffuse, diffuse, 0, d.tfactor, specular};
  bool rgbTexel, alphaTexel;
  uint32_t rgb, a;
  if (!ShapeSide(s.colorOp, s.colorArg1, s.colorArg2, k, false, &rgbTexel, &rgb)) return false;
  if (!ShapeSide(s.alphaOp, s.alphaArg1, s.alphaArg2, k, true, &alphaTexel, &a)) return false;
  // Unblended and untested into a target without alpha, the alpha goes nowhere: leave the texel's.
  const PixelKind t = d.targetCode.kind;
  if (!d.blend && !d.alphaTest && (t == PixelKind::k565 || t == PixelKind::k555 || t == PixelKind::kX888)) {
    alphaTexel = true;
    a = 0xFF000000u;
  }
  out->factor = (rgbTexel ? rgb : 0x00FFFFFFu) | (alphaTexel ? a : 0xFF000000u);
  out->fixedMask = (rgbTexel ? 0u : 0x00FFFFFFu) | (alphaTexel ? 0u : 0xFF000000u);
  out->fixed = (rgbTexel ? 0u : rgb) | (alphaTexel ? 0u : a);
  return true;
}

}  // namespace

const DrawSetup::StageMemo& MemoFor(const DrawSetup& d, uint32_t diffuse, uint32_t specular) {
  DrawSetup::StageMemo& m = d.memo;
  if (m.kind != DrawSetup::StageMemo::kNone && m.diffuse == diffuse && m.specular == specular) return m;
  m.diffuse = diffuse;
  m.specular = specular;
  std::fill(std::begin(m.fastPath), std::end(m.fastPath), int8_t{-2});
  TexelShape shape;
  if (!ReadsVaryingTexel(d)) {
    const uint32_t* none[kD3DMaxTextureStages] = {};
    m.kind = DrawSetup::StageMemo::kColour;
    m.colour = Cascade(d, diffuse, specular, none, 0);
  } else if (ShapeOf(d, diffuse, specular, &shape)) {
    m.kind = DrawSetup::StageMemo::kShape;
    m.factor = shape.factor;
    m.fixedMask = shape.fixedMask;
    m.fixed = shape.fixed;
  } else {
    m.kind = DrawSetup::StageMemo::kGeneral;
  }
  return m;
}

namespace {

void ModulateRow(const uint32_t* texels, uint32_t factor, int n, uint32_t* out) {
  int i = 0;
#if defined(__SSE2__)
  // Four pixels a step, each channel in a 16-bit lane: the scalar Div255 rule.
  const __m128i zero = _mm_setzero_si128(), c128 = _mm_set1_epi16(128);
  const __m128i f16 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(factor)), zero);
  auto half = [&](__m128i t16) {
    __m128i t = _mm_add_epi16(_mm_mullo_epi16(t16, f16), c128);
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
  };
  for (; i + 4 <= n; i += 4) {
    const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(texels + i));
    const __m128i lo = half(_mm_unpacklo_epi8(t, zero)), hi = half(_mm_unpackhi_epi8(t, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
  }
#endif
  const uint32_t fa = factor >> 24, fr = Ch(factor, 16), fg = Ch(factor, 8), fb = factor & 0xFF;
  for (; i < n; ++i) {
    const uint32_t t = texels[i];
    out[i] = Div255((t >> 24) * fa) << 24 | Div255(Ch(t, 16) * fr) << 16 | Div255(Ch(t, 8) * fg) << 8 |
             Div255((t & 0xFF) * fb);
  }
}

}  // namespace

const uint32_t* ShapeRow(const uint32_t* texels, const TexelShape& shape, int n, uint32_t* out) {
  if (shape.Identity()) return texels;
  const uint32_t* from = texels;
  if (shape.factor != 0xFFFFFFFFu) {
    ModulateRow(texels, shape.factor, n, out);
    from = out;
  }
  if (shape.fixedMask != 0) {
    const uint32_t keep = ~shape.fixedMask, fixed = shape.fixed;
    int i = 0;
#if defined(__SSE2__)
    const __m128i k = _mm_set1_epi32(static_cast<int>(keep)), f = _mm_set1_epi32(static_cast<int>(fixed));
    for (; i + 4 <= n; i += 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_or_si128(_mm_and_si128(v, k), f));
    }
#endif
    for (; i < n; ++i) out[i] = (from[i] & keep) | fixed;
  }
  return out;
}

namespace {

// Clears `live` where the alpha test fails (the comparison chosen once for the row).
template <typename Test>
void AlphaTestRow(const uint32_t* src, uint8_t* live, int n, Test pass) {
  for (int i = 0; i < n; ++i) live[i] &= static_cast<uint8_t>(pass(src[i] >> 24));
}

}  // namespace

void AlphaTest(const DrawSetup& d, const uint32_t* src, uint8_t* live, int n) {
  const uint32_t ref = d.alphaRef;
  switch (d.alphaFunc) {
    case D3DCMP_NEVER: return std::fill(live, live + n, uint8_t{0});
    case D3DCMP_LESS: return AlphaTestRow(src, live, n, [ref](uint32_t a) { return a < ref; });
    case D3DCMP_EQUAL: return AlphaTestRow(src, live, n, [ref](uint32_t a) { return a == ref; });
    case D3DCMP_LESSEQUAL: return AlphaTestRow(src, live, n, [ref](uint32_t a) { return a <= ref; });
    case D3DCMP_GREATER: return AlphaTestRow(src, live, n, [ref](uint32_t a) { return a > ref; });
    case D3DCMP_NOTEQUAL: return AlphaTestRow(src, live, n, [ref](uint32_t a) { return a != ref; });
    case D3DCMP_GREATEREQUAL: return AlphaTestRow(src, live, n, [ref](uint32_t a) { return a >= ref; });
    default: return;  // ALWAYS, and values no device knows
  }
}

// ---- One chunk ------------------------------------------------------------------------------------

namespace {

StageCoords Advance(const StageCoords& c, int pixels) {
  return StageCoords{c.u + c.du * pixels, c.v + c.dv * pixels, c.du, c.dv};
}

void ShadeChunk(const DrawSetup& d, const SpanInput& in, int offset, int n) {
  uint32_t buffers[kD3DMaxTextureStages][kChunk];
  const uint32_t* texels[kD3DMaxTextureStages] = {};
  uint32_t computed[kChunk];
  uint8_t live[kChunk];
  std::fill(live, live + n, uint8_t{1});
  for (int s = 0; s < d.stageCount; ++s) {
    if (d.stages[s].readsTexture) texels[s] = FetchTexels(d, d.stages[s], Advance(in.coords[s], offset), n, buffers[s]);
  }
  if (d.colorKey) ColorKeyTest(d, Advance(in.coords[0], offset), n, live);

  const uint32_t* src = computed;
  const DrawSetup::StageMemo* memo = d.fastPaths && d.stageCount > 0 ? &MemoFor(d, in.diffuse, in.specular) : nullptr;
  if (d.stageCount == 0) {
    std::fill(computed, computed + n, in.diffuse);
  } else if (memo != nullptr && memo->kind == DrawSetup::StageMemo::kColour) {
    std::fill(computed, computed + n, memo->colour);  // one colour throughout
  } else if (memo != nullptr && memo->kind == DrawSetup::StageMemo::kShape) {
    src = ShapeRow(texels[0], ShapeOfMemo(*memo), n, computed);
  } else {
    for (int i = 0; i < n; ++i) computed[i] = Cascade(d, in.diffuse, in.specular, texels, i);
  }

  if (d.alphaTest) {
    if (d.fastPaths) {
      AlphaTest(d, src, live, n);
    } else {
      for (int i = 0; i < n; ++i) {
        if (!Compare(d.alphaFunc, src[i] >> 24, d.alphaRef)) live[i] = 0;
      }
    }
  }
  const int x = in.x + offset;
  if (d.zTest) {
    auto* z = reinterpret_cast<uint16_t*>(d.zPixels + static_cast<size_t>(in.y) * d.zPitch) + x;
    int64_t zf = in.z + in.dz * offset;
    for (int i = 0; i < n; ++i, zf += in.dz) {
      if (!live[i]) continue;
      const auto value = static_cast<uint32_t>(std::clamp<int64_t>((zf + 32768) >> 16, 0, 65535));
      uint16_t stored;
      std::memcpy(&stored, z + i, 2);
      if (!Compare(d.zFunc, value, stored)) {
        live[i] = 0;
      } else if (d.zWrite) {
        const auto w = static_cast<uint16_t>(value);
        std::memcpy(z + i, &w, 2);
      }
    }
  }
  Store(d, in.y, x, src, live, n, !d.colorKey && !d.alphaTest && !d.zTest);
}

}  // namespace

int64_t AddressTexel(int64_t t, int size, DWORD mode) {
  const int64_t n = size;
  switch (mode) {
    case D3DTADDRESS_WRAP: {
      const int64_t m = t % n;
      return m < 0 ? m + n : m;
    }
    case D3DTADDRESS_MIRROR: {
      int64_t m = t % (2 * n);
      if (m < 0) m += 2 * n;
      return m < n ? m : 2 * n - 1 - m;
    }
    case D3DTADDRESS_BORDER: return t < 0 || t >= n ? -1 : t;
    default: return std::clamp<int64_t>(t, 0, n - 1);  // CLAMP
  }
}

void ShadeSpan(const DrawSetup& setup, const SpanInput& span) {
  for (int done = 0; done < span.n; done += kChunk) ShadeChunk(setup, span, done, std::min(kChunk, span.n - done));
}

}  // namespace plat::d3d

// The span routine: texel fetch (point or bilinear with integer weights, three addressing modes and
// a border), colour keys, the stage cascade, the alpha test, Z16, the blend factors and the store,
// with specialised loops for the common cases that produce the same bytes as the general ones.
#include "platform/d3d/d3d7_span.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d/d3d7_span_avx2.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plat::d3d {
namespace {

constexpr int kChunk = 128;  // pixels shaded at a time

// ---- Channel arithmetic ---------------------------------------------------------------------------

// x / 255 rounded to nearest, exact for 0 <= x <= 65025.
inline uint32_t Div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

// A sum of products over 255, saturated (x may reach 2 * 255 * 255).
inline uint32_t Div255Sat(uint32_t x) { return x >= 65025 ? 255 : Div255(x); }

inline uint32_t Ch(uint32_t c, int shift) { return (c >> shift) & 0xFF; }

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

// The texel at whole-texel coordinates after addressing, as 0xAARRGGBB.
inline uint32_t AddressedTexel(const StageSetup& s, int64_t x, int64_t y) {
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

// ---- Texels read where no addressing is needed --------------------------------------------------
// Where every sample of a chunk lies inside the texture, every addressing mode gives the coordinate
// itself: the texels are read straight from their rows, the layout known at compile time.

template <PixelKind kKind>
inline uint32_t TexelAt(const StageSetup& s, int64_t x, int64_t y) {
  constexpr int kBytes = kKind == PixelKind::kX888 || kKind == PixelKind::k8888 ? 4 : 2;
  const uint8_t* p = s.pixels + static_cast<size_t>(y) * s.pitch + static_cast<size_t>(x) * kBytes;
  if constexpr (kBytes == 4) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return UnpackKind<kKind>(v);
  } else {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return UnpackKind<kKind>(v);
  }
}

template <PixelKind kKind>
void PointTexelsInside(const StageSetup& s, const StageCoords& c, int n, uint32_t* out) {
  int64_t u = c.u, v = c.v;
  for (int i = 0; i < n; ++i, u += c.du, v += c.dv) out[i] = TexelAt<kKind>(s, u >> 16, v >> 16);
}

// The bilinear rule of Bilinear, two channels to a 64-bit word (blue and red, green and alpha, 32 bits
// apart, where a channel's weighted sum cannot reach the next).
template <PixelKind kKind>
void BilinearTexelsInside(const StageSetup& s, const StageCoords& c, int n, uint32_t* out) {
  auto spread = [](uint32_t t, uint64_t* br, uint64_t* ga) {
    *br = (t & 0xFF) | static_cast<uint64_t>((t >> 16) & 0xFF) << 32;
    *ga = ((t >> 8) & 0xFF) | static_cast<uint64_t>(t >> 24) << 32;
  };
  constexpr uint64_t kHalf = 32768 | uint64_t{32768} << 32;
  int64_t u = c.u - 32768, v = c.v - 32768;
  for (int i = 0; i < n; ++i, u += c.du, v += c.dv) {
    const int64_t x = u >> 16, y = v >> 16;
    const uint64_t fx = static_cast<uint64_t>(u >> 8) & 0xFF, fy = static_cast<uint64_t>(v >> 8) & 0xFF;
    const uint64_t w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy, w11 = fx * fy;
    uint64_t br00, ga00, br10, ga10, br01, ga01, br11, ga11;
    spread(TexelAt<kKind>(s, x, y), &br00, &ga00);
    spread(TexelAt<kKind>(s, x + 1, y), &br10, &ga10);
    spread(TexelAt<kKind>(s, x, y + 1), &br01, &ga01);
    spread(TexelAt<kKind>(s, x + 1, y + 1), &br11, &ga11);
    const uint64_t br = br00 * w00 + br10 * w10 + br01 * w01 + br11 * w11 + kHalf;
    const uint64_t ga = ga00 * w00 + ga10 * w10 + ga01 * w01 + ga11 * w11 + kHalf;
    out[i] = static_cast<uint32_t>((br >> 16) & 0xFF) | static_cast<uint32_t>((ga >> 16) & 0xFF) << 8 |
             static_cast<uint32_t>((br >> 48) & 0xFF) << 16 | static_cast<uint32_t>((ga >> 48) & 0xFF) << 24;
  }
}

// Whether sample `i` of the chunk needs no addressing: its texel (and, bilinear, the texel right and
// below it) lies inside the texture.
inline bool InsideAt(const StageSetup& s, const StageCoords& c, int i) {
  const int margin = s.bilinear ? 1 : 0;
  const int64_t back = s.bilinear ? 32768 : 0;
  const int64_t x = (c.u - back + c.du * i) >> 16, y = (c.v - back + c.dv * i) >> 16;
  return x >= 0 && y >= 0 && x <= s.width - 1 - margin && y <= s.height - 1 - margin;
}

template <PixelKind kKind>
void FetchInsideOf(const StageSetup& s, const StageCoords& c, int n, uint32_t* out) {
  if (s.bilinear) {
    BilinearTexelsInside<kKind>(s, c, n, out);
  } else {
    PointTexelsInside<kKind>(s, c, n, out);
  }
}

// The texels of the chunk, those needing no addressing read straight: the samples step along a line,
// so those form one run, with the others before and after it.
void FetchAddressed(const StageSetup& s, const StageCoords& c, int n, uint32_t* out) {
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
  switch (s.code.kind) {
    case PixelKind::k565: return FetchInsideOf<PixelKind::k565>(s, run, count, to);
    case PixelKind::k555: return FetchInsideOf<PixelKind::k555>(s, run, count, to);
    case PixelKind::k1555: return FetchInsideOf<PixelKind::k1555>(s, run, count, to);
    case PixelKind::k4444: return FetchInsideOf<PixelKind::k4444>(s, run, count, to);
    case PixelKind::kX888: return FetchInsideOf<PixelKind::kX888>(s, run, count, to);
    case PixelKind::k8888: return FetchInsideOf<PixelKind::k8888>(s, run, count, to);
    default:
      for (int i = first; i < end; ++i) out[i] = addressed(i);
      return;
  }
}

// One stage's texels for `n` pixels, in `out` or (a row of an 8:8:8:8 texture read texel for texel)
// straight from the texture.
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
    FetchAddressed(s, c, n, out);
    return out;
  }
  if (s.bilinear) {
    for (int i = 0; i < n; ++i) out[i] = Bilinear(s, c.u + c.du * i, c.v + c.dv * i);
    return out;
  }
  for (int i = 0; i < n; ++i) out[i] = AddressedTexel(s, (c.u + c.du * i) >> 16, (c.v + c.dv * i) >> 16);
  return out;
}

// Clears `live` where the stage-0 texel (point-sampled, raw) matches the colour key.
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

// What a single stage makes of its texel when that is simple: the colour channels and the alpha are
// each the texel's own times a constant (255 keeps it) or a constant of their own. Stored as the
// multipliers of the texel's channels and the channels replaced by `fixed`.
struct TexelShape {
  uint32_t factor;     // 0xAARRGGBB multipliers
  uint32_t fixedMask;  // 0x00FFFFFF, 0xFF000000, both or neither
  uint32_t fixed;
  bool Identity() const { return factor == 0xFFFFFFFFu && fixedMask == 0; }
};

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

// The draw's memo for these flat colours, worked out when they change.
const DrawSetup::StageMemo& MemoFor(const DrawSetup& d, uint32_t diffuse, uint32_t specular) {
  DrawSetup::StageMemo& m = d.memo;
  if (m.kind != DrawSetup::StageMemo::kNone && m.diffuse == diffuse && m.specular == specular) return m;
  m.diffuse = diffuse;
  m.specular = specular;
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

// The stage's colours of `n` texels: the texels themselves when the shape keeps them, else in `out`.
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

// Clears `live` where the alpha test fails (the comparison chosen once for the row).
template <typename Test>
void AlphaTestRow(const uint32_t* src, uint8_t* live, int n, Test pass) {
  for (int i = 0; i < n; ++i) live[i] &= static_cast<uint8_t>(pass(src[i] >> 24));
}

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

// ---- Blending and the store -----------------------------------------------------------------------

// The blend factor of one channel (shift 24 is alpha).
inline uint32_t Factor(DWORD blend, uint32_t s, uint32_t dst, int shift, bool source) {
  const uint32_t sa = s >> 24, da = dst >> 24;
  switch (blend) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return 255;
    case D3DBLEND_SRCCOLOR: return Ch(s, shift);
    case D3DBLEND_INVSRCCOLOR: return 255 - Ch(s, shift);
    case D3DBLEND_SRCALPHA: return sa;
    case D3DBLEND_INVSRCALPHA: return 255 - sa;
    case D3DBLEND_DESTALPHA: return da;
    case D3DBLEND_INVDESTALPHA: return 255 - da;
    case D3DBLEND_DESTCOLOR: return Ch(dst, shift);
    case D3DBLEND_INVDESTCOLOR: return 255 - Ch(dst, shift);
    case D3DBLEND_SRCALPHASAT: return shift == 24 ? 255 : std::min(sa, 255 - da);
    case D3DBLEND_BOTHSRCALPHA: return source ? sa : 255 - sa;
    case D3DBLEND_BOTHINVSRCALPHA: return source ? 255 - sa : sa;
    default: return source ? 255 : 0;
  }
}

inline uint32_t Blend(const DrawSetup& d, uint32_t s, uint32_t dst) {
  // BOTH* source factors decide the destination factor too.
  const bool both = d.srcBlend == D3DBLEND_BOTHSRCALPHA || d.srcBlend == D3DBLEND_BOTHINVSRCALPHA;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t fs = Factor(d.srcBlend, s, dst, shift, true);
    const uint32_t fd = both ? Factor(d.srcBlend, s, dst, shift, false) : Factor(d.destBlend, s, dst, shift, false);
    out |= Div255Sat(Ch(s, shift) * fs + Ch(dst, shift) * fd) << shift;
  }
  return out;
}

inline bool OverBlend(const DrawSetup& d) {
  return d.srcBlend == D3DBLEND_SRCALPHA && d.destBlend == D3DBLEND_INVSRCALPHA;
}

// Source over destination for the usual blend, into a 32-bit XRGB target: eight pixels a step on the
// AVX2 road, then four, groups all clear or all opaque taking a shortcut. The arithmetic is the scalar
// Div255 rule, lane by lane.
void StoreOverX888(bool avx2, uint8_t* row, const uint32_t* src, const uint8_t* live, int n) {
  int i = avx2 ? avx2::StoreOverX888(row, src, live, n) : 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), rgb = _mm_set1_epi32(0x00FFFFFF), c255 = _mm_set1_epi16(255),
                c128 = _mm_set1_epi16(128);
  for (; i + 4 <= n; i += 4) {
    uint32_t liveBits;
    std::memcpy(&liveBits, live + i, 4);
    if (liveBits != 0x01010101u) break;  // the scalar loop finishes rows with discarded pixels
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i alpha = _mm_srli_epi32(s, 24);
    const int clear = _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, zero));
    if (clear == 0xFFFF) continue;
    __m128i* p = reinterpret_cast<__m128i*>(row + i * 4);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_set1_epi32(255))) == 0xFFFF) {
      _mm_storeu_si128(p, _mm_and_si128(s, rgb));
      continue;
    }
    const __m128i dst = _mm_loadu_si128(p);
    auto half = [&](__m128i s16, __m128i d16) {
      __m128i a = _mm_shufflelo_epi16(s16, 0xFF);
      a = _mm_shufflehi_epi16(a, 0xFF);
      __m128i t = _mm_add_epi16(_mm_mullo_epi16(s16, a), _mm_mullo_epi16(d16, _mm_sub_epi16(c255, a)));
      t = _mm_add_epi16(t, c128);
      return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    };
    const __m128i lo = half(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(dst, zero));
    const __m128i hi = half(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(dst, zero));
    __m128i out = _mm_and_si128(_mm_packus_epi16(lo, hi), rgb);
    if (clear != 0) {
      // Clear pixels keep the destination as it is, as the scalar rule does.
      const __m128i keep = _mm_cmpeq_epi32(alpha, zero);
      out = _mm_or_si128(_mm_and_si128(keep, dst), _mm_andnot_si128(keep, out));
    }
    _mm_storeu_si128(p, out);
  }
#endif
  for (; i < n; ++i) {
    const uint32_t s = src[i], a = s >> 24;
    if (!live[i] || a == 0) continue;
    uint32_t* p = reinterpret_cast<uint32_t*>(row) + i;
    if (a == 255) {
      *p = s & 0xFFFFFF;
      continue;
    }
    const uint32_t dst = *p, ia = 255 - a;
    *p = Div255(Ch(s, 16) * a + Ch(dst, 16) * ia) << 16 | Div255(Ch(s, 8) * a + Ch(dst, 8) * ia) << 8 |
         Div255((s & 0xFF) * a + (dst & 0xFF) * ia);
  }
}

// The same into a 16-bit target without alpha; a clear source pixel leaves the stored bits as they are,
// as unpacking and packing them again would.
template <PixelKind kKind>
void StoreOver16(bool avx2, const PixelCode& f, uint8_t* row, const uint32_t* src, const uint8_t* live, int n) {
  int i = 0;
  if (avx2) i = kKind == PixelKind::k565 ? avx2::StoreOver565(row, src, live, n) : avx2::StoreOver555(row, src, live, n);
#if defined(__SSE2__)
  // Eight pixels a step, each channel in a 16-bit lane; the same replicate, Div255, truncate rule.
  constexpr int kGreenBits = kKind == PixelKind::k565 ? 6 : 5;
  constexpr int kRedShift = kKind == PixelKind::k565 ? 11 : 10;
  const __m128i zero = _mm_setzero_si128(), byte = _mm_set1_epi32(0xFF), c255 = _mm_set1_epi16(255),
                c128 = _mm_set1_epi16(128), five = _mm_set1_epi16(31), green = _mm_set1_epi16((1 << kGreenBits) - 1);
  auto channel = [&](__m128i a, __m128i b, int shift) {
    return _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(a, shift), byte), _mm_and_si128(_mm_srli_epi32(b, shift), byte));
  };
  auto mix = [&](__m128i s16, __m128i d16, __m128i a, __m128i ia) {
    __m128i t = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(s16, a), _mm_mullo_epi16(d16, ia)), c128);
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
  };
  for (; i + 8 <= n; i += 8) {
    uint64_t liveBits;
    std::memcpy(&liveBits, live + i, 8);
    if (liveBits != 0x0101010101010101ull) break;
    const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4));
    const __m128i a = channel(s0, s1, 24);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, zero)) == 0xFFFF) continue;
    __m128i r = channel(s0, s1, 16), g = channel(s0, s1, 8), b = channel(s0, s1, 0);
    __m128i* p = reinterpret_cast<__m128i*>(row + i * 2);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, c255)) != 0xFFFF) {
      const __m128i d = _mm_loadu_si128(p);
      const __m128i dr = _mm_and_si128(_mm_srli_epi16(d, kRedShift), five);
      const __m128i dg = _mm_and_si128(_mm_srli_epi16(d, 5), green);
      const __m128i db = _mm_and_si128(d, five);
      const __m128i r8 = _mm_or_si128(_mm_slli_epi16(dr, 3), _mm_srli_epi16(dr, 2));
      const __m128i g8 = kGreenBits == 6 ? _mm_or_si128(_mm_slli_epi16(dg, 2), _mm_srli_epi16(dg, 4))
                                         : _mm_or_si128(_mm_slli_epi16(dg, 3), _mm_srli_epi16(dg, 2));
      const __m128i b8 = _mm_or_si128(_mm_slli_epi16(db, 3), _mm_srli_epi16(db, 2));
      const __m128i ia = _mm_sub_epi16(c255, a);
      r = mix(r, r8, a, ia);
      g = mix(g, g8, a, ia);
      b = mix(b, b8, a, ia);
    }
    const __m128i packed = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_srli_epi16(r, 3), kRedShift),
                                                     _mm_slli_epi16(_mm_srli_epi16(g, 8 - kGreenBits), 5)),
                                        _mm_srli_epi16(b, 3));
    _mm_storeu_si128(p, packed);
  }
#endif
  for (; i < n; ++i) {
    const uint32_t s = src[i], a = s >> 24;
    if (!live[i] || a == 0) continue;
    uint16_t raw;
    std::memcpy(&raw, row + i * 2, 2);
    uint32_t out = s;
    if (a != 255) {
      const uint32_t dst = Unpack(f, raw), ia = 255 - a;
      out = 0xFF000000u | Div255(Ch(s, 16) * a + Ch(dst, 16) * ia) << 16 | Div255(Ch(s, 8) * a + Ch(dst, 8) * ia) << 8 |
            Div255((s & 0xFF) * a + (dst & 0xFF) * ia);
    }
    const auto packed = static_cast<uint16_t>(Pack(f, out));
    std::memcpy(row + i * 2, &packed, 2);
  }
}

// Unblended stores into the usual targets, Pack's packing kind by kind; pixels that failed a test keep
// what they had. With every pixel live, the 16-bit targets take eight pixels a step.
template <PixelKind kKind>
void StoreOpaque(uint8_t* row, const uint32_t* src, const uint8_t* live, int n, bool allLive) {
  int i = 0;
  if constexpr (kKind == PixelKind::kX888 || kKind == PixelKind::k8888) {
    const uint32_t keep = kKind == PixelKind::kX888 ? 0x00FFFFFFu : 0xFFFFFFFFu;
    for (; i < n; ++i) {
      if (!allLive && !live[i]) continue;
      const uint32_t v = src[i] & keep;
      std::memcpy(row + i * 4, &v, 4);
    }
  } else {
    constexpr bool k565 = kKind == PixelKind::k565;
#if defined(__SSE2__)
    const __m128i r = _mm_set1_epi32(k565 ? 0xF800 : 0x7C00), g = _mm_set1_epi32(k565 ? 0x07E0 : 0x03E0),
                  b = _mm_set1_epi32(0x001F), zero = _mm_setzero_si128();
    auto pack = [&](__m128i v) {
      const __m128i x = _mm_or_si128(
          _mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, k565 ? 8 : 9), r), _mm_and_si128(_mm_srli_epi32(v, k565 ? 5 : 6), g)),
          _mm_and_si128(_mm_srli_epi32(v, 3), b));
      return _mm_srai_epi32(_mm_slli_epi32(x, 16), 16);  // sign-extended, so the signed pack keeps the bits
    };
    for (; i + 8 <= n; i += 8) {
      const __m128i lo = pack(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
      const __m128i hi = pack(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4)));
      __m128i packed = _mm_packs_epi32(lo, hi);
      auto* p = reinterpret_cast<__m128i*>(row + i * 2);
      if (!allLive) {
        // Discarded pixels keep the target's bits.
        const __m128i keep = _mm_cmpeq_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(live + i)), zero), zero);
        packed = _mm_or_si128(_mm_andnot_si128(keep, packed), _mm_and_si128(keep, _mm_loadu_si128(p)));
      }
      _mm_storeu_si128(p, packed);
    }
#endif
    for (; i < n; ++i) {
      if (!allLive && !live[i]) continue;
      const uint32_t v = src[i];
      const auto packed = static_cast<uint16_t>(k565 ? (v >> 8 & 0xF800) | (v >> 5 & 0x07E0) | (v >> 3 & 0x001F)
                                                     : (v >> 9 & 0x7C00) | (v >> 6 & 0x03E0) | (v >> 3 & 0x001F));
      std::memcpy(row + i * 2, &packed, 2);
    }
  }
}

// `allLive`: no pixel of the row was discarded (`live` is all ones).
void Store(const DrawSetup& d, int y, int x, const uint32_t* src, const uint8_t* live, int n, bool allLive = false) {
  const PixelCode& f = d.targetCode;
  uint8_t* row = d.target + static_cast<size_t>(y) * d.targetPitch + static_cast<size_t>(x) * f.bytes;
  if (!d.blend) {
    if (d.fastPaths) {
      switch (f.kind) {
        case PixelKind::k565: return StoreOpaque<PixelKind::k565>(row, src, live, n, allLive);
        case PixelKind::k555: return StoreOpaque<PixelKind::k555>(row, src, live, n, allLive);
        case PixelKind::kX888: return StoreOpaque<PixelKind::kX888>(row, src, live, n, allLive);
        case PixelKind::k8888: return StoreOpaque<PixelKind::k8888>(row, src, live, n, allLive);
        default: break;
      }
    }
    for (int i = 0; i < n; ++i) {
      if (live[i]) StorePixel(row + i * f.bytes, f.bytes, Pack(f, src[i]));
    }
    return;
  }
  if (d.fastPaths && OverBlend(d)) {
    switch (f.kind) {
      case PixelKind::kX888: return StoreOverX888(d.avx2, row, src, live, n);
      case PixelKind::k565: return StoreOver16<PixelKind::k565>(d.avx2, f, row, src, live, n);
      case PixelKind::k555: return StoreOver16<PixelKind::k555>(d.avx2, f, row, src, live, n);
      default: break;
    }
  }
  for (int i = 0; i < n; ++i) {
    if (!live[i]) continue;
    uint8_t* p = row + i * f.bytes;
    StorePixel(p, f.bytes, Pack(f, Blend(d, src[i], Unpack(f, LoadPixel(p, f.bytes)))));
  }
}

// ---- One chunk ------------------------------------------------------------------------------------

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
    src = ShapeRow(texels[0], TexelShape{memo->factor, memo->fixedMask, memo->fixed}, n, computed);
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

bool BlitRectangle(const DrawSetup& d, const SpanInput& top, int rows, int64_t rowStepU, int64_t rowStepV) {
  // A blit: one point-sampled stage that is its texel times a constant, read texel for texel in rows
  // that lie inside the texture, with no Z.
  if (!d.fastPaths || d.stageCount != 1 || d.zTest) return false;
  const StageSetup& s = d.stages[0];
  const StageCoords& c = top.coords[0];
  if (!s.bound || s.bilinear || !s.readsTexture) return false;
  const DrawSetup::StageMemo& memo = MemoFor(d, top.diffuse, top.specular);
  if (memo.kind != DrawSetup::StageMemo::kShape) return false;
  const TexelShape shape{memo.factor, memo.fixedMask, memo.fixed};
  if (c.du != 65536 || c.dv != 0 || rowStepU != 0 || rowStepV != 65536) return false;
  const int64_t tx = c.u >> 16, ty = c.v >> 16;
  if (tx < 0 || ty < 0 || tx + top.n > s.width || ty + rows > s.height) return false;
  static const uint8_t kAllLive[kChunk] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                           1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                           1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                           1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                           1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  const int bytes = d.targetCode.bytes;
  // Blended rows read the target: ask for the row two ahead, as the hardware's prefetch misses the stride.
  auto prefetch = [&](int r) {
    const uint8_t* ahead = d.target + static_cast<size_t>(top.y + r + 2) * d.targetPitch + static_cast<size_t>(top.x) * bytes;
    for (int b = 0; b < top.n * bytes; b += 64) __builtin_prefetch(ahead + b, 1);
    __builtin_prefetch(ahead + top.n * bytes - 1, 1);
  };
  if (d.blend && OverBlend(d) && d.targetCode.kind == PixelKind::kX888 && s.code.kind == PixelKind::k8888 &&
      shape.Identity() && !d.colorKey && !d.alphaTest) {
    // The sprite case: texels straight over the target, every pixel live.
    uint8_t* dst = d.target + static_cast<size_t>(top.y) * d.targetPitch + static_cast<size_t>(top.x) * bytes;
    const uint8_t* src = s.pixels + static_cast<size_t>(ty) * s.pitch + static_cast<size_t>(tx) * 4;
    if (d.avx2) {
      avx2::OverRectX888(avx2::RectFrame{dst, d.targetPitch, src, s.pitch, top.n, rows});
      return true;
    }
    for (int r = 0; r < rows; ++r, dst += d.targetPitch, src += s.pitch) {
      if (r + 2 < rows) prefetch(r);
      for (int done = 0; done < top.n; done += kChunk) {
        StoreOverX888(false, dst + done * 4, reinterpret_cast<const uint32_t*>(src) + done, kAllLive,
                      std::min(kChunk, top.n - done));
      }
    }
    return true;
  }
  uint32_t unpacked[kChunk], modulated[kChunk];
  uint8_t live[kChunk];
  for (int r = 0; r < rows; ++r) {
    if (d.blend && r + 2 < rows) prefetch(r);
    const uint8_t* texRow = s.pixels + static_cast<size_t>(ty + r) * s.pitch;
    for (int done = 0; done < top.n; done += kChunk) {
      const int n = std::min(kChunk, top.n - done);
      const uint8_t* from = texRow + static_cast<size_t>(tx + done) * s.code.bytes;
      const uint32_t* src = reinterpret_cast<const uint32_t*>(from);
      if (s.code.kind != PixelKind::k8888) {
        UnpackRow(s.code, from, unpacked, n);
        src = unpacked;
      }
      src = ShapeRow(src, shape, n, modulated);
      const uint8_t* liveRow = kAllLive;
      if (d.colorKey || d.alphaTest) {
        std::fill(live, live + n, uint8_t{1});
        for (int i = 0; d.colorKey && i < n; ++i) {
          const uint32_t raw = LoadPixel(from + static_cast<size_t>(i) * s.code.bytes, s.code.bytes) & d.keyMask;
          if (raw >= d.keyLow && raw <= d.keyHigh) live[i] = 0;
        }
        if (d.alphaTest) AlphaTest(d, src, live, n);
        liveRow = live;
      }
      Store(d, top.y + r, top.x + done, src, liveRow, n, liveRow == kAllLive);
    }
  }
  return true;
}

void ShadeSpan(const DrawSetup& setup, const SpanInput& span) {
  for (int done = 0; done < span.n; done += kChunk) ShadeChunk(setup, span, done, std::min(kChunk, span.n - done));
}

}  // namespace plat::d3d

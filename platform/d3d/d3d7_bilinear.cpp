// The bilinear fast paths: samples of any primitive whose four texels lie inside the texture (turned
// quads), and stretched rectangles, whose columns share their texels and fractions from row to row and
// whose rows share them along the row, so each texel row is summed across once and every target row is
// one sum down. Both give the bytes of Bilinear(), through the vector rows of d3d7_bilinear_rows.h.
#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/d3d/d3d7_bilinear_rows.h"
#include "platform/d3d/d3d7_fast_paths.h"
#include "platform/d3d/d3d7_span_steps.h"

namespace plat::d3d {
namespace {

// ---- Samples stepping along a line ----------------------------------------------------------------

template <PixelKind kKind>
void SamplesInsideOf(bool useAvx2, const StageSetup& s, const StageCoords& c, int n, uint32_t* out) {
  uint32_t tl[kChunk], tr[kChunk], bl[kChunk], br[kChunk];
  uint16_t fx[kChunk], fy[kChunk];
  int16_t top[4 * kChunk], bottom[4 * kChunk];
  int64_t u = c.u - 32768, v = c.v - 32768;  // texel centres lie at half texels
  for (int i = 0; i < n; ++i, u += c.du, v += c.dv) {
    const int64_t x = u >> 16, y = v >> 16;
    fx[i] = static_cast<uint16_t>((u >> 8) & 0xFF);
    fy[i] = static_cast<uint16_t>((v >> 8) & 0xFF);
    tl[i] = TexelAt<kKind>(s, x, y);
    tr[i] = TexelAt<kKind>(s, x + 1, y);
    bl[i] = TexelAt<kKind>(s, x, y + 1);
    br[i] = TexelAt<kKind>(s, x + 1, y + 1);
  }
  Across(useAvx2, tl, tr, fx, n, top);
  Across(useAvx2, bl, br, fx, n, bottom);
  DownEach(useAvx2, top, bottom, fy, n, out);
}

// ---- Stretched rectangles -------------------------------------------------------------------------

constexpr int64_t kNoRow = std::numeric_limits<int64_t>::min();

// A strip of at most kChunk target columns: each column's left and right texel (addressed, -1 for
// the border colour) and fraction across, the same on every row, and the last two texel rows summed
// across (a stretch reads each texel row for several target rows in turn).
constexpr int kNearRange = 4 * kChunk;  // the most texels a strip's row is unpacked whole for

struct Strip {
  int x, n;
  bool border;  // some column reads the border colour
  int32_t left[kChunk], right[kChunk];
  uint16_t fx[kChunk];
  // Where the columns lie within kNearRange texels from `first` (the usual stretch): each texel row is
  // unpacked over that range once, the border colour after it, and the columns read from there.
  bool near;
  int32_t first, count;
  int32_t leftAt[kChunk], rightAt[kChunk];  // in the unpacked range
  struct Sums {
    int64_t row = kNoRow;  // the addressed texel row, -1: the border row
    int16_t values[4 * kChunk];
  } sums[2];
};

void FindNearRange(Strip* strip) {
  int32_t lo = std::numeric_limits<int32_t>::max(), hi = -1;
  for (int i = 0; i < strip->n; ++i) {
    for (const int32_t x : {strip->left[i], strip->right[i]}) {
      if (x < 0) continue;
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
  }
  strip->near = hi < 0 || hi - lo < kNearRange;
  if (!strip->near) return;
  strip->first = hi < 0 ? 0 : lo;
  strip->count = hi < 0 ? 0 : hi - lo + 1;
  for (int i = 0; i < strip->n; ++i) {
    strip->leftAt[i] = strip->left[i] < 0 ? strip->count : strip->left[i] - strip->first;
    strip->rightAt[i] = strip->right[i] < 0 ? strip->count : strip->right[i] - strip->first;
  }
}

template <PixelKind kKind>
inline uint32_t TexelOfRow([[maybe_unused]] const StageSetup& s, const uint8_t* row, int32_t x) {
  if constexpr (kKind == PixelKind::kOther) {
    return Unpack(s.code, LoadPixel(row + static_cast<size_t>(x) * s.code.bytes, s.code.bytes));
  } else {
    return TexelInRow<kKind>(row, x);
  }
}

// The sums across of texel row `row` for the strip, in the slot that does not hold `keep`.
template <PixelKind kKind>
const int16_t* SumsOf(bool useAvx2, const StageSetup& s, Strip* strip, int64_t row, const int16_t* keep) {
  for (const Strip::Sums& held : strip->sums) {
    if (held.row == row) return held.values;
  }
  Strip::Sums& slot = strip->sums[0].values == keep ? strip->sums[1] : strip->sums[0];
  uint32_t left[kChunk], right[kChunk];
  const int n = strip->n;
  if (row < 0) {
    std::fill(left, left + n, s.border);
    std::fill(right, right + n, s.border);
  } else if (strip->near) {
    uint32_t unpacked[kNearRange + 1];
    UnpackRow(s.code, s.pixels + static_cast<size_t>(row) * s.pitch + static_cast<size_t>(strip->first) * s.code.bytes,
              unpacked, strip->count);
    unpacked[strip->count] = s.border;
    for (int i = 0; i < n; ++i) {
      left[i] = unpacked[strip->leftAt[i]];
      right[i] = unpacked[strip->rightAt[i]];
    }
  } else {
    const uint8_t* texels = s.pixels + static_cast<size_t>(row) * s.pitch;
    if (!strip->border) {
      for (int i = 0; i < n; ++i) {
        left[i] = TexelOfRow<kKind>(s, texels, strip->left[i]);
        right[i] = TexelOfRow<kKind>(s, texels, strip->right[i]);
      }
    } else {
      for (int i = 0; i < n; ++i) {
        left[i] = strip->left[i] < 0 ? s.border : TexelOfRow<kKind>(s, texels, strip->left[i]);
        right[i] = strip->right[i] < 0 ? s.border : TexelOfRow<kKind>(s, texels, strip->right[i]);
      }
    }
  }
  Across(useAvx2, left, right, strip->fx, n, slot.values);
  slot.row = row;
  return slot.values;
}

template <PixelKind kKind>
void StretchOf(const DrawSetup& d, const RectangleWalk& rect) {
  const StageSetup& s = d.stages[0];
  const StageCoords& c = rect.top.coords[0];
  const TexelShape shape = ShapeOfMemo(MemoFor(d, rect.top.diffuse, rect.top.specular));
  std::vector<Strip> strips(static_cast<size_t>((rect.width + kChunk - 1) / kChunk));
  for (size_t k = 0; k < strips.size(); ++k) {
    Strip& strip = strips[k];
    strip.x = static_cast<int>(k) * kChunk;
    strip.n = std::min(kChunk, rect.width - strip.x);
    strip.border = false;
    for (int i = 0; i < strip.n; ++i) {
      const int64_t u = c.u + c.du * (strip.x + i) - 32768;
      strip.fx[i] = static_cast<uint16_t>((u >> 8) & 0xFF);
      strip.left[i] = static_cast<int32_t>(AddressTexel(u >> 16, s.width, s.addressU));
      strip.right[i] = static_cast<int32_t>(AddressTexel((u >> 16) + 1, s.width, s.addressU));
      strip.border |= strip.left[i] < 0 || strip.right[i] < 0;
    }
    FindNearRange(&strip);
  }
  uint32_t samples[kChunk], shaped[kChunk];
  uint8_t live[kChunk];
  for (int r = 0; r < rect.height; ++r) {
    // The row's texture coordinates as every span of it gets them; v does not change along the row.
    SpanInput row;
    rect.rowAt(rect.raster, rect.y + r, rect.x, rect.width, &row);
    const int64_t v = row.coords[0].v - 32768;
    const uint32_t fy = static_cast<uint32_t>(v >> 8) & 0xFF;
    const int64_t topRow = AddressTexel(v >> 16, s.height, s.addressV);
    const int64_t bottomRow = AddressTexel((v >> 16) + 1, s.height, s.addressV);
    if (d.blend && r + 2 < rect.height) PrefetchTarget(d, rect, r);
    for (Strip& strip : strips) {
      const int16_t* top = SumsOf<kKind>(d.avx2, s, &strip, topRow, nullptr);
      // With no fraction down the bottom row weighs nothing: any row gives the same sum.
      const int16_t* bottom = fy == 0 ? top : SumsOf<kKind>(d.avx2, s, &strip, bottomRow, top);
      Down(d.avx2, top, bottom, fy, strip.n, samples);
      const uint32_t* src = ShapeRow(samples, shape, strip.n, shaped);
      const uint8_t* liveRow = kAllLive;
      if (d.alphaTest) {
        std::fill(live, live + strip.n, uint8_t{1});
        AlphaTest(d, src, live, strip.n);
        liveRow = live;
      }
      Store(d, rect.y + r, rect.x + strip.x, src, liveRow, strip.n, liveRow == kAllLive);
    }
  }
}

}  // namespace

void BilinearSamplesInside(bool useAvx2, const StageSetup& s, const StageCoords& c, int n, uint32_t* out) {
  switch (s.code.kind) {
    case PixelKind::k565: return SamplesInsideOf<PixelKind::k565>(useAvx2, s, c, n, out);
    case PixelKind::k555: return SamplesInsideOf<PixelKind::k555>(useAvx2, s, c, n, out);
    case PixelKind::k1555: return SamplesInsideOf<PixelKind::k1555>(useAvx2, s, c, n, out);
    case PixelKind::k4444: return SamplesInsideOf<PixelKind::k4444>(useAvx2, s, c, n, out);
    case PixelKind::kX888: return SamplesInsideOf<PixelKind::kX888>(useAvx2, s, c, n, out);
    case PixelKind::k8888: return SamplesInsideOf<PixelKind::k8888>(useAvx2, s, c, n, out);
    default:
      for (int i = 0; i < n; ++i) out[i] = Bilinear(s, c.u + c.du * i, c.v + c.dv * i);
      return;
  }
}

bool BilinearStretch(const DrawSetup& d, const RectangleWalk& rect) {
  if (rect.top.coords[0].dv != 0) return false;
  switch (d.stages[0].code.kind) {
    case PixelKind::k565: StretchOf<PixelKind::k565>(d, rect); break;
    case PixelKind::k555: StretchOf<PixelKind::k555>(d, rect); break;
    case PixelKind::k1555: StretchOf<PixelKind::k1555>(d, rect); break;
    case PixelKind::k4444: StretchOf<PixelKind::k4444>(d, rect); break;
    case PixelKind::kX888: StretchOf<PixelKind::kX888>(d, rect); break;
    case PixelKind::k8888: StretchOf<PixelKind::k8888>(d, rect); break;
    default: StretchOf<PixelKind::kOther>(d, rect); break;
  }
  return true;
}

}  // namespace plat::d3d

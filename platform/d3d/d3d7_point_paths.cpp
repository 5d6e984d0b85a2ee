// The point-sampled blits (a texture rectangle texel for texel: 8:8:8:8 sprites over an XRGB target in
// one vector pass, any layout through the shape and the store), the spans of any primitive whose
// single stage is its texel shaped, point-sampled or bilinear, without the general routine's cascade
// and Z, and the point-sampled spans of 8:8:8:8 texels over an XRGB target (turned sprites) fetched
// and blended in one vector pass.
#include <algorithm>
#include <cstring>

#include "platform/d3d/d3d7_fast_paths.h"
#include "platform/d3d/d3d7_span_avx2.h"
#include "platform/d3d/d3d7_span_steps.h"

namespace plat::d3d {
namespace {

StageCoords Advance(const StageCoords& c, int pixels) {
  return StageCoords{c.u + c.du * pixels, c.v + c.dv * pixels, c.du, c.dv};
}

// Pixels [from, from + n) of a single-stage span.
SpanInput Part(const SpanInput& span, int from, int n) {
  SpanInput part = span;
  part.x += from;
  part.n = n;
  part.coords[0] = Advance(span.coords[0], from);
  return part;
}

}  // namespace

bool BlitSource(const StageSetup& s, const RectangleWalk& rect, int64_t* tx, int64_t* ty) {
  const StageCoords& c = rect.top.coords[0];
  if (c.du != 65536 || c.dv != 0) return false;
  *tx = c.u >> 16;
  *ty = c.v >> 16;
  return *tx >= 0 && *ty >= 0 && *tx + rect.width <= s.width && *ty + rect.height <= s.height;
}

namespace {

// Asks for the `bytes` bytes of a target row from `ahead`.
void PrefetchRow(const uint8_t* ahead, int bytes) {
  for (int b = 0; b < bytes; b += 64) __builtin_prefetch(ahead + b, 1);
  __builtin_prefetch(ahead + bytes - 1, 1);
}

}  // namespace

void PrefetchTarget(const DrawSetup& d, const RectangleWalk& rect, int row) {
  const int bytes = d.targetCode.bytes;
  PrefetchRow(d.target + static_cast<size_t>(rect.y + row + 2) * d.targetPitch + static_cast<size_t>(rect.x) * bytes,
              rect.width * bytes);
}

bool OverBlitFrame8888X888(const DrawSetup& d, const RectangleWalk& rect, avx2::RectFrame* frame) {
  const StageSetup& s = d.stages[0];
  int64_t tx, ty;
  if (!BlitSource(s, rect, &tx, &ty)) return false;
  uint8_t* dst = d.target + static_cast<size_t>(rect.y) * d.targetPitch + static_cast<size_t>(rect.x) * 4;
  const uint8_t* src = s.pixels + static_cast<size_t>(ty) * s.pitch + static_cast<size_t>(tx) * 4;
  *frame = avx2::RectFrame{dst, d.targetPitch, src, s.pitch, rect.width, rect.height};
  return true;
}

void OverFrameX888(const avx2::RectFrame& f) {
  uint8_t* dst = f.dst;
  const uint8_t* src = f.src;
  for (int r = 0; r < f.rows; ++r, dst += f.dstPitch, src += f.srcPitch) {
    if (r + 2 < f.rows) PrefetchRow(dst + 2 * f.dstPitch, f.width * 4);
    for (int done = 0; done < f.width; done += kChunk) {
      StoreOverX888(false, dst + done * 4, reinterpret_cast<const uint32_t*>(src) + done, kAllLive,
                    std::min(kChunk, f.width - done));
    }
  }
}

bool OverBlit8888X888(const DrawSetup& d, const RectangleWalk& rect) {
  avx2::RectFrame f;
  if (!OverBlitFrame8888X888(d, rect, &f)) return false;
  if (d.avx2) {
    avx2::OverRectX888(f);
  } else {
    OverFrameX888(f);
  }
  return true;
}

bool PointBlit(const DrawSetup& d, const RectangleWalk& rect) {
  const StageSetup& s = d.stages[0];
  int64_t tx, ty;
  if (!BlitSource(s, rect, &tx, &ty)) return false;
  const TexelShape shape = ShapeOfMemo(MemoFor(d, rect.top.diffuse, rect.top.specular));
  uint32_t unpacked[kChunk], modulated[kChunk];
  uint8_t live[kChunk];
  for (int r = 0; r < rect.height; ++r) {
    if (d.blend && r + 2 < rect.height) PrefetchTarget(d, rect, r);
    const uint8_t* texRow = s.pixels + static_cast<size_t>(ty + r) * s.pitch;
    for (int done = 0; done < rect.width; done += kChunk) {
      const int n = std::min(kChunk, rect.width - done);
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
      Store(d, rect.y + r, rect.x + done, src, liveRow, n, liveRow == kAllLive);
    }
  }
  return true;
}

void ShapedSpans(const DrawSetup& d, const SpanInput& span) {
  const StageSetup& s = d.stages[0];
  const TexelShape shape = ShapeOfMemo(MemoFor(d, span.diffuse, span.specular));
  const bool tests = d.colorKey || d.alphaTest;
  uint32_t texels[kChunk], shaped[kChunk];
  uint8_t live[kChunk];
  for (int done = 0; done < span.n; done += kChunk) {
    const int n = std::min(kChunk, span.n - done);
    const StageCoords c = Advance(span.coords[0], done);
    const uint32_t* src = ShapeRow(FetchTexels(d, s, c, n, texels), shape, n, shaped);
    const uint8_t* liveRow = kAllLive;
    if (tests) {
      std::fill(live, live + n, uint8_t{1});
      if (d.colorKey) ColorKeyTest(d, c, n, live);
      if (d.alphaTest) AlphaTest(d, src, live, n);
      liveRow = live;
    }
    Store(d, span.y, span.x + done, src, liveRow, n, !tests);
  }
}

void OverSpans8888X888(const DrawSetup& d, const SpanInput& span) {
  if (!d.avx2) return ShapedSpans(d, span);
  const StageSetup& s = d.stages[0];
  const StageCoords& c = span.coords[0];
  // The samples step along a line: those inside the texture form one run, the ones an edge of a turned
  // primitive puts outside (addressed) lie before and after it.
  int first = 0, end = span.n;
  while (first < end && !InsideAt(s, c, first)) ++first;
  while (end > first && !InsideAt(s, c, end - 1)) --end;
  if (first > 0) ShapedSpans(d, Part(span, 0, first));
  if (end > first) {
    const StageCoords run = Advance(c, first);
    if (FitsLanes(s, run)) {
      uint8_t* row = d.target + static_cast<size_t>(span.y) * d.targetPitch + static_cast<size_t>(span.x + first) * 4;
      avx2::OverPointSpanX888(
          avx2::TexelWalk{s.pixels, s.pitch, run.u, run.v, static_cast<int>(run.du), static_cast<int>(run.dv), 0}, row,
          end - first);
    } else {
      ShapedSpans(d, Part(span, first, end - first));
    }
  }
  if (end < span.n) ShapedSpans(d, Part(span, end, span.n - end));
}

}  // namespace plat::d3d

// Triangle set-up for the rasteriser: reading pre-transformed vertices, the draw's shared state from
// the device, edge functions on 28.4 fixed-point positions with D3D's integer pixel centres and the
// top-left fill rule (shared edges are drawn once), the viewport and target as scissor, flat colours
// from each triangle's first vertex, and affine texture and Z planes evaluated per span. Two triangles
// of a list that form an axis-aligned rectangle with one plane are walked as that rectangle.
#include "platform/d3d/d3d7_raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/d3d/d3d7_blit_plan.h"
#include "platform/d3d/d3d7_fast_paths.h"
#include "platform/d3d/d3d7_internal.h"
#include "platform/d3d/d3d7_span_steps.h"
#include "platform/ddraw/surface_view.h"

namespace plat::d3d {
namespace {

// Positions beyond this many pixels from the origin are not drawn: 28.4 edge products then stay
// within 64 bits. No real draw comes near it.
constexpr double kMaxCoordinate = 16777216.0;

struct Vertex {
  float x, y, z;
  uint32_t diffuse, specular;
  float u[2], v[2];
};

// The layout of the three formats drawn: position, rhw, diffuse, then specular and texture pairs.
struct VertexLayout {
  int stride;
  int specular;  // byte offset, -1: none
  int sets;      // texture coordinate pairs
  int tex;       // byte offset of the first pair
};

VertexLayout LayoutOf(DWORD fvf) {
  if (fvf == (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1)) return {28, -1, 1, 20};
  if (fvf == (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2)) return {40, 20, 2, 24};
  return {20, -1, 0, 20};
}

// Fills `v` in place (the draw loop reads six vertices a quad).
void ReadVertex(const uint8_t* p, const VertexLayout& l, Vertex* out) {
  Vertex& v = *out;
  std::memcpy(&v.x, p, 4);
  std::memcpy(&v.y, p + 4, 4);
  std::memcpy(&v.z, p + 8, 4);
  std::memcpy(&v.diffuse, p + 16, 4);
  v.specular = 0xFFFFFFFF;
  if (l.specular >= 0) std::memcpy(&v.specular, p + l.specular, 4);
  for (int s = 0; s < 2; ++s) {
    if (s < l.sets) {
      std::memcpy(&v.u[s], p + l.tex + s * 8, 4);
      std::memcpy(&v.v[s], p + l.tex + s * 8 + 4, 4);
    } else {
      v.u[s] = v.v[s] = 0.0f;
    }
  }
}

// llrint without the library call: the processor's conversion in the current rounding mode (what
// llrint does on this processor), inline.
inline int64_t RoundToInt(double v) {
#if defined(__SSE2__) && defined(__x86_64__)
  return _mm_cvtsd_si64(_mm_set_sd(v));
#else
  return std::llrint(v);
#endif
}

int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

// 16.16 fixed point of a value, with non-finite values as 0 and huge ones held where sums of a few
// thousand steps cannot overflow.
int64_t ToFixed(double v) {
  if (!std::isfinite(v)) return 0;
  v = std::clamp(v * 65536.0, -1099511627776.0, 1099511627776.0);
  const auto t = static_cast<int64_t>(v);  // toward zero; step down for negative fractions
  return static_cast<double>(t) > v ? t - 1 : t;
}

// An attribute over the triangle: value = a0 + dx * (x - x0) + dy * (y - y0).
struct Plane {
  double a0, dx, dy;
  double At(double x, double y, double x0, double y0) const { return a0 + dx * (x - x0) + dy * (y - y0); }
};

struct Triangle {
  int64_t X[3], Y[3];      // 28.4
  double det;              // twice the area (pixels squared), > 0
  double px[3], py[3];     // pixels; the first vertex is the planes' origin
};

Plane MakePlane(const Triangle& t, double a0, double a1, double a2) {
  const double x1 = t.px[1] - t.px[0], y1 = t.py[1] - t.py[0], x2 = t.px[2] - t.px[0], y2 = t.py[2] - t.py[0];
  const double d1 = a1 - a0, d2 = a2 - a0;
  return Plane{a0, (d1 * y2 - d2 * y1) / t.det, (d2 * x1 - d1 * x2) / t.det};
}

// One edge's bound on the pixels of successive rows. The edge function at pixel x of a row is
// c - step * x (covered where >= 0), and c grows by `rowStep` from row to row: the bound is
// floor(c / step) from the right (step > 0) or ceil(c / step) from the left (step < 0), both
// floor(c' / m) with m = |step| > 0, kept as quotient and remainder.
class EdgeStep {
 public:
  void Start(int64_t c, int64_t rowStep, int64_t step) {
    step_ = step;
    if (step == 0) {
      c_ = c;
      rowStep_ = rowStep;
      return;
    }
    // ceil(c / step) for step < 0 is -floor(c / -step): the same floor with the sign turned.
    m_ = step > 0 ? step : -step;
    q_ = FloorDiv(c, m_);
    r_ = c - q_ * m_;
    dq_ = FloorDiv(rowStep, m_);
    dr_ = rowStep - dq_ * m_;
  }

  // Narrows [lo, hi] to this row's covered pixels (empty when the row lies outside).
  void Bound(int64_t* lo, int64_t* hi) const {
    if (step_ > 0) {
      *hi = std::min(*hi, q_);
    } else if (step_ < 0) {
      *lo = std::max(*lo, -q_);
    } else if (c_ < 0) {
      *hi = *lo - 1;
    }
  }

  void Next() {
    if (step_ == 0) {
      c_ += rowStep_;
      return;
    }
    // Without a branch: whether the remainder passes m changes from row to row.
    r_ += dr_;
    const int64_t over = -static_cast<int64_t>(r_ >= m_);  // all ones when it does
    q_ += dq_ - over;
    r_ -= m_ & over;
  }

 private:
  int64_t step_ = 0;
  int64_t c_ = 0, rowStep_ = 0;                // horizontal edges: the edge function itself
  int64_t m_ = 1, q_ = 0, r_ = 0, dq_ = 0, dr_ = 0;  // others: floor(c / m) and its remainder, and their row steps
};

class Rasteriser {
 public:
  Rasteriser(const DrawSetup& setup, const RECT& scissor) : d_(setup), scissor_(scissor) {}

  void DrawTriangle(const Vertex* v0, const Vertex* v1, const Vertex* v2, DWORD cull) {
    Triangle t;
    if (!Snap(v0, v1, v2, &t)) return;
    int64_t area = (t.X[1] - t.X[0]) * (t.Y[2] - t.Y[0]) - (t.Y[1] - t.Y[0]) * (t.X[2] - t.X[0]);
    if (area == 0) return;
    // Screen y grows downward: a positive area is clockwise as seen.
    if ((cull == D3DCULL_CCW && area < 0) || (cull == D3DCULL_CW && area > 0)) return;
    const Vertex* vs[3] = {v0, v1, v2};
    if (area < 0) {
      std::swap(t.X[1], t.X[2]);
      std::swap(t.Y[1], t.Y[2]);
      std::swap(t.px[1], t.px[2]);
      std::swap(t.py[1], t.py[2]);
      std::swap(vs[1], vs[2]);
      area = -area;
    }
    t.det = static_cast<double>(area) / 256.0;
    Planes(t, vs, *v0);

    int64_t minY = CeilDiv(std::min({t.Y[0], t.Y[1], t.Y[2]}), 16);
    int64_t maxY = FloorDiv(std::max({t.Y[0], t.Y[1], t.Y[2]}), 16);
    int64_t minX = CeilDiv(std::min({t.X[0], t.X[1], t.X[2]}), 16);
    int64_t maxX = FloorDiv(std::max({t.X[0], t.X[1], t.X[2]}), 16);
    minY = std::max<int64_t>(minY, scissor_.top);
    maxY = std::min<int64_t>(maxY, scissor_.bottom - 1);
    minX = std::max<int64_t>(minX, scissor_.left);
    maxX = std::min<int64_t>(maxX, scissor_.right - 1);
    if (minX > maxX || minY > maxY) return;
    // Each edge bounds the row from one side: floor(c / m) pixels, c growing by a constant a row. The
    // quotient is stepped with its remainder, so rows cost no division.
    EdgeStep edges[3];
    for (int k = 0; k < 3; ++k) {
      const int k2 = (k + 1) % 3;
      const int64_t dx = t.X[k2] - t.X[k], dy = t.Y[k2] - t.Y[k];
      // Pixel centres on a top or left edge belong to this triangle; on other edges to the neighbour.
      const int64_t bias = (dy < 0 || (dy == 0 && dx > 0)) ? 0 : -1;
      // Edge function at pixel x of row y: c - 16 * dy * x; covered where it is >= 0.
      edges[k].Start(dx * (16 * minY - t.Y[k]) + dy * t.X[k] + bias, 16 * dx, 16 * dy);
    }
    ChooseSpanPath(Walk::kSpans);
    bool drawn = false;
    for (int64_t y = minY; y <= maxY; ++y) {
      int64_t lo = minX, hi = maxX;
      for (EdgeStep& e : edges) {
        e.Bound(&lo, &hi);
        e.Next();
      }
      if (lo <= hi) {
        Span(static_cast<int>(y), static_cast<int>(lo), static_cast<int>(hi - lo + 1));
        drawn = true;
      }
    }
    if (drawn) CountSpanPath();
  }

  // Two list triangles that cover an axis-aligned rectangle between them, with the same flat colours
  // and one plane for every attribute, are walked as the rectangle: the same pixels, the same values.
  bool DrawRectangle(const Vertex* a[3], const Vertex* b[3]) {
    if (a[0]->diffuse != b[0]->diffuse || a[0]->specular != b[0]->specular) return false;
    float xs[2], ys[2];
    const Vertex* fourth = nullptr;
    if (!QuadOrderRectangle(a, b, xs, ys, &fourth) && !AnyOrderRectangle(a, b, xs, ys, &fourth)) return false;
    Triangle t;
    if (!Snap(a[0], a[1], a[2], &t)) return false;
    const int64_t area = (t.X[1] - t.X[0]) * (t.Y[2] - t.Y[0]) - (t.Y[1] - t.Y[0]) * (t.X[2] - t.X[0]);
    if (area == 0) return false;
    t.det = static_cast<double>(area) / 256.0;  // signed, for the vertices in their given order
    const Vertex* vs[3] = {a[0], a[1], a[2]};
    Planes(t, vs, *a[0]);
    // The fourth corner must lie on every plane of the first triangle.
    if (!OnPlanes(t, *fourth)) return false;

    const int64_t X0 = RoundToInt(static_cast<double>(xs[0]) * 16), X1 = RoundToInt(static_cast<double>(xs[1]) * 16);
    const int64_t Y0 = RoundToInt(static_cast<double>(ys[0]) * 16), Y1 = RoundToInt(static_cast<double>(ys[1]) * 16);
    const int64_t left = std::min(X0, X1), right = std::max(X0, X1), top = std::min(Y0, Y1), bottom = std::max(Y0, Y1);
    // Left and top edges include centres on them, right and bottom edges do not.
    const int64_t x0 = std::max<int64_t>(CeilDiv(left, 16), scissor_.left);
    const int64_t x1 = std::min<int64_t>(CeilDiv(right, 16), scissor_.right);
    const int64_t y0 = std::max<int64_t>(CeilDiv(top, 16), scissor_.top);
    const int64_t y1 = std::min<int64_t>(CeilDiv(bottom, 16), scissor_.bottom);
    if (x0 >= x1 || y0 >= y1) return true;
    const int x = static_cast<int>(x0), y = static_cast<int>(y0);
    const int width = static_cast<int>(x1 - x0), height = static_cast<int>(y1 - y0);
    if (DrawRectangleWhole(x, y, width, height)) return true;
    for (int row = y; row < y + height; ++row) Span(row, x, width);
    CountSpanPath();
    return true;
  }

  // Draws the blits still held and adds the primitives each fast path (and the general routine) drew,
  // and the pieces chosen to plan, to the totals tests read.
  void Finish() {
    DrawHeld();
    AddFastPathHits(hits_);
    AddBlitPlans(plans_);
  }

  bool tracksTouched = false;  // a primary's draw is presented: gather the rectangle it changed
  RECT touched{0, 0, 0, 0};

 private:
  // The library's quad orders -- top left, top right, bottom left, then bottom right, bottom left, top
  // right or bottom left, top right, bottom right -- told by a few comparisons: the rectangle's least
  // and greatest x and y, and the corner the first triangle leaves out.
  static bool QuadOrderRectangle(const Vertex* a[3], const Vertex* b[3], float xs[2], float ys[2], const Vertex** fourth) {
    auto same = [](const Vertex* p, const Vertex* q) { return (p->x == q->x) & (p->y == q->y); };
    const int last = same(b[1], a[2]) & same(b[2], a[1]) ? 0 : same(b[0], a[2]) & same(b[1], a[1]) ? 2 : -1;
    if (last < 0) return false;
    const float left = a[0]->x, right = a[1]->x, top = a[0]->y, bottom = a[2]->y;
    const bool shape = (a[1]->y == top) & (a[2]->x == left) & (b[last]->x == right) & (b[last]->y == bottom);
    if (!shape || !std::isfinite(left) || !std::isfinite(right) || !std::isfinite(top) || !std::isfinite(bottom) ||
        left == right || top == bottom) {
      return false;
    }
    xs[0] = std::min(left, right), xs[1] = std::max(left, right);
    ys[0] = std::min(top, bottom), ys[1] = std::max(top, bottom);
    *fourth = b[last];
    return true;
  }

  // Any two list triangles that cover an axis-aligned rectangle between them, each half of it.
  static bool AnyOrderRectangle(const Vertex* a[3], const Vertex* b[3], float xs[2], float ys[2], const Vertex** fourth) {
    const Vertex* corners[6] = {a[0], a[1], a[2], b[0], b[1], b[2]};
    // Two distinct values of x and two of y among the six corners, tested without data-dependent
    // branches (their pattern changes from quad to quad): each corner sits on the least or the greatest.
    bool finite = true;
    xs[0] = xs[1] = corners[0]->x;
    ys[0] = ys[1] = corners[0]->y;
    for (const Vertex* c : corners) {
      finite &= std::isfinite(c->x) & std::isfinite(c->y);
      xs[0] = std::min(xs[0], c->x);
      xs[1] = std::max(xs[1], c->x);
      ys[0] = std::min(ys[0], c->y);
      ys[1] = std::max(ys[1], c->y);
    }
    if (!finite || !(xs[0] < xs[1]) || !(ys[0] < ys[1])) return false;
    bool onSides = true;
    for (const Vertex* c : corners) {
      onSides &= (c->x == xs[0]) | (c->x == xs[1]);
      onSides &= (c->y == ys[0]) | (c->y == ys[1]);
    }
    if (!onSides) return false;
    // Both triangles must be half the rectangle each: distinct corners, sharing a diagonal.
    auto corner = [&](const Vertex* c) { return (c->x == xs[1] ? 1 : 0) | (c->y == ys[1] ? 2 : 0); };
    int maskA = 0, maskB = 0;
    for (int i = 0; i < 3; ++i) {
      maskA |= 1 << corner(a[i]);
      maskB |= 1 << corner(b[i]);
    }
    // Three corners each: the masks 7, 11, 13 and 14 (no popcount instruction in the baseline).
    constexpr unsigned kThreeCorners = 1u << 7 | 1u << 11 | 1u << 13 | 1u << 14;
    if (!((kThreeCorners >> maskA) & (kThreeCorners >> maskB) & 1)) return false;
    // Each leaves out one corner; they split the rectangle only when those corners are opposite.
    const int outA = __builtin_ctz(15 & ~maskA), outB = __builtin_ctz(15 & ~maskB);
    if ((outA ^ outB) != 3) return false;
    for (int i = 0; i < 3; ++i) {
      if (!(maskA & (1 << corner(b[i])))) *fourth = b[i];
    }
    return *fourth != nullptr;
  }

  static bool Snap(const Vertex* v0, const Vertex* v1, const Vertex* v2, Triangle* t) {
    const Vertex* vs[3] = {v0, v1, v2};
    for (int i = 0; i < 3; ++i) {
      const double x = vs[i]->x, y = vs[i]->y;
      if (!(std::fabs(x) <= kMaxCoordinate) || !(std::fabs(y) <= kMaxCoordinate)) return false;  // NaN too
      t->X[i] = RoundToInt(x * 16);
      t->Y[i] = RoundToInt(y * 16);
      t->px[i] = static_cast<double>(t->X[i]) / 16;
      t->py[i] = static_cast<double>(t->Y[i]) / 16;
    }
    return true;
  }

  // What the texture planes' values and steps depend on besides the origin: the corners' offsets
  // from the first and their texture coordinates. Sprites of one size drawn from one place of a
  // texture repeat them quad after quad; the planes are then those of the last primitive.
  struct PlaneKey {
    int64_t words[10];  // four offsets, then the twelve coordinates' bits in pairs
  };

  bool SamePlanesAsLast(const Triangle& t, const Vertex* const vs[3]) {
    if (d_.zTest) return false;  // Z varies by primitive
    PlaneKey key;
    key.words[0] = t.X[1] - t.X[0], key.words[1] = t.Y[1] - t.Y[0];
    key.words[2] = t.X[2] - t.X[0], key.words[3] = t.Y[2] - t.Y[0];
    for (int i = 0; i < 3; ++i) std::memcpy(&key.words[4 + 2 * i], vs[i]->u, 16);  // u[0], u[1], v[0], v[1]
    // Bit for bit: -0 and NaN coordinates take the long way.
    int64_t differ = planesKnown_ ? 0 : 1;
    for (int i = 0; i < 10; ++i) differ |= key.words[i] ^ planeKey_.words[i];
    planeKey_ = key;
    planesKnown_ = true;
    return differ == 0;
  }

  void Planes(const Triangle& t, const Vertex* const vs[3], const Vertex& first) {
    x0_ = t.px[0];
    y0_ = t.py[0];
    diffuse_ = first.diffuse;
    specular_ = first.specular;
    const double anchor = scissor_.left;
    if (SamePlanesAsLast(t, vs)) {
      for (int s = 0; s < d_.stageCount; ++s) {
        leftU_[s] = u_[s].a0 + u_[s].dx * (anchor - x0_);
        leftV_[s] = v_[s].a0 + v_[s].dx * (anchor - x0_);
      }
      return;
    }
    for (int s = 0; s < d_.stageCount; ++s) {
      const StageSetup& st = d_.stages[s];
      if (!st.readsTexture || !st.bound) continue;
      const int set = st.coordSet;
      auto coord = [&](const Vertex* v, bool isU) -> double {
        if (set < 0) return 0.0;
        return (isU ? v->u[set] : v->v[set]) * static_cast<double>(isU ? st.width : st.height);
      };
      u_[s] = MakePlane(t, coord(vs[0], true), coord(vs[1], true), coord(vs[2], true));
      v_[s] = MakePlane(t, coord(vs[0], false), coord(vs[1], false), coord(vs[2], false));
    }
    if (d_.zTest) {
      auto depth = [](const Vertex* v) { return static_cast<double>(v->z) * 65535.0; };
      z_ = MakePlane(t, depth(vs[0]), depth(vs[1]), depth(vs[2]));
    }
    // The steps from pixel to pixel are the triangle's: each span starts from them. Its values at the
    // scissor's left edge are a0 + dx * (left - x0) + dy * (y - y0), summed in that order: the first
    // two terms are the same on every row.
    for (int s = 0; s < d_.stageCount; ++s) {
      stepU_[s] = ToFixed(u_[s].dx);
      stepV_[s] = ToFixed(v_[s].dx);
      leftU_[s] = u_[s].a0 + u_[s].dx * (anchor - x0_);
      leftV_[s] = v_[s].a0 + v_[s].dx * (anchor - x0_);
    }
    stepZ_ = ToFixed(z_.dx);
    leftZ_ = z_.a0 + z_.dx * (anchor - x0_);
  }

  bool OnPlanes(const Triangle& t, const Vertex& v) const {
    const double x = static_cast<double>(RoundToInt(static_cast<double>(v.x) * 16)) / 16;
    const double y = static_cast<double>(RoundToInt(static_cast<double>(v.y) * 16)) / 16;
    auto near = [](double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b)); };
    for (int s = 0; s < d_.stageCount; ++s) {
      const StageSetup& st = d_.stages[s];
      if (!st.readsTexture || !st.bound || st.coordSet < 0) continue;
      if (!near(u_[s].At(x, y, t.px[0], t.py[0]), v.u[st.coordSet] * static_cast<double>(st.width))) return false;
      if (!near(v_[s].At(x, y, t.px[0], t.py[0]), v.v[st.coordSet] * static_cast<double>(st.height))) return false;
    }
    if (d_.zTest && !near(z_.At(x, y, t.px[0], t.py[0]), static_cast<double>(v.z) * 65535.0)) return false;
    return true;
  }

  // How the stage-0 texture plane of a rectangle follows its rows and columns.
  Walk RectangleWalkOf() const {
    if (d_.stageCount != 1 || !d_.stages[0].bound || u_[0].dy != 0.0 || v_[0].dx != 0.0) return Walk::kSpans;
    return u_[0].dx == 1.0 && v_[0].dy == 1.0 ? Walk::kBlit : Walk::kRectangle;
  }

  // Draws the rectangle through the first rectangle fast path that takes it; otherwise leaves the
  // span fast path (or the general routine) chosen for its rows.
  bool DrawRectangleWhole(int x, int y, int width, int height) {
    if (!d_.fastPaths) {
      spanPath_ = -1;
      return false;
    }
    const Walk walk = RectangleWalkOf();
    const DrawSetup::StageMemo& memo = MemoFor(d_, diffuse_, specular_);
    int path = FindFastPath(d_, walk, memo);
    if (path >= 0 && FastPathRectangle(path) != nullptr) {
      // Not value-initialised: the span is a few hundred bytes, and Setup fills what the routines read.
      RectangleWalk rect;
      rect.x = x, rect.y = y, rect.width = width, rect.height = height;
      rect.rowAt = &Rasteriser::RowAt;
      rect.raster = this;
      Setup(y, x, width, &rect.top);
      if (FastPathRectangle(path) == OverBlit8888X888 && OverBlitFrame8888X888(d_, rect, &blits_[FreeBlit()])) {
        if (d_.avx2) {
          Hold();
        } else {
          DrawSse2Blit(blits_[FreeBlit()]);
        }
        ++hits_[path];
        Touch(x, y, width, height);
        return true;
      }
      DrawHeld();
      do {
        if (FastPathRectangle(path)(d_, rect)) {
          ++hits_[path];
          Touch(x, y, width, height);
          return true;
        }
        path = FindFastPath(d_, walk, memo, path + 1);
      } while (path >= 0 && FastPathRectangle(path) != nullptr);
    }
    spanPath_ = path;
    return false;
  }

  // Of the two blit frames, the one not held.
  int FreeBlit() const { return heldBlit_ == 0 ? 1 : 0; }

  // Holds the blit just set up in the free frame until the next rectangle is set up: that set-up, a
  // chain of dependent steps, then runs beside the blending, and the blending asks for the next
  // blit's target rows.
  void Hold() {
    const int fresh = FreeBlit();
    if (heldBlit_ >= 0) DrawBlit(blits_[heldBlit_], &blits_[fresh]);
    heldBlit_ = fresh;
  }

  // Draws the held blit: before anything else touches the target, and at the end of the draw.
  void DrawHeld() {
    if (heldBlit_ < 0) return;
    DrawBlit(blits_[heldBlit_], nullptr);
    heldBlit_ = -1;
  }

  // The texels a sprite blit reads.
  struct BlitPiece {
    const uint8_t* src = nullptr;
    ptrdiff_t pitch = 0;
    int width = 0, rows = 0;
    bool operator==(const BlitPiece&) const = default;
  };

  // A batch draws one sprite many times: on every road, the fourth blit in a row of one piece of a
  // texture chooses that piece to plan. Called for each blit not of the chosen piece (whose blits
  // neither count nor break a run); true when it chooses.
  bool ChoosesPiece(const BlitPiece& piece) {
    if (piece != lastPiece_) {
      lastPiece_ = piece;
      pieceRun_ = 1;
      return false;
    }
    if (++pieceRun_ != kPlanAfter) return false;
    plannedPiece_ = piece;
    ++plans_;
    return true;
  }

  // On the AVX2 road the chosen piece's texels are planned (a plan costs a few blits), and the blits of
  // that piece go by the plan from then on.
  void DrawBlit(const avx2::RectFrame& f, const avx2::RectFrame* next) {
    const BlitPiece piece{f.src, f.srcPitch, f.width, f.rows};
    if (piece == plannedPiece_) {
      if (planned_) return avx2::OverPlannedRectX888(f, plan_, next);
    } else if (ChoosesPiece(piece)) {
      planned_ = avx2::PlanBlit(f, &plan_);
      if (planned_) return avx2::OverPlannedRectX888(f, plan_, next);
    }
    avx2::OverRectX888(f, next);
  }

  // The SSE2 road has no plan: it keeps the same runs, and draws the chosen piece as any blit.
  void DrawSse2Blit(const avx2::RectFrame& f) {
    const BlitPiece piece{f.src, f.srcPitch, f.width, f.rows};
    if (piece != plannedPiece_) ChoosesPiece(piece);
    OverFrameX888(f);
  }

  // The span fast path of a primitive walked as rows (-1: the general routine).
  void ChooseSpanPath(Walk walk) {
    spanPath_ = d_.fastPaths ? FindFastPath(d_, walk, MemoFor(d_, diffuse_, specular_)) : -1;
  }

  void CountSpanPath() { ++hits_[spanPath_ >= 0 ? spanPath_ : kGeneralPath]; }

  static void RowAt(const void* raster, int y, int x, int n, SpanInput* out) {
    static_cast<const Rasteriser*>(raster)->Setup(y, x, n, out);
  }

  void Span(int y, int x, int n) {
    DrawHeld();
    SpanInput in;
    Setup(y, x, n, &in);
    if (spanPath_ >= 0) {
      FastPathSpan(spanPath_)(d_, in);
    } else {
      ShadeSpan(d_, in);
    }
    Touch(x, y, n, 1);
  }

  void Touch(int x, int y, int width, int height) {
    if (!tracksTouched) return;
    if (touched.left >= touched.right) {
      touched = RECT{x, y, x + width, y + height};
    } else {
      touched = RECT{std::min<LONG>(touched.left, x), std::min<LONG>(touched.top, y),
                     std::max<LONG>(touched.right, x + width), std::max<LONG>(touched.bottom, y + height)};
    }
  }

  void Setup(int y, int x, int n, SpanInput* out) const {
    SpanInput& in = *out;
    in.y = y;
    in.x = x;
    in.n = n;
    in.diffuse = diffuse_;
    in.specular = specular_;
    // Values are taken at the scissor's left edge and stepped from there, so that a pixel gets the same
    // value whichever span reaches it.
    const double rowsDown = static_cast<double>(y) - y0_;
    for (int s = 0; s < d_.stageCount; ++s) {
      const StageSetup& st = d_.stages[s];
      if (!st.readsTexture || !st.bound) {
        in.coords[s] = StageCoords{0, 0, 0, 0};
        continue;
      }
      const int64_t du = stepU_[s], dv = stepV_[s];
      const int64_t u = ToFixed(leftU_[s] + u_[s].dy * rowsDown) + du * (x - scissor_.left);
      const int64_t v = ToFixed(leftV_[s] + v_[s].dy * rowsDown) + dv * (x - scissor_.left);
      in.coords[s] = StageCoords{u, v, du, dv};
    }
    if (d_.zTest) {
      in.dz = stepZ_;
      in.z = ToFixed(leftZ_ + z_.dy * rowsDown) + in.dz * (x - scissor_.left);
    } else {
      in.z = in.dz = 0;
    }
  }

  const DrawSetup& d_;
  RECT scissor_;
  double x0_ = 0, y0_ = 0;
  uint32_t diffuse_ = 0, specular_ = 0;
  Plane u_[kD3DMaxTextureStages]{}, v_[kD3DMaxTextureStages]{}, z_{};
  int64_t stepU_[kD3DMaxTextureStages]{}, stepV_[kD3DMaxTextureStages]{}, stepZ_ = 0;  // 16.16 a pixel
  double leftU_[kD3DMaxTextureStages]{}, leftV_[kD3DMaxTextureStages]{}, leftZ_ = 0;  // the planes' row terms at the scissor's left
  int spanPath_ = -1;  // the span fast path of the primitive being drawn, -1: the general routine
  PlaneKey planeKey_{};  // the last primitive's (planesKnown_)
  bool planesKnown_ = false;
  avx2::RectFrame blits_[2]{};  // sprite blits: one held (heldBlit_, -1: none), one being set up
  int heldBlit_ = -1;
  static constexpr int kPlanAfter = 4;
  BlitPiece lastPiece_, plannedPiece_;  // the last blit not of the chosen piece; the piece chosen to plan
  int pieceRun_ = 0;                    // blits of lastPiece_ in a row
  bool planned_ = false;                // plan_ holds plannedPiece_'s plan (AVX2 road, and it was not too large)
  avx2::BlitPlan plan_;
  uint32_t hits_[kFastPathCount + 1] = {};
  uint32_t plans_ = 0;  // pieces chosen to plan in this draw, planned or not
};

bool ReadsTexture(DWORD op, DWORD a1, DWORD a2) {
  if (op == D3DTOP_DISABLE) return false;
  if (op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM) return true;
  const bool one = op != D3DTOP_SELECTARG2, two = op != D3DTOP_SELECTARG1;
  return (one && (a1 & D3DTA_SELECTMASK) == D3DTA_TEXTURE) || (two && (a2 & D3DTA_SELECTMASK) == D3DTA_TEXTURE);
}

// Fills the shared state of a draw. DD_OK, or why nothing may be drawn.
HRESULT Prepare(const DrawStates& states, const ddraw::SurfaceView& target, int sets, DrawSetup* d) {
  *d = DrawSetup{};
  d->fastPaths = states.fastPaths;
  d->avx2 = states.avx2;
  if (!MakePixelCode(target.format, &d->targetCode)) return DDERR_INVALIDPIXELFORMAT;
  d->target = target.pixels;
  d->targetPitch = target.pitch;
  const DWORD* r = states.render;
  d->tfactor = r[D3DRENDERSTATE_TEXTUREFACTOR];
  for (int s = 0; s < static_cast<int>(kD3DMaxTextureStages); ++s) {
    const DWORD* t = states.stage[s];
    if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
    StageSetup& st = d->stages[s];
    d->stageCount = s + 1;
    st.colorOp = t[D3DTSS_COLOROP];
    st.colorArg1 = t[D3DTSS_COLORARG1];
    st.colorArg2 = t[D3DTSS_COLORARG2];
    st.alphaOp = t[D3DTSS_ALPHAOP];
    st.alphaArg1 = t[D3DTSS_ALPHAARG1];
    st.alphaArg2 = t[D3DTSS_ALPHAARG2];
    st.readsTexture = ReadsTexture(st.colorOp, st.colorArg1, st.colorArg2) ||
                      ReadsTexture(st.alphaOp, st.alphaArg1, st.alphaArg2);
    const int set = static_cast<int>(t[D3DTSS_TEXCOORDINDEX] & 0xFFFF);
    st.coordSet = set < sets ? set : -1;
    st.bilinear = t[D3DTSS_MAGFILTER] == D3DTFG_LINEAR;
    st.addressU = t[D3DTSS_ADDRESSU];
    st.addressV = t[D3DTSS_ADDRESSV];
    st.border = t[D3DTSS_BORDERCOLOR];
    ddraw::SurfaceView tex;
    if (states.textures[s] == nullptr || !ddraw::ViewSurface(states.textures[s], &tex)) continue;
    if (!st.readsTexture && !(s == 0 && r[D3DRENDERSTATE_COLORKEYENABLE])) continue;
    if (tex.locked) return DDERR_SURFACEBUSY;
    if (tex.lost) return DDERR_SURFACELOST;
    if (!MakePixelCode(tex.format, &st.code) || tex.width <= 0 || tex.height <= 0) continue;
    st.bound = true;
    st.pixels = tex.pixels;
    st.width = tex.width;
    st.height = tex.height;
    st.pitch = tex.pitch;
    if (s == 0 && r[D3DRENDERSTATE_COLORKEYENABLE] && tex.hasSourceKey) {
      d->colorKey = true;
      d->keyMask = st.code.usedMask;
      d->keyLow = tex.sourceKey.dwColorSpaceLowValue & d->keyMask;
      d->keyHigh = tex.sourceKey.dwColorSpaceHighValue & d->keyMask;
    }
  }
  // The key discards by the stage-0 texel even when the cascade does not read it: fetch it anyway.
  if (d->colorKey) d->stages[0].readsTexture = true;
  d->alphaTest = r[D3DRENDERSTATE_ALPHATESTENABLE] != 0;
  d->alphaFunc = r[D3DRENDERSTATE_ALPHAFUNC];
  d->alphaRef = r[D3DRENDERSTATE_ALPHAREF] & 0xFF;
  d->blend = r[D3DRENDERSTATE_ALPHABLENDENABLE] != 0;
  d->srcBlend = r[D3DRENDERSTATE_SRCBLEND];
  d->destBlend = r[D3DRENDERSTATE_DESTBLEND];
  // Z needs a 16-bit Z buffer as large as the target; without one ZENABLE does nothing.
  ddraw::SurfaceView z;
  if (r[D3DRENDERSTATE_ZENABLE] != D3DZB_FALSE && target.zbuffer != nullptr && ddraw::ViewSurface(target.zbuffer, &z) &&
      (z.format.dwFlags & DDPF_ZBUFFER) && z.format.dwZBufferBitDepth == 16 && z.width >= target.width &&
      z.height >= target.height) {
    if (z.locked) return DDERR_SURFACEBUSY;
    d->zTest = true;
    d->zWrite = r[D3DRENDERSTATE_ZWRITEENABLE] != 0;
    d->zFunc = r[D3DRENDERSTATE_ZFUNC];
    d->zPixels = z.pixels;
    d->zPitch = z.pitch;
  }
  return DD_OK;
}

}  // namespace

HRESULT DrawTriangles(const DrawStates& states, IDirectDrawSurface7* target, DWORD fvf, const uint8_t* vertices,
                      size_t vertexCount, const TriangleIndices* triangles, size_t triangleCount) {
  ddraw::SurfaceView view;
  if (!ddraw::ViewSurface(target, &view)) return DDERR_INVALIDPARAMS;
  if (view.locked) return DDERR_SURFACEBUSY;
  if (view.lost) return DDERR_SURFACELOST;
  const VertexLayout layout = LayoutOf(fvf);
  DrawSetup setup;
  const HRESULT ready = Prepare(states, view, layout.sets, &setup);
  if (ready != DD_OK) return ready;

  const D3DVIEWPORT7& vp = states.viewport;
  const RECT scissor{static_cast<LONG>(std::min<int64_t>(vp.dwX, view.width)),
                     static_cast<LONG>(std::min<int64_t>(vp.dwY, view.height)),
                     static_cast<LONG>(std::min<int64_t>(int64_t{vp.dwX} + vp.dwWidth, view.width)),
                     static_cast<LONG>(std::min<int64_t>(int64_t{vp.dwY} + vp.dwHeight, view.height))};
  if (scissor.left >= scissor.right || scissor.top >= scissor.bottom) return D3D_OK;

  Rasteriser raster(setup, scissor);
  raster.tracksTouched = view.primary;
  const DWORD cull = states.render[D3DRENDERSTATE_CULLMODE];
  auto vertexAt = [&](uint32_t i, Vertex* out) {
    if (i >= vertexCount) return false;
    ReadVertex(vertices + static_cast<size_t>(i) * layout.stride, layout, out);
    return true;
  };
  for (size_t k = 0; k < triangleCount; ++k) {
    // Small triangles go by quickly: ask for the vertices of those a few ahead.
    if (k + 6 < triangleCount && triangles[k + 6].v[0] < vertexCount) {
      const uint8_t* ahead = vertices + static_cast<size_t>(triangles[k + 6].v[0]) * layout.stride;
      __builtin_prefetch(ahead);
      __builtin_prefetch(ahead + 2 * layout.stride);
    }
    Vertex a[3];
    if (!vertexAt(triangles[k].v[0], &a[0]) || !vertexAt(triangles[k].v[1], &a[1]) ||
        !vertexAt(triangles[k].v[2], &a[2])) {
      continue;
    }
    if (cull == D3DCULL_NONE && k + 1 < triangleCount) {
      Vertex b[3];
      if (vertexAt(triangles[k + 1].v[0], &b[0]) && vertexAt(triangles[k + 1].v[1], &b[1]) &&
          vertexAt(triangles[k + 1].v[2], &b[2])) {
        const Vertex* pa[3] = {&a[0], &a[1], &a[2]};
        const Vertex* pb[3] = {&b[0], &b[1], &b[2]};
        if (raster.DrawRectangle(pa, pb)) {
          ++k;
          continue;
        }
      }
    }
    raster.DrawTriangle(&a[0], &a[1], &a[2], cull);
  }
  raster.Finish();
  if (view.primary && raster.touched.left < raster.touched.right) ddraw::PresentSurfaceRect(target, raster.touched);
  return D3D_OK;
}

}  // namespace plat::d3d

// The rasteriser's fast-path table: the rows, how a primitive's state is matched against them, and
// the count of primitives each row (and the general routine) drew, and of the sprite pieces chosen to plan.
#include "platform/d3d/d3d7_fast_paths.h"

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/d3d/d3d7_span_steps.h"
#include "platform/d3d/d3d7_test_controls.h"

namespace plat::d3d {
namespace {

enum class Filter : uint8_t { kPoint, kBilinear };

// What the stage makes of its texel: kept as it is, or times constants with some channels fixed.
enum class StageKey : uint8_t { kIdentity, kShape };

enum class BlendKey : uint8_t { kAny, kOver, kNone };  // kOver: blended SRCALPHA, INVSRCALPHA; kNone: unblended

constexpr int kAnyLayout = -1;
constexpr int kAny16 = -2;  // a texture of 5:6:5, 5:5:5, 1:5:5:5 or 4:4:4:4
constexpr int kRgb16 = -3;  // a target of 5:6:5 or 5:5:5
constexpr int k8888 = static_cast<int>(PixelKind::k8888);
constexpr int kX888 = static_cast<int>(PixelKind::kX888);

// Tests a row does not do: a draw with any of them on needs another row.
constexpr uint8_t kColorKey = 1, kAlphaTest = 2, kZ = 4;

struct FastPath {
  const char* name;
  Walk walk;  // the least walk the routine needs
  Filter filter;
  StageKey stage;
  BlendKey blend;
  int texture, target;  // PixelKind, or kAnyLayout
  uint8_t refuses;
  RectangleRoutine rectangle;
  SpanRoutine span;
};

// Rectangle rows first: a rectangle no rectangle row draws is walked as spans by the span rows.
// clang-format off
constexpr FastPath kFastPaths[kFastPathCount] = {
  // name                   walk              filter             stage               blend             texture      target       refuses                        routine
  {"over_8888_x888_blit",  Walk::kBlit,      Filter::kPoint,    StageKey::kIdentity, BlendKey::kOver, k8888,       kX888,       kColorKey | kAlphaTest | kZ,  OverBlit8888X888, nullptr},
  {"src_16_16_blit",       Walk::kBlit,      Filter::kPoint,    StageKey::kIdentity, BlendKey::kNone, kAny16,      kRgb16,      kZ,                           SrcBlit16To16,    nullptr},
  {"point_blit",           Walk::kBlit,      Filter::kPoint,    StageKey::kShape,    BlendKey::kAny,  kAnyLayout,  kAnyLayout,  kZ,                           PointBlit,        nullptr},
  {"bilinear_stretch",     Walk::kRectangle, Filter::kBilinear, StageKey::kShape,    BlendKey::kAny,  kAnyLayout,  kAnyLayout,  kColorKey | kZ,               BilinearStretch,  nullptr},
  {"over_8888_x888_spans", Walk::kSpans,     Filter::kPoint,    StageKey::kIdentity, BlendKey::kOver, k8888,       kX888,       kColorKey | kAlphaTest | kZ,  nullptr,          OverSpans8888X888},
  {"point_spans",          Walk::kSpans,     Filter::kPoint,    StageKey::kShape,    BlendKey::kAny,  kAnyLayout,  kAnyLayout,  kZ,                           nullptr,          ShapedSpans},
  {"bilinear_spans",       Walk::kSpans,     Filter::kBilinear, StageKey::kShape,    BlendKey::kAny,  kAnyLayout,  kAnyLayout,  kZ,                           nullptr,          ShapedSpans},
};
// clang-format on

std::atomic<uint64_t> gHits[kFastPathCount + 1];
std::atomic<uint64_t> gBlitPlans;

bool LayoutMatches(int want, PixelKind kind) {
  switch (want) {
    case kAnyLayout: return true;
    case kAny16: return kind == PixelKind::k565 || kind == PixelKind::k555 || kind == PixelKind::k1555 || kind == PixelKind::k4444;
    case kRgb16: return kind == PixelKind::k565 || kind == PixelKind::k555;
    default: return want == static_cast<int>(kind);
  }
}

bool Matches(const FastPath& p, const DrawSetup& d, Walk walk, const DrawSetup::StageMemo& memo) {
  // Every row serves a single stage that is its texel shaped (which also means a bound texture read).
  if (memo.kind != DrawSetup::StageMemo::kShape) return false;
  if (walk < p.walk) return false;
  const StageSetup& s = d.stages[0];
  if ((p.filter == Filter::kBilinear) != s.bilinear) return false;
  if (p.stage == StageKey::kIdentity && !ShapeOfMemo(memo).Identity()) return false;
  if (p.blend == BlendKey::kOver && !(d.blend && OverBlend(d))) return false;
  if (p.blend == BlendKey::kNone && d.blend) return false;
  if (!LayoutMatches(p.texture, s.code.kind) || !LayoutMatches(p.target, d.targetCode.kind)) return false;
  const uint8_t on = (d.colorKey ? kColorKey : 0) | (d.alphaTest ? kAlphaTest : 0) | (d.zTest ? kZ : 0);
  return (on & p.refuses) == 0;
}

int Scan(const DrawSetup& d, Walk walk, const DrawSetup::StageMemo& memo, int from) {
  for (int i = from; i < kFastPathCount; ++i) {
    if (Matches(kFastPaths[i], d, walk, memo)) return i;
  }
  return -1;
}

}  // namespace

int FindFastPath(const DrawSetup& d, Walk walk, const DrawSetup::StageMemo& memo, int from) {
  if (from != 0) return Scan(d, walk, memo, from);
  // The row depends only on the draw and the memo's colours: looked up once for them.
  int8_t& cached = memo.fastPath[static_cast<int>(walk)];
  if (cached == -2) cached = static_cast<int8_t>(Scan(d, walk, memo, 0));
  return cached;
}

RectangleRoutine FastPathRectangle(int index) { return kFastPaths[index].rectangle; }
SpanRoutine FastPathSpan(int index) { return kFastPaths[index].span; }
const char* FastPathName(int index) { return index == kGeneralPath ? "general" : kFastPaths[index].name; }

void AddFastPathHits(const uint32_t* counts) {
  for (int i = 0; i <= kFastPathCount; ++i) {
    if (counts[i] != 0) gHits[i].fetch_add(counts[i], std::memory_order_relaxed);
  }
}

void AddBlitPlans(uint32_t plans) {
  if (plans != 0) gBlitPlans.fetch_add(plans, std::memory_order_relaxed);
}

void ResetFastPathHits() {
  for (std::atomic<uint64_t>& h : gHits) h.store(0, std::memory_order_relaxed);
  gBlitPlans.store(0, std::memory_order_relaxed);
}

}  // namespace plat::d3d

namespace plat::test {

std::vector<std::string> D3DFastPathNames() {
  std::vector<std::string> names;
  for (int i = 0; i <= d3d::kFastPathCount; ++i) names.emplace_back(d3d::FastPathName(i));
  return names;
}

uint64_t D3DFastPathHits(const std::string& name) {
  for (int i = 0; i <= d3d::kFastPathCount; ++i) {
    if (name == d3d::FastPathName(i)) return d3d::gHits[i].load(std::memory_order_relaxed);
  }
  throw std::invalid_argument("no fast path is named " + name);
}

uint64_t D3DBlitPlans() { return d3d::gBlitPlans.load(std::memory_order_relaxed); }

void ResetD3DFastPathHits() { d3d::ResetFastPathHits(); }

}  // namespace plat::test

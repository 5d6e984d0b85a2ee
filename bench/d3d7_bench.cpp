// Frame cost of the Direct3D stand-in's rasteriser on the library's sprite load: 2,000 alpha-blended
// 32 x 32 sprites (sprite-like alpha: opaque body, soft edge, clear surround) drawn as textured quads
// (triangle lists of 384 quads, the way the library batches them) onto a 640 x 480 render target at 32
// bits (X8R8G8B8 target, A8R8G8B8 texture) and 16 bits (R5G6B5 target, A4R4G4B4 texture as the library
// picks, and A8R8G8B8), through the stand-in directly; beside pixman compositing the same sprites (OVER,
// premultiplied) onto the same targets; where the processor runs AVX2, the stand-in's SSE2 road as well.
// Prints ms per frame and the ratios. Depends on Google Benchmark and, when found, pixman.
#include <benchmark/benchmark.h>

#if defined(ORBEL_BENCH_PIXMAN)
#include <pixman.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/sprite_scene.h"
#include "platform/d3d/d3d7.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/ddraw/ddraw.h"

namespace {

using namespace plat;

constexpr int kW = 640;
constexpr int kH = 480;
constexpr int kSprite = 32;
constexpr int kSprites = 2000;
constexpr int kQuadsPerDraw = 384;

const std::vector<bench::SpritePoint>& Positions() {
  static const std::vector<bench::SpritePoint> points = bench::SpritePositions(kSprites, kSprite, kW, kH, 7);
  return points;
}

// A 32 x 32 sprite: opaque inside radius 12, a soft edge out to 15, clear outside.
uint32_t SpritePixel(int x, int y) { return bench::SoftDiscPixel(x, y, kSprite, 12, 15); }

struct Stage {
  IDirectDraw7* dd = nullptr;
  IDirect3D7* d3d = nullptr;
  IDirectDrawSurface7* target = nullptr;
  IDirectDrawSurface7* texture = nullptr;
  IDirect3DDevice7* device = nullptr;
};

IDirectDrawSurface7* MakeSurface(IDirectDraw7* dd, int w, int h, const DDPIXELFORMAT& f, DWORD caps) {
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof(d);
  d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  d.ddsCaps.dwCaps = caps;
  d.dwWidth = static_cast<DWORD>(w);
  d.dwHeight = static_cast<DWORD>(h);
  d.ddpfPixelFormat = f;
  IDirectDrawSurface7* s = nullptr;
  return dd->CreateSurface(&d, &s, nullptr) == DD_OK ? s : nullptr;
}

bool Open(Stage* s, const DDPIXELFORMAT& targetFormat, const DDPIXELFORMAT& textureFormat) {
  if (CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, reinterpret_cast<void**>(&s->dd)) != S_OK ||
      s->dd->Initialize(nullptr) != DD_OK || s->dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&s->d3d)) != S_OK) {
    return false;
  }
  s->target = MakeSurface(s->dd, kW, kH, targetFormat, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY);
  s->texture = MakeSurface(s->dd, kSprite, kSprite, textureFormat, DDSCAPS_TEXTURE);
  if (s->target == nullptr || s->texture == nullptr) return false;
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof(d);
  s->texture->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr);
  const int bytes = static_cast<int>(textureFormat.dwRGBBitCount / 8);
  for (int y = 0; y < kSprite; ++y) {
    for (int x = 0; x < kSprite; ++x) {
      const uint32_t p = SpritePixel(x, y);
      uint32_t v = p;
      if (bytes == 2) v = (p >> 16 & 0xF000) | (p >> 12 & 0x0F00) | (p >> 8 & 0x00F0) | (p >> 4 & 0x000F);
      std::memcpy(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch + x * bytes, &v, static_cast<size_t>(bytes));
    }
  }
  s->texture->Unlock(nullptr);
  if (s->d3d->CreateDevice(IID_IDirect3DHALDevice, s->target, &s->device) != D3D_OK) return false;
  IDirect3DDevice7* dev = s->device;
  // The library's state for an alpha-blended graph: texture times diffuse, blended by its alpha.
  dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  dev->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_FALSE);
  dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  dev->SetTexture(0, s->texture);
  dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  dev->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
  return true;
}

void Close(Stage* s) {
  if (s->device) s->device->Release();
  if (s->texture) s->texture->Release();
  if (s->target) s->target->Release();
  if (s->d3d) s->d3d->Release();
  if (s->dd) s->dd->Release();
}

struct VertexTex1 {
  float x, y, z, rhw;
  DWORD diffuse;
  float u, v;
};

std::vector<VertexTex1> Batch(int first, int count) {
  std::vector<VertexTex1> v;
  v.reserve(static_cast<size_t>(count) * 6);
  for (int i = first; i < first + count; ++i) {
    const float x0 = Positions()[i].x - 0.5f, y0 = Positions()[i].y - 0.5f, x1 = x0 + kSprite, y1 = y0 + kSprite;
    const DWORD c = 0xFFFFFFFF;
    v.push_back({x0, y0, 0, 1, c, 0, 0});
    v.push_back({x1, y0, 0, 1, c, 1, 0});
    v.push_back({x0, y1, 0, 1, c, 0, 1});
    v.push_back({x0, y1, 0, 1, c, 0, 1});
    v.push_back({x1, y0, 0, 1, c, 1, 0});
    v.push_back({x1, y1, 0, 1, c, 1, 1});
  }
  return v;
}

// `avx2` false holds the stand-in to its SSE2 loops where the processor runs AVX2.
void BM_Direct3D(benchmark::State& state, DDPIXELFORMAT target, DDPIXELFORMAT texture, bool avx2) {
  test::UseD3DAvx2(avx2);
  Stage s;
  if (!Open(&s, target, texture)) {
    state.SkipWithError("the stand-in did not start");
    Close(&s);
    test::UseD3DAvx2(true);
    return;
  }
  std::vector<std::vector<VertexTex1>> batches;
  for (int i = 0; i < kSprites; i += kQuadsPerDraw) batches.push_back(Batch(i, std::min(kQuadsPerDraw, kSprites - i)));
  for (auto _ : state) {
    s.device->BeginScene();
    for (auto& b : batches) {
      s.device->DrawPrimitive(D3DPT_TRIANGLELIST, 0x144, b.data(), static_cast<DWORD>(b.size()), 0);
    }
    s.device->EndScene();
    benchmark::ClobberMemory();
  }
  Close(&s);
  test::UseD3DAvx2(true);
}

#if defined(ORBEL_BENCH_PIXMAN)
void BM_Pixman(benchmark::State& state, pixman_format_code_t destFormat) {
  std::vector<uint32_t> sprite(kSprite * kSprite);
  for (int y = 0; y < kSprite; ++y) {
    for (int x = 0; x < kSprite; ++x) {
      const uint32_t v = SpritePixel(x, y), a = v >> 24;
      uint32_t pre = a << 24;
      for (int i = 0; i < 24; i += 8) pre |= (((v >> i) & 0xFF) * a / 255) << i;
      sprite[static_cast<size_t>(y) * kSprite + x] = pre;
    }
  }
  const int bytes = PIXMAN_FORMAT_BPP(destFormat) / 8;
  std::vector<uint32_t> dst(static_cast<size_t>(kW) * kH);
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSprite, kSprite, sprite.data(), kSprite * 4);
  pixman_image_t* d = pixman_image_create_bits(destFormat, kW, kH, dst.data(), kW * bytes);
  for (auto _ : state) {
    for (const bench::SpritePoint& p : Positions()) {
      pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, d, 0, 0, 0, 0, p.x, p.y, kSprite, kSprite);
    }
    benchmark::ClobberMemory();
  }
  pixman_image_unref(src);
  pixman_image_unref(d);
}
#endif

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      times_[run.run_name.str()] = run.GetAdjustedRealTime();  // ms (the unit the runs are registered with)
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Print() const {
    std::printf("\n2,000 sprites of 32 x 32 on 640 x 480 (ms per frame; ratio = pixman time / ours, above 1 is faster):\n");
    Line("Direct3D stand-in, 32-bit", "d3d/32/x888/8888", "pixman OVER onto x8r8g8b8", "pixman/32");
    Line("Direct3D stand-in, 32-bit, SSE2 road", "d3d/32/x888/8888/sse2", "pixman OVER onto x8r8g8b8", "pixman/32");
    Line("Direct3D stand-in, 16-bit (4444 texture)", "d3d/16/565/4444", "pixman OVER onto r5g6b5", "pixman/16");
    Line("Direct3D stand-in, 16-bit (8888 texture)", "d3d/16/565/8888", "pixman OVER onto r5g6b5", "pixman/16");
    Line("Direct3D stand-in, 16-bit (8888), SSE2", "d3d/16/565/8888/sse2", "pixman OVER onto r5g6b5", "pixman/16");
  }

 private:
  void Line(const char* ours, const std::string& a, const char* theirs, const std::string& b) const {
    auto ia = times_.find(a), ib = times_.find(b);
    if (ia == times_.end()) return;
    if (ib == times_.end()) {
      std::printf("  %-42s %7.3f ms\n", ours, ia->second);
      return;
    }
    std::printf("  %-42s %7.3f ms   %-28s %7.3f ms   ratio %.2f\n", ours, ia->second, theirs, ib->second,
                ib->second / ia->second);
  }
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  setenv("ORBEL_HOST", "headless", 0);
  const DDPIXELFORMAT x888 = test::MakeRgbPixelFormat(32, 0xFF0000, 0xFF00, 0xFF, 0);
  const DDPIXELFORMAT argb = test::MakeRgbPixelFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
  const DDPIXELFORMAT r565 = test::MakeRgbPixelFormat(16, 0xF800, 0x07E0, 0x001F, 0);
  const DDPIXELFORMAT a4444 = test::MakeRgbPixelFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
  benchmark::RegisterBenchmark("d3d/32/x888/8888", BM_Direct3D, x888, argb, true)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("d3d/16/565/4444", BM_Direct3D, r565, a4444, true)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("d3d/16/565/8888", BM_Direct3D, r565, argb, true)->Unit(benchmark::kMillisecond);
  if (test::D3DAvx2Supported()) {
    benchmark::RegisterBenchmark("d3d/32/x888/8888/sse2", BM_Direct3D, x888, argb, false)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("d3d/16/565/8888/sse2", BM_Direct3D, r565, argb, false)->Unit(benchmark::kMillisecond);
  }
#if defined(ORBEL_BENCH_PIXMAN)
  benchmark::RegisterBenchmark("pixman/32", BM_Pixman, PIXMAN_x8r8g8b8)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("pixman/16", BM_Pixman, PIXMAN_r5g6b5)->Unit(benchmark::kMillisecond);
#endif
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.Print();
  benchmark::Shutdown();
  return 0;
}

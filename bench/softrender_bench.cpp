// Software renderer throughput: a 640 x 480 picture drawn onto a 640 x 480 memory image in every blend
// mode at 16 and 32 bits (plain, with the transparent colour, with source alpha), box fills and a
// 2x stretched draw; beside them SDL2's SDL_BlitSurface (alpha blend and plain copy) and a memcpy
// of the frame, with the ratios printed at the end. Depends on Google Benchmark and SDL2 (surfaces
// only, no video start-up).
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/box_fill.h"
#include "orbel/softrender/mem_img.h"
#include "orbel/softrender/stretch_blit.h"

namespace {

using namespace orbel;

constexpr int kW = 640;
constexpr int kH = 480;
constexpr double kPixels = static_cast<double>(kW) * kH;

// The pictures of one depth: opaque with keyed pixels, with alpha, a half-size one for the 2x
// stretch, and the destination.
struct DepthSet {
  MemImg src{}, srcAlpha{}, half{}, dst{};
};

DepthSet g16, g32;

uint32_t Rand(std::mt19937& rng) { return static_cast<uint32_t>(rng()); }

void FillPictures(DepthSet& set, int type) {
  std::mt19937 rng(type + 1);
  const uint32_t key = type == kMemImgR5G6B5 ? 0xF81F : 0xFF00FF;
  InitializeMemImg(&set.src, kW, kH, -1, key, type, 0, 0, 0, nullptr);
  InitializeMemImg(&set.srcAlpha, kW, kH, -1, 0, type, 0, 1, 0, nullptr);
  InitializeMemImg(&set.half, kW / 2, kH / 2, -1, key, type, 0, 0, 0, nullptr);
  InitializeMemImg(&set.dst, kW, kH, -1, 0, type, 0, 0, 0, nullptr);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const uint32_t r = Rand(rng);
      // About one pixel in eight is the transparent colour; alpha spans 0 to 255 in bands.
      const bool keyed = (r & 7) == 0;
      const uint32_t alpha = ((x / 16) * 37) & 0xFF;
      if (type == kMemImgR5G6B5) {
        const uint16_t v = keyed ? static_cast<uint16_t>(key) : static_cast<uint16_t>(r);
        std::memcpy(set.src.pixels + y * set.src.base->pitch + 2 * x, &v, 2);
        const uint32_t va = (r & 0xFFFF) | alpha << 16;
        std::memcpy(set.srcAlpha.pixels + y * set.srcAlpha.base->pitch + 4 * x, &va, 4);
        const uint16_t d = static_cast<uint16_t>(r >> 16);
        std::memcpy(set.dst.pixels + y * set.dst.base->pitch + 2 * x, &d, 2);
        if (x < kW / 2 && y < kH / 2) std::memcpy(set.half.pixels + y * set.half.base->pitch + 2 * x, &v, 2);
      } else {
        const uint32_t v = keyed ? key : (r & 0xFFFFFF);
        std::memcpy(set.src.pixels + y * set.src.base->pitch + 4 * x, &v, 4);
        const uint32_t va = (r & 0xFFFFFF) | alpha << 24;
        std::memcpy(set.srcAlpha.pixels + y * set.srcAlpha.base->pitch + 4 * x, &va, 4);
        const uint32_t d = Rand(rng) & 0xFFFFFF;
        std::memcpy(set.dst.pixels + y * set.dst.base->pitch + 4 * x, &d, 4);
        if (x < kW / 2 && y < kH / 2) std::memcpy(set.half.pixels + y * set.half.base->pitch + 4 * x, &v, 4);
      }
    }
  }
}

void SetRate(benchmark::State& state) {
  state.counters["pixels"] = benchmark::Counter(kPixels, benchmark::Counter::kIsIterationInvariantRate);
}

// variant 0: plain; 1: transparent colour; 2: source alpha (with the transparency flag).
void BM_Draw(benchmark::State& state, int depth, int mode, int param, int variant) {
  DepthSet& set = depth == 16 ? g16 : g32;
  SetBlendState(mode, param);
  SetDrawBrightColorValue(0xFFFFFF);
  const MemImg* src = variant == 2 ? &set.srcAlpha : &set.src;
  for (auto _ : state) {
    DrawMemImg(&set.dst, src, 0, 0, variant != 0, nullptr);
    benchmark::ClobberMemory();
  }
  SetRate(state);
}

void BM_Box(benchmark::State& state, int depth, int mode, int param) {
  DepthSet& set = depth == 16 ? g16 : g32;
  SetBlendState(mode, param);
  const plat::RECT r = {0, 0, kW, kH};
  for (auto _ : state) {
    DrawBoxMemImg(&set.dst, &r, depth == 16 ? 0x7BEF : 0x808080);
    benchmark::ClobberMemory();
  }
  SetRate(state);
}

void BM_Stretch2x(benchmark::State& state, int depth) {
  DepthSet& set = depth == 16 ? g16 : g32;
  SetBlendState(0, 255);
  const plat::RECT r = {0, 0, kW, kH};
  for (auto _ : state) {
    DrawExtendMemImg(&set.dst, &set.half, &r, 1, nullptr);
    benchmark::ClobberMemory();
  }
  SetRate(state);
}

// SDL2: an ARGB source onto an XRGB destination, per-pixel alpha blend or plain copy.
void BM_SdlBlit(benchmark::State& state, SDL_BlendMode blend) {
  SDL_Surface* src = SDL_CreateRGBSurface(0, kW, kH, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
  SDL_Surface* dst = SDL_CreateRGBSurface(0, kW, kH, 32, 0xFF0000, 0xFF00, 0xFF, 0);
  for (int y = 0; y < kH; ++y) {
    std::memcpy(static_cast<uint8_t*>(src->pixels) + y * src->pitch, g32.srcAlpha.pixels + y * g32.srcAlpha.base->pitch, kW * 4);
    std::memcpy(static_cast<uint8_t*>(dst->pixels) + y * dst->pitch, g32.dst.pixels + y * g32.dst.base->pitch, kW * 4);
  }
  SDL_SetSurfaceBlendMode(src, blend);
  for (auto _ : state) {
    SDL_BlitSurface(src, nullptr, dst, nullptr);
    benchmark::ClobberMemory();
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
  SetRate(state);
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> a(kW * kH * 4, 1), b(kW * kH * 4);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::ClobberMemory();
  }
  SetRate(state);
}

// Console output as usual, plus the time per frame of every run for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\nMpixel/s and ratios (time per 640 x 480 frame):\n");
    Ratio("32-bit alpha blend (mode 0, source alpha)", "draw32/mode0/alpha", "SDL_BlitSurface BLEND", "sdl/blend");
    Ratio("32-bit plain copy", "draw32/mode0/plain", "SDL_BlitSurface NONE", "sdl/none");
    Ratio("32-bit plain copy", "draw32/mode0/plain", "memcpy of the frame", "memcpy");
    Ratio("16-bit plain copy", "draw16/mode0/plain", "memcpy of the 32-bit frame", "memcpy");
  }

 private:
  double Mpix(const std::string& name) const {
    auto it = times_.find(name);
    return it == times_.end() || it->second <= 0 ? 0 : kPixels / it->second * 1e3;  // times are ns
  }
  void Ratio(const char* ours, const std::string& a, const char* theirs, const std::string& b) const {
    const double ma = Mpix(a), mb = Mpix(b);
    if (ma <= 0 || mb <= 0) return;
    std::printf("  %-42s %8.1f Mpixel/s   %-28s %8.1f Mpixel/s   ratio %.2f\n", ours, ma, theirs, mb, ma / mb);
  }
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  InitMemImgTables();
  InitDrawStateDefaults();
  SetDrawClipArea(0, 0, kW, kH);
  FillPictures(g16, kMemImgR5G6B5);
  FillPictures(g32, kMemImgX8R8G8B8);

  struct Mode {
    int mode, param;
    const char* name;
  };
  const Mode modes[] = {{0, 255, "mode0"},    {1, 128, "mode1p128"}, {1, 100, "mode1"}, {2, 200, "mode2"},
                        {2, 255, "mode2p255"}, {3, 200, "mode3"},     {4, 255, "mode4"}, {10, 200, "mode10"},
                        {11, 200, "mode11"}};
  const char* variants[] = {"plain", "trans", "alpha"};
  for (int depth : {32, 16}) {
    for (const Mode& m : modes) {
      for (int v = 0; v < 3; ++v) {
        const std::string name = "draw" + std::to_string(depth) + "/" + m.name + "/" + variants[v];
        benchmark::RegisterBenchmark(name.c_str(), BM_Draw, depth, m.mode, m.param, v);
      }
    }
    for (const Mode& m : {Mode{0, 255, "mode0"}, Mode{1, 100, "mode1"}, Mode{2, 200, "mode2"}}) {
      benchmark::RegisterBenchmark(("box" + std::to_string(depth) + "/" + m.name).c_str(), BM_Box, depth, m.mode, m.param);
    }
    benchmark::RegisterBenchmark(("stretch2x" + std::to_string(depth) + "/trans").c_str(), BM_Stretch2x, depth);
  }
  benchmark::RegisterBenchmark("sdl/blend", BM_SdlBlit, SDL_BLENDMODE_BLEND);
  benchmark::RegisterBenchmark("sdl/none", BM_SdlBlit, SDL_BLENDMODE_NONE);
  benchmark::RegisterBenchmark("memcpy", BM_Memcpy);

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  for (DepthSet* set : {&g16, &g32}) {
    for (MemImg* img : {&set->src, &set->srcAlpha, &set->half, &set->dst}) TerminateMemImg(img);
  }
  return 0;
}

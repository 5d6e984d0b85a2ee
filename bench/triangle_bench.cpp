// Software triangle throughput: 1,000 textured right triangles with 32-pixel legs (half a 32 x 32 quad
// each, alternately the upper and the lower half) per 640 x 480 frame, in the normal mode and in the
// alpha mode at 128, at 16 and 32 bits. Beside them SDL2's software renderer draws the same triangles
// with SDL_RenderGeometry from a texture of the same format onto a surface of the same format (blend
// none, and blend with an alpha modulation of 128). Prints Mpixel/s (nominal: 512 pixels a triangle)
// and the ratios. Depends on Google Benchmark and SDL2 (software renderer only, no video start-up).
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdio>
#include <array>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/mem_img.h"
#include "orbel/softrender/triangle.h"

namespace {

using namespace orbel;

constexpr int kW = 640;
constexpr int kH = 480;
constexpr int kSide = 32;
constexpr int kTriangles = 1000;
constexpr double kPixelsPerFrame = kTriangles * kSide * kSide / 2.0;

// Corners (x, y, u, v) of every triangle, the same for both renderers.
std::vector<std::array<int, 12>> MakeTriangles() {
  std::mt19937 rng(5);
  std::vector<std::array<int, 12>> out;
  for (int i = 0; i < kTriangles; ++i) {
    const int x = static_cast<int>(rng() % (kW - kSide));
    const int y = static_cast<int>(rng() % (kH - kSide));
    if (i % 2 == 0) {
      out.push_back({x, y, 0, 0, x + kSide, y, kSide, 0, x, y + kSide, 0, kSide});
    } else {
      out.push_back({x + kSide, y, kSide, 0, x, y + kSide, 0, kSide, x + kSide, y + kSide, kSide, kSide});
    }
  }
  return out;
}

const std::vector<std::array<int, 12>> kCorners = MakeTriangles();

void FillRandom(void* pixels, int pitch, int width, int height, int bytes, uint32_t seed) {
  std::mt19937 rng(seed);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = static_cast<uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch;
    for (int x = 0; x < width * bytes; ++x) row[x] = static_cast<uint8_t>(rng());
  }
}

void SetRate(benchmark::State& state) {
  state.counters["pixels"] = benchmark::Counter(kPixelsPerFrame, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Triangles(benchmark::State& state, int depth, int mode, int param) {
  const int type = depth == 16 ? kMemImgR5G6B5 : kMemImgX8R8G8B8;
  MemImg src{};
  MemImg dst{};
  InitializeMemImg(&src, kSide, kSide, -1, 0, type, 0, 0, 0, nullptr);
  InitializeMemImg(&dst, kW, kH, -1, 0, type, 0, 0, 0, nullptr);
  FillRandom(src.pixels, src.base->pitch, kSide, kSide, depth / 8, 1);
  FillRandom(dst.pixels, dst.base->pitch, kW, kH, depth / 8, 2);
  SetBlendState(mode, param);
  for (auto _ : state) {
    for (const auto& c : kCorners) DrawTriangleMemImg(&dst, &src, c.data(), 0, nullptr, 0);
    benchmark::ClobberMemory();
  }
  SetRate(state);
  TerminateMemImg(&src);
  TerminateMemImg(&dst);
}

void BM_SdlGeometry(benchmark::State& state, int depth, bool alpha) {
  const Uint32 format = depth == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888;
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, depth, format);
  SDL_Surface* picture = SDL_CreateRGBSurfaceWithFormat(0, kSide, kSide, depth, format);
  FillRandom(target->pixels, target->pitch, kW, kH, depth / 8, 2);
  FillRandom(picture->pixels, picture->pitch, kSide, kSide, depth / 8, 1);
  SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(target);
  SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, picture);
  SDL_SetTextureBlendMode(texture, alpha ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE);
  if (alpha) SDL_SetTextureAlphaMod(texture, 128);
  std::vector<SDL_Vertex> vertices;
  for (const auto& c : kCorners) {
    for (int i = 0; i < 3; ++i) {
      SDL_Vertex v{};
      v.position = {static_cast<float>(c[4 * i]), static_cast<float>(c[4 * i + 1])};
      v.color = {255, 255, 255, 255};
      v.tex_coord = {static_cast<float>(c[4 * i + 2]) / kSide, static_cast<float>(c[4 * i + 3]) / kSide};
      vertices.push_back(v);
    }
  }
  for (auto _ : state) {
    SDL_RenderGeometry(renderer, texture, vertices.data(), static_cast<int>(vertices.size()), nullptr, 0);
    SDL_RenderFlush(renderer);
    benchmark::ClobberMemory();
  }
  SetRate(state);
  SDL_DestroyTexture(texture);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(picture);
  SDL_FreeSurface(target);
}

// Console output as usual, plus the time per frame of every run for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // One figure a benchmark: the run itself, or the median when it was repeated.
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
        seconds_[run.run_name.str()] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\nMpixel/s (nominal, 1,000 triangles of 512 pixels a frame) and ratios:\n");
    for (int depth : {32, 16}) {
      const std::string d = std::to_string(depth);
      Ratio(d + "-bit normal", "triangles" + d + "/normal", "sdl" + d + "/none");
      Ratio(d + "-bit alpha 128", "triangles" + d + "/alpha", "sdl" + d + "/blend");
    }
  }

 private:
  void Ratio(const std::string& what, const std::string& ours, const std::string& theirs) const {
    const auto a = seconds_.find(ours);
    const auto b = seconds_.find(theirs);
    if (a == seconds_.end() || b == seconds_.end()) return;
    // Adjusted real time is in the default unit (ns) per frame.
    const double ma = kPixelsPerFrame / a->second * 1e3;
    const double mb = kPixelsPerFrame / b->second * 1e3;
    std::printf("  %-16s triangles %8.1f Mpixel/s   SDL_RenderGeometry %8.1f Mpixel/s   ratio %.2f\n", what.c_str(),
                ma, mb, ma / mb);
  }
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  InitMemImgTables();
  InitDrawStateDefaults();
  SetDrawClipArea(0, 0, kW, kH);
  gDrawState.drawArea = {0, 0, kW, kH};
  for (int depth : {32, 16}) {
    const std::string d = std::to_string(depth);
    benchmark::RegisterBenchmark(("triangles" + d + "/normal").c_str(), BM_Triangles, depth, 0, 255);
    benchmark::RegisterBenchmark(("triangles" + d + "/alpha").c_str(), BM_Triangles, depth, 1, 128);
    benchmark::RegisterBenchmark(("sdl" + d + "/none").c_str(), BM_SdlGeometry, depth, false);
    benchmark::RegisterBenchmark(("sdl" + d + "/blend").c_str(), BM_SdlGeometry, depth, true);
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

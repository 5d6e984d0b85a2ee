// Software renderer throughput: a 640 x 480 picture drawn onto a 640 x 480 memory image in every blend
// mode at 16 and 32 bits (plain, with the transparent colour, with source alpha under the flag and
// without it), box fills and a 2x stretched draw; beside them, on the same pictures in the same pixel
// formats, SDL2's SDL_BlitSurface (alpha blend, copy) and SDL_BlitScaled, pixman's OVER composite and a
// memcpy of the frame, with the ratios printed at the end. Alpha comes in three pictures: bands of
// translucency, random alpha, and sprite-like (clear and opaque areas with soft edges). A sprite frame
// draws 2,000 or 200 64 x 64 alpha sprites (opaque body, soft edge, clear surround) at 32 bits through
// the sprite's run table, through whole rows (the table marked stale) and through pixman's OVER, blits
// only (no present).
// Depends on Google Benchmark, SDL2 (surfaces only, no video start-up) and, when found, pixman.
#include <benchmark/benchmark.h>

#include <SDL.h>
#if defined(ORBEL_BENCH_PIXMAN)
#include <pixman.h>
#endif

#include <time.h>  // clock_gettime

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/sprite_scene.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/image/color_data.h"
#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/box_fill.h"
#include "orbel/softrender/mem_img.h"
#include "orbel/softrender/stretch_blit.h"

namespace {

using namespace orbel;

constexpr int kW = 640;
constexpr int kH = 480;
constexpr double kPixels = static_cast<double>(kW) * kH;

// The pictures of one depth: opaque with keyed pixels, with banded, random and sprite-like alpha, a
// half-size one for the 2x stretch, and the destination.
struct DepthSet {
  MemImg src{}, srcAlpha{}, randomAlpha{}, spriteAlpha{}, half{}, dst{};
};

enum AlphaPicture { kBanded, kRandom, kSprite };

// Sprite-like alpha: round shapes on a clear ground, opaque inside with an edge of a few pixels.
uint32_t SpriteAlpha(int x, int y) {
  const int cx = x % 80 - 40, cy = y % 80 - 40;
  const int r2 = cx * cx + cy * cy;
  if (r2 >= 34 * 34) return 0;
  if (r2 <= 30 * 30) return 255;
  return static_cast<uint32_t>(255 * (34 * 34 - r2) / (34 * 34 - 30 * 30));
}

DepthSet g16, g32;

uint32_t Rand(std::mt19937& rng) { return static_cast<uint32_t>(rng()); }

void FillPictures(DepthSet& set, int type) {
  std::mt19937 rng(type + 1);
  const uint32_t key = type == kMemImgR5G6B5 ? 0xF81F : 0xFF00FF;
  InitializeMemImg(&set.src, kW, kH, -1, key, type, 0, 0, 0, nullptr);
  InitializeMemImg(&set.srcAlpha, kW, kH, -1, 0, type, 0, 1, 0, nullptr);
  InitializeMemImg(&set.half, kW / 2, kH / 2, -1, key, type, 0, 0, 0, nullptr);
  InitializeMemImg(&set.dst, kW, kH, -1, 0, type, 0, 0, 0, nullptr);
  InitializeMemImg(&set.randomAlpha, kW, kH, -1, 0, type, 0, 1, 0, nullptr);
  InitializeMemImg(&set.spriteAlpha, kW, kH, -1, 0, type, 0, 1, 0, nullptr);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const uint32_t r = Rand(rng);
      // About one pixel in eight is the transparent colour; alpha spans 0 to 255 in bands.
      const bool keyed = (r & 7) == 0;
      const uint32_t alpha = ((x / 16) * 37) & 0xFF;
      const uint32_t randomAlpha = Rand(rng) & 0xFF;
      const uint32_t spriteAlpha = SpriteAlpha(x, y);
      if (type == kMemImgR5G6B5) {
        const uint16_t v = keyed ? static_cast<uint16_t>(key) : static_cast<uint16_t>(r);
        std::memcpy(set.src.pixels + y * set.src.base->pitch + 2 * x, &v, 2);
        const uint32_t va = (r & 0xFFFF) | alpha << 16;
        std::memcpy(set.srcAlpha.pixels + y * set.srcAlpha.base->pitch + 4 * x, &va, 4);
        const uint32_t vr = (r & 0xFFFF) | randomAlpha << 16, vs = (r & 0xFFFF) | spriteAlpha << 16;
        std::memcpy(set.randomAlpha.pixels + y * set.randomAlpha.base->pitch + 4 * x, &vr, 4);
        std::memcpy(set.spriteAlpha.pixels + y * set.spriteAlpha.base->pitch + 4 * x, &vs, 4);
        const uint16_t d = static_cast<uint16_t>(r >> 16);
        std::memcpy(set.dst.pixels + y * set.dst.base->pitch + 2 * x, &d, 2);
        if (x < kW / 2 && y < kH / 2) std::memcpy(set.half.pixels + y * set.half.base->pitch + 2 * x, &v, 2);
      } else {
        const uint32_t v = keyed ? key : (r & 0xFFFFFF);
        std::memcpy(set.src.pixels + y * set.src.base->pitch + 4 * x, &v, 4);
        const uint32_t va = (r & 0xFFFFFF) | alpha << 24;
        std::memcpy(set.srcAlpha.pixels + y * set.srcAlpha.base->pitch + 4 * x, &va, 4);
        const uint32_t vr = (r & 0xFFFFFF) | randomAlpha << 24, vs = (r & 0xFFFFFF) | spriteAlpha << 24;
        std::memcpy(set.randomAlpha.pixels + y * set.randomAlpha.base->pitch + 4 * x, &vr, 4);
        std::memcpy(set.spriteAlpha.pixels + y * set.spriteAlpha.base->pitch + 4 * x, &vs, 4);
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

const MemImg* AlphaSource(DepthSet& set, int picture) {
  return picture == kSprite ? &set.spriteAlpha : picture == kRandom ? &set.randomAlpha : &set.srcAlpha;
}

// variant 0: plain; 1: transparent colour; 2: source alpha (with the transparency flag); 3: source
// alpha without the flag. `picture` picks the alpha picture.
void BM_Draw(benchmark::State& state, int depth, int mode, int param, int variant, int picture) {
  DepthSet& set = depth == 16 ? g16 : g32;
  SetBlendState(mode, param);
  SetDrawBrightColorValue(0xFFFFFF);
  const MemImg* src = variant >= 2 ? AlphaSource(set, picture) : &set.src;
  for (auto _ : state) {
    DrawMemImg(&set.dst, src, 0, 0, variant == 1 || variant == 2, nullptr);
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

void BM_Stretch2x(benchmark::State& state, int depth, int trans) {
  DepthSet& set = depth == 16 ? g16 : g32;
  SetBlendState(0, 255);
  const plat::RECT r = {0, 0, kW, kH};
  for (auto _ : state) {
    DrawExtendMemImg(&set.dst, &set.half, &r, trans, nullptr);
    benchmark::ClobberMemory();
  }
  SetRate(state);
}

// A 32-bit picture as an SDL surface: ARGB when `alpha`, else XRGB.
SDL_Surface* SdlCopy(const MemImg& img, bool alpha) {
  SDL_Surface* surface = SDL_CreateRGBSurface(0, img.width, img.height, 32, 0xFF0000, 0xFF00, 0xFF, alpha ? 0xFF000000 : 0);
  for (int y = 0; y < img.height; ++y)
    std::memcpy(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch, img.pixels + y * img.base->pitch,
                static_cast<size_t>(img.width) * 4);
  return surface;
}

// SDL2 on the same pictures and formats: an ARGB source blended onto the XRGB destination, or an
// XRGB picture copied onto it.
void BM_SdlBlit(benchmark::State& state, SDL_BlendMode blend, int picture) {
  SDL_Surface* src = blend == SDL_BLENDMODE_BLEND ? SdlCopy(*AlphaSource(g32, picture), true) : SdlCopy(g32.src, false);
  SDL_Surface* dst = SdlCopy(g32.dst, false);
  SDL_SetSurfaceBlendMode(src, blend);
  for (auto _ : state) {
    SDL_BlitSurface(src, nullptr, dst, nullptr);
    benchmark::ClobberMemory();
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
  SetRate(state);
}

// SDL_BlitScaled of the half-size XRGB picture to the whole destination, with or without its key.
void BM_SdlScaled(benchmark::State& state, int trans) {
  SDL_Surface* src = SdlCopy(g32.half, false);
  SDL_Surface* dst = SdlCopy(g32.dst, false);
  SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_NONE);
  if (trans) SDL_SetColorKey(src, SDL_TRUE, 0xFF00FF);
  SDL_Rect whole = {0, 0, kW, kH};
  for (auto _ : state) {
    SDL_BlitScaled(src, nullptr, dst, &whole);
    benchmark::ClobberMemory();
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
  SetRate(state);
}

#if defined(ORBEL_BENCH_PIXMAN)
// pixman's OVER of the alpha picture (premultiplied, as pixman takes it) onto the XRGB destination.
void BM_PixmanOver(benchmark::State& state, int picture) {
  const MemImg& img = *AlphaSource(g32, picture);
  std::vector<uint32_t> src(static_cast<size_t>(kW) * kH), dst(static_cast<size_t>(kW) * kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      uint32_t v;
      std::memcpy(&v, img.pixels + y * img.base->pitch + 4 * x, 4);
      const uint32_t a = v >> 24;
      uint32_t pre = a << 24;
      for (int i = 0; i < 24; i += 8) pre |= (((v >> i) & 0xFF) * a / 255) << i;
      src[static_cast<size_t>(y) * kW + x] = pre;
      std::memcpy(&dst[static_cast<size_t>(y) * kW + x], g32.dst.pixels + y * g32.dst.base->pitch + 4 * x, 4);
    }
  }
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, src.data(), kW * 4);
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, dst.data(), kW * 4);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
  SetRate(state);
}
#endif

// ---- Sprite frames ----------------------------------------------------------------------------------

constexpr int kSpriteSize = 64;

// The sprite: opaque inside radius 26, a soft edge out to 30, clear beyond; colours in a ramp.
uint32_t SpritePixel(int x, int y) { return bench::SoftDiscPixel(x, y, kSpriteSize, 26, 30); }

MemImg gSprite{};  // loaded whole: its run table is valid

// Draws the sprites; with `runs` false the run table is marked stale for the while, so whole rows run.
void DrawSprites(MemImg* frame, const std::vector<std::pair<int, int>>& positions, bool runs) {
  gSprite.base->runTableValid = runs ? 1 : 0;
  for (const auto& [x, y] : positions) DrawMemImg(frame, &gSprite, x, y, 1, nullptr);
  gSprite.base->runTableValid = 1;
}

void MakeSprites() {
  std::vector<uint32_t> px(kSpriteSize * kSpriteSize);
  for (int y = 0; y < kSpriteSize; ++y)
    for (int x = 0; x < kSpriteSize; ++x) px[y * kSpriteSize + x] = SpritePixel(x, y);
  InitializeMemImg(&gSprite, kSpriteSize, kSpriteSize, -1, 0, kMemImgX8R8G8B8, 0, 1, 1, nullptr);
  GraphImage image{};
  image.format = *gSprite.base->colorData;  // the same format: a plain row copy
  image.width = kSpriteSize;
  image.height = kSpriteSize;
  image.pitch = kSpriteSize * 4;
  image.pixels = reinterpret_cast<uint8_t*>(px.data());
  TransferImageToMemImg(&image, nullptr, &gSprite, 0, 0, kSpriteSize, kSpriteSize, 0, 0, 0);
}

// Sprite positions, the same for every road: whole sprites inside the frame.
std::vector<std::pair<int, int>> SpritePositions(int count) {
  std::vector<std::pair<int, int>> out;
  for (const bench::SpritePoint& p : bench::SpritePositions(count, kSpriteSize, kW, kH, 17)) out.emplace_back(p.x, p.y);
  return out;
}

void SetSpriteRate(benchmark::State& state, int count) {
  state.counters["sprites"] = benchmark::Counter(count, benchmark::Counter::kIsIterationInvariantRate);
}

// One frame of `count` sprites through DrawMemImg (alpha blend under the transparency flag).
void BM_SpriteFrame(benchmark::State& state, int count, bool runs) {
  SetBlendState(0, 255);
  SetDrawBrightColorValue(0xFFFFFF);
  if (gSprite.base->runTableValid != 1) state.SkipWithError("the sprite has no run table");
  const auto positions = SpritePositions(count);
  for (auto _ : state) {
    DrawSprites(&g32.dst, positions, runs);
    benchmark::ClobberMemory();
  }
  SetSpriteRate(state, count);
}

#if defined(ORBEL_BENCH_PIXMAN)
// The same frame through pixman: the sprite premultiplied, OVER onto the XRGB frame, one composite a
// sprite.
void BM_PixmanSpriteFrame(benchmark::State& state, int count) {
  std::vector<uint32_t> src(kSpriteSize * kSpriteSize), dst(static_cast<size_t>(kW) * kH);
  for (int y = 0; y < kSpriteSize; ++y) {
    for (int x = 0; x < kSpriteSize; ++x) {
      const uint32_t v = SpritePixel(x, y), a = v >> 24;
      uint32_t pre = a << 24;
      for (int i = 0; i < 24; i += 8) pre |= (((v >> i) & 0xFF) * a / 255) << i;
      src[y * kSpriteSize + x] = pre;
    }
  }
  for (int y = 0; y < kH; ++y) std::memcpy(&dst[static_cast<size_t>(y) * kW], g32.dst.pixels + y * g32.dst.base->pitch, kW * 4);
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSpriteSize, kSpriteSize, src.data(), kSpriteSize * 4);
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, dst.data(), kW * 4);
  const auto positions = SpritePositions(count);
  for (auto _ : state) {
    for (const auto& [x, y] : positions)
      pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, x, y, kSpriteSize, kSpriteSize);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
  SetSpriteRate(state, count);
}
#endif

// The sprite frames again, interleaved frame by frame (one frame of each road in turn, the order
// turning every round, each road on a frame of its own), so that a loaded machine's swings and the
// caches fall on every road alike; medians of the time per frame.
void InterleavedSpriteFrames(int rounds) {
  SetBlendState(0, 255);
  SetDrawBrightColorValue(0xFFFFFF);
  MemImg runsFrame{}, rowsFrame{};
  for (MemImg* f : {&runsFrame, &rowsFrame}) {
    InitializeMemImg(f, kW, kH, -1, 0, kMemImgX8R8G8B8, 0, 0, 0, nullptr);
    for (int y = 0; y < kH; ++y) std::memcpy(f->pixels + y * f->base->pitch, g32.dst.pixels + y * g32.dst.base->pitch, kW * 4);
  }
#if defined(ORBEL_BENCH_PIXMAN)
  std::vector<uint32_t> pre(kSpriteSize * kSpriteSize), frame(static_cast<size_t>(kW) * kH);
  for (int i = 0; i < kSpriteSize * kSpriteSize; ++i) {
    const uint32_t v = SpritePixel(i % kSpriteSize, i / kSpriteSize), a = v >> 24;
    pre[i] = a << 24;
    for (int b = 0; b < 24; b += 8) pre[i] |= (((v >> b) & 0xFF) * a / 255) << b;
  }
  for (int y = 0; y < kH; ++y) std::memcpy(&frame[static_cast<size_t>(y) * kW], g32.dst.pixels + y * g32.dst.base->pitch, kW * 4);
  pixman_image_t* ps = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSpriteSize, kSpriteSize, pre.data(), kSpriteSize * 4);
  pixman_image_t* pd = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, frame.data(), kW * 4);
  constexpr int kRoads = 3;
#else
  constexpr int kRoads = 2;
#endif
  std::printf("\nSprite frames interleaved, %d rounds, median ms a frame (blits only, no present):\n", rounds);
  for (const int count : {2000, 200}) {
    const auto positions = SpritePositions(count);
    std::vector<double> times[3];
    auto draw = [&](int road) {
      if (road == 0) {
        DrawSprites(&runsFrame, positions, true);
      } else if (road == 1) {
        DrawSprites(&rowsFrame, positions, false);
      } else {
#if defined(ORBEL_BENCH_PIXMAN)
        for (const auto& [x, y] : positions)
          pixman_image_composite32(PIXMAN_OP_OVER, ps, nullptr, pd, 0, 0, 0, 0, x, y, kSpriteSize, kSpriteSize);
#endif
      }
    };
    for (int r = 0; r < rounds; ++r) {
      for (int i = 0; i < kRoads; ++i) {
        const int road = (r + i) % kRoads;
        timespec t0, t1;
        clock_gettime(CLOCK_MONOTONIC, &t0);
        draw(road);
        clock_gettime(CLOCK_MONOTONIC, &t1);
        times[road].push_back((t1.tv_sec - t0.tv_sec) * 1e3 + (t1.tv_nsec - t0.tv_nsec) / 1e6);
      }
    }
    auto median = [](std::vector<double>& v) {
      std::nth_element(v.begin(), v.begin() + static_cast<ptrdiff_t>(v.size() / 2), v.end());
      return v[v.size() / 2];
    };
    const double mRuns = median(times[0]), mRows = median(times[1]);
    std::printf("  %4d sprites: run table %7.3f   whole rows %7.3f   runs vs rows %.2f", count, mRuns, mRows, mRows / mRuns);
    if (kRoads == 3) {
      const double mPixman = median(times[2]);
      std::printf("   pixman OVER %7.3f   runs vs pixman %.2f   rows vs pixman %.2f", mPixman, mPixman / mRuns, mPixman / mRows);
    }
    std::printf("\n");
  }
#if defined(ORBEL_BENCH_PIXMAN)
  pixman_image_unref(ps);
  pixman_image_unref(pd);
#endif
  TerminateMemImg(&runsFrame);
  TerminateMemImg(&rowsFrame);
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
  // With --benchmark_repetitions the ratios use the medians.
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      times_[run.run_name.str()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\nMpixel/s and ratios (time per 640 x 480 frame):\n");
    for (const char* picture : {"sprite", "random", "banded"}) {
      const std::string ours = std::string("32-bit alpha blend, ") + picture + " alpha";
      const std::string name = std::string("draw32/mode0/alpha/") + picture;
      Ratio(ours.c_str(), name, "pixman OVER", std::string("pixman/over/") + picture);
      Ratio(ours.c_str(), name, "SDL_BlitSurface BLEND", std::string("sdl/blend/") + picture);
    }
    for (const char* count : {"2000", "200"}) {
      const std::string runs = std::string("sprites") + count + "/runs", rows = std::string("sprites") + count + "/rows";
      const std::string pixman = std::string("pixman/sprites") + count;
      FrameRatio(count, "run table", runs, "pixman OVER", pixman);
      FrameRatio(count, "run table", runs, "whole rows", rows);
      FrameRatio(count, "whole rows", rows, "pixman OVER", pixman);
    }
    Ratio("32-bit plain copy", "draw32/mode0/plain", "SDL_BlitSurface NONE", "sdl/none");
    Ratio("32-bit plain copy", "draw32/mode0/plain", "memcpy of the frame", "memcpy");
    Ratio("16-bit plain copy", "draw16/mode0/plain", "memcpy of the 32-bit frame", "memcpy");
    Ratio("32-bit 2x stretch", "stretch2x32/plain", "SDL_BlitScaled", "sdl/scaled/plain");
    Ratio("32-bit 2x stretch, keyed", "stretch2x32/trans", "SDL_BlitScaled, colour key", "sdl/scaled/trans");
    std::printf("\nFamilies (Mpixel/s):\n");
    for (const char* name : {"draw32/mode2/alpha", "draw32/mode3/alpha", "draw32/mode4/alpha", "draw32/mode10/alpha",
                             "draw32/mode11/alpha", "draw32/mode0/plain", "draw32/mode1/alpha", "draw16/mode10/plain",
                             "draw16/mode11/plain", "draw16/mode1/plain", "box16/mode1", "draw32/mode2/plain",
                             "draw32/mode2p255/plain", "draw32/mode0/alphanoflag", "draw32/mode0/alpha/sprite"}) {
      std::printf("  %-28s %8.1f\n", name, Mpix(name));
    }
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
  // Sprite frames: times per frame in ms; the ratio is theirs / ours (above 1: ours is faster).
  void FrameRatio(const char* count, const char* ours, const std::string& a, const char* theirs, const std::string& b) const {
    auto ta = times_.find(a), tb = times_.find(b);
    if (ta == times_.end() || tb == times_.end() || ta->second <= 0) return;
    std::printf("  %5s sprites: %-10s %7.3f ms   %-12s %7.3f ms   ratio %.2f\n", count, ours, ta->second / 1e6, theirs,
                tb->second / 1e6, tb->second / ta->second);
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
  MakeSprites();

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
        benchmark::RegisterBenchmark(name.c_str(), BM_Draw, depth, m.mode, m.param, v, kBanded);
      }
    }
    const std::string prefix = "draw" + std::to_string(depth) + "/mode0/";
    benchmark::RegisterBenchmark((prefix + "alphanoflag").c_str(), BM_Draw, depth, 0, 255, 3, kBanded);
    for (const auto& [picture, name] : {std::pair{kSprite, "sprite"}, std::pair{kRandom, "random"}, std::pair{kBanded, "banded"}})
      benchmark::RegisterBenchmark((prefix + "alpha/" + name).c_str(), BM_Draw, depth, 0, 255, 2, picture);
    for (const Mode& m : {Mode{0, 255, "mode0"}, Mode{1, 100, "mode1"}, Mode{2, 200, "mode2"}}) {
      benchmark::RegisterBenchmark(("box" + std::to_string(depth) + "/" + m.name).c_str(), BM_Box, depth, m.mode, m.param);
    }
    benchmark::RegisterBenchmark(("stretch2x" + std::to_string(depth) + "/plain").c_str(), BM_Stretch2x, depth, 0);
    benchmark::RegisterBenchmark(("stretch2x" + std::to_string(depth) + "/trans").c_str(), BM_Stretch2x, depth, 1);
  }
  for (const auto& [picture, name] : {std::pair{kSprite, "sprite"}, std::pair{kRandom, "random"}, std::pair{kBanded, "banded"}}) {
    benchmark::RegisterBenchmark((std::string("sdl/blend/") + name).c_str(), BM_SdlBlit, SDL_BLENDMODE_BLEND, picture);
#if defined(ORBEL_BENCH_PIXMAN)
    benchmark::RegisterBenchmark((std::string("pixman/over/") + name).c_str(), BM_PixmanOver, picture);
#endif
  }
  for (const int count : {2000, 200}) {
    const std::string prefix = "sprites" + std::to_string(count);
    benchmark::RegisterBenchmark((prefix + "/runs").c_str(), BM_SpriteFrame, count, true);
    benchmark::RegisterBenchmark((prefix + "/rows").c_str(), BM_SpriteFrame, count, false);
#if defined(ORBEL_BENCH_PIXMAN)
    benchmark::RegisterBenchmark(("pixman/" + prefix).c_str(), BM_PixmanSpriteFrame, count);
#endif
  }
  benchmark::RegisterBenchmark("sdl/none", BM_SdlBlit, SDL_BLENDMODE_NONE, kBanded);
  benchmark::RegisterBenchmark("sdl/scaled/plain", BM_SdlScaled, 0);
  benchmark::RegisterBenchmark("sdl/scaled/trans", BM_SdlScaled, 1);
  benchmark::RegisterBenchmark("memcpy", BM_Memcpy);

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  InterleavedSpriteFrames(101);
  benchmark::Shutdown();
  for (DepthSet* set : {&g16, &g32}) {
    for (MemImg* img : {&set->src, &set->srcAlpha, &set->randomAlpha, &set->spriteAlpha, &set->half, &set->dst})
      TerminateMemImg(img);
  }
  TerminateMemImg(&gSprite);
  return 0;
}

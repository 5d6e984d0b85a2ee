// Frame cost of the 2D graphics: 200 alpha-blended 64 x 64 sprites drawn onto a 640 x 480 screen and
// the frame presented, at 16 and 32 bits, on the DirectDraw road (full screen, page flip) and in
// software rendering (memory images shown through GDI), beside SDL2's software renderer doing the
// same sprites (SDL_CreateSoftwareRenderer on a 640 x 480 surface, SDL_RenderCopy with blending, then
// a copy of the surface into a 32-bit frame as the present). The library runs on the headless host with
// vertical sync off (ORBEL_BENCH_VIRTUAL_CLOCK=1 puts it on the virtual clock). Prints ms per frame and
// the ratio to SDL2. Also the DirectDraw stand-in's BltFast of a 640 x 480 frame, plain and colour-keyed,
// beside a memcpy of the same bytes.
// Depends on Google Benchmark, SDL2 (surfaces and the software renderer only) and libpng.
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/sprite_scene.h"
#include "include/orbel.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_state.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/clock_test_controls.h"
#include "platform/win/window_test_controls.h"

namespace {

constexpr int kW = 640;
constexpr int kH = 480;
constexpr int kSprite = 64;
constexpr int kSprites = 200;

// The same sprite positions for every road.
const std::vector<bench::SpritePoint>& Positions() {
  static const std::vector<bench::SpritePoint> points = bench::SpritePositions(kSprites, kSprite, kW, kH, 7);
  return points;
}

// A 64 x 64 RGBA sprite: a colour ramp with alpha rising from the edge to the centre.
std::vector<uint8_t> SpritePixels() {
  std::vector<uint8_t> rgba(kSprite * kSprite * 4);
  for (int y = 0; y < kSprite; ++y) {
    for (int x = 0; x < kSprite; ++x) {
      uint8_t* p = &rgba[(y * kSprite + x) * 4];
      const int dx = x - 32, dy = y - 32;
      const int d = dx * dx + dy * dy;
      p[0] = static_cast<uint8_t>(x * 4);
      p[1] = static_cast<uint8_t>(y * 4);
      p[2] = static_cast<uint8_t>(255 - x * 2);
      p[3] = static_cast<uint8_t>(d >= 1024 ? 0 : 255 - d / 4);
    }
  }
  return rgba;
}

std::string WriteSpritePng() {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "orbel_bench_sprite.png";
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kSprite;
  image.height = kSprite;
  image.format = PNG_FORMAT_RGBA;
  const std::vector<uint8_t> rgba = SpritePixels();
  if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) {
    std::fprintf(stderr, "graphics_bench: cannot write %s\n", path.c_str());
    std::exit(1);
  }
  return path.string();
}

// Milliseconds per frame by benchmark name, gathered from the runs as they are reported.
std::map<std::string, double> gMsPerFrame;

class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // Single runs, or the median of repetitions when those are asked for.
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
        gMsPerFrame[run.run_name.str()] = run.GetAdjustedRealTime();  // in the unit set: ms
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

void PrintTable() {
  std::printf("\n%-6s %-28s %12s %18s\n", "bits", "road", "ms/frame", "SDL2 time / ours");
  for (int bits : {16, 32}) {
    const std::string b = "/" + std::to_string(bits);
    const auto sdl = gMsPerFrame.find("SDL2SoftwareRenderer" + b);
    for (const char* road : {"SDL2SoftwareRenderer", "OrbelDirectDraw", "OrbelSoftwareRendering"}) {
      const auto it = gMsPerFrame.find(road + b);
      if (it == gMsPerFrame.end()) {
        std::printf("%-6d %-28s %12s\n", bits, road, "failed");
        continue;
      }
      if (sdl == gMsPerFrame.end() || it->second <= 0) {
        std::printf("%-6d %-28s %12.3f\n", bits, road, it->second);
      } else {
        std::printf("%-6d %-28s %12.3f %18.2f\n", bits, road, it->second, sdl->second / it->second);
      }
    }
  }
}

// The last sprite drawn is whole on top: its centre must show its own colour (128, 128, 191), not the
// background, in the presented frame (0x00RRGGBB pixels, `pitch` in pixels).
bool SpriteShown(const uint32_t* pixels, int pitch) {
  const bench::SpritePoint& last = Positions().back();
  const uint32_t v = pixels[static_cast<size_t>(last.y + 32) * pitch + last.x + 32] & 0xFFFFFF;
  const int r = static_cast<int>(v >> 16), g = static_cast<int>((v >> 8) & 0xFF), b = static_cast<int>(v & 0xFF);
  return std::abs(r - 128) <= 8 && std::abs(g - 128) <= 8 && std::abs(b - 191) <= 8;
}

// ---- SDL2's software renderer -----------------------------------------------------------------------

void SdlFrames(benchmark::State& state, int bits) {
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(
      0, kW, kH, bits, bits == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888);
  SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 32, SDL_PIXELFORMAT_XRGB8888);
  SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(target);
  std::vector<uint8_t> rgba = SpritePixels();
  SDL_Surface* sprite = SDL_CreateRGBSurfaceWithFormatFrom(rgba.data(), kSprite, kSprite, 32, kSprite * 4,
                                                           SDL_PIXELFORMAT_ABGR8888);
  SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, sprite);
  SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
  for (auto _ : state) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 64, 255);
    SDL_RenderClear(renderer);
    for (const bench::SpritePoint& p : Positions()) {
      const SDL_Rect dst{p.x, p.y, kSprite, kSprite};
      SDL_RenderCopy(renderer, texture, nullptr, &dst);
    }
    SDL_RenderPresent(renderer);
    SDL_BlitSurface(target, nullptr, frame, nullptr);  // the present: the picture into the window's frame
    benchmark::DoNotOptimize(frame->pixels);
  }
  if (!SpriteShown(static_cast<const uint32_t*>(frame->pixels), frame->pitch / 4))
    state.SkipWithError("the frame does not show the sprites");
  SDL_DestroyTexture(texture);
  SDL_FreeSurface(sprite);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(frame);
  SDL_FreeSurface(target);
}

// ---- The library ------------------------------------------------------------------------------------

enum class Road { DirectDraw, Software };

struct LibraryRun {
  bool started = false;
  Road road = Road::DirectDraw;
  int bits = 0;
  int sprite = -1;
};

LibraryRun gRun;
std::string gSpritePath;

void StopLibrary() {
  if (!gRun.started) return;
  EndLibraryLocked();
  gRun = LibraryRun{};
}

bool EnterRoad(Road road, int bits) {
  if (gRun.started && gRun.road == road && gRun.bits == bits) return true;
  StopLibrary();
  ChangeWindowMode(0);  // full screen: the display takes the screen's depth
  orbel::SetSoftwareRenderMode(road == Road::Software ? 1 : 0);
  if (orbel::SetScreenMode(kW, kH, bits, 0) < 0) return false;
  if (InitLibraryLocked() != 0) return false;
  gRun.started = true;
  gRun.road = road;
  gRun.bits = bits;
  orbel::SetFlipWaitsForVSync(0);
  gRun.sprite = LoadGraphFile(gSpritePath.c_str(), 1);
  return gRun.sprite != -1;
}

void LibraryFrames(benchmark::State& state, Road road, int bits) {
  if (!EnterRoad(road, bits)) {
    state.SkipWithError("the library did not start on this road");
    return;
  }
  orbel::SelectDrawScreen(orbel::kDrawScreenBack);
  for (auto _ : state) {
    orbel::SetBlendState(orbel::kBlendNone, 255);
    DrawRectangle(0, 0, kW, kH, orbel::MakeColor(0, 0, 64), 1);
    orbel::SetBlendState(orbel::kBlendAlpha, 255);
    for (const bench::SpritePoint& p : Positions()) DrawGraphAt(p.x, p.y, gRun.sprite, 1);
    orbel::FlipScreen();
  }
  const std::vector<plat::HWND> windows = plat::test::AllWindows();
  const plat::host::Frame frame = windows.empty() ? plat::host::Frame{} : plat::test::CaptureWindowFrame(windows.front());
  if (frame.width != kW || frame.height != kH || !SpriteShown(frame.pixels.data(), frame.width))
    state.SkipWithError("the presented frame does not show the sprites");
}

// ---- The DirectDraw stand-in's blits ------------------------------------------------------------------
// A 640 x 480 BltFast between system-memory surfaces, plain and with the source colour key (about one
// pixel in eight keyed), against a memcpy of the same bytes.

void StandInBlits(benchmark::State& state, int bits, bool keyed) {
  plat::IDirectDraw7* dd = nullptr;
  if (plat::CoCreateInstance(plat::CLSID_DirectDraw7, nullptr, plat::CLSCTX_ALL, plat::IID_IDirectDraw7,
                             reinterpret_cast<void**>(&dd)) != plat::S_OK ||
      dd->Initialize(nullptr) != plat::DD_OK) {
    state.SkipWithError("no DirectDraw object");
    return;
  }
  auto make = [&](plat::IDirectDrawSurface7** out) {
    plat::DDSURFACEDESC2 d{};
    d.dwSize = sizeof(d);
    d.dwFlags = plat::DDSD_CAPS | plat::DDSD_WIDTH | plat::DDSD_HEIGHT | plat::DDSD_PIXELFORMAT;
    d.ddsCaps.dwCaps = plat::DDSCAPS_OFFSCREENPLAIN | plat::DDSCAPS_SYSTEMMEMORY;
    d.dwWidth = kW;
    d.dwHeight = kH;
    d.ddpfPixelFormat.dwSize = sizeof(plat::DDPIXELFORMAT);
    d.ddpfPixelFormat.dwFlags = plat::DDPF_RGB;
    d.ddpfPixelFormat.dwRGBBitCount = static_cast<plat::DWORD>(bits);
    d.ddpfPixelFormat.dwRBitMask = bits == 16 ? 0xF800 : 0xFF0000;
    d.ddpfPixelFormat.dwGBitMask = bits == 16 ? 0x07E0 : 0xFF00;
    d.ddpfPixelFormat.dwBBitMask = bits == 16 ? 0x001F : 0xFF;
    return dd->CreateSurface(&d, out, nullptr) == plat::DD_OK;
  };
  plat::IDirectDrawSurface7 *src = nullptr, *dst = nullptr;
  if (!make(&src) || !make(&dst)) {
    state.SkipWithError("no surfaces");
  } else {
    plat::DDSURFACEDESC2 lock{};
    lock.dwSize = sizeof(lock);
    src->Lock(nullptr, &lock, plat::DDLOCK_WAIT, nullptr);
    std::mt19937 rng(3);
    const plat::DWORD key = bits == 16 ? 0xF81F : 0xFF00FF;
    for (int y = 0; y < kH; ++y) {
      auto* row = static_cast<uint8_t*>(lock.lpSurface) + static_cast<size_t>(y) * lock.lPitch;
      for (int x = 0; x < kW; ++x) {
        const uint32_t v = (rng() & 7) == 0 ? key : static_cast<uint32_t>(rng());
        std::memcpy(row + x * (bits / 8), &v, static_cast<size_t>(bits / 8));
      }
    }
    src->Unlock(nullptr);
    plat::DDCOLORKEY ck{key, key};
    src->SetColorKey(plat::DDCKEY_SRCBLT, &ck);
    const plat::DWORD flags = keyed ? plat::DDBLTFAST_SRCCOLORKEY : plat::DDBLTFAST_NOCOLORKEY;
    for (auto _ : state) dst->BltFast(0, 0, src, nullptr, flags);
    state.SetBytesProcessed(state.iterations() * int64_t{kW} * kH * (bits / 8));
  }
  if (src != nullptr) src->Release();
  if (dst != nullptr) dst->Release();
  dd->Release();
}

void FrameMemcpy(benchmark::State& state, int bits) {
  std::vector<uint8_t> a(static_cast<size_t>(kW) * kH * (bits / 8), 1), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(a.size()));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("ORBEL_HOST", "headless", 1);
  if (std::getenv("ORBEL_BENCH_VIRTUAL_CLOCK") != nullptr) plat::test::UseVirtualClock();
  gSpritePath = WriteSpritePng();
  for (int bits : {16, 32}) {
    benchmark::RegisterBenchmark(("SDL2SoftwareRenderer/" + std::to_string(bits)).c_str(),
                                 [bits](benchmark::State& s) { SdlFrames(s, bits); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("OrbelDirectDraw/" + std::to_string(bits)).c_str(),
                                 [bits](benchmark::State& s) { LibraryFrames(s, Road::DirectDraw, bits); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("OrbelSoftwareRendering/" + std::to_string(bits)).c_str(),
                                 [bits](benchmark::State& s) { LibraryFrames(s, Road::Software, bits); })
        ->Unit(benchmark::kMillisecond);
  }
  for (int bits : {16, 32}) {
    const std::string b = "/" + std::to_string(bits);
    benchmark::RegisterBenchmark(("StandInBltFastCopy" + b).c_str(), [bits](benchmark::State& s) { StandInBlits(s, bits, false); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("StandInBltFastKeyed" + b).c_str(), [bits](benchmark::State& s) { StandInBlits(s, bits, true); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("FrameMemcpy" + b).c_str(), [bits](benchmark::State& s) { FrameMemcpy(s, bits); })
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::Initialize(&argc, argv);
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  StopLibrary();
  PrintTable();
  benchmark::Shutdown();
  std::filesystem::remove(gSpritePath);
  return 0;
}

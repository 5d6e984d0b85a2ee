// Frame cost of the library's graphics on its three roads against the peers a user would pick, all in
// one run, at 16 and 32 bits on a 640 x 480 screen. Three frames, each cleared, drawn and presented:
//   sprites  2,000 alpha-blended 32 x 32 sprites (an opaque body, a soft edge, a clear surround);
//   quads    1,000 of the same sprites turned about their centres (DrawQuadGraph);
//   stretch  a 320 x 240 opaque picture enlarged twice with bilinear filtering (Direct3D road only:
//            the 2D roads have no filter).
// Roads: Direct3D (the default start; our Direct3D 7 stand-in rasterises), DirectDraw (Direct3D refused,
// as on a machine without it) and software rendering, each in a library start of its own (the library is
// ended and started again, and the start is checked to be on the road asked: software rendering must not
// carry over into the next start). The library runs full screen on the headless host with vertical sync
// off (ORBEL_BENCH_VIRTUAL_CLOCK=1 puts it on the virtual clock).
// Peers, drawing the same pixels into a target of the screen's depth, then copying it into a 32-bit
// frame as the present: SDL2's software renderer (SDL_CreateSoftwareRenderer, SDL_RenderCopy with
// blending from ARGB8888 textures, its fast path; SDL_RenderCopyEx for the quads; linear scaling for the
// stretch) and pixman (OVER of the premultiplied sprite; the quads through a transform, nearest-sampled
// as the library's point filter; the stretch bilinear).
// Prints CPU ms per frame and the same-run ratios (peer time / ours: above 1, ours is faster), with the
// goals. Also the DirectDraw stand-in's BltFast of a frame, plain and colour-keyed, beside a memcpy.
// Depends on Google Benchmark, SDL2 (surfaces and the software renderer only), libpng and, when found,
// pixman.
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <png.h>

#if defined(ORBEL_BENCH_PIXMAN)
#include <pixman.h>
#endif

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/sprite_scene.h"
#include "bench/standin_surfaces.h"
#include "include/orbel.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_state.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/clock_test_controls.h"
#include "platform/win/window_test_controls.h"

namespace {

constexpr int kW = 640;
constexpr int kH = 480;
constexpr int kSprite = 32;
constexpr int kSprites = 2000;
constexpr int kQuads = 1000;
constexpr int kPictureW = kW / 2;
constexpr int kPictureH = kH / 2;
constexpr double kPi = 3.14159265358979323846;

enum class Scene { Sprites, Quads, Stretch };
const char* SceneName(Scene s) { return s == Scene::Sprites ? "sprites" : s == Scene::Quads ? "quads" : "stretch"; }

const std::vector<bench::SpritePoint>& Positions() {
  static const std::vector<bench::SpritePoint> points = bench::SpritePositions(kSprites, kSprite, kW, kH, 7);
  return points;
}

// Opaque inside radius 12, a soft edge out to 15, clear outside.
const std::vector<uint32_t>& SpriteArgb() {
  static const std::vector<uint32_t> pixels = bench::SoftDiscPicture(kSprite, 12, 15);
  return pixels;
}

const std::vector<uint32_t>& PictureArgb() {
  static const std::vector<uint32_t> pixels = [] {
    std::vector<uint32_t> p(static_cast<size_t>(kPictureW) * kPictureH);
    for (int y = 0; y < kPictureH; ++y)
      for (int x = 0; x < kPictureW; ++x)
        p[static_cast<size_t>(y) * kPictureW + x] = bench::StretchPicturePixel(x, y, kPictureW, kPictureH);
    return p;
  }();
  return pixels;
}

// Writes 0xAARRGGBB pixels as a PNG (RGBA, or RGB when `alpha` is false) into the temporary folder.
std::string WritePng(const char* name, const std::vector<uint32_t>& argb, int width, int height, bool alpha) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / name;
  std::vector<uint8_t> bytes;
  for (uint32_t v : argb) {
    bytes.push_back(static_cast<uint8_t>(v >> 16));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v));
    if (alpha) bytes.push_back(static_cast<uint8_t>(v >> 24));
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&image, path.c_str(), 0, bytes.data(), 0, nullptr)) {
    std::fprintf(stderr, "graphics_bench: cannot write %s\n", path.c_str());
    std::exit(1);
  }
  return path.string();
}

// ---- Checks on the presented frame (0x00RRGGBB pixels, `pitch` in pixels) ----------------------------

bool Near(uint32_t v, int r, int g, int b, int tolerance) {
  return std::abs(static_cast<int>((v >> 16) & 0xFF) - r) <= tolerance &&
         std::abs(static_cast<int>((v >> 8) & 0xFF) - g) <= tolerance && std::abs(static_cast<int>(v & 0xFF) - b) <= tolerance;
}

// Whether the frame shows the scene: the last sprite's opaque centre on top, its clear corner blended
// away (not its own colour), the stretched picture's middle.
bool FrameShows(Scene scene, const uint32_t* pixels, int pitch) {
  auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y) * pitch + x]; };
  if (scene == Scene::Stretch) {
    const uint32_t v = at(kW / 2, kH / 2);
    return std::abs(static_cast<int>((v >> 16) & 0xFF) - 127) <= 8 && std::abs(static_cast<int>((v >> 8) & 0xFF) - 127) <= 8;
  }
  const bench::SpritePoint& last = Positions()[static_cast<size_t>(scene == Scene::Sprites ? kSprites : kQuads) - 1];
  if (!Near(at(last.x + kSprite / 2, last.y + kSprite / 2), 128, 128, 128, 10)) return false;
  return scene != Scene::Sprites || !Near(at(last.x, last.y), 0, 0, 128, 6);
}

// ---- Results and the table -----------------------------------------------------------------------

std::map<std::string, double> gMs;  // CPU ms per frame by benchmark name (the median of repetitions)

class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
        gMs[run.run_name.str()] = run.GetAdjustedCPUTime();  // in the unit set: ms
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

std::string Name(const char* who, Scene scene, int bits) {
  return std::string(who) + "/" + SceneName(scene) + "/" + std::to_string(bits);
}

double Ms(const char* who, Scene scene, int bits) {
  const auto it = gMs.find(Name(who, scene, bits));
  return it == gMs.end() ? -1 : it->second;
}

void PrintTable() {
  std::printf("\nCPU ms per frame (clear, draw, present) and same-run ratios (peer time / ours: above 1, ours is faster)\n");
  std::printf("%-8s %-5s %-22s %10s %14s %12s\n", "frame", "bits", "who", "ms/frame", "pixman/ours", "SDL2/ours");
  const char* roads[] = {"Direct3D", "DirectDraw", "Software", "pixman", "SDL2"};
  for (Scene scene : {Scene::Sprites, Scene::Quads, Scene::Stretch}) {
    for (int bits : {16, 32}) {
      const double pixman = Ms("pixman", scene, bits), sdl = Ms("SDL2", scene, bits);
      for (const char* road : roads) {
        const double ms = Ms(road, scene, bits);
        if (ms < 0) continue;
        std::printf("%-8s %-5d %-22s %10.3f", SceneName(scene), bits, road, ms);
        const bool ours = std::strcmp(road, "pixman") != 0 && std::strcmp(road, "SDL2") != 0;
        if (ours && pixman > 0) std::printf(" %14.2f", pixman / ms); else std::printf(" %14s", "");
        if (ours && sdl > 0) std::printf(" %12.2f", sdl / ms);
        std::printf("\n");
      }
    }
  }
  auto goal = [](const char* text, double value, double wanted) {
    if (value <= 0) {
      std::printf("  %-62s   (not measured)\n", text);
      return;
    }
    std::printf("  %-62s %6.2f  %s (goal %.2f)\n", text, value, value >= wanted ? "met" : "NOT met", wanted);
  };
  auto ratio = [](double a, double b) { return a > 0 && b > 0 ? a / b : -1.0; };
  std::printf("\nGoals, 2,000-sprite frame at 32 bits:\n");
  const double d3d = Ms("Direct3D", Scene::Sprites, 32), ddraw = Ms("DirectDraw", Scene::Sprites, 32),
               soft = Ms("Software", Scene::Sprites, 32), pixman = Ms("pixman", Scene::Sprites, 32),
               sdl = Ms("SDL2", Scene::Sprites, 32);
  goal("Direct3D road vs pixman (pixman time / ours)", ratio(pixman, d3d), 0.8);
  goal("Direct3D road vs SDL2's software renderer (SDL2 time / ours)", ratio(sdl, d3d), 2.0);
  goal("software rendering vs pixman (pixman time / ours)", ratio(pixman, soft), 1.2);
  goal("DirectDraw road vs software rendering (software time / DirectDraw)", ratio(soft, ddraw), 1 / 1.3);
}

// ---- SDL2's software renderer -----------------------------------------------------------------------

SDL_Texture* ArgbTexture(SDL_Renderer* renderer, const std::vector<uint32_t>& argb, int w, int h) {
  SDL_Texture* t = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, w, h);
  if (t != nullptr) SDL_UpdateTexture(t, nullptr, argb.data(), w * 4);
  return t;
}

void SdlFrames(benchmark::State& state, Scene scene, int bits) {
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(
      0, kW, kH, bits, bits == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888);
  SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 32, SDL_PIXELFORMAT_XRGB8888);
  SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(target);
  SDL_Texture* sprite = ArgbTexture(renderer, SpriteArgb(), kSprite, kSprite);
  SDL_Texture* picture = ArgbTexture(renderer, PictureArgb(), kPictureW, kPictureH);
  SDL_SetTextureBlendMode(sprite, SDL_BLENDMODE_BLEND);
  SDL_SetTextureBlendMode(picture, SDL_BLENDMODE_NONE);
  SDL_SetTextureScaleMode(picture, SDL_ScaleModeLinear);
  for (auto _ : state) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    if (scene == Scene::Sprites) {
      for (const bench::SpritePoint& p : Positions()) {
        const SDL_Rect dst{p.x, p.y, kSprite, kSprite};
        SDL_RenderCopy(renderer, sprite, nullptr, &dst);
      }
    } else if (scene == Scene::Quads) {
      for (int i = 0; i < kQuads; ++i) {
        const bench::SpritePoint& p = Positions()[static_cast<size_t>(i)];
        const SDL_Rect dst{p.x, p.y, kSprite, kSprite};
        SDL_RenderCopyEx(renderer, sprite, nullptr, &dst, bench::QuadAngle(i) * 180 / kPi, nullptr, SDL_FLIP_NONE);
      }
    } else {
      SDL_RenderCopy(renderer, picture, nullptr, nullptr);
    }
    SDL_RenderPresent(renderer);
    SDL_BlitSurface(target, nullptr, frame, nullptr);  // the present: the picture into the window's frame
    benchmark::DoNotOptimize(frame->pixels);
  }
  if (!FrameShows(scene, static_cast<const uint32_t*>(frame->pixels), frame->pitch / 4))
    state.SkipWithError("the frame does not show the scene");
  SDL_DestroyTexture(picture);
  SDL_DestroyTexture(sprite);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(frame);
  SDL_FreeSurface(target);
}

// ---- pixman -------------------------------------------------------------------------------------------

#if defined(ORBEL_BENCH_PIXMAN)
pixman_fixed_t Fixed(double v) { return static_cast<pixman_fixed_t>(std::lround(v * 65536.0)); }

void PixmanFrames(benchmark::State& state, Scene scene, int bits) {
  std::vector<uint32_t> sprite = bench::Premultiplied(SpriteArgb());
  std::vector<uint32_t> picture = PictureArgb();
  const pixman_format_code_t format = bits == 16 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8;
  std::vector<uint32_t> target(static_cast<size_t>(kW) * kH), frame(static_cast<size_t>(kW) * kH);
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSprite, kSprite, sprite.data(), kSprite * 4);
  pixman_image_t* pic = pixman_image_create_bits(PIXMAN_x8r8g8b8, kPictureW, kPictureH, picture.data(), kPictureW * 4);
  pixman_image_t* dst = pixman_image_create_bits(format, kW, kH, target.data(), kW * (bits / 8));
  pixman_image_t* out = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, frame.data(), kW * 4);
  // The turned quads: each destination pixel of the quad's bounding box samples the sprite through the
  // inverse turn, nearest texel, nothing outside the sprite.
  struct Quad {
    pixman_transform_t transform;
    int x, y, w, h;
  };
  std::vector<Quad> quads;
  for (int i = 0; i < kQuads; ++i) {
    float c[8];
    bench::TurnedCorners(Positions()[static_cast<size_t>(i)], kSprite, bench::QuadAngle(i), c);
    const int x0 = static_cast<int>(std::floor(std::min({c[0], c[2], c[4], c[6]})));
    const int y0 = static_cast<int>(std::floor(std::min({c[1], c[3], c[5], c[7]})));
    const int x1 = static_cast<int>(std::ceil(std::max({c[0], c[2], c[4], c[6]})));
    const int y1 = static_cast<int>(std::ceil(std::max({c[1], c[3], c[5], c[7]})));
    const double a = bench::QuadAngle(i), cs = std::cos(a), sn = std::sin(a);
    const double cx = Positions()[static_cast<size_t>(i)].x + kSprite / 2.0 - x0;  // the centre in box terms
    const double cy = Positions()[static_cast<size_t>(i)].y + kSprite / 2.0 - y0;
    Quad q{};
    q.x = x0;
    q.y = y0;
    q.w = x1 - x0;
    q.h = y1 - y0;
    // sprite = R(-a) (box - centre) + half
    pixman_transform_init_identity(&q.transform);
    q.transform.matrix[0][0] = Fixed(cs);
    q.transform.matrix[0][1] = Fixed(sn);
    q.transform.matrix[0][2] = Fixed(kSprite / 2.0 - cs * cx - sn * cy);
    q.transform.matrix[1][0] = Fixed(-sn);
    q.transform.matrix[1][1] = Fixed(cs);
    q.transform.matrix[1][2] = Fixed(kSprite / 2.0 + sn * cx - cs * cy);
    quads.push_back(q);
  }
  if (scene == Scene::Quads) {
    pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_NONE);
  }
  if (scene == Scene::Stretch) {
    pixman_transform_t half;
    pixman_transform_init_scale(&half, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
    pixman_image_set_transform(pic, &half);
    pixman_image_set_filter(pic, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    pixman_image_set_repeat(pic, PIXMAN_REPEAT_PAD);
  }
  const pixman_color_t black{0, 0, 0, 0xFFFF};
  const pixman_box32_t whole{0, 0, kW, kH};
  for (auto _ : state) {
    pixman_image_fill_boxes(PIXMAN_OP_SRC, dst, &black, 1, &whole);
    if (scene == Scene::Sprites) {
      for (const bench::SpritePoint& p : Positions())
        pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, p.x, p.y, kSprite, kSprite);
    } else if (scene == Scene::Quads) {
      for (const Quad& q : quads) {
        pixman_image_set_transform(src, &q.transform);
        pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, q.x, q.y, q.w, q.h);
      }
    } else {
      pixman_image_composite32(PIXMAN_OP_SRC, pic, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    }
    pixman_image_composite32(PIXMAN_OP_SRC, dst, nullptr, out, 0, 0, 0, 0, 0, 0, kW, kH);  // the present
    benchmark::DoNotOptimize(frame.data());
  }
  if (!FrameShows(scene, frame.data(), kW)) state.SkipWithError("the frame does not show the scene");
  pixman_image_unref(src);
  pixman_image_unref(pic);
  pixman_image_unref(dst);
  pixman_image_unref(out);
}
#endif

// ---- The library ------------------------------------------------------------------------------------

enum class Road { Direct3D, DirectDraw, Software };
const char* RoadName(Road r) { return r == Road::Direct3D ? "Direct3D" : r == Road::DirectDraw ? "DirectDraw" : "Software"; }

struct LibraryRun {
  bool started = false;
  bool onRoad = false;  // the start is on the road asked
  Road road = Road::Direct3D;
  int bits = 0;
  int sprite = -1;
  int picture = -1;
};

LibraryRun gRun;
std::string gSpritePath, gPicturePath;

void StopLibrary() {
  if (!gRun.started) return;
  EndLibraryLocked();
  plat::test::RefuseDirect3D(false);
  gRun = LibraryRun{};
}

// A clean start on `road`: the previous start is ended first. Only the DirectDraw road refuses
// Direct3D and only software rendering asks for it; nothing resets what a previous start left.
bool EnterRoad(Road road, int bits) {
  if (gRun.started && gRun.road == road && gRun.bits == bits) return gRun.onRoad;
  StopLibrary();
  ChangeWindowMode(0);  // full screen: the display takes the screen's depth
  if (road == Road::Software) orbel::SetSoftwareRenderMode(1);
  if (road == Road::DirectDraw) plat::test::RefuseDirect3D(true);
  if (orbel::SetScreenMode(kW, kH, bits, 0) < 0 || InitLibraryLocked() != 0) return false;
  gRun.started = true;
  gRun.road = road;
  gRun.bits = bits;
  const bool d3d = orbel::IsDirect3DAvailable() != 0, soft = orbel::gScreen.softwareRendering != 0;
  gRun.onRoad = (road == Road::Direct3D && d3d && !soft) || (road == Road::DirectDraw && !d3d && !soft) ||
                (road == Road::Software && soft);
  if (!gRun.onRoad) {
    std::fprintf(stderr, "graphics_bench: asked for the %s road, the start is on %s\n", RoadName(road),
                 soft ? "software rendering" : d3d ? "Direct3D" : "DirectDraw");
    return false;
  }
  orbel::SetFlipWaitsForVSync(0);
  gRun.sprite = LoadGraphFile(gSpritePath.c_str(), 0);
  gRun.picture = LoadGraphFile(gPicturePath.c_str(), 0);
  gRun.onRoad = gRun.sprite != -1 && gRun.picture != -1;
  return gRun.onRoad;
}

void LibraryFrames(benchmark::State& state, Road road, Scene scene, int bits) {
  if (!EnterRoad(road, bits)) {
    state.SkipWithError("the library did not start on this road");
    return;
  }
  orbel::SelectDrawScreen(orbel::kDrawScreenBack);
  orbel::SetBlendState(orbel::kBlendNone, 255);  // the sprite's own alpha blends it
  orbel::SetDrawFilterMode(scene == Scene::Stretch ? 1 : 0);
  std::vector<std::array<float, 8>> corners(kQuads);
  for (int i = 0; i < kQuads; ++i)
    bench::TurnedCorners(Positions()[static_cast<size_t>(i)], kSprite, bench::QuadAngle(i), corners[static_cast<size_t>(i)].data());
  auto drawFrame = [&] {
    ClearTargetScreen();
    if (scene == Scene::Sprites) {
      for (const bench::SpritePoint& p : Positions()) DrawGraphAt(p.x, p.y, gRun.sprite, 1);
    } else if (scene == Scene::Quads) {
      for (const std::array<float, 8>& c : corners)
        orbel::DrawQuadGraph(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], gRun.sprite, 1);
    } else {
      DrawStretchGraph(0, 0, kW, kH, gRun.picture, 0);
    }
    orbel::FlipScreen();
  };
  for (auto _ : state) drawFrame();
  if (road == Road::Direct3D) {
    // How the library batched one frame: the stand-in's draw calls, recorded for this frame only.
    plat::test::RecordD3DCalls(true);
    drawFrame();
    state.counters["draws"] = plat::test::D3DCallCount("DrawPrimitive") + plat::test::D3DCallCount("DrawIndexedPrimitive");
    plat::test::RecordD3DCalls(false);
    plat::test::ClearD3DCalls();
  }
  orbel::SetDrawFilterMode(0);
  const std::vector<plat::HWND> windows = plat::test::AllWindows();
  const plat::host::Frame frame = windows.empty() ? plat::host::Frame{} : plat::test::CaptureWindowFrame(windows.front());
  if (frame.width != kW || frame.height != kH || !FrameShows(scene, frame.pixels.data(), frame.width))
    state.SkipWithError("the presented frame does not show the scene");
}

// ---- The DirectDraw stand-in's blits ------------------------------------------------------------------
// A 640 x 480 BltFast between system-memory surfaces, plain and with the source colour key (about one
// pixel in eight keyed), against a memcpy of the same bytes.

void StandInBlits(benchmark::State& state, int bits, bool keyed) {
  plat::IDirectDraw7* dd = bench::OpenStandInDirectDraw();
  if (dd == nullptr) {
    state.SkipWithError("no DirectDraw object");
    return;
  }
  plat::IDirectDrawSurface7* src = bench::MakeSystemSurface(dd, kW, kH, bits);
  plat::IDirectDrawSurface7* dst = bench::MakeSystemSurface(dd, kW, kH, bits);
  if (src == nullptr || dst == nullptr) {
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
  // A start of our own: other programs of the library running on the machine must not count as a
  // second start of this one.
  char runtime[] = "/tmp/orbel-bench-XXXXXX";
  if (std::getenv("ORBEL_RUNTIME_DIR") == nullptr && mkdtemp(runtime) != nullptr) setenv("ORBEL_RUNTIME_DIR", runtime, 1);
  if (std::getenv("ORBEL_BENCH_VIRTUAL_CLOCK") != nullptr) plat::test::UseVirtualClock();
  gSpritePath = WritePng("orbel_bench_sprite.png", SpriteArgb(), kSprite, kSprite, true);
  gPicturePath = WritePng("orbel_bench_picture.png", PictureArgb(), kPictureW, kPictureH, false);
  const Scene scenes[] = {Scene::Sprites, Scene::Quads, Scene::Stretch};
  for (int bits : {16, 32}) {
    for (Scene scene : scenes) {
      benchmark::RegisterBenchmark(Name("SDL2", scene, bits).c_str(),
                                   [scene, bits](benchmark::State& s) { SdlFrames(s, scene, bits); })
          ->Unit(benchmark::kMillisecond);
#if defined(ORBEL_BENCH_PIXMAN)
      benchmark::RegisterBenchmark(Name("pixman", scene, bits).c_str(),
                                   [scene, bits](benchmark::State& s) { PixmanFrames(s, scene, bits); })
          ->Unit(benchmark::kMillisecond);
#endif
    }
    // Software rendering first: the Direct3D start after it shows that nothing carried over.
    for (Road road : {Road::Software, Road::Direct3D, Road::DirectDraw}) {
      for (Scene scene : scenes) {
        if (scene == Scene::Stretch && road != Road::Direct3D) continue;  // bilinear filtering is Direct3D's
        benchmark::RegisterBenchmark(Name(RoadName(road), scene, bits).c_str(),
                                     [road, scene, bits](benchmark::State& s) { LibraryFrames(s, road, scene, bits); })
            ->Unit(benchmark::kMillisecond);
      }
    }
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
  std::filesystem::remove(gPicturePath);
  std::error_code ignored;
  if (std::string(std::getenv("ORBEL_RUNTIME_DIR")) == runtime) std::filesystem::remove_all(runtime, ignored);
  return 0;
}

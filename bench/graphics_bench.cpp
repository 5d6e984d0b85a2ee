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
// off, on the virtual clock (the start's display-mode pauses, which every round would wait out, then cost
// nothing; frames are timed in CPU time, which the clock does not touch); ORBEL_BENCH_REAL_CLOCK=1 puts
// it on the real clock.
// Peers, drawing the same pixels into a target of the screen's depth, then copying it into a 32-bit
// frame as the present: SDL2's software renderer (SDL_CreateSoftwareRenderer, SDL_RenderCopy with
// blending from ARGB8888 textures, its fast path; SDL_RenderCopyEx for the quads; linear scaling for the
// stretch) and pixman (OVER of the premultiplied sprite; the quads through a transform, nearest-sampled
// as the library's point filter; the stretch bilinear).
// Roads and peers are interleaved: every round starts each road afresh and times a slice of frames of
// each scene on it, each followed or preceded by a slice of each peer, the order turning from round to
// round. A ratio is taken within a round (the peer's slice beside the road's), so that a loaded
// machine's swings fall on both alike; the table gives the medians over the rounds, and the goals.
//   graphics_bench [--rounds=N] [--slice-ms=MS] [--roads=Direct3D,DirectDraw,Software]
//                  [--scenes=sprites,quads,stretch] [--bits=16,32] [--blits=0] [--peers=0]
//                  [Google Benchmark flags]
// --peers=0 times the library's roads alone, for a profiler's sake.
// Also, through Google Benchmark, the DirectDraw stand-in's BltFast of a frame, plain and colour-keyed,
// beside a memcpy. Depends on Google Benchmark, SDL2 (surfaces and the software renderer only), libpng
// and, when found, pixman.
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <png.h>
#include <time.h>  // clock_gettime

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
#include <memory>
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
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/user/window_test_controls.h"

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

enum class Road { Direct3D, DirectDraw, Software };
const char* RoadName(Road r) { return r == Road::Direct3D ? "Direct3D" : r == Road::DirectDraw ? "DirectDraw" : "Software"; }

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

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
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

// ---- A contestant: something that draws whole frames of one scene ------------------------------------

class Contestant {
 public:
  virtual ~Contestant() = default;
  virtual void Frame() = 0;
  // Whether the last frame shows the scene.
  virtual bool Shows() = 0;
};

// ---- SDL2's software renderer -----------------------------------------------------------------------

SDL_Texture* ArgbTexture(SDL_Renderer* renderer, const std::vector<uint32_t>& argb, int w, int h) {
  SDL_Texture* t = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, w, h);
  if (t != nullptr) SDL_UpdateTexture(t, nullptr, argb.data(), w * 4);
  return t;
}

class SdlPeer final : public Contestant {
 public:
  SdlPeer(Scene scene, int bits) : scene_(scene) {
    target_ = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, bits, bits == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888);
    frame_ = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 32, SDL_PIXELFORMAT_XRGB8888);
    renderer_ = SDL_CreateSoftwareRenderer(target_);
    sprite_ = ArgbTexture(renderer_, SpriteArgb(), kSprite, kSprite);
    picture_ = ArgbTexture(renderer_, PictureArgb(), kPictureW, kPictureH);
    SDL_SetTextureBlendMode(sprite_, SDL_BLENDMODE_BLEND);
    SDL_SetTextureBlendMode(picture_, SDL_BLENDMODE_NONE);
    SDL_SetTextureScaleMode(picture_, SDL_ScaleModeLinear);
  }
  ~SdlPeer() override {
    SDL_DestroyTexture(picture_);
    SDL_DestroyTexture(sprite_);
    SDL_DestroyRenderer(renderer_);
    SDL_FreeSurface(frame_);
    SDL_FreeSurface(target_);
  }

  void Frame() override {
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    if (scene_ == Scene::Sprites) {
      for (const bench::SpritePoint& p : Positions()) {
        const SDL_Rect dst{p.x, p.y, kSprite, kSprite};
        SDL_RenderCopy(renderer_, sprite_, nullptr, &dst);
      }
    } else if (scene_ == Scene::Quads) {
      for (int i = 0; i < kQuads; ++i) {
        const bench::SpritePoint& p = Positions()[static_cast<size_t>(i)];
        const SDL_Rect dst{p.x, p.y, kSprite, kSprite};
        SDL_RenderCopyEx(renderer_, sprite_, nullptr, &dst, bench::QuadAngle(i) * 180 / kPi, nullptr, SDL_FLIP_NONE);
      }
    } else {
      SDL_RenderCopy(renderer_, picture_, nullptr, nullptr);
    }
    SDL_RenderPresent(renderer_);
    SDL_BlitSurface(target_, nullptr, frame_, nullptr);  // the present: the picture into the window's frame
    benchmark::DoNotOptimize(frame_->pixels);
  }

  bool Shows() override { return FrameShows(scene_, static_cast<const uint32_t*>(frame_->pixels), frame_->pitch / 4); }

 private:
  Scene scene_;
  SDL_Surface* target_ = nullptr;
  SDL_Surface* frame_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* sprite_ = nullptr;
  SDL_Texture* picture_ = nullptr;
};

// ---- pixman -------------------------------------------------------------------------------------------

#if defined(ORBEL_BENCH_PIXMAN)
pixman_fixed_t Fixed(double v) { return static_cast<pixman_fixed_t>(std::lround(v * 65536.0)); }

class PixmanPeer final : public Contestant {
 public:
  PixmanPeer(Scene scene, int bits)
      : scene_(scene),
        sprite_(bench::Premultiplied(SpriteArgb())),
        picture_(PictureArgb()),
        target_(static_cast<size_t>(kW) * kH),
        frame_(static_cast<size_t>(kW) * kH) {
    const pixman_format_code_t format = bits == 16 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8;
    src_ = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSprite, kSprite, sprite_.data(), kSprite * 4);
    pic_ = pixman_image_create_bits(PIXMAN_x8r8g8b8, kPictureW, kPictureH, picture_.data(), kPictureW * 4);
    dst_ = pixman_image_create_bits(format, kW, kH, target_.data(), kW * (bits / 8));
    out_ = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, frame_.data(), kW * 4);
    if (scene == Scene::Quads) {
      MakeQuads();
      pixman_image_set_filter(src_, PIXMAN_FILTER_NEAREST, nullptr, 0);
      pixman_image_set_repeat(src_, PIXMAN_REPEAT_NONE);
    }
    if (scene == Scene::Stretch) {
      pixman_transform_t half;
      pixman_transform_init_scale(&half, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
      pixman_image_set_transform(pic_, &half);
      pixman_image_set_filter(pic_, PIXMAN_FILTER_BILINEAR, nullptr, 0);
      pixman_image_set_repeat(pic_, PIXMAN_REPEAT_PAD);
    }
  }
  ~PixmanPeer() override {
    pixman_image_unref(src_);
    pixman_image_unref(pic_);
    pixman_image_unref(dst_);
    pixman_image_unref(out_);
  }

  void Frame() override {
    const pixman_color_t black{0, 0, 0, 0xFFFF};
    const pixman_box32_t whole{0, 0, kW, kH};
    pixman_image_fill_boxes(PIXMAN_OP_SRC, dst_, &black, 1, &whole);
    if (scene_ == Scene::Sprites) {
      for (const bench::SpritePoint& p : Positions())
        pixman_image_composite32(PIXMAN_OP_OVER, src_, nullptr, dst_, 0, 0, 0, 0, p.x, p.y, kSprite, kSprite);
    } else if (scene_ == Scene::Quads) {
      for (const Quad& q : quads_) {
        pixman_image_set_transform(src_, &q.transform);
        pixman_image_composite32(PIXMAN_OP_OVER, src_, nullptr, dst_, 0, 0, 0, 0, q.x, q.y, q.w, q.h);
      }
    } else {
      pixman_image_composite32(PIXMAN_OP_SRC, pic_, nullptr, dst_, 0, 0, 0, 0, 0, 0, kW, kH);
    }
    pixman_image_composite32(PIXMAN_OP_SRC, dst_, nullptr, out_, 0, 0, 0, 0, 0, 0, kW, kH);  // the present
    benchmark::DoNotOptimize(frame_.data());
  }

  bool Shows() override { return FrameShows(scene_, frame_.data(), kW); }

 private:
  // A turned quad: each destination pixel of its bounding box samples the sprite through the inverse
  // turn, nearest texel, nothing outside the sprite.
  struct Quad {
    pixman_transform_t transform;
    int x, y, w, h;
  };

  void MakeQuads() {
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
      quads_.push_back(q);
    }
  }

  Scene scene_;
  std::vector<uint32_t> sprite_, picture_, target_, frame_;
  pixman_image_t* src_ = nullptr;
  pixman_image_t* pic_ = nullptr;
  pixman_image_t* dst_ = nullptr;
  pixman_image_t* out_ = nullptr;
  std::vector<Quad> quads_;
};
#endif

// ---- The library ------------------------------------------------------------------------------------

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

// One scene drawn by the library on the road it was started on (EnterRoad comes first).
class LibraryScene final : public Contestant {
 public:
  explicit LibraryScene(Scene scene) : scene_(scene) {
    orbel::SelectDrawScreen(orbel::kDrawScreenBack);
    orbel::SetBlendState(orbel::kBlendNone, 255);  // the sprite's own alpha blends it
    orbel::SetDrawFilterMode(scene == Scene::Stretch ? 1 : 0);
  }
  ~LibraryScene() override { orbel::SetDrawFilterMode(0); }

  void Frame() override {
    ClearTargetScreen();
    if (scene_ == Scene::Sprites) {
      for (const bench::SpritePoint& p : Positions()) DrawGraphAt(p.x, p.y, gRun.sprite, 1);
    } else if (scene_ == Scene::Quads) {
      for (const std::array<float, 8>& c : Corners())
        orbel::DrawQuadGraph(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], gRun.sprite, 1);
    } else {
      DrawStretchGraph(0, 0, kW, kH, gRun.picture, 0);
    }
    orbel::FlipScreen();
  }

  bool Shows() override {
    const std::vector<plat::HWND> windows = plat::test::AllWindows();
    const plat::host::Frame frame = windows.empty() ? plat::host::Frame{} : plat::test::CaptureWindowFrame(windows.front());
    return frame.width == kW && frame.height == kH && FrameShows(scene_, frame.pixels.data(), frame.width);
  }

  // The stand-in's draw calls of one frame: how the library batched it.
  int DrawCalls() {
    plat::test::RecordD3DCalls(true);
    Frame();
    const int draws = plat::test::D3DCallCount("DrawPrimitive") + plat::test::D3DCallCount("DrawIndexedPrimitive");
    plat::test::RecordD3DCalls(false);
    plat::test::ClearD3DCalls();
    return draws;
  }

 private:
  static const std::vector<std::array<float, 8>>& Corners() {
    static const std::vector<std::array<float, 8>> corners = [] {
      std::vector<std::array<float, 8>> c(kQuads);
      for (int i = 0; i < kQuads; ++i)
        bench::TurnedCorners(Positions()[static_cast<size_t>(i)], kSprite, bench::QuadAngle(i), c[static_cast<size_t>(i)].data());
      return c;
    }();
    return corners;
  }

  Scene scene_;
};

// ---- Interleaved rounds -------------------------------------------------------------------------------

struct Options {
  int rounds = 9;
  double sliceMs = 40;  // CPU time a slice runs for, at least two frames
  std::vector<Road> roads{Road::Direct3D, Road::DirectDraw, Road::Software};
  std::vector<Scene> scenes{Scene::Sprites, Scene::Quads, Scene::Stretch};
  std::vector<int> bits{16, 32};
  bool blits = true;
  bool peers = true;  // false: the library's roads alone (to profile them)
};

std::string Key(const char* who, Scene scene, int bits) {
  return std::string(who) + "/" + SceneName(scene) + "/" + std::to_string(bits);
}

std::map<std::string, std::vector<double>> gSliceMs;  // ms per frame of each slice, by Key
std::map<std::string, std::vector<double>> gRatios;   // "peer:Key(road)" or "soft/ddraw:..." per round
std::map<std::string, int> gDrawCalls;                // Direct3D draw calls of a frame, by Key
bool gAllShown = true;

// A slice: one untimed frame, then frames until `sliceMs` of CPU time have passed; ms per frame.
double TimeSlice(Contestant* c, double sliceMs, const std::string& key) {
  c->Frame();
  int frames = 0;
  const double start = ThreadCpuMs();
  double now = start;
  while (frames < 2 || now - start < sliceMs) {
    c->Frame();
    ++frames;
    now = ThreadCpuMs();
  }
  if (!c->Shows()) {
    std::fprintf(stderr, "graphics_bench: the frame of %s does not show the scene\n", key.c_str());
    gAllShown = false;
  }
  const double ms = (now - start) / frames;
  gSliceMs[key].push_back(ms);
  return ms;
}

bool RoadDraws(Road road, Scene scene) { return scene != Scene::Stretch || road == Road::Direct3D; }

// The peers of every scene and depth asked, made once and kept across rounds.
struct Peers {
  std::unique_ptr<Contestant> sdl;
  std::unique_ptr<Contestant> pixman;  // null without pixman
};

void RunRounds(const Options& o) {
  std::map<std::string, Peers> peers;
  for (int bits : o.bits) {
    for (Scene scene : o.scenes) {
      Peers& p = peers[Key("", scene, bits)];
      if (!o.peers) continue;
      p.sdl = std::make_unique<SdlPeer>(scene, bits);
#if defined(ORBEL_BENCH_PIXMAN)
      p.pixman = std::make_unique<PixmanPeer>(scene, bits);
#endif
    }
  }
  for (int round = 0; round < o.rounds; ++round) {
    for (int bits : o.bits) {
      std::map<std::string, double> thisRound;  // ms per frame of each road's slice in this round
      for (size_t k = 0; k < o.roads.size(); ++k) {
        const Road road = o.roads[(k + static_cast<size_t>(round)) % o.roads.size()];  // roads take turns first
        if (!EnterRoad(road, bits)) {
          std::fprintf(stderr, "graphics_bench: the library did not start on the %s road at %d bits\n", RoadName(road), bits);
          gAllShown = false;
          continue;
        }
        for (Scene scene : o.scenes) {
          if (!RoadDraws(road, scene)) continue;
          LibraryScene ours(scene);
          const std::string key = Key(RoadName(road), scene, bits);
          if (round == 0 && road == Road::Direct3D) gDrawCalls[key] = ours.DrawCalls();
          Peers& p = peers[Key("", scene, bits)];
          struct Entry {
            const char* who;
            Contestant* c;
          };
          std::vector<Entry> order{{RoadName(road), &ours}};
          if (p.sdl != nullptr) order.push_back(Entry{"SDL2", p.sdl.get()});
          if (p.pixman != nullptr) order.insert(order.begin() + 1, Entry{"pixman", p.pixman.get()});
          if (round % 2 == 1) std::reverse(order.begin(), order.end());  // ours first, then last
          std::map<std::string, double> ms;
          for (const Entry& e : order) ms[e.who] = TimeSlice(e.c, o.sliceMs, Key(e.who, scene, bits));
          for (const char* peer : {"pixman", "SDL2"}) {
            if (ms.count(peer) != 0) gRatios[std::string(peer) + ":" + key].push_back(ms[peer] / ms[RoadName(road)]);
          }
          thisRound[key] = ms[RoadName(road)];
        }
      }
      for (Scene scene : o.scenes) {
        const std::string soft = Key("Software", scene, bits), ddraw = Key("DirectDraw", scene, bits);
        if (thisRound.count(soft) != 0 && thisRound.count(ddraw) != 0)
          gRatios["Software:" + ddraw].push_back(thisRound[soft] / thisRound[ddraw]);
      }
    }
  }
  StopLibrary();
}

// ---- The table ------------------------------------------------------------------------------------

double Quantile(std::vector<double> v, double q) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
}

double Median(const std::string& key, const std::map<std::string, std::vector<double>>& from) {
  const auto it = from.find(key);
  return it == from.end() ? -1 : Quantile(it->second, 0.5);
}

// "1.23 (1.10-1.31)": the median ratio and the middle half of the rounds, or blanks.
std::string RatioText(const std::string& key) {
  const auto it = gRatios.find(key);
  if (it == gRatios.end()) return "";
  char text[64];
  std::snprintf(text, sizeof(text), "%.2f (%.2f-%.2f)", Quantile(it->second, 0.5), Quantile(it->second, 0.25),
                Quantile(it->second, 0.75));
  return text;
}

void PrintTable(const Options& o) {
  std::printf("\nCPU ms per frame (clear, draw, present), median of %d interleaved rounds of %.0f ms slices; ratios\n"
              "peer time / ours within each round (above 1, ours is faster): median (middle half of the rounds)\n",
              o.rounds, o.sliceMs);
  std::printf("%-8s %-5s %-11s %9s %20s %20s %6s\n", "frame", "bits", "who", "ms/frame", "pixman/ours", "SDL2/ours", "draws");
  for (Scene scene : o.scenes) {
    for (int bits : o.bits) {
      for (const char* who : {"Direct3D", "DirectDraw", "Software", "pixman", "SDL2"}) {
        const std::string key = Key(who, scene, bits);
        const double ms = Median(key, gSliceMs);
        if (ms < 0) continue;
        std::printf("%-8s %-5d %-11s %9.3f %20s %20s", SceneName(scene), bits, who, ms, RatioText("pixman:" + key).c_str(),
                    RatioText("SDL2:" + key).c_str());
        if (gDrawCalls.count(key) != 0) std::printf(" %6d", gDrawCalls[key]);
        std::printf("\n");
      }
    }
  }
  auto goal = [](const char* text, const std::string& key, double wanted) {
    const double value = Median(key, gRatios);
    if (value < 0) {
      std::printf("  %-72s   (not measured)\n", text);
      return;
    }
    std::printf("  %-72s %5.2f  %-7s (goal %.2f)\n", text, value, value >= wanted ? "met" : "NOT met", wanted);
  };
  std::printf("\nGoals (median ratios of the rounds):\n");
  for (int bits : {16, 32}) {
    const std::string b = std::to_string(bits);
    goal(("bilinear 2x stretch, " + b + "-bit, Direct3D: pixman time / ours").c_str(), "pixman:" + Key("Direct3D", Scene::Stretch, bits), 1.0);
    goal(("bilinear 2x stretch, " + b + "-bit, Direct3D: SDL2 time / ours").c_str(), "SDL2:" + Key("Direct3D", Scene::Stretch, bits), 1.0);
  }
  goal("2,000 sprites, 32-bit, Direct3D: pixman time / ours", "pixman:" + Key("Direct3D", Scene::Sprites, 32), 1.2);
  goal("2,000 sprites, 32-bit, software rendering: pixman time / ours", "pixman:" + Key("Software", Scene::Sprites, 32), 1.2);
  goal("2,000 sprites, 32-bit, DirectDraw: software time / ours (within 1.3x)",
       "Software:" + Key("DirectDraw", Scene::Sprites, 32), 1 / 1.3);
  goal("1,000 turned quads, 32-bit, Direct3D: pixman time / ours", "pixman:" + Key("Direct3D", Scene::Quads, 32), 1.2);
  if (!gAllShown) std::printf("\nSOME FRAMES DID NOT SHOW THEIR SCENE (see above): their figures mean nothing.\n");
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

void RegisterBlits() {
  for (int bits : {16, 32}) {
    const std::string b = "/" + std::to_string(bits);
    benchmark::RegisterBenchmark(("StandInBltFastCopy" + b).c_str(), [bits](benchmark::State& s) { StandInBlits(s, bits, false); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("StandInBltFastKeyed" + b).c_str(), [bits](benchmark::State& s) { StandInBlits(s, bits, true); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("FrameMemcpy" + b).c_str(), [bits](benchmark::State& s) { FrameMemcpy(s, bits); })
        ->Unit(benchmark::kMicrosecond);
  }
}

// ---- Options --------------------------------------------------------------------------------------

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    if (comma > at) out.push_back(text.substr(at, comma - at));
    at = comma + 1;
  }
  return out;
}

[[noreturn]] void BadOption(const std::string& arg) {
  std::fprintf(stderr, "graphics_bench: bad option %s\n", arg.c_str());
  std::exit(2);
}

// Takes this bench's own options out of argv (Google Benchmark's stay for it).
Options ParseOptions(int* argc, char** argv) {
  Options o;
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const std::string arg = argv[i];
    const size_t eq = arg.find('=');
    const std::string name = arg.substr(0, eq), value = eq == std::string::npos ? "" : arg.substr(eq + 1);
    if (name == "--rounds") {
      o.rounds = std::atoi(value.c_str());
      if (o.rounds < 1) BadOption(arg);
    } else if (name == "--slice-ms") {
      o.sliceMs = std::atof(value.c_str());
      if (!(o.sliceMs > 0)) BadOption(arg);
    } else if (name == "--roads") {
      o.roads.clear();
      for (const std::string& r : SplitList(value)) {
        bool known = false;
        for (Road road : {Road::Direct3D, Road::DirectDraw, Road::Software}) {
          if (r == RoadName(road)) o.roads.push_back(road), known = true;
        }
        if (!known) BadOption(arg);
      }
    } else if (name == "--scenes") {
      o.scenes.clear();
      for (const std::string& s : SplitList(value)) {
        bool known = false;
        for (Scene scene : {Scene::Sprites, Scene::Quads, Scene::Stretch}) {
          if (s == SceneName(scene)) o.scenes.push_back(scene), known = true;
        }
        if (!known) BadOption(arg);
      }
    } else if (name == "--bits") {
      o.bits.clear();
      for (const std::string& b : SplitList(value)) {
        if (b != "16" && b != "32") BadOption(arg);
        o.bits.push_back(std::atoi(b.c_str()));
      }
    } else if (name == "--blits") {
      o.blits = value != "0";
    } else if (name == "--peers") {
      o.peers = value != "0";
    } else {
      argv[kept++] = argv[i];
      continue;
    }
  }
  *argc = kept;
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(&argc, argv);
  setenv("ORBEL_HOST", "headless", 1);
  // A start of our own: other programs of the library running on the machine must not count as a
  // second start of this one.
  char runtime[] = "/tmp/orbel-bench-XXXXXX";
  if (std::getenv("ORBEL_RUNTIME_DIR") == nullptr && mkdtemp(runtime) != nullptr) setenv("ORBEL_RUNTIME_DIR", runtime, 1);
  if (std::getenv("ORBEL_BENCH_REAL_CLOCK") == nullptr) plat::test::UseVirtualClock();
  gSpritePath = WritePng("orbel_bench_sprite.png", SpriteArgb(), kSprite, kSprite, true);
  gPicturePath = WritePng("orbel_bench_picture.png", PictureArgb(), kPictureW, kPictureH, false);
  benchmark::Initialize(&argc, argv);
  RunRounds(options);
  PrintTable(options);
  if (options.blits) {
    std::printf("\n");
    RegisterBlits();
    benchmark::RunSpecifiedBenchmarks();
  }
  benchmark::Shutdown();
  std::filesystem::remove(gSpritePath);
  std::filesystem::remove(gPicturePath);
  std::error_code ignored;
  if (std::string(std::getenv("ORBEL_RUNTIME_DIR")) == runtime) std::filesystem::remove_all(runtime, ignored);
  return gAllShown ? 0 : 1;
}

// The DirectDraw road (2D surfaces, Direct3D refused) against software rendering on the same sprite
// frame: a 640 x 480 screen at 16 or 32 bits cleared, 2,000 or 200 soft-edged 64 x 64 alpha sprites
// drawn with the alpha blend, and (for "frame") the frame presented. Each road runs in a library start
// of its own on the headless host, full screen, vertical sync off; the roads take turns, start by
// start, for several rounds, and the table gives the median CPU ms a frame (the drawing thread's) and the median of the per-round
// ratios. Before timing, one frame of each road is compared pixel for pixel (colour bits only).
// Arguments: rounds, then optionally one depth, one sprite count and the frames a timing.
// Depends on libpng and the stand-ins' test controls.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "bench/sprite_scene.h"
#include "include/orbel.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/softrender/mem_img.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/ddraw/test_controls.h"

namespace {

constexpr int kW = 640;
constexpr int kH = 480;
constexpr int kSprite = 64;

std::string gSpritePath;

std::string WriteSpritePng() {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "orbel_ddraw_road_sprite.png";
  std::vector<uint8_t> rgba(kSprite * kSprite * 4);
  for (int y = 0; y < kSprite; ++y) {
    for (int x = 0; x < kSprite; ++x) {
      const uint32_t v = bench::SoftDiscPixel(x, y, kSprite, 26, 30);
      uint8_t* p = &rgba[(y * kSprite + x) * 4];
      p[0] = static_cast<uint8_t>(v >> 16);
      p[1] = static_cast<uint8_t>(v >> 8);
      p[2] = static_cast<uint8_t>(v);
      p[3] = static_cast<uint8_t>(v >> 24);
    }
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kSprite;
  image.height = kSprite;
  image.format = PNG_FORMAT_RGBA;
  if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) {
    std::fprintf(stderr, "ddraw_road_bench: cannot write %s\n", path.c_str());
    std::exit(1);
  }
  return path.string();
}

enum class Road { DirectDraw, Software };
const char* RoadName(Road road) { return road == Road::DirectDraw ? "DirectDraw road" : "software rendering"; }

// Starts the library on the road; the sprite graph, or -1.
int StartRoad(Road road, int bits) {
  ChangeWindowMode(0);
  orbel::SetSoftwareRenderMode(road == Road::Software ? 1 : 0);
  plat::test::RefuseDirect3D(true);
  if (orbel::SetScreenMode(kW, kH, bits, 0) < 0 || InitLibraryLocked() != 0) {
    std::fprintf(stderr, "ddraw_road_bench: the %s did not start at %d bits (see Log-failed.txt)\n", RoadName(road), bits);
    std::filesystem::copy_file("Log.txt", "Log-failed.txt", std::filesystem::copy_options::overwrite_existing);
    return -1;
  }
  orbel::SetFlipWaitsForVSync(0);
  orbel::SelectDrawScreen(orbel::kDrawScreenBack);
  const int sprite = LoadGraphFile(gSpritePath.c_str(), 1);
  // The road really taken: surfaces or memory images, and no Direct3D texture.
  const bool memImg = orbel::IsMemImgScreen() != 0;
  if (sprite == -1 || memImg != (road == Road::Software) || orbel::GetGraphRecord(sprite)->format.texture) {
    std::fprintf(stderr, "ddraw_road_bench: the library did not start on the %s at %d bits (see Log-failed.txt)\n",
                 RoadName(road), bits);
    EndLibraryLocked();
    std::filesystem::copy_file("Log.txt", "Log-failed.txt", std::filesystem::copy_options::overwrite_existing);
    return -1;
  }
  return sprite;
}

void DrawFrame(int sprite, const std::vector<bench::SpritePoint>& points, bool present) {
  orbel::SetBlendState(orbel::kBlendNone, 255);
  DrawRectangle(0, 0, kW, kH, orbel::MakeColor(0, 0, 64), 1);
  orbel::SetBlendState(orbel::kBlendAlpha, 255);
  for (const bench::SpritePoint& p : points) DrawGraphAt(p.x, p.y, sprite, 1);
  if (present) orbel::FlipScreen();
}

// The back screen's colour bits, row by row (the unused bits of a 32-bit pixel masked off).
std::vector<uint32_t> BackScreen(int bits) {
  std::vector<uint32_t> out;
  const uint32_t mask = bits == 16 ? 0xFFFF : 0xFFFFFF;
  if (orbel::IsMemImgScreen()) {
    const orbel::MemImg* img = orbel::GetBackScreenMemImg();
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        uint32_t v = 0;
        std::memcpy(&v, img->pixels + orbel::MemImgOffset(img, x, y), static_cast<size_t>(bits / 8));
        out.push_back(v & mask);
      }
    }
  } else {
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) out.push_back(plat::test::ReadSurfacePixelRaw(orbel::gScreen.targetSurface, x, y) & mask);
    }
  }
  return out;
}

double NowMs() {
  timespec t{};
  // The thread's own CPU time: on a loaded machine, time spent waiting for a core is not the road's.
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// CPU ms a frame over `frames` frames after a warm-up, in a start of its own; -1 when the road did not start.
double TimeRoad(Road road, int bits, const std::vector<bench::SpritePoint>& points, bool present, int frames) {
  const int sprite = StartRoad(road, bits);
  if (sprite == -1) return -1;
  for (int i = 0; i < 5; ++i) DrawFrame(sprite, points, present);
  const double start = NowMs();
  for (int i = 0; i < frames; ++i) DrawFrame(sprite, points, present);
  const double ms = NowMs() - start;
  EndLibraryLocked();
  return ms / frames;
}

bool SameFrame(int bits, const std::vector<bench::SpritePoint>& points) {
  std::vector<uint32_t> screens[2];
  for (const Road road : {Road::DirectDraw, Road::Software}) {
    const int sprite = StartRoad(road, bits);
    if (sprite == -1) return false;
    DrawFrame(sprite, points, false);
    screens[road == Road::Software] = BackScreen(bits);
    EndLibraryLocked();
  }
  for (size_t i = 0; i < screens[0].size(); ++i) {
    if (screens[0][i] != screens[1][i]) {
      std::fprintf(stderr, "ddraw_road_bench: %d bits: the roads differ at (%zu, %zu): %06x / %06x\n", bits,
                   i % kW, i / kW, screens[0][i], screens[1][i]);
      return false;
    }
  }
  return true;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("ORBEL_HOST", "headless", 1);
  // A runtime directory of its own: the double-start check must not meet another bench running beside.
  const std::filesystem::path runtime = std::filesystem::temp_directory_path() / ("orbel_ddraw_road_" + std::to_string(getpid()));
  std::filesystem::create_directories(runtime);
  setenv("ORBEL_RUNTIME_DIR", runtime.c_str(), 1);
  // Arguments: rounds (7), then optionally one depth and one sprite count to run alone.
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const int onlyBits = argc > 2 ? std::atoi(argv[2]) : 0;
  const int onlyCount = argc > 3 ? std::atoi(argv[3]) : 0;
  const int framesAsked = argc > 4 ? std::atoi(argv[4]) : 0;
  gSpritePath = WriteSpritePng();
  int status = 0;
  std::printf("%-5s %-8s %-7s %16s %16s %14s\n", "bits", "sprites", "kind", "DirectDraw ms", "software ms",
              "DD / software");
  for (const int bits : {32, 16}) {
    for (const int count : {2000, 200}) {
      if ((onlyBits != 0 && bits != onlyBits) || (onlyCount != 0 && count != onlyCount)) continue;
      const std::vector<bench::SpritePoint> points = bench::SpritePositions(count, kSprite, kW, kH, 17);
      if (!SameFrame(bits, points)) {
        status = 1;
        continue;
      }
      for (const bool present : {false, true}) {
        const int frames = framesAsked > 0 ? framesAsked : count == 2000 ? 40 : 300;
        std::vector<double> dd, sw, ratio;
        for (int r = 0; r < rounds; ++r) {
          // The roads take turns, the order turning every round.
          const bool ddFirst = (r & 1) == 0;
          const double first = TimeRoad(ddFirst ? Road::DirectDraw : Road::Software, bits, points, present, frames);
          const double second = TimeRoad(ddFirst ? Road::Software : Road::DirectDraw, bits, points, present, frames);
          const double d = ddFirst ? first : second;
          const double s = ddFirst ? second : first;
          if (d <= 0 || s <= 0) {
            status = 1;
            break;
          }
          dd.push_back(d);
          sw.push_back(s);
          ratio.push_back(d / s);
        }
        std::printf("%-5d %-8d %-7s %16.3f %16.3f %14.2f\n", bits, count, present ? "frame" : "draw", Median(dd),
                    Median(sw), Median(ratio));
        std::fflush(stdout);
      }
    }
  }
  std::filesystem::remove(gSpritePath);
  std::filesystem::remove_all(runtime);
  return status;
}

// The cost of ending a frame and of clearing one, beside the memory operations they should cost: a
// 640 x 480 present at 16 and 32 bits (FlipScreen in a window on the DirectDraw road and in software
// rendering, and the DirectDraw road's page flip in full screen) beside a memcpy of the frame, and a
// clear of the back screen (ClearTargetScreen, black and a grey that is no byte fill) beside a memset
// of the frame; screen clears also fill the depth buffer, so the colour fill alone is measured too
// (SurfaceFillGrey). The library runs on the headless host with vertical sync off, each road in its own
// start; every present is checked to show the drawn picture in the window's frame. Prints the median
// microseconds and the ratios. ORBEL_BENCH_VIRTUAL_CLOCK=1 puts the library on the virtual clock.
// Depends on Google Benchmark.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/standin_surfaces.h"
#include "include/orbel.h"
#include "orbel/core/library_state.h"
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

enum class Road { DirectDraw, Software };

struct Start {
  bool started = false;
  Road road = Road::DirectDraw;
  int bits = 0;
  bool window = true;
};

Start gStart;

void StopLibrary() {
  if (!gStart.started) return;
  EndLibraryLocked();
  gStart = Start{};
}

bool EnterRoad(Road road, int bits, bool window) {
  if (gStart.started && gStart.road == road && gStart.bits == bits && gStart.window == window) return true;
  StopLibrary();
  // A window shows DirectDraw surfaces at the desktop's own depth.
  plat::test::SetDesktopDepth(bits);
  plat::test::RefuseDirect3D(true);
  orbel::gSettings.doubleStartAllowed = 1;
  ChangeWindowMode(window ? 1 : 0);
  orbel::SetSoftwareRenderMode(road == Road::Software ? 1 : 0);
  if (orbel::SetScreenMode(kW, kH, bits, 0) < 0) return false;
  if (InitLibraryLocked() != 0) return false;
  gStart = Start{true, road, bits, window};
  orbel::SetFlipWaitsForVSync(0);
  orbel::SelectDrawScreen(orbel::kDrawScreenBack);
  return true;
}

// The window's frame shows the rectangle drawn before the presents.
bool FrameShowsMark() {
  const std::vector<plat::HWND> windows = plat::test::AllWindows();
  if (windows.empty()) return false;
  const plat::host::Frame frame = plat::test::CaptureWindowFrame(windows.front());
  if (frame.width < 200 || frame.height < 200) return false;
  return (frame.pixels[static_cast<size_t>(150) * frame.width + 150] & 0xFFFFFF) == 0xFFFF00 &&
         (frame.pixels[static_cast<size_t>(20) * frame.width + 20] & 0xFFFFFF) == 0;
}

void Presents(benchmark::State& state, Road road, int bits, bool window) {
  if (!EnterRoad(road, bits, window)) {
    state.SkipWithError("the library did not start on this road");
    return;
  }
  orbel::gSettings.backgroundColorSet = 0;
  ClearTargetScreen();
  orbel::SetBlendState(orbel::kBlendNone, 255);
  DrawRectangle(100, 100, 300, 300, orbel::MakeColor(0xFF, 0xFF, 0), 1);
  for (auto _ : state) orbel::FlipScreen();
  if (!FrameShowsMark()) state.SkipWithError("the window's frame does not show the picture");
  state.SetBytesProcessed(state.iterations() * int64_t{kW} * kH * (bits / 8));
}

void Clears(benchmark::State& state, Road road, int bits, bool grey) {
  if (!EnterRoad(road, bits, true)) {
    state.SkipWithError("the library did not start on this road");
    return;
  }
  orbel::gSettings.backgroundColorSet = grey ? 1 : 0;
  orbel::gSettings.backgroundRed = 0x40;
  orbel::gSettings.backgroundGreen = 0x80;
  orbel::gSettings.backgroundBlue = 0xC0;
  for (auto _ : state) ClearTargetScreen();
  orbel::gSettings.backgroundColorSet = 0;
  state.SetBytesProcessed(state.iterations() * int64_t{kW} * kH * (bits / 8));
}

// The fill kernel alone: a colour fill of a 640 x 480 system-memory surface, without the depth
// buffer a screen clear also fills.
void SurfaceFills(benchmark::State& state, int bits, uint32_t colour) {
  plat::IDirectDraw7* dd = bench::OpenStandInDirectDraw();
  if (dd == nullptr) {
    state.SkipWithError("no DirectDraw object");
    return;
  }
  plat::IDirectDrawSurface7* surface = bench::MakeSystemSurface(dd, kW, kH, bits);
  if (surface == nullptr) {
    state.SkipWithError("no surface");
  } else {
    plat::DDBLTFX fx{};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = colour;
    for (auto _ : state) surface->Blt(nullptr, nullptr, nullptr, plat::DDBLT_COLORFILL | plat::DDBLT_WAIT, &fx);
    state.SetBytesProcessed(state.iterations() * int64_t{kW} * kH * (bits / 8));
    surface->Release();
  }
  dd->Release();
}

void FrameMemcpy(benchmark::State& state, int bits) {
  std::vector<uint8_t> a(static_cast<size_t>(kW) * kH * (bits / 8), 1), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(a.size()));
}

void FrameMemset(benchmark::State& state, int bits) {
  std::vector<uint8_t> a(static_cast<size_t>(kW) * kH * (bits / 8), 1);
  for (auto _ : state) {
    std::memset(a.data(), 0, a.size());
    benchmark::DoNotOptimize(a.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(a.size()));
}

// Microseconds per operation by benchmark name: single runs, or the median of repetitions.
std::map<std::string, double> gMicros;

class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) {
        gMicros[run.run_name.str()] = -1;
        continue;
      }
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
        gMicros[run.run_name.str()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

void PrintRow(const std::string& name, const std::string& base) {
  const auto it = gMicros.find(name);
  const auto b = gMicros.find(base);
  if (it == gMicros.end()) return;
  if (base.empty()) {
    std::printf("%-36s %10.1f\n", name.c_str(), it->second);
    return;
  }
  if (it->second < 0) {
    std::printf("%-36s %10s\n", name.c_str(), "failed");
  } else if (b == gMicros.end() || b->second <= 0) {
    std::printf("%-36s %10.1f\n", name.c_str(), it->second);
  } else {
    std::printf("%-36s %10.1f %10.2f x %s\n", name.c_str(), it->second, it->second / b->second, base.c_str());
  }
}

void PrintTable() {
  std::printf("\n%-36s %10s %12s\n", "operation", "us", "ratio");
  for (int bits : {16, 32}) {
    const std::string b = "/" + std::to_string(bits);
    PrintRow("FrameMemcpy" + b, "");
    for (const char* name : {"PresentWindowDirectDraw", "PresentWindowSoftware", "PresentFullScreenDirectDraw"}) {
      PrintRow(name + b, "FrameMemcpy" + b);
      if (bits != 32) PrintRow(name + b, "FrameMemcpy/32");  // the window's 32-bit picture
    }
    PrintRow("FrameMemset" + b, "");
    for (const char* name : {"SurfaceFillGrey", "ClearDirectDrawBlack", "ClearDirectDrawGrey", "ClearSoftwareBlack",
                             "ClearSoftwareGrey"})
      PrintRow(name + b, "FrameMemset" + b);
  }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("ORBEL_HOST", "headless", 1);
  if (std::getenv("ORBEL_BENCH_VIRTUAL_CLOCK") != nullptr) plat::test::UseVirtualClock();
  auto add = [](const std::string& name, auto body) {
    benchmark::RegisterBenchmark(name.c_str(), body)->Unit(benchmark::kMicrosecond);
  };
  for (int bits : {16, 32}) {
    const std::string b = "/" + std::to_string(bits);
    add("FrameMemcpy" + b, [bits](benchmark::State& s) { FrameMemcpy(s, bits); });
    add("FrameMemset" + b, [bits](benchmark::State& s) { FrameMemset(s, bits); });
    add("PresentWindowDirectDraw" + b, [bits](benchmark::State& s) { Presents(s, Road::DirectDraw, bits, true); });
    add("SurfaceFillGrey" + b, [bits](benchmark::State& s) { SurfaceFills(s, bits, bits == 16 ? 0x4418 : 0x4080C0); });
    add("ClearDirectDrawBlack" + b, [bits](benchmark::State& s) { Clears(s, Road::DirectDraw, bits, false); });
    add("ClearDirectDrawGrey" + b, [bits](benchmark::State& s) { Clears(s, Road::DirectDraw, bits, true); });
    add("PresentWindowSoftware" + b, [bits](benchmark::State& s) { Presents(s, Road::Software, bits, true); });
    add("ClearSoftwareBlack" + b, [bits](benchmark::State& s) { Clears(s, Road::Software, bits, false); });
    add("ClearSoftwareGrey" + b, [bits](benchmark::State& s) { Clears(s, Road::Software, bits, true); });
    add("PresentFullScreenDirectDraw" + b,
        [bits](benchmark::State& s) { Presents(s, Road::DirectDraw, bits, false); });
  }
  benchmark::Initialize(&argc, argv);
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  StopLibrary();
  PrintTable();
  benchmark::Shutdown();
  return 0;
}

// Kelvaron's frame cost: battle frames played on the virtual clock by a simple player (stage 4, plain
// attacks, every letter pressed every other frame), measuring the CPU time of each whole frame (pump,
// clear, scene, poll, frame-rate figure, flip) on the game's thread. Prints the median and the 99th
// percentile against the 16 ms budget, and what the sound mixer cost meanwhile on its own thread.
//
// By default the game runs as it starts for a player: the full-screen answer, so its own 640 x 480
// 16-bit screen, on the library's default road (Direct3D), with its music and effects mixed by the
// library's mixer into an audio device of the bench's host (a thread that pulls 1,024-frame periods
// at 44,100 Hz as the game's clock passes, as a sound card's callback would).
//   game_battle_bench [options] [frames]     (3,600 frames unless given; run from anywhere)
//     --road=direct3d|directdraw|software     the road: Direct3D (the default), DirectDraw (Direct3D
//                                             refused, as on a machine without it), software rendering
//     --window                                the game in a window on a 32-bit desktop instead
//     --no-audio                              no audio device (the mixer then only follows the clock)
//     --slow=MS                               list every battle frame over MS ms of CPU: its battle state,
//                                             the music it started, the rasteriser rows that drew in it
// Each road is a process of its own, so no start carries anything over to another.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "battle.h"
#include "frame_loop.h"
#include "game_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/screen_state.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/host/host.h"
#include "platform/win/kernel/clock.h"
#include "title_scenes.h"

namespace {

using namespace kelvaron;

size_t wanted = 3600;
std::vector<double> battleFrameMs;
double lastCpu = 0;
std::set<unsigned> down;
int cooldown = 0;
bool lettersDown = false;
bool roadChecked = false;
bool roadWrong = false;
const char* roadAsked = "direct3d";
double mixCpuAtFirstBattle = -1, mixCpuAtLastBattle = 0;
double slowMs = -1;                       // --slow: frames over this are listed, -1 none
std::vector<uint64_t> rowHitsBefore;      // the rasteriser's row counts when the frame began
std::string musicThisFrame;               // music the game started in the frame

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// ---- The bench's host: the headless desktop with an audio device --------------------------------

class BenchHost final : public plat::host::Host {
 public:
  ~BenchHost() override { CloseAudio(); }
  const char* Name() const override { return "bench"; }
  plat::host::DesktopMode Desktop() const override { return mode_; }

  bool OpenAudio(const plat::host::AudioOutput& output) override {
    if (!audio_ || running_) return false;
    output_ = output;
    stop_ = false;
    running_ = true;
    thread_ = std::thread([this] { Pull(); });
    return true;
  }
  void CloseAudio() override {
    if (!running_) return;
    stop_ = true;
    thread_.join();
    running_ = false;
  }
  std::string AudioDeviceName() const override { return audio_ ? "bench pull thread" : ""; }

  void EnableAudio(bool on) { audio_ = on; }
  // CPU the pulls have taken so far, and the seconds of sound mixed.
  double MixCpuMs() const { return mixCpuMs_.load(); }
  double MixedSeconds() const { return static_cast<double>(mixedFrames_.load()) / output_.rate; }

 private:
  // Pulls whole periods as the clock passes them; a clock that leaps (a long sleep) is not caught up
  // beyond a second, as a device would have dropped that sound.
  void Pull() {
    constexpr int kPeriod = 1024;
    std::vector<int16_t> buffer(static_cast<size_t>(kPeriod) * output_.channels);
    const uint64_t start = plat::clock::NowMicroseconds();
    uint64_t pulled = 0;
    while (!stop_) {
      usleep(2000);  // real time, as a device's period passes
      const uint64_t due = (plat::clock::NowMicroseconds() - start) * static_cast<uint64_t>(output_.rate) / 1000000;
      if (due > pulled + static_cast<uint64_t>(output_.rate)) pulled = due - static_cast<uint64_t>(output_.rate);
      while (!stop_ && pulled + kPeriod <= due) {
        output_.render(buffer.data(), kPeriod, output_.context);
        pulled += kPeriod;
        mixedFrames_ += kPeriod;
      }
      mixCpuMs_ = ThreadCpuMs();
    }
  }

  bool audio_ = true;
  plat::host::AudioOutput output_{44100, 2, nullptr, nullptr};
  std::thread thread_;
  std::atomic<bool> stop_{false};
  bool running_ = false;
  std::atomic<double> mixCpuMs_{0};
  std::atomic<uint64_t> mixedFrames_{0};
};

BenchHost* host = nullptr;

// ---- The player -------------------------------------------------------------------------------------

void SetKeys(const std::set<unsigned>& keys) {
  for (unsigned k : std::set<unsigned>(down))
    if (keys.count(k) == 0) {
      plat::host::Event e;
      e.type = plat::host::EventType::KeyUp;
      e.key = k;
      plat::host::DeliverEvent(e);
      down.erase(k);
    }
  for (unsigned k : keys)
    if (down.count(k) == 0) {
      plat::host::Event e;
      e.type = plat::host::EventType::KeyDown;
      e.key = k;
      plat::host::DeliverEvent(e);
      down.insert(k);
    }
}

void Press(unsigned key) {
  SetKeys({key});
  cooldown = 3;
}

// The road the start is on: Direct3D, DirectDraw or software rendering.
const char* RoadInForce() {
  if (orbel::gScreen.softwareRendering != 0) return "software";
  return orbel::IsDirect3DAvailable() != 0 ? "direct3d" : "directdraw";
}

std::vector<uint64_t> RowHits() {
  std::vector<uint64_t> hits;
  for (const std::string& name : plat::test::D3DFastPathNames()) hits.push_back(plat::test::D3DFastPathHits(name));
  return hits;
}

// One line for a slow battle frame: its number, CPU, state, the music it started, and how many
// primitives each rasteriser row drew in it.
void ReportSlowFrame(double ms) {
  std::printf("  frame %zu: %.3f ms, battle state %u", battleFrameMs.size() - 1, ms, BattleState);
  if (!musicThisFrame.empty()) std::printf(", music started %s", musicThisFrame.c_str());
  const std::vector<uint64_t> hits = RowHits();
  const std::vector<std::string> names = plat::test::D3DFastPathNames();
  for (size_t i = 0; i < hits.size() && i < rowHitsBefore.size(); ++i)
    if (hits[i] != rowHitsBefore[i]) std::printf(", %s %llu", names[i].c_str(), static_cast<unsigned long long>(hits[i] - rowHitsBefore[i]));
  std::printf("\n");
}

void AfterFrame() {
  const double now = ThreadCpuMs();
  if (!roadChecked) {
    roadChecked = true;
    if (std::strcmp(RoadInForce(), roadAsked) != 0) {
      std::fprintf(stderr, "game_battle_bench: asked for the %s road, the game started on %s\n", roadAsked, RoadInForce());
      roadWrong = true;
      GameMode = -1;
      return;
    }
  }
  if (GameMode == 2) {
    battleFrameMs.push_back(now - lastCpu);
    if (slowMs >= 0 && battleFrameMs.back() > slowMs) ReportSlowFrame(battleFrameMs.back());
    if (mixCpuAtFirstBattle < 0) mixCpuAtFirstBattle = host->MixCpuMs();
    mixCpuAtLastBattle = host->MixCpuMs();
  }
  if (battleFrameMs.size() >= wanted) GameMode = -1;
  if (cooldown > 0) {
    --cooldown;
    SetKeys({});
  } else if (GameMode == 1) {
    Press(StageCursor == 3 ? 0x20 : 'K');
  } else if (GameMode == 2) {
    if (BattleState == 1 || BattleState == 2 || BattleState == 8 || BattleState == 9) {
      Press(0x20);
    } else if (BattleState == 3 || BattleState == 4 || BattleState == 7) {
      lettersDown = !lettersDown;
      std::set<unsigned> letters;
      for (char c = 'A'; c <= 'Z'; ++c) letters.insert(static_cast<unsigned>(c));
      SetKeys(lettersDown ? letters : std::set<unsigned>{});
    } else {
      SetKeys({});
    }
  }
  if (slowMs >= 0) {
    musicThisFrame.clear();
    rowHitsBefore = RowHits();
  }
  lastCpu = ThreadCpuMs();
}

int Usage() {
  std::fprintf(stderr, "usage: game_battle_bench [--road=direct3d|directdraw|software] [--window] [--no-audio] [--slow=MS] [frames]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool window = false, audio = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--road=", 0) == 0) {
      const std::string road = a.substr(7);
      if (road == "direct3d") roadAsked = "direct3d";
      else if (road == "directdraw") roadAsked = "directdraw";
      else if (road == "software") roadAsked = "software";
      else return Usage();
    } else if (a == "--window") {
      window = true;
    } else if (a == "--no-audio") {
      audio = false;
    } else if (a.rfind("--slow=", 0) == 0) {
      slowMs = std::strtod(a.c_str() + 7, nullptr);
    } else if (!a.empty() && a[0] != '-') {
      wanted = static_cast<size_t>(std::strtoul(a.c_str(), nullptr, 10));
    } else {
      return Usage();
    }
  }
  if (chdir(KELVARON_GAME_DIR) != 0) return 1;
  // A start of our own: other programs of the library running on the machine must not count as a
  // second start of this one.
  char runtime[] = "/tmp/orbel-bench-XXXXXX";
  if (std::getenv("ORBEL_RUNTIME_DIR") == nullptr && mkdtemp(runtime) != nullptr) setenv("ORBEL_RUNTIME_DIR", runtime, 1);
  // The answer to the game's full-screen question: yes plays in its own screen, no in a window.
  setenv("ORBEL_MESSAGEBOX_ANSWER", window ? "no" : "yes", 1);
  plat::clock::StartVirtual();
  auto bench = std::make_unique<BenchHost>();
  host = bench.get();
  host->EnableAudio(audio);
  plat::host::Install(std::move(bench));
  if (std::strcmp(roadAsked, "directdraw") == 0) plat::test::RefuseDirect3D(true);
  if (std::strcmp(roadAsked, "software") == 0) orbel::SetSoftwareRenderMode(1);

  Hooks.afterFrame = AfterFrame;
  Hooks.musicStarted = [](const char* path) { musicThisFrame = path; };
  lastCpu = ThreadCpuMs();
  const int result = WinMain(nullptr, nullptr, nullptr, 1);
  std::error_code ignored;
  if (std::string(std::getenv("ORBEL_RUNTIME_DIR")) == runtime) std::filesystem::remove_all(runtime, ignored);
  if (roadWrong) return 1;
  if (result != 0 || battleFrameMs.size() < wanted) {
    std::fprintf(stderr, "game_battle_bench: the game ended after %zu battle frames (result %d)\n",
                 battleFrameMs.size(), result);
    return 1;
  }
  std::vector<double> sorted = battleFrameMs;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2];
  const double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
  std::printf("kelvaron battle frames on the %s road (%s, sound %s): %zu, CPU per frame: median %.3f ms, "
              "99th percentile %.3f ms, max %.3f ms (budget 16 ms)\n",
              roadAsked, window ? "in a window on a 32-bit desktop" : "its own 640x480 16-bit full screen",
              audio ? "mixed by the library's mixer" : "not mixed (no audio device)", sorted.size(), median, p99,
              sorted.back());
  if (audio) {
    const double mixMs = mixCpuAtLastBattle - std::max(0.0, mixCpuAtFirstBattle);
    std::printf("  mixer thread: %.3f ms CPU per battle frame; %.1f s of sound mixed in all\n",
                mixMs / static_cast<double>(sorted.size()), host->MixedSeconds());
  }
  return 0;
}

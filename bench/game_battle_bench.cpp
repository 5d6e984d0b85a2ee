// Kelvaron's frame cost: 3,600 battle frames played headless on the virtual clock by a simple player
// (stage 4, plain attacks, every letter pressed every other frame), measuring the CPU time of each
// whole frame (pump, clear, scene, poll, frame-rate figure, flip). Prints the median and the 99th
// percentile against the 16 ms budget.
//   game_battle_bench [frames]      run from anywhere; it changes to the game's folder
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "battle.h"
#include "frame_loop.h"
#include "game_state.h"
#include "platform/host/host.h"
#include "title_scenes.h"

namespace {

using namespace kelvaron;

size_t wanted = 3600;
std::vector<double> battleFrameMs;
double lastCpu = 0;
std::set<unsigned> down;
int cooldown = 0;
bool lettersDown = false;

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

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

void AfterFrame() {
  const double now = CpuMs();
  if (GameMode == 2) battleFrameMs.push_back(now - lastCpu);
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
  lastCpu = CpuMs();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) wanted = static_cast<size_t>(std::strtoul(argv[1], nullptr, 10));
  if (chdir(KELVARON_GAME_DIR) != 0) return 1;
  setenv("ORBEL_HOST", "headless", 1);
  setenv("ORBEL_HEADLESS_CLOCK", "virtual", 1);
  setenv("ORBEL_MESSAGEBOX_ANSWER", "no", 1);
  Hooks.afterFrame = AfterFrame;
  lastCpu = CpuMs();
  const int result = WinMain(nullptr, nullptr, nullptr, 1);
  if (result != 0 || battleFrameMs.size() < wanted) {
    std::fprintf(stderr, "game_battle_bench: the game ended after %zu battle frames (result %d)\n",
                 battleFrameMs.size(), result);
    return 1;
  }
  std::vector<double> sorted = battleFrameMs;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2];
  const double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
  std::printf("kelvaron battle frames: %zu, CPU per frame: median %.3f ms, 99th percentile %.3f ms, max %.3f ms "
              "(budget 16 ms)\n",
              sorted.size(), median, p99, sorted.back());
  return 0;
}

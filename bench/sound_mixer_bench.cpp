// The software mixer's cost: 32 looping buffers with their own volume and pan mixed into the 44,100 Hz
// stereo output, as the host's audio thread asks for it (1,024 frames a call). "core_%" is the share of
// one core the mix takes while the audio plays in real time. Variants: every buffer at the mix rate,
// every buffer at 22,050 Hz (resampled), and half of each.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <cmath>
#include <vector>

#include "platform/dsound/dsound.h"
#include "platform/dsound/dsound_test_controls.h"
#include "platform/dsound/sound_mixer.h"

namespace {

using namespace plat;

constexpr int kBuffers = 32;
constexpr int kFramesPerCall = 1024;

void MixBuffers(benchmark::State& state) {
  setenv("ORBEL_HOST", "headless", 0);
  IDirectSound* ds = nullptr;
  CoCreateDirectSound(&ds);
  ds->Initialize(nullptr);
  ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
  std::vector<IDirectSoundBuffer*> buffers;
  for (int i = 0; i < kBuffers; ++i) {
    const bool resampled = state.range(0) == 1 || (state.range(0) == 2 && i % 2 == 1);
    const DWORD rate = resampled ? 22050 : 44100;
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0};
    const DWORD bytes = rate * 4 * 2;  // two seconds
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0x80E2, bytes, 0, &f};
    IDirectSoundBuffer* b = nullptr;
    ds->CreateSoundBuffer(&desc, &b, nullptr);
    void* p1;
    void* p2;
    DWORD n1;
    DWORD n2;
    b->Lock(0, bytes, &p1, &n1, &p2, &n2, 0);
    auto* s = static_cast<int16_t*>(p1);
    for (DWORD k = 0; k < n1 / 2; ++k) s[k] = static_cast<int16_t>(3000 * std::sin(0.01 * (i + 1) * (k / 2)));
    b->Unlock(p1, n1, p2, n2);
    b->SetVolume(-100 * (i % 10));
    b->SetPan(-5000 + 300 * i);
    b->Play(0, 0, DSBPLAY_LOOPING);
    buffers.push_back(b);
  }
  std::vector<int16_t> out(2 * kFramesPerCall);
  timespec start{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
  for (auto _ : state) {
    dsound::Mixer::Get().Render(out.data(), kFramesPerCall);
    benchmark::DoNotOptimize(out.data());
  }
  timespec end{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
  // CPU seconds per second of audio, times 100.
  const double cpu = static_cast<double>(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) * 1e-9;
  const double audio = static_cast<double>(state.iterations()) * kFramesPerCall / dsound::kMixRate;
  state.counters["core_%"] = 100.0 * cpu / audio;
  for (IDirectSoundBuffer* b : buffers) b->Release();
  ds->Release();
  test::ResetSound();
}

BENCHMARK(MixBuffers)->Arg(0)->Arg(1)->Arg(2)->ArgName("resampled(0 none,1 all,2 half)")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

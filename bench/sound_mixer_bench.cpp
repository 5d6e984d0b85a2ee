// The software mixer's cost: 32 looping buffers with their own volume and pan mixed into the 44,100 Hz
// stereo output, as the host's audio thread asks for it (1,024 frames a call). "core_%" is the share of
// one core the mix takes while the audio plays in real time. Variants: every buffer at the mix rate,
// every buffer at 22,050 Hz (converted once, when filled), half of each, and every buffer at 11,025 Hz
// set to 22,050 Hz while it plays (resampled in the mix); the buffers' conversions are made (as the
// first pass of the mix reads them) before the timing starts. Beside them, the cost of that
// conversion: a two-second 22,050 Hz stereo buffer locked whole, filled, unlocked and mixed once
// through; and a music start as a stream sound makes it: a six-second 22,050 Hz stereo ring made, its
// first four seconds locked, written and unlocked, and played ("start_ms", on the caller's thread),
// then its first 1,024-frame period mixed ("first_mix_ms", on the mixer's).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/dsound/dsound.h"
#include "platform/dsound/dsound_test_controls.h"
#include "platform/dsound/sound_mixer.h"

namespace {

using namespace plat;

constexpr int kBuffers = 32;
constexpr int kFramesPerCall = 1024;

// A two-second 16-bit stereo buffer at `rate`.
IDirectSoundBuffer* MakeBuffer(IDirectSound* ds, DWORD rate) {
  WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0};
  DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0x80E2, rate * 4 * 2, 0, &f};
  IDirectSoundBuffer* b = nullptr;
  ds->CreateSoundBuffer(&desc, &b, nullptr);
  return b;
}

// Locks the whole buffer, writes a sine of `step` radians a frame and unlocks it.
void FillSine(IDirectSoundBuffer* b, double step) {
  void* p1;
  void* p2;
  DWORD n1;
  DWORD n2;
  b->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER);
  auto* s = static_cast<int16_t*>(p1);
  for (DWORD k = 0; k < n1 / 2; ++k) s[k] = static_cast<int16_t>(3000 * std::sin(step * (k / 2)));
  b->Unlock(p1, n1, p2, n2);
}

void MixBuffers(benchmark::State& state) {
  setenv("ORBEL_HOST", "headless", 0);
  IDirectSound* ds = nullptr;
  CoCreateDirectSound(&ds);
  ds->Initialize(nullptr);
  ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
  std::vector<IDirectSoundBuffer*> buffers;
  for (int i = 0; i < kBuffers; ++i) {
    const bool resampled = state.range(0) == 1 || state.range(0) == 3 || (state.range(0) == 2 && i % 2 == 1);
    IDirectSoundBuffer* b = MakeBuffer(ds, state.range(0) == 3 ? 11025 : resampled ? 22050 : 44100);
    FillSine(b, 0.01 * (i + 1));
    b->SetVolume(-100 * (i % 10));
    b->SetPan(-5000 + 300 * i);
    b->Play(0, 0, DSBPLAY_LOOPING);
    if (state.range(0) == 3) b->SetFrequency(22050);
    buffers.push_back(b);
  }
  std::vector<int16_t> out(2 * kFramesPerCall);
  for (int i = 0; i < 2 * dsound::kMixRate / kFramesPerCall + 1; ++i) dsound::Mixer::Get().Render(out.data(), kFramesPerCall);
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

BENCHMARK(MixBuffers)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->ArgName("resampled(0 none,1 all,2 half,3 in the mix)")->Unit(benchmark::kMicrosecond);

void ConvertWhenFilled(benchmark::State& state) {
  setenv("ORBEL_HOST", "headless", 0);
  IDirectSound* ds = nullptr;
  CoCreateDirectSound(&ds);
  ds->Initialize(nullptr);
  IDirectSoundBuffer* b = MakeBuffer(ds, 22050);
  b->Play(0, 0, DSBPLAY_LOOPING);
  std::vector<int16_t> out(2 * kFramesPerCall);
  for (auto _ : state) {
    FillSine(b, 0.01);
    for (int i = 0; i < 2 * dsound::kMixRate / kFramesPerCall + 1; ++i) dsound::Mixer::Get().Render(out.data(), kFramesPerCall);
  }
  state.counters["audio_s/s"] = benchmark::Counter(2.0, benchmark::Counter::kIsIterationInvariantRate);
  b->Release();
  ds->Release();
  test::ResetSound();
}

BENCHMARK(ConvertWhenFilled)->Unit(benchmark::kMillisecond);

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

void MusicStart(benchmark::State& state) {
  setenv("ORBEL_HOST", "headless", 0);
  IDirectSound* ds = nullptr;
  CoCreateDirectSound(&ds);
  ds->Initialize(nullptr);
  std::vector<int16_t> out(2 * kFramesPerCall);
  std::vector<int16_t> music(4 * 22050 * 2);
  for (size_t k = 0; k < music.size(); ++k) music[k] = static_cast<int16_t>(3000 * std::sin(0.01 * static_cast<double>(k / 2)));
  double startMs = 0, mixMs = 0;
  for (auto _ : state) {
    const double t0 = CpuMs();
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 22050, 22050 * 4, 4, 16, 0};
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0x80E2, 6 * 22050 * 4, 0, &f};
    IDirectSoundBuffer* b = nullptr;
    ds->CreateSoundBuffer(&desc, &b, nullptr);
    void* p1;
    void* p2;
    DWORD n1;
    DWORD n2;
    b->Lock(0, 4 * 22050 * 4, &p1, &n1, &p2, &n2, 0);
    std::memcpy(p1, music.data(), n1);
    b->Unlock(p1, n1, p2, n2);
    b->SetCurrentPosition(0);
    b->Play(0, 0, DSBPLAY_LOOPING);
    const double t1 = CpuMs();
    dsound::Mixer::Get().Render(out.data(), kFramesPerCall);
    const double t2 = CpuMs();
    benchmark::DoNotOptimize(out.data());
    b->Release();
    startMs += t1 - t0;
    mixMs += t2 - t1;
  }
  state.counters["start_ms"] = startMs / static_cast<double>(state.iterations());
  state.counters["first_mix_ms"] = mixMs / static_cast<double>(state.iterations());
  ds->Release();
  test::ResetSound();
}

BENCHMARK(MusicStart)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

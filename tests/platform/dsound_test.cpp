// The DirectSound stand-in: cursors paced by the clock, play/stop/loop, ring locks, duplicates sharing
// their bytes, the mix (volume, pan, frequency), and the faults tests can inject.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include "platform/dsound/dsound.h"
#include "platform/dsound/dsound_test_controls.h"
#include "platform/dsound/sound_mixer.h"
#include "platform/test_controls.h"
#include "test_support.h"

namespace {

using namespace plat;

WAVEFORMATEX Pcm(DWORD rate, WORD channels, WORD bits) {
  const WORD align = static_cast<WORD>(channels * bits / 8);
  return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

class DirectSoundTest : public orbel::testing::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    test::UseVirtualClock(0, 0);  // readings do not move time: cursors are exact
    ASSERT_EQ(CoCreateDirectSound(&ds_), S_OK);
    ASSERT_EQ(ds_->Initialize(nullptr), DS_OK);
    ASSERT_EQ(ds_->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
  }
  void TearDown() override {
    test::ResetSound();
    VirtualClockTest::TearDown();
  }

  IDirectSoundBuffer* Make(const WAVEFORMATEX& format, DWORD bytes, DWORD flags = 0x80E2) {
    WAVEFORMATEX f = format;
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), flags, bytes, 0, &f};
    IDirectSoundBuffer* b = nullptr;
    EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
    return b;
  }
  // Fills the buffer with 16-bit samples from `sample(frameIndex, channel)`.
  template <typename F>
  void Fill(IDirectSoundBuffer* b, DWORD bytes, int channels, F sample) {
    void* p1;
    void* p2;
    DWORD n1;
    DWORD n2;
    ASSERT_EQ(b->Lock(0, bytes, &p1, &n1, &p2, &n2, 0), DS_OK);
    auto* s = static_cast<int16_t*>(p1);
    for (DWORD i = 0; i < n1 / 2; ++i) s[i] = sample(static_cast<int>(i / channels), static_cast<int>(i % channels));
    ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
  }
  static DWORD PlayCursor(IDirectSoundBuffer* b) {
    DWORD play = 0;
    EXPECT_EQ(b->GetCurrentPosition(&play, nullptr), DS_OK);
    return play;
  }
  static DWORD Status(IDirectSoundBuffer* b) {
    DWORD status = 0;
    EXPECT_EQ(b->GetStatus(&status), DS_OK);
    return status;
  }

  IDirectSound* ds_ = nullptr;
};

TEST_F(DirectSoundTest, PlayCursorMovesElapsedTimesRateAndWrapsWhenLooping) {
  struct Case {
    DWORD rate;
    WORD channels;
    WORD bits;
    DWORD bufferBytes;
    uint64_t elapsedUs;
    DWORD expected;
    uint64_t startUs = 0;  // when the buffer starts, after the previous case
  };
  const Case cases[] = {
      {44100, 2, 16, 176400, 250000, 44100},  // a quarter second
      {44100, 2, 16, 176400, 1000, 176, 13},  // 44.1 frames, whatever the phase of the start
      {44100, 2, 16, 176400, 1000, 176, 7},
      {48000, 2, 16, 192000, 1, 0, 5},        // 0.048 frames: not yet one
      {44100, 2, 16, 176400, 1250000, 44100},  // wrapped once
      {22050, 1, 8, 22050, 100000, 2205},
      {22050, 1, 16, 44100, 10000, 440},       // 220.5 frames: the cursor sits on the whole frame
      {11025, 2, 16, 44100, 3000000, 0},       // exactly one lap of a one-second ring
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.elapsedUs << " us");
    IDirectSoundBuffer* b = Make(Pcm(c.rate, c.channels, c.bits), c.bufferBytes);
    ASSERT_NE(b, nullptr);
    test::AdvanceClock(c.startUs);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    test::AdvanceClock(c.elapsedUs);
    EXPECT_EQ(PlayCursor(b), c.expected);
    EXPECT_EQ(Status(b), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    b->Release();
  }
}

TEST_F(DirectSoundTest, OnceBufferStopsItselfAtItsEndAndStopKeepsThePosition) {
  IDirectSoundBuffer* b = Make(Pcm(44100, 2, 16), 17640);  // 100 ms
  ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
  test::AdvanceClock(50000);
  EXPECT_EQ(Status(b), DSBSTATUS_PLAYING);
  ASSERT_EQ(b->Stop(), DS_OK);
  EXPECT_EQ(PlayCursor(b), 8820u);
  test::AdvanceClock(500000);
  EXPECT_EQ(PlayCursor(b), 8820u) << "a stopped buffer keeps its place";
  ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
  test::AdvanceClock(49000);
  EXPECT_EQ(Status(b), DSBSTATUS_PLAYING);
  test::AdvanceClock(2000);
  EXPECT_EQ(Status(b), 0u) << "stopped by itself at the end";
  EXPECT_EQ(PlayCursor(b), 0u);
  ASSERT_EQ(b->SetCurrentPosition(4000), DS_OK);
  EXPECT_EQ(PlayCursor(b), 4000u);
  EXPECT_EQ(b->SetCurrentPosition(17640), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, LockSplitsARequestThatWrapsIntoTwoRegions) {
  IDirectSoundBuffer* b = Make(Pcm(44100, 2, 16), 4000);
  void* p1;
  void* p2;
  DWORD n1;
  DWORD n2;
  ASSERT_EQ(b->Lock(3000, 1500, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(n1, 1000u);
  EXPECT_EQ(n2, 500u);
  EXPECT_EQ(static_cast<uint8_t*>(p1) - static_cast<uint8_t*>(p2), 3000);
  ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
  ASSERT_EQ(b->Lock(0, 4000, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(n1, 4000u);
  EXPECT_EQ(p2, nullptr);
  EXPECT_EQ(n2, 0u);
  EXPECT_EQ(b->Lock(0, 4001, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->Lock(4000, 4, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, DuplicatesShareTheBytesAndPlayOnTheirOwn) {
  IDirectSoundBuffer* a = Make(Pcm(44100, 1, 16), 8820);  // 100 ms
  Fill(a, 8820, 1, [](int i, int) { return static_cast<int16_t>(i); });
  IDirectSoundBuffer* b = nullptr;
  ASSERT_EQ(ds_->DuplicateSoundBuffer(a, &b), DS_OK);
  void* p1;
  void* p2;
  DWORD n1;
  DWORD n2;
  ASSERT_EQ(b->Lock(0, 8820, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(static_cast<int16_t*>(p1)[1234], 1234) << "the duplicate sees the source's audio";
  b->Unlock(p1, n1, p2, n2);

  test::CaptureSoundOutput(true);
  a->Play(0, 0, 0);
  test::AdvanceClock(20000);
  b->Play(0, 0, 0);  // 20 ms later: the two overlap
  test::AdvanceClock(30000);
  EXPECT_EQ(Status(a), DSBSTATUS_PLAYING);
  EXPECT_EQ(PlayCursor(a), 4410u);
  EXPECT_EQ(PlayCursor(b), 2646u);
  const std::vector<int16_t> out = test::TakeSoundOutput();
  ASSERT_EQ(out.size(), 2u * 2205);
  EXPECT_EQ(out[2 * 100], 100);              // a alone, mono on both sides
  EXPECT_EQ(out[2 * 100 + 1], 100);
  EXPECT_EQ(out[2 * 1000], 1000 + 118);      // a at 1000, b at 1000 - 882
  a->Release();
  test::AdvanceClock(100000);
  EXPECT_EQ(Status(b), 0u) << "the duplicate plays on after its source is released, to its end";
}

TEST_F(DirectSoundTest, VolumeAndPanAttenuateInHundredthsOfADecibel) {
  IDirectSoundBuffer* b = Make(Pcm(44100, 1, 16), 4410);
  Fill(b, 4410, 1, [](int, int) { return static_cast<int16_t>(10000); });
  struct Case {
    LONG volume;
    LONG pan;
    int left;
    int right;
  };
  const Case cases[] = {
      {0, 0, 10000, 10000},
      {-600, 0, 5012, 5012},      // -6 dB
      {0, 2000, 1000, 10000},     // right: the left side down 20 dB
      {0, -10000, 10000, 0},      // hard left
      {-10000, 0, 0, 0},          // silence
  };
  test::CaptureSoundOutput(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "volume " << c.volume << " pan " << c.pan);
    ASSERT_EQ(b->SetVolume(c.volume), DS_OK);
    ASSERT_EQ(b->SetPan(c.pan), DS_OK);
    b->SetCurrentPosition(0);
    b->Play(0, 0, DSBPLAY_LOOPING);
    test::TakeSoundOutput();
    test::AdvanceClock(1000);
    const std::vector<int16_t> out = test::TakeSoundOutput();
    ASSERT_GE(out.size(), 2u);
    EXPECT_NEAR(out[0], c.left, 1);
    EXPECT_NEAR(out[1], c.right, 1);
    b->Stop();
  }
  LONG v;
  EXPECT_EQ(b->GetVolume(&v), DS_OK);
  EXPECT_EQ(b->SetVolume(1), DSERR_INVALIDPARAM);
  IDirectSoundBuffer* plain = Make(Pcm(44100, 1, 16), 4410, DSBCAPS_STATIC);
  EXPECT_EQ(plain->SetVolume(-100), DSERR_CONTROLUNAVAIL);
  EXPECT_EQ(plain->SetFrequency(22050), DSERR_CONTROLUNAVAIL);
}

TEST_F(DirectSoundTest, EightBitSamplesAreCentredOnSilenceAndScaledTo16Bits) {
  IDirectSoundBuffer* b = Make(Pcm(44100, 2, 8), 400);
  void* p1;
  void* p2;
  DWORD n1;
  DWORD n2;
  ASSERT_EQ(b->Lock(0, 400, &p1, &n1, &p2, &n2, 0), DS_OK);
  auto* bytes = static_cast<uint8_t*>(p1);
  EXPECT_EQ(bytes[17], 0x80) << "a new 8-bit buffer holds silence";
  for (DWORD i = 0; i < n1; i += 2) {
    bytes[i] = 0xC0;      // left: half up
    bytes[i + 1] = 0x00;  // right: full down
  }
  b->Unlock(p1, n1, p2, n2);
  test::CaptureSoundOutput(true);
  b->Play(0, 0, DSBPLAY_LOOPING);
  test::AdvanceClock(1000);
  const std::vector<int16_t> out = test::TakeSoundOutput();
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out[0], 16384);
  EXPECT_EQ(out[1], -32768);
}

TEST_F(DirectSoundTest, OtherRatesAreResampledToTheMixAndFrequencyChangesTheCursorSpeed) {
  // A 1 kHz tone at 22,050 Hz keeps its pitch in the 44,100 Hz mix.
  IDirectSoundBuffer* b = Make(Pcm(22050, 1, 16), 44100);
  Fill(b, 44100, 1, [](int i, int) { return static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000 * i / 22050.0)); });
  test::CaptureSoundOutput(true);
  b->Play(0, 0, DSBPLAY_LOOPING);
  test::AdvanceClock(500000);
  const std::vector<int16_t> out = test::TakeSoundOutput();
  ASSERT_EQ(out.size(), 2u * 22050);
  int crossings = 0;
  for (size_t i = 2 * 2000; i + 2 < out.size(); i += 2) crossings += (out[i] < 0) != (out[i + 2] < 0);
  // 1 kHz over the 20050 frames counted: about 909 crossings.
  EXPECT_NEAR(crossings, 2 * 1000 * 20050 / 44100, 4);

  ASSERT_EQ(b->SetFrequency(44100), DS_OK);
  const DWORD before = PlayCursor(b);
  test::AdvanceClock(100000);
  EXPECT_EQ((PlayCursor(b) + 44100 - before) % 44100, 8820u) << "twice the speed: 4410 frames in 100 ms";
  DWORD f;
  ASSERT_EQ(b->GetFrequency(&f), DS_OK);
  EXPECT_EQ(f, 44100u);
}

// Level in dB of `freq` in the left channel of `out` (interleaved stereo at 44,100 Hz): the largest
// of the bins within 20 Hz of it, over 8,192 frames from frame 4,096 under a Blackman-Harris window
// (its side lobes lie below -92 dB).
double LevelDb(const std::vector<int16_t>& out, double freq) {
  constexpr int kN = 8192;
  double best = 0;
  for (double f = freq - 20; f <= freq + 20; f += 44100.0 / kN / 2) {
    double re = 0, im = 0;
    for (int i = 0; i < kN; ++i) {
      const double t = 2 * M_PI * i / (kN - 1);
      const double w = 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
      const double x = out[2 * (4096 + i)] * w;
      re += x * std::cos(2 * M_PI * f * i / 44100);
      im -= x * std::sin(2 * M_PI * f * i / 44100);
    }
    best = std::max(best, std::hypot(re, im));
  }
  return 20 * std::log10(best + 1e-9);
}

TEST_F(DirectSoundTest, AToneAtHalfTheMixRateKeepsItsImageEightyDecibelsDown) {
  // A 5 kHz and a 9 kHz tone sampled at 22,050 Hz, played from a buffer of that rate (converted once
  // when filled), from one whose rate is set to 22,050 Hz before it plays (converted then) and from
  // one whose rate is set while it plays (resampled in the mix). Upsampling mirrors a tone f about
  // 11,025 Hz, to 22,050 - f.
  enum Road { kFilled, kSetStopped, kSetPlaying };
  for (const double tone : {5000.0, 9000.0}) {
    for (const Road road : {kFilled, kSetStopped, kSetPlaying}) {
      SCOPED_TRACE(std::to_string(tone) + " Hz, road " + std::to_string(road));
      IDirectSoundBuffer* b = Make(Pcm(road == kFilled ? 22050 : 11025, 1, 16), 2 * 22050);
      Fill(b, 2 * 22050, 1, [tone](int i, int) { return static_cast<int16_t>(16000 * std::sin(2 * M_PI * tone * i / 22050.0)); });
      test::CaptureSoundOutput(true);
      if (road == kSetStopped) {
        ASSERT_EQ(b->SetFrequency(22050), DS_OK);
      }
      ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
      if (road == kSetPlaying) {
        ASSERT_EQ(b->SetFrequency(22050), DS_OK);
      }
      test::AdvanceClock(300000);
      const std::vector<int16_t> out = test::TakeSoundOutput();
      ASSERT_GE(out.size(), 2u * (4096 + 8192));
      const double level = LevelDb(out, tone), image = LevelDb(out, 22050 - tone);
      EXPECT_GT(level, 100) << "the tone itself is heard";
      EXPECT_GE(level - image, 80) << "tone " << level << " dB, image " << image << " dB";
      test::CaptureSoundOutput(false);
      b->Release();
    }
  }
}

TEST_F(DirectSoundTest, RegionsLockedApartSoundAsTheSameBytesFilledAtOnce) {
  // The same noise-like signal written whole into one 22,050 Hz buffer, and into another in two
  // Locks (the first wrapping past the end into two regions) after a duplicate of it was made: the
  // duplicate, which shares the bytes, plays what the whole one plays.
  constexpr DWORD kBytes = 4 * 22050;  // two seconds, its quarters whole frames
  auto signal = [](int i, int) { return static_cast<int16_t>(9000 * std::sin(i * 0.37) + 7000 * std::sin(i * 1.91)); };
  IDirectSoundBuffer* whole = Make(Pcm(22050, 1, 16), kBytes);
  Fill(whole, kBytes, 1, signal);
  IDirectSoundBuffer* parts = Make(Pcm(22050, 1, 16), kBytes);
  IDirectSoundBuffer* twin = nullptr;
  ASSERT_EQ(ds_->DuplicateSoundBuffer(parts, &twin), DS_OK);
  for (const DWORD offset : {3 * kBytes / 4, kBytes / 4}) {
    void* p[2];
    DWORD n[2];
    ASSERT_EQ(parts->Lock(offset, kBytes / 2, &p[0], &n[0], &p[1], &n[1], 0), DS_OK);
    for (int r = 0; r < 2; ++r) {
      const int first = r == 0 ? static_cast<int>(offset / 2) : 0;  // a second region starts the buffer
      for (DWORD i = 0; p[r] != nullptr && i < n[r] / 2; ++i) static_cast<int16_t*>(p[r])[i] = signal(first + static_cast<int>(i), 0);
    }
    ASSERT_EQ(parts->Unlock(p[0], n[0], p[1], n[1]), DS_OK);
  }
  std::vector<int16_t> heard[2];
  for (int k = 0; k < 2; ++k) {
    IDirectSoundBuffer* b = k == 0 ? whole : twin;
    test::CaptureSoundOutput(true);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    test::AdvanceClock(2200000);  // past the loop's end
    heard[k] = test::TakeSoundOutput();
    ASSERT_EQ(b->Stop(), DS_OK);
    test::CaptureSoundOutput(false);
  }
  ASSERT_EQ(heard[0].size(), heard[1].size());
  int worst = 0;
  for (size_t i = 0; i < heard[0].size(); ++i) worst = std::max(worst, std::abs(heard[0][i] - heard[1][i]));
  EXPECT_LE(worst, 1);
  int loud = 0;
  for (int16_t v : heard[0]) loud = std::max(loud, std::abs(static_cast<int>(v)));
  EXPECT_GT(loud, 10000) << "the signal is heard";
}

TEST_F(DirectSoundTest, BadRequestsAreRefused) {
  IDirectSoundBuffer* b = nullptr;
  WAVEFORMATEX f = Pcm(44100, 2, 16);
  struct Case {
    DSBUFFERDESC desc;
    HRESULT expected;
  };
  WAVEFORMATEX bad24 = Pcm(44100, 2, 24);
  WAVEFORMATEX badAlign = f;
  badAlign.nBlockAlign = 3;
  WAVEFORMATEX compressed = f;
  compressed.wFormatTag = WAVE_FORMAT_ADPCM;
  const Case cases[] = {
      {{sizeof(DSBUFFERDESC), 0x80E2, 0, 0, &f}, DSERR_INVALIDPARAM},        // no bytes
      {{sizeof(DSBUFFERDESC), 0x80E2, 400, 0, nullptr}, DSERR_BADFORMAT},    // no format
      {{sizeof(DSBUFFERDESC), 0x80E2, 400, 0, &bad24}, DSERR_BADFORMAT},
      {{sizeof(DSBUFFERDESC), 0x80E2, 400, 0, &badAlign}, DSERR_BADFORMAT},
      {{sizeof(DSBUFFERDESC), 0x80E2, 400, 0, &compressed}, DSERR_BADFORMAT},
      {{36, 0x80E2, 400, 0, &f}, DSERR_INVALIDPARAM},                       // a 32-bit record size
      {{sizeof(DSBUFFERDESC), DSBCAPS_PRIMARYBUFFER, 400, 0, nullptr}, DSERR_INVALIDPARAM},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << c.desc.dwFlags << " bytes " << c.desc.dwBufferBytes);
    EXPECT_EQ(ds_->CreateSoundBuffer(&c.desc, &b, nullptr), c.expected);
    EXPECT_EQ(b, nullptr);
  }
  EXPECT_EQ(ds_->Initialize(nullptr), DSERR_ALREADYINITIALIZED);
  EXPECT_EQ(test::LiveSoundBuffers(), 0);
}

TEST_F(DirectSoundTest, PrimaryBufferTakesTheFormatAndNeverMixes) {
  DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr};
  IDirectSoundBuffer* primary = nullptr;
  ASSERT_EQ(ds_->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
  WAVEFORMATEX f = Pcm(44100, 2, 16);
  EXPECT_EQ(primary->SetFormat(&f), DS_OK);
  WAVEFORMATEX got{};
  EXPECT_EQ(primary->GetFormat(&got, sizeof got, nullptr), DS_OK);
  EXPECT_EQ(got.nSamplesPerSec, 44100u);
  void* p1;
  void* p2;
  DWORD n1;
  DWORD n2;
  EXPECT_EQ(primary->Lock(0, 4, &p1, &n1, &p2, &n2, 0), DSERR_PRIOLEVELNEEDED);
  EXPECT_EQ(primary->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  IDirectSoundBuffer* b = Make(Pcm(44100, 2, 16), 400);
  EXPECT_EQ(primary->SetFormat(&f), DS_OK);
  EXPECT_EQ(b->SetFormat(&f), DSERR_INVALIDCALL) << "only the primary buffer takes a format";
}

TEST_F(DirectSoundTest, InjectedFaultsHitOnlyTheirCall) {
  test::FailCreateSoundBuffer(0x80E2);
  WAVEFORMATEX f = Pcm(44100, 2, 16);
  DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0x80E2, 400, 0, &f};
  IDirectSoundBuffer* b = nullptr;
  EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &b, nullptr), DSERR_OUTOFMEMORY);
  desc.dwFlags = 0xC2;
  ASSERT_EQ(ds_->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
  desc.dwFlags = 0x80E2;
  IDirectSoundBuffer* again = nullptr;
  EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &again, nullptr), DS_OK);

  test::FailDuplicateSoundBufferAfter(2);
  IDirectSoundBuffer* dup = nullptr;
  EXPECT_EQ(ds_->DuplicateSoundBuffer(b, &dup), DS_OK);
  EXPECT_EQ(ds_->DuplicateSoundBuffer(b, &dup), DS_OK);
  EXPECT_EQ(ds_->DuplicateSoundBuffer(b, &dup), DSERR_OUTOFMEMORY);
  EXPECT_EQ(test::LiveSoundBuffers(), 4);

  test::FailSoundBufferLock();
  void* p1;
  void* p2;
  DWORD n1;
  DWORD n2;
  EXPECT_NE(b->Lock(0, 4, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(b->Lock(0, 4, &p1, &n1, &p2, &n2, 0), DS_OK);

  IDirectSound* other = nullptr;
  test::FailCoCreateDirectSound();
  EXPECT_NE(CoCreateDirectSound(&other), S_OK);
  ASSERT_EQ(CoCreateDirectSound(&other), S_OK);
  test::FailDirectSoundInitialize();
  EXPECT_LT(other->Initialize(nullptr), 0);
  ASSERT_EQ(other->Initialize(nullptr), DS_OK);
  test::FailSoundCooperativeLevel();
  EXPECT_LT(other->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), 0);
  other->Release();
}

TEST_F(DirectSoundTest, ReleasingTheDeviceSilencesItsBuffers) {
  IDirectSoundBuffer* b = Make(Pcm(44100, 2, 16), 400);
  b->Play(0, 0, DSBPLAY_LOOPING);
  ds_->Release();
  ds_ = nullptr;
  DWORD status;
  EXPECT_NE(b->GetStatus(&status), DS_OK);
  EXPECT_EQ(test::LiveSoundBuffers(), 0);
  b->Release();
}

BOOL CollectDevice(GUID* guid, const char* description, const char* module, void* context) {
  auto* names = static_cast<std::vector<std::string>*>(context);
  names->push_back(std::string(guid == nullptr ? "-" : "+") + description + "|" + module);
  return TRUE;
}

TEST_F(DirectSoundTest, TheModuleGivesItsEnumeratorWhichListsThePrimaryDriverFirst) {
  HMODULE module = LoadLibraryA("dsound.dll");
  ASSERT_NE(module, nullptr);
  auto enumerate = reinterpret_cast<HRESULT (*)(LPDSENUMCALLBACKA, void*)>(GetProcAddress(module, "DirectSoundEnumerateA"));
  ASSERT_NE(enumerate, nullptr);
  std::vector<std::string> names;
  EXPECT_EQ(enumerate(CollectDevice, &names), DS_OK);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "-Primary Sound Driver|");
  EXPECT_EQ(names[1], "+Orbel software mixer (silent)|orbel-dsound");
  EXPECT_EQ(GetProcAddress(module, "DirectSoundCreate8"), nullptr);
  EXPECT_TRUE(FreeLibrary(module));

  test::SetDirectSoundModuleAvailable(true, false);
  EXPECT_EQ(GetProcAddress(LoadLibraryA("DSOUND.DLL"), "DirectSoundEnumerateA"), nullptr);
  test::SetDirectSoundModuleAvailable(false, false);
  EXPECT_EQ(LoadLibraryA("DSOUND.DLL"), nullptr);
  EXPECT_EQ(LoadLibraryA("OTHER.DLL"), nullptr);

  DSCAPS caps{};
  caps.dwSize = sizeof caps;
  DSCAPS custom = test::DefaultSoundCaps();
  custom.dwMaxSecondarySampleRate = 48000;
  test::SetSoundCaps(custom);
  ASSERT_EQ(ds_->GetCaps(&caps), DS_OK);
  EXPECT_EQ(caps.dwMaxSecondarySampleRate, 48000u);
  EXPECT_NE(caps.dwFlags & DSCAPS_PRIMARYSTEREO, 0u);
}

// A renderer on another thread (as the host's audio thread) while the library plays, stops and
// releases buffers: the calls never wait for a mix, and nothing is used after its release.
TEST_F(DirectSoundTest, ARendererOnAnotherThreadRunsBesideTheLibrarysCalls) {
  std::atomic<bool> done{false};
  std::thread audio([&done] {
    std::vector<int16_t> out(2 * 512);
    while (!done.load()) dsound::Mixer::Get().Render(out.data(), 512);
  });
  for (int i = 0; i < 200; ++i) {
    IDirectSoundBuffer* b = Make(Pcm(i % 2 == 0 ? 44100 : 22050, 2, 16), 4000);
    b->Play(0, 0, DSBPLAY_LOOPING);
    IDirectSoundBuffer* d = nullptr;
    ds_->DuplicateSoundBuffer(b, &d);
    d->Play(0, 0, 0);
    b->SetFrequency(30000);
    b->Stop();
    b->Release();
    d->Release();
  }
  done = true;
  audio.join();
  EXPECT_EQ(test::LiveSoundBuffers(), 0);
}

}  // namespace

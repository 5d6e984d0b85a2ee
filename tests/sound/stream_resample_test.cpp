// A stream sound at 22,050 Hz played through the mixer, which converts its ring to 44,100 Hz as it
// mixes it: the first fill and the refills (across the ring's wrap, where played blocks are written
// again) sound exactly as the whole sound converted at once, and the conversion work follows what
// is mixed, not what is written.
#include <soxr.h>

#include <cmath>
#include <cstdlib>

#include "orbel/sound/sound_handle.h"
#include "orbel/sound/stream_sound.h"
#include "platform/dsound/dsound_test_controls.h"
#include "platform/dsound/sound_prepare.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "sound_test_support.h"

namespace orbel::testing {
namespace {

constexpr int kRate = 22050;
constexpr int kMixRate = 44100;

// Broadband stereo noise with a tone in it, so that any seam between converted blocks shows.
std::vector<int16_t> Noise(int frames) {
  std::vector<int16_t> s;
  uint32_t x = 12345;
  for (int f = 0; f < frames; ++f) {
    for (int c = 0; c < 2; ++c) {
      x = x * 1664525u + 1013904223u;
      const double noise = static_cast<double>(static_cast<int32_t>(x) >> 16) / 32768.0;
      s.push_back(static_cast<int16_t>(9000 * noise + 8000 * std::sin(f * (c == 0 ? 0.37 : 1.91))));
    }
  }
  return s;
}

class StreamResample : public SoundTest {
 protected:
  // A play-once stream sound of the samples (22,050 Hz stereo, held in memory).
  int Make(const std::vector<int16_t>& samples) {
    image_ = MakePcmWav(2, kRate, 16, samples, 18);
    const int h = AddSoundData(-1);
    if (h == -1 || LoadStreamSoundFromWaveImage(image_.data(), image_.size(), 0, h, 2, -1) != 0) return -1;
    return h;
  }
  // Advances the clock by `ms` in game frames of 16 ms, running the refill at each.
  static void Play(int ms) {
    for (int t = 0; t < ms; t += 16) {
      plat::test::AdvanceClock(16000);
      ServiceAllStreamSounds();
    }
  }
  static uint64_t Converted(int handle) {
    return plat::test::SoundBufferFramesConverted(LookupSound(handle)->buffers[0].buffer);
  }
  std::vector<uint8_t> image_;
};

TEST_F(StreamResample, TheFirstFillAndTheRefillsSoundAsTheWholeSoundConvertedAtOnce) {
  // 8 s of data through the 6 s ring: the ring's start is written again and played again.
  const std::vector<int16_t> source = Noise(kRate * 8);
  const int h = Make(source);
  ASSERT_NE(h, -1);
  plat::test::CaptureSoundOutput(true);
  ASSERT_EQ(PlaySoundHandle(h, kPlayBack, 1), 0);
  Play(7500);
  const std::vector<int16_t> heard = plat::test::TakeSoundOutput();
  plat::test::CaptureSoundOutput(false);

  // The whole sound converted at once, as the mixer's converter for this rate does it.
  std::vector<float> in(source.begin(), source.end());
  std::vector<float> out(in.size() * 2 + 64);
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_LQ, 0);
  size_t made = 0;
  ASSERT_EQ(soxr_oneshot(kRate, kMixRate, 2, in.data(), source.size() / 2, nullptr, out.data(), out.size() / 2, &made,
                         &io, &quality, nullptr),
            nullptr);
  ASSERT_EQ(made, source.size());

  // The capture may begin a few frames before the play does: the first frames that match tell.
  const size_t frames = static_cast<size_t>(kMixRate) * 7400 / 1000;
  auto differ = [&](size_t lag, size_t i) {
    const long expected = std::lrint(std::clamp(out[i], -32768.0f, 32767.0f));
    return static_cast<int>(std::labs(expected - heard[i + 2 * lag]));
  };
  size_t lag = 0;
  for (int64_t best = -1, l = 0; l < 64; ++l) {
    int64_t error = 0;
    for (size_t i = 0; i < 2048; ++i) error += differ(static_cast<size_t>(l), i);
    if (best < 0 || error < best) best = error, lag = static_cast<size_t>(l);
  }
  ASSERT_GE(heard.size(), 2 * (frames + lag));
  int worst = 0;
  size_t worstAt = 0;
  for (size_t i = 0; i < 2 * frames; ++i) {
    if (differ(lag, i) > worst) worst = differ(lag, i), worstAt = i / 2;
  }
  EXPECT_LE(lag, 16u);
  EXPECT_LE(worst, 1) << "at mix frame " << worstAt;
  int loud = 0;
  for (size_t i = 0; i < 2 * frames; ++i) loud = std::max(loud, std::abs(static_cast<int>(heard[i])));
  EXPECT_GT(loud, 12000) << "the sound is heard";
}

TEST_F(StreamResample, TheStartAndTheRefillsConvertNothingAndTheMixConvertsWhatItPlays) {
  const int h = Make(Noise(kRate * 10));
  ASSERT_NE(h, -1);
  // Nobody listens: the four-second first fill and two seconds of refills convert nothing.
  ASSERT_EQ(PlaySoundHandle(h, kPlayBack, 1), 0);
  EXPECT_EQ(Converted(h), 0u);
  Play(2000);
  EXPECT_EQ(Converted(h), 0u);
  // Mixed from two seconds in: what is played is converted once, in whole blocks, and no more,
  // though the refills meanwhile write three to four seconds ahead.
  plat::test::CaptureSoundOutput(true);
  Play(3000);
  const uint64_t mixed = plat::test::TakeSoundOutput().size() / 2;
  plat::test::CaptureSoundOutput(false);
  ASSERT_GT(mixed, uint64_t{kMixRate} * 29 / 10);
  EXPECT_GE(Converted(h), mixed);
  EXPECT_LE(Converted(h), mixed + 2 * plat::dsound::kPrepareBlock);
}

}  // namespace
}  // namespace orbel::testing

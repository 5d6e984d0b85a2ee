// A movie's sound through the DirectSound stand-in's mixer: the tone of the test movie comes out while
// the stream runs and stops when it is held; a movie without sound adds nothing.
#include <cmath>
#include <vector>

#include "dshow_test_fixture.h"

namespace {

using namespace dshow_test;

struct Heard {
  double rms;        // 16-bit units
  int crossingsPerSecond;  // upward zero crossings of the left channel
};

Heard Listen(const std::vector<int16_t>& stereo) {
  Heard h{0.0, 0};
  const size_t frames = stereo.size() / 2;
  if (frames < 2) return h;
  double sum = 0.0;
  int crossings = 0;
  for (size_t i = 0; i < frames; ++i) {
    sum += static_cast<double>(stereo[i * 2]) * stereo[i * 2];
    if (i > 0 && stereo[(i - 1) * 2] < 0 && stereo[i * 2] >= 0) ++crossings;
  }
  h.rms = std::sqrt(sum / static_cast<double>(frames));
  h.crossingsPerSecond = static_cast<int>(crossings * 44100.0 / static_cast<double>(frames));
  return h;
}

class DShowSound : public DShowTest {
 protected:
  // Runs the stream for `frames` frames, updating each frame as a program drawing the movie does.
  void Play(int frames) {
    for (int i = 0; i < frames; ++i) {
      Advance(kFrame);
      EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
    }
  }
};

TEST_F(DShowSound, TheMoviesToneReachesTheMixerWhileItRuns) {
  ASSERT_EQ(OpenStream(TestMovies().mpeg4), S_OK);
  MakeSample();
  test::CaptureSoundOutput(true);
  ASSERT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  Play(10);
  const std::vector<int16_t> running = test::TakeSoundOutput();
  ASSERT_GT(running.size(), 44100u * 2 * 9 / 10);
  // The first part: a 1 kHz tone of amplitude 8,000 (rms about 5,657).
  const std::vector<int16_t> middle(running.begin() + 4410 * 2, running.begin() + 44100 * 2 * 8 / 10);
  const Heard tone = Listen(middle);
  EXPECT_NEAR(tone.rms, 5657.0, 400.0);
  EXPECT_NEAR(tone.crossingsPerSecond, 1000, 20);

  IMediaControl* control = nullptr;
  ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)), S_OK);
  EXPECT_EQ(control->Pause(), S_OK);
  control->Release();
  Advance(kSecond / 2);
  const Heard held = Listen(test::TakeSoundOutput());
  EXPECT_EQ(held.rms, 0.0) << "held, the stream is silent";
}

TEST_F(DShowSound, AMovieWithoutSoundAddsNothing) {
  ASSERT_EQ(OpenStream(TestMovies().mjpeg), S_OK);
  MakeSample();
  test::CaptureSoundOutput(true);
  ASSERT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
  Play(5);
  EXPECT_EQ(Listen(test::TakeSoundOutput()).rms, 0.0);
}

}  // namespace

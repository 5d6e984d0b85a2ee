// A movie's sound through the DirectSound stand-in's mixer: the tone of the test movie comes out while
// the stream runs and stops when it is held; the sound keeps to the stream clock with no sample updated
// for longer than the video read ahead may hold, from a sound stream that begins after the picture, and
// across a seek; a movie without sound adds nothing.
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
  // A matroska film of 40 x 32 at 30 frames a second whose sound beeps at each second's start, pitched
  // by the second, from second `soundFrom` on.
  std::string WriteBeeps(const std::string& name, int seconds, int soundFrom) {
    moviegen::MovieSpec spec;
    spec.path = TestMovies().dir + "/" + name;
    spec.container = "matroska";
    spec.width = 40, spec.height = 32, spec.fpsNumerator = 30, spec.frames = 30 * seconds;
    spec.sound = true, spec.beeps = true, spec.soundFromSecond = soundFrom;
    std::string error;
    EXPECT_TRUE(moviegen::WriteMovie(spec, &error)) << error;
    return spec.path;
  }
  // Runs the stream for `length` without updating a sample, taking the output as a sound device does.
  void RunUnseen(STREAM_TIME length, std::vector<int16_t>* heard) {
    for (STREAM_TIME t = 0; t < length; t += kSecond / 20) {
      Advance(kSecond / 20);
      test::SettleMovieUpdates();
      const std::vector<int16_t> due = test::TakeSoundOutput();
      heard->insert(heard->end(), due.begin(), due.end());
    }
  }
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
  test::TakeSoundOutput();  // what was due up to the hold
  Advance(kSecond / 2);
  const Heard held = Listen(test::TakeSoundOutput());
  EXPECT_EQ(held.rms, 0.0) << "held, the stream is silent";
}

TEST_F(DShowSound, TheSoundKeepsToTheStreamClockWithoutUpdatesAndAcrossASeek) {
  // 22 s: more video packets than are kept for later while nothing is updated. The sound begins at
  // second 1.
  ASSERT_EQ(OpenStream(WriteBeeps("beeps.mkv", 22, 1)), S_OK);
  MakeSample();
  test::CaptureSoundOutput(true);
  ASSERT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  std::vector<int16_t> heard;
  RunUnseen(kSecond * 205 / 10, &heard);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 615 % 30);
  ASSERT_EQ(stream->Seek(kSecond * 35 / 10), S_OK);  // half a second before the beep of second 4
  RunUnseen(kSecond, &heard);

  // Each second's beep at its time from the run (ms); the beep of second 3 lies before the seek's target.
  std::vector<std::pair<int, int>> expected;
  for (int second = 1; second <= 20; ++second) expected.emplace_back(second, second * 1000);
  expected.emplace_back(4, 21000);
  const std::vector<moviegen::HeardBeep> beeps = moviegen::ListenForBeeps(heard);
  ASSERT_EQ(beeps.size(), expected.size());
  for (size_t i = 0; i < beeps.size(); ++i) {
    EXPECT_EQ(beeps[i].second, expected[i].first % 8) << "beep " << i;
    EXPECT_NEAR(beeps[i].frame * 1000.0 / 44100, expected[i].second, 5.0) << "beep " << i;
  }
}

TEST_F(DShowSound, WhileTheSoundIsSoughtFarAheadTheFrameDueIsShownAtOnce) {
  // The sound begins at second 20: reading on for it passes the frames whose time has come, and the
  // next update shows the one due without waiting for its successor.
  ASSERT_EQ(OpenStream(WriteBeeps("late.mkv", 21, 20)), S_OK);
  MakeSample();
  test::CaptureSoundOutput(true);
  ASSERT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  std::vector<int16_t> heard;
  RunUnseen(kSecond + kSecond / 20, &heard);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(sample->Update(0, event, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 31 % 30);
  CloseHandle(event);
  RunUnseen(kSecond * 195 / 10, &heard);
  const std::vector<moviegen::HeardBeep> beeps = moviegen::ListenForBeeps(heard);
  ASSERT_EQ(beeps.size(), 1u);
  EXPECT_EQ(beeps[0].second, 20 % 8);
  EXPECT_NEAR(beeps[0].frame * 1000.0 / 44100, 20000, 5.0);
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

// A film's sound beside its picture when the program stops drawing the film's graph for a while (a
// loading screen, a scene that hides the film) and then draws it again, on both movie roads: the film
// beeps at the start of each second, each beep pitched by its second, and every beep is heard once,
// within 0.1 s of the first frame of its second, before the gap and after it; each draw shows the frame
// whose time has come last. Heard through the mixer's captured output, taken frame by frame as a sound
// device takes it, on the virtual clock.
#include <cmath>
#include <map>

#include "movie_test_fixture.h"
#include "orbel.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/sound/stream_sound.h"
#include "platform/dshow/test_controls.h"
#include "platform/dsound/dsound_test_controls.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/clock_test_controls.h"

namespace orbel::testing {
namespace {

constexpr int kX = 10;  // where the graph is drawn on the back screen
constexpr int kY = 20;
constexpr int kFps = 30;
constexpr int kSeconds = 6;
constexpr double kGapFrom = 1.5;  // seconds into the film where the drawing stops
constexpr double kMixRate = 44100.0;

// Frame n's time in the film, seconds. The Theora film's frames are evenly spaced. The DirectShow
// film's come in pairs 1/120 s apart, a pair every 1/15 s: 30 a second, as the file declares, yet a
// player that paced them at that rate would show the second of a pair a draw late.
double EvenFrameTime(int n) { return n / static_cast<double>(kFps); }
double PairedFrameTime(int n) {
  const int i = n % kFps;  // of its second
  return n / kFps + i / 2 / 15.0 + i % 2 / 120.0;
}

struct SyncCase {
  const char* name;
  bool theora;
  double gap;  // seconds without drawing
};

class MovieSoundSyncTest : public MovieLibraryTest, public ::testing::WithParamInterface<SyncCase> {
 protected:
  void LoadFilm() {
    std::string name;
    if (GetParam().theora) {
      MovieSpec spec;
      spec.frames = kFps * kSeconds;
      spec.withSound = true;
      spec.beepHz = moviegen::BeepHz;
      name = WriteMovie("beeps.ogv", spec);
    } else {
      moviegen::MovieSpec spec;
      spec.container = "matroska";
      spec.fpsNumerator = kFps;
      spec.frames = kFps * kSeconds;
      spec.frameTime = PairedFrameTime;
      spec.sound = true;
      spec.beeps = true;
      name = WriteCodedMovie("beeps.mkv", spec);
    }
    graph_ = ::LoadGraphFile(name.c_str(), 0);
    ASSERT_NE(graph_, -1) << LogText();
    movie_ = GetMovieData(GetGraphRecord(graph_)->movie);
  }

  // The frame the graph shows (mod 30), drawn as a frame of a game draws it.
  int Draw() {
    EXPECT_EQ(::SelectDrawScreen(kDrawScreenBack), 0);
    ::DrawRectangle(0, 0, 200, 200, ::MakeColor(255, 0, 255), 1);
    ::DrawGraphAt(kX, kY, graph_, 0);
    if (GetParam().theora) return FrameInPicture(BackPixel, kX, kY) % kFps;
    int sum = 0;  // the mean green of a block in the middle of the flat picture
    for (int y = 20; y < 28; ++y) {
      for (int x = 28; x < 36; ++x) sum += static_cast<int>((BackPixel(kX + x, kY + y) >> 8) & 0xFF);
    }
    return moviegen::FrameFromGrey((sum + 32) / 64);
  }

  double FrameTime(int n) const { return GetParam().theora ? EvenFrameTime(n) : PairedFrameTime(n); }

  int graph_ = -1;
  MovieHandleRecord* movie_ = nullptr;
};

TEST_P(MovieSoundSyncTest, EachBeepIsHeardWithTheFirstFrameOfItsSecond) {
  ASSERT_EQ(Start({0, 32}), 0);
  LoadFilm();
  plat::test::CaptureSoundOutput(true);
  const double heardFrom = static_cast<double>(plat::clock::NowMicroseconds());
  movie_->playingWanted = 1;
  ResumeAllMovie();
  const uint64_t start = plat::clock::NowMicroseconds();

  std::map<int, double> pictures;  // second -> clock (us) when its first frame was due, as drawn
  std::vector<int16_t> heard;
  int previous = -1;
  for (int step = 0; step < kFps * kSeconds - 2; ++step) {
    // A frame of the program: the clock moves on, the message pump services stream sounds, the sound
    // device takes what is due, and the graph is drawn unless the film is hidden.
    const uint64_t at = start + static_cast<uint64_t>((step + 0.5) * 1e6 / kFps);
    const uint64_t now = plat::clock::NowMicroseconds();
    if (at > now) plat::test::AdvanceClock(at - now);
    ServiceAllStreamSounds();
    plat::test::SettleMovieUpdates();
    const std::vector<int16_t> due = plat::test::TakeSoundOutput();
    heard.insert(heard.end(), due.begin(), due.end());
    const double t = step / static_cast<double>(kFps);
    if (t >= kGapFrom && t < kGapFrom + GetParam().gap) {
      previous = -1;
      continue;
    }
    const double clock = static_cast<double>(plat::clock::NowMicroseconds());
    const int shown = Draw();
    const double filmTime = (clock - static_cast<double>(start)) / 1e6;
    int latest = 0;  // the frame whose time has come last
    while (latest + 1 < kFps * kSeconds && FrameTime(latest + 1) <= filmTime) ++latest;
    EXPECT_EQ(shown, latest % kFps) << "at " << filmTime << " s";
    if (previous >= 0 && shown < previous) {  // the first frame drawn of a new second
      // The draw taken as halfway through the frame's showing, its second began that long before.
      const double firstDue = clock - (FrameTime(shown) + FrameTime(shown + 1)) / 2 * 1e6;
      pictures[static_cast<int>(std::lround((firstDue - static_cast<double>(start)) / 1e6))] = firstDue;
    }
    previous = shown;
  }

  const std::vector<moviegen::HeardBeep> beeps = moviegen::ListenForBeeps(heard);
  ASSERT_EQ(beeps.size(), static_cast<size_t>(kSeconds)) << "each beep once, the hidden seconds' too";
  int before = 0;
  int after = 0;
  for (const auto& [second, firstDue] : pictures) {
    const moviegen::HeardBeep& beep = beeps[second];
    EXPECT_EQ(beep.second, second);
    const double offset = (heardFrom + static_cast<double>(beep.frame) * 1e6 / kMixRate - firstDue) / 1e6;
    EXPECT_NEAR(offset, 0.0, 0.1) << "second " << second << " is heard " << offset << " s after its picture";
    ++(second < kGapFrom ? before : after);
  }
  EXPECT_EQ(before, 1);
  EXPECT_GE(after, 2);
}

INSTANTIATE_TEST_SUITE_P(Roads, MovieSoundSyncTest,
                         ::testing::Values(SyncCase{"DirectShow", false, 0.8}, SyncCase{"DirectShow", false, 2.0},
                                           SyncCase{"Theora", true, 0.8}, SyncCase{"Theora", true, 2.0}),
                         [](const ::testing::TestParamInfo<SyncCase>& info) {
                           return std::string(info.param.name) + (info.param.gap < 1 ? "ShortGap" : "LongGap");
                         });

}  // namespace
}  // namespace orbel::testing

// Movies shown in graphs: the load on each road, playing by the clock and by the sound, looping and the
// end, deactivation, surface loss and mode changes, the picture region, the close, and what a file
// neither road can play gives.
#include "movie_test_fixture.h"
#include "orbel.h"
#include "orbel/core/library.h"
#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/memory.h"
#include "orbel/file/qva_writer.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/movie/movie_system.h"
#include "orbel/sound/sound_handle.h"
#include "orbel/sound/stream_sound.h"
#include "platform/ddraw/test_controls.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/kernel/thread.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window_messages.h"

namespace orbel::testing {
namespace {

constexpr int kX = 10;  // where the graph is drawn on the back screen
constexpr int kY = 20;

class MovieGraphTest : public MovieLibraryTest {
 protected:
  int Load(const std::string& name) {
    graph_ = ::LoadGraphFile(name.c_str(), 0);
    EXPECT_NE(graph_, -1) << LogText();
    if (graph_ == -1) return -1;
    movie_ = GetMovieData(GetGraphRecord(graph_)->movie);
    return graph_;
  }
  // Draws the graph as a frame of a game does and reads the frame number off the back screen.
  int Draw() {
    EXPECT_EQ(::SelectDrawScreen(kDrawScreenBack), 0);
    ::DrawRectangle(0, 0, 200, 200, ::MakeColor(255, 0, 255), 1);
    ::DrawGraphAt(kX, kY, graph_, 0);
    return FrameInPicture(BackPixel, kX, kY);
  }
  // Raises the playing flag and resumes the movie the way activation does.
  void Play(uint32_t playType) {
    movie_->playType = playType;
    movie_->playingWanted = 1;
    ResumeAllMovie();
    ASSERT_EQ(movie_->stopped, 0u);
    start_ = plat::clock::NowMicroseconds();
  }
  // The clock at the middle of frame `frame` since Play.
  void ClockAtFrame(double frame, double fps = 30.0) {
    const uint64_t at = start_ + static_cast<uint64_t>((frame + 0.5) * 1000000.0 / fps);
    const uint64_t now = plat::clock::NowMicroseconds();
    if (at > now) plat::test::AdvanceClock(at - now);
  }
  void Activate(bool active) {
    plat::SendMessageA(GetMainWindowHandle(), plat::WM_ACTIVATE, active ? plat::WA_ACTIVE : plat::WA_INACTIVE, 0);
  }

  int graph_ = -1;
  MovieHandleRecord* movie_ = nullptr;
  uint64_t start_ = 0;
};

class MovieRoadTest : public MovieGraphTest, public ::testing::WithParamInterface<GraphRoad> {};

TEST_P(MovieRoadTest, ALoadedMovieShowsItsFirstFrameAndStaysStopped) {
  ASSERT_EQ(Start(GetParam()), 0);
  MovieSpec spec;
  spec.withSound = true;
  ASSERT_NE(Load(WriteMovie("film.ogv", spec)), -1);
  int w = 0, h = 0;
  GetGraphExtent(graph_, &w, &h);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 48);
  EXPECT_EQ(Draw(), 0);
  EXPECT_NE(movie_->sound, -1);
  EXPECT_EQ(IsSoundHandlePlaying(movie_->sound), 0);
  plat::test::AdvanceClock(2000000);
  EXPECT_EQ(Draw(), 0);
  EXPECT_EQ(movie_->stopped, 1u);
  EXPECT_EQ(movie_->frameUpdated, 1u);
}

TEST_P(MovieRoadTest, APlayingMovieShowsFrameNAtNOverTheRateAndStopsAtItsEnd) {
  ASSERT_EQ(Start(GetParam()), 0);
  MovieSpec spec;
  spec.frames = 45;
  ASSERT_NE(Load(WriteMovie("film.ogv", spec)), -1);
  Play(1);
  for (int n = 0; n < 45; ++n) {
    ClockAtFrame(n);
    EXPECT_EQ(Draw(), n);
  }
  ClockAtFrame(60);
  EXPECT_EQ(Draw(), 44);
  EXPECT_EQ(movie_->stopped, 1u);
  EXPECT_EQ(movie_->playingWanted, 0u);
  ResumeAllMovie();  // stopped for good: it stays
  EXPECT_EQ(movie_->stopped, 1u);
}

TEST_P(MovieRoadTest, ALostOrRecreatedDisplayShowsTheRightFrameAgain) {
  ASSERT_EQ(Start(GetParam()), 0);
  ASSERT_NE(Load(WriteMovie("film.ogv", MovieSpec{})), -1);
  Play(1);
  ClockAtFrame(7);
  EXPECT_EQ(Draw(), 7);
  ASSERT_EQ(PauseMovieHandle(GetGraphRecord(graph_)->movie, 0), 0);
  if (!GetParam().software) {
    plat::test::LoseAllSurfaces();
    ::FlipScreen();
    ::FlipScreen();
    EXPECT_EQ(Draw(), 7);
  }
  // The desktop changes under the window: the display is made anew and the graphs with it.
  static int restores = 0;
  restores = 0;
  SetGraphRestoreHandler([] { return ++restores; });
  plat::SendMessageA(GetMainWindowHandle(), plat::WM_DISPLAYCHANGE, static_cast<plat::WPARAM>(GetParam().depth),
                     plat::MAKELPARAM(2560, 1440));
  EXPECT_EQ(restores, 1);
  EXPECT_EQ(Draw(), 7);
  EXPECT_EQ(movie_->stopped, 1u);
}

TEST_P(MovieRoadTest, APictureRegionOffTheBlockGridShowsNoPadding) {
  ASSERT_EQ(Start(GetParam()), 0);
  MovieSpec spec;
  spec.pictureWidth = 38;
  spec.pictureHeight = 22;
  spec.pictureX = 6;
  spec.pictureY = 4;
  spec.frames = 2;
  ASSERT_NE(Load(WriteMovie("odd.ogv", spec)), -1);
  int w = 0, h = 0;
  GetGraphExtent(graph_, &w, &h);
  EXPECT_EQ(w, 38);
  EXPECT_EQ(h, 22);
  Draw();
  // 16-bit Direct3D graphs are 1-5-5-5 textures: green loses a bit more than on the 5-6-5 screen.
  const int tolerance = GetParam().direct3D && GetParam().depth == 16 ? 20 : 12;
  for (int y = 0; y < 22; ++y) {
    for (int x = 0; x < 38; ++x) {
      const int grey = (BackPixel(kX + x, kY + y) >> 8) & 0xFF;
      if (y >= 16 || x >= 32) {
        // The still background: its 8-pixel checker starts at the picture's corner.
        const int expected = ((x / 8 + y / 8) & 1) ? 156 : 62;
        ASSERT_NEAR(grey, expected, tolerance) << x << "," << y;
      } else {
        ASSERT_LT(grey, 240) << x << "," << y;  // never the white padding
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Roads, MovieRoadTest, AllRoads(), RoadTestName);

TEST_F(MovieGraphTest, ALoopingMovieComesRoundAndAPlayOnceOneHolds) {
  ASSERT_EQ(Start({0, 32}), 0);
  MovieSpec spec;
  spec.frames = 20;
  ASSERT_NE(Load(WriteMovie("loop.ogv", spec)), -1);
  Play(3);  // loop bit
  for (const double at : {5.0, 19.0, 20.0, 26.0, 50.0, 59.0, 61.0}) {
    ClockAtFrame(at);
    EXPECT_EQ(Draw(), static_cast<int>(at) % 20) << at;
  }
  EXPECT_EQ(movie_->stopped, 0u);
}

TEST_F(MovieGraphTest, APositionPastHalfAnHourResumesWhereItStopped) {
  ASSERT_EQ(Start({1, 32}), 0);
  MovieSpec spec;
  spec.frames = 6;
  spec.fpsNumerator = 1;  // a frame every 1,000 s: frame 3 lies 3,000 s in, past 32-bit microseconds
  spec.fpsDenominator = 1000;
  ASSERT_NE(Load(WriteMovie("slow.ogv", spec)), -1);
  SeekTheoraMovieFrame(movie_->theora, 3);
  Play(1);
  EXPECT_EQ(Draw(), 3);
  plat::test::AdvanceClock(uint64_t{1500} * 1000000);
  EXPECT_EQ(Draw(), 4);
}

TEST_F(MovieGraphTest, DeactivationPausesAndActivationContinuesFromTheStoppedFrame) {
  ASSERT_EQ(Start({0, 32}), 0);
  ASSERT_NE(Load(WriteMovie("film.ogv", MovieSpec{})), -1);
  Play(1);
  ClockAtFrame(10);
  EXPECT_EQ(Draw(), 10);
  Activate(false);
  EXPECT_EQ(movie_->stopped, 1u);
  EXPECT_EQ(movie_->playingWanted, 1u);
  // The library's draw calls wait while the application is inactive; the movie's own update does not.
  plat::test::AdvanceClock(3000000);
  UpdateMovieFrame(GetGraphRecord(graph_)->movie, 0);
  EXPECT_EQ(GetTheoraMovieCurrentFrame(movie_->theora), 10);
  // A movie paused for good is not brought back by activation.
  PauseMovieHandle(GetGraphRecord(graph_)->movie, 1);  // already stopped: nothing changes
  EXPECT_EQ(movie_->playingWanted, 1u);
  Activate(true);
  EXPECT_EQ(movie_->stopped, 0u);
  start_ = plat::clock::NowMicroseconds() - static_cast<uint64_t>(10 * 1000000.0 / 30);
  ClockAtFrame(15);
  EXPECT_EQ(Draw(), 15);
}

TEST_F(MovieGraphTest, TheSoundPlaysAndTheFramesFollowIt) {
  ASSERT_EQ(Start({0, 32}), 0);
  // 24 frames a second, drawn 30 times a second: the frame due is the one the film's own rate puts at
  // the sound's position.
  MovieSpec spec;
  spec.frames = 60;
  spec.fpsNumerator = 24;
  spec.withSound = true;
  ASSERT_NE(Load(WriteMovie("talkie.ogv", spec)), -1);
  const int sound = movie_->sound;
  ASSERT_NE(sound, -1);
  Play(1);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 1);
  for (int step = 1; step <= 50; ++step) {
    plat::test::AdvanceClock(1000000 / 30);
    ServiceAllStreamSounds();
    const int ms = GetSoundCurrentTime(sound);
    const int shown = Draw();
    EXPECT_EQ(shown, std::min(59, ms * 24 / 1000)) << "step " << step;
    // The sound keeps to the clock, so the film does too (within a frame or so).
    EXPECT_NEAR(shown, step * 24 / 30.0, 2) << "step " << step << " at " << ms << " ms";
  }
  Activate(false);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
  const int held = GetTheoraMovieCurrentFrame(movie_->theora);
  Activate(true);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 1);
  EXPECT_GE(Draw(), held);
}

TEST_F(MovieGraphTest, AFilmInAnArchivePlaysWhileTheMainThreadReadsTheSameArchive) {
  ASSERT_EQ(Start({1, 32}), 0);
  MovieSpec spec;
  spec.frames = 40;
  spec.withSound = true;
  const std::vector<uint8_t> film = MakeTheoraMovie(spec);
  std::vector<uint8_t> data(300000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 251);
  // Stored, not coded: members are then read from the archive's one shared file as they are needed.
  QvaWriterOptions options;
  options.compress = false;
  QvaWriter writer(options);
  ASSERT_TRUE(writer.AddFile("film.ogv", film.data(), film.size()));
  ASSERT_TRUE(writer.AddFile("data.bin", data.data(), data.size()));
  WriteFileBytes(work_.path() / "FILMS.QVA", writer.Finish());

  ASSERT_NE(Load("FILMS/film.ogv"), -1);
  ASSERT_NE(movie_->sound, -1);
  ASSERT_EQ(PlaySoundHandle(movie_->sound, 3, 1), 0);  // its stream refills from the archive on the pump
  const FileHandle file = FileAccessOpen("FILMS/data.bin", 0, 1, 0);
  ASSERT_NE(file, 0u);
  std::vector<uint8_t> piece(4096);
  for (int n = 0; n < 40; ++n) {
    // Each jump sends the decode thread back through the film while the main thread reads its own member.
    const int target = n * 17 % 40;
    SeekTheoraMovieFrame(movie_->theora, target);
    plat::test::AdvanceClock(30000);
    ServiceAllStreamSounds();
    for (int k = 0; k < 8; ++k) {
      const int32_t at = static_cast<int32_t>((n * 8 + k) * 4093 % (data.size() - piece.size()));
      ASSERT_EQ(FileAccessSeek(file, at, 0), 0);
      ASSERT_EQ(FileAccessRead(piece.data(), 1, piece.size(), file), piece.size());
      ASSERT_TRUE(std::equal(piece.begin(), piece.end(), data.begin() + at)) << "jump " << n << " read " << k;
    }
    EXPECT_EQ(Draw(), target) << n;
  }
  FileAccessClose(file);
}

TEST_F(MovieGraphTest, ClosingEndsTheThreadBeforeTheFileAndLeavesNothing) {
  ASSERT_EQ(Start({1, 32}), 0);
  const std::string name = WriteMovie("film.ogv", MovieSpec{});
  // Closing the file while the decode thread may still read it would be a fault: the file table says
  // whether the thread was still alive when the file went.
  static plat::HANDLE thread = nullptr;
  static int closedWhileRunning = 0;
  static int (*realClose)(FileHandle) = nullptr;
  FileAccessFunctionTable table = GetFileAccessFunctions();
  realClose = table.Close;
  table.Close = [](FileHandle file) {
    plat::DWORD code = 0;
    if (thread != nullptr && plat::GetExitCodeThread(thread, &code) && code == plat::STILL_ACTIVE) ++closedWhileRunning;
    return realClose(file);
  };
  SetFileAccessFunctions(&table);
  const int blocks = GetMemoryBlockCount();
  ASSERT_NE(Load(name), -1);
  thread = movie_->theora->thread;
  Play(1);
  ClockAtFrame(20);
  AdvanceTheoraMovieFrame(movie_->theora, 3);  // keep the thread busy
  ASSERT_EQ(DeleteGraphHandle(graph_, 0), 0);
  EXPECT_EQ(closedWhileRunning, 0);
  EXPECT_EQ(GetOpenMovieCount(), 0);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  thread = nullptr;
  SetFileAccessFunctions(nullptr);
}

TEST_F(MovieGraphTest, HandlesTakeTheLowestFreeSlotAndGoStale) {
  ASSERT_EQ(Start({1, 32}), 0);
  MovieSpec spec;
  spec.pictureWidth = 32;
  spec.pictureHeight = 16;
  spec.frames = 1;
  const std::string name = WriteMovie("tiny.ogv", spec);
  std::vector<int> handles;
  for (int i = 0; i < kMovieMax; ++i) {
    handles.push_back(OpenMovie(name.c_str(), nullptr, nullptr));
    ASSERT_NE(handles.back(), -1) << i;
    EXPECT_EQ(handles.back() & 0x78000000, kMovieHandleKind);
  }
  const size_t logSize = LogText().size();
  EXPECT_EQ(OpenMovie(name.c_str(), nullptr, nullptr), -1);
  EXPECT_EQ(LogText().size(), logSize);  // a full table says nothing
  const int stale = handles[37];
  ASSERT_EQ(CloseMovie(stale), 0);
  int width = 0;
  const int again = OpenMovie(name.c_str(), &width, nullptr);
  EXPECT_EQ(again & 0xFFFF, 37);
  EXPECT_EQ(width, 32);
  EXPECT_NE(again, stale);
  EXPECT_EQ(GetMovieData(stale), nullptr);
  EXPECT_EQ(CloseMovie(stale), -1);
  EXPECT_EQ(SetMovieFrameCallback(stale, nullptr, nullptr), -1);
  EXPECT_EQ(PauseMovieHandle(stale, 0), -1);
  EXPECT_EQ(UpdateMovieFrame(stale, 0), 0);
  handles[37] = again;
  for (const int h : handles) EXPECT_EQ(CloseMovie(h), 0);
  EXPECT_EQ(GetOpenMovieCount(), 0);
}

TEST_F(MovieGraphTest, FilesNeitherRoadPlaysAreRefusedWithTheirLines) {
  ASSERT_EQ(Start({0, 32, 0}), 0);
  WriteFileText(work_.path() / "notes.txt", "not a film at all");
  WriteFileBytes(work_.path() / "sound.ogg", MakeVorbisOnlyOgg(0.3));
  // DirectShow's reason comes first: a file no filter reads, or one without pictures.
  const std::pair<const char*, std::string> files[] = {{"notes.txt", "ファイル:notes.txt が開けませんでした"},
                                                       {"sound.ogg", "動画ファイルではない可能性があります！"}};
  for (const auto& [name, reason] : files) {
    const size_t before = ReadLogMessages(work_.path() / "Log.txt").size();
    EXPECT_EQ(::LoadGraphFile(name, 0), -1) << name;
    const std::vector<std::string> lines = ReadLogMessages(work_.path() / "Log.txt");
    size_t at = before;
    while (at < lines.size() && lines[at] != reason) ++at;
    ASSERT_LT(at + 2, lines.size()) << name;
    EXPECT_EQ(lines[at + 1], "ムービーファイルオープン処理時にエラーが発生しました");
    EXPECT_EQ(lines[at + 2], std::string("右記のグラフィックファイルのロードに失敗しました：") + name + " ");
  }
  EXPECT_EQ(GetOpenMovieCount(), 0);
}

// A frame whose destination cannot be locked says so with the movie's own line, where a picture written
// into the same surface keeps the 2D surface's line. (A movie graph's own pixels are a memory image:
// the frame goes into a graph of DirectDraw pixels showing the same movie.)
TEST_F(MovieGraphTest, AFrameThatCannotLockItsSurfaceLogsTheMovieLine) {
  ASSERT_EQ(Start({0, 32, 0}), 0);
  ASSERT_NE(Load(WriteMovie("film.ogv", MovieSpec{})), -1);
  SetNewGraphMemImgFlag(0);
  const int plain = MakeEmptyGraph(64, 48, 1);
  ASSERT_NE(plain, -1);
  GraphRecord* g = GetGraphRecord(plain);
  g->movie = GetGraphRecord(graph_)->movie;
  const GraphImage* frame = nullptr;
  ASSERT_EQ(GetMovieFrameImage(movie_, &frame), 0);
  ASSERT_NE(frame, nullptr);
  const plat::RECT whole = {0, 0, 64, 48};
  const std::string movieLine = "ムービーグラフィック転送先サーフェスのロックに失敗しました";
  const std::string surfaceLine = "２Ｄサーフェスのロックに失敗しました";
  // What the log gained since it held `before` characters.
  const auto logSince = [&](size_t before) { return LogText().substr(before); };

  size_t before = LogText().size();
  plat::test::FailDisplayCall("Lock");
  EXPECT_EQ(TransferMovieFrameToSurface(movie_, g), -1);
  EXPECT_NE(logSince(before).find(movieLine), std::string::npos) << logSince(before);
  EXPECT_EQ(logSince(before).find(surfaceLine), std::string::npos) << logSince(before);

  before = LogText().size();
  plat::test::FailDisplayCall("Lock");
  EXPECT_EQ(TransferImageToSurface2D(nullptr, nullptr, nullptr, &whole, 0, 0, g->parts[0], kTransferImage, frame,
                                     nullptr, nullptr),
            -1);
  EXPECT_NE(logSince(before).find(surfaceLine), std::string::npos) << logSince(before);
  EXPECT_EQ(logSince(before).find(movieLine), std::string::npos) << logSince(before);

  // With the lock granted the frame goes in.
  EXPECT_EQ(TransferMovieFrameToSurface(movie_, g), 0);
  g->movie = -1;
}

}  // namespace
}  // namespace orbel::testing

// Films that are not Ogg Theora, played through the DirectShow stand-in into graphs: the first frame of
// a loaded film, playing by the stream clock with at most one sample update per presented frame, the
// end and the loop, deactivation, the release before a display change and the re-open after it, the
// temporary copy of an archive member, the lines of a failing open, software rendering, and the
// overlay placement.
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "movie_test_fixture.h"
#include "orbel.h"
#include "orbel/core/main_window.h"
#include "orbel/core/memory.h"
#include "orbel/file/qva_writer.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/movie/movie_directshow.h"
#include "platform/ddraw/test_controls.h"
#include "platform/dshow/test_controls.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/kernel/find_file.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/kernel/kernel_object.h"
#include "platform/win/kernel/sync.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window_messages.h"

namespace orbel::testing {
namespace {

constexpr int kX = 10;  // where the graph is drawn on the back screen
constexpr int kY = 20;
constexpr GraphRoad kDirectDraw32{0, 32, 0};

bool NoStreamObjectsLeft() {
  const plat::test::MovieCounters left = plat::test::GetMovieCounters();
  return left.graphs + left.multiMediaStreams + left.mediaStreams + left.samples + left.decoders == 0;
}

class DirectShowMovieTest : public MovieLibraryTest {
 protected:
  void SetUp() override {
    MovieLibraryTest::SetUp();
    plat::test::ResetMovies();
    // Temporary copies go into the process's own folder, where they can be counted.
    char folder[plat::MAX_PATH];
    const plat::DWORD length = plat::GetTempPathA(sizeof(folder), folder);
    ASSERT_GT(length, 0u);
    tempDir_ = DiskPath(std::string(folder, length));
  }
  void TearDown() override {
    plat::test::ResetMovies();
    MovieLibraryTest::TearDown();
  }

  static moviegen::MovieSpec Film(int frames = 30, const char* codec = "mpeg4") {
    moviegen::MovieSpec spec;
    spec.frames = frames;
    spec.videoCodec = codec;
    return spec;
  }
  int Load(const std::string& name) {
    graph_ = ::LoadGraphFile(name.c_str(), 0);
    EXPECT_NE(graph_, -1) << LogText();
    if (graph_ == -1) return -1;
    handle_ = GetGraphRecord(graph_)->movie;
    movie_ = GetMovieData(handle_);
    return graph_;
  }
  // Draws the graph as a frame of a game does and reads the frame number off the back screen.
  int Draw() {
    EXPECT_EQ(::SelectDrawScreen(kDrawScreenBack), 0);
    ::DrawRectangle(0, 0, 200, 200, ::MakeColor(255, 0, 255), 1);
    ::DrawGraphAt(kX, kY, graph_, 0);
    return FrameOf([](int x, int y) { return BackPixel(kX + x, kY + y); });
  }
  // The frame a picture shows: the mean green of a block in its middle (16-bit pictures are dithered).
  template <typename Pixel>
  static int FrameOf(Pixel pixel) {
    int sum = 0;
    for (int y = 20; y < 28; ++y) {
      for (int x = 28; x < 36; ++x) sum += static_cast<int>((pixel(x, y) >> 8) & 0xFF);
    }
    return moviegen::FrameFromGrey((sum + 32) / 64);
  }
  // Raises the playing flag and resumes the film the way activation does.
  void Play(uint32_t playType) {
    movie_->playType = playType;
    movie_->playingWanted = 1;
    ResumeAllMovie();
    ASSERT_EQ(movie_->stopped, 0u);
    start_ = plat::clock::NowMicroseconds();
  }
  // The clock at the middle of frame `frame` (30 a second) after `from`, the stream's updates at rest.
  void At(double frame, uint64_t from = 0) {
    const uint64_t at = (from != 0 ? from : start_) + static_cast<uint64_t>((frame + 0.5) * 1000000.0 / 30);
    const uint64_t now = plat::clock::NowMicroseconds();
    if (at > now) plat::test::AdvanceClock(at - now);
    plat::test::SettleMovieUpdates();
  }
  void Activate(bool active) {
    plat::SendMessageA(GetMainWindowHandle(), plat::WM_ACTIVATE, active ? plat::WA_ACTIVE : plat::WA_INACTIVE, 0);
  }
  // The desktop changes under the window: the streams are released, the display made anew, re-opened.
  void ChangeDesktop() {
    plat::SendMessageA(GetMainWindowHandle(), plat::WM_DISPLAYCHANGE, 32, plat::MAKELPARAM(2560, 1440));
  }
  std::vector<std::string> LogLines() const { return ReadLogMessages(work_.path() / "Log.txt"); }
  // The reason logged by the last refused open (the line before the open's own line), or "".
  std::string RefusalReason() const {
    const std::vector<std::string> lines = LogLines();
    if (lines.size() < 2 || lines.back() != "ムービーファイルオープン処理時にエラーが発生しました") return "";
    return lines[lines.size() - 2];
  }
  size_t TempFiles() const {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(tempDir_)) {
      count += entry.path().filename().string().rfind("tmp", 0) == 0 ? 1 : 0;
    }
    return count;
  }

  int graph_ = -1;
  int handle_ = -1;
  MovieHandleRecord* movie_ = nullptr;
  uint64_t start_ = 0;
  std::filesystem::path tempDir_;
};

class DirectShowRoadTest : public DirectShowMovieTest, public ::testing::WithParamInterface<GraphRoad> {};

TEST_P(DirectShowRoadTest, ALoadedFilmShowsItsFirstFrameAndStaysStopped) {
  ASSERT_EQ(Start(GetParam()), 0);
  ASSERT_NE(Load(WriteCodedMovie("film.avi", Film())), -1);
  int w = 0, h = 0;
  GetGraphExtent(graph_, &w, &h);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 48);
  MovieGraphInfo info{};
  ASSERT_EQ(GetMovieGraphInfo(handle_, &info), 0);
  EXPECT_EQ(info.directShowSurface, 1);
  EXPECT_EQ(info.drawsToWindow, 0);
  EXPECT_EQ(Draw(), 0);
  plat::test::AdvanceClock(2000000);
  plat::test::SettleMovieUpdates();
  EXPECT_EQ(Draw(), 0);
  EXPECT_EQ(movie_->stopped, 1u);
  EXPECT_EQ(movie_->frameUpdated, 1u);

  // Asked for a window overlay, which the display cannot give: frames go into a 24-bit surface, or on a
  // 32-bit screen into one of the screen's format.
  const int other = OpenMovie("film.avi", nullptr, nullptr, 1);
  ASSERT_NE(other, -1);
  MovieHandleRecord* m = GetMovieData(other);
  const bool deep = GetParam().depth == 32;
  EXPECT_EQ(m->presentationMode, deep ? 0u : 2u);
  const GraphImage& image = m->frameImageArea;
  ASSERT_EQ(image.format.bitDepth, deep ? 32 : 24);
  m->directShow.multiMediaStream->Seek(static_cast<plat::STREAM_TIME>(5.5 / 30 * 10000000));
  UpdateMovieFrame(other, 1);
  const uint8_t* middle = static_cast<const uint8_t*>(image.pixels) + 24 * image.pitch + 32 * image.format.bytesPerPixel;
  EXPECT_EQ(moviegen::FrameFromGrey(middle[1]), 5);
  EXPECT_EQ(CloseMovie(other), 0);
}

TEST_P(DirectShowRoadTest, APlayingFilmFollowsItsClockAndStopsAtItsEnd) {
  ASSERT_EQ(Start(GetParam()), 0);
  ASSERT_NE(Load(WriteCodedMovie("film.avi", Film())), -1);
  Play(1);
  for (int n = 0; n < 30; ++n) {
    At(n);
    EXPECT_EQ(Draw(), n);
  }
  At(33);
  EXPECT_EQ(Draw(), 29);
  EXPECT_EQ(movie_->stopped, 1u);
  EXPECT_EQ(movie_->playingWanted, 0u);
  ResumeAllMovie();  // stopped for good: it stays
  EXPECT_EQ(movie_->stopped, 1u);
}

TEST_P(DirectShowRoadTest, AfterADisplayChangeAFilmGoesOnFromWhereItWas) {
  ASSERT_EQ(Start(GetParam()), 0);
  ASSERT_NE(Load(WriteCodedMovie("film.avi", Film())), -1);
  Play(1);
  At(10);
  EXPECT_EQ(Draw(), 10);
  static int restores = 0;
  restores = 0;
  SetGraphRestoreHandler([] { return ++restores; });
  ChangeDesktop();
  EXPECT_EQ(restores, 1);
  ASSERT_NE(movie_->directShow.surface4, nullptr);  // re-opened
  EXPECT_EQ(movie_->stopped, 0u);
  const uint64_t reopened = plat::clock::NowMicroseconds();
  At(3, reopened);
  EXPECT_NEAR(Draw(), 13, 1);

  // A stopped film is re-opened at its place and stays there.
  ASSERT_EQ(PauseMovieHandle(handle_, 0), 0);
  const int held = Draw();
  ChangeDesktop();
  EXPECT_EQ(restores, 2);
  At(20, plat::clock::NowMicroseconds());
  EXPECT_EQ(Draw(), held);
  EXPECT_EQ(movie_->stopped, 1u);
}

INSTANTIATE_TEST_SUITE_P(Roads, DirectShowRoadTest, AllRoads(), RoadTestName);

TEST_F(DirectShowMovieTest, ALoopingFilmStartsAgainWithoutStopping) {
  ASSERT_EQ(Start(kDirectDraw32), 0);
  ASSERT_NE(Load(WriteCodedMovie("loop.avi", Film(20, "mjpeg"))), -1);
  Play(3);  // loop bit
  At(7);
  EXPECT_EQ(Draw(), 7);
  At(22);
  EXPECT_EQ(Draw(), 19);  // the end is met here: the stream starts again from 0
  EXPECT_EQ(movie_->stopped, 0u);
  const uint64_t restart = plat::clock::NowMicroseconds();
  for (const int n : {0, 5, 12}) {
    At(n, restart);
    EXPECT_EQ(Draw(), n);
  }
  EXPECT_EQ(movie_->stopped, 0u);
  EXPECT_EQ(movie_->playingWanted, 1u);
}

TEST_F(DirectShowMovieTest, AStoppedFilmAsksForItsFirstFrameOncePerOpenAndNeverRunsItself) {
  ASSERT_EQ(Start(kDirectDraw32), 0);
  ASSERT_NE(Load(WriteCodedMovie("film.avi", Film())), -1);
  movie_->playType = 3;  // the loop bit, on a film nobody starts
  plat::IAMMultiMediaStream* stream = movie_->directShow.multiMediaStream;
  ASSERT_EQ(stream->Seek(plat::STREAM_TIME{10000000} / 2), 0);  // half a second in: frame 15
  plat::test::FailMovieCall("Update");
  for (int draw = 0; draw < 3; ++draw) {
    Draw();
    plat::STREAM_STATE state = plat::STREAMSTATE_RUN;
    plat::STREAM_TIME time = 0;
    EXPECT_EQ(stream->GetState(&state), 0);
    EXPECT_EQ(state, plat::STREAMSTATE_STOP) << "draw " << draw;
    EXPECT_EQ(stream->GetTime(&time), 0);
    EXPECT_EQ(time, 10000000 / 2) << "draw " << draw;
    EXPECT_EQ(movie_->frameUpdated, 0u) << "draw " << draw << ": the one failure is not asked again";
  }
  EXPECT_EQ(movie_->stopped, 1u);
  // The next open (after a display change) asks again, at the film's place.
  ChangeDesktop();
  EXPECT_EQ(Draw(), 15);
  EXPECT_EQ(movie_->frameUpdated, 1u);
}

TEST_F(DirectShowMovieTest, OnePresentedFrameTakesOneSampleUpdateUnless18MsHavePassed) {
  ASSERT_EQ(Start(kDirectDraw32), 0);
  ASSERT_NE(Load(WriteCodedMovie("film.avi", Film())), -1);
  Play(1);
  At(0);  // 16.7 ms
  EXPECT_EQ(Draw(), 0);
  // Frame 1 is ready 16.7 ms later, but no frame was presented since: the draw takes no update.
  plat::test::AdvanceClock(16700);
  plat::test::SettleMovieUpdates();
  plat::test::FailMovieCall("Update", 1, plat::MS_S_ENDOFSTREAM);  // an update now would end the film
  EXPECT_EQ(Draw(), 0);
  EXPECT_EQ(movie_->stopped, 0u);
  // Once a frame was presented, the ready frame is taken and the next update started (and refused).
  CountFrame();
  EXPECT_EQ(Draw(), 1);
  EXPECT_EQ(movie_->stopped, 1u);
  EXPECT_EQ(movie_->playingWanted, 0u);

  // Without a presented frame, 18 ms are enough.
  ASSERT_NE(Load(WriteCodedMovie("film2.avi", Film())), -1);
  Play(1);
  At(0);
  EXPECT_EQ(Draw(), 0);
  plat::test::AdvanceClock(18000);
  plat::test::SettleMovieUpdates();
  EXPECT_EQ(Draw(), 1);
}

TEST_F(DirectShowMovieTest, DeactivationHoldsTheFilmAndActivationGoesOnFromThere) {
  ASSERT_EQ(Start(kDirectDraw32), 0);
  ASSERT_NE(Load(WriteCodedMovie("film.avi", Film(60))), -1);
  Play(1);
  At(10);
  EXPECT_EQ(Draw(), 10);
  Activate(false);
  EXPECT_EQ(movie_->stopped, 1u);
  EXPECT_EQ(movie_->playingWanted, 1u);
  plat::test::AdvanceClock(3000000);
  plat::test::SettleMovieUpdates();
  UpdateMovieFrame(handle_, 0);
  EXPECT_EQ(FrameOf([this](int x, int y) { return GraphPixel(graph_, x, y); }), 10);
  Activate(true);
  EXPECT_EQ(movie_->stopped, 0u);
  At(4.9, plat::clock::NowMicroseconds());  // held at 10.5 frames: 15.4 frames in
  EXPECT_EQ(Draw(), 15);
}

// The stream holds the copy open, so its name goes at once; a re-open after a display change copies anew.
TEST_F(DirectShowMovieTest, AFilmInAnArchivePlaysFromATemporaryCopyWhoseNameGoesAtOnce) {
  ASSERT_EQ(Start(kDirectDraw32), 0);
  const std::filesystem::path made = work_.path() / "made.avi";
  ASSERT_NE(WriteCodedMovie("made.avi", Film(40, "mjpeg")), "");
  QvaWriterOptions options;
  options.compress = false;
  QvaWriter writer(options);
  const std::vector<uint8_t> film = ReadFileBytes(made);
  ASSERT_TRUE(writer.AddFile("film.avi", film.data(), film.size()));
  WriteFileBytes(work_.path() / "FILMS.QVA", writer.Finish());
  std::filesystem::remove(made);

  FileAccessClose(FileAccessOpen("FILMS/film.avi", 0, 1, 0));  // the archive stays open from here on
  const int blocks = GetMemoryBlockCount();
  ASSERT_NE(Load("FILMS/film.avi"), -1);
  EXPECT_EQ(TempFiles(), 0u);
  Play(1);
  At(6);
  EXPECT_EQ(Draw(), 6);
  ChangeDesktop();
  ASSERT_NE(movie_->directShow.surface4, nullptr) << "re-opened from a new copy";
  EXPECT_EQ(TempFiles(), 0u);
  At(3, plat::clock::NowMicroseconds());
  EXPECT_NEAR(Draw(), 9, 1);
  ASSERT_EQ(DeleteGraphHandle(graph_, 0), 0);
  EXPECT_EQ(TempFiles(), 0u);
  EXPECT_EQ(GetOpenMovieCount(), 0);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  EXPECT_TRUE(NoStreamObjectsLeft());
}

TEST_F(DirectShowMovieTest, ACopyThatComesShortFailsTheOpenAndIsDeleted) {
  ASSERT_EQ(Start(kDirectDraw32), 0);
  WriteCodedMovie("film.avi", Film(12, "mjpeg"));
  // The stream cannot open the name (as for an archive member), and the file layer's reads come short.
  static size_t (*realRead)(void*, size_t, size_t, FileHandle) = nullptr;
  FileAccessFunctionTable table = GetFileAccessFunctions();
  realRead = table.Read;
  table.Read = [](void* buffer, size_t size, size_t count, FileHandle file) {
    return realRead(buffer, size, count > 100 ? count - 100 : count, file);
  };
  SetFileAccessFunctions(&table);
  plat::test::FailMovieCall("OpenFile", 1, plat::VFW_E_FILE_NOT_FOUND);
  EXPECT_EQ(OpenMovie("film.avi", nullptr, nullptr), -1);
  SetFileAccessFunctions(nullptr);
  EXPECT_EQ(TempFiles(), 0u);
  EXPECT_EQ(RefusalReason(), "ファイル:film.avi が開けませんでした");
  EXPECT_TRUE(NoStreamObjectsLeft());
}

TEST_F(DirectShowMovieTest, ACopyThatCannotBeWrittenWholeFailsTheOpenAndIsDeleted) {
  ASSERT_EQ(Start(kDirectDraw32), 0);
  moviegen::MovieSpec spec = Film(30, "mjpeg");
  spec.width = 160;
  spec.height = 120;
  spec.picture = moviegen::Picture::Busy;
  const std::string name = WriteCodedMovie("film.avi", spec);
  constexpr rlim_t kLimit = 48 * 1024;  // files may not grow past this: the copy's write comes short
  ASSERT_GT(std::filesystem::file_size(work_.path() / name), kLimit * 2);
  plat::test::FailMovieCall("OpenFile", 1, plat::VFW_E_FILE_NOT_FOUND);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = kLimit;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int movie = OpenMovie(name.c_str(), nullptr, nullptr);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(movie, -1);
  EXPECT_EQ(TempFiles(), 0u);
  EXPECT_EQ(RefusalReason(), "ファイル:film.avi が開けませんでした");
  EXPECT_TRUE(NoStreamObjectsLeft());
}

TEST_F(DirectShowMovieTest, EachFailingStepOfTheOpenLogsItsLineAndLeavesNothing) {
  ASSERT_EQ(Start(kDirectDraw32), 0);
  const std::string name = WriteCodedMovie("film.avi", Film(4));
  const struct {
    const char* call;
    const char* line;
  } steps[] = {
      {"CoCreateInstance(CLSID_FilterGraph)", "CLSID_FilterGraph の作成に失敗しました"},
      {"CoCreateInstance(CLSID_AMMultiMediaStream)", "IAMMultimediaインターフェイスを取得できませんでした！"},
      {"Initialize", "ストリームを読み取り用にセットアップできませんでした！"},
      {"QueryInterface(IID_IMediaControl)", "IID_IMediaControlインターフェイスの取得に失敗しました"},
      {"AddMediaStream(MSPID_PrimaryVideo)", "プライマリビデオストリームを追加できませんでした！"},
      {"AddMediaStream(MSPID_PrimaryAudio)", "デフォルトサウンドレンダラを追加できませんでした！"},
      {"QueryInterface(IID_IMediaSeeking)", "メディアシーキングインターフェースの取得に失敗しました"},
      {"QueryInterface(IID_IBasicAudio)", "BasicAudio インターフェースの取得に失敗しました"},
      {"GetMediaStream", "プライマリビデオストリームインターフェイスを取得できませんでした！"},
      {"QueryInterface(IID_IAMMediaStream)", "AMMediaStreamインターフェイスの取得に失敗しました"},
      {"QueryInterface(IID_IDirectDrawMediaStream)", "DirectDrawメディアストリームインターフェイスを取得できませんでした！"},
      {"GetFormat", "動画ファイルではない可能性があります！"},
  };
  const int blocks = GetMemoryBlockCount();
  for (const auto& step : steps) {
    plat::test::FailMovieCall(step.call);
    EXPECT_EQ(OpenMovie(name.c_str(), nullptr, nullptr), -1) << step.call;
    EXPECT_EQ(RefusalReason(), step.line) << step.call;
    EXPECT_TRUE(NoStreamObjectsLeft()) << step.call;
    EXPECT_EQ(TempFiles(), 0u) << step.call;
  }
  // A sample on the film's own surface is refused: the stream's own surface serves instead.
  plat::test::FailMovieCall("CreateSample");
  int width = 0;
  const int movie = OpenMovie(name.c_str(), &width, nullptr);
  ASSERT_NE(movie, -1) << LogText();
  EXPECT_EQ(width, 64);
  EXPECT_EQ(GetMovieData(movie)->presentationMode, 0u);
  ASSERT_EQ(CloseMovie(movie), 0);
  plat::test::FailMovieCall("CreateSample", 2);
  EXPECT_EQ(OpenMovie(name.c_str(), nullptr, nullptr), -1);
  EXPECT_EQ(RefusalReason(), "ストリームサンプルを作成できませんでした！");
  EXPECT_EQ(GetOpenMovieCount(), 0);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  EXPECT_TRUE(NoStreamObjectsLeft());
}

TEST_F(DirectShowMovieTest, AFailedReopenLeavesTheFilmAndTheLaterOnesReleasedAndClosesOnce) {
  ASSERT_EQ(Start(kDirectDraw32), 0);
  const int first = OpenMovie(WriteCodedMovie("a.avi", Film(8)).c_str(), nullptr, nullptr);
  const int second = OpenMovie(WriteCodedMovie("b.avi", Film(8)).c_str(), nullptr, nullptr);
  ASSERT_NE(first, -1);
  ASSERT_NE(second, -1);
  ReleaseAllMovieStreams();
  EXPECT_EQ(GetMovieData(first)->directShow.surface4, nullptr);
  plat::test::FailMovieCall("CoCreateInstance(CLSID_FilterGraph)");
  EXPECT_EQ(ReopenAllMovie(), -1);
  for (const int movie : {first, second}) {
    MovieHandleRecord* m = GetMovieData(movie);
    EXPECT_EQ(m->directShow.surface4, nullptr);
    EXPECT_EQ(m->directShow.multiMediaStream, nullptr);
    // Every call leaves a released film alone.
    EXPECT_EQ(UpdateMovieFrame(movie, 1), 0);
    EXPECT_EQ(RestoreMovieSurface(movie), 0);
    m->playingWanted = 1;
    m->stopped = 1;
    ResumeAllMovie();
    EXPECT_EQ(m->stopped, 1u);
  }
  EXPECT_EQ(GetMovieData(first)->directShow.updateEvent, nullptr);
  // An event made now may take the place of the old one: the close must not end it.
  const plat::HANDLE other = plat::CreateEventA(nullptr, plat::TRUE, plat::FALSE, nullptr);
  ASSERT_EQ(CloseMovie(first), 0);
  ASSERT_EQ(CloseMovie(second), 0);
  EXPECT_TRUE(plat::IsLiveKernelObject(static_cast<const plat::KernelObject*>(other)));
  EXPECT_TRUE(plat::CloseHandle(other));
  EXPECT_TRUE(NoStreamObjectsLeft());
}

TEST_F(DirectShowMovieTest, WithoutADirectDrawObjectTheOpenFailsCleanly) {
  // A later display change that cannot make a new DirectDraw object goes on in software rendering
  // without one.
  ASSERT_EQ(Start(kDirectDraw32), 0);
  plat::test::FailDisplayCall("CoCreateInstance", 1);
  ASSERT_EQ(SetScreenMode(800, 600, 32, 0), 0);
  ASSERT_EQ(IsHardwareRendering(), 0);
  ASSERT_EQ(GetDirectDrawObject(), nullptr);
  const std::string name = WriteCodedMovie("film.avi", Film(4));
  const int blocks = GetMemoryBlockCount();
  const size_t before = LogLines().size();
  EXPECT_EQ(::LoadGraphFile(name.c_str(), 0), -1);
  const std::vector<std::string> lines = LogLines();
  size_t at = before;
  while (at < lines.size() && lines[at] != "DirectDraw4オブジェクトを取得できませんでした") ++at;
  ASSERT_LT(at + 2, lines.size());
  EXPECT_EQ(lines[at + 1], "ムービーファイルオープン処理時にエラーが発生しました");
  EXPECT_EQ(lines[at + 2], "右記のグラフィックファイルのロードに失敗しました：film.avi ");
  EXPECT_EQ(GetOpenMovieCount(), 0);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  EXPECT_TRUE(NoStreamObjectsLeft());
}

// ---- The overlay ----------------------------------------------------------------------------------

TEST(MovieOverlayPlaceTest, ClipsToTheWindowAndAlignsToTheDisplaysRules) {
  const plat::RECT client{100, 50, 740, 530};  // 640 x 480 at (100, 50) of the screen
  plat::DDCAPS none{};
  // Inside: the whole frame, twice its size, moved onto the screen.
  MovieOverlayPlace p = PlaceMovieOverlay(160, 120, 10, 20, 2, 1, 0, {}, client, none);
  EXPECT_EQ(p.shown, 1);
  EXPECT_EQ(p.source.right, 160);
  EXPECT_EQ(p.source.bottom, 120);
  EXPECT_EQ(p.destination.left, 110);
  EXPECT_EQ(p.destination.top, 70);
  EXPECT_EQ(p.destination.right, 430);
  EXPECT_EQ(p.destination.bottom, 310);
  // Past the left and bottom edges: the source loses what was cut, divided by the scale.
  p = PlaceMovieOverlay(160, 120, -30, 400, 2, 1, 0, {}, client, none);
  EXPECT_EQ(p.source.left, 15);
  EXPECT_EQ(p.source.bottom, 40);
  EXPECT_EQ(p.destination.left, 100);
  EXPECT_EQ(p.destination.bottom, 530);
  // The window DC's clip box clips too; an empty or complex region hides, as does nothing visible.
  p = PlaceMovieOverlay(160, 120, 0, 0, 1, 1, plat::SIMPLEREGION, {0, 0, 100, 60}, client, none);
  EXPECT_EQ(p.source.right, 100);
  EXPECT_EQ(p.source.bottom, 60);
  EXPECT_EQ(PlaceMovieOverlay(160, 120, 0, 0, 1, 1, plat::COMPLEXREGION, {}, client, none).shown, 0);
  EXPECT_EQ(PlaceMovieOverlay(160, 120, 0, 0, 1, 1, plat::NULLREGION, {}, client, none).shown, 0);
  EXPECT_EQ(PlaceMovieOverlay(160, 120, 700, 0, 1, 1, 0, {}, client, none).shown, 0);
  // A scale of zero (before any placement, or a shrinking stretch) shows the frame at its size.
  p = PlaceMovieOverlay(160, 120, 10, 20, 0, 1, 0, {}, client, none);
  EXPECT_EQ(p.shown, 1);
  EXPECT_EQ(p.destination.right - p.destination.left, 160);

  plat::DDCAPS caps{};
  caps.dwCaps = plat::DDCAPS_ALIGNBOUNDARYSRC | plat::DDCAPS_ALIGNSIZESRC | plat::DDCAPS_ALIGNBOUNDARYDEST |
                plat::DDCAPS_ALIGNSIZEDEST;
  caps.dwAlignBoundarySrc = 4;
  caps.dwAlignSizeSrc = 8;
  caps.dwAlignBoundaryDest = 16;
  caps.dwAlignSizeDest = 32;
  p = PlaceMovieOverlay(100, 50, -7, 3, 1, 1, 0, {}, client, caps);
  // Source: left 7 -> 4 (sw 93 -> 90), right 100 - (90 mod 8 = 2) = 98.
  EXPECT_EQ(p.source.left, 4);
  EXPECT_EQ(p.source.right, 98);
  // Destination: left 100 -> 96 (W 100 -> 96), right 193 - (96 mod 32 = 0) = 193.
  EXPECT_EQ(p.destination.left, 96);
  EXPECT_EQ(p.destination.right, 193);
  caps.dwAlignSizeDest = 200;  // nothing of W is left
  EXPECT_EQ(PlaceMovieOverlay(100, 50, -7, 3, 1, 1, 0, {}, client, caps).shown, 0);
}

TEST_F(DirectShowMovieTest, AWindowFilmIsPlacedWithAZeroScaleAndKeptPlacedWhileInactive) {
  ASSERT_EQ(Start(kDirectDraw32), 0);
  ASSERT_NE(Load(WriteCodedMovie("film.avi", Film(4))), -1);
  EXPECT_EQ(DrawMovieToWindow(0, 0, 1, -5, 1), -1);
  EXPECT_EQ(DrawMovieToWindow(0, 0, 1, handle_, 1), 0);  // not a window film: nothing
  EXPECT_EQ(movie_->directShow.windowShown, 0);
  Draw();  // the first frame: a window film is placed only once it has one
  // The stand-in has no overlays, so no open gives a window film; the placement runs all the same.
  movie_->presentationMode = 1;
  EXPECT_EQ(DrawMovieToWindow(5, 6, 0, handle_, 1), 0);
  EXPECT_EQ(movie_->directShow.windowShown, 1);
  EXPECT_EQ(movie_->directShow.windowScale, 0);
  const plat::RECT placed = movie_->directShow.overlayDestination;
  EXPECT_EQ(placed.right - placed.left, 64);
  EXPECT_EQ(placed.bottom - placed.top, 48);
  EXPECT_EQ(DrawAllMovieToWindow(), 0u);
  EXPECT_EQ(movie_->directShow.overlayDestination.left, placed.left);
  EXPECT_EQ(DrawMovieToWindow(5, 6, 1, handle_, 0), 0);
  EXPECT_EQ(movie_->directShow.windowShown, 0);
  EXPECT_EQ(movie_->directShow.overlayDestination.right, 0);
  movie_->presentationMode = 0;
}

}  // namespace
}  // namespace orbel::testing

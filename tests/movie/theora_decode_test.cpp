// The decode thread and its stock: the window it keeps, moves forward, backward and past the end, seeks,
// and its waits.
#include <thread>

#include "movie_test_fixture.h"

namespace orbel::testing {
namespace {

class TheoraDecodeTest : public MovieLibraryTest {
 protected:
  void SetUp() override {
    MovieLibraryTest::SetUp();
    ASSERT_EQ(Start({1, 32}), 0);
  }
  void TearDown() override {
    if (th_ != nullptr) CloseTheoraMovie(th_);
    if (file_ != 0) FileAccessClose(file_);
    MovieLibraryTest::TearDown();
  }
  TheoraMovieRecord* Open(const MovieSpec& spec, int stock = kMovieFrameStock) {
    const std::string name = WriteMovie("film.ogv", spec);
    file_ = FileAccessOpen(name.c_str(), 0, 1, 0);
    th_ = OpenTheoraMovie(&GetFileAccessFunctions(), file_, stock);
    return th_;
  }
  // Moves to `frame` the way the clock does (forward, or past the end and round).
  void MoveTo(int frame) {
    const int c = GetTheoraMovieCurrentFrame(th_);
    const int n = static_cast<int>(th_->frameCount);
    AdvanceTheoraMovieFrame(th_, frame >= c ? frame - c : n - c + frame);
  }
  static std::vector<int> Sorted(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return v;
  }
  static std::vector<int> Range(std::initializer_list<std::pair<int, int>> spans) {
    std::vector<int> v;
    for (auto [from, to] : spans)
      for (int i = from; i <= to; ++i) v.push_back(i);
    return Sorted(v);
  }

  TheoraMovieRecord* th_ = nullptr;
  FileHandle file_ = 0;
};

MovieSpec Film(int frames) {
  MovieSpec spec;
  spec.frames = frames;
  return spec;
}

TEST_F(TheoraDecodeTest, StockFollowsTheCurrentFrameAndShowsIt) {
  ASSERT_NE(Open(Film(40)), nullptr);
  WaitUntilSettled(th_);
  EXPECT_EQ(Sorted(StockFrames(th_)), Range({{0, 9}}));
  EXPECT_EQ(ShownFrame(th_), 0);
  const struct {
    int to;
    std::vector<int> stock;
  } steps[] = {
      {5, Range({{5, 14}})},
      {31, Range({{31, 39}, {0, 0}})},  // a jump far past the stock, past a key frame
      {35, Range({{35, 39}, {0, 4}})},  // the window runs past the end: the start follows
      {2, Range({{2, 11}})},            // round past the end
      {1, Range({{1, 10}})},            // one frame back (a sound clock that jitters)
      {20, Range({{20, 29}})},
      {12, Range({{12, 21}})},          // backward with a full stock
  };
  for (const auto& step : steps) {
    SCOPED_TRACE("to " + std::to_string(step.to));
    MoveTo(step.to);
    EXPECT_EQ(ShownFrame(th_), step.to);
    WaitUntilSettled(th_);
    EXPECT_EQ(Sorted(StockFrames(th_)), step.stock);
  }
}

TEST_F(TheoraDecodeTest, SeeksLandOnExistingFramesOnly) {
  ASSERT_NE(Open(Film(24)), nullptr);
  const struct {
    int target;
    int lands;
  } cases[] = {{17, 17}, {24, 23}, {1000, 23}, {-5, 0}, {9, 9}};
  for (const auto& c : cases) {
    SeekTheoraMovieFrame(th_, c.target);
    EXPECT_EQ(GetTheoraMovieCurrentFrame(th_), c.lands) << c.target;
    EXPECT_EQ(ShownFrame(th_), c.lands) << c.target;
  }
  // To the current frame, and by no frames: nothing moves, the converted image stays.
  SeekTheoraMovieFrame(th_, 9);
  AdvanceTheoraMovieFrame(th_, 0);
  AdvanceTheoraMovieFrame(th_, -3);
  EXPECT_EQ(GetTheoraMovieCurrentFrame(th_), 9);
  EXPECT_EQ(th_->rgbConverted, 1);
}

TEST_F(TheoraDecodeTest, ShortFilmsAndOtherChromaLayoutsPlay) {
  for (const int chroma : {420, 422, 444}) {
    MovieSpec spec = Film(3);  // fewer frames than the stock holds
    spec.chroma = chroma;
    ASSERT_NE(Open(spec), nullptr) << chroma;
    for (const int frame : {0, 1, 2, 0, 2}) {
      MoveTo(frame);
      EXPECT_EQ(ShownFrame(th_), frame) << chroma;
    }
    WaitUntilSettled(th_);
    EXPECT_EQ(Sorted(StockFrames(th_)), (std::vector<int>{-1, -1, -1, -1, -1, -1, -1, 0, 1, 2})) << chroma;
    CloseTheoraMovie(th_);
    FileAccessClose(file_);
    th_ = nullptr;
    file_ = 0;
  }
}

TEST_F(TheoraDecodeTest, AFullStockLeavesTheThreadWaiting) {
  ASSERT_NE(Open(Film(40)), nullptr);
  WaitUntilSettled(th_);
  const uint32_t passes = th_->passes.load();
  for (int i = 0; i < 20000; ++i) std::this_thread::yield();
  EXPECT_EQ(th_->passes.load(), passes);
  EXPECT_EQ(th_->state.load(), kTheoraStockFull);
  // It wakes for the next move.
  MoveTo(1);
  EXPECT_EQ(ShownFrame(th_), 1);
  WaitUntilSettled(th_);
  EXPECT_GT(th_->passes.load(), passes);
}

TEST_F(TheoraDecodeTest, CloseWhileDecodingEndsTheThreadFirst) {
  ASSERT_NE(Open(Film(60)), nullptr);
  MoveTo(45);  // the thread is busy with a long span now
  CloseTheoraMovie(th_);
  th_ = nullptr;
  FileAccessClose(file_);
  file_ = 0;
}

}  // namespace
}  // namespace orbel::testing

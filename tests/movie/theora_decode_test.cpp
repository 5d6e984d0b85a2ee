// The decode thread and its stock: the window it keeps, moves forward, backward and past the end, seeks,
// and its waits.
#include <algorithm>
#include <cstring>
#include <thread>

#include "movie_test_fixture.h"
#include "platform/ddraw/ddraw.h"

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

// A YUV surface such as a display with FourCC surfaces gives: its locks can be made to fail.
class FakeYuvSurface : public plat::IDirectDrawSurface7 {
 public:
  int lockFailures = 0;
  int releases = 0;
  int pitch = 72;
  std::vector<uint8_t> pixels = std::vector<uint8_t>(72 * 48 * 2, 0);
  plat::ULONG AddRef() override { return 1; }
  plat::ULONG Release() override { return static_cast<plat::ULONG>(++releases); }
  plat::HRESULT Lock(plat::RECT*, plat::DDSURFACEDESC2* desc, plat::DWORD, plat::HANDLE) override {
    if (lockFailures > 0) {
      --lockFailures;
      return plat::DDERR_SURFACELOST;
    }
    desc->lPitch = pitch;
    desc->lpSurface = pixels.data();
    return plat::DD_OK;
  }
  plat::HRESULT Unlock(plat::RECT*) override { return plat::DD_OK; }
  plat::HRESULT AddAttachedSurface(IDirectDrawSurface7*) override { return plat::DDERR_GENERIC; }
  plat::HRESULT DeleteAttachedSurface(plat::DWORD, IDirectDrawSurface7*) override { return plat::DDERR_GENERIC; }
  plat::HRESULT Blt(plat::RECT*, IDirectDrawSurface7*, plat::RECT*, plat::DWORD, plat::DDBLTFX*) override {
    return plat::DDERR_GENERIC;
  }
  plat::HRESULT BltFast(plat::DWORD, plat::DWORD, IDirectDrawSurface7*, plat::RECT*, plat::DWORD) override {
    return plat::DDERR_GENERIC;
  }
  plat::HRESULT EnumAttachedSurfaces(void*, plat::LPDDENUMSURFACESCALLBACK7) override { return plat::DDERR_GENERIC; }
  plat::HRESULT Flip(IDirectDrawSurface7*, plat::DWORD) override { return plat::DDERR_GENERIC; }
  plat::HRESULT GetAttachedSurface(plat::DDSCAPS2*, IDirectDrawSurface7**) override { return plat::DDERR_GENERIC; }
  plat::HRESULT GetCaps(plat::DDSCAPS2*) override { return plat::DDERR_GENERIC; }
  plat::HRESULT GetClipper(plat::IDirectDrawClipper**) override { return plat::DDERR_GENERIC; }
  plat::HRESULT GetColorKey(plat::DWORD, plat::DDCOLORKEY*) override { return plat::DDERR_GENERIC; }
  plat::HRESULT GetDC(plat::HDC*) override { return plat::DDERR_GENERIC; }
  plat::HRESULT GetPalette(plat::IDirectDrawPalette**) override { return plat::DDERR_GENERIC; }
  plat::HRESULT GetPixelFormat(plat::DDPIXELFORMAT*) override { return plat::DDERR_GENERIC; }
  plat::HRESULT GetSurfaceDesc(plat::DDSURFACEDESC2*) override { return plat::DDERR_GENERIC; }
  plat::HRESULT IsLost() override { return plat::DD_OK; }
  plat::HRESULT ReleaseDC(plat::HDC) override { return plat::DDERR_GENERIC; }
  plat::HRESULT Restore() override { return plat::DD_OK; }
  plat::HRESULT SetClipper(plat::IDirectDrawClipper*) override { return plat::DDERR_GENERIC; }
  plat::HRESULT SetColorKey(plat::DWORD, plat::DDCOLORKEY*) override { return plat::DDERR_GENERIC; }
  plat::HRESULT SetPalette(plat::IDirectDrawPalette*) override { return plat::DDERR_GENERIC; }
  plat::HRESULT QueryInterface(plat::REFIID, void** out) override {
    *out = nullptr;
    return plat::E_NOINTERFACE;
  }
  plat::HRESULT UpdateOverlay(plat::RECT*, IDirectDrawSurface7*, plat::RECT*, plat::DWORD) override {
    return plat::DDERR_GENERIC;
  }
};

TEST_F(TheoraDecodeTest, TheYuvSurfaceTakesThePictureAndALostOneIsNotLockedAfterItsRecreationFails) {
  MovieSpec spec = Film(4);
  spec.pictureWidth = 40;  // picture at (8, 2) in a 48 x 32 coded frame
  spec.pictureHeight = 26;
  spec.pictureX = 8;
  spec.pictureY = 2;
  ASSERT_NE(Open(spec), nullptr);
  FakeYuvSurface surface;
  th_->yuvSurface = &surface;
  th_->yuvFourCc = kFourCcYv12;
  MoveTo(3);
  MovieHandleRecord record{};
  record.isTheora = 1;
  record.theora = th_;
  ASSERT_EQ(GetMovieYuvSurface(&record), &surface);
  ASSERT_EQ(UpdateMovieYuvSurface(&record), 0);
  // The Y rows of the picture region: frame 3's low digit block at the picture's corner.
  EXPECT_NEAR(surface.pixels[0], FrameDigitLuma(3, 0), 3);
  EXPECT_NEAR(surface.pixels[4 * surface.pitch + 20], FrameDigitLuma(3, 1), 3);
  EXPECT_EQ(th_->yuvConverted, 1);
  // A lock that fails: the surface is made anew, which fails without a display, and nothing null is locked.
  MoveTo(1);
  surface.lockFailures = 1;
  EXPECT_EQ(UpdateTheoraMovieFrameImage(th_, 0, 1), 1);
  EXPECT_EQ(surface.releases, 1);
  EXPECT_EQ(th_->yuvSurface, nullptr);
  EXPECT_EQ(th_->yuvConverted, 0);
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

// A film read through a table of its own that shows the film a second time `shift` bytes on, with
// nothing in between: the index moved there stands for a film larger than 4 GiB.
struct FarFilm {
  std::vector<uint8_t> bytes;
  uint64_t shift = 5ull << 30;
  uint64_t position = 0;

  static FarFilm& Of(FileHandle handle) { return *reinterpret_cast<FarFilm*>(handle); }
  uint64_t Left() const {
    const uint64_t at = position >= shift ? position - shift : position;
    return at < bytes.size() ? bytes.size() - at : 0;
  }
  static size_t Read(void* buffer, size_t blockSize, size_t count, FileHandle handle) {
    FarFilm& f = Of(handle);
    const size_t n = blockSize == 1 ? std::min<size_t>(count, f.Left()) : 0;
    if (n > 0) std::memcpy(buffer, f.bytes.data() + (f.bytes.size() - f.Left()), n);
    f.position += n;
    return n;
  }
  static int Seek(FileHandle handle, int32_t offset, int origin) {
    FarFilm& f = Of(handle);
    if (origin == 0 && offset < 0) return -1;
    f.position = (origin == 0 ? 0 : f.position) + static_cast<uint64_t>(static_cast<int64_t>(offset));
    return 0;
  }
  static int Eof(FileHandle handle) { return Of(handle).Left() == 0 ? 1 : 0; }
};

TEST_F(TheoraDecodeTest, SeeksReachPagesBeyondFourGibibytes) {
  FarFilm film;
  film.bytes = MakeTheoraMovie(Film(40));
  FileAccessFunctionTable table{};
  table.Read = FarFilm::Read;
  table.Seek = FarFilm::Seek;
  table.Eof = FarFilm::Eof;
  th_ = OpenTheoraMovie(&table, reinterpret_cast<FileHandle>(&film), kMovieFrameStock);
  ASSERT_NE(th_, nullptr);
  WaitUntilSettled(th_);
  for (int i = 1; i < th_->pageCount; ++i) th_->pages[i].byteOffset += film.shift;
  for (const int frame : {27, 36, 13}) {
    SeekTheoraMovieFrame(th_, frame);
    EXPECT_EQ(ShownFrame(th_), frame);  // read at the page's place only: the bytes before it are empty
  }
  CloseTheoraMovie(th_);  // while the film it reads is still there
  th_ = nullptr;
}

TEST_F(TheoraDecodeTest, AFrameTheDecoderRefusesIsDroppedWithOneLineAndTheFilmPlaysOn) {
  MovieSpec spec = Film(12);
  spec.keyInterval = 4;
  // The first frame's packet is one the decoder refuses: it never has a picture of that frame.
  WriteFileBytes(work_.path() / "damaged.ogv", ReplaceTheoraPacket(MakeTheoraMovie(spec), 3, {0x3F, 0xFF, 0xFF}));
  file_ = FileAccessOpen("damaged.ogv", 0, 1, 0);
  th_ = OpenTheoraMovie(&GetFileAccessFunctions(), file_, kMovieFrameStock);
  ASSERT_NE(th_, nullptr);
  EXPECT_EQ(UpdateTheoraMovieFrameImage(th_, 1, 0), 0);
  for (const int frame : {4, 9, 0, 8}) {  // back to it, when the decoder holds a picture of another frame
    SeekTheoraMovieFrame(th_, frame);
    EXPECT_EQ(ShownFrame(th_), frame == 0 ? -1 : frame) << frame;
  }
  const std::string log = LogText();
  const std::string line = "Theora ムービーのフレームがストリームの情報と合わないため破棄しました";
  EXPECT_NE(log.find(line), std::string::npos);
  EXPECT_EQ(log.find(line), log.rfind(line));
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

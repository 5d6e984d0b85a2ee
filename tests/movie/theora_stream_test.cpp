// Theora streams: the open, its refusals and the index it builds.
#include <cmath>
#include <cstring>

#include "movie_test_fixture.h"
#include "orbel/core/memory.h"
#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/win/kernel/sync.h"
#include "platform/win/kernel/thread.h"

namespace orbel::testing {
namespace {

class TheoraStreamTest : public MovieLibraryTest {
 protected:
  void SetUp() override {
    MovieLibraryTest::SetUp();
    ASSERT_EQ(Start({1, 32}), 0);
  }
  TheoraMovieRecord* Open(const std::string& name, int stock = kMovieFrameStock) {
    file_ = FileAccessOpen(name.c_str(), 0, 1, 0);
    EXPECT_NE(file_, 0u);
    return OpenTheoraMovie(&GetFileAccessFunctions(), file_, stock);
  }
  void Close(TheoraMovieRecord* th) {
    CloseTheoraMovie(th);
    FileAccessClose(file_);
  }
  FileHandle file_ = 0;
};

TEST_F(TheoraStreamTest, IndexHoldsEveryFramePageAndKeyFrame) {
  MovieSpec spec;
  spec.frames = 40;
  spec.withSound = true;
  const std::string name = WriteMovie("index.ogv", spec);
  const std::vector<uint8_t> bytes = ReadFileBytes(work_.path() / name);
  TheoraMovieRecord* th = Open(name);
  ASSERT_NE(th, nullptr);
  ASSERT_EQ(th->frameCount, 40u);
  // One flushed page per frame: one entry each, in file order, each at a page of the video stream.
  ASSERT_EQ(th->pageCount, 40);
  EXPECT_EQ(th->pages[0].byteOffset, 0u);
  for (int i = 0; i < 40; ++i) {
    const TheoraPageEntry& e = th->pages[i];
    SCOPED_TRACE("entry " + std::to_string(i));
    EXPECT_EQ(e.firstFrame, i);
    EXPECT_EQ(e.frames, 1);
    EXPECT_EQ(e.hasKeyFrame, th->keyFrames[i]);
    EXPECT_EQ(th->keyFrames[i], i % 8 == 0 ? 1 : 0);
    if (i > 0) {
      EXPECT_GT(e.byteOffset, th->pages[i - 1].byteOffset);
      ASSERT_LT(e.byteOffset + 18, bytes.size());
      EXPECT_EQ(std::memcmp(bytes.data() + e.byteOffset, "OggS", 4), 0);
      uint32_t serial = 0;
      std::memcpy(&serial, bytes.data() + e.byteOffset + 14, 4);
      EXPECT_EQ(static_cast<int32_t>(serial), th->serial);
    }
  }
  Close(th);
}

TEST_F(TheoraStreamTest, TablesGrowByAThousandOnlyPastAThousandFrames) {
  for (const int frames : {1000, 1001}) {
    MovieSpec spec;
    spec.pictureWidth = 32;
    spec.pictureHeight = 16;
    spec.frames = frames;
    spec.keyInterval = 64;
    TheoraMovieRecord* th = Open(WriteMovie("long" + std::to_string(frames) + ".ogv", spec), 2);
    ASSERT_NE(th, nullptr);
    EXPECT_EQ(th->frameCount, static_cast<uint64_t>(frames));
    EXPECT_EQ(th->keyFrameCapacity, frames == 1000 ? 1000 : 2000) << frames;
    EXPECT_EQ(th->pageCapacity, frames == 1000 ? 1000 : 2000) << frames;
    Close(th);
  }
}

TEST_F(TheoraStreamTest, FilesWithoutAPlayableTheoraStreamAreRefusedQuietly) {
  MovieSpec still;
  still.frames = 0;
  std::vector<uint8_t> noRate = MakeTheoraMovie(MovieSpec{});
  PatchTheoraFrameRate(&noRate, 0);
  // Coded frames stated larger than a movie may hold: refused from the header, before any allocation.
  auto coded = [](uint32_t width, uint32_t height) {
    std::vector<uint8_t> film = MakeTheoraMovie(MovieSpec{});
    PatchTheoraCodedFrame(&film, width, height);
    return film;
  };
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"text.ogv", std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', ' ', 'm', 'o', 'v', 'i', 'e'}},
      {"sound.ogg", MakeVorbisOnlyOgg(0.5)},
      {"noframes.ogv", MakeTheoraMovie(still)},   // nothing to show or to seek to
      {"norate.ogv", noRate},                     // no clock to play it by
      {"cut.ogv", std::vector<uint8_t>(noRate.begin(), noRate.begin() + 60)},
      {"coded16384.ogv", coded(16384, 16384)},
      {"side8208.ogv", coded(8208, 48)},          // past 8192 a side
      {"held4096.ogv", coded(4096, 4096)},        // ten in stock: past 256 MiB of pictures held decoded
  };
  const int blocks = GetMemoryBlockCount();
  for (const auto& c : cases) {
    WriteFileBytes(work_.path() / c.name, c.bytes);
    TheoraMovieRecord* th = Open(c.name);
    EXPECT_EQ(th, nullptr) << c.name;
    if (th != nullptr) CloseTheoraMovie(th);
    FileAccessClose(file_);
    EXPECT_EQ(GetMemoryBlockCount(), blocks) << c.name;
  }
  EXPECT_EQ(LogText().find("Theora"), std::string::npos);
}

TEST_F(TheoraStreamTest, ReportsRateAndThePictureRegion) {
  MovieSpec spec;
  spec.fpsNumerator = 30000;
  spec.fpsDenominator = 1001;
  spec.pictureWidth = 36;
  spec.pictureHeight = 20;
  spec.pictureX = 4;
  spec.pictureY = 6;
  spec.frames = 3;
  TheoraMovieRecord* th = Open(WriteMovie("ntsc.ogv", spec));
  ASSERT_NE(th, nullptr);
  TheoraMovieInfo info{};
  GetTheoraMovieInfo(th, &info);
  EXPECT_DOUBLE_EQ(info.framesPerSecond, 30000.0 / 1001.0);
  EXPECT_NEAR(info.framesPerSecond, 29.97002997, 1e-8);
  EXPECT_EQ(info.frameCount, 3);
  EXPECT_EQ(info.width, 36);
  EXPECT_EQ(info.height, 20);
  EXPECT_EQ(th->rgbImage.width, 36u);
  EXPECT_EQ(th->rgbImage.height, 20u);
  Close(th);
}

// False when a thread can be made now: a failure of thread creation that was asked for is still due.
bool ThreadCreationStillFails() {
  plat::DWORD id = 0;
  plat::HANDLE thread = plat::CreateThread(nullptr, 0, [](void*) -> plat::DWORD { return 0; }, nullptr, 0, &id);
  if (thread == nullptr) return true;
  plat::WaitForSingleObject(thread, plat::INFINITE);
  plat::CloseHandle(thread);
  return false;
}

TEST_F(TheoraStreamTest, TheThreadStartsOnlyOnceNothingElseInTheOpenCanFail) {
  const std::string name = WriteMovie("steps.ogv", MovieSpec{});
  const int blocks = GetMemoryBlockCount();
  // Each allocation of the open fails in turn while making the thread would fail too. Every step that
  // can fail comes before the thread, so the thread is tried only once all allocations went through.
  for (int successes = 0;; ++successes) {
    ASSERT_LT(successes, 64);
    file_ = FileAccessOpen(name.c_str(), 0, 1, 0);
    ASSERT_NE(file_, 0u);
    plat::test::FailNextCreateThread();
    plat::test::FailHeapAllocation(successes);
    TheoraMovieRecord* th = OpenTheoraMovie(&GetFileAccessFunctions(), file_, kMovieFrameStock);
    plat::test::FailHeapAllocation(-1);
    EXPECT_EQ(th, nullptr) << successes;
    if (th != nullptr) CloseTheoraMovie(th);
    FileAccessClose(file_);
    EXPECT_EQ(GetMemoryBlockCount(), blocks) << successes;
    if (!ThreadCreationStillFails()) break;  // the open got as far as the thread
  }
  const std::string log = LogText();
  EXPECT_NE(log.find("Theora ページ情報格納用メモリの確保に失敗しました"), std::string::npos);
  EXPECT_NE(log.find("Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました"), std::string::npos);
  EXPECT_NE(log.find("Theora ムービーデコードフレームストック用のメモリ確保に失敗しました"), std::string::npos);
  EXPECT_NE(log.find("Theora ムービーデコード用スレッドの作成に失敗しました"), std::string::npos);
  // Nothing of the failures is left over: the next open plays.
  TheoraMovieRecord* th = Open(name);
  ASSERT_NE(th, nullptr);
  EXPECT_EQ(ShownFrame(th), 0);
  Close(th);
}

TEST_F(TheoraStreamTest, AThreadThatCannotStartFailsTheOpenWithItsLine) {
  const std::string name = WriteMovie("thread.ogv", MovieSpec{});
  const int blocks = GetMemoryBlockCount();
  plat::test::FailNextCreateThread();
  EXPECT_EQ(Open(name), nullptr);
  FileAccessClose(file_);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  EXPECT_NE(LogText().find("Theora ムービーデコード用スレッドの作成に失敗しました"), std::string::npos);
}

}  // namespace
}  // namespace orbel::testing

// The movie tests' fixture.
#include "movie_test_fixture.h"

#include <cstring>

namespace orbel::testing {

std::string MovieLibraryTest::WriteMovie(const std::string& name, const MovieSpec& spec) {
  const std::vector<uint8_t> bytes = MakeTheoraMovie(spec);
  EXPECT_FALSE(bytes.empty()) << "the encoder refused " << name;
  WriteFileBytes(work_.path() / name, bytes);
  return name;
}

std::string MovieLibraryTest::WriteCodedMovie(const std::string& name, moviegen::MovieSpec spec) {
  spec.path = (work_.path() / name).string();
  std::string error;
  EXPECT_TRUE(moviegen::WriteMovie(spec, &error)) << name << ": " << error;
  return name;
}

void WaitUntilSettled(TheoraMovieRecord* th) {
  std::unique_lock<std::mutex> lock(th->lock);
  th->changed.wait(lock, [&] {
    const int32_t state = th->state.load();
    if (state == kTheoraEnded) return true;
    if (th->seekRequest.load() != 0 || th->pauseRequest.load() != 0) return false;
    return state == kTheoraStockFull && (th->idleFrame == th->currentFrame.load() || th->endReached.load() != 0);
  });
}

std::vector<int> StockFrames(TheoraMovieRecord* th) {
  std::lock_guard<std::mutex> lock(th->lock);
  std::vector<int> frames;
  for (int i = 0; i < th->stockSize; ++i) frames.push_back(th->stock[i].inUse ? th->stock[i].frameNumber : -1);
  return frames;
}

int ShownFrame(TheoraMovieRecord* th) {
  if (UpdateTheoraMovieFrameImage(th, 1, 0) != 1) return -1;
  const GraphImage& image = th->rgbImage;
  auto pixel = [&](int x, int y) {
    const uint8_t* p = static_cast<const uint8_t*>(image.pixels) + static_cast<size_t>(y) * image.pitch + x * 4;
    return static_cast<uint32_t>(p[2] << 16 | p[1] << 8 | p[0]);
  };
  return FrameInPicture(pixel);
}

}  // namespace orbel::testing

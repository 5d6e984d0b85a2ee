// The movie tests' fixture: the library started headless (graph tests' fixture), films written into the
// work directory, and waits on a Theora movie's decode thread through its own condition (never on time).
#pragma once

#include <string>

#include "graph_test_fixture.h"
#include "movie_fixture.h"
#include "tools/moviegen/movie_writer.h"
#include "orbel/movie/movie_record.h"

namespace orbel::testing {

class MovieLibraryTest : public GraphLibraryTest {
 protected:
  // Writes the film as `name` in the work directory and returns the name.
  std::string WriteMovie(const std::string& name, const MovieSpec& spec);
  // Writes a film made with libavcodec's encoders (MPEG-4 or Motion JPEG) and returns the name.
  std::string WriteCodedMovie(const std::string& name, moviegen::MovieSpec spec);
};

// Blocks until the decode thread has nothing left to do for the current frame (stock settled, end of
// the file met, or the thread ended).
void WaitUntilSettled(TheoraMovieRecord* th);
// The frames the stock holds now, in slot order (-1 for empty slots).
std::vector<int> StockFrames(TheoraMovieRecord* th);
// The frame number the movie's RGB image shows (converting the current frame first).
int ShownFrame(TheoraMovieRecord* th);
// The frame number an RGB picture shows at picture position (0, 0); `pixel(x, y)` gives 0x00RRGGBB.
template <typename Pixel>
int FrameInPicture(Pixel pixel, int x0 = 0, int y0 = 0) {
  const int low = (pixel(x0 + kLowDigitX, y0 + kDigitSampleY) >> 8) & 0xFF;
  const int high = (pixel(x0 + kHighDigitX, y0 + kDigitSampleY) >> 8) & 0xFF;
  return FrameFromGreys(low, high);
}

}  // namespace orbel::testing

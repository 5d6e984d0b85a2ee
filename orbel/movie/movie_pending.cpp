// PENDING: stands in for the movie subsystem until it is built; delete this file then.
// No movie can be open, so every call succeeds and does nothing.
#include "orbel/movie/movie_system.h"

namespace orbel {

int InitYuvToRgbTable() { return 0; }
uint32_t StopAllMovie() { return 0; }
void ResumeAllMovie() {}
uint32_t ReleaseAllMovieStreams() { return 0; }
uint32_t DrawAllMovieToWindow() { return 0; }
void ReopenAllMovie() {}

}  // namespace orbel

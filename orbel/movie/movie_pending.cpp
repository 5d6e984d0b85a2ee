// PENDING: stands in for the movie subsystem until it is built; delete this file then.
// No movie can be open, so every call succeeds and does nothing; opening a movie fails.
#include "orbel/movie/movie_system.h"

namespace orbel {

int InitYuvToRgbTable() { return 0; }
uint32_t StopAllMovie() { return 0; }
void ResumeAllMovie() {}
uint32_t ReleaseAllMovieStreams() { return 0; }
uint32_t DrawAllMovieToWindow() { return 0; }
void ReopenAllMovie() {}

// No movie format is readable yet: every file is refused.
int OpenMovie(const char*, int*, int*) { return -1; }
int CloseMovie(int) { return -1; }
int GetMovieGraphInfo(int, MovieGraphInfo*) { return -1; }
int SetMovieFrameCallback(int, MovieFrameCallback, GraphRecord*) { return -1; }
int UpdateMovieFrame(int) { return -1; }
int GetMovieFrameImage(void*, const GraphImage**) { return -1; }
int DrawMovieToWindow(int, int, int, int, int) { return -1; }
int RestoreMovieSurface(int) { return -1; }

plat::IDirectDrawSurface7* GetMovieYuvSurface(void*) { return nullptr; }
int UpdateMovieYuvSurface(void*) { return -1; }
plat::IDirectDrawSurface7* GetMovieSampleSurface(void*) { return nullptr; }

}  // namespace orbel

// PENDING: stands in for the DirectShow half of the movie subsystem until it is built; delete this file
// then. No DirectShow is present: every non-Theora movie fails at its first step, so it is logged and
// refused, and the DirectShow halves of the other calls have no movie to act on.
#include "orbel/core/log.h"
#include "orbel/movie/movie_record.h"

namespace orbel {

int Movie_OpenDirectShow(plat::IDirectDraw7*, MovieHandleRecord*, const char*, int*, int*, int) {
  LogFmtAdd("CLSID_FilterGraph の作成に失敗しました");
  return -1;
}

int Movie_UpdateDirectShowFrame(MovieHandleRecord*, int) { return 0; }
int Movie_PauseDirectShow(MovieHandleRecord*) { return 0; }
int Movie_ResumeDirectShow(MovieHandleRecord*) { return 0; }
void Movie_CloseDirectShow(MovieHandleRecord*) {}

uint32_t ReleaseAllMovieStreams() { return 0; }
void ReopenAllMovie() {}
uint32_t DrawAllMovieToWindow() { return 0; }
int DrawMovieToWindow(int, int, int, int, int) { return -1; }
int RestoreMovieSurface(int movie) { return GetMovieData(movie) != nullptr ? 0 : -1; }
plat::IDirectDrawSurface7* GetMovieSampleSurface(void*) { return nullptr; }

}  // namespace orbel

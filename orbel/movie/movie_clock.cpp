// The movie clock: which frame of a movie is due now (from its sound's play position, or from the
// high-resolution clock), the move to it, the frame callback, and pause and resume on activation
// changes. Main thread only. Times are 64-bit, so long movies keep their frames.
#include <cmath>

#include "orbel/core/clock_random.h"
#include "orbel/movie/movie_record.h"
#include "orbel/sound/sound_system.h"

namespace orbel {
namespace {

constexpr uint32_t kLoopBit = 2;

// The frame due now of a running Theora movie with `frames` frames at `fps`.
int DueTheoraFrame(const MovieHandleRecord* m, double fps, int frames) {
  double due;
  if (m->sound != -1) {
    // The sound's own looping brings the movie back to its start; the frame is not taken modulo.
    const int64_t ms = GetSoundCurrentTime(m->sound);
    due = std::trunc(static_cast<double>(ms * 1000) * fps * 0.000001);
    if (due >= frames) due = frames - 1;
  } else {
    const int64_t elapsed = static_cast<int64_t>(GetHighResolutionCount(0) - m->startTime);
    due = std::trunc(static_cast<double>(elapsed) * fps * 0.000001);
    if (due >= frames) due = (m->playType & kLoopBit) ? std::fmod(due, frames) : frames - 1;
  }
  return due < 0 ? 0 : static_cast<int>(due);
}

}  // namespace

void UpdateTheoraMovieFrame(MovieHandleRecord* m) {
  TheoraMovieInfo info{};
  GetTheoraMovieInfo(m->theora, &info);
  const int n = info.frameCount;
  if (!m->stopped) {
    const int f = DueTheoraFrame(m, info.framesPerSecond, n);
    const int c = GetTheoraMovieCurrentFrame(m->theora);
    if (f == c) {
      if (f == n - 1 && !(m->playType & kLoopBit) && m->sound == -1) {
        m->playingWanted = 0;
        m->stopped = 1;
      }
    } else if (f > c) {
      AdvanceTheoraMovieFrame(m->theora, f - c);
    } else {
      AdvanceTheoraMovieFrame(m->theora, (n - c) + f);  // past the end, wrapping to f
    }
  }
  if (m->callback != nullptr) {
    m->callback(m, m->callbackArgument);
    m->frameUpdated = 1;
  }
}

int UpdateMovieFrame(int movie, int force) {
  MovieHandleRecord* m = GetMovieData(movie);
  if (m == nullptr) return 0;
  if (m->isTheora) {
    UpdateTheoraMovieFrame(m);
  } else {
    Movie_UpdateDirectShowFrame(m, force);
  }
  return 0;
}

int UpdateMovieFrame(int movie) { return UpdateMovieFrame(movie, 0); }

int PauseMovieHandle(int movie, int keepPlayingWanted) {
  MovieHandleRecord* m = GetMovieData(movie);
  if (m == nullptr) return -1;
  if (m->stopped) return 0;
  if (m->isTheora) {
    StopSoundHandle(m->sound);
    // One last update while still running, so the frame shown is the one due at the stop.
    UpdateMovieFrame(movie, 0);
  } else if (Movie_PauseDirectShow(m) == 0) {
    return 0;
  }
  m->stopped = 1;
  if (keepPlayingWanted == 0) m->playingWanted = 0;
  return 0;
}

uint32_t StopAllMovie() {
  for (int i = 0; i < kMovieMax; ++i) {
    const int movie = MovieSlotHandle(i);
    if (movie != -1) PauseMovieHandle(movie, 1);
  }
  return 0;
}

void ResumeAllMovie() {
  for (int i = 0; i < kMovieMax; ++i) {
    MovieHandleRecord* m = GetMovieData(MovieSlotHandle(i));
    if (m == nullptr) continue;
    const uint32_t playType = m->playType == 0 ? 1 : m->playType;
    if (m->stopped != 1 || m->playingWanted != 1) continue;
    if (m->isTheora) {
      TheoraMovieInfo info{};
      GetTheoraMovieInfo(m->theora, &info);
      const int c = GetTheoraMovieCurrentFrame(m->theora);
      const auto shown = static_cast<int64_t>(static_cast<double>(c) / info.framesPerSecond * 1000000.0);
      m->startTime = GetHighResolutionCount(0) - static_cast<uint64_t>(shown);
      PlaySoundHandle(m->sound, static_cast<int>(playType), 0);
    } else if (Movie_ResumeDirectShow(m) == 0) {
      continue;
    }
    m->stopped = 0;
    m->playType = playType;
    m->playingWanted = 1;
  }
}

}  // namespace orbel

// The movie subsystem as the core runtime sees it: the conversion tables made at start-up, pause and
// resume on activation changes, stream release before a display change, and the window movies drawn
// while the pump waits inactive. These are the names the movie subsystem keeps; until it is built they
// are answered by movie_pending.cpp.
#pragma once

#include <cstdint>

namespace orbel {

// Builds the clamp and coefficient tables of the YUV-to-RGB conversion (first step of start-up).
int InitYuvToRgbTable();
// Pauses every playing movie (deactivation).
uint32_t StopAllMovie();
// Restarts every movie that StopAllMovie paused.
void ResumeAllMovie();
// Saves the play time of every DirectShow movie and releases its streams (before a display change).
uint32_t ReleaseAllMovieStreams();
// Draws every playing window movie (while the pump waits inactive).
uint32_t DrawAllMovieToWindow();
// Re-opens the DirectShow movies after the display was re-created.
void ReopenAllMovie();

}  // namespace orbel

// The movie subsystem as the core runtime sees it: the conversion tables made at start-up, pause and
// resume on activation changes, stream release before a display change, and the window movies drawn
// while the pump waits inactive, and what the graph layer reads of a movie. The subsystem's own records
// and calls are in movie_record.h.
#pragma once

#include <cstdint>

namespace plat {
class IDirectDrawSurface7;
}

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
// Re-opens the DirectShow movies after the display was re-created: 0, or -1 when one fails (it and the
// later ones stay released).
int ReopenAllMovie();

// ---- Movies played into graphs ------------------------------------------------------------------

struct GraphImage;
struct GraphRecord;

// What the graph code needs to know of an open movie.
struct MovieGraphInfo {
  int width;              // frame size
  int height;
  int alpha;              // 1: the frame's right half is the alpha of its left half
  int directShowSurface;  // 1: plays through DirectShow into a surface
  int drawsToWindow;      // 1: drawn straight to the window (overlay) instead of into the graph
};

// Called with (movie record, graph record) whenever a new frame is to go into the graph.
using MovieFrameCallback = int (*)(void* movie, GraphRecord* graph);

// Opens a movie file (Theora first); handle (kind 0x18000000) or -1. Width and height may be null.
int OpenMovie(const char* fileName, int* width, int* height);
int CloseMovie(int movie);
int GetMovieGraphInfo(int movie, MovieGraphInfo* info);
int SetMovieFrameCallback(int movie, MovieFrameCallback callback, GraphRecord* graph);
// Brings the movie's frame into its graph when a new one is due. 0 or -1.
int UpdateMovieFrame(int movie);
// The current frame as an image: 0 when the image holds it (converted now or already), else -1 (no frame
// could be had: nothing to copy).
int GetMovieFrameImage(void* movieRecord, const GraphImage** frame);
int DrawMovieToWindow(int x, int y, int scale, int movie, int flag);
int RestoreMovieSurface(int movie);

// ---- What the Direct3D texture road reads of a movie record -------------------------------------

// The Theora movie's YUV surface, or null when it has none (then the RGB frame image serves).
plat::IDirectDrawSurface7* GetMovieYuvSurface(void* movieRecord);
// Writes the current Theora frame into the YUV surface: 0 or more when it holds the frame, -1 on failure.
int UpdateMovieYuvSurface(void* movieRecord);
// The surface a DirectShow movie's frames are decoded into, or null.
plat::IDirectDrawSurface7* GetMovieSampleSurface(void* movieRecord);

}  // namespace orbel

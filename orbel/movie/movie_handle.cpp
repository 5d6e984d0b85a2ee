// Movie handles: the table of 100 movies, opening (Theora first with its stream sound, else DirectShow),
// closing, the record lookup, the frame callback and what the graph layer reads of a movie. Main thread
// only; the Theora decode thread never sees these records.
#include <new>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/movie/movie_record.h"
#include "orbel/sound/sound_system.h"

namespace orbel {
namespace {

struct MovieTable {
  MovieHandleRecord* records[kMovieMax];
  int32_t count;
  int32_t serialCounter;  // 0..2047
};
MovieTable gMovies{};

constexpr int kIndexMask = 0xFFFF;
constexpr int kSerialMask = 0x07FF0000;
constexpr int kKindMask = 0x78000000;

int MakeHandle(uint32_t serial, int index) { return static_cast<int>(((serial | 0x1800u) << 16) | static_cast<uint32_t>(index)); }

// The Theora road: the stream, then its sound through the sound layer (a stream from the same file).
bool OpenTheoraRoad(MovieHandleRecord* m, const char* fileName, int* width, int* height) {
  m->file = FileAccessOpen(fileName, 0, 1, 0);
  if (m->file != 0) m->theora = OpenTheoraMovie(&GetFileAccessFunctions(), m->file, kMovieFrameStock);
  if (m->theora == nullptr) {
    if (m->file != 0) FileAccessClose(m->file);
    m->file = 0;
    return false;
  }
  const int savedType = GetSoundCreateType();
  SetMovieSoundFlag(1);
  SetSoundCreateType(3);
  m->sound = LoadSoundFile(fileName, 1, -1);
  SetMovieSoundFlag(0);
  SetSoundCreateType(savedType);

  TheoraMovieInfo info{};
  GetTheoraMovieInfo(m->theora, &info);
  m->width = info.width;
  m->height = info.height;
  if (width != nullptr) *width = info.width;
  if (height != nullptr) *height = info.height;
  m->isTheora = 1;
  m->frameImage = GetTheoraMovieBaseImage(m->theora);
  m->presentationMode = 0;
  return true;
}

}  // namespace

// ---- Table ------------------------------------------------------------------------------------------

MovieHandleRecord* GetMovieData(int movie) {
  if (movie < 0 || (movie & kKindMask) != kMovieHandleKind) return nullptr;
  const int index = movie & kIndexMask;
  if (index >= kMovieMax) return nullptr;
  MovieHandleRecord* m = gMovies.records[index];
  if (m == nullptr || static_cast<int>(m->serial << 16) != (movie & kSerialMask)) return nullptr;
  return m;
}

int MovieSlotHandle(int index) {
  if (index < 0 || index >= kMovieMax || gMovies.records[index] == nullptr) return -1;
  return MakeHandle(gMovies.records[index]->serial, index);
}

int GetOpenMovieCount() { return gMovies.count; }

// ---- Open and close ---------------------------------------------------------------------------------

int OpenMovie(const char* fileName, int* width, int* height, int presentationMode) {
  int index = 0;
  while (index < kMovieMax && gMovies.records[index] != nullptr) ++index;
  if (index == kMovieMax) return -1;
  auto* m = static_cast<MovieHandleRecord*>(MemCalloc(sizeof(MovieHandleRecord), __FILE__, __LINE__));
  if (m == nullptr) {
    LogFmtAdd("メモリの確保に失敗しました in OpenMovie");
    return -1;
  }
  gMovies.records[index] = m;
  m->sound = -1;
  m->halfWidth = 0;  // the library setting, which nothing changes

  if (!OpenTheoraRoad(m, fileName, width, height)) {
    m->directShow.tempCopyMade = 0;
    if (Movie_OpenDirectShow(GetDirectDrawObject(), m, fileName, width, height, presentationMode) == -1) {
      MemFree(m);
      gMovies.records[index] = nullptr;
      LogFmtAdd("ムービーファイルオープン処理時にエラーが発生しました");
      return -1;
    }
    m->frameImage = &m->frameImageArea;
  }

  m->stopped = 1;
  m->playingWanted = 0;
  m->playType = 1;
  m->serial = static_cast<uint32_t>(gMovies.serialCounter);
  gMovies.serialCounter = gMovies.serialCounter >= kMovieSerialMax ? 0 : gMovies.serialCounter + 1;
  ++gMovies.count;
  return MakeHandle(m->serial, index);
}

int OpenMovie(const char* fileName, int* width, int* height) { return OpenMovie(fileName, width, height, 0); }

int CloseMovie(int movie) {
  MovieHandleRecord* m = GetMovieData(movie);
  if (m == nullptr) return -1;
  if (m->isTheora) {
    // The decode thread reads through the file: it ends before the file closes.
    CloseTheoraMovie(m->theora);
    if (m->file != 0) FileAccessClose(m->file);
    DeleteSoundHandle(m->sound);
    m->theora = nullptr;
    m->file = 0;
    m->sound = -1;
    m->isTheora = 0;
  } else {
    Movie_CloseDirectShow(m);
  }
  MemFree(m);
  gMovies.records[movie & kIndexMask] = nullptr;
  --gMovies.count;
  return 0;
}

int SetMovieFrameCallback(int movie, MovieFrameCallback callback, GraphRecord* graph) {
  MovieHandleRecord* m = GetMovieData(movie);
  if (m == nullptr) return -1;
  m->callback = callback;
  m->callbackArgument = graph;
  return 0;
}

// ---- What the graph layer reads ---------------------------------------------------------------------

int GetMovieGraphInfo(int movie, MovieGraphInfo* info) {
  const MovieHandleRecord* m = GetMovieData(movie);
  if (m == nullptr || info == nullptr) return -1;
  info->width = m->width;
  info->height = m->height;
  info->alpha = m->halfWidth != 0 ? 1 : 0;
  info->directShowSurface = m->isTheora ? 0 : 1;
  info->drawsToWindow = m->presentationMode == 1 ? 1 : 0;
  return 0;
}

int GetMovieFrameImage(void* movieRecord, const GraphImage** frame) {
  auto* m = static_cast<MovieHandleRecord*>(movieRecord);
  if (m == nullptr || frame == nullptr) return -1;
  if (m->isTheora) {
    if (UpdateTheoraMovieFrameImage(m->theora, 1, 0) == 0) return -1;
    *frame = m->frameImage;
    return 0;
  }
  if (m->frameImageArea.pixels == nullptr) return -1;
  *frame = m->frameImage;
  return 0;
}

plat::IDirectDrawSurface7* GetMovieYuvSurface(void* movieRecord) {
  auto* m = static_cast<MovieHandleRecord*>(movieRecord);
  if (m == nullptr || !m->isTheora) return nullptr;
  return GetTheoraMovieYuvSurface(m->theora);
}

int UpdateMovieYuvSurface(void* movieRecord) {
  auto* m = static_cast<MovieHandleRecord*>(movieRecord);
  if (m == nullptr || !m->isTheora) return -1;
  return UpdateTheoraMovieFrameImage(m->theora, 0, 1) != 0 ? 0 : -1;
}

}  // namespace orbel

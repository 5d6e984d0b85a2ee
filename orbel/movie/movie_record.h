// The records of the movie subsystem and the calls its files make of each other: the movie handle record
// (one per open movie, main thread only), the Theora movie record shared by the main thread and the
// movie's decode thread, its frame stock, its page index, and the DirectShow half's entry points.
// Depends on libogg and libtheora's 1.0 decoder interface; the DirectShow half lives in its own files.
#pragma once

#include <ogg/ogg.h>
#include <theora/theora.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "orbel/file/file_access.h"
#include "orbel/image/color_data.h"
#include "orbel/movie/movie_system.h"
#include "platform/win/kernel/win_types.h"

namespace plat {
class IDirectDraw7;
class IDirectDraw4;
class IDirectDrawSurface;
class IDirectDrawSurface4;
class IDirectDrawSurface7;
class IAMMultiMediaStream;
class IMediaStream;
class IAMMediaStream;
class IDirectDrawMediaStream;
class IDirectDrawStreamSample;
class IGraphBuilder;
class IMediaControl;
class IMediaSeeking;
class IBasicAudio;
}

namespace orbel {

// ---- Handles ----------------------------------------------------------------------------------------

constexpr int kMovieMax = 100;
constexpr int kMovieHandleKind = 0x18000000;
constexpr int kMovieSerialMax = 2047;
// Decoded frames a movie opened by OpenMovie keeps ahead of its current frame.
constexpr int kMovieFrameStock = 10;

// ---- Theora -----------------------------------------------------------------------------------------

// Decode-thread states.
enum TheoraThreadState : int32_t {
  kTheoraStockFull = 0,
  kTheoraDecoding = 1,
  kTheoraSeeking = 2,
  kTheoraEnded = 3,
  kTheoraPaused = 4,
};

// One decoded frame in Y'CbCr planes. Planes are stored row after row, `width` bytes apart, on the
// process heap: the decode thread fills them, and the tracked heap belongs to the main thread. A frame
// whose picture did not match the stream was dropped: its slot is in use with all four sizes 0.
struct TheoraFrameStockSlot {
  // Under the movie's lock:
  int32_t inUse;        // 1: holds frame `frameNumber`
  int32_t frameNumber;
  int32_t pinned;       // 1: the main thread is converting from it; the thread leaves it alone
  int32_t filling;      // 1: reserved by the thread, planes being written
  // Written by the thread while `filling`, read by the main thread while `pinned`:
  uint8_t* y;
  uint8_t* u;  // Cb
  uint8_t* v;  // Cr
  int32_t yWidth, yHeight;
  int32_t uvWidth, uvHeight;
};

// One Ogg page after which a Theora data packet came out, in file order.
struct TheoraPageEntry {
  uint64_t byteOffset;  // of the page read last before the packet came out; the first entry's is 0
  int32_t firstFrame;
  int32_t hasKeyFrame;
  int32_t frames;
};

struct TheoraMovieInfo {
  double framesPerSecond;
  int32_t frameCount;
  int32_t width;   // of the picture region, pixels
  int32_t height;
};

struct TheoraMovieRecord {
  // Shared with the decode thread. Each has one writer (see the .cpp files); a waiting side looks at them
  // under `lock`, so every change that a wait depends on is made under it too.
  std::atomic<int32_t> state{kTheoraStockFull};
  std::atomic<int32_t> pauseRequest{0};
  std::atomic<int32_t> stopRequest{0};
  std::atomic<int32_t> seekRequest{0};
  std::atomic<int32_t> seekTarget{0};
  std::atomic<int32_t> endReached{0};
  std::atomic<int32_t> currentFrame{-1};  // main thread
  std::atomic<int32_t> lastDecoded{-1};   // decode thread
  std::mutex lock;
  std::condition_variable changed;  // both sides wait on it
  uint32_t mainGeneration = 0;      // under `lock`: raised by every main-thread change the thread may await
  int32_t idleFrame = -1;           // under `lock`: the current frame the thread last found fully stocked
  std::atomic<uint32_t> passes{0};  // passes of the decode loop (a waiting thread makes none)

  plat::HANDLE thread = nullptr;
  plat::DWORD threadId = 0;

  FileAccessFunctionTable table{};
  FileHandle file = 0;  // owned by the caller

  // Ogg and Theora state: the main thread's until the first seek, the decode thread's after.
  ogg_sync_state sync{};
  ogg_page page{};
  ogg_stream_state stream{};
  ogg_packet packet{};
  int streamReady = 0;  // `stream` was set up for the Theora serial
  theora_info info{};
  theora_comment comment{};
  theora_state decoder{};
  int decoderReady = 0;
  int pictureDecoded = 0;  // decode thread: 1 when the decoder took the last packet, so its picture is that frame
  int32_t serial = 0;
  int32_t headerCount = 0;

  // The index, built at open and read-only afterwards.
  TheoraPageEntry* pages = nullptr;
  int32_t pageCount = 0;
  int32_t pageCapacity = 0;
  uint8_t* keyFrames = nullptr;  // 1 byte per frame
  int32_t keyFrameCapacity = 0;
  uint64_t frameCount = 0;

  TheoraFrameStockSlot* stock = nullptr;
  int32_t stockSize = 0;

  std::atomic<int32_t> droppedFrames{0};  // decode thread: pictures that did not match the stream

  // Main thread only.
  int32_t droppedLogged = 0;                  // 1 once the drops were logged
  GraphImage rgbImage{};                      // picture region, 32-bit
  plat::IDirectDrawSurface7* yuvSurface = nullptr;
  uint32_t yuvFourCc = 0;
  int32_t rgbConverted = 0;
  int32_t yuvConverted = 0;
};

TheoraMovieRecord* OpenTheoraMovie(const FileAccessFunctionTable* table, FileHandle file, int stockSize);
int CloseTheoraMovie(TheoraMovieRecord* th);
int ReadTheoraStreamData(TheoraMovieRecord* th, int size);
int ReadTheoraHeaders(TheoraMovieRecord* th);
int GetTheoraMovieInfo(const TheoraMovieRecord* th, TheoraMovieInfo* out);
GraphImage* GetTheoraMovieBaseImage(TheoraMovieRecord* th);
plat::IDirectDrawSurface7* GetTheoraMovieYuvSurface(const TheoraMovieRecord* th);
int GetTheoraMovieCurrentFrame(const TheoraMovieRecord* th);

// Copies the decoder's picture into `slot` when it is a picture of the stream `info` describes (coded
// frame size, chroma layout of its pixel format, strides no narrower than the rows): 1 stored, 0 dropped
// (the slot then holds no planes), -1 out of memory.
int StoreTheoraPicture(const theora_info& info, const yuv_buffer& picture, TheoraFrameStockSlot* slot);

plat::DWORD TheoraDecodeThread(void* record);
int DecodeTheoraFrames(TheoraMovieRecord* th, int count);
int SeekTheoraMovieFrame(TheoraMovieRecord* th, int frame);
int AdvanceTheoraMovieFrame(TheoraMovieRecord* th, int count);
// Wakes the decode thread after a main-thread change (takes the lock).
void NotifyTheoraThread(TheoraMovieRecord* th);

void CreateTheoraYuvSurface(TheoraMovieRecord* th);
int UpdateTheoraMovieFrameImage(TheoraMovieRecord* th, int wantRgb, int wantYuv);

// ---- Frame conversion helpers (pure, on buffers) ----------------------------------------------------

// One frame's planes and the picture region to convert.
struct YuvPlanes {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  int yStride, uvStride;  // bytes
  int yWidth, yHeight, uvWidth, uvHeight;
};
struct PictureRegion {
  int x, y, width, height;
};

// The conversion tables, in 1/16384 units, built once by InitYuvToRgbTable.
constexpr int kClampOffset = 512;  // clamp[] covers -512 .. 767
struct YuvToRgbTables {
  uint8_t clamp[1280];
  int32_t crToRed[256];
  int32_t cbToGreen[256];
  int32_t crToGreen[256];
  int32_t cbToBlue[256];
  int32_t luma[256];
};
const YuvToRgbTables& GetYuvToRgbTables();

// The planes hold every sample the conversion of the region reads (strides no narrower than the rows).
bool PlanesCoverRegion(const YuvPlanes& planes, const PictureRegion& region);
// BGRX rows of the region into `out` (`pitch` bytes apart): the table path for 4:2:0, the
// floating-point path for other layouts. False, with nothing written, when the planes do not cover it.
bool ConvertYuvToBgrx(const YuvPlanes& planes, const PictureRegion& region, uint8_t* out, int pitch);
// One pixel through the tables (4:2:0 path): bytes blue, green, red.
void YuvToBgrTable(int y, int cb, int cr, uint8_t bgr[3]);
// Writes a 4:2:0 frame into a locked surface of the FourCC's layout; false for an unknown code.
bool WriteYuvSurface(const YuvPlanes& planes, uint32_t fourCc, uint8_t* surface, int pitch);

constexpr uint32_t MakeFourCc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
constexpr uint32_t kFourCcYv12 = MakeFourCc('Y', 'V', '1', '2');
constexpr uint32_t kFourCcYuy2 = MakeFourCc('Y', 'U', 'Y', '2');
constexpr uint32_t kFourCcUyvy = MakeFourCc('U', 'Y', 'V', 'Y');

// ---- The movie handle record ------------------------------------------------------------------------

// What the DirectShow half keeps of a movie; untouched by the Theora road.
struct DirectShowMovieState {
  plat::RECT sampleRect;  // of the sample surface
  // The stream, graph and surface interfaces, each holding one reference; all null once released.
  plat::IAMMultiMediaStream* multiMediaStream;
  plat::IMediaStream* videoStream;  // the primary video stream, also as the next two faces
  plat::IAMMediaStream* amMediaStream;
  plat::IDirectDrawMediaStream* ddMediaStream;
  plat::IDirectDrawStreamSample* sample;
  plat::IDirectDrawSurface* sampleSurface;  // also as the next two faces
  plat::IDirectDrawSurface7* surface7;
  plat::IDirectDrawSurface4* surface4;      // modes 0 and 2
  plat::IDirectDraw4* directDraw4;
  plat::IGraphBuilder* graph;
  plat::IMediaControl* mediaControl;
  plat::IMediaSeeking* mediaSeeking;
  plat::IBasicAudio* basicAudio;
  uint64_t lastUpdateFrame;  // frame counter at the last sample update
  uint32_t lastUpdateTime;   // ms
  int64_t savedStreamTime;   // 100 ns units, kept across a re-creation of the display
  uint32_t tempCopyMade;
  char openedPath[kFilePathMax];
  plat::HANDLE updateEvent;
  uint32_t updatePending;
  uint32_t firstFrameTried;  // the first frame of a film that does not play was asked for (once an open)
  int32_t windowX, windowY, windowScale, windowShown;
  plat::RECT overlaySource, overlayDestination;
};

struct MovieHandleRecord {
  uint32_t serial;
  uint32_t playType;  // bit 1: loop at the end
  uint32_t isTheora;
  TheoraMovieRecord* theora;
  uint64_t startTime;  // us of the high-resolution clock at which frame 0 was due
  FileHandle file;     // the Theora stream's file; 0 when none
  int32_t sound;       // the Theora movie's stream sound, -1 when none
  DirectShowMovieState directShow;
  int32_t width, height;  // pixels
  uint32_t halfWidth;
  uint32_t playingWanted;
  uint32_t stopped;
  uint32_t frameUpdated;
  uint32_t yuvSample;
  uint32_t presentationMode;  // DirectShow: 0 image, 1 overlay, 2 24-bit surface
  GraphImage frameImageArea;  // DirectShow modes 0 and 2
  GraphImage* frameImage;     // what the frame callback copies from
  MovieFrameCallback callback;
  GraphRecord* callbackArgument;
};

// The record of a valid handle, or null.
MovieHandleRecord* GetMovieData(int movie);
int OpenMovie(const char* fileName, int* width, int* height, int presentationMode);
int UpdateMovieFrame(int movie, int force);
int PauseMovieHandle(int movie, int keepPlayingWanted);
// The handle of the record in table slot `index` (0..99), or -1 when the slot is empty.
int MovieSlotHandle(int index);
// Open movies (for tests and shut-down checks).
int GetOpenMovieCount();

// The Theora half of a frame update (the clock, the move, the callback).
void UpdateTheoraMovieFrame(MovieHandleRecord* m);

// ---- The DirectShow half ----------------------------------------------------------------------------

// Opens a non-Theora file; fills the size fields and the pointers; 0 or -1 (its reason logged).
int Movie_OpenDirectShow(plat::IDirectDraw7* directDraw, MovieHandleRecord* m, const char* fileName, int* width,
                         int* height, int presentationMode);
// The DirectShow halves of the frame update, the pause, the resume and the close.
int Movie_UpdateDirectShowFrame(MovieHandleRecord* m, int force);
// 1 when the movie was paused, 0 when its surfaces are released (flags stay as they are).
int Movie_PauseDirectShow(MovieHandleRecord* m);
int Movie_ResumeDirectShow(MovieHandleRecord* m);
void Movie_CloseDirectShow(MovieHandleRecord* m);

}  // namespace orbel

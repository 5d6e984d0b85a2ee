// Theora streams: the open ("OggS" probe, the three headers, one scan of the whole file into a page
// table and a key-frame table, the RGB image, the frame stock and last the decode thread), the close,
// and the small queries of the rest of the subsystem. Ogg framing and decoding are libogg's and
// libtheora's. The open owns every part of the record until it starts the thread, which is its last
// step that can fail; from then on the Ogg and Theora state and the file are the thread's, and only the
// close, having stopped and joined the thread, frees them.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/movie/movie_record.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/kernel/sync.h"
#include "platform/win/kernel/thread.h"

namespace orbel {
namespace {

constexpr int kReadSize = 4096;
constexpr int kTableStep = 1000;
// Frames beyond these are taken as damage rather than film: pixels a side of the coded frame, and bytes
// of the pictures a movie holds decoded at once (as the picture loaders' cap on one decoded image).
constexpr uint32_t kFrameSideMax = 8192;
constexpr uint64_t kDecodedBytesMax = 1ull << 28;
// Pictures the decoder keeps of its own beside the stock: its reference frames and its output.
constexpr uint64_t kDecoderPictures = 3;

// The stock's and the decoder's pictures in planes, and the picture region as a 32-bit image.
uint64_t DecodedBytes(const theora_info& info, int stockSize) {
  const uint64_t luma = static_cast<uint64_t>(info.width) * info.height;
  const uint64_t chroma = info.pixelformat == OC_PF_444 ? luma : (info.pixelformat == OC_PF_422 ? luma / 2 : luma / 4);
  const uint64_t rgb = static_cast<uint64_t>(info.frame_width) * info.frame_height * 4;
  return (luma + 2 * chroma) * (static_cast<uint64_t>(stockSize) + kDecoderPictures) + rgb;
}

// The coded frame and its pictures are of a size we hold, its chroma layout is one we convert, the
// picture region lies in the coded frame, and the frame rate is a finite, positive number. Checked from
// the headers alone, before anything is allocated for the frames.
bool UsableStream(const theora_info& info, int stockSize) {
  if (info.width == 0 || info.height == 0 || info.width > kFrameSideMax || info.height > kFrameSideMax) return false;
  if (info.frame_width == 0 || info.frame_height == 0) return false;
  if (info.offset_x > info.width || info.frame_width > info.width - info.offset_x) return false;
  if (info.offset_y > info.height || info.frame_height > info.height - info.offset_y) return false;
  if (info.pixelformat != OC_PF_420 && info.pixelformat != OC_PF_422 && info.pixelformat != OC_PF_444) return false;
  if (DecodedBytes(info, stockSize) > kDecodedBytesMax) return false;
  if (info.fps_numerator == 0 || info.fps_denominator == 0) return false;
  const double fps = static_cast<double>(info.fps_numerator) / static_cast<double>(info.fps_denominator);
  return std::isfinite(fps) && fps > 0;
}

template <typename T>
bool Grow(T** table, int32_t* capacity) {
  const uint64_t bytes = (static_cast<uint64_t>(*capacity) + kTableStep) * sizeof(T);
  if (bytes > UINT32_MAX) return false;
  void* grown = MemRealloc(*table, static_cast<uint32_t>(bytes), __FILE__, __LINE__);
  if (grown == nullptr) return false;
  *table = static_cast<T*>(grown);
  *capacity += kTableStep;
  return true;
}

bool AddFrame(TheoraMovieRecord* th, bool newPage, uint64_t pageOffset, int key) {
  if (newPage) {
    if (th->pageCount == th->pageCapacity && !Grow(&th->pages, &th->pageCapacity)) return false;
    th->pages[th->pageCount++] = {pageOffset, static_cast<int32_t>(th->frameCount), 0, 0};
  }
  if (th->pageCount == 0) return false;  // a frame before any page cannot be
  if (th->frameCount == static_cast<uint64_t>(th->keyFrameCapacity) && !Grow(&th->keyFrames, &th->keyFrameCapacity))
    return false;
  TheoraPageEntry& last = th->pages[th->pageCount - 1];
  th->keyFrames[th->frameCount] = key == 1 ? 1 : 0;
  if (key == 1) last.hasKeyFrame = 1;
  ++th->frameCount;
  ++last.frames;
  return true;
}

// One pass over the whole file: the page table and the key-frame table. False when a table cannot grow.
bool ScanTheoraStream(TheoraMovieRecord* th) {
  uint64_t offset = 0;
  uint64_t pageOffset = 0;
  bool newPage = false;
  for (;;) {
    const int got = ogg_stream_packetout(&th->stream, &th->packet);
    if (got == 0) {
      const long seek = ogg_sync_pageseek(&th->sync, &th->page);
      if (seek > 0) {
        pageOffset = offset;
        offset += static_cast<uint64_t>(seek);
        newPage = true;
        ogg_stream_pagein(&th->stream, &th->page);
      } else if (seek < 0) {
        offset += static_cast<uint64_t>(-seek);  // bytes skipped to find the next page
      } else if (ReadTheoraStreamData(th, kReadSize) == 0) {
        return true;
      }
      continue;
    }
    if (got < 0) continue;  // a hole in the stream: no frame
    const int key = theora_packet_iskeyframe(&th->packet);
    if (key < 0) continue;  // a header
    if (th->frameCount >= INT32_MAX - 1) return true;
    if (!AddFrame(th, newPage, pageOffset, key)) return false;
    newPage = false;
  }
}

// Takes the next packet of the Theora stream into th->packet: 1, 0 when none is ready, -1 for a hole.
int NextHeaderPacket(TheoraMovieRecord* th) { return ogg_stream_packetout(&th->stream, &th->packet); }

void PageIntoStream(TheoraMovieRecord* th) {
  // Pages reach the stream only once the Theora stream has been found.
  if (th->streamReady) ogg_stream_pagein(&th->stream, &th->page);
}

bool CreateDecodeThread(TheoraMovieRecord* th) {
  th->pauseRequest.store(1, std::memory_order_release);
  th->state.store(kTheoraStockFull, std::memory_order_release);
  th->thread = plat::CreateThread(nullptr, 0, TheoraDecodeThread, th, 0, &th->threadId);
  return th->thread != nullptr;
}

// Asks the thread to end, waits until it has left its procedure and forgets it; nothing without a thread.
void StopDecodeThread(TheoraMovieRecord* th) {
  if (th->thread == nullptr) return;
  {
    std::unique_lock<std::mutex> lock(th->lock);
    th->stopRequest.store(1, std::memory_order_release);
    ++th->mainGeneration;
    th->changed.notify_all();
    th->changed.wait(lock, [&] { return th->state.load(std::memory_order_acquire) == kTheoraEnded; });
  }
  plat::WaitForSingleObject(th->thread, plat::INFINITE);
  plat::CloseHandle(th->thread);
  th->thread = nullptr;
}

// Logs `line`, undoes the open and gives null.
TheoraMovieRecord* FailOpen(TheoraMovieRecord* th, const char* line) {
  if (line != nullptr) LogAdd(line);
  CloseTheoraMovie(th);
  return nullptr;
}

}  // namespace

// ---- Reading ----------------------------------------------------------------------------------------

int ReadTheoraStreamData(TheoraMovieRecord* th, int size) {
  char* buffer = ogg_sync_buffer(&th->sync, size);
  if (buffer == nullptr) return 0;
  const size_t read = th->table.Read(buffer, 1, static_cast<size_t>(size), th->file);
  ogg_sync_wrote(&th->sync, static_cast<long>(read));
  return static_cast<int>(read);
}

int ReadTheoraHeaders(TheoraMovieRecord* th) {
  // Finding the stream: the first beginning-of-stream page whose packet is a Theora header.
  bool found = false;
  while (!found && ReadTheoraStreamData(th, kReadSize) != 0) {
    while (!found && ogg_sync_pageout(&th->sync, &th->page) > 0) {
      if (!ogg_page_bos(&th->page)) {
        PageIntoStream(th);
        found = true;  // past the start pages: on to the other headers (or to failure)
        break;
      }
      ogg_stream_state test;
      ogg_stream_init(&test, ogg_page_serialno(&th->page));
      ogg_stream_pagein(&test, &th->page);
      ogg_packet packet;
      if (ogg_stream_packetout(&test, &packet) == 1 && theora_decode_header(&th->info, &th->comment, &packet) == 0) {
        th->serial = ogg_page_serialno(&th->page);
        th->headerCount = 1;
        th->stream = test;
        th->streamReady = 1;
        found = true;
      } else {
        ogg_stream_clear(&test);
      }
    }
  }
  if (!th->streamReady) return -1;

  while (th->headerCount < 3) {
    while (th->headerCount < 3) {
      const int got = NextHeaderPacket(th);
      if (got == 0) break;
      if (got < 0) return -1;
      if (theora_decode_header(&th->info, &th->comment, &th->packet) != 0) return -1;
      ++th->headerCount;
    }
    if (ogg_sync_pageout(&th->sync, &th->page) > 0) {
      PageIntoStream(th);
    } else if (ReadTheoraStreamData(th, kReadSize) == 0) {
      return -1;
    }
  }
  return 1;
}

// ---- Open and close ---------------------------------------------------------------------------------

TheoraMovieRecord* OpenTheoraMovie(const FileAccessFunctionTable* table, FileHandle file, int stockSize) {
  char magic[4] = {};
  if (table->Read(magic, 1, 4, file) != 4 || std::memcmp(magic, "OggS", 4) != 0) return nullptr;
  table->Seek(file, 0, 0);
  void* block = MemCalloc(sizeof(TheoraMovieRecord), __FILE__, __LINE__);
  if (block == nullptr) {
    LogAdd("Theora ムービーデコード処理用のメモリ確保に失敗しました\n");
    return nullptr;
  }
  auto* th = new (block) TheoraMovieRecord();
  th->currentFrame.store(-1, std::memory_order_relaxed);
  th->headerCount = 0;
  ogg_sync_init(&th->sync);
  theora_info_init(&th->info);
  theora_comment_init(&th->comment);
  th->table = *table;
  th->file = file;

  if (ReadTheoraHeaders(th) == -1) return FailOpen(th, nullptr);
  th->stockSize = stockSize < 1 ? 1 : stockSize;
  if (!UsableStream(th->info, th->stockSize)) return FailOpen(th, nullptr);
  if (theora_decode_init(&th->decoder, &th->info) != 0) return FailOpen(th, nullptr);
  th->decoderReady = 1;
  ogg_sync_reset(&th->sync);
  ogg_stream_reset(&th->stream);
  th->table.Seek(file, 0, 0);

  th->pages = static_cast<TheoraPageEntry*>(MemAlloc(kTableStep * sizeof(TheoraPageEntry), __FILE__, __LINE__));
  if (th->pages == nullptr) return FailOpen(th, "Theora ページ情報格納用メモリの確保に失敗しました\n");
  th->pageCapacity = kTableStep;
  th->keyFrames = static_cast<uint8_t*>(MemAlloc(kTableStep, __FILE__, __LINE__));
  if (th->keyFrames == nullptr) return FailOpen(th, "Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
  th->keyFrameCapacity = kTableStep;
  th->pageCount = 0;
  th->frameCount = 0;
  if (!ScanTheoraStream(th)) return FailOpen(th, "Theora ページ情報格納用メモリの確保に失敗しました\n");
  // A stream without frames has nothing to show or to seek to.
  if (th->frameCount == 0) return FailOpen(th, nullptr);
  th->pages[0].byteOffset = 0;

  CreateTheoraYuvSurface(th);
  if (MakeImage32(static_cast<int>(th->info.frame_width), static_cast<int>(th->info.frame_height), &th->rgbImage) == -1)
    return FailOpen(th, "Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n");
  th->stock = static_cast<TheoraFrameStockSlot*>(
      MemCalloc(static_cast<uint32_t>(th->stockSize * sizeof(TheoraFrameStockSlot)), __FILE__, __LINE__));
  if (th->stock == nullptr) return FailOpen(th, "Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n");
  // Last, so that no failure of the open meets a running thread: it starts paused and reads nothing
  // until the seek below hands it the stream.
  if (!CreateDecodeThread(th)) return FailOpen(th, "Theora ムービーデコード用スレッドの作成に失敗しました\n");

  SeekTheoraMovieFrame(th, 0);
  UpdateTheoraMovieFrameImage(th, 1, 1);
  return th;
}

int CloseTheoraMovie(TheoraMovieRecord* th) {
  if (th == nullptr) return 0;
  StopDecodeThread(th);  // before anything it reads is freed
  if (th->stock != nullptr) {
    for (int i = 0; i < th->stockSize; ++i) {
      std::free(th->stock[i].y);
      std::free(th->stock[i].u);
      std::free(th->stock[i].v);
    }
    MemFree(th->stock);
  }
  if (th->yuvSurface != nullptr) th->yuvSurface->Release();
  MemFree(th->pages);
  MemFree(th->keyFrames);
  if (th->rgbImage.pixels != nullptr) FreeGraphImage(&th->rgbImage);
  if (th->streamReady) ogg_stream_clear(&th->stream);
  theora_clear(&th->decoder);
  theora_comment_clear(&th->comment);
  theora_info_clear(&th->info);
  ogg_sync_clear(&th->sync);
  th->~TheoraMovieRecord();
  MemFree(th);
  return 0;
}

// ---- Queries ----------------------------------------------------------------------------------------

int GetTheoraMovieInfo(const TheoraMovieRecord* th, TheoraMovieInfo* out) {
  out->framesPerSecond = static_cast<double>(static_cast<uint64_t>(th->info.fps_numerator)) /
                         static_cast<double>(static_cast<uint64_t>(th->info.fps_denominator));
  out->frameCount = static_cast<int32_t>(th->frameCount & 0xFFFFFFFFu);
  // The picture region, not the coded frame: the padding to whole blocks is never shown.
  out->width = static_cast<int32_t>(th->info.frame_width);
  out->height = static_cast<int32_t>(th->info.frame_height);
  return 0;
}

GraphImage* GetTheoraMovieBaseImage(TheoraMovieRecord* th) { return &th->rgbImage; }
plat::IDirectDrawSurface7* GetTheoraMovieYuvSurface(const TheoraMovieRecord* th) { return th->yuvSurface; }
int GetTheoraMovieCurrentFrame(const TheoraMovieRecord* th) {
  return th->currentFrame.load(std::memory_order_acquire);
}

}  // namespace orbel

// The Theora decode thread and its frame stock: the thread keeps the frames at and just after the current
// frame decoded, in window order, repositioning through the page index when the wanted frame lies behind
// the decoder; the main thread moves the current frame and posts seeks. Both sides wait on the record's
// condition instead of polling, and every change the other side waits for is made under the record's
// lock. The stock slot that the main thread converts from is pinned, so the thread never drops or
// refills it underneath. A picture is stocked only when it is one of the stream's coded frame in its
// chroma layout; any other is dropped (its slot holds no planes), so nothing reads past a plane.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "orbel/movie/movie_record.h"

namespace orbel {
namespace {

constexpr int kReadSize = 4096;

using Lock = std::unique_lock<std::mutex>;

int FrameCount(const TheoraMovieRecord* th) { return static_cast<int>(th->frameCount & 0x7FFFFFFF); }

void SetState(TheoraMovieRecord* th, int32_t state) {
  th->state.store(state, std::memory_order_release);
  th->changed.notify_all();
}

// Takes the next Theora packet, reading pages and data as needed: 1, or -1 at the end of the file.
int NextPacket(TheoraMovieRecord* th) {
  for (;;) {
    const int got = ogg_stream_packetout(&th->stream, &th->packet);
    if (got > 0) return 1;
    if (got < 0) continue;  // a hole: skipped, it counts as no frame
    if (ogg_sync_pageout(&th->sync, &th->page) > 0) {
      ogg_stream_pagein(&th->stream, &th->page);
      continue;
    }
    if (th->table.Eof(th->file) != 0) return -1;
    if (ReadTheoraStreamData(th, kReadSize) == 0) return -1;
  }
}

// Seeks the file to `offset` from its start. The table's seek takes 32-bit signed offsets, so the part
// past 2 GiB is covered in steps from the current position.
bool SeekFile(TheoraMovieRecord* th, uint64_t offset) {
  const auto first = static_cast<int32_t>(std::min<uint64_t>(offset, INT32_MAX));
  if (th->table.Seek(th->file, first, 0) != 0) return false;
  for (uint64_t left = offset - static_cast<uint64_t>(first); left > 0;) {
    const auto step = static_cast<int32_t>(std::min<uint64_t>(left, INT32_MAX));
    if (th->table.Seek(th->file, step, 1) != 0) return false;
    left -= static_cast<uint64_t>(step);
  }
  return true;
}

// Puts the decoder on frame `target` through the page index: from the page before the nearest key-frame
// page at or before it. False when the index has no page for it.
bool RepositionDecoder(TheoraMovieRecord* th, int target) {
  int e = 0;
  while (e < th->pageCount && th->pages[e].firstFrame + th->pages[e].frames <= target) ++e;
  if (e == th->pageCount) return false;
  if (e > 0) --e;
  while (e > 0 && !th->pages[e].hasKeyFrame) --e;
  if (e > 0) --e;
  ogg_sync_reset(&th->sync);
  ogg_stream_reset(&th->stream);
  if (!SeekFile(th, th->pages[e].byteOffset)) return false;
  int first = th->pages[e].firstFrame;
  if (e > 0) {
    // The first page may end a packet begun before it, which is lost with the part before.
    while (ogg_sync_pageout(&th->sync, &th->page) <= 0) {
      if (ReadTheoraStreamData(th, kReadSize) == 0) return false;
    }
    if (ogg_page_continued(&th->page)) ++first;
    ogg_stream_pagein(&th->stream, &th->page);
  }
  th->lastDecoded.store(first - 1, std::memory_order_release);
  if (target > first - 1 && DecodeTheoraFrames(th, target - (first - 1)) == -1) return false;
  return true;
}

bool InStock(const TheoraMovieRecord* th, int frame) {
  for (int i = 0; i < th->stockSize; ++i) {
    const TheoraFrameStockSlot& s = th->stock[i];
    if ((s.inUse || s.filling) && s.frameNumber == frame) return true;
  }
  return false;
}

// The plane sizes of a picture of the stream: the coded frame, the chroma planes by the pixel format.
struct PlaneSizes {
  int64_t yWidth, yHeight, uvWidth, uvHeight;
};
PlaneSizes StreamPlanes(const theora_info& info) {
  const int64_t width = info.width;
  const int64_t height = info.height;
  return {width, height, info.pixelformat == OC_PF_444 ? width : width / 2,
          info.pixelformat == OC_PF_420 ? height / 2 : height};
}

bool MatchesStream(const theora_info& info, const yuv_buffer& p) {
  const PlaneSizes want = StreamPlanes(info);
  if (p.y == nullptr || p.u == nullptr || p.v == nullptr) return false;
  if (want.yWidth == 0 || want.yHeight == 0 || want.uvWidth == 0 || want.uvHeight == 0) return false;
  if (p.y_width != want.yWidth || p.y_height != want.yHeight) return false;
  if (p.uv_width != want.uvWidth || p.uv_height != want.uvHeight) return false;
  return std::abs(static_cast<int64_t>(p.y_stride)) >= p.y_width &&
         std::abs(static_cast<int64_t>(p.uv_stride)) >= p.uv_width;
}

// Copies `height` rows of `width` bytes, `stride` apart in the source (bottom-up when negative), into a
// packed block; the block is kept when its size stays.
bool CopyPlane(uint8_t** block, bool sameSize, int width, int height, const unsigned char* source, int stride) {
  if (!sameSize || *block == nullptr) {
    std::free(*block);
    *block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(width) * height));
    if (*block == nullptr) return false;
  }
  for (int row = 0; row < height; ++row)
    std::memcpy(*block + static_cast<size_t>(row) * width, source + static_cast<ptrdiff_t>(row) * stride, width);
  return true;
}

// The decoder's picture into slot `s` (reserved by the caller): false when memory ran out. A frame
// whose packet the decoder refused has no picture of its own: what the decoder holds then is an earlier
// frame's, or before any decoded packet memory it never set, and it is dropped as a mismatch is.
bool StorePicture(TheoraMovieRecord* th, TheoraFrameStockSlot* s) {
  yuv_buffer picture{};
  if (th->pictureDecoded && theora_decode_YUVout(&th->decoder, &picture) != 0) picture = yuv_buffer{};
  const int stored = StoreTheoraPicture(th->info, picture, s);
  if (stored == 0) th->droppedFrames.fetch_add(1, std::memory_order_relaxed);
  return stored != -1;
}

// A seek posted by the main thread: the decoder onto the target, the stock emptied.
void RunSeek(TheoraMovieRecord* th, Lock& lock) {
  SetState(th, kTheoraSeeking);
  const int target = th->seekTarget.load(std::memory_order_acquire);
  lock.unlock();
  const bool ok = RepositionDecoder(th, target);
  lock.lock();
  for (int i = 0; i < th->stockSize; ++i) {
    if (!th->stock[i].pinned) th->stock[i].inUse = 0;
  }
  th->lastDecoded.store(ok ? target : th->lastDecoded.load(std::memory_order_relaxed), std::memory_order_release);
  th->endReached.store(ok ? 0 : 1, std::memory_order_release);
  th->seekRequest.store(0, std::memory_order_release);
  th->changed.notify_all();
}

// One fill pass: drops the slots outside the window of frames c .. c+N-1 (wrapping past the end), then
// decodes the first window frame not yet stocked. False when there was nothing to do.
bool FillStep(TheoraMovieRecord* th, Lock& lock) {
  const int c = th->currentFrame.load(std::memory_order_acquire);
  const int n = FrameCount(th);
  const int window = th->stockSize < n ? th->stockSize : n;
  if (c < 0 || c >= n) return false;
  auto inWindow = [&](int frame) { return ((frame - c) % n + n) % n < window; };

  TheoraFrameStockSlot* free = nullptr;
  for (int i = 0; i < th->stockSize; ++i) {
    TheoraFrameStockSlot& s = th->stock[i];
    if (s.inUse && !s.pinned && !inWindow(s.frameNumber)) s.inUse = 0;
    if (!s.inUse && !s.filling && free == nullptr) free = &s;
  }
  if (th->endReached.load(std::memory_order_acquire)) return false;
  int target = -1;
  for (int i = 0; i < window && target == -1; ++i) {
    const int frame = (c + i) % n;
    if (!InStock(th, frame)) target = frame;
  }
  if (target == -1 || free == nullptr) {
    th->idleFrame = c;
    return false;
  }
  free->filling = 1;
  SetState(th, kTheoraDecoding);
  lock.unlock();

  const int last = th->lastDecoded.load(std::memory_order_relaxed);
  bool ok = true;
  if (target > last) {
    ok = DecodeTheoraFrames(th, target - last) != -1;
  } else if (target < last) {
    ok = RepositionDecoder(th, target);  // behind the decoder: back through the index
  }
  const bool stored = ok && StorePicture(th, free);

  lock.lock();
  free->filling = 0;
  if (stored) {
    free->frameNumber = th->lastDecoded.load(std::memory_order_relaxed);
    free->inUse = 1;
  } else {
    th->endReached.store(1, std::memory_order_release);
  }
  th->changed.notify_all();
  return true;
}

}  // namespace

// ---- Stocking a picture ------------------------------------------------------------------------------

int StoreTheoraPicture(const theora_info& info, const yuv_buffer& picture, TheoraFrameStockSlot* s) {
  const bool matches = MatchesStream(info, picture);
  const bool sameY = s->yWidth == picture.y_width && s->yHeight == picture.y_height;
  const bool sameUv = s->uvWidth == picture.uv_width && s->uvHeight == picture.uv_height;
  const bool copied =
      matches && CopyPlane(&s->y, sameY, picture.y_width, picture.y_height, picture.y, picture.y_stride) &&
      CopyPlane(&s->u, sameUv, picture.uv_width, picture.uv_height, picture.u, picture.uv_stride) &&
      CopyPlane(&s->v, sameUv, picture.uv_width, picture.uv_height, picture.v, picture.uv_stride);
  if (!copied) {
    s->yWidth = s->yHeight = s->uvWidth = s->uvHeight = 0;
    return matches ? -1 : 0;
  }
  s->yWidth = picture.y_width;
  s->yHeight = picture.y_height;
  s->uvWidth = picture.uv_width;
  s->uvHeight = picture.uv_height;
  return 1;
}

// ---- The thread -------------------------------------------------------------------------------------

plat::DWORD TheoraDecodeThread(void* record) {
  auto* th = static_cast<TheoraMovieRecord*>(record);
  Lock lock(th->lock);
  while (th->stopRequest.load(std::memory_order_acquire) == 0) {
    th->passes.fetch_add(1, std::memory_order_relaxed);
    if (th->pauseRequest.load(std::memory_order_acquire) != 0) {
      SetState(th, kTheoraPaused);
      th->changed.wait(lock, [&] {
        return th->pauseRequest.load(std::memory_order_acquire) == 0 || th->stopRequest.load(std::memory_order_acquire) != 0;
      });
      continue;
    }
    if (th->seekRequest.load(std::memory_order_acquire) != 0) {
      RunSeek(th, lock);
      continue;
    }
    const uint32_t seen = th->mainGeneration;
    if (!FillStep(th, lock)) {
      // Stock full (or the end of the file met): nothing changes until the main thread moves something.
      SetState(th, kTheoraStockFull);
      th->changed.wait(lock, [&] { return th->mainGeneration != seen; });
    }
  }
  SetState(th, kTheoraEnded);
  return 0;
}

int DecodeTheoraFrames(TheoraMovieRecord* th, int count) {
  int last = th->lastDecoded.load(std::memory_order_relaxed);
  const int n = FrameCount(th);
  // The last key frame among the frames to come: packets before it need not be decoded.
  int key = -1;
  for (int frame = last + 1; frame <= last + count && frame < n; ++frame) {
    if (frame >= 0 && th->keyFrames[frame]) key = frame;
  }
  int isKey = 0;
  for (int read = 0; read < count;) {
    if (NextPacket(th) == -1) return -1;
    isKey = theora_packet_iskeyframe(&th->packet);
    if (isKey < 0) continue;  // a header met after a rewind to the start
    if (key == -1 || key <= last + 1) th->pictureDecoded = theora_decode_packetin(&th->decoder, &th->packet) == 0;
    ++last;
    ++read;
    th->lastDecoded.store(last, std::memory_order_release);
  }
  return isKey == 1 ? 1 : 0;
}

// ---- Main-thread moves ------------------------------------------------------------------------------

void NotifyTheoraThread(TheoraMovieRecord* th) {
  std::lock_guard<std::mutex> lock(th->lock);
  ++th->mainGeneration;
  th->idleFrame = -1;  // the thread has not looked at the new state yet
  th->changed.notify_all();
}

int SeekTheoraMovieFrame(TheoraMovieRecord* th, int frame) {
  if (frame == th->currentFrame.load(std::memory_order_acquire)) return 0;
  th->rgbConverted = 0;
  th->yuvConverted = 0;
  Lock lock(th->lock);
  th->pauseRequest.store(1, std::memory_order_release);
  ++th->mainGeneration;
  th->changed.notify_all();
  th->changed.wait(lock, [&] {
    const int32_t state = th->state.load(std::memory_order_acquire);
    return state == kTheoraPaused || state == kTheoraEnded;
  });
  // A seek goes to an existing frame: the last one at most.
  const int n = FrameCount(th);
  if (frame < 0) frame = 0;
  if (frame > n - 1) frame = n - 1;
  th->currentFrame.store(frame, std::memory_order_release);
  th->seekTarget.store(frame, std::memory_order_release);
  th->seekRequest.store(1, std::memory_order_release);
  th->pauseRequest.store(0, std::memory_order_release);
  ++th->mainGeneration;
  th->idleFrame = -1;
  th->changed.notify_all();
  return 0;
}

int AdvanceTheoraMovieFrame(TheoraMovieRecord* th, int count) {
  if (count < 1) return 0;
  const int n = FrameCount(th);
  int64_t next = static_cast<int64_t>(th->currentFrame.load(std::memory_order_acquire)) + count;
  if (next >= n) next -= n;
  if (next >= n || next < 0) next %= n;  // a count beyond a whole turn
  th->currentFrame.store(static_cast<int32_t>(next), std::memory_order_release);
  th->rgbConverted = 0;
  th->yuvConverted = 0;
  NotifyTheoraThread(th);
  return 0;
}

}  // namespace orbel

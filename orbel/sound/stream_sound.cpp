// Stream sounds: data entries added from files, file images or the caller's stream; the ring set-up,
// play, stop and clock; and the refill that the message pump runs, which keeps each playing ring three
// to four seconds ahead of its play cursor and writes silence after the data's end until the cursor
// has passed it.
// Depends on the converter, the sound handles, the file-access table and the message pump.
#include "orbel/sound/stream_sound.h"

#include <algorithm>
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/string_routines.h"
#include "orbel/file/file_access.h"
#include "orbel/sound/sound_handle.h"
#include "platform/win/kernel/clock.h"

namespace orbel {

namespace {

constexpr uint32_t kLeadTarget = 384;  // 3 s in 1/128 s

// Bytes per second, block align, ring size.
uint32_t A(const SoundHandleRecord* r) { return r->format.nAvgBytesPerSec; }
uint32_t B(const SoundHandleRecord* r) { return r->format.nBlockAlign; }
uint32_t EighthSecond(const SoundHandleRecord* r) { return A(r) / 8 / B(r) * B(r); }
uint32_t FourSeconds(const SoundHandleRecord* r) { return 4 * A(r) / B(r) * B(r); }

SoundHandleRecord* StreamRecord(int handle) {
  SoundHandleRecord* r = LookupSound(handle);
  return r != nullptr && r->kind == 1 ? r : nullptr;
}

// Where the next byte goes while a lock is being filled.
uint32_t CurrentRingPosition(const SoundHandleRecord* r, const LockRegions& g) {
  if (g.left1 > 0) return g.offset + (g.length1 - g.left1);
  if (g.length2 == 0) return (g.offset + g.length1) % r->ringSize;
  return g.length2 - g.left2;
}

void ResetPlayState(SoundHandleRecord* r) {
  r->allFinished = 0;
  r->conversionOffset = 0;
  r->bytesPlayed = 0;
  r->loopWrapPending = 0;
  r->plays = 0;
  r->currentEntry = 0;
  r->active = 0;
}

// Bytes from ring position `from` forward to `to`, across the wrap.
uint32_t RingDistance(const SoundHandleRecord* r, uint32_t from, uint32_t to) {
  return to >= from ? to - from : r->ringSize - from + to;
}

// True when the cursor stands in the stretch from W forward to G, where nothing may be written.
bool InGuardGap(int32_t w, int32_t g, int32_t k) {
  return (w < g && w < k && k < g) || (g < w && (k < g || k > w));
}

// The data has ended: silence fills the rest of the lock so no stale ring bytes are heard.
void MarkEndWritten(SoundHandleRecord* r, LockRegions* g, uint32_t cursor) {
  r->allFinished = 1;
  r->endWritten = 1;
  r->endPosition = CurrentRingPosition(r, *g);
  r->cursorAtEnd = cursor;
  ClearSoundBufferData(r, g, g->left1 + g->left2);
}

int Lock(SoundBufferEntry* entry, uint32_t start, uint32_t size, LockRegions* g) {
  std::memset(g, 0, sizeof *g);
  void* p1 = nullptr;
  void* p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;
  if (SoundBufferLock(entry, start, size, &p1, &n1, &p2, &n2) != 0) return -1;
  g->offset = start;
  g->region1 = static_cast<uint8_t*>(p1);
  g->region2 = static_cast<uint8_t*>(p2);
  g->length1 = g->left1 = n1;
  g->length2 = g->left2 = p2 != nullptr ? n2 : 0;
  return 0;
}

void Unlock(SoundBufferEntry* entry, const LockRegions& g) {
  SoundBufferUnlock(entry, g.region1, g.length1, g.region2, g.length2);
}

// The write and guard positions after `size` more bytes.
void AdvanceWritePosition(SoundHandleRecord* r, uint32_t size) {
  if (r->writePosition == kRingNeverFilled) {
    r->guardPosition = 0;
    r->writePosition = static_cast<int32_t>(4 * A(r));
    return;
  }
  int64_t w = int64_t{r->writePosition} + size;
  if (w >= r->ringSize) w -= r->ringSize;
  int64_t g = w - int64_t{4} * A(r);
  if (g < 0) g += r->ringSize;
  r->writePosition = static_cast<int32_t>(w);
  r->guardPosition = static_cast<int32_t>(g);
}

uint32_t ReadCursor(SoundBufferEntry* entry) {
  uint32_t k = 0;
  SoundBufferGetCurrentPosition(entry, &k);
  return k;
}

// Opens the converter of a new entry over its data; the mode decides where the data lives.
int OpenEntry(StreamSoundDataEntry* e, const StreamData& source, int* callerMayClose) {
  StreamData s = source;
  if (e->mode == 3) {
    if (SetupPcmConverter(&s, &e->converter) != 0) return LogAdd("音声データのオープンに失敗しました");
    *callerMayClose = 0;
    return 0;
  }
  if (e->mode == 0) {
    void* file = nullptr;
    uint32_t fileSize = 0;
    if (ReadStreamToMemory(&s, &file, &fileSize) != 0) return LogAdd("音声データの読み込みに失敗しました");
    StreamData mem{GetMemStreamFunctions(), MemStreamOpen(file, fileSize)};
    PcmConverterRecord temp;
    plat::WAVEFORMATEX format{};
    void* pcm = nullptr;
    uint32_t pcmSize = 0;
    int converted = -1;
    if (mem.handle != 0 && SetupPcmConverter(&mem, &temp) == 0) {
      converted = ConvertWholeToPcm(&temp, &format, &pcm, &pcmSize);
      TerminatePcmConverter(&temp);
    }
    if (mem.handle != 0) MemStreamClose(mem.handle);
    MemFree(file);
    if (converted != 0) return LogAdd("音声データの変換に失敗しました");
    const int built = BuildWaveFileImage(&e->data, &e->dataSize, format, pcm, pcmSize);
    MemFree(pcm);
    if (built != 0) return LogAdd("音声データの変換に失敗しました");
  } else if (e->mode == 2) {
    if (ReadStreamToMemory(&s, &e->data, &e->dataSize) != 0) return LogAdd("音声データのオープンに失敗しました");
  } else {
    // Only the three modes above set up a converter; any other would leave the sound formatless.
    return LogAdd("音声データのオープンに失敗しました");
  }
  e->memStream = StreamData{GetMemStreamFunctions(), MemStreamOpen(e->data, e->dataSize)};
  if (e->memStream.handle == 0 || SetupPcmConverter(&e->memStream, &e->converter) != 0) {
    if (e->memStream.handle != 0) MemStreamClose(e->memStream.handle);
    MemFree(e->data);
    std::memset(e, 0, sizeof *e);
    return LogAdd("音声データのオープンに失敗しました");
  }
  *callerMayClose = 1;
  return 0;
}

}  // namespace

// ---- Adding data --------------------------------------------------------------------------------

void ReleaseStreamEntry(SoundHandleRecord* r, int index) {
  StreamSoundDataEntry* e = &r->entries[index];
  const bool ownSource = e->mode == 3 && r->entrySourceFlags[index] == 1;
  const StreamData source = e->converter.source;
  TerminatePcmConverter(&e->converter);
  if (ownSource && source.handle != 0) source.functions.Close(source.handle);
  if (e->memStream.handle != 0) MemStreamClose(e->memStream.handle);
  MemFree(e->data);
  std::memset(e, 0, sizeof *e);
  r->entrySourceFlags[index] = 0;
}

int AddSreamSound(const StreamData& source, int repeat, int handle, int mode, int* callerMayClose, int ringShare) {
  SoundHandleRecord* r = LookupSound(handle);
  if (r == nullptr) return -1;
  if (r->entryCount > 0) {
    if (r->kind != 1) return LogAdd("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
    SoundBufferEntry* ring = nullptr;
    uint32_t status = 0;
    if (AcquireStreamSoundBuffer(handle, r, &ring, 0) == 0 && SoundBufferGetStatus(ring, &status) == 0 &&
        (status & plat::DSBSTATUS_PLAYING))
      return LogAdd("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
    if (r->entryCount >= kMaxStreamEntries) return LogAdd("ストリーム風サウンドの制御データ領域がいっぱいです\n");
  }
  const int index = r->entryCount;
  StreamSoundDataEntry* e = &r->entries[index];
  std::memset(e, 0, sizeof *e);
  e->mode = mode;
  source.functions.Seek(source.handle, 0, 0);
  if (OpenEntry(e, source, callerMayClose) != 0) {
    std::memset(e, 0, sizeof *e);
    return -1;
  }

  const plat::WAVEFORMATEX& format = e->converter.format;
  if (index == 0) {
    r->format = format;
    SoundHandleRecord* share = ringShare != -1 ? StreamRecord(ringShare) : nullptr;
    if (share != nullptr && share->ringOwner == -1 && SameWaveFormat(share->format, format)) {
      r->kind = 1;
      r->bufferCount = 1;
      ListInsertNode(&SoundState.refillHead, &r->node, handle, r);
      r->ringOwner = ringShare;
      ++share->ringSharers;
    } else {
      CreateSoundHandleBuffers(format, 6 * format.nAvgBytesPerSec, 1, 1, handle);
      r->ringOwner = -1;
    }
    r->ringSize = 6 * format.nAvgBytesPerSec;
    r->ringSharers = 0;
    r->ringUser = -1;
    r->deletePending = 0;
  } else if (!SameWaveFormat(format, r->format)) {
    ReleaseStreamEntry(r, index);
    return LogAdd("フォーマットの違う音声データは同時に使うことは出来ません");
  }
  e->repeat = static_cast<uint8_t>(repeat);
  ++r->entryCount;
  uint64_t total = 0;
  for (int i = 0; i < r->entryCount; ++i) {
    // The Ogg length the converter states has room for a second more; a sound's length is exact.
    PcmConverterRecord* c = &r->entries[i].converter;
    total += (c->kind == kPcmKindOgg ? GetOggVorbisByteLength(c) : GetPcmConverterLength(c)) / B(r);
  }
  r->totalSamples = static_cast<int32_t>(std::min<uint64_t>(total, 0x7FFFFFFF));
  return 0;
}

int LoadStreamSoundFromFile(const char* path, int repeat, int handle, int mode, int ringShare) {
  const FileHandle file = FileAccessOpen(path, 0, 1, 0);
  if (file == 0) return SoundLogFmt("右記のＷＡＶファイルのロードに失敗しました：%s \n", path);
  const StreamData source{GetFileStreamFunctions(), file};
  int callerMayClose = 0;
  if (AddSreamSound(source, repeat, handle, mode, &callerMayClose, ringShare) != 0) {
    FileAccessClose(file);
    return SoundLogFmt("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", path);
  }
  if (callerMayClose == 1) FileAccessClose(file);
  SoundHandleRecord* r = LookupSound(handle);
  r->entrySourceFlags[r->entryCount - 1] = 1;
  return 0;
}

int LoadStreamSoundFromWaveImage(const void* image, uint32_t size, int repeat, int handle, int mode, int ringShare) {
  if (mode == 3) mode = 2;
  const StreamData source{GetMemStreamFunctions(), MemStreamOpen(image, size)};
  if (source.handle == 0) return LogAdd("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
  int callerMayClose = 0;
  if (AddSreamSound(source, repeat, handle, mode, &callerMayClose, ringShare) != 0) {
    MemStreamClose(source.handle);
    return LogAdd("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
  }
  if (callerMayClose == 1) MemStreamClose(source.handle);
  SoundHandleRecord* r = LookupSound(handle);
  r->entrySourceFlags[r->entryCount - 1] = 1;
  return 0;
}

// ---- Ring ownership, set-up, play and stop -------------------------------------------------------

int AcquireStreamSoundBuffer(int handle, SoundHandleRecord* r, SoundBufferEntry** entry, int takeOver) {
  if (r->kind == 0) {
    *entry = &r->buffers[0];
    return 0;
  }
  SoundHandleRecord* ring = r;
  if (r->ringOwner != -1) {
    ring = LookupSound(r->ringOwner);
    if (ring == nullptr) return -1;
  }
  if (ring->ringUser == -1) {
    ring->ringUser = handle;
  } else if (ring->ringUser != handle) {
    if (!takeOver) return -1;
    const int previous = ring->ringUser;
    StopStreamSound(previous);
    ring->ringUser = handle;
  }
  *entry = &ring->buffers[0];
  return 0;
}

int SetupStreamSoundPlay(int handle) {
  SoundHandleRecord* r = StreamRecord(handle);
  if (r == nullptr || r->entryCount == 0) return -1;
  SoundBufferEntry* ring = nullptr;
  if (IsStreamSoundPlaying(handle) == 1 || AcquireStreamSoundBuffer(handle, r, &ring, 0) != 0 || r->active) return -1;
  SoundBufferSetCurrentPosition(ring, 0);
  r->writePosition = kRingNeverFilled;
  r->guardPosition = -1;
  r->lastCursor = 0;
  r->endWritten = 0;
  SeekPcmConverter(&r->entries[r->currentEntry].converter, r->conversionOffset / B(r));
  r->active = 1;
  ServiceStreamSound(handle);
  return 0;
}

int PlayStreamSound(int handle, int playType, int top) {
  SoundHandleRecord* r = StreamRecord(handle);
  if (r == nullptr || r->entryCount == 0) return -1;
  SoundBufferEntry* ring = nullptr;
  if (AcquireStreamSoundBuffer(handle, r, &ring, 1) != 0) return -1;
  uint32_t status = 0;
  if (!top && SoundBufferGetStatus(ring, &status) == 0 && (status & plat::DSBSTATUS_PLAYING)) return 0;
  StopStreamSound(handle);
  if (((playType ^ r->playType) & 2) && r->allFinished) ResetPlayState(r);
  if (top) {
    r->allFinished = 0;
    if (r->bytesPlayed != 0) ResetPlayState(r);
  }
  r->playType = playType;
  SetupStreamSoundPlay(handle);
  if (SoundBufferPlay(ring, 1) != 0) return -1;
  r->lastPlayTime = plat::timeGetTime();
  if (playType == kPlayWait) {
    while (PumpWindowMessage() == 0 && IsSoundHandlePlaying(handle) == 1) {
    }
  }
  return 0;
}

int StopStreamSound(int handle) {
  SoundHandleRecord* r = StreamRecord(handle);
  if (r == nullptr) return -1;
  UpdateStreamSoundPosition(handle, -1);
  SoundBufferEntry* ring = nullptr;
  if (AcquireStreamSoundBuffer(handle, r, &ring, 0) != 0) return 0;
  if (r->ringOwner != -1) {
    if (SoundHandleRecord* owner = LookupSound(r->ringOwner)) owner->ringUser = -1;
  }
  uint32_t status = 0;
  if (SoundBufferGetStatus(ring, &status) == 0 && (status & plat::DSBSTATUS_PLAYING)) SoundBufferStop(ring);
  return 0;
}

int IsStreamSoundPlaying(int handle) {
  SoundHandleRecord* r = StreamRecord(handle);
  if (r == nullptr) return -1;
  SoundBufferEntry* ring = nullptr;
  if (AcquireStreamSoundBuffer(handle, r, &ring, 0) != 0) return 0;
  uint32_t status = 0;
  if (SoundBufferGetStatus(ring, &status) != 0) return 0;
  return (status & plat::DSBSTATUS_PLAYING) ? 1 : 0;
}

// ---- The clock ----------------------------------------------------------------------------------

int UpdateStreamSoundPosition(int handle, int32_t cursor) {
  SoundHandleRecord* r = StreamRecord(handle);
  if (r == nullptr || !r->active) return -1;
  SoundBufferEntry* ring = nullptr;
  if (AcquireStreamSoundBuffer(handle, r, &ring, 0) != 0) return -1;
  const uint32_t k = cursor == -1 ? ReadCursor(ring) : static_cast<uint32_t>(cursor);
  const uint32_t l = r->lastCursor;
  if (k == l) return 0;
  const uint32_t p = r->loopPosition;
  if (r->loopWrapPending && l < k && l < p && p <= k) {
    r->bytesPlayed = (k - p) + r->loopStartBytes;
    r->loopWrapPending = 0;
  } else if (r->loopWrapPending && k < l && p > l) {
    r->bytesPlayed = (r->ringSize - p) + k + r->loopStartBytes;
    r->loopWrapPending = 0;
  } else if (r->loopWrapPending && k < l && p <= k) {
    // The cursor wrapped and stands exactly on (or past) the loop position: the loop has begun.
    r->bytesPlayed = (k - p) + r->loopStartBytes;
    r->loopWrapPending = 0;
  } else {
    r->bytesPlayed += k >= l ? k - l : (r->ringSize - l) + k;
  }
  r->lastCursor = k;
  return 0;
}

int GetStreamSoundCurrentTime(int handle) {
  SoundHandleRecord* r = StreamRecord(handle);
  if (r == nullptr) return -1;
  UpdateStreamSoundPosition(handle, -1);
  if (A(r) == 0) return 0;
  const int ms = DoubleToInt(static_cast<double>(r->bytesPlayed) / A(r) * 1000.0);
  return std::min(ms, GetSoundTotalTimeMs(handle));
}

// ---- The refill ---------------------------------------------------------------------------------

uint32_t WriteStreamDataToRing(LockRegions* g, PcmConverterRecord* conv, uint32_t bytes) {
  uint32_t total = 0;
  while (total < bytes) {
    uint8_t* to;
    uint32_t* done;
    uint32_t* left;
    if (g->left1 > 0) {
      to = g->region1 + g->done1, done = &g->done1, left = &g->left1;
    } else if (g->left2 > 0) {
      to = g->region2 + g->done2, done = &g->done2, left = &g->left2;
    } else {
      break;
    }
    const int32_t n = ReadPcmConverter(conv, to, std::min(bytes - total, *left));
    if (n <= 0) break;
    *done += static_cast<uint32_t>(n);
    *left -= static_cast<uint32_t>(n);
    total += static_cast<uint32_t>(n);
  }
  return total;
}

void ClearSoundBufferData(SoundHandleRecord* r, LockRegions* g, uint32_t bytes) {
  const uint8_t silence = r->format.wBitsPerSample == 8 ? 128 : 0;  // unsigned 8-bit samples are silent at 128
  const uint32_t first = std::min(bytes, g->left1);
  std::memset(g->region1 + g->done1, silence, first);
  g->done1 += first;
  g->left1 -= first;
  const uint32_t second = std::min(bytes - first, g->left2);
  if (second) std::memset(g->region2 + g->done2, silence, second);
  g->done2 += second;
  g->left2 -= second;
}

int AdvanceStreamSoundEntry(SoundHandleRecord* r, LockRegions* g, uint32_t cursor) {
  ++r->plays;
  StreamSoundDataEntry* e = &r->entries[r->currentEntry];
  const int repeat = static_cast<int8_t>(e->repeat);
  if (repeat == -1) {
    r->conversionOffset = B(r) * static_cast<uint32_t>(e->loopStart);
    r->loopStartBytes = r->conversionOffset;
    r->loopWrapPending = 1;
    r->loopPosition = CurrentRingPosition(r, *g);
  } else {
    if (r->plays > std::max(repeat, 0)) {
      ++r->currentEntry;
      r->plays = 0;
      if (r->currentEntry >= r->entryCount) {
        if (r->playType != kPlayLoop) {
          r->currentEntry = r->entryCount - 1;
          MarkEndWritten(r, g, cursor);
          return -1;
        }
        r->allFinished = 1;
        r->loopWrapPending = 1;
        r->currentEntry = 0;
        r->loopStartBytes = 0;
        r->loopPosition = CurrentRingPosition(r, *g);
      }
    }
    r->conversionOffset = 0;
  }
  SeekPcmConverter(&r->entries[r->currentEntry].converter, r->conversionOffset / B(r));
  return 0;
}

int ServiceStreamSound(int handle) {
  SoundHandleRecord* r = StreamRecord(handle);
  if (r == nullptr || !r->active) return 0;
  SoundBufferEntry* ring = nullptr;
  if (AcquireStreamSoundBuffer(handle, r, &ring, 0) != 0) return 0;
  UpdateStreamSoundPosition(handle, -1);
  uint32_t status = 0;
  SoundBufferGetStatus(ring, &status);
  const bool playing = (status & plat::DSBSTATUS_PLAYING) != 0;
  const int32_t w = r->writePosition;
  const int32_t gp = r->guardPosition;
  LockRegions g;

  if (r->endWritten) {
    // The end has been played once it lies in the stretch the cursor walked since the last check, a
    // wrap of the ring between the two checks included: an end just before the wrap is found also when
    // one check sees the cursor just before it and the next just past the wrap.
    const uint32_t k = ReadCursor(ring);
    const uint32_t l = r->cursorAtEnd;
    if (RingDistance(r, l, r->endPosition) < RingDistance(r, l, k)) {
      SoundBufferStop(ring);
      r->endWritten = 0;
      return 0;
    }
    r->cursorAtEnd = k;
    if (w == kRingNeverFilled) return 0;
    if (InGuardGap(w, gp, static_cast<int32_t>(k))) return -1;
    const uint32_t size = EighthSecond(r);
    if (Lock(ring, static_cast<uint32_t>(w), size, &g) != 0) return -1;
    ClearSoundBufferData(r, &g, size);
    Unlock(ring, g);
    AdvanceWritePosition(r, size);
    return 0;
  }

  uint32_t start, size, k = 0;
  if (w == kRingNeverFilled) {
    start = 0;
    size = FourSeconds(r);
  } else if (!playing) {
    return 0;
  } else {
    start = static_cast<uint32_t>(w);
    size = EighthSecond(r);
    k = ReadCursor(ring);
    if (InGuardGap(w, gp, static_cast<int32_t>(k))) return -1;
    uint32_t wl = static_cast<uint32_t>(w), kl = k;
    if (w < gp) {
      wl += r->ringSize;
      if (k < static_cast<uint32_t>(w)) kl += r->ringSize;
    }
    const uint32_t lead = static_cast<uint32_t>((uint64_t{wl - kl} * 128) / A(r));
    if (lead < kLeadTarget) size = static_cast<uint32_t>(((uint64_t{kLeadTarget - lead} * A(r)) >> 7) / B(r) * B(r));
  }
  if (size == 0) return 0;
  if (Lock(ring, start, size, &g) != 0) return -1;
  // A pass over every entry that yields no byte means there is nothing left to play: end the data
  // rather than spin inside the message pump.
  int emptyAdvances = 0;
  while (g.left1 + g.left2 > 0 && !r->endWritten) {
    StreamSoundDataEntry* e = &r->entries[r->currentEntry];
    const uint32_t n = WriteStreamDataToRing(&g, &e->converter, g.left1 + g.left2);
    if (n == 0) {
      if (++emptyAdvances > r->entryCount + 1) {
        MarkEndWritten(r, &g, k);
        break;
      }
      AdvanceStreamSoundEntry(r, &g, k);
    } else {
      emptyAdvances = 0;
      r->conversionOffset += n;
    }
  }
  Unlock(ring, g);
  AdvanceWritePosition(r, size);
  return 0;
}

int ServiceAllStreamSounds() {
  if (!SoundSystemStarted()) return -1;
  for (ListNode* node = SoundState.refillHead.next; node != nullptr && node->next != nullptr;) {
    ListNode* next = node->next;
    ServiceStreamSound(node->key);
    node = next;
  }
  return 0;
}

}  // namespace orbel

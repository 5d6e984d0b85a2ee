// Sound handles: the 4096-slot table, loading (whole PCM into one to ten buffers, or a stream sound),
// play with buffers taken in turn, stop, the play-state and time queries, and delete with ring sharing.
// Depends on the converter, the stream sounds, the file-access table, the message pump and DirectSound.
#include "orbel/sound/sound_handle.h"

#include <cstdarg>
#include <cstring>

#include "orbel/core/library.h"
#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/string_routines.h"
#include "orbel/file/file_access.h"
#include "orbel/sound/stream_sound.h"
#include "platform/win/kernel/clock.h"

namespace orbel {

namespace {

constexpr const char* kTag = "sound";

// Fills every created buffer of a normal sound with its PCM. 0, or -1 (logged).
int TransferPcmToBuffers(SoundHandleRecord* r) {
  for (int i = 0; i < r->bufferCount; ++i) {
    if (r->skipFill[i] == 1) continue;
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    if (SoundBufferLock(&r->buffers[i], 0, r->pcmSize, &p1, &n1, &p2, &n2) != 0) {
      LogAdd("サウンドデータの転送に失敗しました_1");
      return -1;
    }
    const uint32_t first = n1 < r->pcmSize ? n1 : r->pcmSize;
    std::memcpy(p1, r->pcm, first);
    if (p2 != nullptr && r->pcmSize > first) {
      const uint32_t rest = r->pcmSize - first < n2 ? r->pcmSize - first : n2;
      std::memcpy(p2, static_cast<uint8_t*>(r->pcm) + first, rest);
    }
    if (SoundBufferUnlock(&r->buffers[i], p1, n1, p2, n2) != 0) {
      LogAdd("サウンドデータの転送に失敗しました_2");
      return -1;
    }
  }
  return 0;
}

// Converts a file image whole and loads it into the handle's buffers. 0 or -1 (logged).
int LoadWholeImage(int handle, const void* image, uint32_t size, int count) {
  SoundHandleRecord* r = LookupSound(handle);
  StreamData source{GetMemStreamFunctions(), MemStreamOpen(image, size)};
  if (source.handle == 0) return -1;
  PcmConverterRecord conv;
  if (SetupPcmConverter(&source, &conv) != 0) {
    LogAdd("音声ファイルのＰＣＭへの変換に失敗しました");
    MemStreamClose(source.handle);
    return -1;
  }
  plat::WAVEFORMATEX format{};
  void* pcm = nullptr;
  uint32_t pcmSize = 0;
  const int converted = ConvertWholeToPcm(&conv, &format, &pcm, &pcmSize);
  TerminatePcmConverter(&conv);
  MemStreamClose(source.handle);
  if (converted != 0) {
    LogAdd("音声ファイルを格納するメモリ領域の確保に失敗しました");
    return -1;
  }
  // The converter refuses sources without samples; a conversion that still delivers less than one
  // sample would make a buffer DirectSound cannot create.
  if (pcmSize < format.nBlockAlign || pcmSize == 0) {
    MemFree(pcm);
    LogAdd("音声データにサンプルがありません\n");
    return -1;
  }
  // DirectSound makes no buffer below DSBSIZE_MIN bytes: a sound of a sample or two gets silence after it.
  const uint32_t minimum = (plat::DSBSIZE_MIN + format.nBlockAlign - 1) / format.nBlockAlign * format.nBlockAlign;
  if (pcmSize < minimum) {
    void* padded = MemCalloc(minimum, kTag, __LINE__);
    if (padded == nullptr) {
      MemFree(pcm);
      return -1;
    }
    std::memcpy(padded, pcm, pcmSize);
    MemFree(pcm);
    pcm = padded;
    pcmSize = minimum;
  }
  r->format = format;
  r->pcm = pcm;
  r->pcmSize = pcmSize;
  if (CreateSoundHandleBuffers(format, pcmSize, 0, count, handle) != 0) return -1;
  return TransferPcmToBuffers(r);
}

}  // namespace

int SoundLogFmt(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatStringV(text, sizeof text, format, args);
  va_end(args);
  return LogAdd(text);
}

// ---- Table --------------------------------------------------------------------------------------

int AddSoundData(int32_t handle) {
  SoundHandleTable& t = SoundState.handles;
  if (handle != -1) {
    // Re-creating a record in the empty slot a handle names, under that handle's own number.
    if (HandleKind(handle) != kHandleKindSound || HandleIndex(handle) >= kSoundHandleLimit) return -1;
    const uint32_t slot = HandleIndex(handle);
    if (t.records[slot] != nullptr) return -1;
    auto* r = static_cast<SoundHandleRecord*>(MemCalloc(sizeof(SoundHandleRecord), kTag, __LINE__));
    if (r == nullptr) return LogAdd("メモリ領域の確保に失敗しました in AddSoundData");
    r->check = HandleCheck(handle);
    t.records[slot] = r;
    ++t.count;
    if (slot >= t.areaEnd) t.areaEnd = slot + 1;
    return handle;
  }
  if (t.IsFull()) return LogAdd("サウンドの数が許容量を越えました\n");
  auto* r = static_cast<SoundHandleRecord*>(MemCalloc(sizeof(SoundHandleRecord), kTag, __LINE__));
  if (r == nullptr) return LogAdd("メモリ領域の確保に失敗しました in AddSoundData");
  r->entryCount = 0;
  const int32_t h = t.Insert(r);
  if (h == -1) MemFree(r);
  return h;
}

int SetSoundCreateType(int type) {
  if (type < 0 || type > 3) return -1;
  SoundState.createType = type;
  return 0;
}

int GetSoundCreateType() { return SoundState.createType; }

int LoadFileToMemory(const char* path, void** block, uint32_t* size) {
  const FileHandle file = FileAccessOpen(path, 0, 1, 0);
  if (file == 0) return SoundLogFmt("右記のファイルのオープンに失敗しました：%s", path);
  FileAccessSeek(file, 0, 2);
  const int32_t length = FileAccessTell(file);
  FileAccessSeek(file, 0, 0);
  void* data = length >= 0 ? MemAlloc(static_cast<uint32_t>(length ? length : 1), kTag, __LINE__) : nullptr;
  if (data == nullptr) {
    FileAccessClose(file);
    return SoundLogFmt("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
  }
  *size = static_cast<uint32_t>(FileAccessRead(data, 1, static_cast<size_t>(length), file));
  FileAccessClose(file);
  *block = data;
  return 0;
}

int LoadSoundFile(const char* path, int bufferCount, int ringShare) {
  if (!SoundSystemStarted()) return -1;
  if (bufferCount > kMaxSoundBuffers) bufferCount = kMaxSoundBuffers;
  if (SoundState.createType == 0) {
    void* image = nullptr;
    uint32_t size = 0;
    if (LoadFileToMemory(path, &image, &size) != 0)
      return SoundLogFmt("右記の音声ファイルのロードに失敗しました_1：%s", path);
    const int handle = CreateSoundFromFileImage(image, size, bufferCount, ringShare);
    MemFree(image);
    if (handle == -1) SoundLogFmt("右記の音声ファイルのロードに失敗しました_2：%s", path);
    return handle;
  }
  const int handle = AddSoundData(-1);
  if (handle == -1) return -1;
  if (LoadStreamSoundFromFile(path, 0, handle, SoundState.createType, ringShare) != 0) {
    DeleteSoundHandle(handle);
    return -1;
  }
  SetupStreamSoundPlay(handle);
  return handle;
}

int CreateSoundFromFileImage(const void* image, uint32_t size, int bufferCount, int ringShare) {
  if (!SoundSystemStarted()) return -1;
  // At least one buffer: a sound without any could never be played (the buffer turn divides by it).
  if (bufferCount > kMaxSoundBuffers || (SoundState.createType == 0 && bufferCount < 1)) return -1;
  const int handle = AddSoundData(-1);
  if (handle == -1) return -1;
  int result;
  if (SoundState.createType == 0) {
    result = LoadWholeImage(handle, image, size, bufferCount);
  } else {
    result = LoadStreamSoundFromWaveImage(image, size, 0, handle, SoundState.createType, ringShare);
    if (result == 0) SetupStreamSoundPlay(handle);
  }
  if (result != 0) {
    DeleteSoundHandle(handle);
    return -1;
  }
  return handle;
}

int CreateSoundHandleBuffers(const plat::WAVEFORMATEX& format, uint32_t bytes, int kind, int count, int handle) {
  SoundHandleRecord* r = LookupSound(handle);
  if (r == nullptr) return -1;
  plat::WAVEFORMATEX f = format;
  plat::DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwBufferBytes = bytes;
  desc.lpwfxFormat = &f;
  if (kind == 0) {
    desc.dwFlags = plat::DSBCAPS_GLOBALFOCUS | plat::DSBCAPS_CTRLVOLUME | plat::DSBCAPS_CTRLPAN |
                   plat::DSBCAPS_CTRLFREQUENCY | plat::DSBCAPS_STATIC;
    if (CreateSoundBufferByDesc(&r->buffers[0], desc) != 0) {
      desc.dwFlags = plat::DSBCAPS_CTRLVOLUME | plat::DSBCAPS_CTRLPAN | plat::DSBCAPS_STATIC;
      if (CreateSoundBufferByDesc(&r->buffers[0], desc) != 0) ErrorExitLibrary("DirectSoundBuffer の作成に失敗しました");
    }
    int made = 1;
    while (made < count && DuplicateSoundBufferEntry(&r->buffers[made], &r->buffers[0]) == 0) ++made;
    std::memset(r->skipFill, 0, sizeof r->skipFill);
    r->bufferCount = made;
  } else {
    desc.dwFlags = plat::DSBCAPS_GLOBALFOCUS | plat::DSBCAPS_CTRLVOLUME | plat::DSBCAPS_CTRLPAN |
                   plat::DSBCAPS_CTRLFREQUENCY | plat::DSBCAPS_STATIC | plat::DSBCAPS_GETCURRENTPOSITION2;
    if (CreateSoundBufferByDesc(&r->buffers[0], desc) != 0)
      ErrorExitLibrary("ストリーム風サウンドバッファの作成に失敗しました");
    r->bufferCount = 1;
  }
  r->kind = kind;
  if (kind == 1) ListInsertNode(&SoundState.refillHead, &r->node, handle, r);
  return 0;
}

// ---- Play and stop ------------------------------------------------------------------------------

int PlaySoundHandle(int handle, int playType, int top) {
  if (!SoundSystemStarted()) return -1;
  SoundHandleRecord* r = LookupSound(handle);
  if (r == nullptr) return -1;
  if (r->kind == 1) return PlayStreamSound(handle, playType, top);
  if (r->bufferCount < 1) return -1;
  uint32_t cursor = 0;
  SoundBufferGetCurrentPosition(&r->buffers[r->lastPlayedBuffer], &cursor);
  const int next = (r->lastPlayedBuffer + 1) % r->bufferCount;
  r->lastPlayedBuffer = next;
  SoundBufferEntry* entry = &r->buffers[next];
  uint32_t status = 0;
  if (SoundBufferGetStatus(entry, &status) != 0) return -1;
  if (status & plat::DSBSTATUS_PLAYING) {
    if (!top) return 0;
    SoundBufferStop(entry);
  }
  SoundBufferSetCurrentPosition(entry, top ? 0 : cursor);
  if (SoundBufferPlay(entry, playType == kPlayLoop) != 0) return -1;
  r->lastPlayTime = plat::timeGetTime();
  if (playType == kPlayWait) {
    while (PumpWindowMessage() == 0 && IsSoundHandlePlaying(handle) == 1) plat::Sleep(1);
  }
  return 0;
}

int StopSoundHandle(int handle) {
  if (!SoundSystemStarted()) return -1;
  SoundHandleRecord* r = LookupSound(handle);
  if (r == nullptr) return -1;
  if (r->kind == 1) return StopStreamSound(handle);
  for (int i = 0; i < r->bufferCount; ++i) {
    uint32_t status = 0;
    if (SoundBufferGetStatus(&r->buffers[i], &status) != 0) return -1;
    if (status & plat::DSBSTATUS_PLAYING) SoundBufferStop(&r->buffers[i]);
  }
  return 0;
}

int IsSoundHandlePlaying(int handle) {
  if (!SoundSystemStarted()) return -1;
  SoundHandleRecord* r = LookupSound(handle);
  if (r == nullptr) return -1;
  if (r->kind == 1) return IsStreamSoundPlaying(handle);
  for (int i = 0; i < r->bufferCount; ++i) {
    uint32_t status = 0;
    if (SoundBufferGetStatus(&r->buffers[i], &status) == 0 && (status & plat::DSBSTATUS_PLAYING)) return 1;
  }
  return 0;
}

// ---- Queries ------------------------------------------------------------------------------------

int GetSoundSampleCount(int handle) {
  if (!SoundSystemStarted()) return -1;
  SoundHandleRecord* r = LookupSound(handle);
  if (r == nullptr) return -1;
  if (r->kind == 0) return r->format.nBlockAlign ? static_cast<int>(r->pcmSize / r->format.nBlockAlign) : 0;
  if (r->kind == 1) return r->totalSamples;
  return 0;
}

int GetSoundTotalTimeMs(int handle) {
  const int samples = GetSoundSampleCount(handle);
  if (samples < 0) return -1;
  const SoundHandleRecord* r = LookupSound(handle);
  if (r->format.nSamplesPerSec == 0) return 0;
  return DoubleToInt(static_cast<double>(samples) * 1000.0 / r->format.nSamplesPerSec);
}

int GetSoundCurrentTime(int handle) {
  if (!SoundSystemStarted()) return -1;
  SoundHandleRecord* r = LookupSound(handle);
  if (r == nullptr) return -1;
  if (r->kind == 1) return GetStreamSoundCurrentTime(handle);
  uint32_t cursor = 0;
  if (r->bufferCount < 1 || SoundBufferGetCurrentPosition(&r->buffers[r->lastPlayedBuffer], &cursor) != 0) return 0;
  const double bytesPerSecond = static_cast<double>(r->format.nBlockAlign) * r->format.nSamplesPerSec;
  return bytesPerSecond > 0 ? DoubleToInt(cursor * 1000.0 / bytesPerSecond) : 0;
}

// ---- Delete -------------------------------------------------------------------------------------

int DeleteSoundHandle(int handle) {
  if (!SoundSystemStarted()) return -1;
  SoundHandleRecord* r = LookupSound(handle);
  if (r == nullptr) return -1;
  if (r->kind == 1) {
    StopStreamSound(handle);
  } else if (r->buffers[0].created) {
    StopSoundHandle(handle);
  }
  if (r->kind == 0) {
    for (int i = 0; i < r->bufferCount && i < kMaxSoundBuffers; ++i)
      if (r->buffers[i].created) ReleaseSoundBufferEntry(&r->buffers[i]);
    MemFree(r->pcm);
    r->pcm = nullptr;
  } else {
    if (r->ringOwner != -1) {
      SoundHandleRecord* owner = LookupSound(r->ringOwner);
      if (owner != nullptr) {
        --owner->ringSharers;
        if (owner->ringUser == handle) owner->ringUser = -1;
        if (owner->deletePending && owner->ringSharers <= 0) DeleteSoundHandle(r->ringOwner);
      }
    }
    if (r->ringSharers > 0) {
      r->deletePending = 1;
      return 0;
    }
    ListUnlinkNode(&r->node);
    for (int i = 0; i < r->entryCount; ++i) ReleaseStreamEntry(r, i);
    if (r->buffers[0].created) ReleaseSoundBufferEntry(&r->buffers[0]);
  }
  MemFree(SoundState.handles.Remove(handle));
  return 0;
}

int DeleteAllSoundHandles() {
  SoundState.handles.DeleteAll([](int32_t h) { DeleteSoundHandle(h); });
  return 0;
}

}  // namespace orbel
